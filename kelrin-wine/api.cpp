// The thirteen C functions of kelrin.h, forwarded through the bridge to the
// maker's DLL under Wine. Every exception becomes a result code: none may
// cross the C boundary.
#include "kelrin.h"

#include "bridge.h"
#include "settings.h"

namespace kb = kelrin::bridge;

namespace {

kb::Bridge &bridge()
{
    static kb::Bridge instance(kb::stationEnvironment(),
                               kb::standardPlaces(kb::programFolder(), kb::bridgeFolder()));
    return instance;
}

int32_t forward(kb::Function function, std::vector<kb::Argument> inputs, char *output) noexcept
{
    try {
        return bridge().call(function, std::move(inputs), output);
    } catch (...) {
        if (output)
            output[0] = '\0';
        return KELRIN_ERROR_INTERNAL;
    }
}

using F = kb::Function;
using kb::byteArg;
using kb::fourBytesArg;
using kb::intArg;
using kb::textArg;

} // namespace

extern "C" {

KELRIN_API int32_t KELRIN_CALL initializeUSB(uint8_t encoderType)
{
    return forward(F::initializeUSB, {byteArg(encoderType)}, nullptr);
}

KELRIN_API int32_t KELRIN_CALL CloseUSB(uint8_t encoderType)
{
    return forward(F::CloseUSB, {byteArg(encoderType)}, nullptr);
}

KELRIN_API int32_t KELRIN_CALL Buzzer(uint8_t encoderType, int32_t duration)
{
    return forward(F::Buzzer, {byteArg(encoderType), intArg(duration)}, nullptr);
}

KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr)
{
    return forward(F::ReadCard, {byteArg(encoderType)}, cardHexStr);
}

KELRIN_API int32_t KELRIN_CALL GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, uint8_t canOpenDeadbolt, uint8_t issueFlag,
                                         const char *beginTime, const char *eTime,
                                         const char *lockNo, char *cardHexStr)
{
    return forward(F::GuestCard,
                   {byteArg(encoderType), intArg(coID), intArg(cardNo), intArg(dai),
                    byteArg(canOpenDeadbolt), byteArg(issueFlag), textArg(beginTime),
                    textArg(eTime), textArg(lockNo)},
                   cardHexStr);
}

KELRIN_API int32_t KELRIN_CALL LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, const char *limitTime,
                                         const uint8_t *lostCardIds, char *cardHexStr)
{
    return forward(F::LimitCard,
                   {byteArg(encoderType), intArg(coID), intArg(cardNo), intArg(dai),
                    textArg(limitTime), fourBytesArg(lostCardIds)},
                   cardHexStr);
}

KELRIN_API int32_t KELRIN_CALL CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr)
{
    return forward(F::CardErase, {byteArg(encoderType), intArg(coID)}, cardHexStr);
}

KELRIN_API int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType)
{
    return forward(F::GetCardTypeByCardDataStr, {textArg(cardHexStr)}, cardType);
}

KELRIN_API int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                           char *lockNo)
{
    return forward(F::GetGuestLockNoByCardDataStr, {intArg(coID), textArg(cardHexStr)}, lockNo);
}

KELRIN_API int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                                          char *eTime)
{
    return forward(F::GetGuestETimeByCardDataStr, {intArg(coID), textArg(cardHexStr)}, eTime);
}

KELRIN_API int32_t KELRIN_CALL ReadRecord(uint8_t encoderType, char *recordText)
{
    return forward(F::ReadRecord, {byteArg(encoderType)}, recordText);
}

KELRIN_API int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord)
{
    return forward(F::GetOpenRecordByDataStr, {textArg(recordHex)}, decodedRecord);
}

KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    return forward(F::GetDLLVersion, {}, versionText);
}

} // extern "C"
