// The bridge with DLLs built here, under Wine: every argument arrives in the
// DLL's log unchanged, every output comes back bounded and terminated, and
// every way the road to the DLL can fail under Wine answers its own code,
// after which the next call works again (the faults found before Wine
// starts: BridgeFaultsTest.cpp). Wine, the prepared prefix and the helpers
// come from the suite's set-up (wine_setup.sh) through the environment.
#include "BridgeFixture.h"
#include "prefix/preparation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 0xF];
    }
    return text;
}

// The script's "text" reply and the log's texts carry bytes in hex.
std::string logText(const char *text)
{
    return text ? "t=" + hex(text) : "null";
}

std::string highBytes()
{
    std::string text;
    for (int c = 0x80; c <= 0xFF; ++c)
        text += static_cast<char>(c);
    return text;
}

class Transport : public WineBridge, public ::testing::WithParamInterface<unsigned>
{
protected:
    void SetUp() override
    {
        WineBridge::SetUp();
        useDll("scripted" + std::to_string(GetParam()) + ".dll");
        const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
        if (found.result == KELRIN_BRIDGE_NO_WINE32)
            GTEST_SKIP() << "this machine's Wine runs no 32-bit programs";
        ASSERT_EQ(found.result, KELRIN_OK);
    }
};

} // namespace

TEST_P(Transport, EveryArgumentArrivesInTheDllUnchanged)
{
    const std::string high = highBytes(), gbk = "\xB6\xAB\xC2\xA5"
                                                "203";
    const std::string longest(20000, '9'), card(128, 'A');
    const std::uint8_t lost[4] = {0x00, 0xFF, 0x00, 0x80};
    struct Row
    {
        F function;
        std::vector<kb::Argument> inputs;
        std::string logged;
    };
    const std::vector<Row> rows = {
        {F::initializeUSB, {kb::byteArg(0)}, "initializeUSB 0"},
        {F::initializeUSB, {kb::byteArg(255)}, "initializeUSB 255"},
        {F::CloseUSB, {kb::byteArg(1)}, "CloseUSB 1"},
        {F::Buzzer, {kb::byteArg(1), kb::intArg(INT32_MIN)}, "Buzzer 1 -2147483648"},
        {F::Buzzer, {kb::byteArg(0), kb::intArg(INT32_MAX)}, "Buzzer 0 2147483647"},
        {F::ReadCard, {kb::byteArg(1)}, "ReadCard 1 out"},
        {F::GuestCard,
         {kb::byteArg(255), kb::intArg(INT32_MIN), kb::intArg(INT32_MAX), kb::intArg(-1),
          kb::byteArg(0), kb::byteArg(255), kb::textArg(""), kb::textArg(high.c_str()),
          kb::textArg(gbk.c_str())},
         "GuestCard 255 -2147483648 2147483647 -1 0 255 t= " + logText(high.c_str()) + " " +
             logText(gbk.c_str()) + " out"},
        {F::GuestCard,
         {kb::byteArg(1), kb::intArg(508317), kb::intArg(0), kb::intArg(0), kb::byteArg(1),
          kb::byteArg(1), kb::textArg(nullptr), kb::textArg(longest.c_str()),
          kb::textArg("01020399")},
         "GuestCard 1 508317 0 0 1 1 null " + logText(longest.c_str()) + " t=3031303230333939 out"},
        {F::LimitCard,
         {kb::byteArg(1), kb::intArg(INT32_MAX), kb::intArg(INT32_MIN), kb::intArg(0),
          kb::textArg(gbk.c_str()), kb::fourBytesArg(lost)},
         "LimitCard 1 2147483647 -2147483648 0 " + logText(gbk.c_str()) + " b=00FF0080 out"},
        {F::LimitCard,
         {kb::byteArg(0), kb::intArg(1), kb::intArg(2), kb::intArg(3), kb::textArg(nullptr),
          kb::fourBytesArg(nullptr)},
         "LimitCard 0 1 2 3 null null out"},
        {F::CardErase, {kb::byteArg(0), kb::intArg(-1)}, "CardErase 0 -1 out"},
        {F::GetCardTypeByCardDataStr,
         {kb::textArg(card.c_str())},
         "GetCardTypeByCardDataStr " + logText(card.c_str()) + " out"},
        {F::GetGuestLockNoByCardDataStr,
         {kb::intArg(INT32_MIN), kb::textArg(high.c_str())},
         "GetGuestLockNoByCardDataStr -2147483648 " + logText(high.c_str()) + " out"},
        {F::GetGuestETimeByCardDataStr,
         {kb::intArg(INT32_MAX), kb::textArg("")},
         "GetGuestETimeByCardDataStr 2147483647 t= out"},
        {F::ReadRecord, {kb::byteArg(1)}, "ReadRecord 1 out"},
        {F::GetOpenRecordByDataStr,
         {kb::textArg(longest.c_str())},
         "GetOpenRecordByDataStr " + logText(longest.c_str()) + " out"},
        {F::GetDLLVersion, {}, "GetDLLVersion out"},
    };
    for (const Row &row : rows) {
        // A buffer of the largest capacity, also where the function takes
        // none: what arrives is the point here.
        GuardedBuffer out(KELRIN_RECORD_TEXT_SIZE);
        EXPECT_EQ(call(row.function, row.inputs, &out), 0) << row.logged;
        EXPECT_EQ(lastLogLine(), row.logged);
    }
    // A null output buffer arrives null.
    EXPECT_EQ(bridge().call(F::GetDLLVersion, {}, nullptr), 0);
    EXPECT_EQ(lastLogLine(), "GetDLLVersion null");
}

TEST_P(Transport, EveryOutputComesBackBoundedAndTerminated)
{
    const std::string before = std::string("abc\0", 4);
    struct Kind
    {
        std::string reply;                                      // the script's mode
        std::function<std::string(std::size_t capacity)> bytes; // what the caller finds
    };
    const std::vector<Kind> kinds = {
        {"fill 46", [](std::size_t c) { return std::string(c - 1, 'F') + '\0'; }},
        {"empty",
         [&](std::size_t c) { return '\0' + (before + std::string(c, 'X')).substr(1, c - 1); }},
        {"untouched", [&](std::size_t c) { return (before + std::string(c, 'X')).substr(0, c); }},
        {"text 8142",
         [&](std::size_t c) {
             return "\x81\x42" + std::string(1, '\0') +
                    (before + std::string(c, 'X')).substr(3, c - 3);
         }},
    };
    const std::vector<std::pair<F, std::vector<kb::Argument>>> calls = {
        {F::ReadCard, {kb::byteArg(1)}},
        {F::GuestCard,
         {kb::byteArg(1), kb::intArg(1), kb::intArg(1), kb::intArg(1), kb::byteArg(1),
          kb::byteArg(1), kb::textArg("2512071430"), kb::textArg("2612091200"),
          kb::textArg("01020399")}},
        {F::LimitCard,
         {kb::byteArg(1), kb::intArg(1), kb::intArg(1), kb::intArg(1), kb::textArg("2512071430"),
          kb::fourBytesArg(reinterpret_cast<const std::uint8_t *>("\1\2\3\4"))}},
        {F::CardErase, {kb::byteArg(1), kb::intArg(1)}},
        {F::GetCardTypeByCardDataStr, {kb::textArg("00")}},
        {F::GetGuestLockNoByCardDataStr, {kb::intArg(1), kb::textArg("00")}},
        {F::GetGuestETimeByCardDataStr, {kb::intArg(1), kb::textArg("00")}},
        {F::ReadRecord, {kb::byteArg(1)}},
        {F::GetOpenRecordByDataStr, {kb::textArg("00")}},
        {F::GetDLLVersion, {}},
    };
    for (const auto &[function, inputs] : calls) {
        const kb::Signature &s = kb::signature(function);
        for (const Kind &kind : kinds) {
            const std::string what = std::string(s.name) + " " + kind.reply;
            script({std::string(s.name) + " 7 " + kind.reply});
            GuardedBuffer out(s.outputCapacity);
            std::memcpy(out.data(), before.data(), before.size());
            EXPECT_EQ(call(function, inputs, &out), 7) << what;
            out.expectIntact(what);
            EXPECT_EQ(out.bytes(), kind.bytes(s.outputCapacity)) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, Transport, ::testing::Values(32u, 64u),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

TEST_F(WineBridge, FunctionsFoundUnderEachNameTheirDllGivesThem)
{
    const std::map<std::string, std::function<std::string(F)>> dlls = {
        {"scripted-plain64.dll", [](F f) { return kb::exportNames(f)[0]; }},
        {"scripted-decorated64.dll", [](F f) { return kb::exportNames(f)[1]; }},
        {"scripted-underscore64.dll", [](F f) { return kb::exportNames(f)[2]; }},
    };
    for (const auto &[dll, expected] : dlls) {
        useDll(dll);
        const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
        ASSERT_EQ(found.result, KELRIN_OK) << dll;
        for (std::size_t i = 0; i < kb::kFunctionCount; ++i)
            EXPECT_EQ(found.hello->resolved[i], expected(static_cast<F>(i))) << dll;
        GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
        EXPECT_EQ(readCard(out), 0) << dll;
        EXPECT_EQ(lastLogLine(), "ReadCard 1 out") << dll;
    }
}

namespace {

class Faults : public WineBridge, public ::testing::WithParamInterface<Fault>
{
};

// The DLL makes a window that `verb` keeps from the screen during ReadRecord.
Fault unseenWindow(const std::string &name, const std::string &verb)
{
    return {name,
            [verb](WineBridge &t) {
                t.useDisplay();
                t.useDll("scripted64.dll");
                t.script({"ReadRecord 0 " + verb});
                t.settings["KELRIN_BRIDGE_TIMEOUT_MS"] = "3000";
            },
            KELRIN_BRIDGE_TIMEOUT, true,
            [](WineBridge &t, GuardedBuffer &out) {
                const std::int32_t result = t.call(F::ReadRecord, {kb::byteArg(1)}, &out);
                EXPECT_EQ(t.lastLogLine(), "window made");
                return result;
            }};
}

const Fault kFaults[] = {
    {"function_missing_from_the_dll", [](WineBridge &t) { t.useDll("no-limitcard64.dll"); },
     KELRIN_BRIDGE_NO_FUNCTION, true,
     [](WineBridge &t, GuardedBuffer &out) {
         return t.call(F::LimitCard,
                       {kb::byteArg(1), kb::intArg(1), kb::intArg(1), kb::intArg(1),
                        kb::textArg("x"), kb::fourBytesArg(nullptr)},
                       &out);
     }},
    {"access_violation_in_guest_card",
     [](WineBridge &t) {
         auto &f = t;
         f.useDll("scripted64.dll");
         f.script({"GuestCard 0 crash"});
     },
     KELRIN_BRIDGE_HELPER_ENDED, true,
     [](WineBridge &t, GuardedBuffer &out) {
         return t.call(F::GuestCard,
                       {kb::byteArg(1), kb::intArg(1), kb::intArg(1), kb::intArg(1), kb::byteArg(1),
                        kb::byteArg(1), kb::textArg("2512071430"), kb::textArg("2612091200"),
                        kb::textArg("01020399")},
                       &out);
     }},
    {"read_record_that_never_returns",
     [](WineBridge &t) {
         auto &f = t;
         f.useDll("scripted64.dll");
         f.script({"ReadRecord 0 hang"});
         f.settings["KELRIN_BRIDGE_TIMEOUT_MS"] = "3000";
     },
     KELRIN_BRIDGE_TIMEOUT, true,
     [](WineBridge &t, GuardedBuffer &out) {
         return t.call(F::ReadRecord, {kb::byteArg(1)}, &out);
     }},
    // A window of the DLL that the clerk cannot see: the time limit holds.
    unseenWindow("window_never_shown", "hiddenwindow"),
    unseenWindow("window_off_the_screen", "offscreenwindow"),
    {"helper_killed_between_calls", [](WineBridge &t) { t.useDll("scripted64.dll"); },
     KELRIN_BRIDGE_HELPER_ENDED, true,
     [](WineBridge &t, GuardedBuffer &out) {
         // Gone before the call: writing to it must not end this process.
         if (const int helper = t.bridge().helperPid(); helper > 0)
             ::kill(helper, SIGKILL);
         ::usleep(300 * 1000);
         return t.readCard(out);
     }},
    {"companion_dll_missing", [](WineBridge &t) { t.useDll("needs-companion64.dll"); },
     KELRIN_BRIDGE_DLL_LOAD, false, readCardAct},
};

// A process that has ended but was not reaped (Wine's loader may start the
// helper as a new process, which init inherits) runs no more.
bool alive(int pid)
{
    if (pid <= 0 || ::kill(pid, 0) != 0)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t end = line.rfind(')');
    return end == std::string::npos || line.substr(end + 2, 1) != "Z";
}

// The helper whose environment holds `entry`; 0 when none runs.
int processWith(const std::string &entry)
{
    for (const auto &process : fs::directory_iterator("/proc")) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream comm(process.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (!name.starts_with("kelrin-host"))
            continue;
        std::ifstream environ(process.path() / "environ", std::ios::binary);
        for (std::string variable; std::getline(environ, variable, '\0');) {
            if (variable == entry)
                return std::stoi(pid);
        }
    }
    return 0;
}

} // namespace

TEST_P(Faults, AnswerTheirCodeAndTheNextCallWorks)
{
    const Fault &fault = GetParam();
    fault.arrange(*this);
    // The port is open before the fault, as the station opens it at start.
    if (fault.recovers) {
        ASSERT_EQ(call(F::initializeUSB, {kb::byteArg(1)}), 0);
    }
    const int helperBefore = bridge().helperPid();
    GuardedBuffer out(KELRIN_RECORD_TEXT_SIZE);
    EXPECT_EQ(fault.act(*this, out), fault.code);
    EXPECT_EQ(out.text(), "") << "a failed call leaves its output empty";
    if (!fault.recovers)
        return;
    if (fault.code != KELRIN_BRIDGE_NO_FUNCTION) {
        EXPECT_FALSE(alive(helperBefore)) << "the helper of the failed call still runs";
        EXPECT_EQ(bridge().helperPid(), -1);
    }
    // The next call works, on a port opened again for it, with the time
    // limit back at its default.
    settings.erase("KELRIN_BRIDGE_TIMEOUT_MS");
    const std::size_t logged = log().size();
    GuardedBuffer card(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(card), 0);
    const auto lines = log();
    const std::vector<std::string> after(lines.begin() + std::min(logged, lines.size()),
                                         lines.end());
    if (fault.code == KELRIN_BRIDGE_NO_FUNCTION)
        EXPECT_EQ(after, (std::vector<std::string>{"ReadCard 1 out"}));
    else
        EXPECT_EQ(after, (std::vector<std::string>{"initializeUSB 1", "ReadCard 1 out"}));
}

INSTANTIATE_TEST_SUITE_P(Bridge, Faults, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return info.param.name; });

TEST_F(WineBridge, ThirtyTwoBitDllWithoutThirtyTwoBitWine)
{
    useDll("scripted32.dll");
    GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
    const std::int32_t result = readCard(out);
    if (result == KELRIN_OK)
        GTEST_SKIP() << "this machine's Wine runs 32-bit programs";
    EXPECT_EQ(result, KELRIN_BRIDGE_NO_WINE32);
    EXPECT_EQ(out.text(), "");
}

TEST_F(WineBridge, CompanionDllBesideTheDllIsFound)
{
    useDll("needs-companion64.dll");
    useDll("companion64.dll", "companion64.dll");
    GuardedBuffer version(KELRIN_VERSION_SIZE);
    EXPECT_EQ(call(F::GetDLLVersion, {}, &version), 0);
    EXPECT_EQ(lastLogLine(), "GetDLLVersion out");
}

// What the DLL prints goes to the helper's standard error, which the log
// takes beside the bridge's own lines.
TEST_F(WineBridge, DllChatterOnStandardOutputLeavesTheConversationIntact)
{
    useDll("scripted64.dll");
    settings["KELRIN_BRIDGE_LOG"] = (folder / "bridge.log").string();
    script({"GetDLLVersion 0 chatter", "ReadCard 0 text 3030303031"});
    GuardedBuffer version(KELRIN_VERSION_SIZE), card(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(call(F::GetDLLVersion, {}, &version), 0);
    EXPECT_EQ(readCard(card), 0);
    EXPECT_EQ(card.text(), "00001");
    std::ifstream in(folder / "bridge.log");
    const std::string log(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(log.find(" helper started: process "), std::string::npos) << log;
    // The C runtime's text mode ends the first line with CR LF.
    EXPECT_NE(log.find("chatter from the DLL"), std::string::npos) << log;
    EXPECT_NE(log.find("more chatter\n"), std::string::npos) << log;
}

namespace {

// A clerk's first start: the account's prefix missing, the call's time
// limit shorter than the prefix's preparation.
class FreshPrefix : public WineBridge
{
protected:
    void SetUp() override
    {
        WineBridge::SetUp();
        prefix = folder / "account" / "wine";
        settings["KELRIN_WINEPREFIX"] = prefix.string();
        settings["KELRIN_BRIDGE_TIMEOUT_MS"] = std::to_string(kLimit.count());
        useDll("scripted64.dll");
    }
    void TearDown() override
    {
        m_bridge.reset();
        // Never this process, which prepares where no kelrin-bridge is found.
        if (const auto preparer = kb::preparerOf(prefix);
            preparer && *preparer > 0 && *preparer != ::getpid())
            ::kill(*preparer, SIGKILL);
        for (const fs::path &each : preparing())
            endWine(each);
        endWine(prefix);
        WineBridge::TearDown();
    }

    // The temporary folders of preparations beside the prefix.
    std::vector<fs::path> preparing() const
    {
        std::vector<fs::path> found;
        std::error_code error;
        for (const auto &entry : fs::directory_iterator(prefix.parent_path(), error))
            if (entry.path().filename().string().starts_with(".wine.preparing-"))
                found.push_back(entry.path());
        return found;
    }
    // The prefix is whole (its registry written) or absent, never half.
    void expectWholeOrNone() const
    {
        EXPECT_TRUE(!fs::exists(prefix) || kb::prefixReady(prefix))
            << prefix << " is there without its registry";
    }
    // Calls until one is answered: each before the prefix is ready answers
    // -9008 within the call's limit, never -9006, with at most one
    // preparation at a time; once it is ready, a call may still run out of
    // time while Wine starts cold on a loaded machine. The result of the
    // first answered call.
    std::int32_t callUntilPrepared()
    {
        const auto giveUp = kb::Clock::now() + std::chrono::seconds(100);
        std::int32_t result = KELRIN_BRIDGE_PREFIX;
        while ((result == KELRIN_BRIDGE_PREFIX || result == KELRIN_BRIDGE_TIMEOUT) &&
               kb::Clock::now() < giveUp) {
            const auto called = kb::Clock::now();
            GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
            result = readCard(out);
            if (result == KELRIN_BRIDGE_PREFIX) {
                EXPECT_LT(kb::Clock::now() - called, kLimit + std::chrono::seconds(2))
                    << "a call waited for the preparation beyond its time limit";
                EXPECT_EQ(out.text(), "");
            }
            if (result == KELRIN_BRIDGE_TIMEOUT) {
                EXPECT_TRUE(kb::prefixReady(prefix)) << "-9006 from a call that prepared";
            }
            EXPECT_LE(preparing().size(), 1u) << "two preparations of one prefix";
            expectWholeOrNone();
        }
        return result;
    }
    void endWine(const fs::path &which)
    {
        const std::string command = "WINEPREFIX='" + which.string() + "' '" +
                                    fs::path(KELRIN_TEST_WINE).parent_path().string() +
                                    "/wineserver' -k 2>/dev/null";
        [[maybe_unused]] const int ended = std::system(command.c_str());
    }

    static constexpr std::chrono::milliseconds kLimit{3000};
    fs::path prefix;
};

} // namespace

TEST_F(FreshPrefix, FirstCallsAnswerBeingPreparedAndALaterCallIssuesTheCard)
{
    GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(out), KELRIN_BRIDGE_PREFIX);
    EXPECT_TRUE(kb::preparerOf(prefix)) << "the preparation ended with the call";
    EXPECT_EQ(callUntilPrepared(), KELRIN_OK);
    EXPECT_TRUE(kb::prefixReady(prefix));
    EXPECT_EQ(lastLogLine(), "ReadCard 1 out");
    EXPECT_EQ(preparing(), std::vector<fs::path>{}) << "a temporary folder was left";
}

// kelrin-bridge neither beside the bridge, nor where the package puts it,
// nor on the PATH (the bridge's files copied elsewhere): the library
// prepares the prefix itself, apart from the call all the same.
TEST_F(FreshPrefix, WithoutKelrinBridgeTheLibraryPreparesThePrefix)
{
    preparers.clear();
    fs::create_directory(folder / "empty");
    settings["PATH"] = (folder / "empty").string();
    GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(out), KELRIN_BRIDGE_PREFIX);
    EXPECT_EQ(kb::preparerOf(prefix), ::getpid()) << "no preparation runs";
    EXPECT_EQ(callUntilPrepared(), KELRIN_OK);
    EXPECT_TRUE(kb::prefixReady(prefix));
    EXPECT_EQ(lastLogLine(), "ReadCard 1 out");
}

TEST_F(FreshPrefix, PreparationKilledLeavesNoPrefixAndTheNextStartPreparesIt)
{
    GuardedBuffer out(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(out), KELRIN_BRIDGE_PREFIX);
    // A logout half-way: the preparer and every Wine process of its
    // temporary prefix end at once.
    const auto preparer = kb::preparerOf(prefix);
    ASSERT_TRUE(preparer && *preparer > 0);
    ::usleep(2000 * 1000);
    const std::vector<fs::path> halfWay = preparing();
    ASSERT_EQ(halfWay.size(), 1u);
    ASSERT_EQ(::kill(*preparer, SIGKILL), 0);
    endWine(halfWay[0]);
    ::usleep(200 * 1000);
    EXPECT_FALSE(fs::exists(prefix)) << "half a prefix in place";
    EXPECT_FALSE(kb::preparerOf(prefix));

    EXPECT_EQ(callUntilPrepared(), KELRIN_OK);
    EXPECT_TRUE(kb::prefixReady(prefix));
    EXPECT_FALSE(fs::exists(halfWay[0])) << "the killed preparation's folder was left";
}

// A shown window of the DLL waits for the clerk however long: the call goes
// on past its time limit until the helper ends (here: killed), or, with the
// display gone, until Wine ends the helper, which loses its windows.
TEST_F(WineBridge, ShownWindowHoldsTheCallPastItsTimeLimit)
{
    for (const bool displayGoes : {false, true}) {
        SCOPED_TRACE(displayGoes ? "the display goes away" : "the helper is killed");
        useDisplay();
        useDll("scripted64.dll");
        script({"ReadRecord 5 openwindow"});
        ASSERT_EQ(bridge().start(kb::kDefaultTimeLimit).result, KELRIN_OK);
        // Long enough for Wine to start the desktop for the first window on a
        // loaded machine; the call is held three times as long.
        settings["KELRIN_BRIDGE_TIMEOUT_MS"] = "2500";
        std::atomic<bool> done = false;
        std::int32_t result = 0;
        GuardedBuffer out(KELRIN_RECORD_TEXT_SIZE);
        std::thread caller([&] {
            result = call(F::ReadRecord, {kb::byteArg(1)}, &out);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(7500));
        EXPECT_FALSE(done) << "the call ended with the window still shown";
        EXPECT_EQ(lastLogLine(), "window made");
        // The bridge is busy with the call: the helper is found as the
        // process of this test's DLL log.
        const int helper = processWith("KELRIN_TEST_LOG=" + (folder / "log").string());
        EXPECT_GT(helper, 0) << "no helper runs";
        if (displayGoes)
            display->end();
        else if (helper > 0)
            ::kill(helper, SIGKILL);
        caller.join();
        EXPECT_EQ(result, KELRIN_BRIDGE_HELPER_ENDED);
        EXPECT_FALSE(alive(helper));
        TearDown();
        settings.clear();
        SetUp();
    }
}

TEST_F(WineBridge, DllFindsTheFileBesideItByARelativeName)
{
    useDll("scripted64.dll");
    std::ofstream(station / "Kelrin.ini") << "beside the DLL";
    // The station started from another folder, which has a file of that
    // name too.
    const fs::path elsewhere = folder / "elsewhere";
    fs::create_directory(elsewhere);
    std::ofstream(elsewhere / "Kelrin.ini") << "in the working folder";
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere);
    script({"ReadCard 0 readfile " + hex("Kelrin.ini")});
    GuardedBuffer card(KELRIN_CARD_HEX_SIZE);
    EXPECT_EQ(readCard(card), 0);
    EXPECT_EQ(card.text(), "beside the DLL");
    fs::current_path(before);
}

// Whatever the clerk's locale, the helper has Chinese Windows' code pages.
TEST_F(WineBridge, ChineseCodePagesWhateverTheLocale)
{
    useDll("scripted64.dll");
    for (const char *locale : {"C.UTF-8", "POSIX", "en_US.UTF-8"}) {
        SCOPED_TRACE(locale);
        ::setenv("LC_ALL", locale, 1);
        ::setenv("LANG", locale, 1);
        const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
        ASSERT_EQ(found.result, KELRIN_OK);
        EXPECT_EQ(found.hello->ansiCodePage, 936u);
        EXPECT_EQ(found.hello->oemCodePage, 936u);
        script({"ReadCard 0 codepages"});
        GuardedBuffer card(KELRIN_CARD_HEX_SIZE);
        EXPECT_EQ(readCard(card), 0);
        EXPECT_EQ(card.text(), "936 936");
    }
}
