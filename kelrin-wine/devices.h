#pragma once
// The check's device section, Linux side: the encoder's nodes as this
// account meets them (hidraw and USB serial nodes, who may open them, the
// groups of the current login), matched against what Windows shows the DLL
// under Wine, with the reason and the fix where the two differ. The pure
// parts (report descriptors, udev rules, texts, group reasoning, the match)
// are plain functions; linuxDevices() and account() ask the system, through
// libudev, so that kelrin-bridge alone links it, never the bridge library.
#include "protocol.h"

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

// The udev rule that gives one encoder's hidraw node to the group guestcard,
// and no other node.
std::string udevRule(std::uint16_t vendor, std::uint16_t product);
// Where the rule goes.
inline constexpr const char *kUdevRuleFile = "/etc/udev/rules.d/70-guestcard-encoder.rules";
inline constexpr const char *kGroup = "guestcard";

// Text from a device, to print: valid UTF-8 kept, control characters and
// bytes outside UTF-8 as \xNN.
std::string printable(std::string_view bytes);

// "1209:0001"
std::string ids(std::uint16_t vendor, std::uint16_t product);

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

enum class Standing
{
    Owner,      // the node's owner may read and write it
    Group,      // this login holds the node's group, which may read and write
    SinceLogin, // the group database has it in the group, this login not yet
    Others,     // anyone may read and write it
    None,       // nothing lets this account read and write it
};
Standing standing(const NodeOwner &node, const Account &account);

// What the winebus settings mean for hidraw devices under this Wine.
struct BusVerdict
{
    bool hidrawOn = false;
    std::string text; // for the check's line
};
BusVerdict busVerdict(const std::vector<std::pair<std::string, std::uint32_t>> &settings);

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

// One line of the section: a label and its text.
struct Line
{
    std::string label;
    std::string text;
};

// What the section prints. `wine` is nothing when the helper did not
// answer; `comLinks` pairs each COM name of the prefix with its Unix node.
struct Section
{
    LinuxView fromLinux;
    Account account;
    std::vector<std::string> grabbers;
    std::optional<DeviceList> wine;
    std::vector<std::pair<std::string, std::string>> comLinks;
};
std::vector<Line> describe(const Section &section);

// The prefix's COM names and the Unix nodes they lead to (dosdevices/comN).
std::vector<std::pair<std::string, std::string>> comLinks(const std::string &prefix);

} // namespace kelrin::bridge::devices
