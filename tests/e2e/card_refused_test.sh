#!/usr/bin/env bash
# The real program when no guest card can be written, each case on a fresh
# simulated device: with the encoder unplugged the window opens with no
# message, "制客人卡" shows the read failure with the library's code, Enter
# closes it and the program runs on; with no card on the encoder the box says
# so and shows what was read; with a checkout of six characters the library
# refuses the card, the encoder beeps and the card stays as it was. Run it
# through with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"

# "制客人卡" at 120,304 (139 x 35).
issue() {
    xdotool mousemove --window "$window" 189 321 click 1
}

# Unplugged.
write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1130\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n'
sim unplug >/dev/null
start_station
sleep 1
if xdotool search --onlyvisible --name '^(提示|制客人卡系统)$' >/dev/null 2>&1; then
    fail "a box came up at start with the encoder unplugged"
fi
# The port did not open at start.
read_failure="读卡失败"$'\n'"$(result_code KELRIN_ERROR_NOT_OPEN)"
issue
expect_box '提示' "$read_failure"
# It runs on: the same click answers again, and "退出" ends it with code 0.
issue
expect_box '提示' "$read_failure"
stop_station

# No card on the encoder: the read succeeds with no card-present marker.
sim reset >/dev/null
sim remove >/dev/null
start_station
issue
expect_box '提示' "发卡器的感应区无卡"$'\n'"$(printf '0%.0s' $(seq 128))"
sim show | grep -q '^Beeps: *0$' || fail "no card: the encoder beeped"
stop_station

# A checkout date without its time.
sim reset >/dev/null
write_handoff '[MAIN]\r\nleavedate=261224\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n'
before=$(card_hex)
start_station
issue
expect_box '提示' "调用发卡函数失败"$'\n'"$(result_code KELRIN_ERROR_TIME)"
[ "$(card_hex)" = "$before" ] || fail "the refused write changed the card"
sim show | grep -q '^Beeps: *1$' || fail "the encoder did not beep once after the attempt"
stop_station
echo "refused card checks passed"
