// Every call of libKelrin.so on a private simulated device with no latency
// and a full record memory, the largest state a call reads. It prints the
// figures and judges no timing; the run fails only when a call fails.
#include "codec.h"
#include "kelrin.h"
#include "tests/support/PrivateDevice.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
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

// The report in the format asked for (--benchmark_format), and a note of
// each call that failed, so that the run fails with it.
class Check : public benchmark::BenchmarkReporter
{
public:
    Check() : m_display(benchmark::CreateDefaultDisplayReporter()) {}

    bool ReportContext(const Context &context) override
    {
        return m_display->ReportContext(context);
    }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        m_display->ReportRuns(runs);
        for (const Run &run : runs)
            if (run.error_occurred)
                m_failures.push_back(run.benchmark_name() + ": " + run.error_message);
    }
    void Finalize() override { m_display->Finalize(); }

    // Says each failure on standard error; true when there was none.
    bool passed(std::size_t ran)
    {
        if (ran == 0)
            m_failures.push_back("no benchmark ran");
        for (const std::string &failure : m_failures)
            std::cerr << "FAILED " << failure << "\n";
        return m_failures.empty();
    }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> m_display;
    std::vector<std::string> m_failures;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
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

    Check check;
    const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&check);
    benchmark::Shutdown();
    return check.passed(ran) ? 0 : 1;
}
