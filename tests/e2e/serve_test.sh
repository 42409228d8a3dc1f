#!/usr/bin/env bash
# The run command on a machine without a display serves the window to this
# machine only: every socket that it or anything it started listens on is on
# the loopback address, and closing the station stops all of it.
set -euo pipefail
station_tool=$1
program=$2
library=$3
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
source "$(dirname "${BASH_SOURCE[0]}")/../support/scratch.sh"
session=
on_exit 'if [ -n "$session" ]; then kill -- -"$session" 2>/dev/null; fi'
mkdir "$work/bin"
cp "$program" "$work/bin/guestcard"
cp "$library" "$work/bin/libKelrin.so"
export STATION_BIN="$work/bin" KELRIN_SIM_STATE="$work/device"

setsid "$station_tool" start >"$work/out" 2>&1 &
session=$!
members() { ps -o pid= -s "$session" | tr -d ' '; }

for _ in $(seq 200); do
    grep -q 'localhost:[0-9]' "$work/out" && pgrep -s "$session" -x guestcard >/dev/null && break
    sleep 0.05
done
grep -q 'localhost:[0-9]' "$work/out" || fail "no VNC address printed: $(cat "$work/out")"
station=$(pgrep -s "$session" -x guestcard) || fail "the station did not start: $(cat "$work/out")"

listening=0
while read -r line; do
    pid=$(sed -n 's/.*pid=\([0-9]*\).*/\1/p' <<<"$line")
    members | grep -qx "$pid" || continue
    address=$(awk '{print $5}' <<<"$line") # netid state recv-q send-q local peer
    case "$address" in
    127.0.0.1:* | \[::1\]:*) listening=$((listening + 1)) ;;
    *) fail "listens beyond this machine: $line" ;;
    esac
done < <(ss -H -l -n -p -t -u)
[ "$listening" -gt 0 ] || fail "nothing listens on the loopback address: $(ss -H -l -n -p -t)"

# Closing the station stops everything the command started.
kill "$station"
timeout 10 tail --pid="$session" -f /dev/null || fail "the run command did not end with the station"
left=$(members || true)
[ -z "$left" ] || fail "left running: $(ps -o pid=,comm= -p "$(tr '\n' ',' <<<"$left" | sed 's/,$//')")"
session=
echo "serve checks passed"
