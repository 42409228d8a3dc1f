// The check's device section without Wine or devices: report descriptors,
// the udev rule, device texts, who may open a node, the HID bus settings,
// and the findings when Linux and Wine disagree.
#include "devices/devices.h"
#include "tool/devices_section.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kd = kelrin::bridge::devices;
namespace kc = kelrin::bridge::check;
using namespace std::string_literals;

namespace {

struct DescriptorRow
{
    const char *name;
    std::string bytes;
    std::optional<kd::Usage> usage;
};

class Descriptors : public ::testing::TestWithParam<DescriptorRow>
{
};

const std::vector<DescriptorRow> kDescriptors = {
    {"VendorPage", "\x06\x00\xFF\x09\x01\xA1\x01\xC0"s, kd::Usage{0xFF00, 0x01}},
    {"Keyboard", "\x05\x01\x09\x06\xA1\x01\xC0"s, kd::Usage{0x0001, 0x06}},
    // A 4-byte usage carries its own page.
    {"ExtendedUsage", "\x05\x01\x0B\x02\x00\x0C\x00\xA1\x01"s, kd::Usage{0x000C, 0x0002}},
    // Only the first top-level collection counts, as Wine exposes only it.
    {"FirstOfTwo", "\x05\x01\x09\x02\xA1\x01\xC0\x06\x00\xFF\x09\x01\xA1\x01\xC0"s,
     kd::Usage{0x0001, 0x02}},
    {"LongItemSkipped", "\xFE\x02\x10\xAA\xBB\x06\x00\xFF\x09\x07\xA1\x01"s, kd::Usage{0xFF00, 7}},
    {"Empty", "", std::nullopt},
    {"CutInsideAnItem", "\x06\x00"s, std::nullopt},
    {"CutInsideALongItem", "\xFE"s, std::nullopt},
    {"NoCollection", "\x06\x00\xFF\x09\x01"s, std::nullopt},
};

} // namespace

TEST_P(Descriptors, FirstCollectionUsage)
{
    EXPECT_EQ(kd::firstCollectionUsage(GetParam().bytes), GetParam().usage);
}

INSTANTIATE_TEST_SUITE_P(Devices, Descriptors, ::testing::ValuesIn(kDescriptors),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Devices, UdevRuleNamesOneEncoderAndTheGroup)
{
    EXPECT_EQ(kc::udevRule(0x1209, 0x00AB),
              "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"00ab\", "
              "GROUP=\"guestcard\", MODE=\"0660\"");
    EXPECT_EQ(kc::udevRule(0x1209, 0x0002, true),
              "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTRS{idVendor}==\"1209\", "
              "ATTRS{idProduct}==\"0002\", GROUP=\"guestcard\", MODE=\"0660\"");
}

TEST(Devices, PrintableKeepsUtf8AndEscapesTheRest)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Kelrin encoder", "Kelrin encoder"},
        {"发卡器", "发卡器"},
        {"a\xFF"s
         "b",
         "a\\xFFb"},
        {"\xC3", "\\xC3"},          // a lead byte cut at the end
        {"\xC0\xAF", "\\xC0\\xAF"}, // an overlong form
        {"\xE5\x8F", "\\xE5\\x8F"}, // three bytes cut to two
        {"tab\there\n", "tab\\x09here\\x0A"},
        {"back\\slash", "back\\x5Cslash"}, // escapes stay unambiguous
    };
    for (const auto &[bytes, shown] : rows)
        EXPECT_EQ(kc::printable(bytes), shown) << bytes;
}

namespace {

struct StandingRow
{
    const char *name;
    kd::NodeOwner node;
    kd::NodeAccess standing;
};

const kd::Account kClerk{1000, "clerk", {1000, 46}, {1000, 46, 990}};

class Standings : public ::testing::TestWithParam<StandingRow>
{
};

const std::vector<StandingRow> kStandings = {
    {"GroupOfThisLogin", {0, 46, 020660}, kd::NodeAccess::Group},
    // Added to the group since login: not effective before the next one.
    {"GroupSinceLogin", {0, 990, 020660}, kd::NodeAccess::GroupSinceLogin},
    {"GroupNotHeld", {0, 991, 020660}, kd::NodeAccess::None},
    {"GroupMayOnlyRead", {0, 46, 020640}, kd::NodeAccess::None},
    {"Owner", {1000, 0, 020600}, kd::NodeAccess::Owner},
    {"OwnerMayOnlyRead", {1000, 0, 020400}, kd::NodeAccess::None},
    {"Everyone", {0, 0, 020666}, kd::NodeAccess::Anyone},
    {"RootOnly", {0, 0, 020600}, kd::NodeAccess::None},
};

} // namespace

TEST_P(Standings, WhoMayOpenTheNode)
{
    EXPECT_EQ(kd::nodeAccess(GetParam().node, kClerk), GetParam().standing);
}

INSTANTIATE_TEST_SUITE_P(Devices, Standings, ::testing::ValuesIn(kStandings),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Devices, BusServesHidrawOnlyWithSdlOffAndHidrawNotDisabled)
{
    using Settings = std::vector<std::pair<std::string, std::uint32_t>>;
    const std::vector<std::pair<Settings, bool>> rows = {
        {{}, false}, // Wine 8.0's default: SDL, which never reports failing
        {{{"Enable SDL", 1}}, false},
        {{{"Enable SDL", 0}}, true},
        {{{"Enable SDL", 0}, {"DisableInput", 1}}, true},
        {{{"Enable SDL", 0}, {"DisableHidraw", 1}}, false},
        {{{"Enable SDL", 0}, {"DisableHidraw", 0}}, true},
    };
    for (const auto &[settings, on] : rows)
        EXPECT_EQ(kd::hidBus(settings) == kd::HidBus::Served, on);
}

namespace {

bool hasLine(const std::vector<kc::Line> &lines, const std::string &label, const std::string &part)
{
    return std::any_of(lines.begin(), lines.end(), [&](const kc::Line &line) {
        return line.label == label && line.text.find(part) != std::string::npos;
    });
}

kc::DeviceFacts encoderSection(int openError, std::uint32_t sdl, bool wineShowsIt)
{
    kc::DeviceFacts section;
    section.account = kClerk;
    section.fromLinux.hid.push_back({"/dev/hidraw3", 0x1209, 0x0001, "Encoder",
                                     kd::Usage{0xFF00, 1}, kd::NodeOwner{0, 991, 020660},
                                     openError});
    section.wine = kelrin::bridge::DeviceList{};
    section.wine->busSettings = {{"Enable SDL", sdl}};
    section.wine->hid.push_back({0x845E, 0x0001, 1, 2, "Wine's keyboard", "path"});
    if (wineShowsIt)
        section.wine->hid.push_back({0x1209, 0x0001, 0xFF00, 1, "Encoder", "path"});
    return section;
}

} // namespace

TEST(Devices, FindingsNameTheReasonAndTheFix)
{
    const auto found = kc::describeDevices(encoderSection(0, 0, true));
    EXPECT_TRUE(hasLine(found, "Found:", "1209:0001 (/dev/hidraw3)"));
    EXPECT_FALSE(hasLine(found, "Missing:", ""));
    EXPECT_TRUE(
        hasLine(found, "Wine HID:", "845E:0001 usage page 0001 \"Wine's keyboard\" (Wine's own)"));

    const auto noAccess = kc::describeDevices(encoderSection(EACCES, 0, false));
    EXPECT_TRUE(hasLine(noAccess, "Access:", "cannot open it for reading and writing"));
    EXPECT_TRUE(hasLine(noAccess, "Access:", "it is not in group"));
    EXPECT_TRUE(hasLine(noAccess, "Missing:", "cannot open the node"));
    EXPECT_TRUE(hasLine(noAccess, "Rule:", kc::udevRule(0x1209, 0x0001)));
    EXPECT_TRUE(hasLine(noAccess, "Fix:", "usermod -aG guestcard clerk"));

    const auto bus = kc::describeDevices(encoderSection(0, 1, false));
    EXPECT_TRUE(hasLine(bus, "Missing:", "serves no hidraw devices"));
    EXPECT_TRUE(hasLine(bus, "Fix:", "\"Enable SDL\"=dword:0"));
    EXPECT_FALSE(hasLine(bus, "Rule:", ""));

    kc::DeviceFacts silent = encoderSection(0, 0, false);
    silent.wine.reset();
    EXPECT_TRUE(hasLine(kc::describeDevices(silent), "Wine HID:", "the helper did not answer"));
}

TEST(Devices, UsbDeviceWithoutNodesGetsTheRuleForItsUsbNode)
{
    kc::DeviceFacts section;
    section.account = kClerk;
    section.fromLinux.driverOnly.push_back(
        {0x1209, 0x0002, "Encoder", "/dev/bus/usb/001/004", kd::NodeOwner{0, 0, 020664}, EACCES});
    section.wine = kelrin::bridge::DeviceList{};
    const auto lines = kc::describeDevices(section);
    EXPECT_TRUE(
        hasLine(lines, "USB:", "through libusb0.dll (the road above), on /dev/bus/usb/001/004"));
    EXPECT_TRUE(hasLine(lines, "Rule:", kc::udevRule(0x1209, 0x0002, true)));
    EXPECT_TRUE(hasLine(lines, "Access:", "cannot open it for reading and writing"));
}

TEST(Devices, SerialAdapterWithItsComNameOrThePinToGiveIt)
{
    kc::DeviceFacts section;
    section.account = kClerk;
    section.fromLinux.serial.push_back(
        {"/dev/ttyUSB0", 0x0403, 0x6001, "ftdi_sio", kd::NodeOwner{0, 20, 020660}, 0});
    section.wine = kelrin::bridge::DeviceList{};
    EXPECT_TRUE(hasLine(kc::describeDevices(section), "Serial:", "no COM name in this prefix"));
    EXPECT_TRUE(hasLine(kc::describeDevices(section), "Fix:", "\"COM1\"=\"/dev/ttyUSB0\""));
    section.comLinks = {{"COM33", "/dev/ttyUSB0"}};
    EXPECT_TRUE(hasLine(kc::describeDevices(section), "Serial:", "COM name COM33 in this prefix"));
    EXPECT_FALSE(hasLine(kc::describeDevices(section), "Fix:", "COM1"));
}
