#!/usr/bin/env bash
# A prefix that cannot be prepared: the check says why on its Prefix: line
# and fails, with a Wine whose wineboot fails (exit 3), no real Wine needed.
#
#   check_unpreparable_prefix_test.sh KELRIN-BRIDGE DLL
set -euo pipefail
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
printf '#!/bin/sh\nexit 3\n' >"$folder/wine"
cp "$folder/wine" "$folder/wineserver"
chmod 0755 "$folder/wine" "$folder/wineserver"
cp "$2" "$folder/Kelrin.dll"
status=0
out=$(KELRIN_WINE="$folder/wine" KELRIN_WINEPREFIX="$folder/account/wine" \
    "$1" check --program-folder "$folder" 2>&1) || status=$?
echo "$out"
[ "$status" = 1 ] || { echo "FAIL: the check ended with $status, not 1" >&2; exit 1; }
expected="Prefix:   $folder/account/wine (cannot be prepared: $folder/wine wineboot --init ended with status 3)"
grep -qxF "$expected" <<<"$out" || { echo "FAIL: no line: $expected" >&2; exit 1; }
grep -qx 'Result:   The Wine prefix is being prepared, or cannot be (-9008)' <<<"$out" ||
    { echo "FAIL: no -9008 result line" >&2; exit 1; }
[ ! -e "$folder/account/wine" ] || { echo "FAIL: half a prefix left" >&2; exit 1; }
