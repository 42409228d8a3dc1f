// Placeholder encoder: a port that opens and closes and a blank card lying on
// it. The simulated device replaces this.
#include "kelrin.h"

#include <cstring>

namespace {
bool portOpen = false;
constexpr char blankCard[] = "000001000000000000000000FFFFFFFF000000000000000000000000"
                             "12345678000000000000000000000000000000000000000000000000"
                             "0000000000000000";
} // namespace

extern "C" {
KELRIN_API int32_t KELRIN_CALL initializeUSB(uint8_t)
{
    portOpen = true;
    return 0;
}
KELRIN_API int32_t KELRIN_CALL CloseUSB(uint8_t)
{
    portOpen = false;
    return 0;
}
KELRIN_API int32_t KELRIN_CALL Buzzer(uint8_t, int32_t)
{
    return portOpen ? 0 : -1;
}
KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t, char *cardHexStr)
{
    if (!portOpen || !cardHexStr)
        return -1;
    std::memcpy(cardHexStr, blankCard, sizeof blankCard);
    return 0;
}
KELRIN_API int32_t KELRIN_CALL GuestCard(uint8_t, int32_t, int32_t, int32_t, uint8_t, uint8_t,
                                         const char *, const char *, const char *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL LimitCard(uint8_t, int32_t, int32_t, int32_t, const char *,
                                         const uint8_t *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL CardErase(uint8_t, int32_t, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t, const char *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t, const char *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL ReadRecord(uint8_t, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *, char *)
{
    return -1;
}
KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    if (versionText)
        std::strcpy(versionText, "Kelrin placeholder");
    return 0;
}
}
