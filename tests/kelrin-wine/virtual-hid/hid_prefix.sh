#!/usr/bin/env bash
# The virtual encoder's prefixes, copied from the tests' prepared prefix
# (cp -a, no second preparation), each served by a Wine whose device
# services run with the virtual encoder preloaded:
#
#   hid_prefix.sh start   SHIM_DIR FIXTURE_LIB DIR SOURCE_PREFIX
#   hid_prefix.sh restart SHIM_DIR FIXTURE_LIB DIR NAME   (after a change of DIR/device/faults)
#   hid_prefix.sh stop    SHIM_DIR FIXTURE_LIB DIR
#
# DIR/prefix   HID bus on: "Enable SDL"=0, "DisableInput"=1, as the bridge
#              wants them (set here too, harmless where the bridge sets them)
# DIR/sdl      the same with "Enable SDL"=1 set explicitly: the bus that
#              serves no hidraw node
# DIR/device   the virtual encoder's folder (VIRTUAL_HID) for both
# What Wine starts lives on after it: none of it may hold this script's
# output open (ctest waits for that), so every Wine program's goes nowhere.
set -euo pipefail
command=$1 shim=$2 fixture=$3 dir=$4
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

stop() {
    [ -d "$dir/$1" ] || return 0
    WINEPREFIX="$dir/$1" "$shim/wineserver" -k </dev/null >/dev/null 2>&1 || true
    WINEPREFIX="$dir/$1" "$shim/wineserver" -w </dev/null >/dev/null 2>&1 || true
}

# Wine's device services start with the first program of a new server and
# take its environment: that program carries the preload. The server is
# kept, and the services with it.
serve() {
    stop "$1"
    WINEPREFIX="$dir/$1" "$shim/wineserver" -p </dev/null >/dev/null 2>&1
    LD_PRELOAD="$fixture" VIRTUAL_HID="$dir/device" WINEPREFIX="$dir/$1" \
        "$shim/wine" cmd /c exit </dev/null >/dev/null 2>&1
}

case $command in
stop)
    stop prefix
    stop sdl
    ;;
restart)
    serve "$5"
    ;;
start)
    source=$5
    stop prefix
    stop sdl
    rm -rf "$dir"
    mkdir -p "$dir/device"
    key='HKLM\System\CurrentControlSet\Services\winebus'
    for name in prefix sdl; do
        cp -a "$source" "$dir/$name"
        sdl=0
        [ "$name" = sdl ] && sdl=1
        WINEPREFIX="$dir/$name" "$shim/wine" reg add "$key" /v "Enable SDL" /t REG_DWORD /d $sdl /f \
            </dev/null >/dev/null 2>&1
        WINEPREFIX="$dir/$name" "$shim/wine" reg add "$key" /v DisableInput /t REG_DWORD /d 1 /f \
            </dev/null >/dev/null 2>&1
        # The values are read when Wine's device services start: a new server.
        serve "$name"
    done
    echo "virtual encoder prefixes ready in $dir"
    ;;
*)
    echo "usage: hid_prefix.sh start|restart|stop ..." >&2
    exit 2
    ;;
esac
