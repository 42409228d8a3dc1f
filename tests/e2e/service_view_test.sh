#!/usr/bin/env bash
# The technician's view of the real program: "guestcard --service" opens the
# same window, captioned as always, grown past the clerk's 573 x 357 area to
# show the library's diagnostics but kept within the screen; a mouse click on
# the library-version button, which lies below the clerk's area, answers in a
# message box. Run it through with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"

write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n'
start_station --service
title=$(xdotool getwindowname "$window")
[ "$title" = "制客人卡" ] || fail "window caption is '$title'"
eval "$(xdotool getwindowgeometry --shell "$window")"
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
[ "$WIDTH" -gt 573 ] && [ "$HEIGHT" -gt 357 ] || fail "the view did not grow: ${WIDTH}x${HEIGHT}"
[ "$WIDTH" -le "$screen_width" ] && [ "$HEIGHT" -le "$screen_height" ] ||
    fail "${WIDTH}x${HEIGHT} runs off the ${screen_width}x${screen_height} screen"

if [ -n "${SCREENSHOT:-}" ] && command -v import >/dev/null; then
    sleep 0.5
    import -window "$window" "$SCREENSHOT"
fi

# "读DLL的版本号[GetDLLVersion]" at 256,576 (281 x 33), clicked right of
# "读取并解析开门记录", which lies over its left part.
xdotool mousemove --window "$window" 470 592 click 1
wait_for_box '提示'
close_box

stop_station
echo "service view checks passed"
