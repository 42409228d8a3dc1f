#include "app/Controls.h"
#include "tests/support/FormFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

struct DeviceForm : FormHarness
{
    DeviceForm()
    {
        create();
        form->show();
        encoder.calls.clear();
    }
};

TEST(EncoderType, RadioButtonsChooseTheTypeThatTheNextDeviceCallPasses)
{
    DeviceForm h;
    h.form->RadioButton3->click();
    EXPECT_EQ(h.form->station().EncoderType, 0);
    EXPECT_TRUE(h.encoder.calls.empty()) << "choosing a type must not touch the port";
    h.form->BitBtn1Click(); // the beep button lies in a disabled group
    h.form->Button1->click();
    h.form->RadioButton4->click();
    EXPECT_EQ(h.form->station().EncoderType, 1);
    h.form->BitBtn12->click();
    ASSERT_EQ(h.encoder.calls.size(), 3u);
    EXPECT_EQ(h.encoder.calls[0].function, "Buzzer");
    EXPECT_EQ(h.encoder.calls[0].args, (Args{"0", "50"}));
    EXPECT_EQ(h.encoder.calls[1].function, "initializeUSB");
    EXPECT_EQ(h.encoder.calls[1].args, (Args{"0"}));
    EXPECT_EQ(h.encoder.calls[2].function, "CloseUSB");
    EXPECT_EQ(h.encoder.calls[2].args, (Args{"1"}));
}

struct OpenCase
{
    const char *name;
    int32_t result;
    const char16_t *message; // nullptr: nothing shown
};

void PrintTo(const OpenCase &c, std::ostream *os)
{
    *os << c.name;
}

class OpenPort : public ::testing::TestWithParam<OpenCase>
{
};

TEST_P(OpenPort, ReportsOnlyAFailureWithItsCode)
{
    const OpenCase &c = GetParam();
    DeviceForm h;
    h.encoder.script("initializeUSB", c.result);
    h.form->Button1->click();
    ASSERT_EQ(h.encoder.callNames(), std::vector<std::string>{"initializeUSB"});
    EXPECT_EQ(h.encoder.calls[0].args, (Args{"1"}));
    const auto shown = h.dialogs.messages();
    if (!c.message) {
        EXPECT_TRUE(shown.isEmpty());
        return;
    }
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QString::fromUtf16(c.message));
    EXPECT_EQ(shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(shown[0].flags, 48);
}

INSTANTIATE_TEST_SUITE_P(Results, OpenPort,
                         ::testing::Values(OpenCase{"opened", 0, nullptr},
                                           OpenCase{"minus_three", -3, u"打开USB失败\n-3"},
                                           OpenCase{"positive", 12, u"打开USB失败\n12"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SilentDeviceCalls, CloseAndBeepShowNothingWhateverTheResult)
{
    DeviceForm h;
    h.encoder.script("CloseUSB", -7);
    h.encoder.script("Buzzer", -7);
    h.form->BitBtn12->click();
    h.form->BitBtn1Click();
    EXPECT_EQ(h.encoder.callNames(), (std::vector<std::string>{"CloseUSB", "Buzzer"}));
    EXPECT_EQ(h.encoder.calls[1].args, (Args{"1", "50"}));
    EXPECT_TRUE(h.dialogs.shown.isEmpty());
}

struct VersionCase
{
    const char *name;
    int32_t result;
    std::string buffer;
    bool terminate;
    std::u16string panel1;
    std::u16string message; // empty: nothing shown
};

void PrintTo(const VersionCase &c, std::ostream *os)
{
    *os << c.name;
}

class LibraryVersion : public ::testing::TestWithParam<VersionCase>
{
};

TEST_P(LibraryVersion, WritesBothPanelsAndShowsTheTextOnlyWhenValid)
{
    const VersionCase &c = GetParam();
    DeviceForm h;
    h.encoder.script("GetDLLVersion", c.result, c.buffer, c.terminate);
    h.form->BitBtn6->click();
    EXPECT_EQ(h.form->StatusBar1->panel(0)->text(), QString::number(c.result));
    EXPECT_EQ(h.form->StatusBar1->panel(1)->text(), QString::fromStdU16String(c.panel1));
    const auto shown = h.dialogs.messages();
    if (c.message.empty()) {
        EXPECT_TRUE(shown.isEmpty());
        return;
    }
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QString::fromStdU16String(c.message));
    EXPECT_EQ(shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(shown[0].flags, 64);
}

const std::string k129(129, 'V');
const std::u16string k129u(129, u'V');

INSTANTIATE_TEST_SUITE_P(
    Results, LibraryVersion,
    ::testing::Values(
        VersionCase{"valid", 0, "Kelrin 2.1", true, u"Kelrin 2.1", u"DLL版本号：Kelrin 2.1"},
        VersionCase{"failed", -2, "partial", true, u"partial", u""},
        VersionCase{"failed_nothing_written", 3, "", false, u"", u""},
        VersionCase{"chinese_text", 0,
                    "\xB0\xE6\xB1\xBE"
                    "1.0",
                    true, u"版本1.0", u"DLL版本号：版本1.0"},
        VersionCase{"full_buffer_without_nul", 0, k129, true, k129u, u"DLL版本号：" + k129u}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RestoreDefaults, ResetsCardNumberLockNumberAndGenerationOnly)
{
    DeviceForm h;
    TForm1 &f = *h.form;
    f.edt_CardNo->setText("7");
    f.edt_LockNo->setText("09090909");
    f.edt_Dai->setText("3");
    f.edt_coID->setText("4711");
    f.Edit1->setText("2612241200");
    f.RadioButton2->setChecked(true);
    f.BitBtn4->click();
    EXPECT_EQ(f.edt_CardNo->text(), QStringLiteral("0"));
    EXPECT_EQ(f.edt_LockNo->text(), QStringLiteral("01020399"));
    EXPECT_EQ(f.edt_Dai->text(), QStringLiteral("0"));
    EXPECT_EQ(f.edt_coID->text(), QStringLiteral("4711"));
    EXPECT_EQ(f.Edit1->text(), QStringLiteral("2612241200"));
    EXPECT_TRUE(f.RadioButton2->isChecked());
    EXPECT_TRUE(h.encoder.calls.empty());
}

} // namespace
