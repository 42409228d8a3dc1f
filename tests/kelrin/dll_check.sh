#!/usr/bin/env bash
# dll_check.sh KELRIN-BRIDGE DLL: the stand-in DLL, laid beside a program
# as Kelrin.dll, loads under Wine with all thirteen functions, as the
# bridge's check reports. Wine and the prefix come from KELRIN_WINE and
# KELRIN_WINEPREFIX.
set -euo pipefail
bridge=$1 dll=$2
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
