#include "tool/check.h"
#include "settings.h"

#include "bridge.h"
#include "files.h"
#include "helper_environment.h"
#include "kelrin.h"
#include "tool/devices_section.h"
#include "tool/lines.h"
#include "tool/login.h"
#include "tool/prefix_section.h"
#include "tool/road.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace kelrin::bridge::check {

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
// The check waits for a first preparation to its end, then for the helper,
// which may be Wine's first start since login.
constexpr auto kCheckTimeLimit = kPreparationLimit + std::chrono::seconds(120);

std::string codeText(std::int32_t code)
{
    return std::string(kelrin_result_text(code)) + " (" + std::to_string(code) + ")";
}

bool loaded(const StartReport &found)
{
    return found.hello && found.hello->load == KELRIN_OK;
}

// Each setting given, and where from: the account's environment, or the
// administrator's file; and a line of the file that sets nothing.
Lines settings()
{
    Lines lines;
    for (const Setting &setting : settingsOf(processEnvironment(), kSettingsFile)) {
        if (setting.source == Setting::Source::Unset)
            continue;
        lines.push_back({"Setting:", setting.name + "=" + *setting.value + " (from " +
                                         (setting.source == Setting::Source::File
                                              ? std::string(kSettingsFile)
                                              : std::string("the environment")) +
                                         ")"});
    }
    const SettingsFile file = parseSettings(readFile(kSettingsFile, 65536).value_or(""));
    for (const SettingsProblem &problem : file.problems)
        lines.push_back({"Setting:", std::string(kSettingsFile) + " line " +
                                         std::to_string(problem.line) + ": " + problem.why +
                                         ", taken as no setting"});
    return lines;
}

Lines wine(const StartReport &found)
{
    if (!found.wine)
        return {{"Wine:", "not found (KELRIN_WINE, or wine on the PATH)"}};
    return {{"Wine:", found.wine->string() + ", " +
                          wineVersion(*found.wine).value_or("does not answer --version")}};
}

Lines library(const StartReport &found, const fs::path &programFolder)
{
    Lines lines;
    if (found.dll) {
        const std::string size = !found.machine ? "not a Windows DLL for i386 or x86-64"
                                                : std::to_string(bitsOf(*found.machine)) + "-bit";
        lines.push_back({"Library:", found.dll->string() + ", " + size});
    } else if (found.wine) {
        lines.push_back({"Library:", "no Kelrin.dll in " + programFolder.string()});
    }
    if (found.machine) {
        std::error_code error;
        lines.push_back({"Helper:", found.helper.string() +
                                        (fs::exists(found.helper, error) ? "" : " (missing)")});
    }
    return lines;
}

std::string serverState(const fs::path &prefix)
{
    if (const auto keeper = keeperOf(prefix))
        return "kept running for this session (kelrin-bridge login, process " +
               std::to_string(*keeper) + ")";
    return "not kept: a start after Wine's server has ended waits for Wine to start "
           "(kelrin-bridge login keeps it; the package runs it at login)";
}

Lines prefix(const StartReport &found, double seconds)
{
    if (!found.prefix) {
        if (found.result == KELRIN_BRIDGE_PREFIX)
            return {{"Prefix:", "no place for it: set KELRIN_WINEPREFIX, XDG_DATA_HOME or HOME"}};
        return {};
    }
    Lines lines;
    if (found.prefixState)
        lines.push_back(prefixLine(*found.prefix, *found.prefixState, seconds));
    lines.push_back({"Server:", serverState(*found.prefix)});
    if (found.settings) {
        const Lines settings = settingsLines(*found.prefix, *found.settings);
        lines.insert(lines.end(), settings.begin(), settings.end());
    }
    return lines;
}

// The helper's code pages, which the maker's DLL expects to be Chinese
// Windows' own.
Lines codePages(const StartReport &found)
{
    if (!found.hello)
        return {};
    const std::uint32_t ansi = found.hello->ansiCodePage, oem = found.hello->oemCodePage;
    std::string note;
    if (!(ansi == kChineseCodePage && oem == kChineseCodePage) && !helperLocaleInstalled())
        note = std::string("; the locale ") + kHelperLocale +
               " is missing (Debian package locales-all)";
    return {
        {"Code page:", std::to_string(ansi) + " (ANSI), " + std::to_string(oem) + " (OEM)" + note}};
}

bool chinese(const StartReport &found)
{
    return !found.hello || (found.hello->ansiCodePage == kChineseCodePage &&
                            found.hello->oemCodePage == kChineseCodePage);
}

Lines functions(const StartReport &found)
{
    if (!found.hello)
        return {};
    if (!loaded(found))
        return {{"Library:", "Windows would not load it (error " +
                                 std::to_string(found.hello->loadError) + ")"}};
    Lines lines;
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        const std::string &name = found.hello->resolved[i];
        lines.push_back({signature(static_cast<Function>(i)).name,
                         name.empty() ? "missing" : "resolved as " + name});
    }
    return lines;
}

std::size_t resolvedCount(const StartReport &found)
{
    std::size_t count = 0;
    for (std::size_t i = 0; loaded(found) && i < kFunctionCount; ++i)
        count += found.hello->resolved[i].empty() ? 0 : 1;
    return count;
}

Lines imports(Bridge &bridge, const StartReport &found)
{
    if (!found.hello || !found.dll)
        return {};
    const std::vector<Import> imports = peImports(readFile(*found.dll).value_or(""));
    const auto probed = bridge.probe(imports);
    if (!probed)
        return {{"Imports:", "the helper did not answer"}};
    std::string missing;
    for (std::size_t i = 0; i < imports.size(); ++i) {
        if (!(*probed)[i])
            missing += (missing.empty() ? "" : ", ") + imports[i].dll + "!" + imports[i].function;
    }
    return {{"Imports:", missing.empty() ? "all " + std::to_string(imports.size()) + " resolve"
                                         : "not resolved: " + missing}};
}

// Which road the DLL takes to its encoder, and whether Wine has it.
Lines road(const StartReport &found)
{
    if (!found.dll || !found.machine)
        return {};
    return roadLines(roadsFrom(*found.dll));
}

Lines version(Bridge &bridge, const StartReport &found)
{
    if (!loaded(found) ||
        found.hello->resolved[static_cast<std::size_t>(Function::GetDLLVersion)].empty())
        return {};
    char text[KELRIN_VERSION_SIZE] = {};
    const std::int32_t result = bridge.call(Function::GetDLLVersion, {}, text);
    return {{"Version:", result == KELRIN_OK ? std::string(text) : codeText(result)}};
}

// The result line and the exit status: the start's code, the thirteen
// functions, the code pages, in that order.
std::pair<Line, int> result(const StartReport &found)
{
    if (found.result != KELRIN_OK)
        return {{"Result:", codeText(found.result)}, kFailed};
    if (const std::size_t resolved = resolvedCount(found); resolved != kFunctionCount)
        return {{"Result:",
                 std::to_string(kFunctionCount - resolved) + " of the thirteen functions missing"},
                kFailed};
    if (!chinese(found))
        return {{"Result:", "the DLL would not run with Chinese Windows' code page " +
                                std::to_string(kChineseCodePage)},
                kFailed};
    return {{"Result:", "all thirteen functions resolve"}, kDone};
}

void preparing(const char *note)
{
    print({{"Prefix:", note}});
}

} // namespace

int check(const fs::path &stationFolder, const fs::path &trace)
{
    const auto env = stationEnvironment();
    // The helpers lie beside this program, as beside the bridge library.
    Bridge bridge(env, standardPlaces(stationFolder, programFolder()));
    bridge.traceTo(trace);
    bridge.prepareInForeground();
    const auto started = Clock::now();
    const StartReport found = bridge.start(kCheckTimeLimit, preparing);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    print(settings());
    print(wine(found));
    print(library(found, stationFolder));
    print(prefix(found, seconds));
    print(codePages(found));
    print(functions(found));
    print(imports(bridge, found));
    print(road(found));
    print(version(bridge, found));
    const auto [line, status] = result(found);
    print({line});
    // After the result, what the encoder's device looks like from both
    // sides: findings to read, the exit status stays as it is.
    if (found.wine)
        print(devicesSection(bridge, found));
    return status;
}

} // namespace kelrin::bridge::check
