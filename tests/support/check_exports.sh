#!/usr/bin/env bash
# The encoder library exports the thirteen functions of kelrin.h and nothing
# else: libKelrin.so, or a DLL (check_exports.sh FILE.dll pei-i386|pei-x86-64),
# which must also be of that word size and import system DLLs only, since
# Wine finds no mingw runtime DLL.
set -euo pipefail
library=$1
name=$(basename "$library")
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

if [ $# -ge 2 ]; then
    format=$2
    dump=$(x86_64-w64-mingw32-objdump -p "$library")
    grep -q "file format $format\$" <<<"$dump" || {
        echo "FAIL: $name is not $format: $(grep -m1 'file format' <<<"$dump")" >&2
        exit 1
    }
    # The names of the export table, as "[   0] Buzzer" lines after its heading.
    actual=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
                  table && /^\t\[ *[0-9]+\] / { print $NF; next }
                  table { table = 0 }' <<<"$dump" | LC_ALL=C sort)
    imports=$(awk '/DLL Name:/ { print $NF }' <<<"$dump" | sort -u)
    allowed='^(KERNEL32|msvcrt|ADVAPI32|USER32|ntdll)\.dll$'
    foreign=$(grep -Eiv "$allowed" <<<"$imports" || true)
    if [ -n "$foreign" ]; then
        echo "FAIL: $name imports DLLs that are not the system's:" $foreign >&2
        exit 1
    fi
else
    actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | LC_ALL=C sort)
    kinds=$(nm -D --defined-only "$library" | awk '{print $2}' | sort -u)
    [ "$kinds" = T ] || { echo "FAIL: exported symbols are not all functions: $kinds" >&2; exit 1; }
fi
if [ "$actual" != "$expected" ]; then
    echo "FAIL: $name exports differ from the thirteen functions:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
echo "$name exports exactly the thirteen functions${imports:+ and imports only$(echo '' $imports)}"
