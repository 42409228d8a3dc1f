#!/usr/bin/env bash
# The real program on the Wine bridge, with a scripted DLL built here as its
# Kelrin.dll. The first click on "制客人卡" meets a DLL that crashes inside
# GuestCard: the failure box shows the bridge's code, and the station stays
# up. The second click issues the card: the DLL's log holds the guest-card
# call with the hand-off's hotel, checkout and lock. Run it through
# with_xvfb.sh, with KELRIN_WINE and KELRIN_WINEPREFIX from the set-up.
#
#   STATION_WINE_DLL=scripted<bits>.dll bridge_card_test.sh PROGRAM BRIDGE SIMULATOR
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
export KELRIN_TEST_SCRIPT="$work/script" KELRIN_TEST_LOG="$work/log"
bits=$(basename "$STATION_WINE_DLL" .dll | tr -dc 0-9)
: >"$work/log"

hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }
# A card on the encoder: characters 5-6 read "01".
card="0000010000"
printf 'ReadCard 0 text %s\nGuestCard 0 crash\nReadCard 0 text %s\n' "$(hex $card)" "$(hex $card)" \
    >"$work/script"
checkout_date=$(date -d '+30 days' +%y%m%d)
write_handoff "[MAIN]\r\nleavedate=${checkout_date}\r\nleavetime=1130\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n"

start_station
grep -qx 'initializeUSB 1' "$work/log" || fail "the window did not open the port: $(cat "$work/log")"

# "制客人卡" at 120,304 (139 x 35).
xdotool mousemove --window "$window" 189 321 click 1
expect_box '提示' "调用发卡函数失败"$'\n'"$(result_code KELRIN_BRIDGE_HELPER_ENDED)"
kill -0 "$station" 2>/dev/null || fail "the station ended with the DLL"
keep_screenshot "bridge_${bits}_after_crash"

xdotool mousemove --window "$window" 189 321 click 1
want="GuestCard 1 4711 0 0 1 1 t=[0-9A-F]{20} t=$(hex "${checkout_date}1130") t=$(hex 03040506) out"
for _ in $(seq 100); do
    grep -Eqx "$want" "$work/log" && break
    sleep 0.1
done
grep -Eqx "$want" "$work/log" || fail "no guest-card call with the hand-off's values: $(cat "$work/log")"
for _ in $(seq 50); do
    [ "$(red_pixels 168 262 200 30)" -gt 50 ] && break
    sleep 0.1
done
[ "$(red_pixels 168 262 200 30)" -gt 50 ] || fail "no success note in the window"
keep_screenshot "bridge_${bits}_card_issued"
stop_station
echo "the station issued a card through the bridge ($bits-bit DLL)"
