#include "devices/usb_serial.h"

#include "files.h"

#include <charconv>
#include <system_error>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace kelrin::bridge::devices {

namespace {

// A sysfs attribute's first line; empty when there is none.
std::string attribute(const fs::path &device, const char *name)
{
    std::string text = readFile(device / name, 4096).value_or("");
    return text.substr(0, text.find('\n'));
}

std::uint16_t hex(const std::string &text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size() && value <= 0xFFFF
               ? static_cast<std::uint16_t>(value)
               : 0;
}

std::string driverOf(const fs::path &device)
{
    std::error_code error;
    return fs::read_symlink(device / "driver", error).filename().string();
}

} // namespace

std::optional<UsbSerialAdapter> usbSerialAdapter(const fs::path &node, const fs::path &sysfs)
{
    struct stat facts
    {
    };
    if (::stat(node.c_str(), &facts) != 0 || !S_ISCHR(facts.st_mode))
        return std::nullopt;
    const fs::path link =
        sysfs / "dev" / "char" /
        (std::to_string(major(facts.st_rdev)) + ":" + std::to_string(minor(facts.st_rdev)));
    std::error_code error;
    const fs::path tty = fs::canonical(link, error);
    if (error)
        return std::nullopt;
    UsbSerialAdapter adapter;
    adapter.tty = tty.filename().string();
    // Up from the tty: the USB interface (bInterfaceNumber), then the USB
    // device (idVendor); never above the sysfs tree itself.
    const fs::path top = fs::canonical(sysfs, error);
    for (fs::path at = tty.parent_path(); !error && at != top && at.has_relative_path();
         at = at.parent_path()) {
        if (fs::exists(at / "bInterfaceNumber", error) && adapter.driver.empty()) {
            adapter.driver = driverOf(at);
            adapter.interface = hex(attribute(at, "bInterfaceNumber"));
        }
        if (fs::exists(at / "idVendor", error)) {
            adapter.vendor = hex(attribute(at, "idVendor"));
            adapter.product = hex(attribute(at, "idProduct"));
            adapter.revision = hex(attribute(at, "bcdDevice"));
            adapter.serial = attribute(at, "serial");
            adapter.manufacturer = attribute(at, "manufacturer");
            adapter.name = attribute(at, "product");
            adapter.usbPath = at.filename().string();
            return adapter;
        }
    }
    return std::nullopt;
}

} // namespace kelrin::bridge::devices
