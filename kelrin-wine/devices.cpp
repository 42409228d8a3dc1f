#include "devices.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge::devices {

namespace {

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
    if (owner && standing(*owner, account) == Standing::SinceLogin)
        text += "; group " + groupName(owner->gid) +
                " was given to it since this login: log out and in again";
    else if (owner && standing(*owner, account) == Standing::None && (owner->mode & 060) == 060)
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

} // namespace

std::optional<Usage> firstCollectionUsage(std::string_view descriptor)
{
    std::uint32_t page = 0, usage = 0;
    bool haveUsage = false, extended = false;
    std::size_t i = 0;
    while (i < descriptor.size()) {
        const auto prefix = static_cast<std::uint8_t>(descriptor[i]);
        if (prefix == 0xFE) { // a long item: its size in the next byte
            if (i + 1 >= descriptor.size())
                return std::nullopt;
            i += 3 + static_cast<std::uint8_t>(descriptor[i + 1]);
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > descriptor.size())
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < size; ++b)
            value |= std::uint32_t(static_cast<std::uint8_t>(descriptor[i + 1 + b])) << (8 * b);
        const std::uint8_t tag = prefix & 0xFC;
        if (tag == 0x04) { // Usage Page (global)
            page = value;
        } else if (tag == 0x08 && !haveUsage) { // Usage (local); 4 bytes carry the page
            usage = value;
            haveUsage = true;
            extended = size == 4;
        } else if (tag == 0xA0) { // Collection: the first one is the top level
            if (extended)
                return Usage{static_cast<std::uint16_t>(usage >> 16),
                             static_cast<std::uint16_t>(usage)};
            return Usage{static_cast<std::uint16_t>(page), static_cast<std::uint16_t>(usage)};
        } else if ((tag & 0x0C) == 0) { // another main item ends the local usages
            haveUsage = false;
        }
        i += 1 + size;
    }
    return std::nullopt;
}

std::string udevRule(std::uint16_t vendor, std::uint16_t product)
{
    auto lower = [](std::uint16_t value) {
        std::string text = hex4(value);
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    return "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"" + lower(vendor) +
           "\", ATTRS{idProduct}==\"" + lower(product) + "\", GROUP=\"" + kGroup +
           "\", MODE=\"0660\"";
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

Standing standing(const NodeOwner &node, const Account &account)
{
    if ((node.mode & 06) == 06)
        return Standing::Others;
    if (node.uid == account.uid && (node.mode & 0600) == 0600)
        return Standing::Owner;
    if ((node.mode & 060) == 060) {
        if (holds(account.loginGroups, node.gid))
            return Standing::Group;
        if (holds(account.memberOf, node.gid))
            return Standing::SinceLogin;
    }
    return Standing::None;
}

BusVerdict busVerdict(const std::vector<std::pair<std::string, std::uint32_t>> &settings)
{
    std::optional<std::uint32_t> sdl, hidraw;
    std::string set;
    for (const auto &[name, value] : settings) {
        set += (set.empty() ? "" : ", ") + ("\"" + name + "\"=" + std::to_string(value));
        if (name == "Enable SDL")
            sdl = value;
        else if (name == "DisableHidraw")
            hidraw = value;
    }
    BusVerdict verdict;
    verdict.hidrawOn = sdl == 0u && hidraw.value_or(0) == 0;
    if (verdict.hidrawOn)
        verdict.text = "hidraw devices served (" + set + ")";
    else if (hidraw.value_or(0) != 0)
        verdict.text = "hidraw devices off: \"DisableHidraw\" is set (" + set + ")";
    else
        verdict.text = "hidraw devices not served: \"Enable SDL\" is not 0 (" +
                       (set.empty() ? std::string("no value set") : set) + ")";
    return verdict;
}

std::vector<Line> describe(const Section &s)
{
    std::vector<Line> lines;
    const LinuxView &view = s.fromLinux;
    lines.push_back({"Devices:", "as Linux shows them to " + s.account.name});
    if (!view.udev)
        lines.push_back({"Devices:", "libudev could not be asked"});
    if (view.hid.empty())
        lines.push_back({"HID:", "no hidraw node"});
    for (const HidNode &node : view.hid) {
        lines.push_back({"HID:", node.node + " " + ids(node.vendor, node.product) + " \"" +
                                     printable(node.name) + "\", " + usageText(node.usage) + ", " +
                                     ownerText(node.owner)});
        lines.push_back({"Access:", accessText(node.owner, node.openError, s.account)});
    }
    for (const SerialNode &node : view.serial) {
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
    for (const UsbDevice &device : view.driverOnly)
        lines.push_back({"USB:", ids(device.vendor, device.product) + " \"" +
                                     printable(device.name) +
                                     "\" has no hidraw or serial node: it needs a driver of its "
                                     "own, which Wine cannot load"});
    for (const std::string &program : s.grabbers)
        lines.push_back(
            {"Grabber:", program + " runs: it may take a USB serial adapter for itself"});

    if (!s.wine) {
        lines.push_back({"Wine HID:", "the helper did not answer"});
        return lines;
    }
    const BusVerdict bus = busVerdict(s.wine->busSettings);
    lines.push_back({"Wine bus:", bus.text});
    for (const HidDevice &device : s.wine->hid)
        lines.push_back({"Wine HID:", ids(device.vendor, device.product) + " usage page " +
                                          hex4(device.usagePage) + " \"" + printable(device.name) +
                                          "\"" + (device.vendor == 0x845E ? " (Wine's own)" : "")});
    std::string ports;
    for (const std::string &port : s.wine->comPorts)
        ports += (ports.empty() ? "" : " ") + port;
    lines.push_back({"Wine COM:", ports.empty() ? "none" : ports});

    for (const HidNode &node : view.hid) {
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
        } else if (!bus.hidrawOn) {
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
    for (const SerialNode &node : view.serial) {
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

// --- What the system says -------------------------------------------------

namespace {

struct UdevDeleter
{
    void operator()(udev *u) const { udev_unref(u); }
    void operator()(udev_enumerate *e) const { udev_enumerate_unref(e); }
    void operator()(udev_device *d) const { udev_device_unref(d); }
};
template <class T> using Owned = std::unique_ptr<T, UdevDeleter>;

std::string attribute(udev_device *device, const char *name)
{
    const char *value = device ? udev_device_get_sysattr_value(device, name) : nullptr;
    return value ? value : "";
}

std::uint16_t hexNumber(const std::string &text)
{
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
}

std::string fileBytes(const fs::path &path, bool &read)
{
    std::ifstream file(path, std::ios::binary);
    read = static_cast<bool>(file);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::optional<NodeOwner> ownerOf(const std::string &node)
{
    struct stat facts;
    if (::stat(node.c_str(), &facts) != 0)
        return std::nullopt;
    return NodeOwner{facts.st_uid, facts.st_gid, facts.st_mode};
}

int openError(const std::string &node)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

std::vector<std::string> scan(udev *context, const char *subsystem)
{
    std::vector<std::string> paths;
    Owned<udev_enumerate> enumerate(udev_enumerate_new(context));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), subsystem) < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return paths;
    udev_list_entry *entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        if (const char *name = udev_list_entry_get_name(entry))
            paths.emplace_back(name);
    }
    return paths;
}

bool under(const std::string &path, const std::string &parent)
{
    return path.size() > parent.size() && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == '/';
}

// Whether an interface of the USB device at `syspath` has a Linux driver.
bool interfaceDriven(const std::string &syspath)
{
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(syspath, error)) {
        if (entry.path().filename().string().find(':') != std::string::npos &&
            fs::exists(entry.path() / "driver", error))
            return true;
    }
    return false;
}

} // namespace

LinuxView linuxDevices()
{
    LinuxView view;
    Owned<udev> context(udev_new());
    if (!context) {
        view.udev = false;
        return view;
    }
    std::vector<std::string> nodePaths;
    for (const std::string &path : scan(context.get(), "hidraw")) {
        Owned<udev_device> device(udev_device_new_from_syspath(context.get(), path.c_str()));
        const char *devnode = device ? udev_device_get_devnode(device.get()) : nullptr;
        if (!devnode)
            continue;
        nodePaths.push_back(path);
        HidNode node;
        node.node = devnode;
        udev_device *hid =
            udev_device_get_parent_with_subsystem_devtype(device.get(), "hid", nullptr);
        const std::string uevent = attribute(hid, "uevent");
        for (std::size_t at = 0; at < uevent.size();) {
            const std::size_t end = std::min(uevent.find('\n', at), uevent.size());
            const std::string_view entry(uevent.data() + at, end - at);
            unsigned bus = 0, vendor = 0, product = 0;
            if (entry.starts_with("HID_ID=") &&
                std::sscanf(std::string(entry).c_str(), "HID_ID=%x:%x:%x", &bus, &vendor,
                            &product) == 3) {
                node.vendor = static_cast<std::uint16_t>(vendor);
                node.product = static_cast<std::uint16_t>(product);
            } else if (entry.starts_with("HID_NAME=")) {
                node.name = entry.substr(9);
            }
            at = end + 1;
        }
        if (hid) {
            bool read = false;
            const std::string descriptor =
                fileBytes(fs::path(udev_device_get_syspath(hid)) / "report_descriptor", read);
            if (read)
                node.usage = firstCollectionUsage(descriptor);
        }
        node.owner = ownerOf(node.node);
        node.openError = openError(node.node);
        view.hid.push_back(std::move(node));
    }
    for (const std::string &path : scan(context.get(), "tty")) {
        Owned<udev_device> device(udev_device_new_from_syspath(context.get(), path.c_str()));
        udev_device *usb =
            device
                ? udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device")
                : nullptr;
        const char *devnode = device ? udev_device_get_devnode(device.get()) : nullptr;
        if (!usb || !devnode)
            continue;
        nodePaths.push_back(path);
        SerialNode node;
        node.node = devnode;
        node.vendor = hexNumber(attribute(usb, "idVendor"));
        node.product = hexNumber(attribute(usb, "idProduct"));
        if (udev_device *interface =
                udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_interface"))
            if (const char *driver = udev_device_get_driver(interface))
                node.driver = driver;
        node.owner = ownerOf(node.node);
        node.openError = openError(node.node);
        view.serial.push_back(std::move(node));
    }
    for (const std::string &path : scan(context.get(), "usb")) {
        Owned<udev_device> device(udev_device_new_from_syspath(context.get(), path.c_str()));
        const char *type = device ? udev_device_get_devtype(device.get()) : nullptr;
        if (!type || std::strcmp(type, "usb_device") != 0 ||
            attribute(device.get(), "bDeviceClass") == "09" || interfaceDriven(path) ||
            std::any_of(nodePaths.begin(), nodePaths.end(),
                        [&path](const std::string &node) { return under(node, path); }))
            continue;
        view.driverOnly.push_back({hexNumber(attribute(device.get(), "idVendor")),
                                   hexNumber(attribute(device.get(), "idProduct")),
                                   attribute(device.get(), "product")});
    }
    return view;
}

Account account()
{
    Account self;
    self.uid = ::geteuid();
    const passwd *entry = ::getpwuid(self.uid);
    self.name = entry ? entry->pw_name : std::to_string(self.uid);
    const int count = ::getgroups(0, nullptr);
    self.loginGroups.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, self.loginGroups.data()) != count)
        self.loginGroups.clear();
    self.loginGroups.push_back(::getegid());
    if (entry) {
        int size = 64;
        std::vector<gid_t> groups(static_cast<std::size_t>(size));
        if (::getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &size) < 0) {
            groups.resize(static_cast<std::size_t>(size));
            ::getgrouplist(entry->pw_name, entry->pw_gid, groups.data(), &size);
        }
        groups.resize(static_cast<std::size_t>(size));
        self.memberOf = groups;
    }
    return self;
}

std::vector<std::string> serialGrabbers()
{
    std::vector<std::string> found;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file(entry.path() / "comm");
        std::string name;
        if (std::getline(file, name) && (name == "brltty" || name == "ModemManager") &&
            std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    }
    return found;
}

std::vector<std::pair<std::string, std::string>> comLinks(const std::string &prefix)
{
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(fs::path(prefix) / "dosdevices", error)) {
        const std::string name = entry.path().filename();
        if (!name.starts_with("com") || !entry.is_symlink(error))
            continue;
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        links.emplace_back(upper, fs::read_symlink(entry.path(), error).string());
    }
    std::sort(links.begin(), links.end());
    return links;
}

} // namespace kelrin::bridge::devices
