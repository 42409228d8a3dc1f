#!/usr/bin/env bash
# The maker's DLL shows its own message boxes to the clerk, as on Windows:
# the real program on the bridge under Xvfb with openbox, and a scripted DLL
# built here as its Kelrin.dll that shows a box with Chinese text (code page
# 936) in initializeUSB and again in GuestCard.
#  - at start: the box shows before the station's window, in front and
#    focused; Enter answers it (OK, 1 for the DLL); then the window opens
#  - on "制客人卡": the box stands in front of the station's window and has
#    the focus; left unanswered for twice the call's time limit it is still
#    there, and answering it completes the call with the DLL's result (the
#    card is issued)
# Run it through with_xvfb.sh, with KELRIN_WINE and KELRIN_WINEPREFIX from
# the set-up.
#
#   STATION_WINE_DLL=scripted<bits>.dll bridge_dll_box_test.sh PROGRAM BRIDGE SIMULATOR
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
export KELRIN_TEST_SCRIPT="$work/script" KELRIN_TEST_LOG="$work/log"
export KELRIN_BRIDGE_TIMEOUT_MS=5000
bits=$(basename "$STATION_WINE_DLL" .dll | tr -dc 0-9)
: >"$work/log"
# Wine's desktop, which the DLL's windows need, lives on the display of
# whoever started it first: a prefix of this script's own.
own_prefix

openbox >/dev/null 2>&1 &
wm=$!
on_exit "kill $wm"
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

hex() { printf '%s' "$1" | iconv -f UTF-8 -t GBK | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }
at_start='USB端口打开失败' on_card='请将卡片放在发卡器上'
card="0000010000"
printf 'initializeUSB 0 msgbox %s\nReadCard 0 text %s\nGuestCard 0 msgbox %s\n' \
    "$(hex "$at_start")" "$(printf '%s' "$card" | od -An -tx1 -v | tr -d ' \n')" \
    "$(hex "$on_card")" >"$work/script"
write_handoff "[MAIN]\r\nleavedate=$(date -d '+30 days' +%y%m%d)\r\nleavetime=1130\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n"

# The box's caption is its text: found by it, it shows the code page's
# characters as they should read.
# Looked for again and again: a search fails as a whole when a window goes
# away while it runs (the box, once answered).
visible_named() {
    local found=
    for _ in $(seq 200); do
        found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -n "$found" ] && break
        sleep 0.1
    done
    echo "$found"
}
find_box() {
    box=$(visible_named "$1")
    [ -n "$box" ] || fail "no box reading '$1' appeared: $(cat "$work/log")"
}
# In front: the window manager stacks it above the station's window, and
# it has the keyboard focus.
expect_in_front() {
    local stacking
    [ "$(xdotool getactivewindow)" = "$box" ] ||
        fail "the box does not have the focus: $(xdotool getactivewindow getwindowname)"
    # Bottom to top: "..._STACKING(WINDOW): window id # 0x..., 0x...".
    stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr -d ' ' | tr ',' '\n')
    [ "$(printf '%d' "$(printf '%s\n' "$stacking" | tail -n1)")" = "$box" ] ||
        fail "the box is not the topmost window: $stacking"
}
screenshot() {
    [ -n "${ARTIFACTS:-}" ] || return 0
    mkdir -p "$ARTIFACTS"
    import -window root "$ARTIFACTS/$1.png"
}

(cd "$work/cwd" && exec "$work/station/guestcard") >"$work/out" 2>&1 &
station=$!
find_box "$at_start"
! xdotool search --onlyvisible --name '^制客人卡$' >/dev/null ||
    fail "the station's window showed before the DLL's box was answered"
expect_in_front
screenshot "bridge_${bits}_box_at_start"
xdotool key Return
window=$(visible_named '制客人卡')
[ -n "$window" ] || fail "no window appeared after the box was answered"
grep -qx 'msgbox 1' "$work/log" || fail "the DLL did not get OK from its box: $(cat "$work/log")"

xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" 189 321 click 1
find_box "$on_card"
expect_in_front
screenshot "bridge_${bits}_box_on_card"
# Twice the time limit: the call waits for the clerk.
sleep 10
xdotool search --onlyvisible --name "^$on_card\$" | grep -qx "$box" ||
    fail "the box went away unanswered"
[ "$(grep -c '^msgbox' "$work/log")" = 1 ] || fail "the box was answered by itself: $(cat "$work/log")"
xdotool key Return
for _ in $(seq 50); do
    [ "$(red_pixels 168 262 200 30)" -gt 50 ] && break
    sleep 0.1
done
[ "$(red_pixels 168 262 200 30)" -gt 50 ] || fail "no success note once the box was answered"
[ "$(grep -c '^msgbox 1$' "$work/log")" = 2 ] || fail "the second box did not answer OK: $(cat "$work/log")"
keep_screenshot "bridge_${bits}_card_after_box"
stop_station
echo "the DLL's boxes reached the clerk and waited for the answer ($bits-bit DLL)"
