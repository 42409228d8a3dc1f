// The pure card codec: known answers, boundaries, and the check values
// catching every single-character change.
#include "codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelrin;

namespace {

// 1-based characters first..last of a text, as the station counts them.
std::string chars(const std::string &text, std::size_t first, std::size_t last)
{
    return text.substr(first - 1, last - first + 1);
}

Card sampleGuest()
{
    Card card = blankCard(0x0A1B2C3D);
    card.type = kCardTypeGuest;
    card.hotel = 508317;
    card.dai = 7;
    card.deadbolt = true;
    card.serial = 0x2A;
    card.from = "2512071430";
    card.until = "2612091200";
    card.lockNo = "01020399";
    return card;
}

// A card string with byte `at` replaced and the check value made good again,
// as a forger who knows the CRC would make it: the layout checks must still
// refuse it.
std::string forged(const std::string &hex, std::size_t at, std::uint8_t value)
{
    CardBlock block{};
    EXPECT_TRUE(fromHex(hex, block));
    block[at] = value;
    const std::uint16_t crc = crc16(std::span(block).first(62));
    block[62] = static_cast<std::uint8_t>(crc >> 8);
    block[63] = static_cast<std::uint8_t>(crc & 0xFF);
    return toHex(block);
}

char otherHexDigit(char c)
{
    return c == '0' ? '1' : '0';
}

} // namespace

TEST(Crc16, KnownAnswers)
{
    const std::string check = "123456789";
    EXPECT_EQ(crc16({reinterpret_cast<const std::uint8_t *>(check.data()), check.size()}), 0x29B1);
    EXPECT_EQ(crc16({}), 0xFFFF);
}

TEST(Hex, DecodesBothCasesAndRefusesAnythingElse)
{
    std::array<std::uint8_t, 2> out{};
    EXPECT_TRUE(fromHex("aBfF", out));
    EXPECT_EQ(out, (std::array<std::uint8_t, 2>{0xAB, 0xFF}));
    for (const char *bad : {"ABF", "ABFFF", "ABFG", " ABF", "AB-F", ""})
        EXPECT_FALSE(fromHex(bad, out)) << bad;
    EXPECT_EQ(toHex(out), "ABFF");
}

TEST(Stamp, AcceptsRealDatesAndTimesOnly)
{
    const struct
    {
        const char *text;
        bool valid;
    } cases[] = {
        {"2512071430", true},  {"0001010000", true},   {"9912312359", true},
        {"2402291200", true},  // 2024 is a leap year
        {"2302291200", false}, // 2023 is not
        {"2504310000", false}, // April has 30 days
        {"2500010000", false}, {"2513010000", false},  {"2512000000", false},
        {"2512320000", false}, {"2512072400", false},  {"2512071460", false},
        {"251207143", false},  {"25120714300", false}, {"25120714a0", false},
        {"2512 71430", false}, {"-512071430", false},  {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isValidStamp(c.text), c.valid) << c.text;
}

TEST(LockNo, EightDigitsExactly)
{
    const struct
    {
        const char *text;
        bool valid;
    } cases[] = {{"01020399", true},  {"00000000", true},   {"99999999", true},
                 {"0102039", false},  {"010203990", false}, {"0102039A", false},
                 {"+1020399", false}, {"0102 399", false},  {"", false}};
    for (const auto &c : cases)
        EXPECT_EQ(isValidLockNo(c.text), c.valid) << c.text;
}

TEST(Hotel, RecoveredAsTheStationReadsIt)
{
    EXPECT_EQ(recoveredHotel(508317), 459165u); // 0x07C19D: the top two low bits drop
    EXPECT_EQ(recoveredHotel(459165), 459165u);
    EXPECT_EQ(recoveredHotel(0xFFFFFF), 0xFF3FFFu);
    EXPECT_EQ(recoveredHotel(0x00C000), 0u);
    EXPECT_TRUE(isValidHotelId(0));
    EXPECT_TRUE(isValidHotelId(0xFFFFFF));
    EXPECT_FALSE(isValidHotelId(0x1000000));
    EXPECT_FALSE(isValidHotelId(-1));
}

TEST(Card, GuestRoundTripAtTheStationsPositions)
{
    const Card card = sampleGuest();
    const std::string hex = encodeCard(card);
    ASSERT_EQ(hex.size(), kCardHexLength);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(chars(hex, 5, 6), "01");
    EXPECT_EQ(chars(hex, 7, 8), "06");
    EXPECT_EQ(std::stoul(chars(hex, 9, 10), nullptr, 16) * 65536 +
                  std::stoul(chars(hex, 11, 14), nullptr, 16) % 16384,
              459165u);
    EXPECT_EQ(chars(hex, 25, 32), "0000002A");
    EXPECT_EQ(chars(hex, 33, 42), "2512071430");
    EXPECT_EQ(chars(hex, 43, 52), "2612091200");
    EXPECT_EQ(chars(hex, 57, 64), "0A1B2C3D");
    EXPECT_EQ(chars(hex, 65, 72), "01020399");
    EXPECT_EQ(decodeCard(hex), card);

    std::string lower = hex;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(decodeCard(lower), card);
}

TEST(Card, BlankAndLostCardNoticeRoundTrip)
{
    const std::string blank = encodeCard(blankCard(0xCAFEF00D));
    EXPECT_EQ(chars(blank, 5, 8), "010F");
    EXPECT_EQ(chars(blank, 25, 32), "FFFFFFFF");
    EXPECT_EQ(chars(blank, 57, 64), "CAFEF00D");
    EXPECT_EQ(decodeCard(blank), blankCard(0xCAFEF00D));

    Card notice = blankCard(1);
    notice.type = kCardTypeLimit;
    notice.hotel = 459165;
    notice.serial = 0;
    notice.from = "2512071430";
    notice.lostCard = {0x60, 0x12, 0xD2, 0x91};
    const std::string hex = encodeCard(notice);
    EXPECT_EQ(chars(hex, 73, 80), "6012D291");
    EXPECT_EQ(decodeCard(hex), notice);
}

TEST(Card, EverySingleCharacterChangeIsRefused)
{
    for (const Card &card : {sampleGuest(), blankCard(0x12345678)}) {
        const std::string hex = encodeCard(card);
        for (std::size_t i = 0; i < hex.size(); ++i) {
            std::string changed = hex;
            changed[i] = otherHexDigit(changed[i]);
            EXPECT_FALSE(decodeCard(changed)) << "character " << i + 1;
        }
    }
}

TEST(Card, RefusesWrongLengthsAndNoCard)
{
    const std::string hex = encodeCard(sampleGuest());
    for (const std::string &text : {hex.substr(0, 127), hex + "0", hex + hex, std::string(),
                                    noCardText(), std::string(128, 'F')})
        EXPECT_FALSE(decodeCard(text)) << text;
    EXPECT_NE(chars(noCardText(), 5, 6), "01");
}

TEST(Card, RefusesForgedFieldsThatBreakTheLayout)
{
    const std::string guest = encodeCard(sampleGuest());
    const std::string blank = encodeCard(blankCard(0x12345678));
    const struct
    {
        const char *fault;
        const std::string &card;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes; // offset, new value
    } cases[] = {
        {"layout mark", guest, {{0, 0x4C}}},
        {"layout version", guest, {{1, 0x02}}},
        {"no presence marker", guest, {{2, 0x00}}},
        {"type beyond F", guest, {{3, 0x16}}},
        {"unknown flag", guest, {{8, 0x04}}},
        {"reserved byte", guest, {{10, 0x01}}},
        {"reserved tail", guest, {{61, 0x01}}},
        {"guest with the blank serial", guest, {{12, 0xFF}, {13, 0xFF}, {14, 0xFF}, {15, 0xFF}}},
        {"non-digit in checkout", guest, {{22, 0x1A}}},
        {"checkout month 13", guest, {{22, 0x13}}},
        {"non-digit in lock number", guest, {{33, 0x0F}}},
        {"blank with a hotel", blank, {{4, 0x07}}},
        {"blank with a serial", blank, {{15, 0xFE}}},
        {"blank with a lost card", blank, {{36, 0x60}}},
    };
    for (const auto &c : cases) {
        std::string text = c.card;
        for (const auto &[at, value] : c.bytes)
            text = forged(text, at, value);
        EXPECT_FALSE(decodeCard(text)) << c.fault;
    }
}

TEST(Card, SameHotelOrBlankMayBeRewritten)
{
    Card card = sampleGuest(); // written with 508317
    EXPECT_TRUE(belongsToOrBlank(card, 508317));
    EXPECT_TRUE(belongsToOrBlank(card, 459165));
    EXPECT_FALSE(belongsToOrBlank(card, 459166));
    EXPECT_FALSE(belongsToOrBlank(card, 0x08C19D));
    EXPECT_TRUE(belongsToOrBlank(blankCard(5), 123));
}

TEST(Card, TypeCharactersAndNames)
{
    EXPECT_EQ(cardTypeChar(kCardTypeGuest), '6');
    EXPECT_EQ(cardTypeChar(kCardTypeLimit), '4');
    EXPECT_EQ(cardTypeChar(kCardTypeBlank), 'F');
    EXPECT_EQ(cardTypeName(0xB), "master card");
}

TEST(Record, RoundTripsAtTheBoundaries)
{
    const struct
    {
        std::uint8_t type;
        const char *stamp;
        std::uint16_t door;
        const char *text;
    } cases[] = {
        {0x6, "251207143005", 0x203, "6251207143005203"},
        {0x0, "000101000000", 0x000, "0000101000000000"},
        {0xF, "991231235959", 0x7FF, "F9912312359597FF"},
        {0xB, "240229120000", 0x001, "B240229120000001"},
    };
    for (const auto &c : cases) {
        const auto record = makeRecord(c.type, c.stamp, c.door);
        ASSERT_TRUE(record) << c.text;
        const std::string hex = encodeRecord(*record);
        EXPECT_EQ(hex.size(), kRecordHexLength);
        EXPECT_EQ(decodeRecord(hex), record) << hex;
        EXPECT_EQ(recordText(*record), c.text);
    }
}

TEST(Record, TheStationsExampleDecodes)
{
    const auto record = decodeRecord("6B15458D15EA3941");
    ASSERT_TRUE(record);
    EXPECT_EQ(recordText(*record), "68810201106345EA");
    EXPECT_EQ(encodeRecord(*record), "6B15458D15EA3941");
}

TEST(Record, RefusesImpossibleParts)
{
    const struct
    {
        const char *stamp;
        std::uint16_t door;
    } cases[] = {{"251307143005", 0},  {"230229120000", 0}, {"251207243005", 0},
                 {"251207146005", 0},  {"251207143060", 0}, {"25120714300", 0},
                 {"2512071430050", 0}, {"25120714300a", 0}, {"251207143005", 0x800}};
    for (const auto &c : cases)
        EXPECT_FALSE(makeRecord(6, c.stamp, c.door)) << c.stamp << " door " << c.door;
    EXPECT_FALSE(makeRecord(0x10, "251207143005", 0));
}

TEST(Record, EverySingleCharacterChangeAndJunkIsRefused)
{
    const std::string hex = encodeRecord(*makeRecord(6, "251207143005", 0x203));
    for (std::size_t i = 0; i < hex.size(); ++i) {
        std::string changed = hex;
        changed[i] = otherHexDigit(changed[i]);
        EXPECT_FALSE(decodeRecord(changed)) << "character " << i + 1;
    }
    for (const std::string &junk :
         {std::string(), hex.substr(0, 15), hex + "0", std::string(16, 'F'), std::string(16, '0'),
          std::string("6B15458D15EA394G"), std::string(255, 'A')})
        EXPECT_FALSE(decodeRecord(junk)) << junk;
}

TEST(RecordDump, RecordIAtTheStationsPosition)
{
    for (const std::size_t count : {0u, 1u, 4u, 5u, 223u, 224u, 230u}) {
        std::vector<OpenRecord> records;
        for (std::size_t i = 0; i < count; ++i)
            records.push_back(*makeRecord(static_cast<std::uint8_t>(i % 16), "251207143005",
                                          static_cast<std::uint16_t>(i)));
        const std::string dump = recordDump(records, 1);
        const std::size_t used = std::min<std::size_t>(count, kMaxRecords);
        const std::size_t blocks = (used + 3) / 4;
        ASSERT_EQ(dump.size(), kDumpHeaderLength + kDumpBlockLength * blocks) << count;
        EXPECT_LE(dump.size(), 20000u);
        for (std::size_t i = 0; i < used; ++i) {
            const std::size_t position = 599 + 74 * (i / 4) + 16 * (i % 4);
            EXPECT_EQ(decodeRecord(dump.substr(position - 1, 16)), records[i]) << i;
        }
        for (std::size_t i = used; i < blocks * 4; ++i)
            EXPECT_EQ(dump.substr(599 + 74 * (i / 4) + 16 * (i % 4) - 1, 16), std::string(16, 'F'));
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::string block = dump.substr(kDumpHeaderLength + b * kDumpBlockLength, 74);
            EXPECT_EQ(block.substr(0, 2), "AA");
            EXPECT_EQ(std::stoul(block.substr(2, 2), nullptr, 16), b);
            EXPECT_EQ(std::stoul(block.substr(70, 4), nullptr, 16),
                      crc16({reinterpret_cast<const std::uint8_t *>(block.data()), 70}));
        }
        EXPECT_EQ(std::stoul(dump.substr(8, 4), nullptr, 16), used) << "header record count";
    }
}
