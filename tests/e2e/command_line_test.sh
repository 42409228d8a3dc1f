#!/usr/bin/env bash
# The real program's command line: --help and --version answer on the
# terminal with no display at all; an option or argument the program does not
# take, Qt's own among them, is noted in one line and the window opens as
# usual, unchanged; with no display to open, one line says which one was tried
# and the program ends with code 1 instead of aborting. Run it through
# with_xvfb.sh; the fourth argument is the version the build gives.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
version=$4

# Runs the program with no display; sets $status, $out and $err.
run_without_display() {
    status=0
    (cd "$work/cwd" && timeout 10 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        -u XDG_SESSION_TYPE "$@" "$work/station/guestcard" "${args[@]}") \
        >"$work/stdout" 2>"$work/stderr" ||
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

# Qt's -platform is not obeyed, nor looked at for a display.
args=(-platform offscreen)
run_without_display
[ "$status" = 1 ] || fail "-platform offscreen: exit code $status: $err"

# Nothing red but the panel's "（0-255）", which shows that the window is drawn.
no_red() {
    [ "$(red_pixels 336 200 193 22)" -gt 0 ] || fail "$*: the red note is not drawn"
    [ "$(red_pixels 0 0 573 195)" = 0 ] || fail "$*: the window shows red"
    [ "$(red_pixels 0 225 573 132)" = 0 ] || fail "$*: the window shows red"
}
# The guest-card panel's white caption stays at its left.
not_mirrored() {
    [ "$(white_pixels 48 12 90 22)" -gt 10 ] || fail "$*: no caption at the panel's left"
    [ "$(white_pixels 447 12 90 22)" = 0 ] || fail "$*: the panel's caption is at its right"
}

# CHECK ARGS...: the clerk's window opens with ARGS, passes CHECK, notes ARGS
# in one line and ends with "退出".
expect_ignored() {
    local check=$1 note
    shift
    start_station "$@"
    xdotool getwindowgeometry "$window" | grep -q 'Geometry: 573x357' || fail "$*: window size"
    "$check" "$@"
    printf -v note '%s, ' "$@"
    [ "$(grep -c 'ignored' "$work/out")" = 1 ] || fail "$*: not one note: $(cat "$work/out")"
    grep -qxF "guestcard: ignored: ${note%, }" "$work/out" || fail "$*: note: $(cat "$work/out")"
    stop_station
}

printf '* { color: red; background-color: red; }\n' >"$work/red.qss"
expect_ignored true --room 203 stay.ini
expect_ignored true --help-all --service=1
expect_ignored true -platform nonesuch
expect_ignored true -display :65000
expect_ignored no_red -stylesheet "$work/red.qss"
expect_ignored not_mirrored -reverse
echo "command line checks passed"
