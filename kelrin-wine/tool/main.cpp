// kelrin-bridge: the integrator's look at the Wine bridge, for a station
// that will not talk to its encoder. "check" prepares this account's Wine
// prefix if need be, starts the helper for the maker's DLL the way the
// station does, and prints one line for each thing found. Exit status: 0 all
// thirteen functions resolve and the code pages are 936, 1 anything less, 2
// bad usage.
#include "locate.h"
#include "prefix/preparation.h"
#include "settings.h"
#include "tool/check.h"
#include "tool/lines.h"
#include "tool/login.h"
#include "tool/prefix_section.h"
#include "tool/trace.h"

#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb = kelrin::bridge;
namespace kc = kelrin::bridge::check;
namespace fs = std::filesystem;

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

constexpr std::string_view kHelp =
    "Usage: kelrin-bridge check [--program-folder DIR] [--trace FILE]\n"
    "  or:  kelrin-bridge prepare [--detach]\n"
    "  or:  kelrin-bridge login --group GROUP\n"
    "  or:  kelrin-bridge --help | --version\n"
    "\n"
    "Looks at the Wine bridge to the encoder maker's Kelrin.dll, for a station\n"
    "that will not talk to its encoder.\n"
    "\n"
    "Commands:\n"
    "  check                  prepare this account's Wine prefix when it is not\n"
    "                         yet (about 20 s the first time), start the helper\n"
    "                         for Kelrin.dll as the station does, and print what\n"
    "                         was found: Wine, the prefix, the DLL and its word\n"
    "                         size, the helper, the code pages the DLL runs\n"
    "                         with (936, Chinese Windows'), each of the thirteen\n"
    "                         functions, the imports of the DLL that do not\n"
    "                         resolve, the road the DLL takes to its encoder\n"
    "                         and what GetDLLVersion answers; before the\n"
    "                         helper starts, it puts the prefix's HID bus and\n"
    "                         serial port settings right and says what it found;\n"
    "                         then the encoder's device: the hidraw and USB\n"
    "                         serial nodes as Linux shows them to this account,\n"
    "                         the HID devices and COM ports Windows shows the\n"
    "                         DLL under Wine, and for a device Wine does not\n"
    "                         show, why and the fix; and whether the prefix's\n"
    "                         Wine server is kept for the session\n"
    "  prepare                prepare this account's Wine prefix when it is not\n"
    "                         yet, or wait for the preparation that runs; with\n"
    "                         --detach, start it apart and return at once\n"
    "  login                  what the autostart entry runs at login: nothing\n"
    "                         for an account outside GROUP; else prepare the\n"
    "                         prefix quietly when it is missing and keep its\n"
    "                         Wine server running until the session ends\n"
    "\n"
    "Options:\n"
    "  --program-folder DIR   the station's folder, where Kelrin.dll lies\n"
    "                         (default: the folder above this program's own)\n"
    "  --trace FILE           restart the prefix's Wine with its device and\n"
    "                         loader channels traced, and write what Wine did\n"
    "                         for the check's own calls to FILE (not while a\n"
    "                         station runs in the prefix: it says so instead)\n"
    "\n"
    "Settings, from the environment or else /etc/guestcard/bridge.conf\n"
    "(KELRIN_WINEPREFIX from the environment only):\n"
    "KELRIN_WINE (the Wine to use, default wine on the PATH),\n"
    "KELRIN_WINEPREFIX (default $XDG_DATA_HOME/guestcard/wine),\n"
    "KELRIN_BRIDGE_TIMEOUT_MS (a call's time limit, default 30000),\n"
    "KELRIN_SERIAL_PORT (COMn=PATH: the encoder's serial adapter pinned to a COM\n"
    "name in the prefix, e.g. COM1=/dev/serial/by-id/usb-...),\n"
    "KELRIN_BRIDGE_LOG (FILE: a line per helper start and per failure of the\n"
    "bridge appended there; unset, no log).\n"
    "\n"
    "Exit status: 0 all thirteen functions resolve and the code pages are 936\n"
    "(check), the prefix is ready (prepare, login); 1 anything less; 2 bad usage.\n";

int prepare(bool detach)
{
    const auto env = kb::stationEnvironment();
    const auto wine = kb::findWine(env);
    const auto prefix = kb::prefixPath(env);
    if (!wine || !prefix) {
        std::cerr << "kelrin-bridge: " << (wine ? "no place for a Wine prefix" : "no Wine") << '\n';
        return kFailed;
    }
    if (detach)
        return kb::prepareDetached(*prefix, *wine) == 0 ? kDone : kFailed;
    const auto started = kb::Clock::now();
    const kb::PrefixState state = kb::prepareHere(*prefix, *wine);
    const double seconds = std::chrono::duration<double>(kb::Clock::now() - started).count();
    kc::print({kc::prefixLine(*prefix, state, seconds)});
    return state.outcome == kb::PrefixOutcome::Failed ? kFailed : kDone;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "help")) {
        std::cout << kHelp;
        return kDone;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "kelrin-bridge " << GUESTCARD_VERSION << '\n';
        return kDone;
    }
    if (!args.empty() && args[0] == "prepare") {
        if (args.size() > 2 || (args.size() == 2 && args[1] != "--detach"))
            return std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n", kBadUsage;
        return prepare(args.size() == 2);
    }
    if (args.size() == 3 && args[0] == "login" && args[1] == "--group")
        return kb::login(std::string(args[2]), kb::programFolder().parent_path(),
                         kb::programFolder());
    if (!args.empty() && args[0] == "check") {
        // The station's folder: the one above this program's, as installed.
        fs::path folder = kb::programFolder().parent_path();
        std::optional<fs::path> trace;
        for (std::size_t i = 1; i < args.size(); i += 2) {
            if (i + 1 < args.size() && args[i] == "--program-folder")
                folder = fs::path(args[i + 1]);
            else if (i + 1 < args.size() && args[i] == "--trace" && !args[i + 1].empty())
                trace = fs::absolute(fs::path(args[i + 1]));
            else
                return std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n",
                       kBadUsage;
        }
        try {
            if (!trace)
                return kc::check(folder, {});
            kb::Trace taken(kb::stationEnvironment(), *trace);
            const int status = kc::check(folder, taken.file());
            kc::print({{"Trace:", taken.finish()}});
            return status;
        } catch (const std::exception &error) {
            std::cerr << "kelrin-bridge: " << error.what() << '\n';
            return kFailed;
        }
    }
    std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n";
    return kBadUsage;
}
