#pragma once

#include "kelrin.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// The values the card operations share for the whole run.
struct StationState
{
    // 0: encoder with a driver, 1: the KelUSB encoder. Device calls get its low byte.
    int32_t EncoderType = 0;
    // Result of the latest decoding or record call; each user writes it first.
    int32_t LastResult = 0;
    // The latest card read, filled by ReadCard only and never cleared. One
    // guard byte beyond the library's 129 stays NUL, so the text always ends.
    std::array<char, KELRIN_CARD_HEX_SIZE + 1> CardDataBuffer{};

    uint8_t encoderTypeByte() const { return static_cast<uint8_t>(EncoderType & 0xFF); }
    // The card hex string: bytes up to the first NUL, at most 129.
    QByteArray cardData() const;
};
