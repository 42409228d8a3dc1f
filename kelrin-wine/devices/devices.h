#pragma once
// The encoder's devices as Linux shows them to this account: hidraw and USB
// serial nodes, who may open them, the groups of the current login, USB
// devices that need a driver, and the COM names a prefix gives the nodes.
// Facts only: kelrin-bridge's check words them and sets them beside what
// Windows shows the DLL under Wine. The pure parts (report descriptors, who
// may open a node, the HID bus settings) are plain functions; linuxDevices()
// and account() ask the system through libudev, which is linked wherever
// this folder is, so never into the bridge library the station loads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kelrin::bridge::devices {

struct Usage
{
    std::uint16_t page = 0;
    std::uint16_t usage = 0;
    bool operator==(const Usage &) const = default;
};

// The usage page and usage of a report descriptor's first top-level
// collection, the one Wine exposes; nothing when it has none or is cut short.
std::optional<Usage> firstCollectionUsage(std::string_view descriptor);

// A node's owner, group and mode.
struct NodeOwner
{
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
};

// The account running the check.
struct Account
{
    uid_t uid = 0;
    std::string name;
    std::vector<gid_t> loginGroups; // what this login holds (getgroups)
    std::vector<gid_t> memberOf;    // what the group database gives it now
};

// What lets this account read and write a node.
enum class NodeAccess
{
    Owner,           // the node's owner may read and write it
    Group,           // this login holds the node's group, which may read and write
    GroupSinceLogin, // the group database has it in the group, this login not yet
    Anyone,          // anyone may read and write it
    None,            // nothing lets this account read and write it
};
NodeAccess nodeAccess(const NodeOwner &node, const Account &account);

// Whether the winebus settings the helper found serve hidraw devices to
// Windows programs under this Wine, and if not, why.
enum class HidBus
{
    Served,
    HidrawDisabled, // "DisableHidraw" not 0
    SdlOnly,        // "Enable SDL" not 0, or not set
};
HidBus hidBus(const std::vector<std::pair<std::string, std::uint32_t>> &settings);

struct HidNode
{
    std::string node; // /dev/hidrawN
    std::uint16_t vendor = 0, product = 0;
    std::string name;               // as the device gives it, raw bytes
    std::optional<Usage> usage;     // nothing: no report descriptor
    std::optional<NodeOwner> owner; // nothing: the node cannot be looked at
    int openError = 0;              // errno of opening it for reading and writing; 0 opened
};

struct SerialNode
{
    std::string node; // /dev/ttyUSB0
    std::uint16_t vendor = 0, product = 0;
    std::string driver;
    std::optional<NodeOwner> owner;
    int openError = 0;
};

// A USB device with neither a hidraw nor a serial node: it needs a driver.
struct UsbDevice
{
    std::uint16_t vendor = 0, product = 0;
    std::string name;
    std::string node; // /dev/bus/usb/BBB/DDD, which the bridge's libusb opens
    std::optional<NodeOwner> owner;
    int openError = 0;
};

struct LinuxView
{
    bool udev = true; // false: libudev could not be asked at all
    std::vector<HidNode> hid;
    std::vector<SerialNode> serial;
    std::vector<UsbDevice> driverOnly;
};

LinuxView linuxDevices();
Account account();
// Programs running now that are known to take serial adapters.
std::vector<std::string> serialGrabbers();

// The prefix's COM names and the Unix nodes they lead to (dosdevices/comN).
std::vector<std::pair<std::string, std::string>> comLinks(const std::string &prefix);

} // namespace kelrin::bridge::devices
