// The ways the road to the DLL fails before Wine has anything to do: no
// DLL, not a DLL, no Wine, no helper, no prefix, and a "Wine" that starts
// no helper, never answers or answers outside the protocol. Each answers
// its own code with its output emptied, keeps no helper, and starts no
// Wine, so they run as unit tests without Wine's set-up. The rows that
// need Wine are in BridgeTest.cpp.
#include "BridgeFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

class Faults : public WineBridge, public ::testing::WithParamInterface<Fault>
{
};

const Fault kFaults[] = {
    {"no_kelrin_dll_beside_the_program", [](WineBridge &) {}, KELRIN_BRIDGE_NO_DLL, false,
     readCardAct},
    {"kelrin_dll_that_is_no_pe",
     [](WineBridge &t) { std::ofstream(t.station / "kelrin.DLL") << "MZ but no more"; },
     KELRIN_BRIDGE_NOT_PE, false, readCardAct},
    {"no_wine",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         t.settings["KELRIN_WINE"] = (t.folder / "no-such-wine").string();
     },
     KELRIN_BRIDGE_NO_WINE, false, readCardAct},
    {"helper_missing_beside_the_bridge",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         t.helpers = t.folder;
     },
     KELRIN_BRIDGE_NO_HELPER, false, readCardAct},
    {"prefix_that_cannot_be_prepared",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         std::ofstream(t.folder / "file") << "x";
         t.settings["KELRIN_WINEPREFIX"] = (t.folder / "file" / "prefix").string();
     },
     KELRIN_BRIDGE_PREFIX, false, readCardAct},
    {"wine_that_starts_no_helper",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         t.settings["KELRIN_WINE"] = t.writeScript("wine", "exit 0").string();
     },
     KELRIN_BRIDGE_HELPER_START, false, readCardAct},
    {"wine_that_never_answers",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         t.settings["KELRIN_WINE"] = t.writeScript("wine", "exec sleep 60").string();
         t.settings["KELRIN_BRIDGE_TIMEOUT_MS"] = "1500";
     },
     KELRIN_BRIDGE_TIMEOUT, false, readCardAct},
    {"helper_out_of_protocol",
     [](WineBridge &t) {
         t.useDll("scripted64.dll");
         t.settings["KELRIN_WINE"] =
             t.writeScript("wine", "printf '\\005\\000\\000\\000Hello'; exec sleep 60").string();
     },
     KELRIN_BRIDGE_PROTOCOL, false, readCardAct},
};

} // namespace

TEST_P(Faults, AnswerTheirCodeAndTheNextCallWorks)
{
    const Fault &fault = GetParam();
    ASSERT_FALSE(fault.recovers) << "the next call of a row that recovers needs Wine";
    fault.arrange(*this);
    GuardedBuffer out(KELRIN_RECORD_TEXT_SIZE);
    EXPECT_EQ(fault.act(*this, out), fault.code);
    EXPECT_EQ(out.text(), "") << "a failed call leaves its output empty";
    EXPECT_EQ(bridge().helperPid(), -1) << "a failed start keeps a helper";
    EXPECT_FALSE(wineStarted()) << "the bridge started Wine for a fault it can see without";
}

INSTANTIATE_TEST_SUITE_P(Bridge, Faults, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return info.param.name; });

// A prefix that cannot be prepared answers -9008 and the log says why,
// whether kelrin-bridge prepares it beside the call or, with none to be
// found, the library itself does: a Wine whose wineboot fails.
class PreparationFails : public WineBridge, public ::testing::WithParamInterface<bool>
{
};

TEST_P(PreparationFails, LogLineSaysWhy)
{
    useDll("scripted64.dll");
    writeScript("wineserver", "exit 0");
    settings["KELRIN_WINE"] = writeScript("wine", "exit 3").string();
    settings["KELRIN_WINEPREFIX"] = (folder / "account" / "wine").string();
    settings["KELRIN_BRIDGE_LOG"] = (folder / "bridge.log").string();
    if (!GetParam()) {
        preparers.clear();
        fs::create_directory(folder / "empty");
        settings["PATH"] = (folder / "empty").string();
    }
    GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(out), KELRIN_BRIDGE_PREFIX);
    std::ifstream in(folder / "bridge.log");
    const std::string log(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(log.find("ReadCard: -9008 "), std::string::npos) << log;
    EXPECT_NE(log.find(settings["KELRIN_WINE"] + " wineboot --init ended with status 3"),
              std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(settings["KELRIN_WINEPREFIX"]));
}

INSTANTIATE_TEST_SUITE_P(Bridge, PreparationFails, ::testing::Bool(), [](const auto &info) {
    return std::string(info.param ? "by_kelrin_bridge" : "by_the_library_itself");
});
