# Pseudo-terminals standing in for COM ports, for the test scripts that watch the real library
# with strace. Sourced, not run; expects $build (the Windows build folder). Gives:
#   $work           a scratch folder, removed at the end
#   terminal N      maps COMn to a new socat pseudo-terminal (<prefix>/ports/comN)
#   on_exit CMD     a command to run first when the script ends
# At the end every terminal is ended and its link removed.
ports="${WINEPREFIX:?the Wine prefix, which ctest names}/ports"  # where the prefix maps COM1 to COM4
work=$(mktemp -d)
terminal_pids=""
terminal_links=""
exit_command=":"
on_exit() { exit_command="$*"; }
end_terminals() {
    eval "$exit_command" 2>/dev/null
    for pid in $terminal_pids; do kill "$pid" 2>/dev/null; done
    for link in $terminal_links; do rm -f "$link" "$link-peer"; done
    rm -rf "$work"
}
trap end_terminals EXIT
mkdir -p "$ports"

terminal() {
    link="$ports/com$1"
    rm -f "$link"
    socat pty,raw,echo=0,link="$link" pty,raw,echo=0,link="$link-peer" 2>"$work/socat$1.log" &
    terminal_pids="$terminal_pids $!"
    terminal_links="$terminal_links $link"
    for _ in $(seq 50); do [ -e "$link" ] && return 0; sleep 0.1; done
    echo "FAIL: socat made no pseudo-terminal for COM$1"; cat "$work/socat$1.log"; exit 1
}
