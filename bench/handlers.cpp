// What the station itself costs around the library and the operator: the
// handlers run against a library that answers at once and dialogs that are
// answered at once, so the figures are the station's own work (field reads,
// conversions, text, the window's updates).
#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "app/handoff/Handoff.h"
#include "encoder/EncoderLibrary.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// A guest card as the library shows one, 128 characters: a card lies on the
// encoder.
const std::string kCard = "4B01010607C19D00030000000000000000000000000000000000000000000000"
                          "8F3A61C4030405060000000000000000000000000000000000000000000000A1";
const std::string kOpenRecord = "6B15458D15EA3941";

void copyText(char *out, const std::string &text)
{
    std::memcpy(out, text.c_str(), text.size() + 1);
}

// A record dump with all 224 records: header, then blocks of four.
std::string fullDump()
{
    std::string dump(592, '0');
    for (int block = 0; block < 56; ++block)
        dump += "AA0004" + kOpenRecord + kOpenRecord + kOpenRecord + kOpenRecord + "0000";
    return dump;
}

class InstantEncoder final : public EncoderLibrary
{
public:
    int32_t initializeUSB(uint8_t) override { return 0; }
    int32_t CloseUSB(uint8_t) override { return 0; }
    int32_t Buzzer(uint8_t, int32_t) override { return 0; }
    int32_t ReadCard(uint8_t, char *cardHexStr) override
    {
        copyText(cardHexStr, kCard);
        return 0;
    }
    int32_t GuestCard(uint8_t, int32_t, int32_t, int32_t, uint8_t, uint8_t, const char *,
                      const char *, const char *, char *cardHexStr) override
    {
        copyText(cardHexStr, kCard);
        return 0;
    }
    int32_t LimitCard(uint8_t, int32_t, int32_t, int32_t, const char *, const uint8_t *,
                      char *cardHexStr) override
    {
        copyText(cardHexStr, kCard);
        return 0;
    }
    int32_t CardErase(uint8_t, int32_t, char *cardHexStr) override
    {
        copyText(cardHexStr, kCard);
        return 0;
    }
    int32_t GetCardTypeByCardDataStr(const char *, char *cardType) override
    {
        copyText(cardType, "6");
        return 0;
    }
    int32_t GetGuestLockNoByCardDataStr(int32_t, const char *, char *lockNo) override
    {
        copyText(lockNo, "03040506");
        return 0;
    }
    int32_t GetGuestETimeByCardDataStr(int32_t, const char *, char *eTime) override
    {
        copyText(eTime, "2612241200");
        return 0;
    }
    int32_t ReadRecord(uint8_t, char *recordText) override
    {
        copyText(recordText, m_dump);
        return 0;
    }
    int32_t GetOpenRecordByDataStr(const char *, char *decodedRecord) override
    {
        copyText(decodedRecord, "6240517134509001");
        return 0;
    }
    int32_t GetDLLVersion(char *versionText) override
    {
        copyText(versionText, "Kelrin 1.0");
        return 0;
    }

private:
    std::string m_dump = fullDump();
};

// Every box answered OK, every prompt with its preset.
class InstantDialogs final : public OperatorDialogs
{
public:
    int messageBox(const QString &, const QString &, int) override { return AnswerOk; }
    std::optional<QString> prompt(const QString &, const QString &, const QString &value) override
    {
        ++prompts;
        return value;
    }
    long prompts = 0;
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
};

class FixedTime final : public Clock
{
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 8), QTime(9, 5, 59)); }
};

struct Station
{
    InstantEncoder encoder;
    InstantDialogs dialogs;
    FixedTime clock;
    QTemporaryDir programDir;
    std::unique_ptr<TForm1> form;

    Station()
    {
        form =
            std::make_unique<TForm1>(TForm1::Services{encoder, dialogs, clock, programDir.path()});
    }
};

void BM_Button2Click(benchmark::State &state)
{
    Station station;
    for (auto _ : state)
        station.form->Button2->click();
}
BENCHMARK(BM_Button2Click);

// All 224 records offered, decoded and shown, every question answered OK.
void BM_DoorRecordWalk(benchmark::State &state)
{
    Station station;
    for (auto _ : state)
        station.form->BitBtn11Click();
    if (station.dialogs.prompts != 224 * static_cast<long>(state.iterations()))
        state.SkipWithError("the walk did not offer all 224 records");
}
BENCHMARK(BM_DoorRecordWalk)->Unit(benchmark::kMillisecond);

// The load when the window shows, from a 1 MiB hotel.ini: other sections
// first, as a property system might leave them, the stay last.
void BM_HandoffLoad1MiB(benchmark::State &state)
{
    Station station;
    {
        QFile file(station.programDir.filePath(kHandoffFileName));
        if (!file.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write hotel.ini");
            return;
        }
        const QByteArray line = "memo=room 203, late checkout, extra towels, quiet floor\r\n";
        file.write("[GUESTS]\r\n");
        while (file.size() < (1 << 20) - 200)
            file.write(line);
        file.write("[MAIN]\r\nleavedate=261209\r\nleavetime=1200\r\nroomno=01020399\r\n"
                   "coid=508317\r\nfh=\xB6\xAB\xC2\xA5"
                   "203\r\n");
    }
    for (auto _ : state)
        station.form->FormShow();
    if (station.form->Edit1->text() != QStringLiteral("2612091200"))
        state.SkipWithError("the stay at the end of the file was not read");
}
BENCHMARK(BM_HandoffLoad1MiB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
