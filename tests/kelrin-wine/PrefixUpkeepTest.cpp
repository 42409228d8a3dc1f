// What the bridge reads and writes in a prefix's registry file, without
// Wine: values found across keys and letter cases, values set without
// disturbing their neighbours, what a prefix needs for the encoder and what
// it reports of the integrator's own values, the serial setting's forms,
// the log's lines and a registry that cannot be written.
#include "TempFolder.h"
#include "bridgelog.h"
#include "kelrin.h"
#include "prefix/encoder_settings.h"
#include "prefix/registry.h"
#include "settings.h"
#include "tool/prefix_section.h"
#include "tool/trace.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kb = kelrin::bridge;
namespace kc = kelrin::bridge::check;
namespace reg = kelrin::bridge::registry;
namespace fs = std::filesystem;

namespace {

using Type = reg::Value::Type;

// As Wine 8.0 writes it, cut down: the HID bus's key between two others.
const std::string kFresh = "WINE REGISTRY Version 2\n"
                           ";; All keys relative to REGISTRY\\\\Machine\n"
                           "\n"
                           "#arch=win64\n"
                           "\n"
                           "[Software\\\\Wine\\\\Ports] 1796774028\n"
                           "#time=1dd876f5e25f7ea\n"
                           "\n"
                           "[System\\\\CurrentControlSet\\\\Services\\\\winebus] 1796774061\n"
                           "#time=1dd876f71bd97ae\n"
                           "\"Description\"=\"Wine HID bus driver\"\n"
                           "\"ImagePath\"=\"C:\\\\windows\\\\system32\\\\drivers\\\\winebus.sys\"\n"
                           "\"Start\"=dword:00000003\n"
                           "\n"
                           "[System\\\\CurrentControlSet\\\\Services\\\\winehid] 1796774061\n"
                           "#time=1dd876f71bd97ae\n"
                           "\"Enable SDL\"=dword:00000007\n"
                           "\"Blob\"=hex:01,02,\\\n"
                           "  03,04\n"
                           "\"Start\"=dword:00000003\n";

std::string withLine(const std::string &after, const std::string &line)
{
    std::string file = kFresh;
    return file.insert(file.find(after) + after.size(), line);
}

const std::string kWinebusTime = "#time=1dd876f71bd97ae\n";

struct Found
{
    std::string name, key, value;
    std::optional<Type> type; // nothing: not found
    std::uint32_t number;
    std::string text;
};

void PrintTo(const Found &row, std::ostream *out)
{
    *out << row.name;
}

class RegistryFind : public ::testing::TestWithParam<Found>
{
};

TEST_P(RegistryFind, ValueOfItsOwnKeyOnly)
{
    const Found &row = GetParam();
    const auto value = reg::find(kFresh, row.key, row.value);
    ASSERT_EQ(value.has_value(), row.type.has_value());
    if (!value)
        return;
    EXPECT_EQ(value->type, *row.type);
    EXPECT_EQ(value->number, row.number);
    EXPECT_EQ(value->text, row.text);
}

const char *kBus = "System\\CurrentControlSet\\Services\\winebus";
const char *kHid = "System\\CurrentControlSet\\Services\\winehid";

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryFind,
    ::testing::Values(Found{"dword", kBus, "Start", Type::Dword, 3, ""},
                      Found{"any_letter_case", "system\\currentcontrolset\\SERVICES\\WineBus",
                            "start", Type::Dword, 3, ""},
                      Found{"string_unescaped", kBus, "ImagePath", Type::String, 0,
                            "C:\\windows\\system32\\drivers\\winebus.sys"},
                      Found{"not_taken_from_the_next_key", kBus, "Enable SDL", std::nullopt, 0, ""},
                      Found{"from_its_own_key", kHid, "Enable SDL", Type::Dword, 7, ""},
                      Found{"hex_is_other", kHid, "Blob", Type::Other, 0, "hex:01,02,\\"},
                      Found{"key_absent", "System\\CurrentControlSet\\Services\\nothing", "Start",
                            std::nullopt, 0, ""},
                      Found{"key_name_is_not_a_prefix", "System\\CurrentControlSet\\Services\\wine",
                            "Start", std::nullopt, 0, ""}),
    [](const auto &info) { return info.param.name; });

struct Setting
{
    std::string name, key, value;
    reg::Value set;
    std::string expected; // the whole file after
};

void PrintTo(const Setting &row, std::ostream *out)
{
    *out << row.name;
}

class RegistrySet : public ::testing::TestWithParam<Setting>
{
};

TEST_P(RegistrySet, ChangesThatLineAndNoOther)
{
    const Setting &row = GetParam();
    const auto changed = reg::set(kFresh, row.key, row.value, row.set);
    ASSERT_TRUE(changed);
    EXPECT_EQ(*changed, row.expected);
    const auto read = reg::find(*changed, row.key, row.value);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->number, row.set.number);
    EXPECT_EQ(read->text, row.set.text);
}

std::string replaced(const std::string &from, const std::string &to)
{
    std::string file = kFresh;
    return file.replace(file.find(from), from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistrySet,
    ::testing::Values(
        Setting{
            "added_after_the_key_options", kBus, "Enable SDL", reg::dword(0),
            withLine("winebus] 1796774061\n" + kWinebusTime, "\"Enable SDL\"=dword:00000000\n")},
        Setting{"replaced_in_place", kHid, "enable sdl", reg::dword(0x1a),
                replaced("\"Enable SDL\"=dword:00000007\n", "\"enable sdl\"=dword:0000001a\n")},
        Setting{"continued_data_replaced_whole", kHid, "Blob", reg::dword(1),
                replaced("\"Blob\"=hex:01,02,\\\n  03,04\n", "\"Blob\"=dword:00000001\n")},
        Setting{"string_escaped", "Software\\Wine\\Ports", "COM3",
                reg::string("/dev/serial/by-id/a\\x20\"b"),
                withLine("Ports] 1796774028\n#time=1dd876f5e25f7ea\n",
                         "\"COM3\"=\"/dev/serial/by-id/a\\\\x20\\\"b\"\n")},
        Setting{"key_added_at_the_end", "Software\\Wine\\Serial Test", "COM1",
                reg::string("/dev/ttyUSB0"),
                kFresh + "\n[Software\\\\Wine\\\\Serial Test]\n\"COM1\"=\"/dev/ttyUSB0\"\n"}),
    [](const auto &info) { return info.param.name; });

TEST(Registry, StringOutsidePrintableAsciiIsNotWritten)
{
    EXPECT_FALSE(reg::set(kFresh, kBus, "Path", reg::string("/dev/\xE4\xB8\xAD")));
    EXPECT_FALSE(reg::set(kFresh, kBus, "Path", reg::string("/dev/a\nb")));
}

struct Need
{
    std::string name;
    std::string file;
    std::optional<std::string> serial;
    std::vector<std::string> changes; // "name=value"
    std::string note;                 // a part of the one note expected, or "" for none
    bool hidBusRight;
};

void PrintTo(const Need &row, std::ostream *out)
{
    *out << row.name;
}

class PrefixReview : public ::testing::TestWithParam<Need>
{
};

TEST_P(PrefixReview, ChangesWhatIsAbsentAndReportsWhatTheIntegratorSet)
{
    const Need &row = GetParam();
    const kb::Review review = kb::review(row.file, row.serial);
    std::vector<std::string> changes;
    for (const kb::Change &change : review.changes)
        changes.push_back(change.name + "=" +
                          (change.value.type == Type::Dword ? std::to_string(change.value.number)
                                                            : change.value.text));
    EXPECT_EQ(changes, row.changes);
    const kc::Lines notes = kc::reviewLines("/prefix", review, row.serial);
    if (row.note.empty()) {
        EXPECT_TRUE(notes.empty()) << notes.front().text;
    } else {
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].text.find(row.note), std::string::npos) << notes[0].text;
    }
    EXPECT_EQ(review.hidBusRight, row.hidBusRight);
}

const std::string kBusRight =
    withLine("winebus] 1796774061\n" + kWinebusTime,
             "\"DisableInput\"=dword:00000001\n\"Enable SDL\"=dword:00000000\n");
const std::string kPinned = withLine("Ports] 1796774028\n#time=1dd876f5e25f7ea\n",
                                     "\"COM3\"=\"/dev/serial/by-id/usb-x\"\n");

INSTANTIATE_TEST_SUITE_P(
    Prefix, PrefixReview,
    ::testing::Values(
        Need{"prepared_by_0_3_0",
             kFresh,
             std::nullopt,
             {"Enable SDL=0", "DisableInput=1"},
             "",
             true},
        Need{"already_right", kBusRight, std::nullopt, {}, "", true},
        Need{"sdl_left_on_by_the_integrator",
             withLine(kWinebusTime, "\"Enable SDL\"=dword:00000001\n"),
             std::nullopt,
             {"DisableInput=1"},
             "hidraw devices are invisible to the DLL",
             false},
        Need{"sdl_as_a_string_reads_as_on",
             withLine(kWinebusTime, "\"Enable SDL\"=\"0\"\n"),
             std::nullopt,
             {"DisableInput=1"},
             "not as a dword",
             false},
        Need{"hidraw_turned_off",
             withLine(kWinebusTime, "\"DisableHidraw\"=dword:00000001\n"),
             std::nullopt,
             {"Enable SDL=0", "DisableInput=1"},
             "\"DisableHidraw\"=1 set in this prefix: hidraw devices are invisible",
             false},
        Need{"input_devices_let_in",
             withLine(kWinebusTime, "\"DisableInput\"=dword:00000000\n"),
             std::nullopt,
             {"Enable SDL=0"},
             "keyboards and mice are offered",
             true},
        Need{"serial_pinned_where_absent",
             kBusRight,
             "COM3=/dev/serial/by-id/usb-x",
             {"COM3=/dev/serial/by-id/usb-x"},
             "",
             true},
        Need{"serial_already_pinned",
             kPinned + "",
             "COM3=/dev/serial/by-id/usb-x",
             {"Enable SDL=0", "DisableInput=1"},
             "",
             true},
        Need{"serial_pinned_elsewhere_moves",
             kPinned,
             "com3=/dev/ttyACM0",
             {"Enable SDL=0", "DisableInput=1", "COM3=/dev/ttyACM0"},
             "",
             true},
        Need{"serial_setting_malformed", kBusRight, "/dev/ttyUSB0", {}, "no adapter pinned", true},
        Need{"serial_setting_empty_is_unset", kBusRight, "", {}, "", true}),
    [](const auto &info) { return info.param.name; });

struct Pin
{
    std::string setting;
    unsigned number; // 0: refused
    std::string path;
};

void PrintTo(const Pin &pin, std::ostream *out)
{
    *out << pin.setting;
}

class SerialSetting : public ::testing::TestWithParam<Pin>
{
};

TEST_P(SerialSetting, TakesComNumbersWineMapsAndAbsolutePrintablePaths)
{
    kb::PinProblem problem = kb::PinProblem::None;
    const auto pin = kb::parseSerialPin(GetParam().setting, problem);
    if (GetParam().number == 0) {
        EXPECT_FALSE(pin) << GetParam().setting;
        EXPECT_NE(problem, kb::PinProblem::None);
        return;
    }
    ASSERT_TRUE(pin) << GetParam().setting << ": " << static_cast<int>(problem);
    EXPECT_EQ(pin->number, GetParam().number);
    EXPECT_EQ(pin->path, GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Serial, SerialSetting,
                         ::testing::Values(Pin{"COM1=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
                                               1, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
                                           Pin{"com255=/dev/ttyUSB0", 255, "/dev/ttyUSB0"},
                                           Pin{"COM7=/dev/with=equals", 7, "/dev/with=equals"},
                                           Pin{"COM0=/dev/x", 0, ""}, Pin{"COM256=/dev/x", 0, ""},
                                           Pin{"COM01=/dev/x", 0, ""}, Pin{"COM=/dev/x", 0, ""},
                                           Pin{"COM1", 0, ""}, Pin{"LPT1=/dev/x", 0, ""},
                                           Pin{"COM1=ttyUSB0", 0, ""}, Pin{"COM1x=/dev/x", 0, ""},
                                           Pin{"COM1=/dev/\xE4\xB8\xAD", 0, ""},
                                           Pin{"COM-1=/dev/x", 0, ""}),
                         [](const auto &info) {
                             std::string name = std::to_string(info.index) + "_";
                             for (const char c : info.param.setting)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(Trace, NamesTheHidBusesWineStarted)
{
    EXPECT_EQ(kb::busesStarted("0024:trace:hid:bus_main_thread L\"UDEV\" main loop starting\n"
                               "0024:trace:hid:bus_main_thread L\"UDEV\" main loop started\n"
                               "0028:trace:hid:bus_main_thread L\"IOHID\" main loop started\n"),
              "UDEV, IOHID");
    EXPECT_EQ(kb::busesStarted("0024:trace:hid:bus_main_thread L\"SDL\" main loop starting\n"), "");
}

TEST(BridgeLog, OneLinePerEventWithTheTimeAndNothingWhenUnset)
{
    const fs::path file = fs::temp_directory_path() / ("bridge-log-" + std::to_string(::getpid()));
    fs::remove(file);
    std::optional<std::string> where;
    const kb::Environment env = [&](const char *name) {
        return std::string(name) == kb::kLogSetting ? where : std::nullopt;
    };
    kb::logLine(env, "not written");
    EXPECT_FALSE(fs::exists(file));
    where = file.string();
    kb::logLine(env, kb::failureText("ReadCard", KELRIN_BRIDGE_TIMEOUT));
    kb::logLine(env, "two\nlines");
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    // "2026-12-08 14:03:07.412 +0100 ReadCard: -9006 No answer ..."
    EXPECT_EQ(lines[0].size() > 30 ? lines[0].substr(4, 1) + lines[0].substr(19, 1) : "", "-.");
    EXPECT_NE(lines[0].find(" ReadCard: -9006 No answer within the time limit"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(" two lines"), std::string::npos);
    fs::remove(file);
}

// A prefix whose registry this account cannot write: a line that says so,
// the file as it was, and no hang. As root, a child process drops to an
// account that owns nothing.
TEST(PrefixUpkeep, RegistryThatCannotBeWrittenIsReportedAndLeftAlone)
{
    const TempFolder folder("bridge-upkeep");
    const fs::path prefix = folder.path() / "prefix";
    fs::create_directory(prefix);
    std::ofstream(prefix / "system.reg") << kFresh;
    ::chmod((prefix / "system.reg").c_str(), 0444);
    ::chmod(prefix.c_str(), 0555);
    ::chmod(folder.path().c_str(), 0755);

    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const kb::Environment none = [](const char *) { return std::nullopt; };
        const kb::SettingsReport report = kb::applyEncoderSettings(
            prefix, std::nullopt, none, kb::Clock::now() + std::chrono::seconds(5));
        std::string text = std::to_string(static_cast<int>(report.outcome)) + "\n";
        for (const kc::Line &line : kc::settingsLines(prefix, report))
            text += line.label + " " + line.text + "\n";
        [[maybe_unused]] const ssize_t n = ::write(channel[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_EQ(said.substr(0, 2),
              std::to_string(static_cast<int>(kb::SettingsOutcome::Failed)) + "\n");
    EXPECT_NE(said.find("Registry: cannot write"), std::string::npos) << said;
    EXPECT_NE(said.find("Permission denied; the prefix stays as it is"), std::string::npos) << said;
    std::ifstream in(prefix / "system.reg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kFresh);
    ::chmod(prefix.c_str(), 0755);
}

} // namespace

namespace {

struct SettingsText
{
    const char *name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<unsigned> problemLines;
};

void PrintTo(const SettingsText &row, std::ostream *out)
{
    *out << row.name;
}

class SettingsFileText : public ::testing::TestWithParam<SettingsText>
{
};

const SettingsText kSettingsTexts[] = {
    {"plain",
     "KELRIN_SERIAL_PORT=COM1=/dev/ttyUSB0\n",
     {{"KELRIN_SERIAL_PORT", "COM1=/dev/ttyUSB0"}},
     {}},
    {"comments_blanks_and_quotes",
     "# the encoder\n\n  KELRIN_BRIDGE_TIMEOUT_MS = \"45000\"\r\nKELRIN_BRIDGE_LOG='/var/log/x "
     "y'\n",
     {{"KELRIN_BRIDGE_TIMEOUT_MS", "45000"}, {"KELRIN_BRIDGE_LOG", "/var/log/x y"}},
     {}},
    // A prefix belongs to one account: never from the machine's file.
    {"prefix_and_unknown_names_refused", "KELRIN_WINEPREFIX=/srv/shared\nPATH=/tmp\n", {}, {1, 2}},
    {"line_without_equals",
     "KELRIN_WINE\nKELRIN_WINE=/usr/lib/wine/wine64",
     {{"KELRIN_WINE", "/usr/lib/wine/wine64"}},
     {1}},
};

} // namespace

TEST_P(SettingsFileText, TakesTheBridgesOwnNamesAndSaysWhichLinesSetNothing)
{
    const kb::SettingsFile file = kb::parseSettings(GetParam().text);
    EXPECT_EQ(file.values, GetParam().values);
    std::vector<unsigned> lines;
    for (const kb::SettingsProblem &problem : file.problems)
        lines.push_back(problem.line);
    EXPECT_EQ(lines, GetParam().problemLines);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsFileText, ::testing::ValuesIn(kSettingsTexts),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Settings, EnvironmentOverridesTheFileAndEachValueSaysWhereFrom)
{
    const TempFolder folder("bridge-settings");
    const fs::path file = folder.path() / "bridge.conf";
    std::ofstream(file) << "KELRIN_SERIAL_PORT=COM1=/dev/ttyUSB0\nKELRIN_BRIDGE_TIMEOUT_MS=45000\n";
    const kb::Environment account = [](const char *name) -> std::optional<std::string> {
        if (std::string(name) == "KELRIN_BRIDGE_TIMEOUT_MS")
            return "9000";
        return std::nullopt;
    };
    const kb::Environment env = kb::withSettingsFile(account, file);
    EXPECT_EQ(env("KELRIN_SERIAL_PORT"), "COM1=/dev/ttyUSB0");
    EXPECT_EQ(env("KELRIN_BRIDGE_TIMEOUT_MS"), "9000");
    EXPECT_EQ(kb::timeLimit(env), std::chrono::milliseconds(9000));
    EXPECT_EQ(env("KELRIN_BRIDGE_LOG"), std::nullopt);
    using Source = kb::Setting::Source;
    std::map<std::string, Source> sources;
    for (const kb::Setting &setting : kb::settingsOf(account, file))
        sources[setting.name] = setting.source;
    EXPECT_EQ(sources["KELRIN_SERIAL_PORT"], Source::File);
    EXPECT_EQ(sources["KELRIN_BRIDGE_TIMEOUT_MS"], Source::Environment);
    EXPECT_EQ(sources["KELRIN_BRIDGE_LOG"], Source::Unset);
    EXPECT_EQ(kb::withSettingsFile(account, folder.path() / "none")("KELRIN_SERIAL_PORT"),
              std::nullopt);
}
