# Set-up shared by scripts/test, scripts/run, scripts/bench and scripts/package: packages, the
# Windows targets, builds, a display, Wine prefixes. Sourced, not run. Expects $root to be the
# checkout's top folder.
#
# Two Windows targets come from the same sources: i686 (32-bit, the main release) and x86_64
# (64-bit). Each has its own build folder, build/win-TARGET, and its own Wine prefix,
# build/wine-TARGET: a 32-bit prefix run by 32-bit Wine for i686, a 64-bit one run by Wine's
# 64-bit loader for x86_64. KELVARID_ARCH=i686 or KELVARID_ARCH=x86_64 limits a run to one.

build="$root/build"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko, and no Linux menu entries for shortcuts an installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

all_targets="i686 x86_64"
packages="cmake g++ libgtest-dev googletest mingw-w64-tools
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb x11-utils xdotool imagemagick socat strace python3 util-linux
  clang libclang-rt-14-dev nsis zip unzip"
# Only where the machine runs 32-bit programs: elsewhere its installation fails.
packages_32bit="wine32:i386"

say() { printf '\033[1m==> %s\033[0m\n' "$*"; }

# The targets a run asks for: the one KELVARID_ARCH names, or all. Anything else ends the run
# before anything is installed or built.
requested_targets() {
    case "${KELVARID_ARCH:-}" in
        "") echo "$all_targets" ;;
        i686 | x86_64) echo "$KELVARID_ARCH" ;;
        *)
            echo "KELVARID_ARCH='$KELVARID_ARCH' names no target: use i686 or x86_64, or leave it unset for all" >&2
            exit 2 ;;
    esac
}

# Whether the kernel runs 32-bit x86 programs, found out by running one: a static 93-byte ELF
# program that only calls exit(0). Some kernels of 64-bit machines refuse every one.
runs_32bit_programs() {
    probe="${TMPDIR:-/tmp}/kelvarid-i386-probe.$$"
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
    chmod +x "$probe"
    if "$probe" 2>/dev/null; then rm -f "$probe"; return 0; fi
    rm -f "$probe"
    return 1
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }

ensure_packages() {
    missing="" missing_32bit=""
    for package in $packages; do installed "$package" || missing="$missing $package"; done
    if runs_32bit_programs; then
        for package in $packages_32bit; do installed "$package" || missing_32bit="$missing_32bit $package"; done
    fi
    [ -z "$missing$missing_32bit" ] && return 0
    say "installing:$missing$missing_32bit"
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages:$missing$missing_32bit; run as root to install them" >&2
        exit 1
    fi
    if [ -n "$missing_32bit" ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    fi
    apt-get update -q
    if [ -n "$missing" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
    fi
    # 32-bit Wine serves only the i686 target: without it the x86_64 one is still tested.
    if [ -n "$missing_32bit" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing_32bit ||
            say "note:$missing_32bit did not install; the i686 target cannot run here"
    fi
}

# Wine's loader for a target's programs and prefix.
wine_loader() {
    case "$1" in
        i686) echo /usr/lib/wine/wine ;;
        x86_64) echo /usr/lib/wine/wine64 ;;
    esac
}

# Why the machine cannot run a target's programs; nothing when it can.
why_not_runnable() {
    case "$1" in
        i686)
            if ! runs_32bit_programs; then
                echo "this machine does not run 32-bit Linux programs (a 32-bit test program failed to start), and 32-bit Wine is one"
            elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
                echo "32-bit Wine (/usr/lib/wine/wine, package wine32:i386) does not run here"
            fi ;;
        x86_64)
            if ! /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
                echo "64-bit Wine (/usr/lib/wine/wine64, package wine64) does not run here"
            fi ;;
    esac
}

# Sets $targets to the requested targets this machine runs, in order, and prints one line for
# each target left out with the reason. Call after ensure_packages.
choose_runnable_targets() {
    requested=$(requested_targets)
    targets=""
    for target in $all_targets; do
        case " $requested " in
            *" $target "*) ;;
            *) say "leaving out $target: KELVARID_ARCH=$KELVARID_ARCH limits this run to $KELVARID_ARCH"; continue ;;
        esac
        reason=$(why_not_runnable "$target")
        if [ -n "$reason" ]; then
            say "leaving out $target: $reason"
        else
            targets="${targets:+$targets }$target"
        fi
    done
}

# Points the following steps at one target: $win (its build folder), $loader and WINEPREFIX
# (its main prefix, build/wine-TARGET).
use_target() {
    target=$1
    win="$build/win-$target"
    loader=$(wine_loader "$target")
    export WINEPREFIX="$build/wine-$target"
    prefixes_used="${prefixes_used:-} $WINEPREFIX"
}

# The groups of a target's Wine tests that scripts/test runs side by side, each in a prefix of
# its own, as the build gives every test the prefix of its group by its labels: the tests
# labelled slow (whole 60.5 s cycles), boot (the service from the prefix started as a machine
# boots), side (what runs beside those: the service without its library and its drills, the
# installer's folders) and package (installers) in build/wine-TARGET-slow, -boot, -side and
# -package; the rest in build/wine-TARGET.
wine_lanes="main slow boot side package"

# Points WINEPREFIX at one group's prefix of the current target.
use_lane() {
    lane=$1
    export WINEPREFIX="$build/wine-$target"
    [ "$lane" = main ] || WINEPREFIX="$WINEPREFIX-$lane"
    prefixes_used="${prefixes_used:-} $WINEPREFIX"
}

build_native() {
    say "native build"
    cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Debug -DKELVARID_SANITIZE=ON >/dev/null
    cmake --build "$build/native" -j"$(nproc)"
}

build_windows() {
    say "Windows build (MinGW-w64 $target) in ${win#"$root"/}"
    cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$target.cmake" >/dev/null
    cmake --build "$win" -j"$(nproc)"
}

# Ends the Wine processes of every prefix this script used.
end_wine() {
    for prefix in ${prefixes_used:-}; do
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    done
}

# Ends what the script started: its virtual displays and the Wine processes of its prefixes.
# Under set -e a failing command here would replace the exit code: none may fail.
end_all() {
    for pid in ${xvfb_pids:-}; do kill "$pid" 2>/dev/null || true; done
    end_wine
}

# Starts a virtual display of its own and sets $display to its name (":91") once it answers.
new_display() {
    number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb-$number.log" 2>&1 &
    xvfb_pids="${xvfb_pids:-} $!"
    for _ in $(seq 50); do DISPLAY=":$number" xdpyinfo >/dev/null 2>&1 && { display=":$number"; return 0; }; sleep 0.1; done
    echo "the virtual display :$number did not start; see $build/xvfb-$number.log" >&2
    return 1
}

# A virtual display when there is none; it ends with the script, as do the Wine processes.
ensure_display() {
    trap 'code=$?; end_all; exit $code' EXIT
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    new_display || exit 1
    export DISPLAY="$display"
    say "virtual display $DISPLAY"
}

# "COM1"="<prefix>/ports/com1" for every port Windows can have, COM1 to COM256: the service
# takes any of them, and a port left to Wine would get the machine's own serial device.
port_mappings() {
    n=1
    while [ "$n" -le 256 ]; do
        printf '"COM%s"="%s"\n' "$n" "$WINEPREFIX/ports/com$n"
        n=$((n + 1))
    done
}

# The prefix WINEPREFIX names as a copy of the given prefix of the same target, unless it has
# one already (a copy takes seconds, wineboot tens of them). No Wine may run in the one copied.
copy_prefix() {  # prefix to copy
    [ ! -f "$WINEPREFIX/system.reg" ] || return 0
    rm -rf "$WINEPREFIX"
    cp -a "$1" "$WINEPREFIX"
}

# The throwaway prefix WINEPREFIX names, made by Wine or, given one, copied from that prefix of
# the same target. COM1 to COM256 point at
# <prefix>/ports/comN, where only a test's pseudo-terminal ever lies: the machine's own serial
# ports are never mapped to them, and no two prefixes share a port.
ensure_prefix() {  # [prefix to copy]
    case "$target" in
        i686) arch=win32 ;;
        x86_64) arch=win64 ;;
    esac
    [ -z "${1:-}" ] || copy_prefix "$1"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Wine prefix ${WINEPREFIX#"$root"/} ($arch)"
        WINEARCH=$arch "$loader" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed for $WINEPREFIX" >&2; exit 1; }
    fi
    mkdir -p "$WINEPREFIX/ports"
    rm -f "$WINEPREFIX/ports"/com*  # links a run with real ports or a broken test may have left
    # Wine's own fonts (Tahoma, MS Sans Serif and the rest), which the window tests' pictures
    # expect: this Wine was seen not to find them in /usr/share/wine/fonts by itself, and then
    # draws with whatever fonts the machine has, smoothed, so every caption gets grey pixels.
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    settings="$WINEPREFIX/kelvarid-settings.reg"
    cat >"$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
$(port_mappings)
REG
    "$loader" regedit /S "$settings" >/dev/null 2>&1
    # The port links are made when Wine starts: start it again with the settings in place.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
