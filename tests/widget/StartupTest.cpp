#include "app/StationError.h"
#include "tests/support/FormFixture.h"

#include <gtest/gtest.h>

namespace {

TEST(Startup, OpensTheEncoderOnceWithTypeOneAndShowsNothingOnFailure)
{
    FormHarness h;
    h.encoder.script("initializeUSB", -3);
    h.create();
    ASSERT_EQ(h.encoder.calls.size(), 1u);
    EXPECT_EQ(h.encoder.calls[0].function, "initializeUSB");
    EXPECT_EQ(h.encoder.calls[0].args, std::vector<std::string>{"1"});
    EXPECT_TRUE(h.dialogs.shown.isEmpty());
    EXPECT_EQ(h.form->station().EncoderType, 1);
}

TEST(Startup, ShowSetsEncoderTypeOneAgainAndCallsNoLibraryFunction)
{
    FormHarness h;
    h.create();
    h.form->station().EncoderType = 0; // as if a radio button had been pressed before showing
    h.form->show();
    EXPECT_EQ(h.form->station().EncoderType, 1);
    EXPECT_EQ(h.encoder.callNames(), std::vector<std::string>{"initializeUSB"});
    EXPECT_EQ(h.form->windowTitle(), QStringLiteral("制客人卡"));
}

TEST(Startup, StationStateStartsZeroFilled)
{
    FormHarness h;
    h.create();
    EXPECT_EQ(h.form->station().LastResult, 0);
    for (char c : h.form->station().CardDataBuffer)
        EXPECT_EQ(c, '\0');
}

TEST(Startup, ExitClosesTheWindowWithoutClosingThePort)
{
    FormHarness h;
    h.create();
    h.form->show();
    h.form->cmdExitClick();
    EXPECT_FALSE(h.form->isVisible());
    EXPECT_EQ(h.encoder.callNames(), std::vector<std::string>{"initializeUSB"});
}

TEST(GeneralErrorDisplay, ShowsTheEscapedErrorWithAFullStopAndGoesOn)
{
    FormHarness h;
    h.create();
    TForm1TestAccess::run(*h.form, [] {
        throw StationError(QStringLiteral("'$4G00' is not a valid integer value"));
    });
    TForm1TestAccess::run(*h.form, [] { throw std::runtime_error("disk on fire!"); });
    TForm1TestAccess::run(*h.form, [] { throw 42; });
    const auto shown = h.dialogs.messages();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].text, QStringLiteral("'$4G00' is not a valid integer value."));
    EXPECT_EQ(shown[1].text, QStringLiteral("disk on fire!"));
    EXPECT_FALSE(shown[2].text.isEmpty());
    for (const auto &s : shown) {
        EXPECT_EQ(s.caption, QStringLiteral("制客人卡系统"));
        EXPECT_EQ(s.flags, 16);
    }
}

} // namespace
