// The stand-in as a DLL under Wine, beside kelrin-sim and the library on
// Linux: it finds the device they use from the same variables, and its
// writes and theirs exclude each other across Wine.
#include "PrivateDevice.h"
#include "Writers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

// The 64-bit DLL's beeper under Wine, in the tests' prefix, with these
// variables changed ("env" words: unsettings first); its stop file comes last.
std::string beeper(const std::string &variables = {})
{
    return "env -u DISPLAY " + variables + " WINEPREFIX=" + quoted(KELRIN_TEST_WINEPREFIX) +
           " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' " + quoted(KELRIN_TEST_WINE) + " " +
           quoted(KELRIN_TEST_BEEPER) + " " + quoted(KELRIN_TEST_DLL);
}

struct PlaceCase
{
    const char *name;
    // Values of KELRIN_SIM_STATE, XDG_STATE_HOME and HOME, "@" for the test's
    // folder; null: unset.
    const char *state, *xdg, *home;
    const char *expected; // where the device file is then
    bool windowsForm;     // KELRIN_SIM_STATE given as Windows names it: Z:\...
};

void PrintTo(const PlaceCase &c, std::ostream *os)
{
    *os << c.name;
}

class DevicePlace : public ::testing::TestWithParam<PlaceCase>
{
};

std::string place(const char *value, const std::filesystem::path &folder)
{
    std::string text = value;
    if (const auto at = text.find('@'); at != std::string::npos)
        text.replace(at, 1, folder.string());
    return text;
}

} // namespace

// The DLL under Wine puts the device where kelrin-sim on Linux looks for it.
TEST_P(DevicePlace, IsTheToolsDevice)
{
    const PlaceCase &c = GetParam();
    PrivateDevice device;
    std::string variables = "-u KELRIN_SIM_STATE -u XDG_STATE_HOME -u HOME";
    std::string state = c.state ? place(c.state, device.folder) : "";
    if (c.windowsForm) {
        std::replace(state.begin(), state.end(), '/', '\\');
        state = "Z:" + state;
    }
    for (const auto &[name, value] :
         {std::pair{"KELRIN_SIM_STATE", state},
          std::pair{"XDG_STATE_HOME", std::string(c.xdg ? place(c.xdg, device.folder) : "")},
          std::pair{"HOME", std::string(c.home ? place(c.home, device.folder) : "")}}) {
        if (!value.empty())
            variables += std::string(" ") + name + "=" + quoted(value);
    }
    std::ofstream{device.folder / "stop"}; // one beep
    const ToolRun beep = runCommand(beeper(variables) + " " + quoted(device.folder / "stop"));
    ASSERT_EQ(beep.status, 0) << beep.output;

    const std::filesystem::path expected = place(c.expected, device.folder);
    EXPECT_EQ(kelrin::DeviceFile(expected).load().beeps, 1u) << "not in " << expected;
    if (!c.windowsForm) {
        const ToolRun show =
            runCommand("env " + variables + " " + quoted(KELRIN_SIM_TOOL) + " show");
        EXPECT_NE(show.output.find("Device state: " + expected.string() + "\n"), std::string::npos)
            << show.output;
        EXPECT_NE(show.output.find("Beeps:        1\n"), std::string::npos) << show.output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kelrin, DevicePlace,
    ::testing::Values(
        PlaceCase{"ExplicitUnixPath", "@/a/device", "@/xdg", "@/home", "@/a/device", false},
        PlaceCase{"ExplicitWindowsPath", "@/b/device", "@/xdg", "@/home", "@/b/device", true},
        PlaceCase{"XdgStateHome", nullptr, "@/xdg", "@/home", "@/xdg/kelrin/device", false},
        PlaceCase{"RelativeXdgStateHomeIgnored", nullptr, "xdg", "@/home",
                  "@/home/.local/state/kelrin/device", false},
        PlaceCase{"Home", nullptr, nullptr, "@/home", "@/home/.local/state/kelrin/device", false}),
    [](const auto &info) { return std::string(info.param.name); });

// One of the three writers is the DLL under Wine: LockFileEx there and the
// lock on Linux exclude each other.
TEST(DllUnderWine, WritesBesideTheToolAndTheLibraryWithoutLosingAWrite)
{
    PrivateDevice device;
    expectNoWriteLost(device, 2, beeper());
}
