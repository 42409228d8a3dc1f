#pragma once
// The bridge's settings as an administrator keeps them: in the file
// /etc/guestcard/bridge.conf (NAME=value lines, # comments), which the
// account's environment overrides, so that one clerk's session can differ
// from the machine's. Only the bridge's own names are taken from the file;
// KELRIN_WINEPREFIX is not, since a prefix belongs to one account.
#include "locate.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge {

inline constexpr const char *kSettingsFile = "/etc/guestcard/bridge.conf";

// The names the file may set.
inline constexpr const char *kFileSettings[] = {"KELRIN_WINE", "KELRIN_BRIDGE_TIMEOUT_MS",
                                                "KELRIN_SERIAL_PORT", "KELRIN_BRIDGE_LOG"};

// One line of the file that sets nothing: its number and why.
struct SettingsProblem
{
    unsigned line = 0;
    std::string why;
};

struct SettingsFile
{
    std::vector<std::pair<std::string, std::string>> values; // in the file's order
    std::vector<SettingsProblem> problems;
};

// The file's text read: NAME=value, the value optionally in double or
// single quotes; blank lines and lines starting with # are skipped.
SettingsFile parseSettings(std::string_view text);

// Where a setting's value comes from.
struct Setting
{
    std::string name;
    std::optional<std::string> value;
    enum class Source
    {
        Environment,
        File,
        Unset,
    } source = Source::Unset;
};

// The environment, with what `file` sets for a name the environment does
// not set; the file is read once, now.
Environment withSettingsFile(Environment env, const std::filesystem::path &file);

// The bridge's settings, each with where it comes from.
std::vector<Setting> settingsOf(const Environment &env, const std::filesystem::path &file);

// What the station and kelrin-bridge read: the process's environment over
// /etc/guestcard/bridge.conf.
Environment stationEnvironment();

} // namespace kelrin::bridge
