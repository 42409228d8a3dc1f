#!/usr/bin/env bash
# The real program on the Wine bridge with the libusb-win32 test DLL as its
# Kelrin.dll and the virtual encoder with a driver (virtual-usb) present:
# with the encoder type "有驱发卡器" (0) in hotel.ini, "制客人卡" reads the
# card the device model holds (a card that is no guest card) and the box
# shows its hex string, as it came from the model through the supplied
# libusb0.dll, the bridge and Linux's libusb. Run it through with_xvfb.sh.
#
#   usb_card_test.sh PROGRAM BRIDGE SIMULATOR VIRTUAL_USB
set -euo pipefail
virtual_usb=$4
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
card=0000$(od -An -tx1 -N14 /dev/urandom | tr -d ' \n' | tr a-f A-F)
export STATION_LAUNCHER="$virtual_usb --card $card --"
write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=301\r\nEncoderType=0\r\n'
start_station
# "制客人卡" at 120,304 (139 x 35).
xdotool mousemove --window "$window" 189 321 click 1
wait_for_box '提示'
box_text
if [ -n "${ARTIFACTS:-}" ]; then
    mkdir -p "$ARTIFACTS"
    import -window root "$ARTIFACTS/usb_card_read.png"
fi
[ "$text" = "发卡器的感应区无卡"$'\n'"$card" ] || fail "the box says: $text (the model's card: $card)"
close_box
echo "the station showed the card $card from the virtual encoder with a driver"
stop_station
