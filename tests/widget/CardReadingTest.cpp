#include "tests/support/FormFixture.h"
#include "tests/support/TableRows.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

using tableRows::PrintTo;

using Handler = void (TForm1::*)();
using Names = std::vector<std::string>;

// A card hex string of 128 characters with a card on the encoder: hotel
// identifier high part at 9-10, low part at 11-14, serial number at 25-32,
// fixed ID at 57-64.
std::string card(const std::string &high = "07", const std::string &low = "C19D",
                 const std::string &serial = "0000002A", const std::string &fixedId = "1A2B3C4D")
{
    return "4B010106" + high + low + std::string(10, '0') + serial + std::string(24, '0') +
           fixedId + std::string(64, '0');
}

// A window whose card reads `cardText`, the calls of its creation forgotten.
struct ReadingForm : FormHarness
{
    explicit ReadingForm(const std::string &cardText = card())
    {
        create();
        encoder.calls.clear();
        encoder.script("ReadCard", 0, cardText);
        form->station().LastResult = 77;
    }
    void run(Handler handler)
    {
        TForm1TestAccess::run(*form, [this, handler] { (form.get()->*handler)(); });
    }
};

struct CardDataCase
{
    const char *name;
    std::string card;
    const char16_t *message;
};

class CardData : public ::testing::TestWithParam<CardDataCase>
{
};

TEST_P(CardData, ShowsTheCardAndItsSerialNumberAndFixedId)
{
    const CardDataCase &c = GetParam();
    ReadingForm h(c.card);
    h.run(&TForm1::BitBtn3Click);
    EXPECT_EQ(h.form->edt_CardData->text(), QString::fromStdString(c.card));
    EXPECT_EQ(h.encoder.callNames(), Names{"ReadCard"});
    expectMessage(h.dialogs, c.message, QStringLiteral("提示"), 64);
    EXPECT_EQ(h.form->station().LastResult, 77);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardData,
    ::testing::Values(CardDataCase{"whole_card", card(),
                                   u"卡的流水号：0000002A\r卡的固有ID号：1A2B3C4D"},
                      CardDataCase{"cut_inside_fixed_id", card().substr(0, 60),
                                   u"卡的流水号：0000002A\r卡的固有ID号：1A2B"},
                      CardDataCase{"cut_inside_serial", card().substr(0, 28),
                                   u"卡的流水号：0000\r卡的固有ID号："}),
    tableRows::rowName);

struct HotelCase
{
    const char *name;
    std::string card;
    const char16_t *coID;    // edt_coID afterwards; it starts as "508317"
    const char16_t *message; // nullptr: nothing shown
    const char16_t *caption;
    int flags;
};

class HotelFromCard : public ::testing::TestWithParam<HotelCase>
{
};

TEST_P(HotelFromCard, TakesOverTheIdentifierOrLeavesTheFieldAsItWas)
{
    const HotelCase &c = GetParam();
    ReadingForm h(c.card);
    h.form->edt_CardData->setText(QStringLiteral("before"));
    h.run(&TForm1::Button3Click);
    EXPECT_EQ(h.form->edt_coID->text(), QString::fromUtf16(c.coID));
    EXPECT_EQ(h.form->edt_CardData->text(), QStringLiteral("before"));
    EXPECT_EQ(h.encoder.callNames(), Names{"ReadCard"});
    expectMessage(h.dialogs, c.message, QString::fromUtf16(c.caption), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, HotelFromCard,
    ::testing::Values(
        HotelCase{"low_part_reduced", card("01", "4000"), u"65536", nullptr, nullptr, 0},
        HotelCase{"lower_case_serial_is_no_blank_card", card("00", "3fff", "ffffffff"), u"16383",
                  nullptr, nullptr, 0},
        HotelCase{"bad_low_part_goes_to_the_general_error_display", card("00", "4G00"), u"508317",
                  u"'$4G00' is not a valid integer value.", u"制客人卡系统", 16},
        // Mended: a blank card keeps the hand-off's identifier in the field.
        HotelCase{"blank_card_keeps_the_identifier", card("00", "0000", "FFFFFFFF"), u"508317",
                  u"此卡是空白卡，请换一张能开门的卡", u"提示", 48}),
    tableRows::rowName);

struct TypeCase
{
    const char *name;
    int32_t result;
    std::string type;        // what the library writes into the type buffer
    const char16_t *message; // nullptr: nothing shown
    int flags;
};

class CardType : public ::testing::TestWithParam<TypeCase>
{
};

TEST_P(CardType, ShowsTheTypeInWordsOrTheFailureCode)
{
    const TypeCase &c = GetParam();
    ReadingForm h;
    h.encoder.script("GetCardTypeByCardDataStr", c.result, c.type);
    h.run(&TForm1::BitBtn7Click);
    EXPECT_EQ(h.form->edt_CardData->text(), QString::fromStdString(card()));
    EXPECT_EQ(h.form->station().LastResult, c.result);
    ASSERT_EQ(h.encoder.callNames(), (Names{"ReadCard", "GetCardTypeByCardDataStr"}));
    EXPECT_EQ(h.encoder.calls[1].args, (Names{card(), "<out>"}));
    expectMessage(h.dialogs, c.message, QStringLiteral("提示"), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CardType,
    ::testing::Values(
        TypeCase{"code_0", 0, "0", u"授权卡", 64}, TypeCase{"code_1", 0, "1", u"记录卡", 64},
        TypeCase{"code_2", 0, "2", u"房号设置卡", 64},
        TypeCase{"code_3", 0, "3", u"时间设置卡", 64},
        TypeCase{"code_4", 0, "4", u"限制卡[挂失卡]", 64},
        TypeCase{"code_5", 0, "5", u"组号设置卡", 64}, TypeCase{"code_6", 0, "6", u"客人卡", 64},
        TypeCase{"code_7", 0, "7", u"退房卡", 64}, TypeCase{"code_8", 0, "8", u"组控卡", 64},
        TypeCase{"code_9", 0, "9", u"未知卡[无此类型]", 64},
        TypeCase{"code_A", 0, "A", u"应急卡", 64}, TypeCase{"code_B", 0, "B", u"总控卡", 64},
        TypeCase{"code_C", 0, "C", u"楼栋卡", 64}, TypeCase{"code_D", 0, "D", u"楼层卡", 64},
        TypeCase{"code_E_as_9", 0, "E", u"未知卡[无此类型]", 64},
        TypeCase{"code_F", 0, "F", u"空白卡", 64},
        TypeCase{"only_the_first_character_counts", 0, "6F", u"客人卡", 64},
        TypeCase{"lower_case_is_silent", 0, "a", nullptr, 0},
        TypeCase{"nul_is_silent", 0, "", nullptr, 0},
        TypeCase{"result_5", 5, "6", u"卡数据串无效：5", 48},
        TypeCase{"result_negative", -2, "", u"卡数据串无效：-2", 48}),
    tableRows::rowName);

struct GuestFieldCase
{
    const char *name;
    Handler handler;
    const char16_t *coIDText;
    std::string coID; // as passed to the library
    int32_t result;
    std::string field;
    bool terminate;
    const char16_t *message; // followed by the card hex string where cardFollows
    bool cardFollows;
    int flags;
};

class GuestField : public ::testing::TestWithParam<GuestFieldCase>
{
};

TEST_P(GuestField, ShowsOneMessageChosenByTheResult)
{
    const GuestFieldCase &c = GetParam();
    ReadingForm h;
    h.form->edt_coID->setText(QString::fromUtf16(c.coIDText));
    const std::string function = c.handler == &TForm1::BitBtn8Click ? "GetGuestLockNoByCardDataStr"
                                                                    : "GetGuestETimeByCardDataStr";
    h.encoder.script(function, c.result, c.field, c.terminate);
    h.run(c.handler);
    EXPECT_EQ(h.form->edt_CardData->text(), QString::fromStdString(card()));
    EXPECT_EQ(h.form->station().LastResult, c.result);
    ASSERT_EQ(h.encoder.callNames(), (Names{"ReadCard", function}));
    EXPECT_EQ(h.encoder.calls[1].args, (Names{c.coID, card(), "<out>"}));
    expectMessage(h.dialogs, c.message, QStringLiteral("提示"), c.flags,
                  c.cardFollows ? QString::fromStdString(card()) : QString());
}

constexpr Handler kLockNo = &TForm1::BitBtn8Click;
constexpr Handler kCheckout = &TForm1::BitBtn9Click;

INSTANTIATE_TEST_SUITE_P(
    Results, GuestField,
    ::testing::Values(GuestFieldCase{"lock_number", kLockNo, u"508317", "508317", 0, "01020399",
                                     true, u"锁号:\n01020399", false, 64},
                      GuestFieldCase{"checkout_time", kCheckout, u"$FF", "255", 0, "2612241200",
                                     true, u"离店时间:\n2612241200", false, 64},
                      GuestFieldCase{"seventeen_characters_without_nul", kLockNo, u" 12", "12", 0,
                                     "0102039901020399X", false, u"锁号:\n0102039901020399X", false,
                                     64},
                      GuestFieldCase{"short_answer_without_nul_in_the_zeroed_buffer", kCheckout,
                                     u"12 ", "0", 0, "2612", false, u"离店时间:\n2612", false, 64},
                      GuestFieldCase{"invalid_card_string", kLockNo, u"", "0", 1, "", true,
                                     u"卡数据串无效\n", true, 48},
                      GuestFieldCase{"other_hotel", kCheckout, u"508317", "508317", 2, "", true,
                                     u"非本酒店卡\n", true, 48},
                      GuestFieldCase{"not_a_guest_card", kLockNo, u"508317", "508317", 3, "", true,
                                     u"不是客人卡\n", true, 48},
                      GuestFieldCase{"minus_one", kCheckout, u"508317", "508317", -1, "", true,
                                     u"未知返回值\n-1\n", true, 48},
                      GuestFieldCase{"four", kLockNo, u"508317", "508317", 4, "", true,
                                     u"未知返回值\n4\n", true, 48}),
    tableRows::rowName);

struct DeclinedCase
{
    const char *name;
    Handler handler;
};

class DeclinedCard : public ::testing::TestWithParam<DeclinedCase>
{
};

TEST_P(DeclinedCard, EndsTheHandlerWithThePresenceCheckMessageOnly)
{
    ReadingForm h(std::string(128, '0'));
    h.form->edt_CardData->setText(QStringLiteral("before"));
    h.run(GetParam().handler);
    EXPECT_EQ(h.encoder.callNames(), Names{"ReadCard"});
    EXPECT_EQ(h.form->station().LastResult, 77);
    EXPECT_EQ(h.form->edt_CardData->text(), QStringLiteral("before"));
    EXPECT_EQ(h.form->edt_coID->text(), QStringLiteral("508317"));
    ASSERT_EQ(h.dialogs.messages().size(), 1);
    EXPECT_TRUE(h.dialogs.messages()[0].text.startsWith(QStringLiteral("发卡器的感应区无卡\n")));
}

INSTANTIATE_TEST_SUITE_P(Handlers, DeclinedCard,
                         ::testing::Values(DeclinedCase{"card_data", &TForm1::BitBtn3Click},
                                           DeclinedCase{"hotel", &TForm1::Button3Click},
                                           DeclinedCase{"card_type", &TForm1::BitBtn7Click},
                                           DeclinedCase{"lock_number", &TForm1::BitBtn8Click},
                                           DeclinedCase{"checkout", &TForm1::BitBtn9Click}),
                         tableRows::rowName);

} // namespace
