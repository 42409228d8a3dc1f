#include "app/Controls.h"
#include "encoder/LinkedEncoder.h"
#include "tests/support/FormFixture.h"

#include <QLineEdit>
#include <QPushButton>

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

TEST(StandInReadBack, AGuestCardWrittenByTheStationReadsBackWithItsStay)
{
    StandInForm h;
    h.form->edt_coID->setText(QStringLiteral("508317"));
    h.form->edt_LockNo->setText(QStringLiteral("03040506"));
    h.form->Edit1->setText(QStringLiteral("2612241200"));
    h.form->Button2->click();
    ASSERT_EQ(h.form->StaticText2->text(), QStringLiteral("发卡成功!"))
        << "shown: "
        << (h.dialogs.shown.isEmpty() ? "" : h.dialogs.shown.back().text.toStdString());
    const QString written = h.form->edt_CardData->text();
    // Issuing closed the port; the reads need it open again.
    h.form->Button1->click();

    EXPECT_EQ(h.run(&TForm1::BitBtn7Click), QStringLiteral("客人卡"));
    EXPECT_EQ(h.form->edt_CardData->text(), written);
    EXPECT_EQ(h.run(&TForm1::BitBtn8Click), QStringLiteral("锁号:\n03040506"));
    EXPECT_EQ(h.run(&TForm1::BitBtn9Click), QStringLiteral("离店时间:\n2612241200"));
    EXPECT_EQ(h.run(&TForm1::BitBtn3Click).section(u'\r', 0, 0),
              QStringLiteral("卡的流水号：00000000"));

    // 508317 is 07C19D; the card gives back bits 16-23 and the low 14 bits,
    // and the library takes that for the same hotel.
    EXPECT_EQ(h.run(&TForm1::Button3Click), QString());
    EXPECT_EQ(h.form->edt_coID->text(), QString::number(7 * 65536 + 0x019D));
    EXPECT_EQ(h.run(&TForm1::BitBtn8Click), QStringLiteral("锁号:\n03040506"));
    EXPECT_EQ(h.form->station().LastResult, KELRIN_OK);
}

} // namespace
