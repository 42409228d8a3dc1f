// The thirteen C functions: each forwards to the simulated encoder and turns
// every exception into a result code, since none may cross the C boundary.
#include "kelrin.h"

#include "device.h"
#include "encoder.h"

namespace {

template <class Operation> int32_t guarded(Operation operation) noexcept
{
    try {
        return operation();
    } catch (const kelrin::Failure &failure) {
        return failure.code();
    } catch (...) {
        return KELRIN_ERROR_INTERNAL;
    }
}

} // namespace

extern "C" {

KELRIN_API int32_t KELRIN_CALL initializeUSB(uint8_t encoderType)
{
    return guarded([&] { return kelrin::openPort(encoderType); });
}

KELRIN_API int32_t KELRIN_CALL CloseUSB(uint8_t encoderType)
{
    return guarded([&] { return kelrin::closePort(encoderType); });
}

KELRIN_API int32_t KELRIN_CALL Buzzer(uint8_t encoderType, int32_t duration)
{
    return guarded([&] { return kelrin::beep(encoderType, duration); });
}

KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr)
{
    return guarded([&] { return kelrin::readCard(encoderType, cardHexStr); });
}

KELRIN_API int32_t KELRIN_CALL GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, uint8_t canOpenDeadbolt, uint8_t issueFlag,
                                         const char *beginTime, const char *eTime,
                                         const char *lockNo, char *cardHexStr)
{
    return guarded([&] {
        return kelrin::writeGuestCard(encoderType, coID, cardNo, dai, canOpenDeadbolt, issueFlag,
                                      beginTime, eTime, lockNo, cardHexStr);
    });
}

KELRIN_API int32_t KELRIN_CALL LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, const char *limitTime,
                                         const uint8_t *lostCardIds, char *cardHexStr)
{
    return guarded([&] {
        return kelrin::writeLimitCard(encoderType, coID, cardNo, dai, limitTime, lostCardIds,
                                      cardHexStr);
    });
}

KELRIN_API int32_t KELRIN_CALL CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr)
{
    return guarded([&] { return kelrin::eraseCard(encoderType, coID, cardHexStr); });
}

KELRIN_API int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType)
{
    return guarded([&] { return kelrin::decodeCardType(cardHexStr, cardType); });
}

KELRIN_API int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                           char *lockNo)
{
    return guarded([&] { return kelrin::decodeGuestLockNo(coID, cardHexStr, lockNo); });
}

KELRIN_API int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                                          char *eTime)
{
    return guarded([&] { return kelrin::decodeGuestCheckout(coID, cardHexStr, eTime); });
}

KELRIN_API int32_t KELRIN_CALL ReadRecord(uint8_t encoderType, char *recordText)
{
    return guarded([&] { return kelrin::readRecords(encoderType, recordText); });
}

KELRIN_API int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord)
{
    return guarded([&] { return kelrin::decodeOpenRecord(recordHex, decodedRecord); });
}

KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    return guarded([&] { return kelrin::versionText(versionText); });
}

} // extern "C"
