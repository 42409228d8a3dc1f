#include "tests/support/FormFixture.h"

#include <gtest/gtest.h>

namespace {

struct PresenceCase
{
    const char *name;
    int32_t result;
    std::string card;
    bool present;
    const char16_t *message; // nullptr: nothing shown
    int flags;
};

void PrintTo(const PresenceCase &c, std::ostream *os)
{
    *os << c.name;
}

class CardPresence : public ::testing::TestWithParam<PresenceCase>
{
};

TEST_P(CardPresence, DecidesAndTellsTheOperator)
{
    const PresenceCase &c = GetParam();
    FormHarness h;
    h.create();
    h.encoder.calls.clear();
    h.encoder.script("ReadCard", c.result, c.card);

    EXPECT_EQ(TForm1TestAccess::CheckCardPresent(*h.form), c.present);

    ASSERT_EQ(h.encoder.calls.size(), 1u);
    EXPECT_EQ(h.encoder.calls[0].function, "ReadCard");
    EXPECT_EQ(h.encoder.calls[0].args[0], "1");
    const auto shown = h.dialogs.messages();
    if (!c.message) {
        EXPECT_TRUE(shown.isEmpty());
    } else {
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, QString::fromUtf16(c.message));
        EXPECT_EQ(shown[0].caption, QStringLiteral("提示"));
        EXPECT_EQ(shown[0].flags, c.flags);
        EXPECT_TRUE(shown[0].waitCursor) << "the wait cursor must stay up while the message shows";
    }
    EXPECT_EQ(h.dialogs.waitCursorShows, 1);
    EXPECT_EQ(h.dialogs.waitCursorDepth, 0);
}

const std::string kCard = "000001000000000000000000FFFFFFFF";

INSTANTIATE_TEST_SUITE_P(
    Reads, CardPresence,
    ::testing::Values(
        PresenceCase{"card_present", 0, kCard, true, nullptr, 0},
        PresenceCase{"read_failed_despite_marker", -3, kCard, false, u"读卡失败\n-3", 16},
        PresenceCase{"read_failed_positive_code", 7, "", false, u"读卡失败\n7", 16},
        PresenceCase{"no_card_marker", 0, "000000000000", false,
                     u"发卡器的感应区无卡\n000000000000", 48},
        PresenceCase{"empty_string", 0, "", false, u"发卡器的感应区无卡\n", 48},
        PresenceCase{"five_characters", 0, "00000", false, u"发卡器的感应区无卡\n00000", 48},
        PresenceCase{"marker_at_four_five", 0, "00010000", false, u"发卡器的感应区无卡\n00010000",
                     48},
        PresenceCase{"exactly_six_ending_01", 0, "ABCD01", true, nullptr, 0},
        PresenceCase{"six_ending_10", 0, "ABCD10", false, u"发卡器的感应区无卡\nABCD10", 48},
        PresenceCase{"full_129_no_nul", 0,
                     "0000"
                     "01" +
                         std::string(123, 'A'),
                     true, nullptr, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CardPresence, FillsCardDataBufferAndKeepsItAfterALaterFailedRead)
{
    FormHarness h;
    h.create();
    const std::string full = "0000"
                             "01" +
                             std::string(123, 'C'); // 129 characters, no NUL
    h.encoder.script("ReadCard", 0, full);
    ASSERT_TRUE(TForm1TestAccess::CheckCardPresent(*h.form));
    EXPECT_EQ(h.form->station().cardData(), QByteArray::fromStdString(full));
    EXPECT_EQ(h.form->station().CardDataBuffer.back(), '\0');

    h.encoder.script("ReadCard", -5, "", false); // a failed read that writes nothing
    EXPECT_FALSE(TForm1TestAccess::CheckCardPresent(*h.form));
    EXPECT_EQ(h.form->station().cardData(), QByteArray::fromStdString(full));
}

TEST(CardPresence, PassesTheEncoderTypeLowByte)
{
    FormHarness h;
    h.create();
    h.encoder.calls.clear();
    h.form->station().EncoderType = 0x100; // low byte 0
    h.encoder.script("ReadCard", 0, kCard);
    TForm1TestAccess::CheckCardPresent(*h.form);
    EXPECT_EQ(h.encoder.calls.at(0).args.at(0), "0");
}

} // namespace
