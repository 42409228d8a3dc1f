#pragma once

#include "encoder/EncoderLibrary.h"

// The encoder library linked into the program at load time.
class LinkedEncoder final : public EncoderLibrary
{
public:
    int32_t initializeUSB(uint8_t encoderType) override;
    int32_t CloseUSB(uint8_t encoderType) override;
    int32_t Buzzer(uint8_t encoderType, int32_t duration) override;
    int32_t ReadCard(uint8_t encoderType, char *cardHexStr) override;
    int32_t GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                      uint8_t canOpenDeadbolt, uint8_t issueFlag, const char *beginTime,
                      const char *eTime, const char *lockNo, char *cardHexStr) override;
    int32_t LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                      const char *limitTime, const uint8_t *lostCardIds, char *cardHexStr) override;
    int32_t CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr) override;
    int32_t GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType) override;
    int32_t GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                        char *lockNo) override;
    int32_t GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr, char *eTime) override;
    int32_t ReadRecord(uint8_t encoderType, char *recordText) override;
    int32_t GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord) override;
    int32_t GetDLLVersion(char *versionText) override;
};
