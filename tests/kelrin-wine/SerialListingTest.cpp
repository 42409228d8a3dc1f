// USB serial adapters listed as Windows lists them, without Wine: the
// adapter found above a tty in a sysfs tree laid out as the kernel lays it
// out, its description by chip, and the registry edits that list the
// prefix's ports and take out those that are gone.
#include "FakeSysfs.h"
#include "TempFolder.h"
#include "devices/usb_serial.h"
#include "prefix/port_listing.h"
#include "prefix/registry.h"

#include <gtest/gtest.h>

namespace kb = kelrin::bridge;
namespace kd = kelrin::bridge::devices;
namespace reg = kelrin::bridge::registry;
namespace fs = std::filesystem;

namespace {

struct Chip
{
    const char *name;
    FakeAdapter adapter;
    unsigned com;
    std::string deviceId, friendlyName, manufacturer, hardwareId;
};

void PrintTo(const Chip &chip, std::ostream *out)
{
    *out << chip.name;
}

class Chips : public ::testing::TestWithParam<Chip>
{
};

const Chip kChips[] = {
    {"ch340_without_serial",
     {"ch341", "1a86", "7523", "0254", ""},
     3,
     "",
     "USB-SERIAL CH340 (COM3)",
     "wch.cn",
     "USB\\VID_1A86&PID_7523&REV_0254"},
    {"ftdi_with_serial",
     {"ftdi_sio", "0403", "6001", "0600", "A50285BI"},
     4,
     "USB\\VID_0403&PID_6001\\A50285BI",
     "USB Serial Port (COM4)",
     "FTDI",
     "USB\\VID_0403&PID_6001&REV_0600"},
    {"pl2303",
     {"pl2303", "067b", "2303", "0300", ""},
     5,
     "",
     "Prolific USB-to-Serial Comm Port (COM5)",
     "Prolific",
     "USB\\VID_067B&PID_2303&REV_0300"},
    {"cp210x",
     {"cp210x", "10c4", "ea60", "0100", "0001"},
     6,
     "USB\\VID_10C4&PID_EA60\\0001",
     "Silicon Labs CP210x USB to UART Bridge (COM6)",
     "Silicon Labs",
     "USB\\VID_10C4&PID_EA60&REV_0100"},
    {"cdc_acm",
     {"cdc_acm", "2341", "0043", "0001", "", true},
     7,
     "",
     "USB Serial Device (COM7)",
     "Microsoft",
     "USB\\VID_2341&PID_0043&REV_0001"},
    // A serial number with a device id's separator, or outside ASCII, is
    // no instance id.
    {"serial_with_a_separator",
     {"ftdi_sio", "0403", "6001", "0600", "A&B"},
     8,
     "",
     "USB Serial Port (COM8)",
     "FTDI",
     "USB\\VID_0403&PID_6001&REV_0600"},
    {"serial_outside_ascii",
     {"ch341", "1a86", "7523", "0254", "\xE4\xB8\xAD" "01"},
     9,
     "",
     "USB-SERIAL CH340 (COM9)",
     "wch.cn",
     "USB\\VID_1A86&PID_7523&REV_0254"},
};

} // namespace

TEST_P(Chips, FoundAboveTheTtyAndDescribedAsItsWindowsDriverDoes)
{
    const Chip &chip = GetParam();
    const TempFolder sysfs("bridge-sysfs");
    layOut(sysfs.path(), "/dev/null", chip.adapter);
    const auto adapter = kd::usbSerialAdapter("/dev/null", sysfs.path());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->tty, chip.adapter.acm ? "ttyACM0" : "ttyUSB0");
    EXPECT_EQ(adapter->driver, chip.adapter.driver);
    EXPECT_EQ(adapter->serial, chip.adapter.serial);
    const kb::PortDescription d = kb::describePort({chip.com, *adapter});
    if (chip.deviceId.empty()) {
        // Windows' form for a device without a usable serial number.
        EXPECT_TRUE(d.deviceId.starts_with(chip.hardwareId.substr(0, 21) + "\\5&")) << d.deviceId;
    } else {
        EXPECT_EQ(d.deviceId, chip.deviceId);
    }
    EXPECT_EQ(d.friendlyName, chip.friendlyName);
    EXPECT_EQ(d.manufacturer, chip.manufacturer);
    EXPECT_EQ(d.portName, "COM" + std::to_string(chip.com));
    EXPECT_EQ(d.hardwareIds,
              (std::vector<std::string>{chip.hardwareId, chip.hardwareId.substr(0, 21)}));
}

INSTANTIATE_TEST_SUITE_P(Serial, Chips, ::testing::ValuesIn(kChips),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Serial, NoAdapterWithoutAUsbDeviceAboveTheTty)
{
    const TempFolder sysfs("bridge-sysfs");
    EXPECT_FALSE(kd::usbSerialAdapter("/dev/null", sysfs.path())) << "no dev/char link";
    fs::create_directories(sysfs.path() / "devices/virtual/tty/ttyS0");
    fs::create_directories(sysfs.path() / "dev/char");
    fs::create_directory_symlink(sysfs.path() / "devices/virtual/tty/ttyS0",
                                 sysfs.path() / "dev/char/1:3");
    EXPECT_FALSE(kd::usbSerialAdapter("/dev/null", sysfs.path())) << "a tty of no USB device";
    EXPECT_FALSE(kd::usbSerialAdapter(sysfs.path(), sysfs.path())) << "no character device";
    EXPECT_FALSE(kd::usbSerialAdapter("/nonexistent", sysfs.path()));
}

TEST(Serial, ListingIsWrittenOnceAndTakenOutWhenThePortIsGone)
{
    const TempFolder sysfs("bridge-sysfs");
    layOut(sysfs.path(), "/dev/null", {"ch341", "1a86", "7523", "0254", ""});
    const kb::MappedPort port{3, *kd::usbSerialAdapter("/dev/null", sysfs.path())};
    const std::string fresh = "WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\Ports] 1\n";

    const auto edits = kb::portListingEdits(fresh, {port});
    ASSERT_FALSE(edits.empty());
    const auto listed = reg::apply(fresh, edits);
    ASSERT_TRUE(listed);
    EXPECT_TRUE(kb::portListingEdits(*listed, {port}).empty()) << "written twice";
    const std::string instance =
        "System\\CurrentControlSet\\Enum\\" + kb::describePort(port).deviceId;
    EXPECT_EQ(reg::find(*listed, instance, "ClassGUID"), reg::string(kb::kPortsClass));
    EXPECT_EQ(reg::find(*listed, instance, "HardwareID"),
              reg::multiString({"USB\\VID_1A86&PID_7523&REV_0254", "USB\\VID_1A86&PID_7523"}));
    EXPECT_EQ(reg::find(*listed, instance + "\\Device Parameters", "PortName"),
              reg::string("COM3"));
    EXPECT_NE(
        listed->find("str(7):\"USB\\\\VID_1A86&PID_7523&REV_0254\\0USB\\\\VID_1A86&PID_7523\\0\""),
        std::string::npos)
        << "REG_MULTI_SZ as Wine writes it";

    // Gone: every key the bridge wrote goes, and nothing else.
    const auto gone = reg::apply(*listed, kb::portListingEdits(*listed, {}));
    ASSERT_TRUE(gone);
    EXPECT_TRUE(reg::keysWithValue(*gone, kb::kListedMark).empty());
    EXPECT_EQ(*gone, fresh + "\n");
}

TEST(Registry, RemoveKeyTakesItsSubkeysAndNoNeighbour)
{
    const std::string file = "[A\\\\B] 1\n\"x\"=dword:00000001\n\n[A\\\\B\\\\C]\n\"y\"=\"z\"\n\n"
                             "[A\\\\BC]\n\"w\"=dword:00000002\n";
    EXPECT_EQ(reg::removeKey(file, "a\\b"), "[A\\\\BC]\n\"w\"=dword:00000002\n");
    EXPECT_EQ(reg::keysWithValue(file, "Y"), std::vector<std::string>{"A\\B\\C"});
}
