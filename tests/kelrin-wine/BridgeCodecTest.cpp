// The bridge's pure parts, without Wine: the message codec and its bounds,
// the PE reader on the DLLs built here, where it looks for things, and its
// own result codes.
#include "GuardedBuffer.h"
#include "TempFolder.h"
#include "bridge.h"
#include "kelrin.h"
#include "locate.h"
#include "pe.h"
#include "protocol.h"
#include "tool/road.h"
#include "windowclock.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

namespace kb = kelrin::bridge;
namespace kc = kelrin::bridge::check;
namespace fs = std::filesystem;

namespace {

std::string payloadOf(const std::string &frame)
{
    EXPECT_EQ(kb::frameLength(frame.substr(0, kb::kFrameHeader)), frame.size() - kb::kFrameHeader);
    return frame.substr(kb::kFrameHeader);
}

kb::Argument outputArg(std::size_t capacity, char fill)
{
    return {kb::Kind::Output, 0, false, std::string(capacity, fill)};
}

std::string fileBytes(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

fs::path testDll(const std::string &name)
{
    return fs::path(KELRIN_TEST_DLL_DIR) / name;
}

} // namespace

TEST(BridgeProtocol, CallsCrossUnchanged)
{
    const std::string high = "\x80\xFF\xB6\xAB\xC2\xA5";
    const std::vector<kb::Call> calls = {
        {kb::Function::initializeUSB, {kb::byteArg(255)}},
        {kb::Function::Buzzer, {kb::byteArg(0), kb::intArg(INT32_MIN)}},
        {kb::Function::GuestCard,
         {kb::byteArg(1), kb::intArg(INT32_MAX), kb::intArg(-1), kb::intArg(0), kb::byteArg(0),
          kb::byteArg(1), kb::textArg(""), kb::textArg(high.c_str()), kb::textArg(nullptr),
          outputArg(KELRIN_CARD_HEX_SIZE, '\0')}},
        {kb::Function::LimitCard,
         {kb::byteArg(1),
          kb::intArg(1),
          kb::intArg(2),
          kb::intArg(3),
          kb::textArg("2512071430"),
          kb::fourBytesArg(reinterpret_cast<const std::uint8_t *>("\0\x01\0\xFF")),
          {kb::Kind::Output, 0, true, {}}}},
        {kb::Function::GetDLLVersion, {outputArg(KELRIN_VERSION_SIZE, 'Q')}},
    };
    for (const kb::Call &call : calls) {
        SCOPED_TRACE(kb::signature(call.function).name);
        const kb::Call back = kb::decodeCall(payloadOf(kb::encodeCall(call)));
        ASSERT_EQ(back.function, call.function);
        ASSERT_EQ(back.args.size(), call.args.size());
        for (std::size_t i = 0; i < call.args.size(); ++i) {
            EXPECT_EQ(back.args[i].number, call.args[i].number) << "argument " << i;
            EXPECT_EQ(back.args[i].null, call.args[i].null) << "argument " << i;
            EXPECT_EQ(back.args[i].bytes, call.args[i].bytes) << "argument " << i;
        }
    }
}

TEST(BridgeProtocol, AnswersHelloAndProbesCrossUnchanged)
{
    const kb::Answer answer{INT32_MIN, true, std::string("A\0B", 3)};
    const kb::Answer back =
        kb::decodeAnswer(payloadOf(kb::encodeAnswer(answer)), kb::Function::ReadCard);
    EXPECT_EQ(back.result, INT32_MIN);
    EXPECT_EQ(back.output, answer.output);

    kb::Hello hello;
    hello.bits = 32;
    hello.load = KELRIN_BRIDGE_DLL_LOAD;
    hello.loadError = 126;
    hello.resolved[4] = "GuestCard@40";
    hello.ansiCodePage = 936;
    hello.oemCodePage = 437;
    const kb::Hello helloBack = kb::decodeHello(payloadOf(kb::encodeHello(hello)));
    EXPECT_EQ(helloBack.ansiCodePage, 936u);
    EXPECT_EQ(helloBack.oemCodePage, 437u);
    EXPECT_EQ(helloBack.bits, 32u);
    EXPECT_EQ(helloBack.load, KELRIN_BRIDGE_DLL_LOAD);
    EXPECT_EQ(helloBack.loadError, 126u);
    EXPECT_EQ(helloBack.resolved, hello.resolved);

    const std::vector<kb::Import> imports{{"companion64.dll", "companionValue"}, {"x.dll", "#7"}};
    const auto importsBack = kb::decodeProbe(payloadOf(kb::encodeProbe(imports)));
    ASSERT_EQ(importsBack.size(), 2u);
    EXPECT_EQ(importsBack[1].function, "#7");
    EXPECT_EQ(kb::decodeProbed(payloadOf(kb::encodeProbed({true, false})), 2),
              (std::vector<bool>{true, false}));

    // A report of the DLL's windows may come where a Hello or an Answer is
    // awaited: it is told apart from both, and carries its state.
    for (const bool shown : {true, false}) {
        const std::string windows = payloadOf(kb::encodeWindows(shown));
        EXPECT_TRUE(kb::isWindows(windows));
        EXPECT_FALSE(kb::isHello(windows));
        EXPECT_EQ(kb::decodeWindows(windows), shown);
    }
    EXPECT_FALSE(kb::isWindows(payloadOf(kb::encodeHello(hello))));
    EXPECT_FALSE(kb::isWindows(payloadOf(kb::encodeAnswer(answer))));
    EXPECT_FALSE(kb::isWindows(""));
}

TEST(BridgeProtocol, DeviceListsCrossUnchanged)
{
    EXPECT_EQ(kb::requestKind(payloadOf(kb::encodeDevices())), kb::Request::Devices);
    kb::DeviceList devices;
    devices.hid = {{0x1209, 0xFFFF, 0xFF00, 0x0001, "Kelrin \xE5\x8F\x91", "\\?\\hid#vid_1209"},
                   {0x845E, 0x0001, 0x0001, 0x0006, "", ""}};
    devices.comPorts = {"COM1", "COM33"};
    devices.busSettings = {{"Enable SDL", 0}, {"DisableInput", 0xFFFFFFFF}};
    devices.listedPorts = {{"USB-SERIAL CH340 (COM3)", "USB\\VID_1A86&PID_7523&REV_0254", "COM3"},
                           {"", "", ""}};
    const kb::DeviceList back = kb::decodeDeviceList(payloadOf(kb::encodeDeviceList(devices)));
    ASSERT_EQ(back.hid.size(), 2u);
    EXPECT_EQ(back.hid[0].vendor, 0x1209);
    EXPECT_EQ(back.hid[0].product, 0xFFFF);
    EXPECT_EQ(back.hid[0].usagePage, 0xFF00);
    EXPECT_EQ(back.hid[0].usage, 0x0001);
    EXPECT_EQ(back.hid[0].name, devices.hid[0].name);
    EXPECT_EQ(back.hid[0].path, devices.hid[0].path);
    EXPECT_EQ(back.hid[1].usage, 0x0006);
    EXPECT_EQ(back.comPorts, devices.comPorts);
    EXPECT_EQ(back.busSettings, devices.busSettings);
    ASSERT_EQ(back.listedPorts.size(), 2u);
    EXPECT_EQ(back.listedPorts[0].friendlyName, devices.listedPorts[0].friendlyName);
    EXPECT_EQ(back.listedPorts[0].hardwareId, devices.listedPorts[0].hardwareId);
    EXPECT_EQ(back.listedPorts[0].portName, "COM3");
    EXPECT_TRUE(kb::decodeDeviceList(payloadOf(kb::encodeDeviceList({}))).hid.empty());
}

TEST(BridgeProtocol, UsbRequestsAndAnswersCrossUnchanged)
{
    kb::UsbRequest request;
    request.op = kb::UsbOp::Control;
    request.handle = 0xFFFFFFFF;
    request.args = {0xC0, 0x01, 0xFFFF, INT32_MIN};
    request.data = std::string("\0\x81\xFF", 3);
    request.length = kb::kMaxUsbTransfer;
    request.timeout = 60000;
    const std::string frame = kb::encodeUsb(request);
    ASSERT_TRUE(kb::isUsb(payloadOf(frame)));
    const kb::UsbRequest back = kb::decodeUsb(payloadOf(frame));
    EXPECT_EQ(back.op, request.op);
    EXPECT_EQ(back.handle, request.handle);
    EXPECT_EQ(back.args, request.args);
    EXPECT_EQ(back.data, request.data);
    EXPECT_EQ(back.length, request.length);
    EXPECT_EQ(back.timeout, request.timeout);

    const kb::UsbAnswer answer{
        -116, std::string("\x81\0", 2), {{1, 2, "descriptors"}, {255, 0, ""}}};
    const std::string answerFrame = kb::encodeUsbAnswer(answer);
    ASSERT_TRUE(kb::isUsbAnswer(payloadOf(answerFrame)));
    const kb::UsbAnswer answerBack = kb::decodeUsbAnswer(payloadOf(answerFrame));
    EXPECT_EQ(answerBack.result, -116);
    EXPECT_EQ(answerBack.data, answer.data);
    ASSERT_EQ(answerBack.devices.size(), 2u);
    EXPECT_EQ(answerBack.devices[0].bus, 1);
    EXPECT_EQ(answerBack.devices[0].address, 2);
    EXPECT_EQ(answerBack.devices[0].descriptors, "descriptors");
    EXPECT_EQ(answerBack.devices[1].bus, 255);
}

// What a helper that misbehaves or a stream out of step may send: each is
// refused, never read beyond.
TEST(BridgeProtocol, RefusesWhatDoesNotFit)
{
    const std::string call =
        payloadOf(kb::encodeCall({kb::Function::Buzzer, {kb::byteArg(1), kb::intArg(20)}}));
    const std::string answer = payloadOf(kb::encodeAnswer({0, true, "x"}));
    const std::map<std::string, std::function<void()>> refused = {
        {"call cut short", [&] { kb::decodeCall(call.substr(0, call.size() - 1)); }},
        {"call with a byte more", [&] { kb::decodeCall(call + "x"); }},
        {"call of function 13", [&] { kb::decodeCall(std::string("C\x0D", 2)); }},
        {"answer taken for a call", [&] { kb::decodeCall(answer); }},
        {"output from Buzzer", [&] { kb::decodeAnswer(answer, kb::Function::Buzzer); }},
        {"answer length beyond the frame",
         [&] {
             kb::decodeAnswer(std::string("A\0\0\0\0\x01\xFF\xFF\xFF\x7F", 10),
                              kb::Function::ReadCard);
         }},
        {"flag of 2",
         [&] { kb::decodeAnswer(std::string("A\0\0\0\0\x02", 6), kb::Function::ReadCard); }},
        {"hello of another version", [&] { kb::decodeHello(std::string("H\x01\0\0\0", 5)); }},
        {"hello without its code pages",
         [&] {
             kb::Hello whole;
             whole.bits = 64;
             const std::string hello = payloadOf(kb::encodeHello(whole));
             kb::decodeHello(hello.substr(0, hello.size() - 8));
         }},
        {"windows report cut short", [&] { kb::decodeWindows("W"); }},
        {"windows report with a byte more", [&] { kb::decodeWindows(std::string("W\x01\x01")); }},
        {"windows report of 2", [&] { kb::decodeWindows(std::string("W\x02")); }},
        {"answer taken for a windows report", [&] { kb::decodeWindows(answer); }},
        {"probe claiming a million names",
         [&] { kb::decodeProbe(std::string("P\x40\x42\x0F\0", 5)); }},
        {"device list claiming a million devices",
         [&] { kb::decodeDeviceList(std::string("L\x40\x42\x0F\0", 5)); }},
        {"device list cut inside a name",
         [&] { kb::decodeDeviceList(std::string("L\x01\0\0\0\0\0\0\0\0\0\0\0\x05\0\0\0ab", 19)); }},
        {"device list with a byte more",
         [&] { kb::decodeDeviceList(payloadOf(kb::encodeDeviceList({})) + "x"); }},
        {"devices question with a byte more", [&] { kb::requestKind("Dx"); }},
        {"USB request of an unknown kind",
         [&] {
             std::string usb = payloadOf(kb::encodeUsb({}));
             usb[1] = static_cast<char>(kb::kLastUsbOp + 1);
             kb::decodeUsb(usb);
         }},
        {"USB request cut short",
         [&] { kb::decodeUsb(payloadOf(kb::encodeUsb({})).substr(0, 9)); }},
        {"USB read longer than a transfer may be",
         [&] {
             kb::UsbRequest large;
             large.length = kb::kMaxUsbTransfer + 1;
             kb::encodeUsb(large);
         }},
        {"USB write longer than a transfer may be",
         [&] {
             kb::UsbRequest large;
             large.data.assign(kb::kMaxUsbTransfer + 1, 'x');
             kb::encodeUsb(large);
         }},
        {"USB answer claiming a million devices",
         [&] { kb::decodeUsbAnswer(std::string("u\0\0\0\0\0\0\0\0\x40\x42\x0F\0", 13)); }},
        {"USB answer with a byte more",
         [&] { kb::decodeUsbAnswer(payloadOf(kb::encodeUsbAnswer({})) + "x"); }},
        {"frame of 16 MiB and one", [&] { kb::frameLength(std::string("\x01\0\0\x01", 4)); }},
        {"empty request", [&] { kb::requestKind(""); }},
        {"text with a NUL inside",
         [&] {
             kb::encodeCall({kb::Function::GetOpenRecordByDataStr,
                             {{kb::Kind::Text, 0, false, std::string("a\0b", 3)},
                              outputArg(KELRIN_FIELD_SIZE, 0)}});
         }},
        {"output of the wrong size",
         [&] {
             kb::encodeCall({kb::Function::GetDLLVersion, {outputArg(128, 0)}});
         }},
    };
    for (const auto &[name, attempt] : refused)
        EXPECT_THROW(attempt(), kb::ProtocolError) << name;
}

// The time limit stands still while a window of the DLL shows, and counts
// on from where it stood: reports at the given seconds after the call began.
TEST(BridgeWindowClock, TimeLimitStandsStillWhileAWindowShows)
{
    using std::chrono::seconds;
    struct Row
    {
        const char *name;
        std::vector<std::pair<int, bool>> reports; // second, shows
        std::optional<int> deadline;               // second; none: never
    };
    const std::vector<Row> rows = {
        {"no window", {}, 30},
        {"a window that shows", {{5, true}}, std::nullopt},
        {"shown for 60 s", {{5, true}, {65, false}}, 90},
        {"shown twice", {{1, true}, {11, false}, {20, true}, {25, false}}, 45},
        {"the same report twice counts once", {{5, true}, {8, true}, {15, false}}, 40},
        {"no window reported while none shows", {{5, false}}, 30},
    };
    const kb::Deadline begin{};
    for (const Row &row : rows) {
        kb::WindowClock clock(begin + seconds(30));
        for (const auto &[second, shows] : row.reports)
            clock.shown(shows, begin + seconds(second));
        EXPECT_EQ(clock.deadline(),
                  row.deadline ? begin + seconds(*row.deadline) : kb::Deadline::max())
            << row.name;
    }
}

TEST(BridgeProtocol, OutputsStayInsideTheirBufferAndEndInANul)
{
    struct Row
    {
        std::string name;
        std::string received;
        std::string expected; // the text the caller reads
    };
    const std::size_t capacity = KELRIN_FIELD_SIZE;
    const std::vector<Row> rows = {
        {"full, no NUL", std::string(capacity, 'F'), std::string(capacity - 1, 'F')},
        {"longer than the buffer", std::string(4 * capacity, 'L'), std::string(capacity - 1, 'L')},
        {"text and NUL", std::string("6\0zz", 4), "6"},
        {"empty", std::string(capacity, '\0'), ""},
        {"nothing sent, buffer kept", "", std::string(capacity - 1, 'X')},
        {"short, no NUL: the rest kept", "AB", "AB" + std::string(capacity - 3, 'X')},
    };
    for (const Row &row : rows) {
        GuardedBuffer buffer(capacity);
        kb::copyOutput(buffer.data(), capacity, row.received);
        buffer.expectIntact(row.name);
        EXPECT_EQ(buffer.text(), row.expected) << row.name;
    }
}

TEST(BridgeProtocol, NamesADllMayExportUnder)
{
    EXPECT_EQ(kb::exportNames(kb::Function::GuestCard),
              (std::vector<std::string>{"GuestCard", "GuestCard@40", "_GuestCard@40"}));
    EXPECT_EQ(kb::exportNames(kb::Function::LimitCard)[1], "LimitCard@28");
    EXPECT_EQ(kb::exportNames(kb::Function::GetDLLVersion)[2], "_GetDLLVersion@4");
    for (std::size_t i = 0; i < kb::kFunctionCount; ++i) {
        const auto function = static_cast<kb::Function>(i);
        EXPECT_EQ(kb::functionNamed(kb::signature(function).name), function);
    }
}

TEST(BridgePe, WordSizeAndImportsOfTheDllsBuiltHere)
{
    EXPECT_EQ(kb::peMachine(fileBytes(testDll("scripted32.dll"))), kb::Machine::I386);
    EXPECT_EQ(kb::peMachine(fileBytes(testDll("scripted64.dll"))), kb::Machine::Amd64);
    const auto imports = kb::peImports(fileBytes(testDll("needs-companion64.dll")));
    const auto has = [&](const std::string &dll, const std::string &function) {
        return std::any_of(imports.begin(), imports.end(), [&](const kb::Import &i) {
            return i.dll == dll && i.function == function;
        });
    };
    EXPECT_TRUE(has("companion64.dll", "companionValue"));
    EXPECT_TRUE(has("KERNEL32.dll", "GetProcAddress"));
    const auto imports32 = kb::peImports(fileBytes(testDll("needs-companion32.dll")));
    EXPECT_TRUE(std::any_of(imports32.begin(), imports32.end(),
                            [](const kb::Import &i) { return i.dll == "companion32.dll"; }));
}

TEST(BridgePe, AnythingElseIsNoDll)
{
    const std::string dll = fileBytes(testDll("scripted64.dll"));
    std::string otherMachine = dll;
    const auto peOffset =
        static_cast<unsigned char>(dll[0x3C]) | static_cast<unsigned char>(dll[0x3D]) << 8;
    otherMachine[peOffset + 4] = '\x64'; // ARM64 is 0xAA64
    otherMachine[peOffset + 5] = '\xAA';
    const std::map<std::string, std::string> notPe = {
        {"empty", ""},
        {"text", "[MAIN]\r\nleavedate=261209\r\n"},
        {"MZ alone", "MZ"},
        {"headers cut", dll.substr(0, 0x90)},
        {"PE offset beyond the end",
         std::string("MZ") + std::string(0x3A, '\0') + "\xFF\xFF\xFF\x7F"},
        {"another machine", otherMachine},
        {"an ELF library", fileBytes(KELRIN_STAND_IN)},
    };
    for (const auto &[name, bytes] : notPe) {
        EXPECT_EQ(kb::peMachine(bytes), std::nullopt) << name;
        EXPECT_TRUE(kb::peImports(bytes).empty()) << name;
    }
}

class BridgeLocate : public ::testing::Test
{
protected:
    void touch(const std::string &name) { std::ofstream(folder / name) << "x"; }

    kb::Environment env(std::map<std::string, std::string> values)
    {
        return [values](const char *name) -> std::optional<std::string> {
            const auto found = values.find(name);
            return found == values.end() ? std::nullopt : std::optional(found->second);
        };
    }
    const TempFolder temp{"bridge-test"};
    const fs::path folder = temp.path();
};

TEST_F(BridgeLocate, DllBesideTheProgramInAnyLetterCase)
{
    EXPECT_EQ(kb::findDll(folder), std::nullopt);
    touch("Kelrin.dll.bak");
    fs::create_directory(folder / "kelrin.dll");
    EXPECT_EQ(kb::findDll(folder), std::nullopt) << "a folder or another name is no DLL";
    touch("KELRIN.DLL");
    EXPECT_EQ(kb::findDll(folder), folder / "KELRIN.DLL");
    touch("Kelrin.dll");
    EXPECT_EQ(kb::findDll(folder), folder / "Kelrin.dll") << "the exact name comes first";
}

TEST_F(BridgeLocate, WinePrefixAndTimeLimitFromTheEnvironment)
{
    EXPECT_EQ(kb::prefixPath(env({{"KELRIN_WINEPREFIX", "/p"}, {"HOME", "/h"}})), "/p");
    EXPECT_EQ(kb::prefixPath(env({{"XDG_DATA_HOME", "/x"}, {"HOME", "/h"}})), "/x/guestcard/wine");
    EXPECT_EQ(kb::prefixPath(env({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}})),
              "/h/.local/share/guestcard/wine");
    EXPECT_EQ(kb::prefixPath(env({{"KELRIN_WINEPREFIX", "rel"}})), std::nullopt);

    const std::map<std::string, long long> limits = {
        {"1500", 1500}, {"1", 1},      {"86400000", 86400000},
        {"0", 30000},   {"-5", 30000}, {"86400001", 30000},
        {"15s", 30000}, {"", 30000},   {" 100", 30000}};
    for (const auto &[text, expected] : limits)
        EXPECT_EQ(kb::timeLimit(env({{"KELRIN_BRIDGE_TIMEOUT_MS", text}})).count(), expected)
            << "'" << text << "'";
    EXPECT_EQ(kb::timeLimit(env({})), kb::kDefaultTimeLimit);
}

TEST_F(BridgeLocate, WineByNameOnThePathOrAsNamed)
{
    const fs::path wine = folder / "wine";
    std::ofstream(wine) << "#!/bin/sh\n";
    EXPECT_EQ(kb::findWine(env({{"PATH", folder.string()}})), std::nullopt) << "not executable";
    fs::permissions(wine, fs::perms::owner_exec, fs::perm_options::add);
    EXPECT_EQ(kb::findWine(env({{"PATH", "/nonexistent:" + folder.string()}})), wine);
    EXPECT_EQ(kb::findWine(env({{"PATH", ":relative"}})), std::nullopt)
        << "the working directory is never looked in";
    EXPECT_EQ(kb::findWine(env({{"KELRIN_WINE", wine.string()}, {"PATH", ""}})), wine);
    EXPECT_EQ(kb::findWine(env({{"KELRIN_WINE", (folder / "none").string()}})), std::nullopt);
}

namespace {

struct RoadRow
{
    const char *name;
    std::vector<kb::Import> imports;
    std::vector<kc::Road> roads;
};

void PrintTo(const RoadRow &row, std::ostream *out)
{
    *out << row.name;
}

class Roads : public ::testing::TestWithParam<RoadRow>
{
};

const RoadRow kRoads[] = {
    {"hid",
     {{"SETUPAPI.dll", "SetupDiGetClassDevsA"}, {"HID.DLL", "HidD_GetAttributes"}},
     {kc::Road::Hid}},
    {"serial",
     {{"KERNEL32.dll", "CreateFileA"}, {"KERNEL32.dll", "SetCommState"}},
     {kc::Road::Serial}},
    {"opens_files_only", {{"KERNEL32.dll", "CreateFileA"}, {"KERNEL32.dll", "ReadFile"}}, {}},
    {"libusb_win32",
     {{"libusb0.dll", "usb_init"}, {"libusb0.dll", "usb_open"}},
     {kc::Road::LibusbWin32}},
    {"d2xx", {{"FTD2XX.dll", "FT_Open"}}, {kc::Road::D2xx}},
    {"winusb", {{"WINUSB.DLL", "WinUsb_Initialize"}}, {kc::Road::WinUsb}},
    {"chip_maker", {{"CH341DLL.DLL", "CH341OpenDevice"}}, {kc::Road::ChipMaker}},
    // Each road once, in order, whatever the order of the imports.
    {"two_roads",
     {{"winusb.dll", "WinUsb_Free"}, {"hid.dll", "HidD_GetHidGuid"}, {"hid.dll", "#7"}},
     {kc::Road::Hid, kc::Road::WinUsb}},
};

} // namespace

TEST_P(Roads, ReadFromTheImports)
{
    std::vector<kc::Road> roads;
    for (const kc::RoadTaken &taken : kc::roadsOf("Kelrin.dll", GetParam().imports))
        roads.push_back(taken.road);
    EXPECT_EQ(roads, GetParam().roads);
    EXPECT_EQ(kc::roadLines(kc::roadsOf("Kelrin.dll", GetParam().imports)).size(),
              std::max<std::size_t>(1, GetParam().roads.size()));
}

INSTANTIATE_TEST_SUITE_P(Check, Roads, ::testing::ValuesIn(kRoads),
                         [](const auto &info) { return std::string(info.param.name); });

// The DLLs built here: the road of a DLL it imports from its own folder
// counts, named after that DLL.
TEST(Check, RoadsOfTheDllAndOfTheDllsBesideItThatItImports)
{
    const TempFolder folder("bridge-road");
    const fs::path dlls = KELRIN_TEST_DLL_DIR;
    fs::copy_file(dlls / "needs-companion64.dll", folder.path() / "Kelrin.dll");
    EXPECT_TRUE(kc::roadsFrom(folder.path() / "Kelrin.dll").empty());
    // Its companion, as a DLL that finds its encoder through hid.dll.
    fs::copy_file(dlls / "hid-encoder64.dll", folder.path() / "COMPANION64.DLL");
    const auto roads = kc::roadsFrom(folder.path() / "Kelrin.dll");
    ASSERT_EQ(roads.size(), 1u);
    EXPECT_EQ(roads[0].road, kc::Road::Hid);
    EXPECT_EQ(roads[0].through, "COMPANION64.DLL");
    const auto serial = kc::roadsFrom(dlls / "serial64.dll");
    ASSERT_EQ(serial.size(), 1u);
    EXPECT_EQ(serial[0].road, kc::Road::Serial);
}
