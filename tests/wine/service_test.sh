#!/bin/sh
# kelvarid-service.exe and the real serline.dll through Wine's service manager, from the
# prefix's start with nobody logged on to the service's deletion. COM1 to COM4 are
# pseudo-terminals; strace shows the opens (Wine's server opens a port's device) and the breaks
# (TIOCSBRK raises the line, TIOCCBRK lowers it) and, with WINEDEBUG=+eventlog, Wine prints what
# the service reports to the event log: the message number and its strings. In two parts, which
# run side by side in prefixes of their own: boot (the ports, the health checks, the record) and
# side (the library missing, an administrator's drill with and without a reset).
#   service_test.sh <build folder> <source folder> boot|side
set -u
build=$1
source=$2
part=$3
export WINEPREFIX="${WINEPREFIX:?the Wine prefix, which ctest names}"
ports="$WINEPREFIX/ports"  # where the prefix maps COM1 to COM4
. "$build/product/product.env"  # the service's name and keys, the exit codes
. "$build/product/service_messages.env"  # the event ids: MSG_STARTED and so on
service_name=$KELVARID_SERVICE_NAME
W="$source/tests/wine/wine-run"
work=$(mktemp -d)
# The record of the service's runs, in the folder the installer makes.
record_folder="$WINEPREFIX/drive_c/ProgramData/$KELVARID_RECORD_FOLDER"
pids=""
strace_pid=""
trace="$work/trace"  # the boot's break ioctls
out="$work/out"      # and its event log entries
cleanup() {
    "$W" sc delete "$service_name" >/dev/null 2>&1
    [ -n "$strace_pid" ] && kill "$strace_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    # Wine deletes a service whose process was killed only once it has stopped, which it never
    # notices: its key goes by hand, so that no later test meets it.
    if "$W" reg query "HKLM\\$KELVARID_SERVICE_KEY" >/dev/null 2>&1; then
        "$W" reg delete "HKLM\\$KELVARID_SERVICE_KEY" /f >/dev/null 2>&1
        wineserver -k 2>/dev/null
    fi
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    for n in 1 2 3 4 12; do rm -f "$ports/com$n" "$ports/com$n-peer"; done
    rm -rf "$work" "$record_folder"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"; echo "--- breaks"; grep -E 'TIOC[SC]BRK' "$trace" 2>/dev/null
    echo "--- log"; grep -E -A3 'ReportEventW \(' "$out"
    echo "--- the last sc stop"; cat "$work/stop" 2>/dev/null
    echo "--- Wine's errors"; grep -E '^[0-9a-f]+:err:' "$out" | tail -n 20
    exit 1
}
calc() { awk "BEGIN { print ($1) }"; }
# A Linux path as Wine's programs name it: on drive Z:, with backslashes.
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }
terminal() {
    socat pty,raw,echo=0,link="$ports/com$1" pty,raw,echo=0,link="$ports/com$1-peer" 2>"$work/socat$1.log" &
    eval "socat$1=$!"
    pids="$pids $!"
    for _ in $(seq 50); do [ -e "$ports/com$1" ] && return 0; sleep 0.1; done
    echo "FAIL: socat made no pseudo-terminal for COM$1"; exit 1
}
set_port() { "$W" reg add "HKLM\\$KELVARID_PARAMETERS_KEY" /v "$KELVARID_PORT_VALUE" /d "$1" /f >/dev/null 2>&1; }
set_value() {  # <name> <type> <data>
    "$W" reg add "HKLM\\$KELVARID_PARAMETERS_KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 || fail "reg add $1"
}
delete_value() { "$W" reg delete "HKLM\\$KELVARID_PARAMETERS_KEY" /v "$1" /f >/dev/null 2>&1 || fail "reg delete $1"; }
# The prefix starts as a machine boots: a persistent server, as no program keeps it up, and one
# program that ends at once; what it starts, the service too, is traced into $trace and $out.
boot() {
    rm -f "$work/booted"
    strace -f --seccomp-bpf -qq -y -ttt -e trace=ioctl,open,openat -o "$trace" sh -c \
        "'$W' --server -p && WINEDEBUG=+eventlog,warn+ntdll '$W' cmd /c exit; touch '$work/booted'" >"$out" 2>&1 &
    strace_pid=$!
}
# A program run before the boot has ended would start the prefix itself, untraced.
await_boot() { for _ in $(seq 600); do [ -e "$work/booted" ] && return 0; sleep 0.1; done; fail "the prefix did not start"; }
# A reset: the prefix ends at once, as a machine's power goes, and boots again.
reset_and_boot() {  # <name of this boot's files>
    wineserver -k 2>/dev/null; wineserver -w
    [ -n "$strace_pid" ] && wait "$strace_pid" 2>/dev/null
    trace="$work/trace-$1"; out="$work/out-$1"
    boot
}
# "<time> <tid> <COMn> raise|lower", in order.
breaks() {
    [ -e "$trace" ] || return 0  # strace has not made it yet
    sed -nE 's#^([0-9]+) +([0-9.]+) ioctl\([0-9]+<([^>]*)>, (TIOC[SC]BRK).*#\2 \1 \3 \4#p' "$trace" |
        sed -e "s# $com1 # COM1 #" -e "s# $com2 # COM2 #" -e "s# $com3 # COM3 #" -e "s# $com4 # COM4 #" -e "s# ${com12:-/none} # COM12 #" \
            -e 's# TIOCSBRK$# raise#' -e 's# TIOCCBRK$# lower#'
}
raises() { breaks | grep -c " $1 raise\$"; }
# The lines of the trace so far, and whether anything after line <mark> opened, set up or drove a
# port: every open (Wine's server opens devices, when it runs traced) and ioctl names its device.
mark() { wc -l <"$trace"; }
touched_since() {  # <mark> <COMn>...
    from=$1; shift
    for port in "$@"; do
        device=$(eval echo "\$$(echo "$port" | tr 'A-Z' 'a-z')")
        tail -n +"$((from + 1))" "$trace" | grep -q "<$device>" && return 0
    done
    return 1
}
wait_for_raises() {  # <port> <count> <seconds>
    for _ in $(seq $(($3 * 10))); do [ "$(raises "$1")" -ge "$2" ] && return 0; sleep 0.1; done
    return 1
}
state() { "$W" sc query "$service_name" 2>/dev/null | sed -nE 's/.*STATE *: *[0-9]+ +([A-Z_]+).*/\1/p'; }
wait_for_state() {
    for _ in $(seq 100); do [ "$(state)" = "$1" ] && return 0; sleep 0.2; done
    return 1
}
# STOP, and the service stopped; sc's answer goes into a failure's report.
stop_service() {  # [what it stops after, for that report]
    "$W" sc stop "$service_name" >"$work/stop" 2>&1
    wait_for_state STOPPED || fail "the service did not stop${1:+ after $1}; state $(state)"
}
# Runs a check until it holds, for at most 10 s: what a test reads comes after its cause.
await() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }
# The same for at most 25 s: a change of the settings shows at the round after next.
await_rounds() { for _ in $(seq 250); do "$@" && return 0; sleep 0.1; done; return 1; }
last_break_is() { [ "$(breaks | grep " $1 " | tail -n 1 | cut -d' ' -f4)" = "$2" ]; }  # <port> raise|lower
# The strings of every entry <message id>, a line each. Wine prints an entry's strings after it,
# on lines of the same thread: the service's two threads may write between them.
strings_of() {
    awk -v id=",$1," 'index($0, "ReportEventW (") && index($0, id) { tid = substr($0, 1, 5); inside = 1; next }
        inside && substr($0, 1, 5) == tid { if (index($0, "ReportEventW L\"")) print; else inside = 0 }' "$out"
}
logged() { strings_of "$1" | grep -qF "L\"$2\""; }  # <message id> <string>
mentioned() { strings_of "$1" | grep -qF "$2"; }  # <message id> <part of a string>
# What a monitoring system reads: kelvaridctl status's exit code and first line.
status_is() {  # <exit code> <part of the first line>
    WINEDEBUG=-all "$W" "$build/kelvaridctl.exe" status >"$work/status" 2>&1
    code=$?
    [ "$code" = "$1" ] && head -n 1 "$work/status" | grep -qF "$2"
}
# The Windows process (Linux thread group) of the last thread that raised the line on <port>.
pulser() { awk '/^Tgid/ { print $2 }' "/proc/$(breaks | grep " $1 raise\$" | tail -n 1 | cut -d' ' -f2)/status" 2>/dev/null; }

mkdir -p "$ports"
for n in 1 2 3 4; do rm -f "$ports/com$n"; terminal $n; done
com1=$(readlink "$ports/com1"); com2=$(readlink "$ports/com2"); com3=$(readlink "$ports/com3"); com4=$(readlink "$ports/com4")
mkdir "$work/program"
cp "$build/kelvarid-service.exe" "$build/serline.dll" "$work/program/"
rm -rf "$record_folder"
mkdir -p "$record_folder"
exe=$(windows_path "$work/program/kelvarid-service.exe")

# From the boot: the ports, the health checks, the record.
boot_part() {
    # The service as the installer makes it, then the prefix shut down.
    wineserver -k 2>/dev/null; wineserver -w
    "$W" sc delete "$service_name" >/dev/null 2>&1
    "$W" sc create "$service_name" binPath= "$exe" start= auto obj= "NT AUTHORITY\\LocalService" >"$work/create" 2>&1 ||
        { cat "$work/create"; echo "FAIL: sc create"; exit 1; }
    "$W" sc failure "$service_name" reset= 86400 actions= restart/5000/restart/30000/restart/300000 >/dev/null 2>&1
    set_port COM2
    "$W" reg query "HKLM\\$KELVARID_SERVICE_KEY" >"$work/key" 2>&1
    grep -q 'FailureActions' "$work/key" && failure_actions=kept || failure_actions="not kept"
    wineserver -k 2>/dev/null; wineserver -w

    # The machine starts: a persistent server, as no program keeps it up, and one program that
    # ends at once. The service must start by itself and pulse on COM2, the configured port.
    started=$(date +%s.%N)
    boot

    wait_for_raises COM2 1 60 || fail "no break on COM2 within 60 s of the start"
    first=$(breaks | grep ' COM2 raise$' | head -n 1 | cut -d' ' -f1)
    boot_to_break=$(calc "$first - $started")
    # Every port the library opens it sets up (SetCommState) in the service's own process: the trace
    # must show that of COM2 to prove that it would show another port's.
    grep -Eq "ioctl\([0-9]+<$com2>, .*TCSETS" "$trace" || fail "the trace shows no set-up of COM2, so it cannot show one of another port"
    touched_since 0 COM1 COM3 COM4 && fail "a port other than COM2 was opened or driven"
    await logged "$MSG_STARTED" COM2 || fail "no entry that the service started on COM2"
    await status_is 0 "KELVARID OK - pulsing on COM2, last pulse " ||
        fail "kelvaridctl status does not say that the service pulses on COM2 (exit $code): $(cat "$work/status")"
    service=$(pulser COM2)
    [ -n "$service" ] || fail "the process that pulses cannot be found"
    # ES_CONTINUOUS | ES_SYSTEM_REQUIRED (Wine notes the call under warn+ntdll), and no entry that
    # the priority could not be raised.
    grep -q 'NtSetThreadExecutionState (0x80000001,' "$out" || fail "the service does not keep the machine awake"
    grep -q "ReportEventW (.*,$MSG_PRIORITY_NOT_RAISED," "$out" && fail "the service's priority was not raised"

    # While it runs: its account and controls, and kelvarid.exe refusing to start beside it.
    WINEDEBUG=-all "$W" "$build/tests/wine/e2e_service.exe" --gtest_filter='ServiceRunning.*' >"$work/running" 2>&1 ||
        { cat "$work/running"; fail "the checks of the running service failed"; }

    # STOP: the line ends lowered and the process is gone.
    stop_service
    for _ in $(seq 50); do [ -d "/proc/$service" ] || break; sleep 0.1; done
    [ -d "/proc/$service" ] && fail "the service's process still runs after STOP"
    await last_break_is COM2 lower || fail "the line of COM2 was left raised"
    await logged "$MSG_STOPPED" COM2 || fail "no entry that the service stopped"
    await status_is 2 "KELVARID CRITICAL - the service is stopped" ||
        fail "kelvaridctl status does not say that the stopped service sends nothing (exit $code): $(cat "$work/status")"

    # Stopped 100 ms after it reports RUNNING, in the high phase of its first pulse: the stop
    # lowers the line, long before the fall due at +500 ms.
    set_port COM1
    WINEDEBUG=-all "$W" "$build/tests/wine/e2e_service.exe" --gtest_filter='ServiceControl.*' >"$work/control" 2>&1 ||
        { cat "$work/control"; fail "the start and stop within the first pulse failed"; }
    await last_break_is COM1 lower || fail "the line of COM1 was left raised"
    [ "$(raises COM1)" = 1 ] || fail "$(raises COM1) breaks on COM1 instead of one"
    rise1=$(breaks | grep ' COM1 raise$' | cut -d' ' -f1)
    lowered1=$(breaks | grep ' COM1 lower$' | awk -v r="$rise1" '$1 > r { printf "%.0f", ($1 - r) * 1000; exit }')
    [ -n "$lowered1" ] && [ "$lowered1" -lt 450 ] || fail "STOP in the high phase did not lower the line (down after ${lowered1:-?} ms)"

    # A Port value that names no port: an error entry, and no port is opened or driven. Its own
    # name made by another process first: the service runs all the same and says so.
    set_port COM256
    "$W" "$build/tests/wine/instance_holder.exe" --service-mutex "$(windows_path "$work/held")" &
    holder=$!
    await [ -e "$work/held" ] || fail "the test could not hold the service's name"
    from=$(mark)
    "$W" sc start "$service_name" >/dev/null 2>&1
    # Wine tells no owner of a name, which counts as someone else's: squatted.
    name_held() { mentioned "$MSG_NAME_HELD" KelvaridService || mentioned "$MSG_NAME_SQUATTED" KelvaridService; }
    await name_held || fail "no entry that the service's name was held already"
    wait_for_state RUNNING || fail "the service does not run while its name is held: state $(state)"
    kill "$holder"
    await logged "$MSG_BAD_PORT_VALUE" COM256 || fail "the wrong Port value was not logged"
    await logged "$MSG_PULSE_FAILED" - || fail "no entry that the first rise, with no port, went nowhere"
    touched_since "$from" COM1 COM2 COM3 COM4 && fail "with Port=COM256 a port was opened or driven"
    stop_service "Port=COM256"

    # A port beyond the four, as Windows numbers a USB adapter: COM12, a pseudo-terminal here.
    terminal 12
    com12=$(readlink "$ports/com12")
    set_port COM12
    from=$(mark)
    "$W" sc start "$service_name" >/dev/null 2>&1
    wait_for_raises COM12 1 30 || fail "no break on COM12 within 30 s of the start"
    await logged "$MSG_STARTED" COM12 || fail "no entry that the service started on COM12"
    await status_is 0 "pulsing on COM12" || fail "kelvaridctl status on COM12 (exit $code): $(cat "$work/status")"
    touched_since "$from" COM1 COM2 COM3 COM4 && fail "with Port=COM12 another port was opened or driven"
    stop_service "Port=COM12"
    await last_break_is COM12 lower || fail "the line of COM12 was left raised"

    # Its port missing (COM3), the others there: no rise goes anywhere, no other port is opened,
    # and the failure is logged once. Then the process is killed: its recovery action would start
    # it again after 5 s.
    kill "$socat3"; rm -f "$ports/com3"
    set_port COM3
    from=$(mark)
    failed_before=$(strings_of "$MSG_PULSE_FAILED" | grep -c .)
    "$W" sc start "$service_name" >/dev/null 2>&1
    await logged "$MSG_PORT_NOT_OPENED" COM3 || fail "no entry that COM3 cannot be opened"
    await status_is 2 "KELVARID CRITICAL - COM3 cannot be opened" ||
        fail "kelvaridctl status does not say that COM3 is missing (exit $code): $(cat "$work/status")"
    pulse_failed_again() { [ "$(strings_of "$MSG_PULSE_FAILED" | grep -c .)" -gt "$failed_before" ]; }
    await pulse_failed_again || fail "no entry that the first rise, due 5 ms after the start, failed"
    touched_since "$from" COM1 COM2 COM4 && fail "with COM3 missing, another port was opened or driven"
    killed=$("$W" --pids '[k]elvarid-service.exe' | head -n 1)
    [ -n "$killed" ] || fail "the service's process cannot be found"
    kill -9 "$killed"
    # Its recovery action, where kept, starts it again after 5 s: given 15 s to show.
    restarted_elsewhere() { "$W" --pids '[k]elvarid-service.exe' | grep -qvx "$killed"; }
    for _ in $(seq 150); do restarted_elsewhere && break; sleep 0.1; done
    if restarted_elsewhere; then
        restarted="restarted by its recovery action"
    elif [ "$failure_actions" = kept ]; then
        fail "the killed service was not started again although its recovery actions are kept"
    else
        restarted="not restarted: Wine keeps no recovery actions (sc failure stores nothing) and says $(state)"
    fi

    # Health checks. Wine keeps a killed service RUNNING: its next start comes with the next boot
    # of the prefix, as the service starts with the machine. The service watches logger.exe (the
    # test's holder program), acts after 10 s of failure, with no grace: first with a repair, then
    # by stopping the pulses, with no restart asked of Windows before; COM1.
    set_port COM1
    set_value HealthChecks REG_DWORD 2
    set_value Processes REG_MULTI_SZ logger.exe
    set_value FailAfter REG_DWORD 10
    set_value StartupGrace REG_DWORD 0
    set_value CleanRestart REG_DWORD 0
    printf '@echo fixing\r\n@echo done>"%s"\r\n' "$(windows_path "$work/repaired.txt")" >"$work/repair.cmd"
    set_value RepairCommand REG_SZ "cmd.exe /c $(windows_path "$work/repair.cmd")"
    printf '@exit /b 0\r\n' >"$work/check.cmd"
    set_value TestCommand REG_SZ "cmd.exe /c $(windows_path "$work/check.cmd")"
    cp "$build/tests/wine/instance_holder.exe" "$work/logger.exe"
    reset_and_boot act
    wait_for_raises COM1 1 60 || fail "the service with health checks did not pulse on COM1 at boot"
    # Started once the prefix is up (else its Wine would start the prefix untraced). Should the
    # first round come before it, the check fails and passes again, which the run allows.
    "$W" "$work/logger.exe" --nothing >/dev/null 2>&1 &
    # The killed run ended without a STOP: this start says so, with the time of its last pulse.
    await mentioned "$MSG_LAST_RUN_NOT_STOPPED" 'L"' || fail "no entry that the killed run ended without a stop"
    await logged "$MSG_HEALTH_SETTINGS" logger.exe || fail "no entry of the health checks' settings"
    logger_runs() { [ -n "$("$W" --pids "[l]ogger.exe")" ]; }
    await logger_runs || fail "logger.exe did not start"
    # The watched program dies and then the test fails: the checks fail within a round (10 s)
    # and are due after FailAfter (10 s). The next rise, 60.5 s after the first, comes, and the
    # repair runs after it: its file appears while the pulses go. Still failing FailAfter after
    # the repair, at the rise after it the pulses stop, for the check that failed first. The
    # line stays low.
    sleep 11  # a round that sees it running: a failure from before it started is over
    kill -9 $("$W" --pids "[l]ogger.exe")
    await logged "$MSG_PROCESS_NOT_RUNNING" logger.exe || fail "no entry that logger.exe does not run"
    printf '@echo db down\r\n@exit /b 3\r\n' >"$work/check.cmd"
    await_rounds mentioned "$MSG_TEST_FAILED" 'L"db down"' || fail "no entry that the test command failed"
    for _ in $(seq 1300); do [ -e "$work/repaired.txt" ] && break; sleep 0.1; done
    [ -e "$work/repaired.txt" ] || fail "the repair command did not run: no file it writes"
    repaired_at=$(raises COM1)
    [ "$repaired_at" -ge 2 ] || fail "the repair ran before a rise found the checks due: $repaired_at rises"
    grep -q "ReportEventW (.*,$MSG_PULSES_STOPPED_BY_CHECK," "$out" && fail "the pulses stopped before the repair ran"
    await logged "$MSG_REPAIR_BEGINS" logger.exe || fail "no entry that the repair began for logger.exe"
    await logged "$MSG_REPAIR_ENDED" fixing || fail "no entry that the repair ended, with its last line"
    for _ in $(seq 700); do grep -q "ReportEventW (.*,$MSG_PULSES_STOPPED_BY_CHECK," "$out" && break; sleep 0.1; done
    await logged "$MSG_PULSES_STOPPED_BY_CHECK" logger.exe || fail "the pulses did not stop at the rise after the repair"
    sleep 1  # the rise held back would have come with the entry
    [ "$(raises COM1)" = "$repaired_at" ] || fail "the line was raised after the checks stopped the pulses ($(raises COM1) rises)"
    last_break_is COM1 lower || fail "the line of COM1 is not low after the checks stopped the pulses"
    [ "$(state)" = RUNNING ] || fail "the service ended when its checks stopped the pulses: $(state)"

    # The circuit resets the machine. The next run, watching only, says that the checks stopped
    # the last one; it logs the dead program and a heartbeat file that stops changing, and pulses.
    touch "$work/beat.txt"
    set_value HealthChecks REG_DWORD 1
    delete_value RepairCommand
    delete_value TestCommand
    set_value HeartbeatFiles REG_MULTI_SZ "$(windows_path "$work/beat.txt")"
    set_value HeartbeatMaxAge REG_DWORD 10
    # The record cannot be written (where a new one goes, a folder stands): the pulses keep their
    # rhythm, the log says so once, and the checks only watch.
    mkdir "$record_folder/$KELVARID_RECORD_FILE.new"
    reset_and_boot watch
    wait_for_raises COM1 1 60 || fail "watching only, the service did not pulse on COM1 at boot"
    await logged "$MSG_LAST_RUN_STOPPED_BY_CHECK" logger.exe || fail "the next start does not say that logger.exe stopped the pulses"
    # The heartbeat goes on for 20 s, then stops.
    for _ in $(seq 10); do touch "$work/beat.txt"; sleep 2; done
    mentioned "$MSG_HEARTBEAT_UNCHANGED" beat.txt && fail "the heartbeat file failed while it changed every 2 s"
    for _ in $(seq 300); do mentioned "$MSG_HEARTBEAT_UNCHANGED" beat.txt && break; sleep 0.1; done
    mentioned "$MSG_HEARTBEAT_UNCHANGED" beat.txt || fail "no entry that the heartbeat file stopped changing"
    for _ in $(seq 700); do grep -q "ReportEventW (.*,$MSG_WOULD_STOP," "$out" && break; sleep 0.1; done
    await logged "$MSG_WOULD_STOP" logger.exe || fail "watching only, no entry that the pulses would have stopped"
    # The administrator's own test, run as a check: one that ends with 3 is logged with its exit
    # code and the last line it wrote, and passes again once it ends with 0; the pulses go on.
    printf '@echo checking\r\n@echo db down\r\n@exit /b 3\r\n' >"$work/check.cmd"
    set_value TestCommand REG_SZ "cmd.exe /c $(windows_path "$work/check.cmd")"
    await_rounds mentioned "$MSG_TEST_FAILED" 'L"db down"' || fail "no entry that the test command failed, with its last line"
    mentioned "$MSG_TEST_FAILED" 'L"3"' || fail "the entry of the failed test command lacks its exit code 3"
    printf '@exit /b 0\r\n' >"$work/check.cmd"
    await_rounds mentioned "$MSG_CHECK_PASSES_AGAIN" 'check.cmd' || fail "the test command that ended with 0 did not pass again"
    # A full path names one program: a copy of another under the watched name, run from elsewhere,
    # passes the name but not the path; the program at that path does.
    mkdir "$work/real"
    cp "$build/tests/wine/instance_holder.exe" "$work/real/logger.exe"
    set_value Processes REG_MULTI_SZ "logger.exe\\0$(windows_path "$work/real/logger.exe")"
    "$W" "$work/logger.exe" --nothing >/dev/null 2>&1 &
    await_rounds logged "$MSG_CHECK_PASSES_AGAIN" logger.exe ||
        fail "the copy named logger.exe did not pass the name"
    await_rounds mentioned "$MSG_PROCESS_NOT_RUNNING" 'real\\logger.exe' ||
        fail "the copy named logger.exe passed for the full path of another"
    mentioned "$MSG_CHECK_PASSES_AGAIN" 'real\\logger.exe' && fail "the full path passed before its program ran"
    "$W" "$work/real/logger.exe" --nothing >/dev/null 2>&1 &
    await_rounds mentioned "$MSG_CHECK_PASSES_AGAIN" 'real\\logger.exe' ||
        fail "the program at the full path did not pass it"
    kill -9 $("$W" --pids "[l]ogger.exe") 2>/dev/null
    wait_for_raises COM1 3 70 || fail "watching only, with the record unwritable, the pulses stopped: $(raises COM1) rises"
    await last_break_is COM1 lower || fail "the third pulse did not end"
    [ "$(grep -c "ReportEventW (.*,$MSG_RECORD_NOT_WRITTEN," "$out")" = 1 ] ||
        fail "not one entry that the record cannot be written: $(grep -c "ReportEventW (.*,$MSG_RECORD_NOT_WRITTEN," "$out")"
    # Each rise 60.5 s after the one before, each pulse 500 ms long, within the timers' drift.
    rhythm=$(breaks | grep ' COM1 ' | awk '$4 == "raise" { if (r) printf "%.3f ", $1 - r; r = $1 } $4 == "lower" && r { printf "(%.3f) ", $1 - r }')
    echo "$rhythm" | awk '{ for (i = 1; i <= NF; i++) { v = $i; gsub(/[()]/, "", v)
            if ($i ~ /^\(/ && (v < 0.45 || v > 0.6)) exit 1; if ($i !~ /^\(/ && (v < 60.4 || v > 60.7)) exit 1 } }' ||
        fail "with the record unwritable the pulses lost their rhythm: $rhythm"
    rmdir "$record_folder/$KELVARID_RECORD_FILE.new"
    stop_service "the health checks"
    await last_break_is COM1 lower || fail "the line of COM1 was left raised"
    tr -d '\000' <"$record_folder/$KELVARID_RECORD_FILE" | grep -q 'EndedWithStop=1' ||
        fail "the record does not say that the run ended with a STOP"
    echo "PASS: first break on COM2 $boot_to_break s after the prefix started, no other port opened; STOP lowered the line and ended" \
        "the process; lowered by STOP $lowered1 ms after its rise; Port=COM256 logged and no port touched; COM12 pulsed; COM3 missing logged" \
        "and no other port opened or driven; killed: $restarted; logger.exe killed: the next rise held back, the run after it" \
        "says why, watches and keeps pulsing; the stale heartbeat file logged; the test command's failure (its code and last line) and pass logged; a full path passed only for its own program;" \
        "with the record unwritable, logged once and" \
        "the rises and falls (s after each rise) $rhythm" >"$work/pass"
}

# Without the library; an administrator's drill.
side_part() {
    # Without its library the service cannot pulse: the failure goes to the log once, the service
    # keeps running (a process that ended would be started again and again) and pulses once the
    # library is back, at the next rise: it is looked for before every one.
    mkdir "$work/nolibrary"
    cp "$build/kelvarid-service.exe" "$work/nolibrary/"
    wineserver -k 2>/dev/null; wineserver -w
    trace="$work/trace-nolibrary"; out="$work/out-nolibrary"
    boot
    await_boot
    "$W" sc create "$service_name" binPath= "$(windows_path "$work/nolibrary/kelvarid-service.exe")" \
        start= demand >/dev/null 2>&1
    "$W" sc start "$service_name" >/dev/null 2>&1
    for _ in $(seq 100); do grep -q "ReportEventW (.*,$MSG_LIBRARY_NOT_LOADED," "$out" && break; sleep 0.2; done
    await mentioned "$MSG_LIBRARY_NOT_LOADED" serline.dll || fail "no entry naming the missing serline.dll"
    # The first rise, due 5 ms after the start, fails: the library is put back after it.
    await grep -q "ReportEventW (.*,$MSG_PULSE_FAILED," "$out" || fail "no entry that the first pulse failed"
    wait_for_state RUNNING || fail "the service without its library does not run: $(state)"
    cp "$build/serline.dll" "$work/nolibrary/"
    back=$(date +%s.%N)
    wait_for_raises COM1 1 65 || fail "no rise on COM1 within 65 s of serline.dll being put back"
    library_to_rise=$(calc "$(breaks | grep ' COM1 raise$' | head -n 1 | cut -d' ' -f1) - $back")
    await mentioned "$MSG_LIBRARY_LOADED" serline.dll || fail "no entry that serline.dll was loaded"
    [ "$(grep -c "ReportEventW (.*,$MSG_LIBRARY_NOT_LOADED," "$out")" = 1 ] || fail "the missing library was logged more than once"
    stop_service
    await last_break_is COM1 lower || fail "the line of COM1 was left raised"
    "$W" sc delete "$service_name" >/dev/null 2>&1
    trace="$work/trace"; out="$work/out"

    # The service as the installer makes it, on COM1, in a prefix that has started as a
    # machine boots.
    wineserver -k 2>/dev/null; wineserver -w
    boot
    await_boot
    "$W" sc create "$service_name" binPath= "$exe" start= auto obj= "NT AUTHORITY\\LocalService" >"$work/create" 2>&1 ||
        { cat "$work/create"; fail "sc create"; }
    set_port COM1
    # The drill is asked for by the service's program in a console. Refused while the service does
    # not run, with its own exit code.
    drill() { "$W" "$work/program/kelvarid-service.exe" --drill >"$work/drill-$1" 2>&1; echo $?; }
    # The service started, and its first pulse over; $before: the rises on COM1 before it.
    start_and_pulse_once() {
        before=$(raises COM1)
        "$W" sc start "$service_name" >/dev/null 2>&1
        wait_for_raises COM1 $((before + 1)) 10 || fail "the service did not pulse at its start"
        await last_break_is COM1 lower || fail "the first pulse did not end"
    }
    code=$(drill stopped)
    [ "$code" = "$KELVARID_DRILL_EXIT_SERVICE_NOT_RUNNING" ] || fail "--drill with the service stopped ended with $code: $(cat "$work/drill-stopped")"
    grep -q "does not run" "$work/drill-stopped" || fail "--drill did not say why: '$(cat "$work/drill-stopped")'"

    # No reset comes: no rise until DrillTimeout (90 s, longer than the 60 s between pulses) after
    # the last pulse, then one at once, and the error entry.
    set_value HealthChecks REG_DWORD 0
    set_value DrillTimeout REG_DWORD 90
    start_and_pulse_once
    # The control alone, as anyone it is let through for may send it: no drill, a refusal (4).
    WINEDEBUG=-all "$W" "$build/tests/wine/e2e_service.exe" --gtest_filter='ServiceDrillControl.*' >"$work/control" 2>&1 ||
        { cat "$work/control"; fail "the service's drill control could not be sent"; }
    await logged "$MSG_DRILL_REFUSED" 4 || fail "the control alone was not refused as not asked for (4)"
    grep -q "ReportEventW (.*,$MSG_DRILL_STARTS," "$out" && fail "the control alone started a drill"
    code=$(drill timeout)
    [ "$code" = 0 ] || fail "--drill ended with $code: $(cat "$work/drill-timeout")"
    await mentioned "$MSG_DRILL_STARTS" 'L"90"' || fail "no entry that the drill started, with its timeout"
    last_fall=$(breaks | grep ' COM1 lower$' | tail -n 1 | cut -d' ' -f1)
    wait_for_raises COM1 $((before + 2)) 100 || fail "no rise came after the drill's timeout"
    drill_gap=$(calc "$(breaks | grep ' COM1 raise$' | tail -n 1 | cut -d' ' -f1) - $last_fall")
    awk "BEGIN { exit !($drill_gap >= 89.9 && $drill_gap < 92) }" || fail "the rise after the drill came $drill_gap s after the last pulse, not 90 s"
    await mentioned "$MSG_DRILL_FAILED" 'L"90"' || fail "no error entry that the drill failed after 90 s"
    stop_service "the drill"

    # The circuit resets the machine during a drill: the next start says that it passed, with the
    # seconds from the last pulse. A second drill meanwhile is refused.
    start_and_pulse_once
    code=$(drill reset)
    [ "$code" = 0 ] || fail "--drill ended with $code: $(cat "$work/drill-reset")"
    code=$(drill again)
    [ "$code" = "$KELVARID_DRILL_EXIT_ALREADY_RUNNING" ] || fail "a second drill ended with $code: $(cat "$work/drill-again")"
    reset_and_boot drill
    wait_for_raises COM1 1 60 || fail "the service did not pulse after the drill's reset"
    await mentioned "$MSG_DRILL_PASSED" 'L"' || fail "the start after the reset does not say that the drill passed"
    passed_after=$(strings_of "$MSG_DRILL_PASSED" | sed -n '4s/.*L"\([0-9]*\)".*/\1/p')
    [ -n "$passed_after" ] || fail "the entry of the passed drill gives no seconds"
    await mentioned "$MSG_LAST_PULSE_BEFORE" 'L"' || fail "the start does not say when the last pulse was"
    stop_service "the drill's reset"
    echo "PASS: without serline.dll logged once and running, first rise $library_to_rise s after it was put back;" \
        "--drill refused while stopped ($KELVARID_DRILL_EXIT_SERVICE_NOT_RUNNING); a drill with no reset: the next" \
        "rise $drill_gap s after the last pulse, logged as failed; a drill and a reset: passed, $passed_after s from the last" \
        "pulse to the service's start" >"$work/pass"
}

case "$part" in
    boot) boot_part ;;
    side) side_part ;;
    *) fail "no part $part: boot or side" ;;
esac

# Deleted, it is gone from the service manager and the registry.
"$W" sc delete "$service_name" >/dev/null 2>&1
"$W" reg query "HKLM\\$KELVARID_SERVICE_KEY" >/dev/null 2>&1 && fail "the service's key is left"
"$W" sc query "$service_name" 2>/dev/null | grep -q SERVICE_NAME && fail "sc query still finds the service"
cat "$work/pass"
