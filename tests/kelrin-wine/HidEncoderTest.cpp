// A driverless USB encoder through Wine, on the virtual encoder
// (virtual-hid/): the HID test DLL finds it by vendor and product through
// setupapi and hid.dll, sets and gets a feature report, and reads the card
// the device model holds, through the bridge; each fault of the device or
// the prefix answers a code, never a hang, and the next call works; the
// check's device section tells both sides and names what is missing.
// The prefixes and the device come from hid_prefix.sh (the suite's set-up).
#include "TempFolder.h"
#include "bridge.h"
#include "kelrin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace kb = kelrin::bridge;
namespace fs = std::filesystem;

namespace {

using F = kb::Function;

// The HID test DLL's own codes (tests/kelrin-wine/dlls/HidEncoder.cpp).
constexpr std::int32_t kNoDevice = -401;
constexpr std::int32_t kDeviceFailed = -402;

const fs::path kHid = KELRIN_TEST_HID_DIR;

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Runs a command to its end; its standard output, and its exit status.
std::string run(const std::string &command, int &status)
{
    std::string out;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

class HidEncoder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("KELRIN_WINE", KELRIN_TEST_WINE, 1);
        // A card of this test's own, so that what comes back can only be the model's.
        std::mt19937 random(
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
        static const char digits[] = "0123456789ABCDEF";
        card = "0000";
        for (int i = 0; i < 28; ++i)
            card += digits[random() % 16];
        writeFile(kHid / "device" / "card", card);
    }
    void TearDown() override
    {
        ::unsetenv("KELRIN_BRIDGE_TIMEOUT_MS");
        m_bridge.reset();
        if (changed) {
            // The next test meets the device as it was plugged in.
            faults({});
            fs::remove(kHid / "device" / "gone");
            restart("prefix");
        }
    }

    void faults(const std::vector<std::string> &names)
    {
        std::string text;
        for (const std::string &name : names)
            text += name + "\n";
        writeFile(kHid / "device" / "faults", text);
    }
    // The prefix's Wine started afresh: its device services meet the device anew.
    void restart(const std::string &prefix)
    {
        changed = true;
        int status = 0;
        run(std::string(KELRIN_TEST_HID_SCRIPT) + " restart " +
                fs::path(KELRIN_TEST_WINE).parent_path().string() + " " + KELRIN_TEST_FIXTURE +
                " " + kHid.string() + " " + prefix,
            status);
        ASSERT_EQ(status, 0);
    }

    kb::Bridge &bridge(unsigned bits, const std::string &prefix = "prefix")
    {
        if (!m_bridge) {
            fs::copy_file(fs::path(KELRIN_TEST_DLL_DIR) /
                              ("hid-encoder" + std::to_string(bits) + ".dll"),
                          station / "Kelrin.dll", fs::copy_options::overwrite_existing);
            ::setenv("KELRIN_WINEPREFIX", (kHid / prefix).c_str(), 1);
            m_bridge = std::make_unique<kb::Bridge>(
                kb::processEnvironment(),
                kb::Places{station, KELRIN_TEST_HELPERS, {KELRIN_TEST_HELPERS}});
        }
        return *m_bridge;
    }

    std::int32_t readCard(std::string &out)
    {
        char buffer[KELRIN_CARD_HEX_SIZE] = {};
        const std::int32_t result = m_bridge->call(F::ReadCard, {kb::byteArg(1)}, buffer);
        out = buffer;
        return result;
    }
    std::int32_t open() { return m_bridge->call(F::initializeUSB, {kb::byteArg(1)}, nullptr); }

    const TempFolder temp{"bridge-hid"};
    const fs::path station = temp.path();
    std::string card;
    bool changed = false;
    std::unique_ptr<kb::Bridge> m_bridge;
};

class HidRoundTrip : public HidEncoder, public ::testing::WithParamInterface<unsigned>
{
};

} // namespace

TEST_P(HidRoundTrip, FindsTheEncoderAndReadsTheModelsCard)
{
    const kb::StartReport found = bridge(GetParam()).start(kb::kDefaultTimeLimit);
    if (found.result == KELRIN_BRIDGE_NO_WINE32)
        GTEST_SKIP() << "this machine's Wine runs no 32-bit programs";
    ASSERT_EQ(found.result, KELRIN_OK);
    // Found by vendor and product; the feature report set comes back marked.
    ASSERT_EQ(open(), KELRIN_OK);
    std::string read;
    EXPECT_EQ(readCard(read), KELRIN_OK);
    EXPECT_EQ(read, card);
    EXPECT_EQ(m_bridge->call(F::Buzzer, {kb::byteArg(1), kb::intArg(50)}, nullptr), KELRIN_OK);
    // The model's card changed between two reads: each read asks the device.
    card = "00000199" + card.substr(8);
    writeFile(kHid / "device" / "card", card);
    EXPECT_EQ(readCard(read), KELRIN_OK);
    EXPECT_EQ(read, card);
}

INSTANTIATE_TEST_SUITE_P(Widths, HidRoundTrip, ::testing::Values(32u, 64u),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

namespace {

// A fault of the device or the prefix, what opening the port answers, what
// a card read then answers, and what the next call answers once the fault
// is gone (without a new start of the prefix's Wine).
struct Fault
{
    const char *name;
    const char *prefix;
    std::vector<std::string> faults;
    bool restart; // the fault is in place before Wine's device services start
    std::int32_t opened;
    std::int32_t read;     // when the port opened
    std::int32_t nextOpen; // the next call's answer, the fault gone
};

const std::vector<Fault> kFaults = {
    // The fault put back: Wine's HID bus left to SDL serves no hidraw node.
    {"EnableSdlLeftAtOne", "sdl", {}, false, kNoDevice, 0, kNoDevice},
    {"NodeNotReadableAndWritable", "prefix", {"no-access"}, true, kNoDevice, 0, kNoDevice},
    {"NoReportDescriptor", "prefix", {"no-descriptor"}, true, kNoDevice, 0, kNoDevice},
    {"NameOutsideUtf8", "prefix", {"bad-name"}, true, KELRIN_OK, KELRIN_OK, KELRIN_OK},
    // The call's time limit holds; the next call opens the device again.
    {"ModelNeverAnswers", "prefix", {"silent"}, false, KELRIN_OK, KELRIN_BRIDGE_TIMEOUT, KELRIN_OK},
    // Unplugged while the DLL waits for the answer.
    {"NodeVanishesMidCall", "prefix", {"vanish"}, false, KELRIN_OK, kDeviceFailed, kNoDevice},
};

class HidFaults : public HidEncoder, public ::testing::WithParamInterface<Fault>
{
};

} // namespace

TEST_P(HidFaults, AnswerACodeAndTheNextCallIsServed)
{
    const Fault &fault = GetParam();
    faults(fault.faults);
    if (fault.restart)
        restart(fault.prefix);
    if (fault.read == KELRIN_BRIDGE_TIMEOUT)
        ::setenv("KELRIN_BRIDGE_TIMEOUT_MS", "3000", 1);
    ASSERT_EQ(bridge(64, fault.prefix).start(kb::kDefaultTimeLimit).result, KELRIN_OK);
    changed = changed || !fault.faults.empty();
    EXPECT_EQ(open(), fault.opened);
    if (fault.opened == KELRIN_OK) {
        std::string read;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(readCard(read), fault.read);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
        if (fault.read == KELRIN_OK) {
            EXPECT_EQ(read, card);
        }
    }
    faults({});
    EXPECT_EQ(open(), fault.nextOpen);
    if (fault.nextOpen == KELRIN_OK) {
        std::string read;
        EXPECT_EQ(readCard(read), KELRIN_OK);
        EXPECT_EQ(read, card);
    }
}

INSTANTIATE_TEST_SUITE_P(Virtual, HidFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

namespace {

// The check run as an integrator runs it, the virtual encoder preloaded
// into it as into the prefix's Wine: the lines it must print.
struct CheckCase
{
    const char *name;
    const char *prefix;
    std::vector<std::string> faults;
    bool restart;
    std::vector<std::string> lines; // "@" stands for the virtual encoder's folder
};

const std::vector<CheckCase> kChecks = {
    {"ListsTheEncoderFromLinuxAndAsWineSeesIt",
     "prefix",
     {},
     false,
     {"HID:      @/device/dev/hidraw0 1209:0001 \"Kelrin test encoder\", usage page FF00 "
      "(vendor-defined), root:root 0660",
      "Access:   this account can open it for reading and writing",
      "Wine bus: hidraw devices served (\"Enable SDL\"=0, \"DisableInput\"=1)",
      "Wine HID: 1209:0001 usage page FF00 \"Kelrin test encoder\"",
      "Found:    1209:0001 (@/device/dev/hidraw0): Linux and Wine show it, the DLL can find it"}},
    {"NamesTheMissingAccessAndTheRule",
     "prefix",
     {"no-access"},
     true,
     {"Access:   this account cannot open it for reading and writing (Permission denied)",
      "Missing:  1209:0001 (@/device/dev/hidraw0): Wine does not show it: this account cannot "
      "open the node for reading and writing",
      "Rule:     SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"0001\", "
      "GROUP=\"guestcard\", MODE=\"0660\""}},
    {"NamesTheBusSetting",
     "sdl",
     {},
     false,
     {"Wine bus: hidraw devices not served: \"Enable SDL\" is not 0 (\"Enable SDL\"=1, "
      "\"DisableInput\"=1)",
      "Missing:  1209:0001 (@/device/dev/hidraw0): Wine does not show it: its HID bus serves no "
      "hidraw devices in this prefix"}},
    {"SaysWhenSysfsGivesNoDescriptor",
     "prefix",
     {"no-descriptor"},
     false,
     {"usage page unknown (no report descriptor)"}},
    {"EscapesANameOutsideUtf8",
     "prefix",
     {"bad-name"},
     false,
     {"\"Kelrin \\xFF\\xFE encoder \\xC3\""}},
    {"SaysADeviceNeedsADriver",
     "prefix",
     {"needs-driver"},
     false,
     {"USB:      1209:0002 \"Kelrin test encoder with a driver\" has no hidraw or serial node: "
      "served only to a DLL that reaches it through libusb0.dll (the road above), on its node "
      "under /dev/bus/usb, which this rule gives the group guestcard:",
      "Rule:     SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTRS{idVendor}==\"1209\", "
      "ATTRS{idProduct}==\"0002\", GROUP=\"guestcard\", MODE=\"0660\""}},
};

class CheckSection : public HidEncoder, public ::testing::WithParamInterface<CheckCase>
{
};

} // namespace

TEST_P(CheckSection, PrintsWhatBothSidesShow)
{
    const CheckCase &check = GetParam();
    faults(check.faults);
    changed = changed || !check.faults.empty();
    if (check.restart)
        restart(check.prefix);
    fs::copy_file(fs::path(KELRIN_TEST_DLL_DIR) / "hid-encoder64.dll", station / "Kelrin.dll");
    int status = -1;
    const std::string out = run("LD_PRELOAD='" + std::string(KELRIN_TEST_FIXTURE) +
                                    "' VIRTUAL_HID='" + (kHid / "device").string() +
                                    "' ASAN_OPTIONS=verify_asan_link_order=0 KELRIN_WINEPREFIX='" +
                                    (kHid / check.prefix).string() + "' '" + KELRIN_TEST_CHECK +
                                    "' check --program-folder '" + station.string() + "'",
                                status);
    // Device findings never change the exit status: the thirteen functions resolve.
    EXPECT_EQ(status, 0) << out;
    for (std::string line : check.lines) {
        for (std::size_t at; (at = line.find('@')) != std::string::npos;)
            line.replace(at, 1, kHid.string());
        EXPECT_NE(out.find(line), std::string::npos) << "no line\n" << line << "\nin\n" << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Virtual, CheckSection, ::testing::ValuesIn(kChecks),
                         [](const auto &info) { return std::string(info.param.name); });
