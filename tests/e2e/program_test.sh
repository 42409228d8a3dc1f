#!/usr/bin/env bash
# The real program, with the stand-in encoder library beside it, in a window
# on an X server: it shows its caption and client size, opens the simulated
# encoder, answers Enter and Space on the focused open-port button with the
# library's failure in a message box, reads hotel.ini beside it without
# touching that file, and ends with exit code 0 when "退出" is pressed. Run it
# through with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"

write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=\xB6\xAB\xC2\xA5203\r\n'
# A decoy in the working directory must not be read.
printf '[MAIN]\nroomno=99999999\n' >"$work/cwd/hotel.ini"
cp -p "$work/station/hotel.ini" "$work/hotel.ini.before"

start_station
title=$(xdotool getwindowname "$window")
[ "$title" = "制客人卡" ] || fail "window caption is '$title'"
geometry=$(xdotool getwindowgeometry "$window")
grep -q 'Geometry: 573x357' <<<"$geometry" || fail "client area is not 573x357: $geometry"

if [ -n "${SCREENSHOT:-}" ] && command -v import >/dev/null; then
    sleep 0.5
    import -window "$window" "$SCREENSHOT"
fi

# The focus starts on the open-port button: with the encoder unplugged, Enter,
# the keypad's Enter and Space each open the port again and the library's
# failure shows in a message box.
sim unplug >/dev/null
for key in Return KP_Enter space; do
    xdotool windowfocus --sync "$window"
    xdotool key "$key"
    wait_for_box '提示'
    close_box
done

stop_station
cmp -s "$work/station/hotel.ini" "$work/hotel.ini.before" || fail "hotel.ini was changed"
[ "$(stat -c %Y "$work/station/hotel.ini")" = "$(stat -c %Y "$work/hotel.ini.before")" ] ||
    fail "hotel.ini was written"
echo "program checks passed"
