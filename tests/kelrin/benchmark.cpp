// Every call of libKelrin.so on a private simulated device with no latency
// and a full record memory, the largest state a call reads. The run fails
// when a call fails, and with --kelrin_max_median_us=N when a call's median
// real time is N microseconds or more or a call has no median (that takes
// --benchmark_repetitions of at least 2).
#include "PrivateDevice.h"
#include "codec.h"
#include "kelrin.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kType = KELRIN_ENCODER_KELUSB;
constexpr int32_t kHotel = 508317;
constexpr char kBegin[] = "2512071430";
constexpr char kEnd[] = "2612091200";
constexpr char kLock[] = "01020399";
constexpr uint8_t kLost[4] = {0x60, 0x12, 0xD2, 0x91};

std::string guestCard;

void expectOk(benchmark::State &state, int32_t result)
{
    if (result != KELRIN_OK)
        state.SkipWithError(kelrin_result_name(result));
}

// Runs `call` once per iteration with the port open.
template <class Call> void measure(benchmark::State &state, Call call)
{
    expectOk(state, initializeUSB(kType));
    for (auto _ : state)
        expectOk(state, call());
}

void BM_initializeUSB(benchmark::State &state)
{
    measure(state, [] { return initializeUSB(kType); });
}

void BM_CloseUSB(benchmark::State &state)
{
    measure(state, [] { return CloseUSB(kType); });
}

void BM_Buzzer(benchmark::State &state)
{
    measure(state, [] { return Buzzer(kType, 10); });
}

void BM_ReadCard(benchmark::State &state)
{
    char card[KELRIN_CARD_HEX_SIZE];
    measure(state, [&] { return ReadCard(kType, card); });
}

void BM_GuestCard(benchmark::State &state)
{
    char card[KELRIN_CARD_HEX_SIZE];
    measure(state,
            [&] { return GuestCard(kType, kHotel, 42, 0, 1, 1, kBegin, kEnd, kLock, card); });
}

void BM_LimitCard(benchmark::State &state)
{
    char card[KELRIN_CARD_HEX_SIZE];
    measure(state, [&] { return LimitCard(kType, kHotel, 7, 0, kBegin, kLost, card); });
}

void BM_CardErase(benchmark::State &state)
{
    char card[KELRIN_CARD_HEX_SIZE];
    measure(state, [&] { return CardErase(kType, kHotel, card); });
}

void BM_GetCardTypeByCardDataStr(benchmark::State &state)
{
    char type[KELRIN_FIELD_SIZE];
    measure(state, [&] { return GetCardTypeByCardDataStr(guestCard.c_str(), type); });
}

void BM_GetGuestLockNoByCardDataStr(benchmark::State &state)
{
    char lockNo[KELRIN_FIELD_SIZE];
    measure(state, [&] { return GetGuestLockNoByCardDataStr(kHotel, guestCard.c_str(), lockNo); });
}

void BM_GetGuestETimeByCardDataStr(benchmark::State &state)
{
    char eTime[KELRIN_FIELD_SIZE];
    measure(state, [&] { return GetGuestETimeByCardDataStr(kHotel, guestCard.c_str(), eTime); });
}

void BM_ReadRecord(benchmark::State &state)
{
    std::vector<char> dump(KELRIN_RECORD_TEXT_SIZE);
    measure(state, [&] { return ReadRecord(kType, dump.data()); });
}

void BM_GetOpenRecordByDataStr(benchmark::State &state)
{
    char decoded[KELRIN_FIELD_SIZE];
    measure(state, [&] { return GetOpenRecordByDataStr("6B15458D15EA3941", decoded); });
}

void BM_GetDLLVersion(benchmark::State &state)
{
    char version[KELRIN_VERSION_SIZE];
    measure(state, [&] { return GetDLLVersion(version); });
}

BENCHMARK(BM_initializeUSB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CloseUSB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Buzzer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadCard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GuestCard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LimitCard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CardErase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetCardTypeByCardDataStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetGuestLockNoByCardDataStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetGuestETimeByCardDataStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetOpenRecordByDataStr)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetDLLVersion)->Unit(benchmark::kMicrosecond);

// The console report, and a note of each failed call and, when a limit is
// given, of each median at or above it.
class Check : public benchmark::ConsoleReporter
{
public:
    explicit Check(std::optional<double> limitUs) : m_limitUs(limitUs) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred)
                m_failures.push_back(run.benchmark_name() + ": " + run.error_message);
            if (!m_limitUs || run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            m_withMedian.insert(run.run_name.str());
            const double us =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
            if (us >= *m_limitUs)
                m_failures.push_back(run.run_name.str() + ": median " + std::to_string(us) +
                                     " us, limit " + std::to_string(*m_limitUs) + " us");
        }
    }

    // Says each failure on standard error; true when there was none and, with
    // a limit, each of the `ran` benchmarks had its median.
    bool passed(std::size_t ran)
    {
        if (ran == 0)
            m_failures.push_back("no benchmark ran");
        else if (m_limitUs && m_withMedian.size() != ran)
            m_failures.push_back(std::to_string(m_withMedian.size()) + " medians for " +
                                 std::to_string(ran) +
                                 " benchmarks: run with --benchmark_repetitions=2 or more");
        for (const std::string &failure : m_failures)
            std::cerr << "FAILED " << failure << "\n";
        return m_failures.empty();
    }

private:
    std::optional<double> m_limitUs;
    std::set<std::string> m_withMedian;
    std::vector<std::string> m_failures;
};

} // namespace

int main(int argc, char **argv)
{
    constexpr std::string_view kLimitFlag = "--kelrin_max_median_us=";
    std::optional<double> limitUs;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::string_view arg = argv[i]; arg.starts_with(kLimitFlag))
            limitUs = std::stod(std::string(arg.substr(kLimitFlag.size())));
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;

    const PrivateDevice device;
    device.change([](kelrin::DeviceState &state) {
        for (unsigned i = 0; i < kelrin::kMaxRecords; ++i)
            state.addRecord(*kelrin::makeRecord(6, "251207143005", static_cast<uint16_t>(i)));
    });
    kelrin::Card card = kelrin::blankCard(1);
    card.type = kelrin::kCardTypeGuest;
    card.hotel = kHotel;
    card.serial = 42;
    card.from = kBegin;
    card.until = kEnd;
    card.lockNo = kLock;
    guestCard = kelrin::encodeCard(card);

    Check check(limitUs);
    const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&check);
    benchmark::Shutdown();
    return check.passed(ran) ? 0 : 1;
}
