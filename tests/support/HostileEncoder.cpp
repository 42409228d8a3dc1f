#include "tests/support/HostileEncoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// A card on the encoder (characters 5-6 "01"): hotel 07 C19D, serial
// 0000002A at 25-32, fixed ID 1A2B3C4D at 57-64.
constexpr char kCard[] = "4B01010607C19D0000000000"
                         "0000002A000000000000000000000000"
                         "1A2B3C4D"
                         "0000000000000000000000000000000000000000000000000000000000000000";
static_assert(sizeof kCard == KELRIN_CARD_HEX_SIZE);

// Cycles `pattern` over `length` bytes from `out` on.
void repeat(char *out, std::size_t length, const char *pattern)
{
    const std::size_t period = std::strlen(pattern);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = pattern[i % period];
}

} // namespace

int32_t HostileEncoder::result() const
{
    switch (behaviour) {
    case Behaviour::MinResult:
        return INT32_MIN;
    case Behaviour::MaxResult:
        return INT32_MAX;
    default:
        return 0;
    }
}

void HostileEncoder::readText(const char *text)
{
    m_inputBytes += text ? std::strlen(text) : 0;
}

void HostileEncoder::fill(const Output &out) const
{
    char *b = out.buffer;
    const std::size_t n = out.capacity;
    switch (behaviour) {
    case Behaviour::FullNoNul:
        std::memset(b, 'Z', n);
        break;
    case Behaviour::NonHexHighBytes:
        repeat(b, n - 1, "Gz~\x80\xFF");
        b[n - 1] = '\0';
        break;
    case Behaviour::CutDoubleByte:
        // 镕 is E9 46 in GBK; the buffers' capacities are odd, so the last
        // byte is a lead byte with no second byte.
        repeat(b, n, "\xE9\x46");
        break;
    case Behaviour::NulInMiddle:
        std::memset(b, 'Z', n / 2);
        b[n / 2] = '\0';
        repeat(b + n / 2 + 1, n - n / 2 - 1, kBehindNul);
        break;
    case Behaviour::MinResult:
    case Behaviour::MaxResult:
        std::memset(b, 'Z', std::min<std::size_t>(n - 1, 8));
        b[std::min<std::size_t>(n - 1, 8)] = '\0';
        break;
    case Behaviour::EmptySuccess:
        b[0] = '\0';
        return;
    case Behaviour::UntouchedSuccess:
        return;
    }
    // A card marker, so that the presence check lets the junk through.
    if (out.cardMarker && n >= 6)
        std::memcpy(b + 4, "01", 2);
}

int32_t HostileEncoder::answer(const char *function, const Output &out)
{
    const bool aimedAt = (target == Target::CardRead) == (std::strcmp(function, "ReadCard") == 0);
    if (!aimedAt) {
        const std::size_t n = std::min(std::strlen(out.honest), out.capacity - 1);
        std::memcpy(out.buffer, out.honest, n);
        out.buffer[n] = '\0';
        return 0;
    }
    ++hostileCalls;
    if (out.zeroed && std::any_of(out.buffer, out.buffer + out.capacity, [](char c) { return c; }))
        unzeroedBuffers.push_back(function);
    fill(out);
    return result();
}

int32_t HostileEncoder::answer()
{
    if (target == Target::CardRead)
        return 0;
    ++hostileCalls;
    return result();
}

int32_t HostileEncoder::initializeUSB(uint8_t)
{
    return answer();
}

int32_t HostileEncoder::CloseUSB(uint8_t)
{
    return answer();
}

int32_t HostileEncoder::Buzzer(uint8_t, int32_t)
{
    return answer();
}

int32_t HostileEncoder::ReadCard(uint8_t, char *cardHexStr)
{
    // The station's card buffer is never cleared: it keeps the latest read.
    return answer("ReadCard", {cardHexStr, KELRIN_CARD_HEX_SIZE, kCard, false, true});
}

int32_t HostileEncoder::GuestCard(uint8_t, int32_t, int32_t, int32_t, uint8_t, uint8_t,
                                  const char *beginTime, const char *eTime, const char *lockNo,
                                  char *cardHexStr)
{
    readText(beginTime);
    readText(eTime);
    readText(lockNo);
    return answer("GuestCard", {cardHexStr, KELRIN_CARD_HEX_SIZE, kCard, true});
}

int32_t HostileEncoder::LimitCard(uint8_t, int32_t, int32_t, int32_t, const char *limitTime,
                                  const uint8_t *lostCardIds, char *cardHexStr)
{
    readText(limitTime);
    for (int i = 0; i < 4; ++i)
        m_inputBytes += lostCardIds[i] != 0;
    return answer("LimitCard", {cardHexStr, KELRIN_CARD_HEX_SIZE, kCard, true});
}

int32_t HostileEncoder::CardErase(uint8_t, int32_t, char *cardHexStr)
{
    return answer("CardErase", {cardHexStr, KELRIN_CARD_HEX_SIZE, kCard, true});
}

int32_t HostileEncoder::GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType)
{
    readText(cardHexStr);
    return answer("GetCardTypeByCardDataStr", {cardType, KELRIN_FIELD_SIZE, "6", true});
}

int32_t HostileEncoder::GetGuestLockNoByCardDataStr(int32_t, const char *cardHexStr, char *lockNo)
{
    readText(cardHexStr);
    return answer("GetGuestLockNoByCardDataStr", {lockNo, KELRIN_FIELD_SIZE, "01020399", true});
}

int32_t HostileEncoder::GetGuestETimeByCardDataStr(int32_t, const char *cardHexStr, char *eTime)
{
    readText(cardHexStr);
    return answer("GetGuestETimeByCardDataStr", {eTime, KELRIN_FIELD_SIZE, "2612241200", true});
}

int32_t HostileEncoder::ReadRecord(uint8_t, char *recordText)
{
    m_recordDecodes = 0;
    return answer("ReadRecord", {recordText, KELRIN_RECORD_TEXT_SIZE, "", true});
}

int32_t HostileEncoder::GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord)
{
    readText(recordHex);
    // Zeroed once per walk: later records find the one before.
    const bool first = m_recordDecodes++ == 0;
    return answer("GetOpenRecordByDataStr",
                  {decodedRecord, KELRIN_FIELD_SIZE, "6240517134509102", first});
}

int32_t HostileEncoder::GetDLLVersion(char *versionText)
{
    return answer("GetDLLVersion",
                  {versionText, KELRIN_VERSION_SIZE, "Kelrin simulator 1.0 (card layout 1)", true});
}
