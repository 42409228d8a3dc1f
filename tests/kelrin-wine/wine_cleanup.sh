#!/usr/bin/env bash
# Ends the wineserver of the tests' prefix and everything running in it.
#   wine_cleanup.sh SHIM_DIR PREFIX
set -uo pipefail
[ -x "$1/wineserver" ] || exit 0
WINEPREFIX="$2" "$1/wineserver" -k
exit 0
