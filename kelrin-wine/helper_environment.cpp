#include "helper_environment.h"

#include "prefix/prefix.h"

#include <algorithm>
#include <clocale>

#include <locale.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

constexpr std::string_view kOverrides = "WINEDLLOVERRIDES=";

} // namespace

std::vector<std::string> helperEnvironment(const fs::path &prefix)
{
    std::vector<std::string> settings = wineSettings(prefix);
    // A DLL that replaces the helper's crash handling would otherwise have
    // Wine's debugger show its crash dialog and wait there for a click.
    const auto overrides = std::find_if(settings.begin(), settings.end(), [](const std::string &s) {
        return s.starts_with(kOverrides);
    });
    if (overrides != settings.end())
        *overrides += ";winedbg.exe=d";
    else
        settings.emplace_back(std::string(kOverrides) + "winedbg.exe=d");
    // LC_ALL above whatever LC_* or LANG the clerk has.
    settings.push_back(std::string("LC_ALL=") + kHelperLocale);
    settings.push_back(std::string("LANG=") + kHelperLocale);
    return environmentWith({}, settings);
}

Child::Spec helperSpec(const fs::path &wine, const fs::path &helper, const fs::path &dll,
                       const fs::path &prefix)
{
    Child::Spec spec;
    spec.program = wine;
    spec.args = {helper.string(), dll.string()};
    spec.environment = helperEnvironment(prefix);
    spec.talk = true;
    // What Wine starts for the helper would hold our standard error open
    // for as long as it runs.
    spec.quiet = true;
    // A station ended by any signal, while the DLL does anything at all
    // (a DllMain that never returns among it), takes its helper along.
    spec.endsWithCaller = true;
    return spec;
}

fs::path helperFolder(const fs::path &dll)
{
    return dll.parent_path();
}

bool helperLocaleInstalled()
{
    const locale_t locale = ::newlocale(LC_ALL_MASK, kHelperLocale, nullptr);
    if (locale == nullptr)
        return false;
    ::freelocale(locale);
    return true;
}

} // namespace kelrin::bridge
