#pragma once
// The serial adapters the prefix maps to COM names, described as Windows'
// Plug and Play describes a port once its chip's driver is installed: a
// device of the Ports setup class under HKLM\System\CurrentControlSet\Enum\USB
// (hardware ids, the friendly name the chip's Windows driver gives, the
// manufacturer, Device Parameters\PortName, the USB serial number in the
// instance id where the chip has one) and the COM-port device interface,
// so that a DLL that looks for its adapter through SetupAPI (by vendor and
// product, or by name) finds it, as on Windows. Wine's own mapping makes a
// COM name open; this makes it listed. Pure: the registry edits from the
// adapters found.
#include "devices/usb_serial.h"
#include "prefix/registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge {

// The Ports setup class and the COM-port device interface class.
inline constexpr const char *kPortsClass = "{4d36e978-e325-11ce-bfc1-08002be10318}";
inline constexpr const char *kComPortInterface = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
// Marks every key the bridge writes, so that a port no longer there is
// taken out again and nothing else is.
inline constexpr const char *kListedMark = "GuestcardBridge";

// A COM name the prefix maps, and the adapter behind it.
struct MappedPort
{
    unsigned number = 0; // COMn
    devices::UsbSerialAdapter adapter;
};

// How Windows lists the port.
struct PortDescription
{
    std::string deviceId;     // USB\VID_1A86&PID_7523\5&1B2C3D4E&0&1
    std::string friendlyName; // USB-SERIAL CH340 (COM3)
    std::string deviceDesc;   // USB-SERIAL CH340
    std::string manufacturer; // wch.cn
    std::string service;      // the chip's Windows driver service
    std::vector<std::string> hardwareIds;
    std::string portName; // COM3
};
PortDescription describePort(const MappedPort &port);

// The edits that make `systemReg` list exactly `ports` among the ports the
// bridge lists: each key and value of theirs that is missing or differs,
// and the removal of those it listed before that are gone. Empty when the
// registry lists them already.
std::vector<registry::Edit> portListingEdits(std::string_view systemReg,
                                             const std::vector<MappedPort> &ports);

} // namespace kelrin::bridge
