// What the Wine bridge adds to a call: calls through the bridge to the
// scripted test DLL under Wine, which answers at once (no script, no log),
// so that nearly all of the time is the bridge's: marshalling, the pipe to
// the helper and back, the helper's dispatch. With the stand-in built as a
// DLL instead, the same calls with a real library's work behind them. It
// prints the figures and judges no timing; the run fails only when a call
// fails.
//
// BRIDGE_BENCH_DLL names the DLL, BRIDGE_BENCH_HELPERS the folder of the
// helpers (and of the supplied libusb0.dll); Wine and the prefix come as for the station (KELRIN_WINE,
// KELRIN_WINEPREFIX).
#include "bridge.h"
#include "kelrin.h"
#include "prefix/port_listing.h"

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

// What listing a serial adapter as Windows lists it adds to a helper start
// that restarts Wine: the edits worked out from a registry file of Wine's
// size (75000 lines) and made in it, both the first time and when the
// listing is there already.
std::string wineSizedRegistry()
{
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\Machine\n\n";
    for (int key = 0; text.size() < 3'000'000; ++key) {
        text += "[Software\\Classes\\CLSID\\{" + std::to_string(100000 + key) +
                "}] 1796774061\n#time=1dd876f71bd97ae\n";
        for (int value = 0; value < 6; ++value)
            text +=
                "\"Value" + std::to_string(value) + "\"=\"C:\\\\windows\\\\system32\\\\x.dll\"\n";
        text += "\n";
    }
    return text;
}

const kb::MappedPort kCh340{
    3, {"ttyUSB0", 0x1A86, 0x7523, 0x0254, "", "QinHeng", "USB Serial", "ch341", "1-1.2", 0}};

void BM_PortListing_First(benchmark::State &state)
{
    static const std::string registry = wineSizedRegistry();
    for (auto _ : state) {
        auto text = kb::registry::apply(registry, kb::portListingEdits(registry, {kCh340}));
        benchmark::DoNotOptimize(text);
    }
}

void BM_PortListing_AlreadyListed(benchmark::State &state)
{
    static const std::string registry = *kb::registry::apply(
        wineSizedRegistry(), kb::portListingEdits(wineSizedRegistry(), {kCh340}));
    for (auto _ : state)
        benchmark::DoNotOptimize(kb::portListingEdits(registry, {kCh340}));
}

BENCHMARK(BM_PortListing_First)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PortListing_AlreadyListed)->Unit(benchmark::kMicrosecond);
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
    // device calls only then. BRIDGE_BENCH_ENCODER_TYPE 0: an encoder with a
    // driver.
    const char *type = std::getenv("BRIDGE_BENCH_ENCODER_TYPE");
    const auto encoderType = static_cast<std::uint8_t>(type ? std::atoi(type) : 1);
    const int32_t opened = found.result == KELRIN_OK
                               ? bridge->call(kb::Function::initializeUSB,
                                              {kb::byteArg(encoderType)}, nullptr)
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
