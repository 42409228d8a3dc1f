#include "tool/road.h"

#include "files.h"
#include "pe.h"

#include <algorithm>
#include <set>

namespace fs = std::filesystem;

namespace kelrin::bridge::check {

namespace {

std::string lowered(std::string text)
{
    for (char &c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// Chip makers' USB libraries, each over a kernel driver of its own, which
// Wine cannot load.
constexpr const char *kChipMakers[] = {"ch341dll.dll", "ch375dll.dll", "ch9326dll.dll",
                                       "siusbxp.dll", "usbiox.dll"};
// The comm functions a program sets a serial port up with.
constexpr const char *kCommFunctions[] = {"SetCommState",    "GetCommState",  "SetupComm",
                                          "SetCommTimeouts", "BuildCommDCBA", "BuildCommDCBW"};

} // namespace

std::vector<RoadTaken> roadsOf(const std::string &dll, const std::vector<Import> &imports)
{
    std::vector<RoadTaken> roads;
    const auto add = [&](Road road, const std::string &what) {
        if (std::none_of(roads.begin(), roads.end(),
                         [road](const RoadTaken &taken) { return taken.road == road; }))
            roads.push_back({road, dll, what});
    };
    for (const Import &import : imports) {
        const std::string name = lowered(import.dll);
        if (name == "hid.dll")
            add(Road::Hid, import.dll);
        else if (name == "libusb0.dll")
            add(Road::LibusbWin32, import.dll);
        else if (name == "ftd2xx.dll")
            add(Road::D2xx, import.dll);
        else if (name == "winusb.dll")
            add(Road::WinUsb, import.dll);
        else if (std::find(std::begin(kChipMakers), std::end(kChipMakers), name) !=
                 std::end(kChipMakers))
            add(Road::ChipMaker, import.dll);
        else if (name == "kernel32.dll" &&
                 std::find(std::begin(kCommFunctions), std::end(kCommFunctions), import.function) !=
                     std::end(kCommFunctions))
            add(Road::Serial, import.function);
    }
    std::sort(roads.begin(), roads.end(),
              [](const RoadTaken &a, const RoadTaken &b) { return a.road < b.road; });
    return roads;
}

std::vector<RoadTaken> roadsFrom(const fs::path &path)
{
    std::vector<RoadTaken> roads;
    std::set<std::string> seen;
    std::vector<fs::path> next{path};
    while (!next.empty()) {
        const fs::path dll = next.back();
        next.pop_back();
        if (!seen.insert(lowered(dll.filename().string())).second)
            continue;
        const std::vector<Import> imports = peImports(readFile(dll).value_or(""));
        for (RoadTaken &road : roadsOf(dll.filename().string(), imports))
            roads.push_back(std::move(road));
        // A DLL it imports from its own folder (the helper loads it with its
        // folder first), any letter case.
        std::error_code error;
        for (const auto &entry : fs::directory_iterator(path.parent_path(), error)) {
            const std::string name = lowered(entry.path().filename().string());
            if (std::any_of(imports.begin(), imports.end(),
                            [&](const Import &i) { return lowered(i.dll) == name; }))
                next.push_back(entry.path());
        }
    }
    return roads;
}

Lines roadLines(const std::vector<RoadTaken> &roads)
{
    // Each road's name and what Wine makes of it.
    struct Verdict
    {
        Road road;
        const char *name, *verdict;
    };
    static constexpr Verdict kVerdicts[] = {
        {Road::Hid, "HID",
         "served under Wine; the device section shows whether Wine shows the encoder"},
        {Road::Serial, "serial",
         "served under Wine on the COM ports below, each listed as Windows lists it"},
        {Road::LibusbWin32, "libusb-win32",
         "served under Wine by the bridge's own libusb0.dll over Linux's libusb; the "
         "encoder's node under /dev/bus/usb must be open to this account (its USB: and Rule: "
         "lines below)"},
        {Road::D2xx, "FTDI D2XX",
         "Wine has no ftd2xx.dll: this encoder cannot be served under Wine"},
        {Road::WinUsb, "WinUSB",
         "Wine's winusb.dll answers every call with a stub: this encoder cannot be served "
         "under Wine"},
        {Road::ChipMaker, "a chip maker's USB library",
         "over its own kernel driver, which Wine cannot load: this encoder cannot be served "
         "under Wine"},
    };
    Lines lines;
    if (roads.empty())
        lines.push_back({"Road:", "none that the imports show: the DLL reaches its encoder "
                                  "through a library it loads by name, or a file it opens"});
    for (const RoadTaken &taken : roads) {
        for (const Verdict &v : kVerdicts) {
            if (v.road == taken.road)
                lines.push_back(
                    {"Road:", std::string(v.name) + " (" + taken.through + ", " + taken.what + ")" +
                                  (taken.road == Road::ChipMaker ? " " : ": ") + v.verdict});
        }
    }
    return lines;
}

} // namespace kelrin::bridge::check
