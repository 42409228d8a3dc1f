#!/usr/bin/env bash
# The real program on the Wine bridge with the libusb-win32 test DLL as its
# Kelrin.dll and the virtual encoder with a driver (virtual-usb) present:
# with the encoder type "有驱发卡器" (0) chosen, "制客人卡" reads the
# card the device model holds (a card that is no guest card) and the box
# shows its hex string, as it came from the model through the supplied
# libusb0.dll, the bridge and Linux's libusb. Run it through with_xvfb.sh.
# The encoder type and the open-port button lie outside the window's visible
# part: the keyboard reaches them, as a clerk's would.
#
#   usb_card_test.sh PROGRAM BRIDGE SIMULATOR VIRTUAL_USB
set -euo pipefail
virtual_usb=$4
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
card=0000$(od -An -tx1 -N14 /dev/urandom | tr -d ' \n' | tr a-f A-F)
export STATION_LAUNCHER="$virtual_usb --card $card --"
# umockdev's preload is the test's, for the station's libusb: Wine's
# processes run without it, as they do at a front desk.
mkdir "$work/wine-bin"
printf '#!/bin/sh\nexec env -u LD_PRELOAD -u UMOCKDEV_DIR "%s" "$@"\n' "$KELRIN_WINE" >"$work/wine-bin/wine"
chmod +x "$work/wine-bin/wine"
ln -s "$(dirname "$KELRIN_WINE")/wineserver" "$work/wine-bin/wineserver"
export KELRIN_WINE="$work/wine-bin/wine"
write_handoff '[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=03040506\r\ncoid=4711\r\nfh=301\r\n'
start_station
# The first focus is on the open-port button; the encoder types follow it:
# "有驱发卡器" (0) chosen, then the port opened with it. Only a failure shows a box.
xdotool key --delay 50 Tab Up shift+Tab space
sleep 1
if box=$(xdotool search --onlyvisible --name '^提示$' | head -n1) && [ -n "$box" ]; then
    box_text
    fail "opening the port with the encoder with a driver says: $text"
fi
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
