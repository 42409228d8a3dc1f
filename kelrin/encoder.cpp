#include "encoder.h"

#include "codec.h"
#include "device.h"
#include "kelrin.h"
#include "system.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string_view>

namespace kelrin {
namespace {

constexpr std::string_view kVersion = "Kelrin simulator 1.0 (card layout 1)";

std::atomic<bool> portOpen{false};

void clear(char *out)
{
    if (out)
        out[0] = '\0';
}

// Copies the answer with its NUL. Answers are sized to fit by construction;
// one that does not is a fault here, never a reason to write past the buffer.
void put(char *out, std::size_t capacity, std::string_view text)
{
    if (text.size() >= capacity)
        throw Failure(KELRIN_ERROR_INTERNAL, "answer longer than its buffer");
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
}

bool isEncoderType(std::uint8_t type)
{
    return type == KELRIN_ENCODER_WITH_DRIVER || type == KELRIN_ENCODER_KELUSB;
}

void requirePort()
{
    if (!portOpen)
        throw Failure(KELRIN_ERROR_NOT_OPEN, "the port is not open");
}

void requireEncoder(const DeviceState &state, std::uint8_t type)
{
    if (!state.attached)
        throw Failure(KELRIN_ERROR_NO_DEVICE, "no encoder attached");
    if (state.encoderType != type)
        throw Failure(KELRIN_ERROR_WRONG_ENCODER, "the attached encoder is of the other type");
}

// The device as a call finds it once the simulated transfer time has passed.
DeviceState reach(const DeviceFile &file, std::uint8_t type)
{
    DeviceState state = file.load();
    requireEncoder(state, type);
    if (state.latencyMs > 0)
        sys::sleepMs(state.latencyMs);
    return state;
}

// Replaces the card on the encoder with make(its fixed ID), when one lies
// there and is blank or this hotel's, and answers the new card.
std::int32_t writeCard(std::uint8_t type, std::uint32_t hotelId,
                       const std::function<Card(std::uint32_t)> &make, char *cardHexStr)
{
    requirePort();
    const DeviceFile file;
    reach(file, type);
    std::string written;
    // The device may have changed while the call waited: check again under the lock.
    file.update([&](DeviceState &state) {
        requireEncoder(state, type);
        if (!state.card)
            throw Failure(KELRIN_ERROR_NO_CARD, "no card on the encoder");
        if (!belongsToOrBlank(*state.card, hotelId))
            throw Failure(KELRIN_ERROR_OTHER_HOTEL_CARD, "the card belongs to another hotel");
        state.card = make(state.card->fixedId);
        written = encodeCard(*state.card);
    });
    put(cardHexStr, KELRIN_CARD_HEX_SIZE, written);
    return KELRIN_OK;
}

// The guest-card decoders' common steps, in the order their codes rank.
std::int32_t decodeGuestField(std::int32_t coID, const char *cardHexStr, char *out,
                              const std::function<std::string(const Card &)> &field)
{
    clear(out);
    if (!cardHexStr || !out)
        return KELRIN_ERROR_NULL_POINTER;
    const auto card = decodeCard(cardHexStr);
    if (!card)
        return KELRIN_INVALID_DATA;
    // A blank card is nobody's: it is simply not a guest card.
    if (card->type == kCardTypeBlank)
        return KELRIN_NOT_GUEST_CARD;
    if (!isValidHotelId(coID) ||
        recoveredHotel(card->hotel) != recoveredHotel(static_cast<std::uint32_t>(coID)))
        return KELRIN_OTHER_HOTEL;
    if (card->type != kCardTypeGuest)
        return KELRIN_NOT_GUEST_CARD;
    put(out, KELRIN_FIELD_SIZE, field(*card));
    return KELRIN_OK;
}

// The arguments that every card write but the erase shares.
std::int32_t checkCardArguments(std::uint8_t encoderType, std::int32_t coID, std::int32_t cardNo,
                                std::int32_t dai)
{
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    if (!isValidHotelId(coID))
        return KELRIN_ERROR_HOTEL_ID;
    if (cardNo < 0)
        return KELRIN_ERROR_CARD_NO;
    if (dai < 0 || dai > 0xFF)
        return KELRIN_ERROR_DAI;
    return KELRIN_OK;
}

} // namespace

std::int32_t openPort(std::uint8_t encoderType)
{
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    reach(DeviceFile(), encoderType);
    portOpen = true;
    return KELRIN_OK;
}

std::int32_t closePort(std::uint8_t encoderType)
{
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    portOpen = false;
    return KELRIN_OK;
}

std::int32_t beep(std::uint8_t encoderType, std::int32_t duration)
{
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    if (duration < 0 || duration > 0xFFFF)
        return KELRIN_ERROR_DURATION;
    requirePort();
    const DeviceFile file;
    reach(file, encoderType);
    file.update([&](DeviceState &state) {
        requireEncoder(state, encoderType);
        ++state.beeps;
    });
    return KELRIN_OK;
}

std::int32_t readCard(std::uint8_t encoderType, char *cardHexStr)
{
    clear(cardHexStr);
    if (!cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    requirePort();
    const DeviceState state = reach(DeviceFile(), encoderType);
    put(cardHexStr, KELRIN_CARD_HEX_SIZE, state.card ? encodeCard(*state.card) : noCardText());
    return KELRIN_OK;
}

std::int32_t writeGuestCard(std::uint8_t encoderType, std::int32_t coID, std::int32_t cardNo,
                            std::int32_t dai, std::uint8_t canOpenDeadbolt, std::uint8_t issueFlag,
                            const char *beginTime, const char *eTime, const char *lockNo,
                            char *cardHexStr)
{
    clear(cardHexStr);
    if (!beginTime || !eTime || !lockNo || !cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    if (const std::int32_t bad = checkCardArguments(encoderType, coID, cardNo, dai))
        return bad;
    if (canOpenDeadbolt > 1 || issueFlag > 1)
        return KELRIN_ERROR_FLAG;
    if (!isValidStamp(beginTime) || !isValidStamp(eTime))
        return KELRIN_ERROR_TIME;
    if (!isValidLockNo(lockNo))
        return KELRIN_ERROR_LOCK_NO;
    const auto hotel = static_cast<std::uint32_t>(coID);
    return writeCard(
        encoderType, hotel,
        [&](std::uint32_t fixedId) {
            Card card = blankCard(fixedId);
            card.type = kCardTypeGuest;
            card.hotel = hotel;
            card.dai = static_cast<std::uint8_t>(dai);
            card.deadbolt = canOpenDeadbolt == 1;
            card.issueFlag = issueFlag == 1;
            card.serial = static_cast<std::uint32_t>(cardNo);
            card.from = beginTime;
            card.until = eTime;
            card.lockNo = lockNo;
            return card;
        },
        cardHexStr);
}

std::int32_t writeLimitCard(std::uint8_t encoderType, std::int32_t coID, std::int32_t cardNo,
                            std::int32_t dai, const char *limitTime,
                            const std::uint8_t *lostCardIds, char *cardHexStr)
{
    clear(cardHexStr);
    if (!limitTime || !lostCardIds || !cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    if (const std::int32_t bad = checkCardArguments(encoderType, coID, cardNo, dai))
        return bad;
    if (!isValidStamp(limitTime))
        return KELRIN_ERROR_TIME;
    const auto hotel = static_cast<std::uint32_t>(coID);
    LostCardId lost{};
    std::copy_n(lostCardIds, lost.size(), lost.begin());
    return writeCard(
        encoderType, hotel,
        [&](std::uint32_t fixedId) {
            Card card = blankCard(fixedId);
            card.type = kCardTypeLimit;
            card.hotel = hotel;
            card.dai = static_cast<std::uint8_t>(dai);
            card.serial = static_cast<std::uint32_t>(cardNo);
            card.from = limitTime;
            card.lostCard = lost;
            return card;
        },
        cardHexStr);
}

std::int32_t eraseCard(std::uint8_t encoderType, std::int32_t coID, char *cardHexStr)
{
    clear(cardHexStr);
    if (!cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    if (!isValidHotelId(coID))
        return KELRIN_ERROR_HOTEL_ID;
    return writeCard(encoderType, static_cast<std::uint32_t>(coID), blankCard, cardHexStr);
}

std::int32_t decodeCardType(const char *cardHexStr, char *cardType)
{
    clear(cardType);
    if (!cardHexStr || !cardType)
        return KELRIN_ERROR_NULL_POINTER;
    const auto card = decodeCard(cardHexStr);
    if (!card)
        return KELRIN_INVALID_DATA;
    put(cardType, KELRIN_FIELD_SIZE, std::string(1, cardTypeChar(card->type)));
    return KELRIN_OK;
}

std::int32_t decodeGuestLockNo(std::int32_t coID, const char *cardHexStr, char *lockNo)
{
    return decodeGuestField(coID, cardHexStr, lockNo, [](const Card &card) { return card.lockNo; });
}

std::int32_t decodeGuestCheckout(std::int32_t coID, const char *cardHexStr, char *eTime)
{
    return decodeGuestField(coID, cardHexStr, eTime, [](const Card &card) { return card.until; });
}

std::int32_t readRecords(std::uint8_t encoderType, char *recordText)
{
    clear(recordText);
    if (!recordText)
        return KELRIN_ERROR_NULL_POINTER;
    if (!isEncoderType(encoderType))
        return KELRIN_ERROR_ENCODER_TYPE;
    requirePort();
    const DeviceState state = reach(DeviceFile(), encoderType);
    put(recordText, KELRIN_RECORD_TEXT_SIZE, recordDump(state.records, encoderType));
    return KELRIN_OK;
}

std::int32_t decodeOpenRecord(const char *recordHex, char *decodedRecord)
{
    clear(decodedRecord);
    if (!recordHex || !decodedRecord)
        return KELRIN_ERROR_NULL_POINTER;
    const auto record = decodeRecord(recordHex);
    if (!record)
        return KELRIN_INVALID_DATA;
    put(decodedRecord, KELRIN_FIELD_SIZE, recordText(*record));
    return KELRIN_OK;
}

std::int32_t versionText(char *versionText)
{
    clear(versionText);
    if (!versionText)
        return KELRIN_ERROR_NULL_POINTER;
    put(versionText, KELRIN_VERSION_SIZE, kVersion);
    return KELRIN_OK;
}

} // namespace kelrin
