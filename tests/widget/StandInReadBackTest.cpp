#include "encoder/LinkedEncoder.h"
#include "tests/support/FormFixture.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

// The window over the stand-in library, on a fresh simulated device of its
// own: attached, a blank card on it.
struct StandInForm
{
    QTemporaryDir device;
    LinkedEncoder encoder;
    ScriptedDialogs dialogs;
    FixedClock clock;
    QTemporaryDir programDir;
    std::unique_ptr<TForm1> form;

    StandInForm()
    {
        qputenv("KELRIN_SIM_STATE", device.filePath(QStringLiteral("device")).toLocal8Bit());
        form =
            std::make_unique<TForm1>(TForm1::Services{encoder, dialogs, clock, programDir.path()});
    }
    ~StandInForm()
    {
        encoder.CloseUSB(KELRIN_ENCODER_KELUSB);
        qunsetenv("KELRIN_SIM_STATE");
    }
    // The text of the message the handler showed last.
    QString run(void (TForm1::*handler)())
    {
        const qsizetype before = dialogs.shown.size();
        TForm1TestAccess::run(*form, [this, handler] { (form.get()->*handler)(); });
        return dialogs.shown.size() > before ? dialogs.shown.back().text : QString();
    }
};

TEST(StandInReadBack, AGuestCardReadsBackWithItsTypeLockNumberAndCheckoutTime)
{
    StandInForm h;
    char written[KELRIN_CARD_HEX_SIZE] = {};
    ASSERT_EQ(h.encoder.GuestCard(KELRIN_ENCODER_KELUSB, 508317, 42, 0, 1, 1, "2603140905",
                                  "2612241200", "03040506", written),
              KELRIN_OK);
    h.form->edt_coID->setText(QStringLiteral("508317"));

    EXPECT_EQ(h.run(&TForm1::BitBtn7Click), QStringLiteral("客人卡"));
    EXPECT_EQ(h.form->edt_CardData->text(), QString::fromLatin1(written));
    EXPECT_EQ(h.run(&TForm1::BitBtn8Click), QStringLiteral("锁号:\n03040506"));
    EXPECT_EQ(h.run(&TForm1::BitBtn9Click), QStringLiteral("离店时间:\n2612241200"));
    EXPECT_EQ(h.run(&TForm1::BitBtn3Click).section(u'\r', 0, 0),
              QStringLiteral("卡的流水号：0000002A"));

    // 508317 is 07C19D; the card gives back bits 16-23 and the low 14 bits,
    // and the library takes that for the same hotel.
    EXPECT_EQ(h.run(&TForm1::Button3Click), QString());
    EXPECT_EQ(h.form->edt_coID->text(), QString::number(7 * 65536 + 0x019D));
    EXPECT_EQ(h.run(&TForm1::BitBtn8Click), QStringLiteral("锁号:\n03040506"));
    EXPECT_EQ(h.form->station().LastResult, KELRIN_OK);
}

} // namespace
