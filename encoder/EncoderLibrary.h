#pragma once

#include "kelrin.h"

#include <cstdint>

// The card-encoder library as the station calls it: one method per exported
// function, same parameters, same caller-owned buffers. Production forwards to
// the linked library; tests put a scripted encoder in its place.
class EncoderLibrary
{
public:
    virtual ~EncoderLibrary() = default;

    virtual int32_t initializeUSB(uint8_t encoderType) = 0;
    virtual int32_t CloseUSB(uint8_t encoderType) = 0;
    virtual int32_t Buzzer(uint8_t encoderType, int32_t duration) = 0;
    virtual int32_t ReadCard(uint8_t encoderType, char *cardHexStr) = 0;
    virtual int32_t GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                              uint8_t canOpenDeadbolt, uint8_t issueFlag, const char *beginTime,
                              const char *eTime, const char *lockNo, char *cardHexStr) = 0;
    virtual int32_t LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                              const char *limitTime, const uint8_t *lostCardIds,
                              char *cardHexStr) = 0;
    virtual int32_t CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr) = 0;
    virtual int32_t GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType) = 0;
    virtual int32_t GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                char *lockNo) = 0;
    virtual int32_t GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                               char *eTime) = 0;
    virtual int32_t ReadRecord(uint8_t encoderType, char *recordText) = 0;
    virtual int32_t GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord) = 0;
    virtual int32_t GetDLLVersion(char *versionText) = 0;
};
