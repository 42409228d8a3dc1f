#include "cards/read/ReadingText.h"
#include "app/StationError.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordDump.h"
#include "tests/support/TableRows.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tableRows::PrintTo;

TEST(CardPiece, CutsByPositionAndGivesWhatIsThereWhenShort)
{
    const QByteArray text = "ABCDEFGH";
    EXPECT_EQ(cardPiece(text, 1, 2), QByteArray("AB"));
    EXPECT_EQ(cardPiece(text, 5, 4), QByteArray("EFGH"));
    EXPECT_EQ(cardPiece(text, 7, 4), QByteArray("GH"));
    EXPECT_EQ(cardPiece(text, 9, 4), QByteArray());
    EXPECT_EQ(cardPiece(text, 40, 8), QByteArray());
    EXPECT_EQ(cardPiece(QByteArray(), 1, 8), QByteArray());
}

struct HotelCase
{
    const char *name;
    std::string card;  // from position 1
    int32_t coID;      // when no error
    const char *error; // the converted text named in the error, or nullptr
};

class HotelIdFromCard : public ::testing::TestWithParam<HotelCase>
{
};

TEST_P(HotelIdFromCard, ComputesOrNamesTheBadPiece)
{
    const HotelCase &c = GetParam();
    const QByteArray card = QByteArray::fromStdString(c.card);
    if (!c.error) {
        EXPECT_EQ(hotelIdFromCard(card), c.coID);
        return;
    }
    try {
        hotelIdFromCard(card);
        ADD_FAILURE() << "no error";
    } catch (const StationError &error) {
        EXPECT_EQ(error.text(),
                  QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(c.error)));
    }
}

// Positions 1-8 lead, 9-10 the high part, 11-14 the low part.
const std::string kLead = "4B010106";

INSTANTIATE_TEST_SUITE_P(
    Pieces, HotelIdFromCard,
    ::testing::Values(HotelCase{"low_16384_reduces_to_0", kLead + "01" + "4000" + "00", 65536,
                                nullptr},
                      HotelCase{"zero", kLead + "00" + "4000", 0, nullptr},
                      HotelCase{"low_14_bits_full", kLead + "00" + "3FFF", 16383, nullptr},
                      HotelCase{"low_50000", kLead + "00" + "C350", 848, nullptr},
                      HotelCase{"largest", kLead + "FF" + "FFFF", 16728063, nullptr},
                      HotelCase{"lower_case", kLead + "0a" + "4e20", 10 * 65536 + 3616, nullptr},
                      HotelCase{"low_part_cut_short", kLead + "0012", 18, nullptr},
                      HotelCase{"bad_low", kLead + "00" + "4G00", 0, "$4G00"},
                      HotelCase{"both_bad_names_low", kLead + "GG" + "4G00", 0, "$4G00"},
                      HotelCase{"bad_high", kLead + "G1" + "4000", 0, "$G1"},
                      HotelCase{"no_low_part", kLead + "01", 0, "$"},
                      HotelCase{"blank_inside_low", kLead + "00" + "4 00", 0, "$4 00"}),
    tableRows::rowName);

TEST(RecordPreset, CutsRecordsFromTheirBlocksAndNoFurtherThanTheDumpGoes)
{
    const QByteArray dump = sampleRecordDump();
    EXPECT_EQ(recordPreset(dump, 8), dump.mid(746, 16));
    EXPECT_EQ(recordPreset(dump, 222), dump.mid(4700, 16));
    EXPECT_EQ(recordPreset(dump.left(605), 0), dump.mid(598, 7));
    EXPECT_EQ(recordPreset(dump.left(614), 1), QByteArray());
    EXPECT_EQ(recordPreset(dump.left(598), 0), QByteArray());
    EXPECT_EQ(recordPreset(QByteArray(), 223), QByteArray());
}

struct MessageCase
{
    const char *name;
    std::string decoded; // bytes the library left, at most 17, the rest NUL
    const char16_t *message;
};

class DecodedRecordMessage : public ::testing::TestWithParam<MessageCase>
{
};

TEST_P(DecodedRecordMessage, ShowsTheFieldsUpToTheFirstNul)
{
    const MessageCase &c = GetParam();
    DecodedRecord decoded{};
    std::copy_n(c.decoded.begin(), std::min(c.decoded.size(), decoded.size()), decoded.begin());
    EXPECT_EQ(decodedRecordMessage(decoded), QString::fromUtf16(c.message));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodedRecordMessage,
    ::testing::Values(MessageCase{"seventeen_without_nul", "B99123123595907FF",
                                  u"解析出来的字符串：B99123123595907FF\n具体意思为：\n卡类型：B\n"
                                  u"时间：2099/12/31 23:59:59"},
                      MessageCase{"two_characters", "62",
                                  u"解析出来的字符串：62\n具体意思为：\n卡类型：6\n时间：202"},
                      MessageCase{"empty", "", u"解析出来的字符串：\n具体意思为：\n卡类型："}),
    tableRows::rowName);

} // namespace
