#!/usr/bin/env bash
# The package's autostart entry at login. The entry validates and runs
# `kelrin-bridge login --group guestcard`. The command does nothing, at once,
# for an account outside the group; for a member it prepares a missing
# prefix, returns, and leaves one keeper that holds the prefix's Wine server
# past Wine's own linger; run again it returns at once. The check says
# whether the server is kept. The keeper ends with the session (SIGTERM, or
# its X display gone), and the server after it.
#
#   login_test.sh KELRIN_BRIDGE AUTOSTART_ENTRY TEST_DLL_DIR
# with KELRIN_WINE set (wineserver beside it) and DISPLAY a test X server.
set -euo pipefail
bridge=$1 entry=$2 dlls=$3
source "$(dirname "${BASH_SOURCE[0]}")/../support/scratch.sh"
wineserver=$(dirname "$KELRIN_WINE")/wineserver
export KELRIN_WINEPREFIX="$work/account/wine"
prefix=$KELRIN_WINEPREFIX
kept_file="$work/account/.wine.kept"
xvfb=
on_exit 'if [ -n "$(keeper)" ]; then kill "$(keeper)"; fi'
on_exit 'if [ -n "$xvfb" ]; then kill "$xvfb"; fi'
on_exit 'WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null'
mkdir "$work/station"
cp "$dlls/scripted64.dll" "$work/station/Kelrin.dll"

# The keeper's process id while one runs.
keeper() {
    local pid
    pid=$(cat "$kept_file" 2>/dev/null) || return 0
    # The id of a keeper that has ended may be another process's now.
    if [ -n "$pid" ] && grep -qa kelrin-bridge "/proc/$pid/cmdline" 2>/dev/null; then echo "$pid"; fi
}
# The Wine servers of the prefix: they carry it in their environment.
servers() {
    local pid
    for pid in $(pgrep wineserver || true); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && echo "$pid"
    done
    return 0
}
# Waits up to $1 seconds for command $2... to succeed.
within() {
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
gone() { [ -z "$("$@")" ]; }
seconds_of() {
    local start end
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", b - a }'
}
server_line() {
    "$bridge" check --program-folder "$work/station" | sed -n 's/^Server: *//p'
}

desktop-file-validate "$entry" || fail "the autostart entry does not validate"
grep -qx 'Exec=/.*/kelrin-bridge login --group guestcard' "$entry" ||
    fail "the autostart entry does not run the login command: $(grep '^Exec' "$entry")"

# An account outside the group: nothing, at once.
other=
for group in nogroup users daemon; do
    if getent group "$group" >/dev/null && ! id -Gn | tr ' ' '\n' | grep -qx "$group"; then
        other=$group
        break
    fi
done
[ -n "$other" ] || fail "no group here that this account is outside of"
took=$(seconds_of "$bridge" login --group "$other") || fail "login outside the group failed"
echo "outside the group ($other): returned in $took s"
awk -v t="$took" 'BEGIN { exit !(t < 1) }' || fail "login outside the group took $took s"
[ ! -e "$work/account" ] || fail "login outside the group made $(ls -A "$work/account")"

# A member with no prefix: prepared, and the server kept.
group=$(id -gn)
took=$(seconds_of "$bridge" login --group "$group") || fail "login did not prepare the prefix"
echo "a member, prefix missing: prepared in $took s"
[ -f "$prefix/system.reg" ] || fail "login returned with no prefix prepared"
first=$(keeper)
[ -n "$first" ] || fail "no keeper after login"
sleep 6 # Wine's own server lingers 3 s after its last client
[ -n "$(servers)" ] || fail "the prefix's Wine server ended with the keeper running"
grep -q '^kept running for this session' <<<"$(server_line)" ||
    fail "the check does not report the kept server: $(server_line)"

# Again, prefix ready and kept: at once, and still one keeper.
took=$(seconds_of "$bridge" login --group "$group") || fail "login on a ready prefix failed"
echo "a member, prefix ready and kept: returned in $took s"
awk -v t="$took" 'BEGIN { exit !(t < 1) }' || fail "login on a ready, kept prefix took $took s"
[ "$(keeper)" = "$first" ] || fail "a second keeper replaced the first"

# The session ends: the keeper within 2 s, the server after its linger.
kill -TERM "$first"
within 2 gone keeper || fail "the keeper outlived SIGTERM"
within 10 gone servers || fail "the prefix's Wine server outlived the session: $(servers)"
grep -q '^not kept' <<<"$(server_line)" || fail "the check reports a kept server: $(server_line)"
WINEPREFIX="$prefix" "$wineserver" -w

# A session whose X display goes away: its keeper ends with it.
fdfile="$work/display"
Xvfb -displayfd 3 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
xvfb=$!
within 5 test -s "$fdfile" || fail "Xvfb did not start"
DISPLAY=":$(head -n1 "$fdfile")" "$bridge" login --group "$group" || fail "login on a ready prefix failed"
[ -n "$(keeper)" ] || fail "no keeper for the second session"
kill "$xvfb" && wait "$xvfb" || true
xvfb=
within 3 gone keeper || fail "the keeper outlived its X display"
within 10 gone servers || fail "the prefix's Wine server outlived the display: $(servers)"
echo "PASS"
