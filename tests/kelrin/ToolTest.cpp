// kelrin-sim run as a program against the test's own device, and the library
// seeing what it did; then the tool and the library writing at once.
#include "PrivateDevice.h"
#include "Writers.h"
#include "kelrin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kType = KELRIN_ENCODER_KELUSB;

std::string readCard()
{
    char card[KELRIN_CARD_HEX_SIZE] = {};
    EXPECT_EQ(ReadCard(kType, card), KELRIN_OK);
    return card;
}

struct UsageCase
{
    const char *arguments;
    int status;
    const char *says;
};

void PrintTo(const UsageCase &c, std::ostream *os)
{
    *os << "kelrin-sim " << c.arguments;
}

class ToolUsage : public ::testing::TestWithParam<UsageCase>
{
};

} // namespace

TEST_P(ToolUsage, ExitStatusAndMessage)
{
    const UsageCase &c = GetParam();
    PrivateDevice device;
    const ToolRun run = runTool(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    if (c.status == 2) {
        EXPECT_FALSE(std::filesystem::exists(device.state)) << "bad usage changed the device";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kelrin, ToolUsage,
    ::testing::Values(UsageCase{"", 2, "Usage: kelrin-sim COMMAND"},
                      UsageCase{"--help", 0, "add-record TYPE YYMMDDhhmmss [DOOR]"},
                      UsageCase{"help lay", 0, "Usage: kelrin-sim lay [--id HHHHHHHH]"},
                      UsageCase{"latency --help", 0, "Usage: kelrin-sim latency MS"},
                      UsageCase{"help frobnicate", 2, "help takes one command name"},
                      UsageCase{"frobnicate", 2, "unknown command 'frobnicate'"},
                      UsageCase{"show extra", 2, "unexpected argument 'extra'"},
                      UsageCase{"latency", 2, "expected the latency"},
                      UsageCase{"latency fast", 2, "not 'fast'"},
                      UsageCase{"latency 60001", 2, "0 to 60000"},
                      UsageCase{"latency -1", 2, "not '-1'"},
                      UsageCase{"lay --id 1234567", 2, "eight hex digits"},
                      UsageCase{"lay --id 12345678 extra", 2, "expected nothing or --id"},
                      UsageCase{"plug --type 2", 2, "--type 0|1"},
                      UsageCase{"add-record G 251207143005", 2, "one hex digit"},
                      UsageCase{"add-record 6 251307143005", 2, "no real YYMMDDhhmmss"},
                      UsageCase{"add-record 6 251207143005 800", 2, "above 7FF"},
                      UsageCase{"add-record 6 251207143005 1000", 2, "0-7FF"},
                      UsageCase{"add-record 6", 2, "expected TYPE"}),
    [](const auto &info) {
        std::string name = std::to_string(info.index) + "_" + info.param.arguments;
        for (char &ch : name)
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return name;
    });

TEST(Tool, PlugAndUnplugAsTheLibrarySeesIt)
{
    PrivateDevice device;
    ASSERT_EQ(runTool("unplug").status, 0);
    EXPECT_EQ(initializeUSB(kType), KELRIN_ERROR_NO_DEVICE);
    ASSERT_EQ(runTool("plug --type 0").status, 0);
    EXPECT_EQ(initializeUSB(kType), KELRIN_ERROR_WRONG_ENCODER);
    EXPECT_EQ(initializeUSB(KELRIN_ENCODER_WITH_DRIVER), KELRIN_OK);
    ASSERT_EQ(runTool("plug").status, 0);
    EXPECT_EQ(initializeUSB(kType), KELRIN_OK);
}

TEST(Tool, CardsItLaysAndRemoves)
{
    PrivateDevice device;
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    ASSERT_EQ(runTool("lay --id 0a0b0c0d").status, 0);
    const std::string laid = readCard();
    EXPECT_EQ(laid.substr(56, 8), "0A0B0C0D");
    EXPECT_EQ(laid.substr(24, 8), "FFFFFFFF");

    ASSERT_EQ(runTool("lay").status, 0);
    EXPECT_NE(readCard().substr(56, 8), "0A0B0C0D") << "a fresh card kept the old fixed ID";

    ASSERT_EQ(runTool("remove").status, 0);
    EXPECT_NE(readCard().substr(4, 2), "01");
    char card[KELRIN_CARD_HEX_SIZE];
    EXPECT_EQ(CardErase(kType, 508317, card), KELRIN_ERROR_NO_CARD);
    const ToolRun again = runTool("remove");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.output.find("No card was on the encoder"), std::string::npos);
}

TEST(Tool, ShowsTheCardTheLibraryWrote)
{
    PrivateDevice device;
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    char card[KELRIN_CARD_HEX_SIZE];
    ASSERT_EQ(GuestCard(kType, 508317, 42, 0, 1, 1, "2512071430", "2612091200", "01020399", card),
              KELRIN_OK);
    const ToolRun run = runTool("show");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const std::string &says :
         {std::string("guest card (type 6)"), std::string("Hotel:      459165"),
          std::string("written as 508317"), std::string("Lock:       01020399"),
          std::string("Issued:     2025-12-07 14:30"), std::string("Checkout:   2026-12-09 12:00"),
          std::string("Serial:     0000002A"), std::string("Card hex:   ") + card})
        EXPECT_NE(run.output.find(says), std::string::npos) << says << "\n" << run.output;
}

TEST(Tool, RecordsItAddsAreDumpedAndListed)
{
    PrivateDevice device;
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    ASSERT_EQ(runTool("add-record b 251207143005 2f").status, 0);
    std::vector<char> dump(KELRIN_RECORD_TEXT_SIZE);
    ASSERT_EQ(ReadRecord(kType, dump.data()), KELRIN_OK);
    const std::string text = dump.data();
    const std::size_t i = 6; // after the fresh device's six
    char decoded[KELRIN_FIELD_SIZE];
    ASSERT_EQ(GetOpenRecordByDataStr(text.substr(599 + 74 * (i / 4) + 16 * (i % 4) - 1, 16).c_str(),
                                     decoded),
              KELRIN_OK);
    EXPECT_STREQ(decoded, "B25120714300502F");

    const ToolRun list = runTool("records");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find("7 door-open records"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("B25120714300502F  25-12-07 14:30:05  door 02F  master card"),
              std::string::npos)
        << list.output;
}

TEST(Tool, LatencyItSetsSlowsTheLibrary)
{
    PrivateDevice device;
    ASSERT_EQ(runTool("latency 80").status, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    ASSERT_EQ(runTool("latency 0").status, 0);
    EXPECT_EQ(device.load().latencyMs, 0u);
}

TEST(Tool, CorruptStateIsExplainedKeptAndReset)
{
    PrivateDevice device;
    std::ofstream(device.state) << "kelrin-device 1\nattached perhaps\n";
    for (const char *command : {"show", "records", "lay", "add-record 6 251207143005"}) {
        const ToolRun run = runTool(command);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.output.find("line 2: attached must be yes or no"), std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("kelrin-sim reset"), std::string::npos) << run.output;
    }
    EXPECT_EQ(initializeUSB(kType), KELRIN_ERROR_STATE_CORRUPT);
    std::ifstream kept(device.state);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
              "kelrin-device 1\nattached perhaps\n");

    ASSERT_EQ(runTool("reset").status, 0);
    EXPECT_EQ(initializeUSB(kType), KELRIN_OK);
    EXPECT_EQ(device.load(), kelrin::DeviceState::fresh());
}

TEST(Tool, UnusableStateFolderFailsTheOperation)
{
    PrivateDevice device;
    std::ofstream(device.folder / "file") << "x";
    ::setenv("KELRIN_SIM_STATE", (device.folder / "file" / "device").c_str(), 1);
    const ToolRun run = runTool("unplug");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("cannot create the folder"), std::string::npos) << run.output;
}

// Three processes of the tool add records while this process beeps through
// the library, all on one device: every record and every beep must arrive.
TEST(Tool, ToolAndLibraryWriteAtOnceWithoutLosingAWrite)
{
    PrivateDevice device;
    expectNoWriteLost(device, 3);
}
