#!/bin/sh
# Runs a Windows test program under Wine with some COM ports mapped to pseudo-terminals:
# free ones (socat) and held ones (hold_port.py: a terminal that another program keeps, which
# no one else can open). The program learns the ports from KELVARID_TEST_FREE_PORTS and
# KELVARID_TEST_HELD_PORTS, e.g. "1" and "2".
#   with_pty.sh <build folder> <source folder> <free ports> <held ports> <program.exe> [argument]...
set -u
build=$1
source=$2
free=$3
held=$4
shift 4
ports="${WINEPREFIX:?the Wine prefix, which ctest names}/ports"  # where the prefix maps COM1 to COM4
work=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    for pid in $pids; do wait "$pid" 2>/dev/null; done
    for n in $free $held; do rm -f "$ports/com$n" "$ports/com$n-peer"; done
    rm -rf "$work"
}
trap cleanup EXIT
digits() { printf '%s' "$1" | sed 's/./& /g'; }
await_link() {
    for _ in $(seq 50); do [ -e "$1" ] || [ -L "$1" ] && return 0; sleep 0.1; done
    echo "FAIL: no terminal at $1"; cat "$work"/*.log; exit 1
}

mkdir -p "$ports"
for n in $(digits "$free"); do
    rm -f "$ports/com$n"
    socat pty,raw,echo=0,link="$ports/com$n" pty,raw,echo=0,link="$ports/com$n-peer" 2>"$work/socat$n.log" &
    pids="$pids $!"
    await_link "$ports/com$n"
done
for n in $(digits "$held"); do
    python3 "$source/tests/wine/hold_port.py" "$ports/com$n" >"$work/held$n.log" 2>&1 &
    pids="$pids $!"
    await_link "$ports/com$n"
done

KELVARID_TEST_FREE_PORTS=$free KELVARID_TEST_HELD_PORTS=$held "$source/tests/wine/wine-run" "$@"
