# Set-up shared by scripts/test and scripts/run: packages, builds, a display, a Wine prefix.
# Sourced, not run. Expects $root to be the checkout's top folder.

build="$root/build"
export WINEPREFIX="$build/wine"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko, and no Linux menu entries for shortcuts an installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

packages="cmake g++ libgtest-dev googletest g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
  wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick socat strace python3 util-linux
  clang libclang-rt-14-dev nsis zip unzip"

say() { printf '\033[1m==> %s\033[0m\n' "$*"; }

ensure_packages() {
    missing=""
    for package in $packages; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    say "installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages:$missing; run as root to install them" >&2
        exit 1
    fi
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

build_native() {
    say "native build"
    cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Debug -DKELVARID_SANITIZE=ON >/dev/null
    cmake --build "$build/native" -j"$(nproc)"
}

build_windows() {
    say "Windows build (MinGW-w64 i686)"
    cmake -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$build/win" -j"$(nproc)"
}

# A virtual display when there is none; it ends with the script.
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
    say "virtual display :$number"
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
    xvfb_pid=$!
    # Under set -e a failing command here would replace the exit code: none may fail.
    trap 'code=$?; kill $xvfb_pid 2>/dev/null || true; wineserver -k 2>/dev/null || true; exit $code' EXIT
    export DISPLAY=":$number"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "the virtual display did not start; see $build/xvfb.log" >&2
    exit 1
}

# A throwaway prefix under build/. COM1 to COM4 point at build/ports/comN, where only a test's
# pseudo-terminal ever lies: the machine's own serial ports are never mapped to them.
ensure_prefix() {
    mkdir -p "$build/ports"
    rm -f "$build/ports"/com*  # links a run with real ports or a broken test may have left
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    fi
    settings="$build/wine-settings.reg"
    cat >"$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$build/ports/com1"
"COM2"="$build/ports/com2"
"COM3"="$build/ports/com3"
"COM4"="$build/ports/com4"
REG
    wine regedit /S "$settings" >/dev/null 2>&1
    # The port links are made when Wine starts: start it again with the settings in place.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
