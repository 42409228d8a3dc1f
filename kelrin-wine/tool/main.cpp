// kelrin-bridge: the integrator's look at the Wine bridge, for a station
// that will not talk to its encoder. "check" prepares this account's Wine
// prefix if need be, starts the helper for the maker's DLL the way the
// station does, and prints one line for each thing found. Exit status: 0 all
// thirteen functions resolve and the code pages are 936, 1 anything less, 2
// bad usage.
#include "bridge.h"
#include "kelrin.h"
#include "preparation.h"
#include "session.h"
#include "surroundings.h"
#include "tool/devices_section.h"
#include "trace.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kb = kelrin::bridge;
namespace fs = std::filesystem;

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;
// The check waits for a first preparation to its end, then for the helper,
// which may be Wine's first start since login.
constexpr auto kCheckTimeLimit = kb::kPreparationLimit + std::chrono::seconds(120);

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
    "                         resolve and what GetDLLVersion answers; before the\n"
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
    "Environment: KELRIN_WINE (the Wine to use, default wine on the PATH),\n"
    "KELRIN_WINEPREFIX (default $XDG_DATA_HOME/guestcard/wine),\n"
    "KELRIN_BRIDGE_TIMEOUT_MS (a call's time limit, default 30000),\n"
    "KELRIN_SERIAL_PORT (COMn=PATH: the encoder's serial adapter pinned to a COM\n"
    "name in the prefix, e.g. COM1=/dev/serial/by-id/usb-...),\n"
    "KELRIN_BRIDGE_LOG (FILE: a line per helper start and per failure of the\n"
    "bridge appended there; unset, no log).\n"
    "\n"
    "Exit status: 0 all thirteen functions resolve and the code pages are 936\n"
    "(check), the prefix is ready (prepare, login); 1 anything less; 2 bad usage.\n";

void line(std::string_view label, const std::string &value)
{
    std::cout << label << std::string(label.size() < 10 ? 10 - label.size() : 1, ' ') << value
              << '\n'
              << std::flush;
}

std::string codeText(std::int32_t code)
{
    return std::string(kelrin_result_text(code)) + " (" + std::to_string(code) + ")";
}

std::string wineVersion(const fs::path &wine)
{
    try {
        kb::Child child({wine,
                         {"--version"},
                         kb::environmentWith(kb::wineDropped(), {"WINEDEBUG=-all"}),
                         true,
                         true});
        const auto out = child.receiveAll(kb::Clock::now() + std::chrono::seconds(20));
        if (out && !out->empty())
            return out->substr(0, out->find('\n'));
    } catch (const std::system_error &) {
    }
    return "does not answer --version";
}

std::string serverState(const fs::path &prefix)
{
    if (const auto keeper = kb::keeperOf(prefix))
        return "kept running for this session (kelrin-bridge login, process " +
               std::to_string(*keeper) + ")";
    return "not kept: a start after Wine's server has ended waits for Wine to start "
           "(kelrin-bridge login keeps it; the package runs it at login)";
}

int prepare(bool detach)
{
    const auto env = kb::processEnvironment();
    const auto wine = kb::findWine(env);
    const auto prefix = kb::prefixPath(env);
    if (!wine || !prefix) {
        std::cerr << "kelrin-bridge: " << (wine ? "no place for a Wine prefix" : "no Wine") << '\n';
        return kFailed;
    }
    if (detach)
        return kb::prepareDetached(*prefix, *wine) == 0 ? kDone : kFailed;
    const auto started = kb::Clock::now();
    const kb::PrefixOutcome outcome = kb::prepareHere(*prefix, *wine);
    const double seconds = std::chrono::duration<double>(kb::Clock::now() - started).count();
    if (outcome == kb::PrefixOutcome::Failed) {
        line("Prefix:", prefix->string() + " (cannot be prepared)");
        return kFailed;
    }
    line("Prefix:",
         prefix->string() +
             (outcome == kb::PrefixOutcome::Prepared
                  ? " (prepared now, in " + std::to_string(static_cast<int>(seconds + 0.5)) + " s)"
                  : " (ready)"));
    return kDone;
}

// The helper's code pages, which the maker's DLL expects to be Chinese
// Windows' own; false when they are not.
bool codePages(const kb::Found &found)
{
    if (!found.hello)
        return true;
    const std::uint32_t ansi = found.hello->ansiCodePage, oem = found.hello->oemCodePage;
    const bool chinese = ansi == kb::kChineseCodePage && oem == kb::kChineseCodePage;
    std::string note;
    if (!chinese && !kb::helperLocaleInstalled())
        note = std::string("; the locale ") + kb::kHelperLocale +
               " is missing (Debian package locales-all)";
    line("Code page:", std::to_string(ansi) + " (ANSI), " + std::to_string(oem) + " (OEM)" + note);
    return chinese;
}

void preparing(const char *note)
{
    line("Prefix:", note);
}

int check(const fs::path &programFolder, const fs::path &trace)
{
    const auto env = kb::processEnvironment();
    // The helpers lie beside this program, as beside the bridge library.
    kb::Bridge bridge(env, {programFolder, kb::programFolder()});
    bridge.traceTo(trace);
    bridge.prepareInForeground();
    const auto started = kb::Clock::now();
    const kb::Found found = bridge.start(kCheckTimeLimit, preparing);
    const double seconds = std::chrono::duration<double>(kb::Clock::now() - started).count();

    if (found.wine)
        line("Wine:", found.wine->string() + ", " + wineVersion(*found.wine));
    else
        line("Wine:", "not found (KELRIN_WINE, or wine on the PATH)");
    if (found.dll) {
        const std::string size = !found.machine
                                     ? "not a Windows DLL for i386 or x86-64"
                                     : std::to_string(kb::bitsOf(*found.machine)) + "-bit";
        line("Library:", found.dll->string() + ", " + size);
    } else if (found.wine) {
        line("Library:", "no Kelrin.dll in " + programFolder.string());
    }
    if (found.machine)
        line("Helper:", found.helper.string() + (fs::exists(found.helper) ? "" : " (missing)"));
    if (found.prefix) {
        std::string state = "cannot be prepared";
        if (found.prefixOutcome == kb::PrefixOutcome::Ready)
            state = "ready";
        else if (found.prefixOutcome == kb::PrefixOutcome::Prepared)
            state = "prepared now, in " + std::to_string(static_cast<int>(seconds + 0.5)) + " s";
        if (found.prefixOutcome)
            line("Prefix:", found.prefix->string() + " (" + state + ")");
        line("Server:", serverState(*found.prefix));
    } else if (found.result == KELRIN_BRIDGE_PREFIX) {
        line("Prefix:", "no place for it: set KELRIN_WINEPREFIX, XDG_DATA_HOME or HOME");
    }
    if (found.upkeep) {
        for (const kb::Note &note : found.upkeep->notes)
            line(note.label, note.text);
    }

    const bool chinese = codePages(found);

    int resolved = 0;
    if (found.hello && found.hello->load == KELRIN_OK) {
        for (std::size_t i = 0; i < kb::kFunctionCount; ++i) {
            const std::string &name = found.hello->resolved[i];
            resolved += name.empty() ? 0 : 1;
            line(kb::signature(static_cast<kb::Function>(i)).name,
                 name.empty() ? "missing" : "resolved as " + name);
        }
    } else if (found.hello) {
        line("Library:",
             "Windows would not load it (error " + std::to_string(found.hello->loadError) + ")");
    }
    if (found.hello && found.dll) {
        std::string image;
        {
            std::ifstream file(*found.dll, std::ios::binary);
            image.assign(std::istreambuf_iterator<char>(file), {});
        }
        const std::vector<kb::Import> imports = kb::peImports(image);
        const auto probed = bridge.probe(imports);
        std::string missing;
        for (std::size_t i = 0; probed && i < imports.size(); ++i) {
            if (!(*probed)[i])
                missing +=
                    (missing.empty() ? "" : ", ") + imports[i].dll + "!" + imports[i].function;
        }
        if (!probed)
            line("Imports:", "the helper did not answer");
        else
            line("Imports:", missing.empty() ? "all " + std::to_string(imports.size()) + " resolve"
                                             : "not resolved: " + missing);
    }
    const auto version = static_cast<std::size_t>(kb::Function::GetDLLVersion);
    if (found.hello && found.hello->load == KELRIN_OK && !found.hello->resolved[version].empty()) {
        char text[KELRIN_VERSION_SIZE] = {};
        const std::int32_t result = bridge.call(kb::Function::GetDLLVersion, {}, text);
        line("Version:", result == KELRIN_OK ? std::string(text) : codeText(result));
    }

    // After the result, what the encoder's device looks like from both
    // sides: findings to read, the exit status stays the thirteen functions'.
    const auto finish = [&](const std::string &result, int status) {
        line("Result:", result);
        if (found.wine)
            for (const auto &[label, text] : kb::deviceSection(bridge, found))
                line(label, text);
        return status;
    };
    if (found.result != KELRIN_OK)
        return finish(codeText(found.result), kFailed);
    if (resolved != static_cast<int>(kb::kFunctionCount))
        return finish(std::to_string(kb::kFunctionCount - resolved) +
                          " of the thirteen functions missing",
                      kFailed);
    if (!chinese)
        return finish("the DLL would not run with Chinese Windows' code page " +
                          std::to_string(kb::kChineseCodePage),
                      kFailed);
    return finish("all thirteen functions resolve", kDone);
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
                return check(folder, {});
            kb::Trace taken(kb::processEnvironment(), *trace);
            const int status = check(folder, taken.file());
            line("Trace:", taken.finish());
            return status;
        } catch (const std::exception &error) {
            std::cerr << "kelrin-bridge: " << error.what() << '\n';
            return kFailed;
        }
    }
    std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n";
    return kBadUsage;
}
