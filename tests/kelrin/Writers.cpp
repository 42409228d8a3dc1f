#include "Writers.h"

#include "kelrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace {

constexpr uint8_t kType = KELRIN_ENCODER_KELUSB;
constexpr int kRecordsEach = 20;
constexpr int kDllBeepsInTheRace = 5;

// Reads what is left of the pipe and closes it; -1 when it did not end well.
int finish(FILE *pipe, std::string &output)
{
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ends the DLL's writer however the test ends: the stop file, then its end.
struct DllWriter
{
    explicit DllWriter(std::filesystem::path stopFile) : stop(std::move(stopFile)) {}
    std::filesystem::path stop;
    FILE *pipe = nullptr;
    DllWriter(const DllWriter &) = delete;
    DllWriter &operator=(const DllWriter &) = delete;
    ~DllWriter()
    {
        if (pipe) {
            std::ofstream{stop};
            ::pclose(pipe);
        }
    }
};

} // namespace

std::string quoted(const std::string &text)
{
    return "'" + text + "'";
}

ToolRun runCommand(const std::string &command)
{
    ToolRun run;
    FILE *pipe = ::popen(("exec 2>&1; " + command).c_str(), "r");
    if (pipe)
        run.status = finish(pipe, run.output);
    return run;
}

ToolRun runTool(const std::string &arguments)
{
    return runCommand(quoted(KELRIN_SIM_TOOL) + " " + arguments);
}

void expectNoWriteLost(const PrivateDevice &device, int toolLoops, const std::string &dllBeeper)
{
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    DllWriter dll{device.folder / "stop"};
    if (!dllBeeper.empty()) {
        // Its first beep is done before the others start, so that all overlap.
        dll.pipe = ::popen((dllBeeper + " " + quoted(dll.stop) + " 2>&1").c_str(), "r");
        ASSERT_NE(dll.pipe, nullptr);
        char line[256] = {};
        ASSERT_NE(std::fgets(line, sizeof line, dll.pipe), nullptr)
            << "the DLL's writer said nothing";
        ASSERT_STREQ(line, "ready\n");
    }
    // Each loop leaves a file "done<p>" when it ends, however it ends.
    std::vector<FILE *> loops;
    std::vector<std::filesystem::path> done;
    for (int p = 0; p < toolLoops; ++p) {
        done.push_back(device.folder / ("done" + std::to_string(p)));
        const std::string loop =
            "(for i in $(seq 10 " + std::to_string(9 + kRecordsEach) + "); do " +
            quoted(KELRIN_SIM_TOOL) + " add-record 6 2512071430$i " + std::to_string(p) +
            " >/dev/null || exit 1; done); s=$?; : >" + quoted(done.back()) + "; exit $s";
        loops.push_back(::popen(loop.c_str(), "r"));
        ASSERT_NE(loops.back(), nullptr);
    }
    const auto allDone = [&] {
        return std::all_of(done.begin(), done.end(),
                           [](const auto &file) { return std::filesystem::exists(file); });
    };
    // Beeps on until the loops are done and the DLL has beeped a few times
    // more beside them: under Wine a wait for a lock held from Linux is a
    // retry every 100 ms, so this busy loop would otherwise starve it.
    std::uint64_t beeps = 0;
    const auto dllBeepsSoFar = [&] { return dll.pipe ? device.load().beeps - beeps : 0; };
    const std::uint64_t dllBeepsWanted = dll.pipe ? 1 + kDllBeepsInTheRace : 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    do {
        ASSERT_EQ(Buzzer(kType, 1), KELRIN_OK);
        ++beeps;
    } while ((!allDone() || dllBeepsSoFar() < dllBeepsWanted) &&
             std::chrono::steady_clock::now() < deadline);
    for (FILE *loop : loops)
        EXPECT_EQ(::pclose(loop), 0) << "a tool run failed";
    std::uint64_t dllBeeps = 0;
    if (dll.pipe) {
        std::ofstream{dll.stop};
        // Up to its last line: a Wine server it started may hold the pipe open.
        std::string said;
        char line[256];
        while (said.find("beeps ") == std::string::npos && std::fgets(line, sizeof line, dll.pipe))
            said += line;
        EXPECT_EQ(::pclose(std::exchange(dll.pipe, nullptr)), 0) << said;
        EXPECT_EQ(std::sscanf(said.c_str(), "beeps %lu", &dllBeeps), 1) << said;
        EXPECT_GE(dllBeeps, dllBeepsWanted);
    }

    const kelrin::DeviceState state = device.load();
    EXPECT_EQ(state.records.size(), 6 + toolLoops * kRecordsEach);
    EXPECT_EQ(state.beeps, beeps + dllBeeps) << beeps << " here, " << dllBeeps << " by the DLL";
    EXPECT_GT(beeps, 0u);
    for (int p = 0; p < toolLoops; ++p) {
        const auto fromProcess = std::count_if(
            state.records.begin(), state.records.end(),
            [&](const kelrin::OpenRecord &r) { return r.door == p && r.type == 6 && r.day == 7; });
        EXPECT_EQ(fromProcess, kRecordsEach) << "process " << p;
    }
}
