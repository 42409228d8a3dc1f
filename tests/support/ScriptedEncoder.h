#pragma once

#include "encoder/EncoderLibrary.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// An encoder library that answers from a script and records every call with
// all its arguments, in order.
class ScriptedEncoder final : public EncoderLibrary
{
public:
    struct Reply
    {
        int32_t result = 0;
        // Bytes written into the call's output buffer, cut at its capacity.
        std::string output;
        // Whether a NUL follows the output (when the buffer has room for it).
        bool terminate = true;
    };
    struct Call
    {
        std::string function;
        // Every argument as text: numbers in decimal, texts as passed (cut at
        // the first NUL), output buffers as "<out>", lostCardIds as hex bytes.
        std::vector<std::string> args;
    };

    // Queues a reply for the next call of `function`: its result, and the bytes
    // it writes into its output buffer (cut at the capacity), followed by a NUL
    // when `terminate` and the buffer has room. Unscripted calls answer 0 and
    // leave their buffer alone.
    void script(const std::string &function, int32_t result, std::string output = {},
                bool terminate = true);

    std::vector<Call> calls;
    // The names of the calls made, in order.
    std::vector<std::string> callNames() const;

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

private:
    int32_t answer(const char *function, std::vector<std::string> args, char *out,
                   std::size_t capacity);
    std::map<std::string, std::deque<Reply>> m_replies;
};
