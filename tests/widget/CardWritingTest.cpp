#include "app/Controls.h"
#include "tests/support/FormFixture.h"
#include "tests/support/TableRows.h"

#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

using tableRows::PrintTo;
using Trace = std::vector<std::string>;
using Operation = void (TForm1::*)();

const std::string kCard = "000001000000000000000000FFFFFFFF";

// Each call as "Function arg,arg,...", so that a table row reads like the call.
Trace trace(const ScriptedEncoder &encoder)
{
    Trace lines;
    for (const ScriptedEncoder::Call &call : encoder.calls) {
        std::string line = call.function;
        for (std::size_t i = 0; i < call.args.size(); ++i)
            line += (i ? "," : " ") + call.args[i];
        lines.push_back(line);
    }
    return lines;
}

// A window with known fields and a card on the encoder; start-up calls forgotten.
struct WriteForm : FormHarness
{
    WriteForm()
    {
        create();
        setFieldText(form->edt_CardNo, QStringLiteral("7"));
        setFieldText(form->edt_Dai, QStringLiteral("3"));
        setFieldText(form->edt_LockNo, QStringLiteral("01020399"));
        setFieldText(form->Edit1, QStringLiteral("2612241200"));
        setFieldText(form->edt_coID, QStringLiteral("4711"));
        setFieldText(form->edt_CardData, QStringLiteral("before"));
        encoder.calls.clear();
    }
    // Through the window's dispatch, as a click runs it. The card-writing
    // library buttons lie in a disabled group, so they are not clicked.
    void run(Operation operation, int32_t readResult = 0)
    {
        encoder.script("ReadCard", readResult, kCard);
        TForm1 *f = form.get();
        TForm1TestAccess::run(*f, [f, operation] { (f->*operation)(); });
    }
};

struct ArgumentCase
{
    const char *name;
    Operation operation;
    int32_t encoderType;
    bool deadbolt;
    const char16_t *coID;
    QTime clock;
    Trace calls;
};

using CardWriteArguments = ::testing::TestWithParam<ArgumentCase>;

TEST_P(CardWriteArguments, CallsTheLibraryInOrderWithEveryArgument)
{
    const ArgumentCase &c = GetParam();
    WriteForm h;
    h.form->station().EncoderType = c.encoderType;
    (c.deadbolt ? h.form->RadioButton1 : h.form->RadioButton2)->setChecked(true);
    setFieldText(h.form->edt_coID, QString::fromUtf16(c.coID));
    h.clock.time = QDateTime(QDate(2026, 3, 14), c.clock);
    h.run(c.operation);
    EXPECT_EQ(trace(h.encoder), c.calls);
}

const QTime kMorning(9, 5, 59);
const QTime kMidnight(23, 59, 59);
const Operation kGuest = &TForm1::Button2Click;
const Operation kPicker = &TForm1::BitBtn2Click;
const Operation kErase = &TForm1::BitBtn5Click;
const Operation kLost = &TForm1::BitBtn10Click;

INSTANTIATE_TEST_SUITE_P(
    Calls, CardWriteArguments,
    ::testing::Values(ArgumentCase{"guest_kelusb_deadbolt_empty_hotel",
                                   kGuest,
                                   1,
                                   true,
                                   u"",
                                   kMorning,
                                   {"ReadCard 1,<out>",
                                    "GuestCard 1,0,7,3,1,1,2603140905,2612241200,01020399,<out>",
                                    "Buzzer 1,20", "CloseUSB 1"}},
                      ArgumentCase{"guest_driver_no_deadbolt_hex_hotel",
                                   kGuest,
                                   0,
                                   false,
                                   u"$FF",
                                   kMidnight,
                                   {"ReadCard 0,<out>",
                                    "GuestCard 0,255,7,3,0,1,2603142359,2612241200,01020399,<out>",
                                    "CloseUSB 0"}},
                      ArgumentCase{"guest_leading_blank_hotel",
                                   kGuest,
                                   1,
                                   true,
                                   u" 12",
                                   kMorning,
                                   {"ReadCard 1,<out>",
                                    "GuestCard 1,12,7,3,1,1,2603140905,2612241200,01020399,<out>",
                                    "Buzzer 1,20", "CloseUSB 1"}},
                      ArgumentCase{"picker_guest_trailing_blank_hotel",
                                   kPicker,
                                   1,
                                   false,
                                   u"12 ",
                                   kMidnight,
                                   {"ReadCard 1,<out>",
                                    "GuestCard 1,0,7,3,0,1,2603142359,0701241646,01020399,<out>",
                                    "Buzzer 1,20", "CloseUSB 1"}},
                      ArgumentCase{"picker_guest_driver",
                                   kPicker,
                                   0,
                                   true,
                                   u"$FF",
                                   kMorning,
                                   {"ReadCard 0,<out>",
                                    "GuestCard 0,255,7,3,1,1,2603140905,0701241646,01020399,<out>",
                                    "CloseUSB 0"}},
                      ArgumentCase{"erase_kelusb_hex_hotel",
                                   kErase,
                                   1,
                                   true,
                                   u"$FF",
                                   kMorning,
                                   {"ReadCard 1,<out>", "CardErase 1,255,<out>", "Buzzer 1,20"}},
                      ArgumentCase{"erase_driver_trailing_blank_hotel",
                                   kErase,
                                   0,
                                   false,
                                   u"12 ",
                                   kMidnight,
                                   {"ReadCard 0,<out>", "CardErase 0,0,<out>"}},
                      ArgumentCase{"lost_kelusb_leading_blank_hotel",
                                   kLost,
                                   1,
                                   false,
                                   u" 12",
                                   kMorning,
                                   {"ReadCard 1,<out>",
                                    "LimitCard 1,12,7,3,2603140905,6012D291,<out>", "Buzzer 1,20"}},
                      ArgumentCase{
                          "lost_driver_empty_hotel",
                          kLost,
                          0,
                          true,
                          u"",
                          kMidnight,
                          {"ReadCard 0,<out>", "LimitCard 0,0,7,3,2603142359,6012D291,<out>"}}),
    tableRows::rowName);

struct OutcomeCase
{
    const char *name;
    Operation operation;
    const char *write; // the library function the operation writes with
    int32_t readResult;
    int32_t writeResult;
    std::string output;
    bool terminate;
    std::u16string cardData;
    int flags;
    const char16_t *message; // nullptr: nothing shown
    const char16_t *note;    // StaticText2 afterwards
    bool closesPort;
};

using CardWriteOutcome = ::testing::TestWithParam<OutcomeCase>;

TEST_P(CardWriteOutcome, BeepsShowsTheCardAndTellsTheResult)
{
    const OutcomeCase &c = GetParam();
    WriteForm h;
    h.encoder.script(c.write, c.writeResult, c.output, c.terminate);
    Trace callsWhileMessageShows;
    h.dialogs.whileMessageShows = [&] { callsWhileMessageShows = h.encoder.callNames(); };
    const QDateTime picker = h.form->DateTimePicker1->dateTime();
    h.run(c.operation, c.readResult);

    Trace expected{"ReadCard"};
    if (c.readResult == 0)
        expected.insert(expected.end(), {c.write, "Buzzer"});
    if (c.closesPort)
        expected.push_back("CloseUSB");
    EXPECT_EQ(h.encoder.callNames(), expected);
    expectMessage(h.dialogs, c.message, QStringLiteral("提示"), c.flags);
    EXPECT_EQ(h.form->edt_CardData->text(), QString::fromStdU16String(c.cardData));
    EXPECT_EQ(h.form->StaticText2->text(), QString::fromUtf16(c.note));
    EXPECT_EQ(h.form->station().cardData(), QByteArray::fromStdString(kCard))
        << "a write must not change the card as read";
    EXPECT_EQ(std::count(callsWhileMessageShows.begin(), callsWhileMessageShows.end(), "CloseUSB"),
              0)
        << "the port closes once the message is closed";
    if (c.readResult != 0) {
        EXPECT_EQ(h.form->DateTimePicker1->dateTime(), picker) << "nothing changes after a decline";
    }
}

const std::string kFull(KELRIN_CARD_HEX_SIZE, 'E');
const std::u16string kFullShown(KELRIN_CARD_HEX_SIZE, u'E');
const char16_t *const kLostWritten = u"调用挂失卡函数成功\n本例子挂失卡号为: 6012D291";

INSTANTIATE_TEST_SUITE_P(
    Results, CardWriteOutcome,
    ::testing::Values(OutcomeCase{"guest_written", kGuest, "GuestCard", 0, 0, "0A0B01", true,
                                  u"0A0B01", 0, nullptr, u"发卡成功!", true},
                      OutcomeCase{"guest_failed", kGuest, "GuestCard", 0, -4, "partial", true,
                                  u"partial", 48, u"调用发卡函数失败\n-4", u"", true},
                      OutcomeCase{"guest_failed_writing_nothing", kGuest, "GuestCard", 0, 9, "",
                                  false, u"", 48, u"调用发卡函数失败\n9", u"", true},
                      OutcomeCase{"guest_full_buffer_no_nul", kGuest, "GuestCard", 0, 0, kFull,
                                  false, kFullShown, 0, nullptr, u"发卡成功!", true},
                      OutcomeCase{"guest_declined", kGuest, "GuestCard", -3, 0, "", true, u"before",
                                  16, u"读卡失败\n-3", u"", false},
                      OutcomeCase{"picker_written", kPicker, "GuestCard", 0, 0, "0A0B01", true,
                                  u"0A0B01", 64, u"调用发卡函数成功", u"", true},
                      OutcomeCase{"picker_failed", kPicker, "GuestCard", 0, 1, "", true, u"", 48,
                                  u"调用发卡函数失败\n1", u"", true},
                      OutcomeCase{"picker_declined", kPicker, "GuestCard", 5, 0, "", true,
                                  u"before", 16, u"读卡失败\n5", u"", false},
                      OutcomeCase{"erase_written", kErase, "CardErase", 0, 0, "0A0B00", true,
                                  u"0A0B00", 64, u"注销成功", u"", false},
                      OutcomeCase{"erase_failed", kErase, "CardErase", 0, -2, "", true, u"", 48,
                                  u"注销失败\n-2", u"", false},
                      OutcomeCase{"erase_full_buffer_no_nul", kErase, "CardErase", 0, 0, kFull,
                                  false, kFullShown, 64, u"注销成功", u"", false},
                      OutcomeCase{"erase_declined", kErase, "CardErase", -3, 0, "", true, u"before",
                                  16, u"读卡失败\n-3", u"", false},
                      OutcomeCase{"lost_written", kLost, "LimitCard", 0, 0, "0A0B04", true,
                                  u"0A0B04", 64, kLostWritten, u"", false},
                      OutcomeCase{"lost_failed", kLost, "LimitCard", 0, 5, "x", true, u"x", 48,
                                  u"调用挂失卡函数失败\n5", u"", false},
                      OutcomeCase{"lost_full_buffer_no_nul", kLost, "LimitCard", 0, 0, kFull, false,
                                  kFullShown, 64, kLostWritten, u"", false},
                      OutcomeCase{"lost_declined", kLost, "LimitCard", -3, 0, "", true, u"before",
                                  16, u"读卡失败\n-3", u"", false}),
    tableRows::rowName);

struct LaterAttemptCase
{
    const char *name;
    Operation operation;
    int32_t readResult;
    int32_t writeResult;
};

using SuccessNote = ::testing::TestWithParam<LaterAttemptCase>;

TEST_P(SuccessNote, NeverOutlivesALaterAttempt)
{
    const LaterAttemptCase &c = GetParam();
    WriteForm h;
    h.run(kGuest);
    ASSERT_EQ(h.form->StaticText2->text(), QStringLiteral("发卡成功!"));
    h.encoder.script("GuestCard", c.writeResult);
    h.run(c.operation, c.readResult);
    EXPECT_EQ(h.form->StaticText2->text(), QString());
}

INSTANTIATE_TEST_SUITE_P(Attempts, SuccessNote,
                         ::testing::Values(LaterAttemptCase{"failed_write", kGuest, 0, -4},
                                           LaterAttemptCase{"declined_check", kGuest, -3, 0},
                                           LaterAttemptCase{"picker_success", kPicker, 0, 0}),
                         tableRows::rowName);

TEST(PickerCheckout, IsTheFirstPickersDateWithTheSecondsTimeAndStaysInTheFirst)
{
    WriteForm h;
    h.form->DateTimePicker1->setDateTime(QDateTime(QDate(2027, 12, 31), QTime(0, 0)));
    h.form->DateTimePicker2->setDateTime(QDateTime(QDate(2001, 1, 1), QTime(7, 8, 9)));
    h.run(kPicker);
    ASSERT_EQ(h.encoder.calls.size(), 4u);
    EXPECT_EQ(h.encoder.calls[1].args.at(7), "2712310708");
    EXPECT_EQ(h.form->DateTimePicker1->dateTime(), QDateTime(QDate(2027, 12, 31), QTime(7, 8, 9)));
}

TEST(GuestCardButton, PressedOnTheShownWindowWritesTheHandedOverStay)
{
    FormHarness h;
    QFile file(QDir(h.programDir.path()).filePath("hotel.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[MAIN]\r\nleavedate=270105\r\nleavetime=1130\r\nroomno=03040506\r\n"
               "coid=508317\r\n");
    file.close();
    h.create();
    h.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.form.get()));
    h.encoder.calls.clear();
    h.encoder.script("ReadCard", 0, kCard);
    h.encoder.script("GuestCard", 0, "0A0B01");

    QTest::mouseClick(h.form->Button2, Qt::LeftButton);

    EXPECT_EQ(trace(h.encoder),
              (Trace{"ReadCard 1,<out>",
                     "GuestCard 1,508317,0,0,1,1,2603140905,2701051130,03040506,<out>",
                     "Buzzer 1,20", "CloseUSB 1"}));
    EXPECT_EQ(h.form->StaticText2->text(), QStringLiteral("发卡成功!"));
    EXPECT_EQ(h.form->edt_CardData->text(), QStringLiteral("0A0B01"));
    EXPECT_TRUE(h.dialogs.shown.isEmpty());
}

} // namespace
