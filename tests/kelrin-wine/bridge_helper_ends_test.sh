#!/usr/bin/env bash
# No helper outlives its station, however the station ends: by "退出", by
# SIGTERM, by SIGKILL or by a crash (SIGSEGV), while idle, during a call
# that never returns, while the DLL's own window waits for the clerk, and
# while the DLL's DllMain never returns (a DLL that waits for its device
# as it loads, under the station's start-up call).
# The helper is gone within 1 s, and every Wine process of the station's
# prefix once Wine's server has lingered. The real program on the bridge
# with a scripted DLL built here, in a prefix of this script's own (a copy of
# the set-up's), whose server the station's helper starts. Run it through
# with_xvfb.sh, with KELRIN_WINE and KELRIN_WINEPREFIX from the set-up.
#
#   STATION_WINE_DLL=scripted<bits>.dll bridge_helper_ends_test.sh PROGRAM BRIDGE SIMULATOR
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/station_lib.sh"
export KELRIN_TEST_SCRIPT="$work/script" KELRIN_TEST_LOG="$work/log"
ulimit -c 0
own_prefix
write_handoff "[MAIN]\r\nleavedate=$(date -d '+30 days' +%y%m%d)\r\nleavetime=1130\r\nroomno=03040506\r\ncoid=4711\r\nfh=203\r\n"
card=$(printf '0000010000' | od -An -tx1 -v | tr -d ' \n')

# Every process of the prefix, Wine's server and its own processes included.
prefix_processes() {
    local pid
    for pid in $(grep -lzx "WINEPREFIX=$work/prefix" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3); do
        runs "$pid" && echo "$pid"
    done
    return 0
}
helper() {
    local pid
    for pid in $(prefix_processes); do
        [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == kelrin-host* ]] && echo "$pid"
    done
    return 0
}
# Ended but not reaped (a zombie, which init inherits) counts as gone.
runs() {
    local state
    state=$(sed 's/.*) \(.\).*/\1/' "/proc/$1/stat" 2>/dev/null) || return 1
    [ "$state" != Z ]
}
gone_within() { # SECONDS PID...
    local steps=$(($1 * 20)) pid alive
    shift
    for _ in $(seq "$steps"); do
        alive=
        for pid in "$@"; do runs "$pid" && alive=$pid; done
        [ -z "$alive" ] && return 0
        sleep 0.05
    done
    return 1
}

row() { # HOW (exit TERM KILL SEGV) WHILE (idle hung window)
    local how=$1 while=$2 running left
    : >"$work/log"
    unset KELRIN_TEST_LOAD KELRIN_BRIDGE_TIMEOUT_MS
    case $while in
    idle | loading) : >"$work/script" ;;
    hung) printf 'ReadCard 0 text %s\nGuestCard 0 hang\n' "$card" >"$work/script" ;;
    window) printf 'ReadCard 0 text %s\nGuestCard 0 openwindow\n' "$card" >"$work/script" ;;
    esac
    if [ "$while" = loading ]; then
        export KELRIN_TEST_LOAD=hang KELRIN_BRIDGE_TIMEOUT_MS=20000
        # The window may not show while its start-up call waits.
        (cd "$work/cwd" && exec "$work/station/guestcard") >"$work/out" 2>&1 &
        station=$!
        for _ in $(seq 200); do
            grep -q '^DllMain hang' "$work/log" && break
            sleep 0.05
        done
        grep -q '^DllMain hang' "$work/log" || fail "the DLL was not loaded ($how, $while)"
    else
        start_station
    fi
    if [ "$while" != idle ] && [ "$while" != loading ]; then
        # "制客人卡": the call that does not come back.
        xdotool mousemove --window "$window" 189 321 click 1
        for _ in $(seq 100); do
            grep -q '^GuestCard' "$work/log" && break
            sleep 0.05
        done
        grep -q '^GuestCard' "$work/log" || fail "no guest-card call ($how, $while)"
    fi
    if [ "$while" = window ]; then
        timeout 10 xdotool search --sync --onlyvisible --name '^Kelrin window$' >/dev/null ||
            fail "the DLL's window did not show"
    fi
    running=$(helper)
    [ -n "$running" ] || fail "no helper runs ($how, $while)"
    if [ "$how" = exit ]; then
        stop_station
    else
        kill "-$how" "$station"
        wait "$station" 2>/dev/null || true
        station=
    fi
    # Sleeps of 50 ms: "within 1 s" is 20 looks.
    gone_within 1 $running || fail "the helper ($running) still runs 1 s after the station ended ($how, $while)"
    # Wine's server lingers 3 s after its last program, then ends with
    # its own processes.
    left=$(prefix_processes)
    # shellcheck disable=SC2086 # a list of pids
    [ -z "$left" ] || gone_within 10 $left ||
        fail "Wine processes of the prefix left ($how, $while): $(for p in $(prefix_processes); do cat "/proc/$p/comm"; done | sort | tr '\n' ' ')"
    echo "$how while $while: the helper ended with the station, and the prefix's processes after it"
}

# The helper alone, no station to tie it: it ends within 1 s of its input
# closing while the DLL's DllMain never returns, by its own doing.
helper_alone() {
    local bits=64 pid
    [ "$(od -An -tx1 -j "$(($(od -An -tu4 -j 60 -N 4 "$work/station/Kelrin.dll") + 4))" -N 2 \
        "$work/station/Kelrin.dll" | tr -d ' ')" = 4c01 ] && bits=32
    : >"$work/log"
    mkfifo "$work/input"
    (cd "$work/station" && KELRIN_TEST_LOAD=hang WINEPREFIX="$KELRIN_WINEPREFIX" WINEDEBUG=-all \
        exec "$KELRIN_WINE" "./kelrin-host$bits.exe" "$work/station/Kelrin.dll" \
        <"$work/input" >/dev/null 2>&1) &
    pid=$!
    exec {input}>"$work/input"
    for _ in $(seq 200); do
        grep -q '^DllMain hang' "$work/log" && break
        sleep 0.05
    done
    grep -q '^DllMain hang' "$work/log" || fail "the helper alone did not load the DLL"
    exec {input}>&-
    gone_within 1 "$pid" || fail "the helper ($pid) still runs 1 s after its input closed in DllMain"
    echo "input closed while loading: the helper ended by itself"
}

rows=${ROWS:-exit:idle TERM:idle TERM:hung TERM:window TERM:loading KILL:idle KILL:hung KILL:window KILL:loading SEGV:idle SEGV:hung SEGV:window}
for each in $rows; do
    row "${each%:*}" "${each#*:}"
done
[ -n "${ROWS:-}" ] || helper_alone
