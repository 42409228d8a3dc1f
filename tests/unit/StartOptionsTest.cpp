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

} // namespace
