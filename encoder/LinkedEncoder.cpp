#include "encoder/LinkedEncoder.h"

int32_t LinkedEncoder::initializeUSB(uint8_t encoderType)
{
    return ::initializeUSB(encoderType);
}

int32_t LinkedEncoder::CloseUSB(uint8_t encoderType)
{
    return ::CloseUSB(encoderType);
}

int32_t LinkedEncoder::Buzzer(uint8_t encoderType, int32_t duration)
{
    return ::Buzzer(encoderType, duration);
}

int32_t LinkedEncoder::ReadCard(uint8_t encoderType, char *cardHexStr)
{
    return ::ReadCard(encoderType, cardHexStr);
}

int32_t LinkedEncoder::GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                                 uint8_t canOpenDeadbolt, uint8_t issueFlag, const char *beginTime,
                                 const char *eTime, const char *lockNo, char *cardHexStr)
{
    return ::GuestCard(encoderType, coID, cardNo, dai, canOpenDeadbolt, issueFlag, beginTime, eTime,
                       lockNo, cardHexStr);
}

int32_t LinkedEncoder::LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                                 const char *limitTime, const uint8_t *lostCardIds,
                                 char *cardHexStr)
{
    return ::LimitCard(encoderType, coID, cardNo, dai, limitTime, lostCardIds, cardHexStr);
}

int32_t LinkedEncoder::CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr)
{
    return ::CardErase(encoderType, coID, cardHexStr);
}

int32_t LinkedEncoder::GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType)
{
    return ::GetCardTypeByCardDataStr(cardHexStr, cardType);
}

int32_t LinkedEncoder::GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                   char *lockNo)
{
    return ::GetGuestLockNoByCardDataStr(coID, cardHexStr, lockNo);
}

int32_t LinkedEncoder::GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr, char *eTime)
{
    return ::GetGuestETimeByCardDataStr(coID, cardHexStr, eTime);
}

int32_t LinkedEncoder::ReadRecord(uint8_t encoderType, char *recordText)
{
    return ::ReadRecord(encoderType, recordText);
}

int32_t LinkedEncoder::GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord)
{
    return ::GetOpenRecordByDataStr(recordHex, decodedRecord);
}

int32_t LinkedEncoder::GetDLLVersion(char *versionText)
{
    return ::GetDLLVersion(versionText);
}
