#pragma once
// A serial port's USB adapter as sysfs shows it: the USB device above the
// tty (vendor, product, revision, serial number, names) and the kernel
// driver of its interface, which tells its chip. Plain file reads, no
// libudev, so that the bridge library takes it too: it describes each
// adapter to Windows' Plug and Play in the prefix before a helper starts.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kelrin::bridge::devices {

struct UsbSerialAdapter
{
    std::string tty; // the kernel's name of the port: ttyUSB0, ttyACM0
    std::uint16_t vendor = 0, product = 0;
    std::uint16_t revision = 0; // bcdDevice
    std::string serial;         // the USB serial number; empty when it has none
    std::string manufacturer, name;
    std::string driver;  // the interface's kernel driver: ch341, pl2303, cp210x, ftdi_sio, cdc_acm
    std::string usbPath; // the USB device's place on the bus (its sysfs name), e.g. 1-1.2
    unsigned interface = 0; // bInterfaceNumber of the port's interface
};

// The adapter of the character device `node` (its path, links followed),
// found in `sysfs` (/sys, or a tree laid out as it is) through
// dev/char/MAJOR:MINOR; nothing for a node that is no character device or
// a tty with no USB device above it (a built-in port, a pseudo-terminal).
std::optional<UsbSerialAdapter> usbSerialAdapter(const std::filesystem::path &node,
                                                 const std::filesystem::path &sysfs = "/sys");

} // namespace kelrin::bridge::devices
