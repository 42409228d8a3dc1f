#include "settings.h"

#include "files.h"

#include <algorithm>
#include <memory>

namespace kelrin::bridge {

namespace {

bool fileSetting(std::string_view name)
{
    return std::any_of(std::begin(kFileSettings), std::end(kFileSettings),
                       [name](const char *known) { return name == known; });
}

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<std::string> fromFile(const SettingsFile &file, std::string_view name)
{
    std::optional<std::string> value;
    for (const auto &[set, text] : file.values) {
        if (set == name)
            value = text; // the last one counts, as in a shell
    }
    return value;
}

} // namespace

SettingsFile parseSettings(std::string_view text)
{
    SettingsFile file;
    unsigned number = 0;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = trimmed(text.substr(at, end - at));
        ++number;
        at = end + 1;
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, std::min(equals, line.size())));
        if (equals == std::string_view::npos) {
            file.problems.push_back({number, "not NAME=value"});
            continue;
        }
        if (!fileSetting(name)) {
            file.problems.push_back({number, std::string(name) + " is not a setting of the file"});
            continue;
        }
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        file.values.emplace_back(std::string(name), std::string(value));
    }
    return file;
}

Environment withSettingsFile(Environment env, const std::filesystem::path &file)
{
    auto parsed =
        std::make_shared<const SettingsFile>(parseSettings(readFile(file, 65536).value_or("")));
    return [env = std::move(env), parsed](const char *name) -> std::optional<std::string> {
        if (auto value = env(name))
            return value;
        return fromFile(*parsed, name);
    };
}

std::vector<Setting> settingsOf(const Environment &env, const std::filesystem::path &file)
{
    const SettingsFile parsed = parseSettings(readFile(file, 65536).value_or(""));
    std::vector<Setting> settings;
    for (const char *name : kFileSettings) {
        Setting setting{name, env(name), Setting::Source::Environment};
        if (!setting.value) {
            setting.value = fromFile(parsed, name);
            setting.source = setting.value ? Setting::Source::File : Setting::Source::Unset;
        }
        settings.push_back(std::move(setting));
    }
    return settings;
}

Environment stationEnvironment()
{
    return withSettingsFile(processEnvironment(), kSettingsFile);
}

} // namespace kelrin::bridge
