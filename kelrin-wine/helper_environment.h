#pragma once
// The helper's environment: what the maker's DLL finds around it, as on the
// Windows front desks it was written for. The clerk's display, so that its
// message boxes and dialogs reach the clerk; its own folder as the working
// folder, as a station started from its shortcut has; and the code pages of
// Chinese Windows, 936, whatever the clerk's locale.
#include "child.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelrin::bridge {

// Wine takes the ANSI and OEM code pages from the Unix locale; this one
// gives 936 for both, and must be installed (Debian: locales-all).
inline constexpr const char *kHelperLocale = "zh_CN.UTF-8";
inline constexpr std::uint32_t kChineseCodePage = 936;

// The helper's whole environment: the station's own, its display included,
// with Wine's settings for `prefix`, Wine's debugger off (its crash dialog
// would now reach the display) and the Chinese locale.
std::vector<std::string> helperEnvironment(const std::filesystem::path &prefix);

// How the helper for `dll` is started: `wine` runs `helper`...
Child::Spec helperSpec(const std::filesystem::path &wine, const std::filesystem::path &helper,
                       const std::filesystem::path &dll, const std::filesystem::path &prefix);
// ...in the DLL's own folder, whatever folder the station was started from.
std::filesystem::path helperFolder(const std::filesystem::path &dll);

// Whether this machine has kHelperLocale.
bool helperLocaleInstalled();

} // namespace kelrin::bridge
