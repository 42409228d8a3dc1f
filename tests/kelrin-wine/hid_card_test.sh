#!/usr/bin/env bash
# The real program on the Wine bridge with the HID test DLL as its Kelrin.dll
# and the virtual encoder behind Wine's HID bus. Run it through
# with_xvfb.sh; HID_DIR is the virtual encoder's folder (hid_prefix.sh).
#
#   HID_CASE=card_read_from_the_virtual_encoder
#       "制客人卡" reads the card the device model holds (a card that is no
#       guest card: characters 5-6 are not "01") and the box shows its hex
#       string, as it came from the model through hid.dll and the bridge
#   HID_CASE=no_device_with_the_sdl_bus
#       in the prefix with "Enable SDL"=1 the open-port button shows the
#       DLL's own "no device" code
#
#   hid_card_test.sh PROGRAM BRIDGE SIMULATOR
set -euo pipefail
case $HID_CASE in
card_read_from_the_virtual_encoder) prefix=prefix ;;
no_device_with_the_sdl_bus) prefix=sdl ;;
*) echo "unknown HID_CASE $HID_CASE" >&2; exit 2 ;;
esac
export KELRIN_WINEPREFIX="$HID_DIR/$prefix"
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
command -v xclip >/dev/null || fail "xclip is not installed (package xclip)"
card=0000$(od -An -tx1 -N14 /dev/urandom | tr -d ' \n' | tr a-f A-F)
printf '%s' "$card" >"$HID_DIR/device/card"
: >"$HID_DIR/device/faults"
write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=301\r\n'
# The whole screen once the box has drawn: the box is a window of its own.
screen() {
    [ -n "${ARTIFACTS:-}" ] || return 0
    mkdir -p "$ARTIFACTS"
    import -window root "$ARTIFACTS/$1.png"
}
start_station

if [ "$prefix" = prefix ]; then
    # "制客人卡" at 120,304 (139 x 35).
    xdotool mousemove --window "$window" 189 321 click 1
    wait_for_box '提示'
    box_text
    screen hid_card_read
    [ "$text" = "发卡器的感应区无卡"$'\n'"$card" ] || fail "the box says: $text (the model's card: $card)"
    close_box
    echo "the station showed the card $card from the virtual encoder"
else
    # The first focus is on the open-port button.
    xdotool key space
    wait_for_box '提示'
    box_text
    screen hid_no_device_with_sdl
    [ "$text" = "打开USB失败"$'\n'"-401" ] || fail "the box says: $text"
    close_box
    echo "the station showed the DLL's own no-device code with the SDL bus"
fi
stop_station
