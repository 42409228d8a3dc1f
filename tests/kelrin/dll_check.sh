#!/usr/bin/env bash
# dll_check.sh KELRIN-BRIDGE DLL WINE PREFIX: the stand-in DLL, laid beside a
# program as Kelrin.dll, loads under Wine with all thirteen functions, as
# the bridge's check reports. Prepares PREFIX on the way, and starts its Wine
# server to stay for the tests after, with none of their pipes: a server
# that a test's Wine program started would hold that test's output open.
set -euo pipefail
bridge=$1 dll=$2
export KELRIN_WINE=$3 KELRIN_WINEPREFIX=$4
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp "$dll" "$folder/Kelrin.dll"
status=0
report=$("$bridge" check --program-folder "$folder") || status=$?
echo "$report"
[ "$status" = 0 ] || { echo "FAIL: kelrin-bridge check ended with $status" >&2; exit 1; }
for says in "Kelrin.dll, 64-bit" "GetDLLVersion" "Kelrin simulator 1.0"; do
    grep -qF "$says" <<<"$report" || { echo "FAIL: the check did not say '$says'" >&2; exit 1; }
done
WINEPREFIX=$KELRIN_WINEPREFIX "$(dirname "$KELRIN_WINE")/wineserver" -p </dev/null >/dev/null 2>&1 || true
