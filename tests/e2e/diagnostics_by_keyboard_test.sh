#!/usr/bin/env bash
# The diagnostic controls below the visible area, reached by keyboard alone.
# From the first focus, on the open-port button, Shift+Tab walks back to
# "读DLL的版本号[GetDLLVersion]", and Space shows the library's version in a
# message. Tab then reaches "读取并解析开门记录": each prompt offers the next
# record of the simulated device's dump, selected, and OK shows it decoded;
# OK to go on, and Escape in the third prompt ends the walk. Run it through
# with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
command -v xclip >/dev/null || fail "xclip is not installed (package xclip)"

# A full memory, whose oldest records are forgotten: the dump's first record
# is then not the one offered when the dump cannot be read.
for _ in $(seq 219); do
    sim add-record 6 250101120000 1 >/dev/null
done
records=$(sim records)
[ "$(awk 'NR == 2 { print $2 }' <<<"$records")" != 6B15458D15EA3941 ] ||
    fail "the dump's first record is the default one"

write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=301\r\n'
start_station
# Back from the open-port button: 制客人卡, the close-port button, the
# records, 退出, the card data field, then the version.
xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
expect_box '提示' "DLL版本号：Kelrin simulator 1.0 (card layout 1)"

# On from the version: the card data field, 退出, then the records.
xdotool windowfocus --sync "$window"
xdotool key --delay 50 Tab Tab Tab space
for record in 0 1 2; do
    wait_for_box '解析开门记录'
    # The preset is selected: a copy takes it whole.
    xdotool windowfocus --sync "$box"
    xdotool key ctrl+c
    offered=$(timeout 5 xclip -o -selection clipboard) || fail "nothing was copied from the prompt"
    # "kelrin-sim records": number, open record, decoded record, ...
    read -r _ open decoded _ < <(awk -v n=$((record + 2)) 'NR == n' <<<"$records")
    [ "$offered" = "$open" ] || fail "prompt $record offers '$offered', not the dump's '$open'"
    [ "$record" = 2 ] && break
    close_box Return
    want="解析出来的字符串：${decoded}"$'\n'"具体意思为："$'\n'"卡类型：${decoded:0:1}"$'\n'
    want+="时间：20${decoded:1:2}/${decoded:3:2}/${decoded:5:2} ${decoded:7:2}:${decoded:9:2}:${decoded:11:2}"
    expect_box '提示' "$want"
    # "是否继续显示下一条记录？" has Cancel for its default: Tab to OK.
    wait_for_box '操作提示'
    xdotool windowfocus --sync "$box"
    xdotool key Tab
    close_box space
done
close_box Escape
# Cancel ended the walk: no further box comes up.
sleep 0.5
if xdotool search --onlyvisible --name '^(提示|操作提示|错误提示|解析开门记录)$' >/dev/null; then
    fail "a box is still up after the prompt was cancelled"
fi
stop_station
echo "keyboard diagnostics checks passed"
