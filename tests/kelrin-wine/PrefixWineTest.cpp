// The prefix serving the encoder, under Wine: a prefix the bridge prepares
// has its HID bus on hidraw; one prepared by 0.3.0 is put right at the
// bridge's next start (Wine's HID bus then starts its udev back end, as
// the trace shows), never under another program running there; values the
// integrator set stay; the check's trace; the bridge's log; and a serial
// encoder on a pseudo-terminal pinned to a COM name by KELRIN_SERIAL_PORT.
//
// Each test runs in a prefix of its own, with its own Wine server: a copy
// of the set-up's registry, whose drive C: is the set-up prefix's.
#include "FakeSysfs.h"
#include "TempFolder.h"
#include "bridge.h"
#include "kelrin.h"
#include "prefix/encoder_settings.h"
#include "tool/prefix_section.h"
#include "tool/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kb = kelrin::bridge;
namespace kc = kelrin::bridge::check;
namespace reg = kelrin::bridge::registry;
namespace fs = std::filesystem;

namespace {

using F = kb::Function;

std::string fileText(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<std::uint32_t> dwordOf(const std::string &systemReg, const char *name)
{
    const auto value = reg::find(systemReg, kb::kHidBusKey, name);
    if (!value || value->type != reg::Value::Type::Dword)
        return std::nullopt;
    return value->number;
}

class OwnPrefix : public ::testing::Test
{
public:
    void SetUp() override
    {
        station = folder / "station";
        prefix = folder / "prefix";
        fs::create_directories(station);
        fs::create_directories(prefix / "dosdevices");
        const fs::path shared = KELRIN_TEST_WINEPREFIX;
        for (const char *file : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"})
            fs::copy_file(shared / file, prefix / file);
        fs::create_directory_symlink(shared / "drive_c", prefix / "drive_c");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
        fs::create_directory_symlink("/", prefix / "dosdevices" / "z:");
        settings["KELRIN_WINE"] = KELRIN_TEST_WINE;
        settings["KELRIN_WINEPREFIX"] = prefix.string();
        wineserver = *kb::wineserverFor(KELRIN_TEST_WINE);
    }
    void TearDown() override
    {
        m_bridge.reset();
        kb::endServer(wineserver, prefix, kb::Clock::now() + std::chrono::seconds(30));
        // The folder goes with the fixture: drive_c is a link, the set-up's own stays.
    }

    kb::Environment environment()
    {
        return [this](const char *name) -> std::optional<std::string> {
            if (const auto set = settings.find(name); set != settings.end())
                return set->second;
            const char *value = std::getenv(name);
            return value ? std::optional<std::string>(value) : std::nullopt;
        };
    }
    kb::Bridge &bridge()
    {
        if (!m_bridge)
            m_bridge = std::make_unique<kb::Bridge>(
                environment(),
                kb::Places{station, KELRIN_TEST_HELPERS, {KELRIN_TEST_HELPERS}, sysfs});
        return *m_bridge;
    }
    void useDll(const std::string &name)
    {
        fs::copy_file(fs::path(KELRIN_TEST_DLL_DIR) / name, station / "Kelrin.dll",
                      fs::copy_options::overwrite_existing);
    }
    std::string registry() const { return fileText(prefix / "system.reg"); }

    // The prefix as 0.3.0 prepared it: the HID bus values absent.
    void asPreparedBy030()
    {
        std::string text = registry();
        for (const std::string line :
             {"\"DisableInput\"=dword:00000001\n", "\"Enable SDL\"=dword:00000000\n"}) {
            const std::size_t at = text.find(line);
            ASSERT_NE(at, std::string::npos) << "the set-up's prefix lacks " << line;
            text.erase(at, line.size());
        }
        std::ofstream(prefix / "system.reg", std::ios::binary | std::ios::trunc) << text;
    }
    void setValue(const char *name, std::uint32_t value)
    {
        std::string error;
        ASSERT_TRUE(kb::writeChanges(prefix, {{kb::kHidBusKey, name, reg::dword(value)}}, error))
            << error;
    }

    // Wine's server of the prefix running, idle, as a login may keep it.
    void serverIdle()
    {
        kb::Child server({wineserver,
                          {"-p"},
                          kb::environmentWith(kb::wineDropped(), kb::wineSettings(prefix)),
                          false,
                          true});
        ASSERT_TRUE(server.wait(kb::Clock::now() + std::chrono::seconds(10)));
    }

    // The bridge started with Wine traced; the HID buses the trace shows
    // started, once the prefix's Wine has ended.
    std::string startTraced(kb::StartReport &found)
    {
        const fs::path trace = folder / "trace";
        bridge().traceTo(trace);
        found = bridge().start(kb::kDefaultTimeLimit);
        bridge().stop();
        kb::endServer(wineserver, prefix, kb::Clock::now() + std::chrono::seconds(30));
        return kb::busesStarted(fileText(trace));
    }

    const TempFolder temp{"bridge-prefix"};
    const fs::path folder = temp.path();
    fs::path station, prefix, wineserver;
    fs::path sysfs = "/sys"; // where the bridge finds serial adapters
    std::map<std::string, std::string> settings;
    std::unique_ptr<kb::Bridge> m_bridge;
};

// The check's lines for what the start did in the prefix's settings.
kc::Lines settingsLines(const kb::StartReport &found)
{
    return found.settings ? kc::settingsLines(*found.prefix, *found.settings) : kc::Lines{};
}

bool anyNote(const kb::StartReport &found, const std::string &part)
{
    for (const kc::Line &line : settingsLines(found)) {
        if (line.text.find(part) != std::string::npos)
            return true;
    }
    return false;
}

std::string notes(const kb::StartReport &found)
{
    std::string text;
    for (const kc::Line &line : settingsLines(found))
        text += line.label + " " + line.text + "\n";
    return text;
}

struct Start
{
    std::string name;
    std::function<void(OwnPrefix &)> arrange;
    kb::SettingsOutcome kept;
    bool restarted;
    std::optional<std::uint32_t> sdl, input; // the values after
    std::string note;                        // a part of one of the check's lines
    bool udev;                               // Wine's HID bus started its udev back end
};

void PrintTo(const Start &start, std::ostream *out)
{
    *out << start.name;
}

class PrefixStart : public OwnPrefix, public ::testing::WithParamInterface<Start>
{
};

TEST_P(PrefixStart, HidBusPutRightWhereAbsentAndTheIntegratorsValuesKept)
{
    const Start &row = GetParam();
    useDll("scripted64.dll");
    row.arrange(*this);
    kb::StartReport found;
    const std::string buses = startTraced(found);
    ASSERT_EQ(found.result, KELRIN_OK);
    ASSERT_TRUE(found.settings);
    EXPECT_EQ(found.settings->outcome, row.kept) << notes(found);
    EXPECT_EQ(found.settings->restarted, row.restarted);
    EXPECT_TRUE(anyNote(found, row.note)) << notes(found);
    const std::string after = registry();
    EXPECT_EQ(dwordOf(after, "Enable SDL"), row.sdl);
    EXPECT_EQ(dwordOf(after, "DisableInput"), row.input);
    EXPECT_EQ(buses.find("UDEV") != std::string::npos, row.udev) << "buses started: " << buses;
}

INSTANTIATE_TEST_SUITE_P(
    Prefix, PrefixStart,
    ::testing::Values(
        Start{"prepared_by_0_3_0_server_idle",
              [](OwnPrefix &t) {
                  t.asPreparedBy030();
                  t.serverIdle();
              },
              kb::SettingsOutcome::Applied, true, 0, 1, "restarted to apply it", true},
        Start{"prepared_by_0_3_0_no_server", [](OwnPrefix &t) { t.asPreparedBy030(); },
              kb::SettingsOutcome::Applied, false, 0, 1, "applied as Wine starts here", true},
        Start{"prepared_now", [](OwnPrefix &) {}, kb::SettingsOutcome::Unchanged, false, 0, 1,
              "hidraw devices reach the DLL", true},
        Start{"sdl_left_on_by_the_integrator", [](OwnPrefix &t) { t.setValue("Enable SDL", 1); },
              kb::SettingsOutcome::Unchanged, false, 1, 1, "\"Enable SDL\"=1 set in this prefix",
              false},
        Start{"input_devices_let_in_by_the_integrator",
              [](OwnPrefix &t) { t.setValue("DisableInput", 0); }, kb::SettingsOutcome::Unchanged,
              false, 0, 0, "keyboards and mice are offered", true}),
    [](const auto &info) { return info.param.name; });

TEST_F(OwnPrefix, NothingRestartedWhileAnotherProgramRunsThere)
{
    useDll("scripted64.dll");
    asPreparedBy030();
    // A Windows console waiting on its input, as a program the integrator
    // left open in the prefix.
    auto other = std::make_unique<kb::Child>(
        kb::Child::Spec{KELRIN_TEST_WINE,
                        {"cmd"},
                        kb::environmentWith(kb::wineDropped(), kb::wineSettings(prefix)),
                        true,
                        true});
    // Until Wine runs cmd.exe itself: it starts it through start.exe.
    const auto console = [&]() -> std::optional<kb::PrefixUser> {
        for (const kb::PrefixUser &user : kb::prefixProcesses(prefix).users) {
            if (user.name == "cmd.exe")
                return user;
        }
        return std::nullopt;
    };
    const auto until = kb::Clock::now() + std::chrono::seconds(60);
    while (!console() && kb::Clock::now() < until)
        ::usleep(100 * 1000);
    const auto user = console();
    ASSERT_TRUE(user);

    const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
    ASSERT_EQ(found.result, KELRIN_OK);
    EXPECT_EQ(found.settings->outcome, kb::SettingsOutcome::Waiting) << notes(found);
    EXPECT_TRUE(anyNote(found, "not yet, since ")) << notes(found);
    EXPECT_TRUE(anyNote(found, "cmd.exe (process " + std::to_string(user->pid) + ")"))
        << notes(found);
    EXPECT_EQ(::kill(user->pid, 0), 0) << "the other program was ended";
    EXPECT_EQ(dwordOf(registry(), "Enable SDL"), std::nullopt);

    // The check's trace is not taken under it either.
    settings["KELRIN_WINEPREFIX"] = prefix.string();
    const kb::Trace trace(environment(), folder / "trace");
    EXPECT_TRUE(trace.file().empty());
    EXPECT_FALSE(fs::exists(folder / "trace"));

    // Once it has ended, the next start puts the prefix right.
    bridge().stop();
    other.reset();
    kb::endServer(wineserver, prefix, kb::Clock::now() + std::chrono::seconds(30));
    m_bridge.reset();
    const kb::StartReport next = bridge().start(kb::kDefaultTimeLimit);
    EXPECT_EQ(next.settings->outcome, kb::SettingsOutcome::Applied) << notes(next);
}

// The integrator's command: its trace shows what Wine did for the check.
TEST_F(OwnPrefix, CheckTraceShowsTheLoaderAndTheHidBus)
{
    useDll("scripted64.dll");
    asPreparedBy030();
    serverIdle();
    const fs::path trace = folder / "trace.txt";
    const std::string command = "KELRIN_WINE='" + std::string(KELRIN_TEST_WINE) +
                                "' KELRIN_WINEPREFIX='" + prefix.string() + "' '" +
                                KELRIN_TEST_HELPERS + "/kelrin-bridge' check --program-folder '" +
                                station.string() + "' --trace '" + trace.string() + "'";
    FILE *pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    EXPECT_NE(out.find("HID bus:  set \"Enable SDL\"=0, \"DisableInput\"=1"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Trace:    " + trace.string() + ", "), std::string::npos) << out;
    // The buses in the order Wine started them, which varies.
    const std::size_t buses = out.find("HID buses started: ");
    ASSERT_NE(buses, std::string::npos) << out;
    EXPECT_NE(out.substr(buses, out.find('\n', buses) - buses).find("UDEV"), std::string::npos)
        << out;
    const std::string traced = fileText(trace);
    EXPECT_NE(traced.find("Kelrin.dll"), std::string::npos) << "the loader's channel";
    EXPECT_NE(traced.find(":hid:"), std::string::npos) << "the HID channel";
}

TEST_F(OwnPrefix, LogHasTheHelperStartAndEachFailureCode)
{
    useDll("serial64.dll");
    settings["KELRIN_BRIDGE_LOG"] = (folder / "bridge.log").string();
    EXPECT_EQ(bridge().call(F::Buzzer, {kb::byteArg(1), kb::intArg(1)}, nullptr),
              KELRIN_BRIDGE_NO_FUNCTION);
    const int pid = bridge().helperPid();
    std::ifstream in(folder / "bridge.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" helper started: process " + std::to_string(pid) +
                            ", kelrin-host64.exe for " + (station / "Kelrin.dll").string() +
                            " (64-bit), Wine " + KELRIN_TEST_WINE + " (wine-"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find(", prefix " + prefix.string()), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" Buzzer: -9004 Function missing from the DLL"), std::string::npos)
        << lines[1];
}

// A pseudo-terminal as the encoder's serial adapter, reached by a stable
// path (a link, as /dev/serial/by-id/... is), and a responder on its
// master side that answers one request line.
class SerialEncoder
{
public:
    explicit SerialEncoder(const fs::path &stable) : m_stable(stable)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        termios raw{};
        ::tcgetattr(m_master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_master, TCSANOW, &raw);
        // Held open, so that the master never reads a hang-up between the
        // DLL's calls.
        m_node = ::ptsname(m_master);
        m_slave = ::open(m_node.c_str(), O_RDWR | O_NOCTTY);
        fs::create_directories(stable.parent_path());
        fs::remove(stable);
        fs::create_symlink(m_node, stable);
    }
    ~SerialEncoder()
    {
        if (m_responder.joinable())
            m_responder.join();
        vanish();
    }
    bool ready() const { return m_slave >= 0; }

    // Answers the next request with `answer`; or, with `vanish`, takes the
    // node away instead, as an adapter pulled out mid-call.
    void respond(const std::string &answer, bool vanishes = false)
    {
        m_responder = std::thread([this, answer, vanishes] {
            std::string line;
            // The DLL's own read gives up after 3 s.
            const auto until = kb::Clock::now() + std::chrono::seconds(15);
            while ((line.empty() || line.back() != '\n') && kb::Clock::now() < until) {
                pollfd p{m_master, POLLIN, 0};
                char byte;
                if (::poll(&p, 1, 100) == 1 && ::read(m_master, &byte, 1) == 1)
                    line += byte;
            }
            request = line;
            ::tcgetattr(m_master, &settings);
            if (vanishes)
                vanish();
            else [[maybe_unused]]
                const ssize_t n = ::write(m_master, answer.data(), answer.size());
        });
    }
    void wait()
    {
        if (m_responder.joinable())
            m_responder.join();
    }

    std::string request;
    termios settings{};

private:
    void vanish()
    {
        // The stable path goes only while it leads here: the adapter
        // plugged in again may have it already.
        std::error_code ignored;
        if (fs::read_symlink(m_stable, ignored) == m_node)
            fs::remove(m_stable, ignored);
        for (int *fd : {&m_slave, &m_master}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    fs::path m_stable;
    std::string m_node; // the pseudo-terminal's slave, /dev/pts/N
    int m_master = -1, m_slave = -1;
    std::thread m_responder;
};

class SerialRow : public OwnPrefix, public ::testing::WithParamInterface<unsigned>
{
};

TEST_P(SerialRow, ReadCardOverAPseudoTerminalPinnedToACom)
{
    useDll("serial" + std::to_string(GetParam()) + ".dll");
    const fs::path stable = folder / "serial" / "by-id" / "usb-Kelrin_Test_Encoder-if00-port0";
    settings["KELRIN_SERIAL_PORT"] = "COM7=" + stable.string();
    ::setenv("KELRIN_TEST_COM", "COM7", 1);
    auto encoder = std::make_unique<SerialEncoder>(stable);
    ASSERT_TRUE(encoder->ready());
    const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
    if (found.result == KELRIN_BRIDGE_NO_WINE32)
        GTEST_SKIP() << "this machine's Wine runs no 32-bit programs";
    ASSERT_EQ(found.result, KELRIN_OK);
    EXPECT_EQ(found.settings->outcome, kb::SettingsOutcome::Applied) << notes(found);
    EXPECT_TRUE(anyNote(found, "COM7 pinned to " + stable.string())) << notes(found);

    char card[KELRIN_CARD_HEX_SIZE] = "unchanged";
    encoder->respond("CARD 0123456789ABCDEF\r\n");
    EXPECT_EQ(bridge().call(F::ReadCard, {kb::byteArg(1)}, card), 0);
    encoder->wait();
    EXPECT_STREQ(card, "0123456789ABCDEF");
    EXPECT_EQ(encoder->request, "READ 1\r\n");
    EXPECT_EQ(::cfgetospeed(&encoder->settings), static_cast<speed_t>(B9600));
    EXPECT_EQ(encoder->settings.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

    // The node vanishes mid-call: a result code within the time limit.
    settings["KELRIN_BRIDGE_TIMEOUT_MS"] = "10000";
    encoder->respond("", /*vanishes=*/true);
    const auto started = kb::Clock::now();
    const std::int32_t vanished = bridge().call(F::ReadCard, {kb::byteArg(1)}, card);
    encoder->wait();
    EXPECT_NE(vanished, 0);
    EXPECT_STREQ(card, "");
    EXPECT_LT(kb::Clock::now() - started, std::chrono::seconds(11));

    // Plugged in again, on another node behind the same stable path.
    encoder = std::make_unique<SerialEncoder>(stable);
    ASSERT_TRUE(encoder->ready());
    encoder->respond("CARD 00FF\r\n");
    EXPECT_EQ(bridge().call(F::ReadCard, {kb::byteArg(2)}, card), 0);
    encoder->wait();
    EXPECT_STREQ(card, "00FF");
    EXPECT_EQ(encoder->request, "READ 2\r\n");
}

INSTANTIATE_TEST_SUITE_P(Widths, SerialRow, ::testing::Values(32u, 64u),
                         [](const auto &info) { return std::to_string(info.param) + "bit"; });

} // namespace

namespace {

// A DLL that finds its adapter through SetupAPI, by vendor and product, as
// on Windows: the pinned pseudo-terminal described by a sysfs view of a USB
// serial adapter; without one (the description the bridge writes put
// back), the DLL's own "no such adapter".
struct Listing
{
    const char *name;
    std::optional<FakeAdapter> adapter;
    const char *usbId; // what the DLL looks for
    std::string note;  // a part of one of the check's lines
    std::int32_t code;
};

void PrintTo(const Listing &row, std::ostream *out)
{
    *out << row.name;
}

class SerialListing : public OwnPrefix, public ::testing::WithParamInterface<Listing>
{
};

const Listing kListings[] = {
    {"ch340_without_serial", FakeAdapter{"ch341", "1a86", "7523", "0254", ""}, "VID_1A86&PID_7523",
     "COM7 listed as Windows lists it: \"USB-SERIAL CH340 (COM7)\", USB\\VID_1A86&PID_7523\\5&", 0},
    {"ftdi_with_serial", FakeAdapter{"ftdi_sio", "0403", "6001", "0600", "A50285BI"},
     "VID_0403&PID_6001",
     "COM7 listed as Windows lists it: \"USB Serial Port (COM7)\", "
     "USB\\VID_0403&PID_6001\\A50285BI",
     0},
    {"not_described", std::nullopt, "VID_1A86&PID_7523", "which has no USB adapter here", -6},
};

} // namespace

TEST_P(SerialListing, DllFindsItsAdapterThroughSetupApi)
{
    const Listing &row = GetParam();
    useDll("serial-setupapi64.dll");
    const fs::path stable = folder / "serial" / "by-id" / "usb-Kelrin_Test_Encoder-if00-port0";
    settings["KELRIN_SERIAL_PORT"] = "COM7=" + stable.string();
    ::setenv("KELRIN_TEST_USB_ID", row.usbId, 1);
    auto encoder = std::make_unique<SerialEncoder>(stable);
    ASSERT_TRUE(encoder->ready());
    sysfs = folder / "sys";
    fs::create_directories(sysfs);
    if (row.adapter)
        layOut(sysfs, stable, *row.adapter);
    const kb::StartReport found = bridge().start(kb::kDefaultTimeLimit);
    ASSERT_EQ(found.result, KELRIN_OK);
    EXPECT_TRUE(anyNote(found, row.note)) << notes(found);

    // The check's device section shows the port as SetupAPI lists it.
    const auto devices = bridge().devices();
    ASSERT_TRUE(devices);
    const bool listed = std::any_of(
        devices->listedPorts.begin(), devices->listedPorts.end(), [&](const kb::ListedPort &port) {
            return port.portName == "COM7" && port.hardwareId.find(row.usbId) != std::string::npos;
        });
    EXPECT_EQ(listed, row.code == 0);

    char card[KELRIN_CARD_HEX_SIZE] = "unchanged";
    if (row.code == 0)
        encoder->respond("CARD 0123\r\n");
    EXPECT_EQ(bridge().call(F::ReadCard, {kb::byteArg(1)}, card), row.code);
    if (row.code == 0) {
        encoder->wait();
        EXPECT_STREQ(card, "0123");
        EXPECT_EQ(encoder->request, "READ 1\r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Serial, SerialListing, ::testing::ValuesIn(kListings),
                         [](const auto &info) { return std::string(info.param.name); });
