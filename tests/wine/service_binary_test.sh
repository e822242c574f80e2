#!/bin/sh
# kelvarid-service.exe as it ships: Windows' own libraries only, no link time, its version
# record, manifest and event messages inside, and the three files together under 256 KiB.
#   service_binary_test.sh <build folder> <objdump>
set -u
build=$1
objdump=$2
exe="$build/kelvarid-service.exe"
failed=0
check() { if ! eval "$1"; then echo "FAIL: $2"; failed=1; fi; }
# The UTF-16LE bytes of an ASCII text, as resources hold it, for grep -c.
utf16() { printf '%s' "$1" | iconv -f ASCII -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }
holds() { od -An -tx1 -v "$exe" | tr -d ' \n' | grep -q "$(utf16 "$1")"; }

dump=$("$objdump" -p "$exe")
imports=$(printf '%s\n' "$dump" | sed -nE 's/.*DLL Name: (.*)/\1/p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
echo "imports: $imports"
for dll in $imports; do
    case $dll in
    kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll) ;;
    *) echo "FAIL: imports $dll, not one of Windows' own"; failed=1 ;;
    esac
done
check 'printf "%s" "$imports" | grep -q advapi32.dll' "no import of the service manager's advapi32.dll"
check 'printf "%s\n" "$dump" | grep -qE "Time/Date[[:space:]]+(Thu Jan  1 00:00:00 1970|0+)[[:space:]]*$"' \
    "a link time in the header"
check 'printf "%s\n" "$dump" | grep -qE "Subsystem[[:space:]]+00000002"' "not a GUI-subsystem program"
check 'holds "1.00.0005"' "no version record 1.00.0005"
check 'holds "kelvarid-service.exe"' "the version record does not name kelvarid-service.exe"
check 'grep -q "level=\"asInvoker\"" "$exe"' "no manifest"
check 'holds "The Kelvarid service runs; its pulses go to port %1."' "no message table with the start entry"
check 'holds "Port %1 cannot be opened."' "no message table entry for a port that cannot be opened"
total=$(($(stat -c %s "$exe") + $(stat -c %s "$build/kelvarid.exe") + $(stat -c %s "$build/serline.dll")))
echo "kelvarid.exe + serline.dll + kelvarid-service.exe = $total bytes"
check '[ "$total" -lt 262144 ]' "the three files take $total bytes, not under 256 KiB"
[ "$failed" = 0 ] && echo "PASS"
exit "$failed"
