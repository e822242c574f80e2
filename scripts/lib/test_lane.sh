#!/bin/sh
# One group of a target's Wine tests, as scripts/test runs it beside the others: in the group's
# own prefix (copied from the target's main prefix when it is missing) and on its own display.
# Writes ctest's output to the log and, last, the seconds it took.
#   test_lane.sh <target> <lane> <display> <log>
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/setup.sh"
use_target "$1"
main_prefix=$WINEPREFIX
use_lane "$2"
prefixes_used=$WINEPREFIX  # at its end it ends its own prefix's Wine, never another group's
export DISPLAY="$3"
log=$4

case "$lane" in
    main) selection="-LE ^(slow|boot|side|package)\$" ;;
    *) selection="-L ^$lane\$" ;;
esac
started=$(date +%s)
{
    [ "$lane" = main ] || ensure_prefix "$main_prefix"
    # shellcheck disable=SC2086  # two words: the option and its expression
    ctest --test-dir "$win" --output-on-failure $selection
} >"$log" 2>&1
status=$?
end_wine
echo "seconds $(($(date +%s) - started))" >>"$log"
exit $status
