#pragma once
// The check's device section, printed after its result: the encoder's
// nodes as Linux shows them to this account, the devices Windows shows the
// DLL under Wine, and for a device Linux has and Wine does not, the reason
// and the fix. The words are pure functions of the facts gathered.
#include "devices/devices.h"
#include "protocol.h"
#include "tool/lines.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelrin::bridge {
class Bridge;
struct StartReport;
} // namespace kelrin::bridge

namespace kelrin::bridge::check {

// The udev rule that gives one encoder's node to the group guestcard, and no
// other node, and where it goes: its hidraw node, or (`usb`) its node under
// /dev/bus/usb, which the bridge's libusb opens for the supplied libusb0.dll.
std::string udevRule(std::uint16_t vendor, std::uint16_t product, bool usb = false);
inline constexpr const char *kUdevRuleFile = "/etc/udev/rules.d/70-guestcard-encoder.rules";
inline constexpr const char *kGroup = "guestcard";

// Text from a device, to print: valid UTF-8 kept, control characters and
// bytes outside UTF-8 as \xNN.
std::string printable(std::string_view bytes);

// "1209:0001"
std::string ids(std::uint16_t vendor, std::uint16_t product);

// What the section words. `wine` is nothing when the helper did not
// answer; `comLinks` pairs each COM name of the prefix with its Unix node.
struct DeviceFacts
{
    devices::LinuxView fromLinux;
    devices::Account account;
    std::vector<std::string> grabbers;
    std::optional<DeviceList> wine;
    std::vector<std::pair<std::string, std::string>> comLinks;
};
Lines describeDevices(const DeviceFacts &facts);

// Gathers the facts and words them; asks the running helper for Wine's
// side, so `bridge` must have been started.
Lines devicesSection(Bridge &bridge, const StartReport &found);

} // namespace kelrin::bridge::check
