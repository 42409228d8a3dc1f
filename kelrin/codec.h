#pragma once
// The card codec: the layouts of the card hex string, the door-open record
// and the record dump, their check values, and the validation of times and
// lock numbers. Pure functions: no files, no port, no clock, so that the
// tests can feed them known answers and boundaries directly.
//
// Card hex string: 64 bytes as 128 upper-case hex characters. Byte b sits at
// characters 2b+1 and 2b+2 (1-based).
//
//   byte   chars    field
//   0      1-2      layout mark 4B
//   1      3-4      layout version 01
//   2      5-6      01: a card lies on the encoder (the station's presence test)
//   3      7-8      card type 00-0F (kCardType*)
//   4      9-10     hotel identifier bits 16-23
//   5-6    11-14    hotel identifier bits 0-15; the station counts the low 14
//   7      15-16    dai
//   8      17-18    flags: bit 0 may open the deadbolt, bit 1 issue flag
//   9-11   19-24    zero
//   12-15  25-32    serial number: cardNo in hex; FFFFFFFF on a blank card only
//   16-20  33-42    from: issue time (guest), start (lost-card notice), BCD YYMMDDHHMM
//   21-25  43-52    until: checkout time (guest), BCD YYMMDDHHMM
//   26-27  53-56    zero
//   28-31  57-64    fixed ID, the chip's UID; no write changes it
//   32-35  65-72    lock number, BCD, eight digits (guest)
//   36-39  73-80    the lost card's four bytes (lost-card notice)
//   40-61  81-124   zero
//   62-63  125-128  CRC-16/CCITT-FALSE of bytes 0-61
//
// A blank card carries type F, serial FFFFFFFF, its fixed ID and zeros.
//
// Open record: 8 bytes as 16 hex characters, read as one big-endian 64-bit
// number, most significant bits first: type 4 bits, year 7 (00-99), month 4,
// day 5, hour 5, minute 6, second 6, door 11 (the lock's door index), then a
// 16-bit seal: the CRC-16/CCITT-FALSE of the first six bytes exclusive-or
// kRecordSealXor. Decoded as text: type character, "YYMMDDhhmmss", door as
// three hex digits.
//
// Record dump: a 592-character header (296 bytes in hex: 4B 52, layout 01,
// encoder type, record count and block count as 16-bit numbers, zeros, and a
// CRC-16 of the bytes before it), then one 74-character block per four
// records: "AA", block index and records used as two hex digits each, four
// 16-character record slots (unused ones all F), and a CRC-16 of the block's
// first 70 characters as four hex digits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelrin {

inline constexpr std::size_t kCardBytes = 64;
inline constexpr std::size_t kCardHexLength = 2 * kCardBytes;
using CardBlock = std::array<std::uint8_t, kCardBytes>;
using LostCardId = std::array<std::uint8_t, 4>;

inline constexpr std::uint8_t kCardTypeLimit = 0x4;
inline constexpr std::uint8_t kCardTypeGuest = 0x6;
inline constexpr std::uint8_t kCardTypeBlank = 0xF;
inline constexpr std::uint32_t kBlankSerial = 0xFFFFFFFF;
inline constexpr std::uint32_t kMaxHotelId = 0xFFFFFF;

inline constexpr std::size_t kStampLength = 10; // YYMMDDHHMM
inline constexpr std::size_t kLockNoLength = 8; // building, floor, room, second room
inline constexpr std::size_t kRecordHexLength = 16;
inline constexpr std::size_t kRecordTextLength = 16; // type, YYMMDDhhmmss, door
inline constexpr std::size_t kMaxRecords = 224;
inline constexpr std::size_t kRecordsPerBlock = 4;
inline constexpr std::size_t kDumpHeaderLength = 592;
inline constexpr std::size_t kDumpBlockLength = 74;
inline constexpr std::size_t kDumpBlockLeadLength = 6;
inline constexpr std::uint16_t kMaxDoor = 0x7FF;
// Chosen so that the record the station shows as its example,
// 6B15458D15EA3941, carries a valid seal.
inline constexpr std::uint16_t kRecordSealXor = 0x87D6;

// CRC-16/CCITT-FALSE: polynomial 1021, initial FFFF, not reflected.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);
std::string toHex(std::span<const std::uint8_t> bytes);
// Both cases accepted; false unless the text is exactly 2 * out.size() hex digits.
bool fromHex(std::string_view text, std::span<std::uint8_t> out);

// Ten digits YYMMDDHHMM of a real date (20YY) and time, hour 00-23, minute 00-59.
bool isValidStamp(std::string_view text);
// Exactly eight decimal digits.
bool isValidLockNo(std::string_view text);
bool isValidHotelId(std::int64_t id);
// The hotel identifier as the station reads it back from characters 9-14:
// bits 16-23 and the low 14 bits. Two identifiers are one hotel when these agree.
std::uint32_t recoveredHotel(std::uint32_t id);

// Card type character "0"-"9", "A"-"F", and the type's name in words.
char cardTypeChar(std::uint8_t type);
std::string_view cardTypeName(std::uint8_t type);

struct Card
{
    std::uint8_t type = kCardTypeBlank;
    std::uint32_t hotel = 0; // as written, 24 bits
    std::uint8_t dai = 0;
    bool deadbolt = false;
    bool issueFlag = false;
    std::uint32_t serial = kBlankSerial;
    std::string from = "0000000000";
    std::string until = "0000000000";
    std::uint32_t fixedId = 0;
    std::string lockNo = "00000000";
    LostCardId lostCard{};

    bool operator==(const Card &) const = default;
};

Card blankCard(std::uint32_t fixedId);
// 128 upper-case hex characters. The card's digit fields must hold digits.
std::string encodeCard(const Card &card);
// Nothing unless the text is a card string of this layout with a good check
// value and fields that fit the card's type.
std::optional<Card> decodeCard(std::string_view text);
// What ReadCard answers when no card lies on the encoder: 128 zeros.
std::string noCardText();
// Whether a card may be rewritten or erased for hotel `hotelId`: blank, or
// written for the same hotel as recovered.
bool belongsToOrBlank(const Card &card, std::uint32_t hotelId);

struct OpenRecord
{
    std::uint8_t type = 0;
    std::uint8_t year = 0; // 00-99
    std::uint8_t month = 1;
    std::uint8_t day = 1;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint16_t door = 0; // 0-7FF

    bool operator==(const OpenRecord &) const = default;
};

// A record from its parts: type 0-15, "YYMMDDhhmmss" of a real date and
// time, door 0-7FF. Nothing when any part is out of range.
std::optional<OpenRecord> makeRecord(std::uint8_t type, std::string_view stamp, std::uint16_t door);
std::string encodeRecord(const OpenRecord &record);
std::optional<OpenRecord> decodeRecord(std::string_view text);
// Type character, "YYMMDDhhmmss", door as three hex digits: 16 characters.
std::string recordText(const OpenRecord &record);
// The dump ReadRecord answers; the records oldest first, at most kMaxRecords used.
std::string recordDump(std::span<const OpenRecord> records, std::uint8_t encoderType);

} // namespace kelrin
