#include "tool/devices_section.h"

#include "bridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <grp.h>
#include <pwd.h>

namespace kelrin::bridge::check {

namespace {

using devices::Account;
using devices::NodeAccess;
using devices::NodeOwner;
using devices::Usage;

std::string hex4(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string userName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? entry->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? entry->gr_name : std::to_string(gid);
}

std::string ownerText(const std::optional<NodeOwner> &owner)
{
    if (!owner)
        return "owner unknown";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(owner->mode & 07777));
    return userName(owner->uid) + ":" + groupName(owner->gid) + " " + mode;
}

bool holds(const std::vector<gid_t> &groups, gid_t gid)
{
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string accessText(const std::optional<NodeOwner> &owner, int openError, const Account &account)
{
    if (openError == 0)
        return "this account can open it for reading and writing";
    std::string text = "this account cannot open it for reading and writing (" +
                       std::string(std::strerror(openError)) + ")";
    if (owner && nodeAccess(*owner, account) == NodeAccess::GroupSinceLogin)
        text += "; group " + groupName(owner->gid) +
                " was given to it since this login: log out and in again";
    else if (owner && nodeAccess(*owner, account) == NodeAccess::None && (owner->mode & 060) == 060)
        text += "; it is not in group " + groupName(owner->gid);
    return text;
}

std::string usageText(const std::optional<Usage> &usage)
{
    if (!usage)
        return "usage page unknown (no report descriptor)";
    std::string text = "usage page " + hex4(usage->page);
    if (usage->page >= 0xFF00)
        text += " (vendor-defined)";
    return text;
}

// What the winebus settings mean for hidraw devices, as a line's text.
std::string busText(const std::vector<std::pair<std::string, std::uint32_t>> &settings)
{
    std::string set;
    for (const auto &[name, value] : settings)
        set += (set.empty() ? "" : ", ") + ("\"" + name + "\"=" + std::to_string(value));
    switch (devices::hidBus(settings)) {
    case devices::HidBus::Served:
        return "hidraw devices served (" + set + ")";
    case devices::HidBus::HidrawDisabled:
        return "hidraw devices off: \"DisableHidraw\" is set (" + set + ")";
    case devices::HidBus::SdlOnly:
        break;
    }
    return "hidraw devices not served: \"Enable SDL\" is not 0 (" +
           (set.empty() ? std::string("no value set") : set) + ")";
}

} // namespace

std::string udevRule(std::uint16_t vendor, std::uint16_t product, bool usb)
{
    auto lower = [](std::uint16_t value) {
        std::string text = hex4(value);
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    return std::string(usb ? "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", "
                           : "SUBSYSTEM==\"hidraw\", ") +
           "ATTRS{idVendor}==\"" + lower(vendor) + "\", ATTRS{idProduct}==\"" + lower(product) +
           "\", GROUP=\"" + kGroup + "\", MODE=\"0660\"";
}

std::string printable(std::string_view bytes)
{
    std::string text;
    auto escape = [&text](unsigned char c) {
        char code[5];
        std::snprintf(code, sizeof code, "\\x%02X", c);
        text += code;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t length = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
        bool valid =
            length > 0 && i + length <= bytes.size() && !(c == 0xC0 || c == 0xC1) && c < 0xF5;
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (!valid) {
            escape(c);
            ++i;
        } else if (length == 1 && (c < 0x20 || c == 0x7F || c == '\\')) {
            escape(c);
            ++i;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

std::string ids(std::uint16_t vendor, std::uint16_t product)
{
    return hex4(vendor) + ":" + hex4(product);
}

Lines describeDevices(const DeviceFacts &s)
{
    Lines lines;
    const devices::LinuxView &view = s.fromLinux;
    lines.push_back({"Devices:", "as Linux shows them to " + s.account.name});
    if (!view.udev)
        lines.push_back({"Devices:", "libudev could not be asked"});
    if (view.hid.empty())
        lines.push_back({"HID:", "no hidraw node"});
    for (const devices::HidNode &node : view.hid) {
        lines.push_back({"HID:", node.node + " " + ids(node.vendor, node.product) + " \"" +
                                     printable(node.name) + "\", " + usageText(node.usage) + ", " +
                                     ownerText(node.owner)});
        lines.push_back({"Access:", accessText(node.owner, node.openError, s.account)});
    }
    for (const devices::SerialNode &node : view.serial) {
        std::string com = "no COM name in this prefix";
        for (const auto &[name, target] : s.comLinks) {
            if (target == node.node)
                com = "COM name " + name + " in this prefix";
        }
        lines.push_back({"Serial:", node.node + " " + ids(node.vendor, node.product) + ", driver " +
                                        (node.driver.empty() ? "none" : node.driver) + ", " +
                                        ownerText(node.owner) + ", " + com});
        lines.push_back({"Access:", accessText(node.owner, node.openError, s.account)});
    }
    for (const devices::UsbDevice &device : view.driverOnly) {
        lines.push_back(
            {"USB:", ids(device.vendor, device.product) + " \"" + printable(device.name) +
                         "\" has no hidraw or serial node: served only to a DLL that reaches it "
                         "through libusb0.dll (the road above), on " +
                         (device.node.empty() ? std::string("its node under /dev/bus/usb")
                                              : device.node + ", " + ownerText(device.owner)) +
                         ", which this rule gives the group guestcard:"});
        lines.push_back({"Rule:", udevRule(device.vendor, device.product, true)});
        if (!device.node.empty())
            lines.push_back({"Access:", accessText(device.owner, device.openError, s.account)});
    }
    for (const std::string &program : s.grabbers)
        lines.push_back(
            {"Grabber:", program + " runs: it may take a USB serial adapter for itself"});

    if (!s.wine) {
        lines.push_back({"Wine HID:", "the helper did not answer"});
        return lines;
    }
    const bool hidrawServed = devices::hidBus(s.wine->busSettings) == devices::HidBus::Served;
    lines.push_back({"Wine bus:", busText(s.wine->busSettings)});
    for (const HidDevice &device : s.wine->hid)
        lines.push_back({"Wine HID:", ids(device.vendor, device.product) + " usage page " +
                                          hex4(device.usagePage) + " \"" + printable(device.name) +
                                          "\"" + (device.vendor == 0x845E ? " (Wine's own)" : "")});
    std::string ports;
    for (const std::string &port : s.wine->comPorts)
        ports += (ports.empty() ? "" : " ") + port;
    lines.push_back({"Wine COM:", ports.empty() ? "none" : ports});
    for (const ListedPort &port : s.wine->listedPorts)
        lines.push_back({"Wine port:", port.portName + " listed by SetupAPI as \"" +
                                           printable(port.friendlyName) + "\", " +
                                           printable(port.hardwareId)});

    for (const devices::HidNode &node : view.hid) {
        const bool shown =
            std::any_of(s.wine->hid.begin(), s.wine->hid.end(), [&node](const HidDevice &d) {
                return d.vendor == node.vendor && d.product == node.product;
            });
        const std::string which = ids(node.vendor, node.product) + " (" + node.node + ")";
        if (shown) {
            lines.push_back({"Found:", which + ": Linux and Wine show it, the DLL can find it"});
            continue;
        }
        if (node.openError != 0) {
            lines.push_back({"Missing:", which + ": Wine does not show it: this account cannot "
                                                 "open the node for reading and writing"});
            lines.push_back({"Fix:", "as root, the udev rule in " + std::string(kUdevRuleFile) +
                                         ", then udevadm control --reload && udevadm trigger:"});
            lines.push_back({"Rule:", udevRule(node.vendor, node.product)});
            const group *entry = ::getgrnam(kGroup);
            if (!entry || !holds(s.account.memberOf, entry->gr_gid))
                lines.push_back({"Fix:", "as root: usermod -aG " + std::string(kGroup) + " " +
                                             s.account.name + ", then log in again"});
        } else if (!hidrawServed) {
            lines.push_back({"Missing:", which + ": Wine does not show it: its HID bus serves "
                                                 "no hidraw devices in this prefix"});
            lines.push_back({"Fix:", "\"Enable SDL\"=dword:0 under "
                                     "HKLM\\System\\CurrentControlSet\\Services\\winebus, "
                                     "then the prefix's Wine restarted (wineserver -k) "
                                     "with no station running"});
        } else {
            lines.push_back({"Missing:", which + ": Wine does not show it although this account "
                                                 "can open it: restart the prefix's Wine "
                                                 "(wineserver -k) with no station running"});
        }
    }
    for (const devices::SerialNode &node : view.serial) {
        const bool named =
            std::any_of(s.comLinks.begin(), s.comLinks.end(),
                        [&node](const auto &link) { return link.second == node.node; });
        if (node.openError != 0 && node.owner)
            lines.push_back({"Fix:", "as root: usermod -aG " + groupName(node.owner->gid) + " " +
                                         s.account.name + ", then log in again (" + node.node +
                                         ")"});
        if (!named)
            lines.push_back({"Fix:", "pin " + node.node + " to a COM name: \"COM1\"=\"" +
                                         node.node +
                                         "\" under HKLM\\Software\\Wine\\Ports, then the "
                                         "prefix's Wine restarted"});
    }
    return lines;
}

Lines devicesSection(Bridge &bridge, const StartReport &found)
{
    DeviceFacts facts;
    facts.fromLinux = devices::linuxDevices();
    facts.account = devices::account();
    facts.grabbers = devices::serialGrabbers();
    if (found.hello)
        facts.wine = bridge.devices();
    if (found.prefix)
        facts.comLinks = devices::comLinks(found.prefix->string());
    return describeDevices(facts);
}

} // namespace kelrin::bridge::check
