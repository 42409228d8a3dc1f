#pragma once
// Which road the maker's DLL takes to its encoder, read from its imports and
// from those of every DLL it imports from its own folder: Windows' HID
// functions, a serial port, or a USB driver's user-mode library (libusb-win32,
// FTDI's D2XX, WinUSB, a chip maker's own), and whether that road exists
// under Wine. Pure: the check words it.
#include "protocol.h"
#include "tool/lines.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kelrin::bridge::check {

enum class Road
{
    Hid,         // hid.dll (and setupapi.dll to find the device)
    Serial,      // the comm functions of kernel32 on a COM port
    LibusbWin32, // libusb0.dll
    D2xx,        // ftd2xx.dll
    WinUsb,      // winusb.dll
    ChipMaker,   // a chip maker's own USB library over its kernel driver
};

struct RoadTaken
{
    Road road;
    std::string through; // the DLL that imports it: Kelrin.dll, or one beside it
    std::string what;    // the library or function that shows it, e.g. "hid.dll", "SetCommState"
};

// The roads in `imports` of the DLL named `dll` (each once, in the order above).
std::vector<RoadTaken> roadsOf(const std::string &dll, const std::vector<Import> &imports);

// The roads of the DLL at `path` and of the DLLs it imports that lie in its
// folder (and theirs), each DLL looked at once.
std::vector<RoadTaken> roadsFrom(const std::filesystem::path &path);

// The check's "Road:" lines for them.
Lines roadLines(const std::vector<RoadTaken> &roads);

} // namespace kelrin::bridge::check
