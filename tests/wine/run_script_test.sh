#!/bin/sh
# scripts/run as a newcomer runs it: the first pulse printed as it reaches the stand-in COM1,
# raised then lowered about 500 ms later; Ctrl+C ends it with nothing left running.
#   run_script_test.sh <build folder> <source folder>
set -u
build=$1
source=$2
ports="${WINEPREFIX:?the Wine prefix, which ctest names}/ports"  # where the prefix maps COM1 to COM4
work=$(mktemp -d)
run_pid=""
trap '[ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; echo "--- scripts/run printed"; cat "$work/out"; exit 1; }
# What scripts/run may leave behind: the program, the tracer, the watcher, the pseudo-terminal.
# Only this prefix's: the tests of other prefixes run beside it.
leftovers() {
    for pid in $("$source/tests/wine/wine-run" --pids 'kelvarid\.exe|watch_line\.py|socat .*ports/com1'); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null && echo
    done
    [ -e "$ports/com1" ] && echo "$ports/com1"
}

# As from a terminal: Ctrl+C reaches the script, which a background job would ignore.
KELVARID_ARCH=${build##*/win-} env --default-signal=INT "$source/scripts/run" >"$work/out" 2>&1 &
run_pid=$!
for _ in $(seq 1200); do
    grep -q ' COM1  lowered' "$work/out" && break
    kill -0 "$run_pid" 2>/dev/null || fail "scripts/run ended by itself"
    sleep 0.1
done
raised=$(grep -m1 ' COM1  raised$' "$work/out")
lowered=$(grep -m1 ' COM1  lowered' "$work/out")
[ -n "$lowered" ] || fail "no pulse printed within 120 s"
[ -n "$raised" ] || fail "a fall printed with no rise before it"
width=$(printf '%s' "$lowered" | sed -nE 's/.* lowered \(([0-9]+) ms\), next rise at [0-9:.]+$/\1/p')
[ -n "$width" ] && [ "$width" -ge 450 ] && [ "$width" -le 650 ] || fail "the pulse printed as '$lowered'"

kill -INT "$run_pid"
for _ in $(seq 300); do kill -0 "$run_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$run_pid" 2>/dev/null && fail "scripts/run still runs 30 s after Ctrl+C"
run_pid=""
for _ in $(seq 100); do [ -z "$(leftovers)" ] && break; sleep 0.1; done
[ -z "$(leftovers)" ] || fail "left running after Ctrl+C: $(leftovers)"
echo "PASS: printed '$raised' and '$lowered'; nothing left after Ctrl+C"
