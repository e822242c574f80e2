#!/bin/sh
# The real serline.dll on COM1 mapped to a pseudo-terminal that goes away and comes back, as
# a USB adapter pulled out and plugged in again: while the terminal is gone TXD answers 0;
# once a new terminal lies at the same path, TXD drives it again in the same process, with no
# OPENCOM in between. strace -y shows which device each break went to.
#   serline_lost_port_test.sh <build folder> <source folder>
set -u
build=$1
source=$2
ports="${WINEPREFIX:?the Wine prefix, which ctest names}/ports"  # where the prefix maps COM1 to COM4
work=$(mktemp -d)
socat_pid=""
probe_pid=""
cleanup() {
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
    [ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null
    rm -f "$ports/com1" "$ports/com1-peer"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    echo "--- probe output"; cat "$work/out"
    echo "--- probe errors"; cat "$work/err"
    echo "--- break ioctls"; grep -E "BRK|open.*(pts|com1)" "$work/trace"
    [ -n "${KEEP_WORK:-}" ] && cp -r "$work" "$KEEP_WORK"
    exit 1
}

start_terminal() {
    socat pty,raw,echo=0,link="$ports/com1" pty,raw,echo=0,link="$ports/com1-peer" 2>>"$work/socat.log" &
    socat_pid=$!
    for _ in $(seq 50); do [ -e "$ports/com1" ] && return 0; sleep 0.1; done
    echo "FAIL: socat made no pseudo-terminal"; cat "$work/socat.log"; exit 1
}
stop_terminal() {
    kill "$socat_pid"
    wait "$socat_pid" 2>/dev/null
    socat_pid=""
    rm -f "$ports/com1" "$ports/com1-peer"  # in case socat left its links behind
}
# Waits for a file the probe creates; fails when the probe ends first or takes too long.
await_probe() {
    for _ in $(seq 600); do
        [ -e "$work/$1" ] && return 0
        kill -0 "$probe_pid" 2>/dev/null || fail "the probe ended before '$1'"
        sleep 0.1
    done
    fail "the probe did not reach '$1'"
}

mkdir -p "$ports"
rm -f "$ports/com1" "$ports/com2"
start_terminal
first_device=$(readlink "$ports/com1")

windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
dll=$(windows_path "$build/serline.dll")
flag() { windows_path "$work/$1"; }

strace -f --seccomp-bpf -qq -y -e trace=ioctl,openat -o "$work/trace" "$source/tests/wine/wine-run" "$build/tests/wine/serline_probe.exe" "$dll" \
    open:COM1,1200,N,8,1 txd:1 txd:0 \
    mark:"$(flag working)" await:"$(flag gone)" \
    txd:1 txd:0 txd:1 txd:0 \
    mark:"$(flag failed)" await:"$(flag back)" \
    txd:1 txd:0 txd:1 txd:0 >"$work/out" 2>"$work/err" &
probe_pid=$!

await_probe working
stop_terminal
touch "$work/gone"
await_probe failed
start_terminal
second_device=$(readlink "$ports/com1")
touch "$work/back"
wait "$probe_pid"
probe_status=$?
probe_pid=""
[ "$probe_status" -eq 0 ] || fail "the probe failed ($probe_status)"

expected="OPENCOM COM1,1200,N,8,1 -> 1
TXD 1 -> 1
TXD 0 -> 1
TXD 1 -> 0
TXD 0 -> 0
TXD 1 -> 0
TXD 0 -> 0
TXD 1 -> 1
TXD 0 -> 1
TXD 1 -> 1
TXD 0 -> 1"
actual=$(tr -d '\r' <"$work/out")
[ "$actual" = "$expected" ] || fail "the library answered otherwise than expected"

# The breaks that reached a device, with the device: two on the first terminal before it
# went, four on the second one after it came back.
breaks_on() { grep -E "TIOC[SC]BRK" "$work/trace" | grep -F "<$1>" | grep -E '= 0$' | grep -oE 'TIOC[SC]BRK' | tr '\n' ' '; }
if [ "$first_device" = "$second_device" ]; then
    # The system gave the new terminal the old one's number: the order tells them apart.
    all=$(breaks_on "$first_device")
    [ "$all" = "TIOCSBRK TIOCCBRK TIOCSBRK TIOCCBRK TIOCSBRK TIOCCBRK " ] || fail "breaks on $first_device: '$all'"
else
    before=$(breaks_on "$first_device")
    after=$(breaks_on "$second_device")
    [ "$before" = "TIOCSBRK TIOCCBRK " ] || fail "breaks on the first terminal $first_device: '$before'"
    [ "$after" = "TIOCSBRK TIOCCBRK TIOCSBRK TIOCCBRK " ] || fail "breaks on the second terminal $second_device: '$after'"
fi
echo "PASS: breaks on $first_device, none while it was gone, then on $second_device in the same process"
