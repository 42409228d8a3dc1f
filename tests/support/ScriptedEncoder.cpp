#include "tests/support/ScriptedEncoder.h"

#include <cstdio>
#include <cstring>

namespace {

std::string num(long long value)
{
    return std::to_string(value);
}

std::string text(const char *value)
{
    return value ? std::string(value) : std::string("<null>");
}

const std::string kOut = "<out>";

} // namespace

void ScriptedEncoder::script(const std::string &function, int32_t result, std::string output,
                             bool terminate)
{
    m_replies[function].push_back(Reply{result, std::move(output), terminate});
}

std::vector<std::string> ScriptedEncoder::callNames() const
{
    std::vector<std::string> names;
    for (const Call &call : calls)
        names.push_back(call.function);
    return names;
}

int32_t ScriptedEncoder::answer(const char *function, std::vector<std::string> args, char *out,
                                std::size_t capacity)
{
    calls.push_back({function, std::move(args)});
    auto &queue = m_replies[function];
    if (queue.empty())
        return 0;
    const Reply reply = queue.front();
    queue.pop_front();
    if (out && (!reply.output.empty() || reply.terminate)) {
        const std::size_t n = std::min(reply.output.size(), capacity);
        std::memcpy(out, reply.output.data(), n);
        if (reply.terminate && n < capacity)
            out[n] = '\0';
    }
    return reply.result;
}

int32_t ScriptedEncoder::initializeUSB(uint8_t encoderType)
{
    return answer("initializeUSB", {num(encoderType)}, nullptr, 0);
}

int32_t ScriptedEncoder::CloseUSB(uint8_t encoderType)
{
    return answer("CloseUSB", {num(encoderType)}, nullptr, 0);
}

int32_t ScriptedEncoder::Buzzer(uint8_t encoderType, int32_t duration)
{
    return answer("Buzzer", {num(encoderType), num(duration)}, nullptr, 0);
}

int32_t ScriptedEncoder::ReadCard(uint8_t encoderType, char *cardHexStr)
{
    return answer("ReadCard", {num(encoderType), kOut}, cardHexStr, KELRIN_CARD_HEX_SIZE);
}

int32_t ScriptedEncoder::GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                                   uint8_t canOpenDeadbolt, uint8_t issueFlag,
                                   const char *beginTime, const char *eTime, const char *lockNo,
                                   char *cardHexStr)
{
    return answer("GuestCard",
                  {num(encoderType), num(coID), num(cardNo), num(dai), num(canOpenDeadbolt),
                   num(issueFlag), text(beginTime), text(eTime), text(lockNo), kOut},
                  cardHexStr, KELRIN_CARD_HEX_SIZE);
}

int32_t ScriptedEncoder::LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                                   const char *limitTime, const uint8_t *lostCardIds,
                                   char *cardHexStr)
{
    std::string ids = "<null>";
    if (lostCardIds) {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", lostCardIds[0], lostCardIds[1],
                      lostCardIds[2], lostCardIds[3]);
        ids = hex;
    }
    return answer("LimitCard",
                  {num(encoderType), num(coID), num(cardNo), num(dai), text(limitTime), ids, kOut},
                  cardHexStr, KELRIN_CARD_HEX_SIZE);
}

int32_t ScriptedEncoder::CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr)
{
    return answer("CardErase", {num(encoderType), num(coID), kOut}, cardHexStr,
                  KELRIN_CARD_HEX_SIZE);
}

int32_t ScriptedEncoder::GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType)
{
    return answer("GetCardTypeByCardDataStr", {text(cardHexStr), kOut}, cardType,
                  KELRIN_FIELD_SIZE);
}

int32_t ScriptedEncoder::GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                     char *lockNo)
{
    return answer("GetGuestLockNoByCardDataStr", {num(coID), text(cardHexStr), kOut}, lockNo,
                  KELRIN_FIELD_SIZE);
}

int32_t ScriptedEncoder::GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                                    char *eTime)
{
    return answer("GetGuestETimeByCardDataStr", {num(coID), text(cardHexStr), kOut}, eTime,
                  KELRIN_FIELD_SIZE);
}

int32_t ScriptedEncoder::ReadRecord(uint8_t encoderType, char *recordText)
{
    return answer("ReadRecord", {num(encoderType), kOut}, recordText, KELRIN_RECORD_TEXT_SIZE);
}

int32_t ScriptedEncoder::GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord)
{
    return answer("GetOpenRecordByDataStr", {text(recordHex), kOut}, decodedRecord,
                  KELRIN_FIELD_SIZE);
}

int32_t ScriptedEncoder::GetDLLVersion(char *versionText)
{
    return answer("GetDLLVersion", {kOut}, versionText, KELRIN_VERSION_SIZE);
}
