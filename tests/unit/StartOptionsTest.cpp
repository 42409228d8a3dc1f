#include "app/CommandLine.h"
#include "app/DisplayProbe.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

void PrintTo(const DisplayServer &display, std::ostream *os)
{
    *os << (display.kind == DisplayServer::Kind::X11 ? "X11 " : "Wayland ")
        << display.name.toStdString();
}

namespace {

struct DisplayCase
{
    const char *name;
    std::vector<std::pair<const char *, const char *>> environment;
    QList<DisplayServer> expected;
};

void PrintTo(const DisplayCase &c, std::ostream *os)
{
    *os << c.name;
}

class DisplaysTried : public ::testing::TestWithParam<DisplayCase>
{
};

// A display is looked for only where Qt would need one, in Qt's order.
TEST_P(DisplaysTried, FollowThePlatformQtWouldChoose)
{
    const DisplayCase &c = GetParam();
    QProcessEnvironment environment;
    for (const auto &[name, value] : c.environment)
        environment.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    EXPECT_EQ(displaysToTry(environment), c.expected);
}

const DisplayServer kX5{DisplayServer::Kind::X11, QStringLiteral(":5")};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Starts, DisplaysTried,
    ::testing::Values(
        DisplayCase{"x_by_default", {{"DISPLAY", ":5"}}, {kX5}},
        DisplayCase{"offscreen_with_options_needs_none", {{"QT_QPA_PLATFORM", "offscreen:fontengine=freetype"}}, {}},
        DisplayCase{"wayland_session_falls_back_to_x", {{"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_RUNTIME_DIR", "/run/user/7"}, {"DISPLAY", ":5"}}, {{DisplayServer::Kind::Wayland, "/run/user/7/wayland-1"}, kX5}},
        DisplayCase{"list_with_a_displayless_platform", {{"QT_QPA_PLATFORM", "xcb;offscreen"}}, {}}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

struct ArgumentsCase
{
    const char *name;
    std::vector<const char *> arguments;
    bool help, version, service;
    const char *note;
};

void PrintTo(const ArgumentsCase &c, std::ostream *os)
{
    *os << c.name;
}

class ArgumentsRead : public ::testing::TestWithParam<ArgumentsCase>
{
};

// Only --service, --help and --version are obeyed; a word of Qt's or of a
// property system neither asks for help or the version nor passes unnoted.
TEST_P(ArgumentsRead, ObeyOnlyTheProgramsOwnOptions)
{
    const ArgumentsCase &c = GetParam();
    QStringList arguments{QStringLiteral("guestcard")};
    for (const char *argument : c.arguments)
        arguments << QString::fromUtf8(argument);
    CommandLine commandLine;
    commandLine.parse(arguments);
    EXPECT_EQ(commandLine.helpAsked(), c.help);
    EXPECT_EQ(commandLine.versionAsked(), c.version);
    EXPECT_EQ(commandLine.serviceView(), c.service);
    EXPECT_EQ(commandLine.ignoredNote(), QString::fromUtf8(c.note));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Starts, ArgumentsRead,
    ::testing::Values(
        ArgumentsCase{"own_options", {"--service", "-h", "--version"}, true, true, true, ""},
        ArgumentsCase{"property_system_words", {"--room", "203", "--service", "stay.ini"}, false, false, true, "ignored: --room, 203, stay.ini"},
        ArgumentsCase{"qt_platform", {"-platform", "nonesuch"}, false, false, false, "ignored: -platform, nonesuch"},
        ArgumentsCase{"qt_stylesheet_is_no_help", {"-stylesheet", "red.qss"}, false, false, false, "ignored: -stylesheet, red.qss"},
        ArgumentsCase{"qt_reverse_is_no_version", {"-reverse"}, false, false, false, "ignored: -reverse"},
        ArgumentsCase{"own_option_with_a_value", {"--service=1"}, false, false, false, "ignored: --service=1"},
        ArgumentsCase{"qt_help_all", {"--help-all"}, false, false, false, "ignored: --help-all"},
        ArgumentsCase{"words_after_the_end_of_options", {"--", "--service"}, false, false, false, "ignored: --, --service"}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

} // namespace
