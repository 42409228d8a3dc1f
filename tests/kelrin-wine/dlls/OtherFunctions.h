#pragma once
// The functions a test encoder DLL does not serve: each answers kNotSupported,
// which the including file defines (CardErase too, unless it defines
// KELRIN_TEST_OWN_CARDERASE).

int32_t KELRIN_CALL GuestCard(uint8_t, int32_t, int32_t, int32_t, uint8_t, uint8_t, const char *,
                              const char *, const char *, char *)
{
    return kNotSupported;
}

int32_t KELRIN_CALL LimitCard(uint8_t, int32_t, int32_t, int32_t, const char *, const uint8_t *,
                              char *)
{
    return kNotSupported;
}

#ifndef KELRIN_TEST_OWN_CARDERASE
int32_t KELRIN_CALL CardErase(uint8_t, int32_t, char *)
{
    return kNotSupported;
}
#endif

int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *, char *)
{
    return kNotSupported;
}

int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t, const char *, char *)
{
    return kNotSupported;
}

int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t, const char *, char *)
{
    return kNotSupported;
}

int32_t KELRIN_CALL ReadRecord(uint8_t, char *)
{
    return kNotSupported;
}

int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *, char *)
{
    return kNotSupported;
}
