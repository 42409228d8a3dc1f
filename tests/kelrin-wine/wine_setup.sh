#!/usr/bin/env bash
# Set-up of the bridge's tests: the Wine they run with and one prepared
# prefix that they all share, with its wineserver kept running for the
# run (wine_cleanup.sh ends it).
#
#   wine_setup.sh SHIM_DIR PREFIX BRIDGE_DIR TEST_DLL_DIR
#
# SHIM_DIR/wine runs the first Wine that runs a 64-bit program here: the
# installed `wine`, else Wine's 64-bit loader itself (on a machine that runs
# no 32-bit code the installed `wine` is the 32-bit loader and cannot start).
# SHIM_DIR/wineserver lies beside it, where the bridge looks for it.
set -euo pipefail
shim=$1 prefix=$2 bridge=$3 dlls=$4
mkdir -p "$shim"
station=$(mktemp -d)
trap 'rm -rf "$station"' EXIT
cp "$dlls/scripted64.dll" "$station/Kelrin.dll"

# A server left over from a run cut short would keep what it started, and
# this script's output with it.
[ -x "$shim/wineserver" ] && WINEPREFIX="$prefix" "$shim/wineserver" -k 2>/dev/null || true

chosen=
for candidate in "$(command -v wine || true)" /usr/lib/wine/wine64; do
    [ -n "$candidate" ] && [ -x "$candidate" ] || continue
    "$candidate" --version >/dev/null 2>&1 || { echo "$candidate does not start here"; continue; }
    printf '#!/bin/sh\nexec %s "$@"\n' "$candidate" >"$shim/wine"
    chmod +x "$shim/wine"
    ln -sf "$(dirname "$candidate")/wineserver" "$shim/wineserver"
    if KELRIN_WINE="$shim/wine" KELRIN_WINEPREFIX="$prefix" \
        "$bridge/kelrin-bridge" check --program-folder "$station"; then
        chosen=$candidate
        break
    fi
done
[ -n "$chosen" ] || { echo "no Wine here runs the 64-bit helper" >&2; exit 1; }
echo "the tests run Wine as $chosen"
# Whether it runs 32-bit programs too: NO_WINE32 beside it says it does not.
cp "$dlls/scripted32.dll" "$station/Kelrin.dll"
rm -f "$shim/NO_WINE32"
checked=$(KELRIN_WINE="$shim/wine" KELRIN_WINEPREFIX="$prefix" \
    "$bridge/kelrin-bridge" check --program-folder "$station") || true
if grep -q '(-9009)$' <<<"$checked"; then
    echo "it runs no 32-bit programs here"
    touch "$shim/NO_WINE32"
fi
# The check's own server ends when it has no client left; then one that
# stays for the whole run, holding none of this script's output open.
WINEPREFIX="$prefix" "$shim/wineserver" -w
WINEPREFIX="$prefix" "$shim/wineserver" -p </dev/null >/dev/null 2>&1
