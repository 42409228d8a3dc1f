# Sourced by the end-to-end scripts: a copy of the real program with the
# stand-in library beside it in a scratch folder, a fresh simulated device,
# the program started from another working directory, and cleanup of
# everything on exit, also when a check fails. Run the scripts through
# with_xvfb.sh.
#
#   source station_lib.sh PROGRAM LIBRARY SIMULATOR
#   (STATION_WINE_DLL set: LIBRARY is the Wine bridge, this its Kelrin.dll)
#   write_handoff "[MAIN]\r\nleavedate=261224\r\n..."   (printf format)
#   start_station [ARGS...]   sets $window; the program's pid is $station
#                             (under STATION_LAUNCHER when set)
#   wait_for_box CAPTION      sets $box to the visible box with that caption
#   close_box [KEY]           Return (or KEY) on $box, waits until it is gone
#   stop_station              "退出", then checks exit code 0
#   sim ARGS...               kelrin-sim on the test's device

program=$1
library=$2
simulator=$3
source "$(dirname "${BASH_SOURCE[0]}")/scratch.sh"
station=
on_exit 'if [ -n "$station" ]; then kill "$station" 2>/dev/null; fi'
mkdir "$work/station" "$work/cwd"
cp "$program" "$work/station/guestcard"
cp "$library" "$work/station/libKelrin.so"
export KELRIN_SIM_STATE="$work/device"
# On the Wine bridge, STATION_WINE_DLL is the program's Kelrin.dll, and the
# bridge's helpers lie beside it. A 32-bit DLL where the set-up found that
# Wine runs no 32-bit programs (NO_WINE32 beside KELRIN_WINE) has nothing to
# show: the script is skipped.
if [ -n "${STATION_WINE_DLL:-}" ]; then
    # The PE signature and machine i386 at the offset that 0x3C holds.
    pe=$(($(od -An -tu4 -j 60 -N 4 "$STATION_WINE_DLL")))
    if [ "$(od -An -tx1 -j "$pe" -N 6 "$STATION_WINE_DLL" | tr -d ' ')" = 504500004c01 ] &&
        [ -e "$(dirname "$KELRIN_WINE")/NO_WINE32" ]; then
        echo "this machine's Wine runs no 32-bit programs: nothing to show with a 32-bit DLL"
        exit 77
    fi
    cp "$(dirname "$library")"/kelrin-host*.exe "$work/station/"
    cp -r "$(dirname "$library")"/usb32 "$(dirname "$library")"/usb64 "$work/station/"
    cp "$STATION_WINE_DLL" "$work/station/Kelrin.dll"
fi

sim() { "$simulator" "$@"; }
sim reset >/dev/null

write_handoff() {
    # shellcheck disable=SC2059 # the format is the caller's
    printf "$1" >"$work/station/hotel.ini"
}

start_station() {
    # STATION_LAUNCHER: a command the program runs under (a virtual device's).
    # shellcheck disable=SC2086
    (cd "$work/cwd" && exec ${STATION_LAUNCHER:-} "$work/station/guestcard" "$@") >"$work/out" 2>&1 &
    station=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^制客人卡$' | head -n1) ||
        fail "no window appeared"
    xdotool windowfocus --sync "$window"
}

wait_for_box() {
    box=$(timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1) ||
        fail "no box captioned '$1'"
}

close_box() {
    local gone=
    xdotool windowfocus --sync "$box"
    xdotool key "${1:-Return}"
    for _ in $(seq 100); do
        if ! xdotool getwindowname "$box" >/dev/null 2>&1 ||
            ! xdotool search --onlyvisible --name '.' | grep -qx "$box"; then
            gone=1
            break
        fi
        sleep 0.05
    done
    [ -n "$gone" ] || fail "the box did not close"
}

stop_station() {
    local status=0
    # "退出" at 312,304 (137 x 34).
    xdotool mousemove --window "$window" 380 321 click 1
    timeout 10 tail --pid="$station" -f /dev/null || fail "the program did not end after 退出"
    wait "$station" || status=$?
    station=
    [ "$status" = 0 ] || fail "exit code $status: $(cat "$work/out")"
}

# What the operator sees, beyond captions:
#   box_text                  sets $text to the text of $box, copied with Ctrl+C
#   expect_box CAPTION TEXT   the box with that caption says TEXT; Return closes it
#   card_hex                  the card hex string of the card on the encoder
#   red_pixels X Y W H        how many red pixels the window shows in that area
#   white_pixels X Y W H      how many white ones
#   keep_screenshot NAME      the window as $ARTIFACTS/NAME.png, when ARTIFACTS is set
#   result_code NAME          a result code of the stand-in library, by its name

box_text() {
    local copied=
    xdotool windowfocus --sync "$box"
    xdotool key ctrl+c
    # The first copy makes the program the clipboard's owner a moment later.
    for _ in $(seq 50); do
        copied=$(xclip -o -selection clipboard 2>/dev/null) && break
        sleep 0.1
    done
    [ -n "$copied" ] || fail "nothing was copied from the box"
    # Caption, text and buttons, each followed by a rule of dashes.
    text=$(awk '/^-+$/ { part++; next } part == 2' <<<"$copied")
}

expect_box() {
    wait_for_box "$1"
    box_text
    [ "$text" = "$2" ] || fail "the box '$1' says: $text"
    close_box
}

card_hex() {
    sim show | sed -n 's/^  Card hex: *//p'
}

red_pixels() { pixels_where 'r > 0.6 && g < 0.3 && b < 0.3' "$@"; }
white_pixels() { pixels_where 'r > 0.9 && g > 0.9 && b > 0.9' "$@"; }

pixels_where() {
    import -window "$window" "$work/shown.png"
    convert "$work/shown.png" -crop "$4x$5+$2+$3" +repage \
        -fx "$1" -format '%[fx:round(mean * w * h)]' info:
}

keep_screenshot() {
    [ -n "${ARTIFACTS:-}" ] || return 0
    mkdir -p "$ARTIFACTS"
    import -window "$window" "$ARTIFACTS/$1.png"
}

result_code() {
    sed -n "s/^ *$1 = \(-\?[0-9]\+\),.*/\1/p" \
        "$(dirname "${BASH_SOURCE[0]}")/../../interface/kelrin_result.h"
}

# A prefix of the script's own, the set-up's linked rather than copied
# (Wine's DLLs in it weigh a gigabyte): Wine replaces the registry's files
# rather than writing into them, and they are copied all the same. Its
# server ends with the script.
own_prefix() {
    cp -al "$KELRIN_WINEPREFIX" "$work/prefix"
    for file in "$work"/prefix/*.reg; do
        cp --remove-destination "$KELRIN_WINEPREFIX/$(basename "$file")" "$file"
    done
    export KELRIN_WINEPREFIX="$work/prefix"
    on_exit 'WINEPREFIX="$work/prefix" "$(dirname "$KELRIN_WINE")/wineserver" -k 2>/dev/null'
}
