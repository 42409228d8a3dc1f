#!/usr/bin/env bash
# An end-to-end script that fails leaves nothing behind: one that fails on
# purpose once the program is up ends with the program, its X server and its
# scratch folder gone.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
record=$(mktemp)
trap 'rm -f "$record"' EXIT

status=0
"$here/with_xvfb.sh" bash -c 'source "$1/station_lib.sh" "$2" "$3" "$4"
    start_station
    echo "$station $(cat "/tmp/.X${DISPLAY#:}-lock") $work" >"$5"
    fail "on purpose"' failing "$here" "$1" "$2" "$3" "$record" 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "the failing script ended with $status, not 1"
# The X server's number is another test's soon after: its lock file names
# the process.
read -r program server work <"$record" || fail "the failing script did not start the program"

for pid in "$program" "$server"; do
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
done
! kill -0 "$program" 2>/dev/null || fail "the program ($program) still runs"
! kill -0 "$server" 2>/dev/null || fail "the X server ($server) still runs"
[ ! -e "$work" ] || fail "the scratch folder $work is still there"
echo "cleanup checks passed"
