#!/usr/bin/env bash
# The real program, with the stand-in encoder library beside it, in a window
# on an X server: it shows its caption and client size, opens the simulated
# encoder, answers a key on the focused open-port button with the library's
# failure in a message box, reads hotel.ini beside it without touching that
# file, and ends with exit code 0 when "退出" is pressed. Run it through
# with_xvfb.sh.
set -euo pipefail
program=$1
library=$2
simulator=$3
unset LD_LIBRARY_PATH
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'if [ -n "${station:-}" ]; then kill "$station" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
mkdir "$work/station" "$work/cwd"
cp "$program" "$work/station/guestcard"
cp "$library" "$work/station/libKelrin.so"
printf '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=' >"$work/station/hotel.ini"
printf '\xB6\xAB\xC2\xA5203\r\n' >>"$work/station/hotel.ini"
# A decoy in the working directory must not be read.
printf '[MAIN]\nroomno=99999999\n' >"$work/cwd/hotel.ini"
cp -p "$work/station/hotel.ini" "$work/hotel.ini.before"
export KELRIN_SIM_STATE="$work/device"
"$simulator" reset >/dev/null

cd "$work/cwd"
"$work/station/guestcard" >"$work/out" 2>&1 &
station=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '制客人卡' | head -n1) ||
    fail "no window appeared"
title=$(xdotool getwindowname "$window")
[ "$title" = "制客人卡" ] || fail "window caption is '$title'"
geometry=$(xdotool getwindowgeometry "$window")
grep -q 'Geometry: 573x357' <<<"$geometry" || fail "client area is not 573x357: $geometry"

if [ -n "${SCREENSHOT:-}" ] && command -v import >/dev/null; then
    sleep 0.5
    import -window "$window" "$SCREENSHOT"
fi

# The focus starts on the open-port button: with the encoder unplugged, Space
# opens the port again and the library's failure shows in a message box.
"$simulator" unplug >/dev/null
xdotool windowfocus --sync "$window"
xdotool key space
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^提示$' | head -n1) ||
    fail "no message box after opening the port on an unplugged encoder"
xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^提示$' >/dev/null 2>&1 || break
    sleep 0.05
done
! xdotool search --onlyvisible --name '^提示$' >/dev/null 2>&1 || fail "the message box did not close"

# "退出" at 312,304 (137 x 34).
xdotool mousemove --window "$window" 380 321 click 1
status=0
timeout 10 tail --pid="$station" -f /dev/null || fail "the program did not end after 退出"
wait "$station" || status=$?
station=
[ "$status" = 0 ] || fail "exit code $status: $(cat "$work/out")"
cmp -s "$work/station/hotel.ini" "$work/hotel.ini.before" || fail "hotel.ini was changed"
[ "$(stat -c %Y "$work/station/hotel.ini")" = "$(stat -c %Y "$work/hotel.ini.before")" ] ||
    fail "hotel.ini was written"
echo "program checks passed"
