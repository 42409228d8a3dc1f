#include "devices/devices.h"

#include "files.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge::devices {

namespace {

bool holds(const std::vector<gid_t> &groups, gid_t gid)
{
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
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

NodeAccess nodeAccess(const NodeOwner &node, const Account &account)
{
    if ((node.mode & 06) == 06)
        return NodeAccess::Anyone;
    if (node.uid == account.uid && (node.mode & 0600) == 0600)
        return NodeAccess::Owner;
    if ((node.mode & 060) == 060) {
        if (holds(account.loginGroups, node.gid))
            return NodeAccess::Group;
        if (holds(account.memberOf, node.gid))
            return NodeAccess::GroupSinceLogin;
    }
    return NodeAccess::None;
}

HidBus hidBus(const std::vector<std::pair<std::string, std::uint32_t>> &settings)
{
    std::optional<std::uint32_t> sdl, hidraw;
    for (const auto &[name, value] : settings) {
        if (name == "Enable SDL")
            sdl = value;
        else if (name == "DisableHidraw")
            hidraw = value;
    }
    if (hidraw.value_or(0) != 0)
        return HidBus::HidrawDisabled;
    return sdl == 0u ? HidBus::Served : HidBus::SdlOnly;
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
            if (const auto descriptor =
                    readFile(fs::path(udev_device_get_syspath(hid)) / "report_descriptor"))
                node.usage = firstCollectionUsage(*descriptor);
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
        UsbDevice usb{hexNumber(attribute(device.get(), "idVendor")),
                      hexNumber(attribute(device.get(), "idProduct")),
                      attribute(device.get(), "product"),
                      {},
                      {},
                      0};
        if (const char *devnode = udev_device_get_devnode(device.get())) {
            usb.node = devnode;
            usb.owner = ownerOf(usb.node);
            usb.openError = openError(usb.node);
        }
        view.driverOnly.push_back(std::move(usb));
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
        std::string name = readFile(entry.path() / "comm").value_or("");
        name = name.substr(0, name.find('\n'));
        if ((name == "brltty" || name == "ModemManager") &&
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
