#include "codec.h"

#include <algorithm>
#include <chrono>

namespace kelrin {
namespace {

// Byte offsets of the card layout in codec.h.
constexpr std::size_t kMarkAt = 0;
constexpr std::size_t kVersionAt = 1;
constexpr std::size_t kPresenceAt = 2;
constexpr std::size_t kTypeAt = 3;
constexpr std::size_t kHotelAt = 4; // three bytes
constexpr std::size_t kDaiAt = 7;
constexpr std::size_t kFlagsAt = 8;
constexpr std::size_t kSerialAt = 12;
constexpr std::size_t kFromAt = 16;  // five BCD bytes
constexpr std::size_t kUntilAt = 21; // five BCD bytes
constexpr std::size_t kFixedIdAt = 28;
constexpr std::size_t kLockNoAt = 32; // four BCD bytes
constexpr std::size_t kLostCardAt = 36;
constexpr std::size_t kCheckAt = 62;

constexpr std::uint8_t kLayoutMark = 0x4B;
constexpr std::uint8_t kLayoutVersion = 0x01;
constexpr std::uint8_t kCardPresent = 0x01;
constexpr std::uint8_t kFlagDeadbolt = 0x01;
constexpr std::uint8_t kFlagIssue = 0x02;

// Bytes that no card of this layout uses: they must read zero.
constexpr std::array<std::pair<std::size_t, std::size_t>, 3> kZeroRanges{
    {{9, 12}, {26, 28}, {40, kCheckAt}}};

constexpr std::size_t kDumpHeaderBytes = kDumpHeaderLength / 2;
constexpr char kBlockMark[] = "AA";
constexpr std::string_view kUnusedSlot = "FFFFFFFFFFFFFFFF";

constexpr char kHexDigits[] = "0123456789ABCDEF";

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool allDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int twoDigits(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

bool isRealDate(int yy, int mm, int dd)
{
    using namespace std::chrono;
    return year_month_day{year{2000 + yy}, month{static_cast<unsigned>(mm)},
                          day{static_cast<unsigned>(dd)}}
        .ok();
}

std::uint32_t readBig(const CardBlock &block, std::size_t at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | block[at + i];
    return value;
}

void writeBig(CardBlock &block, std::size_t at, std::size_t count, std::uint32_t value)
{
    for (std::size_t i = count; i-- > 0; value >>= 8)
        block[at + i] = static_cast<std::uint8_t>(value & 0xFF);
}

// Digits to BCD bytes, two digits a byte.
void writeDigits(CardBlock &block, std::size_t at, std::string_view digits)
{
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        block[at + i / 2] =
            static_cast<std::uint8_t>((digits[i] - '0') << 4 | (digits[i + 1] - '0'));
}

// BCD bytes to digits; nothing when a nibble is above 9.
std::optional<std::string> readDigits(const CardBlock &block, std::size_t at, std::size_t count)
{
    std::string digits;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = block[at + i] >> 4;
        const int low = block[at + i] & 0x0F;
        if (high > 9 || low > 9)
            return std::nullopt;
        digits += static_cast<char>('0' + high);
        digits += static_cast<char>('0' + low);
    }
    return digits;
}

std::string hex(std::uint32_t value, int digits)
{
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kHexDigits[value & 0xF];
    return text;
}

std::uint16_t textCrc(std::string_view text)
{
    return crc16({reinterpret_cast<const std::uint8_t *>(text.data()), text.size()});
}

std::uint16_t recordSeal(std::span<const std::uint8_t> firstSix)
{
    return static_cast<std::uint16_t>(crc16(firstSix) ^ kRecordSealXor);
}

// Widths in bits of the record fields, most significant first: type, year,
// month, day, hour, minute, second, door.
constexpr std::array<int, 8> kRecordWidths{4, 7, 4, 5, 5, 6, 6, 11};

bool fieldsValid(const OpenRecord &r)
{
    return r.type <= 0xF && r.year <= 99 && r.hour <= 23 && r.minute <= 59 && r.second <= 59 &&
           r.door <= kMaxDoor && isRealDate(r.year, r.month, r.day);
}

} // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::string toHex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    return text;
}

bool fromHex(std::string_view text, std::span<std::uint8_t> out)
{
    if (text.size() != out.size() * 2)
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = nibble(text[2 * i]);
        const int low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

bool isValidStamp(std::string_view text)
{
    if (text.size() != kStampLength || !allDigits(text))
        return false;
    return isRealDate(twoDigits(text, 0), twoDigits(text, 2), twoDigits(text, 4)) &&
           twoDigits(text, 6) <= 23 && twoDigits(text, 8) <= 59;
}

bool isValidLockNo(std::string_view text)
{
    return text.size() == kLockNoLength && allDigits(text);
}

bool isValidHotelId(std::int64_t id)
{
    return id >= 0 && id <= kMaxHotelId;
}

std::uint32_t recoveredHotel(std::uint32_t id)
{
    return (id & 0xFF0000) | (id & 0x3FFF);
}

char cardTypeChar(std::uint8_t type)
{
    return kHexDigits[type & 0x0F];
}

std::string_view cardTypeName(std::uint8_t type)
{
    static constexpr std::array<std::string_view, 16> names{
        "authorisation card", "record card",      "room-number setting card",
        "time setting card",  "lost-card notice", "group-number setting card",
        "guest card",         "checkout card",    "group master card",
        "unknown card",       "emergency card",   "master card",
        "building card",      "floor card",       "unknown card",
        "blank card"};
    return names[type & 0x0F];
}

Card blankCard(std::uint32_t fixedId)
{
    Card card;
    card.fixedId = fixedId;
    return card;
}

std::string encodeCard(const Card &card)
{
    CardBlock block{};
    block[kMarkAt] = kLayoutMark;
    block[kVersionAt] = kLayoutVersion;
    block[kPresenceAt] = kCardPresent;
    block[kTypeAt] = card.type;
    writeBig(block, kHotelAt, 3, card.hotel);
    block[kDaiAt] = card.dai;
    block[kFlagsAt] = static_cast<std::uint8_t>((card.deadbolt ? kFlagDeadbolt : 0) |
                                                (card.issueFlag ? kFlagIssue : 0));
    writeBig(block, kSerialAt, 4, card.serial);
    writeDigits(block, kFromAt, card.from);
    writeDigits(block, kUntilAt, card.until);
    writeBig(block, kFixedIdAt, 4, card.fixedId);
    writeDigits(block, kLockNoAt, card.lockNo);
    std::copy(card.lostCard.begin(), card.lostCard.end(), block.begin() + kLostCardAt);
    writeBig(block, kCheckAt, 2, crc16(std::span(block).first(kCheckAt)));
    return toHex(block);
}

std::optional<Card> decodeCard(std::string_view text)
{
    CardBlock block{};
    if (!fromHex(text, block))
        return std::nullopt;
    if (block[kMarkAt] != kLayoutMark || block[kVersionAt] != kLayoutVersion ||
        block[kPresenceAt] != kCardPresent || block[kTypeAt] > 0x0F ||
        (block[kFlagsAt] & ~(kFlagDeadbolt | kFlagIssue)) != 0)
        return std::nullopt;
    if (readBig(block, kCheckAt, 2) != crc16(std::span(block).first(kCheckAt)))
        return std::nullopt;
    for (const auto &[first, end] : kZeroRanges) {
        if (std::any_of(block.begin() + first, block.begin() + end, [](auto b) { return b != 0; }))
            return std::nullopt;
    }
    auto from = readDigits(block, kFromAt, 5);
    auto until = readDigits(block, kUntilAt, 5);
    auto lockNo = readDigits(block, kLockNoAt, 4);
    if (!from || !until || !lockNo)
        return std::nullopt;

    Card card;
    card.type = block[kTypeAt];
    card.hotel = readBig(block, kHotelAt, 3);
    card.dai = block[kDaiAt];
    card.deadbolt = block[kFlagsAt] & kFlagDeadbolt;
    card.issueFlag = block[kFlagsAt] & kFlagIssue;
    card.serial = readBig(block, kSerialAt, 4);
    card.from = std::move(*from);
    card.until = std::move(*until);
    card.fixedId = readBig(block, kFixedIdAt, 4);
    card.lockNo = std::move(*lockNo);
    std::copy_n(block.begin() + kLostCardAt, card.lostCard.size(), card.lostCard.begin());

    // Blank exactly when the serial says so, and then nothing but the fixed ID.
    if (card.type == kCardTypeBlank || card.serial == kBlankSerial)
        return card == blankCard(card.fixedId) ? std::optional(card) : std::nullopt;
    if (card.type == kCardTypeGuest && !(isValidStamp(card.from) && isValidStamp(card.until)))
        return std::nullopt;
    if (card.type == kCardTypeLimit && !isValidStamp(card.from))
        return std::nullopt;
    return card;
}

std::string noCardText()
{
    return std::string(kCardHexLength, '0');
}

bool belongsToOrBlank(const Card &card, std::uint32_t hotelId)
{
    return card.type == kCardTypeBlank || recoveredHotel(card.hotel) == recoveredHotel(hotelId);
}

std::optional<OpenRecord> makeRecord(std::uint8_t type, std::string_view stamp, std::uint16_t door)
{
    if (stamp.size() != 12 || !allDigits(stamp))
        return std::nullopt;
    OpenRecord record{type,
                      static_cast<std::uint8_t>(twoDigits(stamp, 0)),
                      static_cast<std::uint8_t>(twoDigits(stamp, 2)),
                      static_cast<std::uint8_t>(twoDigits(stamp, 4)),
                      static_cast<std::uint8_t>(twoDigits(stamp, 6)),
                      static_cast<std::uint8_t>(twoDigits(stamp, 8)),
                      static_cast<std::uint8_t>(twoDigits(stamp, 10)),
                      door};
    return fieldsValid(record) ? std::optional(record) : std::nullopt;
}

std::string encodeRecord(const OpenRecord &r)
{
    const std::array<unsigned, 8> fields{r.type, r.year,   r.month,  r.day,
                                         r.hour, r.minute, r.second, r.door};
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < fields.size(); ++i)
        packed = packed << kRecordWidths[i] | (fields[i] & ((1u << kRecordWidths[i]) - 1));
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < 6; ++i)
        bytes[i] = static_cast<std::uint8_t>(packed >> (40 - 8 * i));
    const std::uint16_t seal = recordSeal(std::span(bytes).first(6));
    bytes[6] = static_cast<std::uint8_t>(seal >> 8);
    bytes[7] = static_cast<std::uint8_t>(seal & 0xFF);
    return toHex(bytes);
}

std::optional<OpenRecord> decodeRecord(std::string_view text)
{
    std::array<std::uint8_t, 8> bytes{};
    if (!fromHex(text, bytes))
        return std::nullopt;
    if ((bytes[6] << 8 | bytes[7]) != recordSeal(std::span(bytes).first(6)))
        return std::nullopt;
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < 6; ++i)
        packed = packed << 8 | bytes[i];
    std::array<unsigned, 8> fields{};
    for (std::size_t i = fields.size(); i-- > 0;) {
        fields[i] = static_cast<unsigned>(packed & ((1u << kRecordWidths[i]) - 1));
        packed >>= kRecordWidths[i];
    }
    const OpenRecord record{
        static_cast<std::uint8_t>(fields[0]), static_cast<std::uint8_t>(fields[1]),
        static_cast<std::uint8_t>(fields[2]), static_cast<std::uint8_t>(fields[3]),
        static_cast<std::uint8_t>(fields[4]), static_cast<std::uint8_t>(fields[5]),
        static_cast<std::uint8_t>(fields[6]), static_cast<std::uint16_t>(fields[7])};
    return fieldsValid(record) ? std::optional(record) : std::nullopt;
}

std::string recordText(const OpenRecord &r)
{
    std::string text(1, cardTypeChar(r.type));
    for (const unsigned part : {r.year, r.month, r.day, r.hour, r.minute, r.second}) {
        text += static_cast<char>('0' + part / 10);
        text += static_cast<char>('0' + part % 10);
    }
    return text + hex(r.door, 3);
}

std::string recordDump(std::span<const OpenRecord> records, std::uint8_t encoderType)
{
    records = records.first(std::min(records.size(), kMaxRecords));
    const std::size_t blocks = (records.size() + kRecordsPerBlock - 1) / kRecordsPerBlock;

    std::array<std::uint8_t, kDumpHeaderBytes> header{};
    header[0] = kLayoutMark;
    header[1] = 0x52;
    header[2] = kLayoutVersion;
    header[3] = encoderType;
    header[4] = static_cast<std::uint8_t>(records.size() >> 8);
    header[5] = static_cast<std::uint8_t>(records.size() & 0xFF);
    header[6] = static_cast<std::uint8_t>(blocks >> 8);
    header[7] = static_cast<std::uint8_t>(blocks & 0xFF);
    const std::uint16_t headerCrc = crc16(std::span(header).first(kDumpHeaderBytes - 2));
    header[kDumpHeaderBytes - 2] = static_cast<std::uint8_t>(headerCrc >> 8);
    header[kDumpHeaderBytes - 1] = static_cast<std::uint8_t>(headerCrc & 0xFF);

    std::string dump = toHex(header);
    dump.reserve(kDumpHeaderLength + blocks * kDumpBlockLength);
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto inBlock =
            records.subspan(b * kRecordsPerBlock,
                            std::min(kRecordsPerBlock, records.size() - b * kRecordsPerBlock));
        std::string block = kBlockMark + hex(static_cast<std::uint32_t>(b), 2) +
                            hex(static_cast<std::uint32_t>(inBlock.size()), 2);
        for (std::size_t slot = 0; slot < kRecordsPerBlock; ++slot)
            block += slot < inBlock.size() ? encodeRecord(inBlock[slot]) : std::string(kUnusedSlot);
        block += hex(textCrc(block), 4);
        dump += block;
    }
    return dump;
}

} // namespace kelrin
