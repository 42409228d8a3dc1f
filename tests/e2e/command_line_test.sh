#!/usr/bin/env bash
# The real program's command line: --help and --version answer on the
# terminal with no display at all; an option or argument the program does not
# take is noted in one line and the window opens as usual; with no display to
# open, one line says which one was tried and the program ends with code 1
# instead of aborting. Run it through with_xvfb.sh; the fourth argument is the
# version the build gives.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/station_lib.sh"
version=$4

# Runs the program with no display; sets $status, $out and $err.
run_without_display() {
    status=0
    (cd "$work/cwd" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
        "$@" "$work/station/guestcard" "${args[@]}") >"$work/stdout" 2>"$work/stderr" ||
        status=$?
    out=$(cat "$work/stdout")
    err=$(cat "$work/stderr")
}

args=(--help)
run_without_display
[ "$status" = 0 ] || fail "--help: exit code $status: $err"
grep -q -- '--service' <<<"$out" || fail "--help does not name --service: $out"

args=(--version)
run_without_display
[ "$status" = 0 ] || fail "--version: exit code $status: $err"
[ "$out" = "制客人卡系统 $version" ] || fail "--version answered '$out'"

args=()
run_without_display
[ "$status" = 1 ] || fail "no display: exit code $status"
[ "$(wc -l <"$work/stderr")" = 1 ] || fail "no display: not one line: $err"
grep -q 'DISPLAY is not set.*Xvfb' <<<"$err" || fail "no display: $err"

# The toolkit's abort would end the program with 134.
run_without_display DISPLAY=:65000
[ "$status" = 1 ] || fail "unreachable display: exit code $status"
grep -q '":65000".*Xvfb' <<<"$err" || fail "unreachable display: $err"

start_station --room 203 stay.ini
notes=$(grep -c 'ignored' "$work/out" || true)
[ "$notes" = 1 ] || fail "not one note on the ignored arguments: $(cat "$work/out")"
grep -q 'ignored: --room, 203, stay.ini' "$work/out" || fail "note: $(cat "$work/out")"
stop_station
echo "command line checks passed"
