#!/usr/bin/env bash
# libKelrin.so exports the thirteen functions of kelrin.h and nothing else.
set -euo pipefail
library=$1
expected="Buzzer
CardErase
CloseUSB
GetCardTypeByCardDataStr
GetDLLVersion
GetGuestETimeByCardDataStr
GetGuestLockNoByCardDataStr
GetOpenRecordByDataStr
GuestCard
LimitCard
ReadCard
ReadRecord
initializeUSB"
actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | LC_ALL=C sort)
kinds=$(nm -D --defined-only "$library" | awk '{print $2}' | sort -u)
if [ "$actual" != "$expected" ]; then
    echo "FAIL: libKelrin.so exports differ from the thirteen functions:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
[ "$kinds" = T ] || { echo "FAIL: exported symbols are not all functions: $kinds" >&2; exit 1; }
echo "libKelrin.so exports exactly the thirteen functions"
