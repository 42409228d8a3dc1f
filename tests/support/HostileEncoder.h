#pragma once

#include "encoder/EncoderLibrary.h"

#include <cstddef>
#include <string>
#include <vector>

// An encoder library that misbehaves as a faulty or malicious vendor library
// may. The calls it aims at answer with one misbehaviour; the others answer
// 0 with a well-formed text. It writes exactly the capacity the station's
// buffers have, never more, so a station that reads past a buffer's end
// reads past its own memory, where AddressSanitizer sees it.
class HostileEncoder final : public EncoderLibrary
{
public:
    enum class Behaviour
    {
        FullNoNul,        // every byte written, no NUL
        NonHexHighBytes,  // letters, symbols and bytes above 0x7F, then a NUL
        CutDoubleByte,    // GBK characters to the brim, the last one cut in half
        NulInMiddle,      // text, a NUL, then kBehindNul up to the brim
        MinResult,        // INT32_MIN, with a short text
        MaxResult,        // INT32_MAX, with a short text
        EmptySuccess,     // 0, and a NUL in the first byte
        UntouchedSuccess, // 0, the buffer left as the station handed it over
    };
    // The calls aimed at: the presence check's card read, or every other call.
    enum class Target
    {
        CardRead,
        OwnCalls,
    };

    Behaviour behaviour = Behaviour::FullNoNul;
    Target target = Target::OwnCalls;

    // Written behind the NUL: the station never shows it.
    static constexpr const char *kBehindNul = "BEHIND";

    // The result of the calls aimed at.
    int32_t result() const;
    // How many calls were aimed at.
    int hostileCalls = 0;
    // Calls whose output buffer came in not zeroed although the station
    // zeroes it: left untouched, it would show what lay there before.
    std::vector<std::string> unzeroedBuffers;

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
    struct Output
    {
        char *buffer;
        std::size_t capacity;
        const char *honest;      // what a sound library would write
        bool zeroed;             // whether the station hands it over zeroed
        bool cardMarker = false; // whether characters 5-6 must say a card is there
    };
    int32_t answer(const char *function, const Output &out);
    // A call with no output buffer.
    int32_t answer();
    // Reads an input text as a library would: up to its NUL.
    void readText(const char *text);
    void fill(const Output &out) const;
    int m_recordDecodes = 0;
    std::size_t m_inputBytes = 0; // what the inputs held, kept so that they are read
};
