#!/bin/sh
# The real serline.dll on COM1 mapped to a pseudo-terminal, COM2 mapped to nothing. The
# break state does not cross a pseudo-terminal, so strace shows where the line goes:
# TIOCSBRK raises it, TIOCCBRK lowers it.
#   serline_pty_test.sh <build folder> <source folder>
set -u
build=$1
source=$2
ports="${WINEPREFIX:?the Wine prefix, which ctest names}/ports"  # where the prefix maps COM1 to COM4
work=$(mktemp -d)
trap 'kill $socat_pid 2>/dev/null; rm -f "$ports/com1" "$ports/com1-peer"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; echo "--- probe output"; cat "$work/out"; echo "--- ioctl trace"; grep -E 'BRK' "$work/trace"; exit 1; }

mkdir -p "$ports"
rm -f "$ports/com1" "$ports/com2"
socat pty,raw,echo=0,link="$ports/com1" pty,raw,echo=0,link="$ports/com1-peer" 2>"$work/socat.log" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$ports/com1" ] && break; sleep 0.1; done
[ -e "$ports/com1" ] || { echo "FAIL: socat made no pseudo-terminal"; cat "$work/socat.log"; exit 1; }

windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
dll=$(windows_path "$build/serline.dll")

strace -f --seccomp-bpf -qq -e trace=ioctl -o "$work/trace" "$source/tests/wine/wine-run" "$build/tests/wine/serline_probe.exe" "$dll" \
    txd:1 \
    open:COM1,1200,N,8,1 \
    open:COM2,1200,N,8,1 \
    open:COM1,1200,N,8 open:COM1,1200,X,8,1 open: open-null \
    open:COM1,1200,N,8,1 \
    txd:1 pause:300 txd:0 txd:7 >"$work/out" 2>&1

expected="TXD 1 -> 0
OPENCOM COM1,1200,N,8,1 -> 1
OPENCOM COM2,1200,N,8,1 -> 0
OPENCOM COM1,1200,N,8 -> 0
OPENCOM COM1,1200,X,8,1 -> 0
OPENCOM  -> 0
OPENCOM null -> 0
OPENCOM COM1,1200,N,8,1 -> 1
TXD 1 -> 1
TXD 0 -> 1
TXD 7 -> 0"
actual=$(tr -d '\r' <"$work/out")
[ "$actual" = "$expected" ] || fail "the library answered otherwise than expected"

# Exactly one break on, then one break off: the failed open of COM2 left COM1 in use, the
# first TXD (no port yet) and the level 7 touched nothing.
breaks=$(grep -oE 'TIOC[SC]BRK' "$work/trace" | tr '\n' ' ')
[ "$breaks" = "TIOCSBRK TIOCCBRK " ] || fail "break sequence on the terminal: '$breaks'"
echo "PASS: COM1 opened on $(readlink "$ports/com1"), breaks: $breaks"
