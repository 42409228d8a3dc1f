#pragma once
// The bridge's tests' station folder, shared by the tests that run under
// Wine (BridgeTest.cpp) and the fault rows that never start it
// (BridgeFaultsTest.cpp). Built with KELRIN_TEST_WINE, it runs the
// set-up's Wine in the set-up's prefix; without, a Wine that only notes
// being started and a prefix that reads as prepared.
#include "GuardedBuffer.h"
#include "TempFolder.h"
#include "bridge.h"
#include "kelrin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kb = kelrin::bridge;
namespace fs = std::filesystem;

using F = kb::Function;

// An X server of the test's own (Xvfb, no window manager), for the DLL's
// windows: DISPLAY names it while it runs.
class PrivateDisplay
{
public:
    PrivateDisplay()
        : m_server(kb::Child::Spec{
              "/usr/bin/Xvfb",
              {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
              kb::environmentWith({}, {}),
              true,
              true})
    {
        std::string number;
        char c = 0;
        const auto deadline = kb::Clock::now() + std::chrono::seconds(10);
        while (m_server.receive(&c, 1, deadline) == kb::Child::Outcome::Done && c != '\n')
            number += c;
        EXPECT_FALSE(number.empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    ~PrivateDisplay() { end(); }
    void end()
    {
        m_server.kill();
        ::unsetenv("DISPLAY");
    }

private:
    kb::Child m_server;
};

// The station folder of one test: one of the DLLs built here as its
// Kelrin.dll, the DLL's script and log, and a bridge in front of it.
class WineBridge : public ::testing::Test
{
public:
    void SetUp() override
    {
        station = folder / "station";
        fs::create_directory(station);
        ::setenv("KELRIN_TEST_SCRIPT", (folder / "script").c_str(), 1);
        ::setenv("KELRIN_TEST_LOG", (folder / "log").c_str(), 1);
#ifdef KELRIN_TEST_WINE
        // The set-up's Wine and prefix, never the account's own.
        ::setenv("KELRIN_WINE", KELRIN_TEST_WINE, 1);
        ::setenv("KELRIN_WINEPREFIX", KELRIN_TEST_WINEPREFIX, 1);
#else
        // No Wine here: one that only notes that it was started, and a
        // prefix that reads as prepared, so that a test that would start
        // Wine shows it (wineStarted) rather than waiting for a prefix.
        ::setenv("KELRIN_WINE",
                 writeScript(kWineNeverStarted, "touch \"$0.started\"\nexit 1").c_str(), 1);
        fs::create_directory(folder / "prefix");
        std::ofstream(folder / "prefix" / "system.reg") << "";
        ::setenv("KELRIN_WINEPREFIX", (folder / "prefix").c_str(), 1);
#endif
    }
    void TearDown() override
    {
        m_bridge.reset();
        display.reset();
#ifdef KELRIN_TEST_WINE
        if (const auto prefix = settings.find("KELRIN_WINEPREFIX"); prefix != settings.end())
            std::system(("WINEPREFIX='" + prefix->second + "' '" +
                         (fs::path(KELRIN_TEST_WINE).parent_path() / "wineserver").string() +
                         "' -k")
                            .c_str());
#endif
    }

#ifdef KELRIN_TEST_WINE
    // A display of the test's own, and a prefix of its own for it: Wine's
    // desktop, which its windows need, lives on the display of whoever
    // started it first and ends with it. The prefix is the set-up's, linked
    // (Wine replaces its registry files rather than writing into them, and
    // they are copied all the same).
    void useDisplay()
    {
        display = std::make_unique<PrivateDisplay>();
        const fs::path prefix = folder / "prefix";
        ASSERT_EQ(std::system(("cp -al '" + std::string(KELRIN_TEST_WINEPREFIX) + "' '" +
                               prefix.string() + "'")
                                  .c_str()),
                  0);
        for (const char *registry : {"system.reg", "user.reg", "userdef.reg"}) {
            fs::remove(prefix / registry);
            fs::copy_file(fs::path(KELRIN_TEST_WINEPREFIX) / registry, prefix / registry);
        }
        settings["KELRIN_WINEPREFIX"] = prefix.string();
    }
#endif

    void useDll(const std::string &name, const std::string &as = "Kelrin.dll")
    {
        fs::copy_file(fs::path(KELRIN_TEST_DLL_DIR) / name, station / as,
                      fs::copy_options::overwrite_existing);
    }
    void script(const std::vector<std::string> &lines)
    {
        std::ofstream file(folder / "script", std::ios::binary);
        for (const std::string &line : lines)
            file << line << '\n';
    }
    std::vector<std::string> log() const
    {
        std::ifstream file(folder / "log", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
    std::string lastLogLine() const
    {
        const auto lines = log();
        return lines.empty() ? "" : lines.back();
    }

    kb::Bridge &bridge()
    {
        if (!m_bridge) {
            kb::Environment env = [this](const char *name) -> std::optional<std::string> {
                if (const auto set = settings.find(name); set != settings.end())
                    return set->second;
                const char *value = std::getenv(name);
                return value ? std::optional<std::string>(value) : std::nullopt;
            };
            m_bridge = std::make_unique<kb::Bridge>(env, kb::Places{station, helpers, preparers});
        }
        return *m_bridge;
    }

    // One call with an output buffer of the function's capacity (or none).
    std::int32_t call(F function, std::vector<kb::Argument> inputs, GuardedBuffer *out = nullptr)
    {
        return bridge().call(function, std::move(inputs), out ? out->data() : nullptr);
    }
    std::int32_t readCard(GuardedBuffer &out)
    {
        return call(F::ReadCard, {kb::byteArg(1)}, &out);
    }

    static constexpr const char *kWineNeverStarted = "wine-never-started";
    bool wineStarted() const
    {
        return fs::exists(folder / (std::string(kWineNeverStarted) + ".started"));
    }

    fs::path writeScript(const std::string &name, const std::string &body)
    {
        const fs::path path = folder / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    const TempFolder temp{"bridge-wine"};
    const fs::path folder = temp.path();
    fs::path station;
    fs::path helpers = KELRIN_TEST_HELPERS;
    std::vector<fs::path> preparers{KELRIN_TEST_HELPERS}; // where kelrin-bridge may be
    std::map<std::string, std::string> settings;          // the environment as the test changes it
    std::unique_ptr<PrivateDisplay> display;
    std::unique_ptr<kb::Bridge> m_bridge;
};

// A way the road to the DLL fails: set up by `arrange`, shown by `act`
// answering `code` with its output emptied; `recovers` when the next call
// works again with the same bridge.
struct Fault
{
    std::string name;
    std::function<void(WineBridge &)> arrange;
    std::int32_t code;
    bool recovers;
    std::function<std::int32_t(WineBridge &, GuardedBuffer &)> act;
};

inline void PrintTo(const Fault &fault, std::ostream *out)
{
    *out << fault.name;
}

inline std::int32_t readCardAct(WineBridge &t, GuardedBuffer &out)
{
    return t.readCard(out);
}
