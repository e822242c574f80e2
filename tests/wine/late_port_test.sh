#!/bin/sh
# The real kelvarid.exe and serline.dll on a machine whose circuit port comes late: at start
# COM1 (the chosen port) leads nowhere and only COM3 opens; 8 s after the first pulse COM1
# appears, as a USB adapter that enumerates after log-on does. The first rise goes to COM3,
# the port that opened; the next one, 60.5 s later, asks for COM1 again and drives it.
# strace shows the breaks (TIOCSBRK) on each pseudo-terminal.
#   late_port_test.sh <build folder> <source folder>
set -u
build=$1
source=$2
. "$source/tests/wine/ports.sh"
on_exit 'kill "$strace_pid"; wineserver -k'
strace_pid=""
fail() { echo "FAIL: $*"; echo "--- breaks"; cat "$work/events"; exit 1; }

rm -f "$ports/com1"
terminal 3
mkdir "$work/program"
cp "$build/kelvarid.exe" "$build/serline.dll" "$work/program/"

# warn+ntdll: Wine notes each SetThreadExecutionState call there, as Windows notes none.
WINEDEBUG=warn+ntdll strace -f --seccomp-bpf -qq -y -ttt -e trace=ioctl -o "$work/trace" "$source/tests/wine/wine-run" \
    "$work/program/kelvarid.exe" >"$work/out" 2>&1 &
strace_pid=$!
calc() { awk "BEGIN { print ($1) }"; }
com3=$(readlink "$ports/com3")
# Wine may take a while to start under strace: COM1 comes 8 s after the first rise, so that
# the start-up has certainly found it missing.
for _ in $(seq 600); do grep -q "<$com3>, TIOCSBRK" "$work/trace" 2>/dev/null && break; sleep 0.1; done
grep -q "<$com3>, TIOCSBRK" "$work/trace" || { echo "FAIL: no first rise on COM3 within 60 s"; cat "$work/out"; exit 1; }
started=$(date +%s.%N)
sleep 8
terminal 1
appeared=$(date +%s.%N)
com1=$(readlink "$ports/com1")
# The second rise is due 60.5 s after the first.
while [ "$(calc "$(date +%s.%N) - $started < 62")" = 1 ]; do
    grep -q "<$com1>, TIOCSBRK" "$work/trace" 2>/dev/null && break
    sleep 0.1
done

# "<time> <port> raise", in order.
grep -E 'TIOCSBRK' "$work/trace" | sed -nE "s#^[0-9]+ +([0-9.]+) ioctl\([0-9]+<([^>]*)>, TIOCSBRK.*#\1 \2#p" |
    sed -e "s# $com1\$# COM1#" -e "s# $com3\$# COM3#" >"$work/events"
ports_raised=$(cut -d' ' -f2 "$work/events" | tr '\n' ' ')
[ "$ports_raised" = "COM3 COM1 " ] || fail "rises went to '$ports_raised', expected 'COM3 COM1 '"
first=$(sed -n 1p "$work/events" | cut -d' ' -f1)
second=$(sed -n 2p "$work/events" | cut -d' ' -f1)
period=$(calc "$second - $first")
late=$(calc "$second - $appeared")
ok=$(calc "$period > 60.4 && $period < 60.8")
[ "$ok" = 1 ] || fail "rise to rise $period s"
# ES_CONTINUOUS | ES_SYSTEM_REQUIRED: Windows does not go to sleep by itself while it pulses.
grep -q 'NtSetThreadExecutionState (0x80000001,' "$work/out" || fail "the program does not keep the machine awake"
echo "PASS: first rise on COM3; COM1 appeared $(calc "$appeared - $first") s after it and got its first break $late s after it appeared, at the next rise ($period s after the first)"
