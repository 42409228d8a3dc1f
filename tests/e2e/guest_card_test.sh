#!/usr/bin/env bash
# The real program issues a guest card with the mouse: a click on "制客人卡"
# with a fresh simulated device writes a guest card for the stay in hotel.ini,
# beeps once and shows "发卡成功!" in the window rather than in a box (kept as
# $ARTIFACTS/guest_card_issued.png). The port closed after the card: a second
# click shows the read failure, leaves the card as written and takes the
# success note away. The program still ends with exit code 0. Run it through
# with_xvfb.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"

# A checkout ahead of today, as a real stay has.
checkout_date=$(date -d '+30 days' +%y%m%d)
write_handoff "[MAIN]\r\nleavedate=${checkout_date}\r\nleavetime=1130\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n"

start_station
[ "$(red_pixels 168 262 200 30)" = 0 ] || fail "red shows where the success note goes"
# "制客人卡" at 120,304 (139 x 35).
xdotool mousemove --window "$window" 189 321 click 1

shown=
for _ in $(seq 100); do
    shown=$(sim show)
    grep -q '^Card: *guest card' <<<"$shown" && break
    if xdotool search --onlyvisible --name '^提示$' >/dev/null 2>&1; then
        fail "a box appeared instead of a written card: $shown"
    fi
    sleep 0.1
done
grep -q '^Card: *guest card' <<<"$shown" || fail "no guest card was written: $shown"
grep -q '(written as 4711)' <<<"$shown" || fail "not the hand-off's hotel: $shown"
grep -q '^  Lock: *03040506$' <<<"$shown" || fail "not the hand-off's lock: $shown"
want="20${checkout_date:0:2}-${checkout_date:2:2}-${checkout_date:4:2} 11:30"
grep -q "^  Checkout: *${want}\$" <<<"$shown" || fail "checkout is not $want: $shown"
grep -q '^Beeps: *1$' <<<"$shown" || fail "the encoder did not beep once: $shown"

# Success shows in the window: no box may come up.
sleep 0.5
if xdotool search --onlyvisible --name '^提示$' >/dev/null 2>&1; then
    fail "a box came up after a successful issue"
fi
# "发卡成功!" in red at 168,264, where nothing red stood before.
[ "$(red_pixels 168 262 200 30)" -gt 50 ] || fail "no success note in the window"
keep_screenshot guest_card_issued

written=$(card_hex)
xdotool mousemove --window "$window" 189 321 click 1
expect_box '提示' "读卡失败"$'\n'"$(result_code KELRIN_ERROR_NOT_OPEN)"
[ "$(card_hex)" = "$written" ] || fail "the second click changed the card"
sim show | grep -q '^Beeps: *1$' || fail "the second click beeped"
[ "$(red_pixels 168 262 200 30)" = 0 ] || fail "the success note stayed after the failed attempt"

stop_station
echo "guest card checks passed"
