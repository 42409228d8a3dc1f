// Arbitrary text where the station expects a card hex string. Every piece is
// cut without a read past the text; the presence marker and the hotel
// identifier are read from exactly their characters, the identifier refused
// exactly when those are not hex digits; and from any card the stand-in
// library takes for valid the station reads back what the library wrote.
#include "FuzzCheck.h"
#include "app/StationError.h"
#include "cards/read/ReadingText.h"
#include "codec.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace {

// Characters `position` (1-based) on, at most `length`, cut without Qt.
std::string_view piece(std::string_view text, std::size_t position, std::size_t length)
{
    return text.substr(std::min(position - 1, text.size()), length);
}

std::optional<uint32_t> hexValue(std::string_view digits)
{
    uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

QByteArray hex8(uint32_t value)
{
    return QByteArray::number(value, 16).rightJustified(8, '0').toUpper();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const QByteArrayView card(text.data(), static_cast<qsizetype>(text.size()));

    // The positions of the card layout and a little beyond, in three lengths.
    for (qsizetype position = -1; position <= std::min<qsizetype>(card.size() + 1, 140);
         ++position) {
        for (const qsizetype length : {0, 2, 16}) {
            const std::string_view expected = position < 1
                                                  ? std::string_view()
                                                  : piece(text, static_cast<std::size_t>(position),
                                                          static_cast<std::size_t>(length));
            check(cardPiece(card, position, length) == QByteArrayView(expected),
                  "a piece is the text at its place, and none before the first character");
        }
    }

    check(cardPresent(card) == (piece(text, 5, 2) == "01"), "presence is characters 5-6");

    const auto high = hexValue(piece(text, 9, 2));
    const auto low = hexValue(piece(text, 11, 4));
    try {
        const int32_t hotel = hotelIdFromCard(card);
        check(high && low, "a hotel only from hex digits");
        check(hotel == static_cast<int32_t>(*high * 65536 + *low % 16384),
              "the hotel is the high byte and the low 14 bits");
    } catch (const StationError &) {
        check(!high || !low, "refused only for a piece that is not hex digits");
    }

    if (const auto written = kelrin::decodeCard(text)) {
        check(cardPresent(card), "a card the library takes is present");
        check(hotelIdFromCard(card) == static_cast<int32_t>(kelrin::recoveredHotel(written->hotel)),
              "the hotel as the library wrote it");
        check(cardSerialNumber(card).toUpper() == hex8(written->serial),
              "the serial number as the library wrote it");
        check(cardFixedId(card).toUpper() == hex8(written->fixedId),
              "the fixed ID as the library wrote it");
    }
    return 0;
}
