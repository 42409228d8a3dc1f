#include "prefix/port_listing.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace kelrin::bridge {

namespace {

constexpr const char *kEnumUsb = "System\\CurrentControlSet\\Enum\\USB";
constexpr const char *kDeviceClasses = "System\\CurrentControlSet\\Control\\DeviceClasses";

// What the chip's Windows driver calls the port, who it names as the
// maker, and its service: by the Linux driver of the same chip.
struct Chip
{
    const char *linuxDriver;
    const char *name;
    const char *manufacturer;
    const char *service;
};
constexpr Chip kChips[] = {
    {"ch341", "USB-SERIAL CH340", "wch.cn", "CH341SER"},
    {"pl2303", "Prolific USB-to-Serial Comm Port", "Prolific", "Ser2pl"},
    {"cp210x", "Silicon Labs CP210x USB to UART Bridge", "Silicon Labs", "silabser"},
    {"ftdi_sio", "USB Serial Port", "FTDI", "FTSER2K"},
};
// A CDC-ACM device, and any other, as Windows' own usbser driver names it.
constexpr Chip kOther = {"cdc_acm", "USB Serial Device", "Microsoft", "usbser"};

std::string hex4(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// A serial number Windows would take as the instance id: printable, and
// none of the separators of a device id.
bool usableSerial(const std::string &serial)
{
    return !serial.empty() && serial.size() <= 64 &&
           std::all_of(serial.begin(), serial.end(), [](char c) {
               return c > 0x20 && c < 0x7F && c != '\\' && c != '#' && c != '&' && c != ',';
           });
}

// Windows' form for a device without a serial number: its parent's id and
// its port on the hub, here from its place on the bus, so that it stays
// the same for the same socket.
std::string generatedInstance(const std::string &usbPath)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char c : usbPath)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const std::size_t dot = usbPath.find_last_of(".-");
    unsigned port = 0;
    if (dot != std::string::npos)
        std::sscanf(usbPath.c_str() + dot + 1, "%u", &port);
    char text[32];
    std::snprintf(text, sizeof text, "5&%08X&0&%u", static_cast<unsigned>(hash), port);
    return text;
}

std::string lowered(std::string text)
{
    for (char &c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

} // namespace

PortDescription describePort(const MappedPort &port)
{
    const devices::UsbSerialAdapter &a = port.adapter;
    const Chip *chip = &kOther;
    for (const Chip &known : kChips) {
        if (a.driver == known.linuxDriver)
            chip = &known;
    }
    PortDescription d;
    const std::string ids = "VID_" + hex4(a.vendor) + "&PID_" + hex4(a.product);
    d.deviceId = std::string("USB\\") + ids + "\\" +
                 (usableSerial(a.serial) ? a.serial : generatedInstance(a.usbPath));
    d.portName = "COM" + std::to_string(port.number);
    d.deviceDesc = chip->name;
    d.friendlyName = d.deviceDesc + " (" + d.portName + ")";
    d.manufacturer = chip->manufacturer;
    d.service = chip->service;
    d.hardwareIds = {"USB\\" + ids + "&REV_" + hex4(a.revision), "USB\\" + ids};
    return d;
}

std::vector<registry::Edit> portListingEdits(std::string_view systemReg,
                                             const std::vector<MappedPort> &ports)
{
    using registry::dword;
    using registry::string;
    std::vector<registry::Edit> wanted;
    const auto mark = [&wanted](const std::string &key) {
        wanted.push_back({key, kListedMark, dword(1), false});
    };
    for (const MappedPort &port : ports) {
        const PortDescription d = describePort(port);
        const std::string instance = std::string(kEnumUsb) + d.deviceId.substr(3);
        for (auto [name, value] :
             {std::pair{"ClassGUID", string(kPortsClass)}, std::pair{"Class", string("Ports")},
              std::pair{"DeviceDesc", string(d.deviceDesc)},
              std::pair{"FriendlyName", string(d.friendlyName)},
              std::pair{"HardwareID", registry::multiString(d.hardwareIds)},
              std::pair{"Mfg", string(d.manufacturer)}, std::pair{"Service", string(d.service)}})
            wanted.push_back({instance, name, value, false});
        mark(instance);
        wanted.push_back({instance + "\\Device Parameters", "PortName", string(d.portName), false});
        mark(instance + "\\Device Parameters");

        std::string reference = d.deviceId;
        std::replace(reference.begin(), reference.end(), '\\', '#');
        const std::string interface = std::string(kDeviceClasses) + "\\" + kComPortInterface +
                                      "\\##?#" + reference + "#" + kComPortInterface;
        wanted.push_back({interface, "DeviceInstance", string(d.deviceId), false});
        mark(interface);
        wanted.push_back({interface + "\\#", "SymbolicLink",
                          string("\\\\?\\" + reference + "#" + kComPortInterface), false});
        mark(interface + "\\#");
        wanted.push_back({interface + "\\#\\Control", "Linked", dword(1), false});
        mark(interface + "\\#\\Control");
    }

    std::set<std::string> wantedKeys;
    for (const registry::Edit &edit : wanted)
        wantedKeys.insert(lowered(edit.key));
    std::vector<registry::Edit> edits;
    // A port the bridge listed before and that is no longer mapped (its
    // adapter gone, another COM name) is listed no more.
    for (const std::string &key : registry::keysWithValue(systemReg, kListedMark)) {
        if (!wantedKeys.contains(lowered(key)))
            edits.push_back({key, {}, {}, true});
    }
    for (registry::Edit &edit : wanted) {
        if (registry::find(systemReg, edit.key, edit.name) != edit.value)
            edits.push_back(std::move(edit));
    }
    return edits;
}

} // namespace kelrin::bridge
