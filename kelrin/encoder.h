#pragma once
// The simulated encoder behind the thirteen C functions of kelrin.h, in the
// same order and with the same arguments and result codes. Argument checks
// come first and touch nothing; then the port, which is per process as a
// real handle is; then the device file. Output buffers read empty after any
// failure. Failures of the device file throw Failure; the C shims turn every
// exception into a result code.
#include <cstdint>

namespace kelrin {

std::int32_t openPort(std::uint8_t encoderType);
std::int32_t closePort(std::uint8_t encoderType);
std::int32_t beep(std::uint8_t encoderType, std::int32_t duration);
std::int32_t readCard(std::uint8_t encoderType, char *cardHexStr);
std::int32_t writeGuestCard(std::uint8_t encoderType, std::int32_t coID, std::int32_t cardNo,
                            std::int32_t dai, std::uint8_t canOpenDeadbolt, std::uint8_t issueFlag,
                            const char *beginTime, const char *eTime, const char *lockNo,
                            char *cardHexStr);
std::int32_t writeLimitCard(std::uint8_t encoderType, std::int32_t coID, std::int32_t cardNo,
                            std::int32_t dai, const char *limitTime,
                            const std::uint8_t *lostCardIds, char *cardHexStr);
std::int32_t eraseCard(std::uint8_t encoderType, std::int32_t coID, char *cardHexStr);
std::int32_t decodeCardType(const char *cardHexStr, char *cardType);
std::int32_t decodeGuestLockNo(std::int32_t coID, const char *cardHexStr, char *lockNo);
std::int32_t decodeGuestCheckout(std::int32_t coID, const char *cardHexStr, char *eTime);
std::int32_t readRecords(std::uint8_t encoderType, char *recordText);
std::int32_t decodeOpenRecord(const char *recordHex, char *decodedRecord);
std::int32_t versionText(char *versionText);

} // namespace kelrin
