// kelrin-bridge: the integrator's look at the Wine bridge, for a station
// that will not talk to its encoder. "check" prepares this account's Wine
// prefix if need be, starts the helper for the maker's DLL the way the
// station does, and prints one line for each thing found. Exit status: 0 all
// thirteen functions resolve, 1 anything less, 2 bad usage.
#include "bridge.h"
#include "kelrin.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
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
// An integrator may wait for a first preparation longer than a clerk's call.
constexpr std::chrono::seconds kCheckTimeLimit{120};

constexpr std::string_view kHelp =
    "Usage: kelrin-bridge check [--program-folder DIR]\n"
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
    "                         size, the helper, each of the thirteen functions,\n"
    "                         the imports of the DLL that do not resolve and\n"
    "                         what GetDLLVersion answers\n"
    "\n"
    "Options:\n"
    "  --program-folder DIR   the station's folder, where Kelrin.dll lies\n"
    "                         (default: the folder above this program's own)\n"
    "\n"
    "Environment: KELRIN_WINE (the Wine to use, default wine on the PATH),\n"
    "KELRIN_WINEPREFIX (default $XDG_DATA_HOME/guestcard/wine),\n"
    "KELRIN_BRIDGE_TIMEOUT_MS (a call's time limit, default 30000).\n"
    "\n"
    "Exit status: 0 all thirteen functions resolve, 1 anything less, 2 bad usage.\n";

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

void preparing(const char *note)
{
    line("Prefix:", note);
}

int check(const fs::path &programFolder)
{
    const auto env = kb::processEnvironment();
    // The helpers lie beside this program, as beside the bridge library.
    kb::Bridge bridge(env, {programFolder, kb::programFolder()});
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
    } else if (found.result == KELRIN_BRIDGE_PREFIX) {
        line("Prefix:", "no place for it: set KELRIN_WINEPREFIX, XDG_DATA_HOME or HOME");
    }

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

    if (found.result != KELRIN_OK) {
        line("Result:", codeText(found.result));
        return kFailed;
    }
    if (resolved != static_cast<int>(kb::kFunctionCount)) {
        line("Result:",
             std::to_string(kb::kFunctionCount - resolved) + " of the thirteen functions missing");
        return kFailed;
    }
    line("Result:", "all thirteen functions resolve");
    return kDone;
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
    if (!args.empty() && args[0] == "check") {
        // The station's folder: the one above this program's, as installed.
        fs::path folder = kb::programFolder().parent_path();
        if (args.size() == 3 && args[1] == "--program-folder")
            folder = fs::path(args[2]);
        else if (args.size() != 1)
            return std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n", kBadUsage;
        try {
            return check(folder);
        } catch (const std::exception &error) {
            std::cerr << "kelrin-bridge: " << error.what() << '\n';
            return kFailed;
        }
    }
    std::cerr << "kelrin-bridge: bad usage; see kelrin-bridge --help\n";
    return kBadUsage;
}
