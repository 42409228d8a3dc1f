#!/usr/bin/env bash
# The door-open records by keyboard alone: from the first focus, on the
# open-port button, Shift+Tab walks back to "读取并解析开门记录" below the
# visible area, Space starts the walk, and the first prompt offers the first
# record of the simulated device's dump, selected; Escape ends the walk. Run
# it through with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/station_lib.sh"
command -v xclip >/dev/null || fail "xclip is not installed (package xclip)"

# A full memory, whose oldest records are forgotten: the dump's first record
# is then not the one offered when the dump cannot be read.
for _ in $(seq 219); do
    sim add-record 6 250101120000 1 >/dev/null
done
first=$(sim records | awk 'NR == 2 { print $2 }')
[ "$first" != 6B15458D15EA3941 ] || fail "the dump's first record is the default one"

write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=301\r\n'
start_station
# Back from the open-port button: 制客人卡, the close-port button, then the records.
xdotool key --delay 50 shift+Tab shift+Tab shift+Tab space
wait_for_box '解析开门记录'

# The preset is selected: a copy takes it whole.
xdotool windowfocus --sync "$box"
xdotool key ctrl+c
offered=$(timeout 5 xclip -o -selection clipboard) || fail "nothing was copied from the prompt"
[ "$offered" = "$first" ] || fail "the first prompt offers '$offered', not the dump's first record '$first'"

close_box Escape
# Cancel ended the walk: no further box comes up.
sleep 0.5
if xdotool search --onlyvisible --name '^(提示|操作提示|错误提示|解析开门记录)$' >/dev/null; then
    fail "a box is still up after the prompt was cancelled"
fi
stop_station
echo "door-open record checks passed"
