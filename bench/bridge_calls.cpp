// What the Wine bridge adds to a call: calls through the bridge to the
// scripted test DLL under Wine, which answers at once (no script, no log),
// so that nearly all of the time is the bridge's: marshalling, the pipe to
// the helper and back, the helper's dispatch. With the stand-in built as a
// DLL instead, the same calls with a real library's work behind them. It
// prints the figures and judges no timing; the run fails only when a call
// fails.
//
// BRIDGE_BENCH_DLL names the DLL, BRIDGE_BENCH_HELPERS the folder of the
// helpers; Wine and the prefix come as for the station (KELRIN_WINE,
// KELRIN_WINEPREFIX).
#include "bridge.h"
#include "kelrin.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

namespace kb = kelrin::bridge;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<kb::Bridge> bridge;
fs::path station;

void expectOk(benchmark::State &state, int32_t result)
{
    if (result != KELRIN_OK)
        state.SkipWithError(("the call answered " + std::to_string(result)).c_str());
}

void measure(benchmark::State &state, kb::Function function, std::vector<kb::Argument> inputs)
{
    std::vector<char> out(KELRIN_RECORD_TEXT_SIZE);
    for (auto _ : state)
        expectOk(state, bridge->call(function, inputs, out.data()));
}

void BM_Bridge_Buzzer(benchmark::State &state)
{
    measure(state, kb::Function::Buzzer, {kb::byteArg(1), kb::intArg(20)});
}

void BM_Bridge_ReadCard(benchmark::State &state)
{
    measure(state, kb::Function::ReadCard, {kb::byteArg(1)});
}

void BM_Bridge_GuestCard(benchmark::State &state)
{
    measure(state, kb::Function::GuestCard,
            {kb::byteArg(1), kb::intArg(508317), kb::intArg(0), kb::intArg(0), kb::byteArg(1),
             kb::byteArg(1), kb::textArg("2512071430"), kb::textArg("2612091200"),
             kb::textArg("01020399")});
}

void BM_Bridge_ReadRecord(benchmark::State &state)
{
    measure(state, kb::Function::ReadRecord, {kb::byteArg(1)});
}

BENCHMARK(BM_Bridge_Buzzer);
BENCHMARK(BM_Bridge_ReadCard);
BENCHMARK(BM_Bridge_GuestCard);
BENCHMARK(BM_Bridge_ReadRecord);

} // namespace

int main(int argc, char *argv[])
{
    const char *dll = std::getenv("BRIDGE_BENCH_DLL");
    const char *helpers = std::getenv("BRIDGE_BENCH_HELPERS");
    if (!dll || !helpers) {
        std::cerr << "set BRIDGE_BENCH_DLL and BRIDGE_BENCH_HELPERS (bench/run does)\n";
        return 2;
    }
    // The DLL without script or log: it answers at once.
    ::unsetenv("KELRIN_TEST_SCRIPT");
    ::unsetenv("KELRIN_TEST_LOG");
    std::string folder = (fs::temp_directory_path() / "bridge-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return 1;
    station = folder;
    fs::copy_file(dll, station / "Kelrin.dll");
    bridge = std::make_unique<kb::Bridge>(kb::processEnvironment(),
                                          kb::Places{station, helpers, {helpers}});
    const kb::StartReport found = bridge->start(kb::timeLimit(kb::processEnvironment()));
    int status = 1;
    // The port open, as the station opens it: a stateful DLL answers the
    // device calls only then.
    const int32_t opened = found.result == KELRIN_OK ? bridge->call(kb::Function::initializeUSB,
                                                                    {kb::byteArg(1)}, nullptr)
                                                     : found.result;
    if (opened != KELRIN_OK) {
        std::cerr << "the helper did not start or open the port: " << opened << '\n';
    } else {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        status = 0;
    }
    bridge.reset();
    fs::remove_all(station);
    return status;
}
