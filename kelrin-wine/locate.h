#pragma once
// Where the bridge finds what it needs, from the file system and the
// environment: the maker's DLL beside the program, the helpers beside the
// bridge library itself, Wine, the Wine prefix, the time limit of a call.
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kelrin::bridge {

// An environment to read from: the process's own, or a test's table.
using Environment = std::function<std::optional<std::string>(const char *name)>;
Environment processEnvironment();

inline constexpr const char *kDllName = "Kelrin.dll";
inline constexpr std::chrono::milliseconds kDefaultTimeLimit{30000};

// The folder of the running program file.
std::filesystem::path programFolder();

// The folder of the bridge library's own file, links followed.
std::filesystem::path bridgeFolder();

// Kelrin.dll in `folder`, its name matched without regard to letter case as
// Windows does; "Kelrin.dll" itself first when several match. Only that
// folder: never the working directory, the prefix's drives or the PATH.
std::optional<std::filesystem::path> findDll(const std::filesystem::path &folder);

// A program: `name` itself when it holds a slash, else the first executable
// file of that name in the PATH's absolute entries.
std::optional<std::filesystem::path> findProgram(const std::string &name, const Environment &env);

// KELRIN_WINE when set (a path, or a name looked up on the PATH), else
// "wine" on the PATH; nothing when that names no executable file.
std::optional<std::filesystem::path> findWine(const Environment &env);

// KELRIN_WINEPREFIX, else $XDG_DATA_HOME/guestcard/wine, else
// ~/.local/share/guestcard/wine. Nothing when none of them can be formed.
std::optional<std::filesystem::path> prefixPath(const Environment &env);

// KELRIN_BRIDGE_TIMEOUT_MS when it is a whole number of milliseconds from 1
// to one day, else kDefaultTimeLimit.
std::chrono::milliseconds timeLimit(const Environment &env);

// The helper program for a DLL of this many bits, in `folder`.
std::filesystem::path helperPath(const std::filesystem::path &folder, unsigned bits);

} // namespace kelrin::bridge
