#!/bin/sh
# The real serline.dll lets a port go only with its line lowered: when another port replaces
# it in the middle of a pulse, and when the process ends with the line still raised. COM1
# and COM2 are pseudo-terminals; strace shows the break state and the closes on each:
# TIOCSBRK raises the line, TIOCCBRK lowers it.
#   serline_release_test.sh <build folder> <source folder>
set -u
build=$1
source=$2
. "$source/tests/wine/ports.sh"
fail() { echo "FAIL: $*"; echo "--- probe output"; cat "$work/out"; echo "--- events"; cat "$work/events"; exit 1; }

terminal 1
terminal 2
com1=$(readlink "$ports/com1")
com2=$(readlink "$ports/com2")

dll=$(printf 'Z:%s' "$build/serline.dll" | tr '/' '\\')
strace -f --seccomp-bpf -qq -y -e trace=ioctl,close -o "$work/trace" "$source/tests/wine/wine-run" \
    "$build/tests/wine/serline_probe.exe" "$dll" \
    open:COM1,1200,N,8,1 txd:1 open:COM2,1200,N,8,1 txd:1 >"$work/out" 2>&1

expected="OPENCOM COM1,1200,N,8,1 -> 1
TXD 1 -> 1
OPENCOM COM2,1200,N,8,1 -> 1
TXD 1 -> 1"
[ "$(tr -d '\r' <"$work/out")" = "$expected" ] || fail "the library answered otherwise than expected"

# One line an event: "COM1 raise", "COM1 lower" or "COM1 close", in the order they came.
sed -nE "s#^[0-9]+ +(ioctl|close)\([0-9]+<([^>]*)>(, (TIOC[SC]BRK))?.*#\2 \1 \4#p" "$work/trace" |
    sed -e "s#^$com1 #COM1 #" -e "s#^$com2 #COM2 #" \
        -e 's# ioctl TIOCSBRK# raise#' -e 's# ioctl TIOCCBRK# lower#' -e 's# close *$# close#' |
    grep -E '^COM[12] (raise|lower|close)$' >"$work/events"

# Per port: raised once, lowered once, and lowered before the first close.
for port in COM1 COM2; do
    sequence=$(grep "^$port " "$work/events" | cut -d' ' -f2 | uniq | tr '\n' ' ')
    [ "$sequence" = "raise lower close " ] || fail "$port: '$sequence', expected 'raise lower close '"
done
# COM1 is lowered before COM2 is raised: the switch came in the middle of COM1's pulse.
order=$(grep -E ' (raise|lower)$' "$work/events" | tr '\n' ',')
[ "$order" = "COM1 raise,COM1 lower,COM2 raise,COM2 lower," ] || fail "break order: $order"
echo "PASS: $order then each port closed after its line was lowered"
