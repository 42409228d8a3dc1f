#include "locate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

bool isExecutableFile(const fs::path &path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::optional<fs::path> findProgram(const std::string &name, const Environment &env)
{
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? std::optional<fs::path>(name) : std::nullopt;
    const std::string path = env("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
    std::string_view rest = path;
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        // An empty entry would be the working directory: never looked in.
        if (!entry.empty() && entry.front() == '/') {
            const fs::path candidate = fs::path(entry) / name;
            if (isExecutableFile(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(colon + 1);
    }
}

namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void anchor() {}

} // namespace

Environment processEnvironment()
{
    return [](const char *name) -> std::optional<std::string> {
        const char *value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
}

fs::path programFolder()
{
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path();
}

fs::path bridgeFolder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&anchor), &info) == 0 || !info.dli_fname)
        return {};
    std::error_code error;
    const fs::path real = fs::canonical(info.dli_fname, error);
    return error ? fs::path(info.dli_fname).parent_path() : real.parent_path();
}

std::optional<fs::path> findDll(const fs::path &folder)
{
    std::error_code error;
    std::vector<fs::path> matches;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (lowered(name) == lowered(kDllName) && it->is_regular_file(error))
            matches.push_back(it->path());
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end());
    const auto exact = std::find_if(matches.begin(), matches.end(),
                                    [](const fs::path &p) { return p.filename() == kDllName; });
    return exact != matches.end() ? *exact : matches.front();
}

std::optional<fs::path> findWine(const Environment &env)
{
    const std::optional<std::string> chosen = env("KELRIN_WINE");
    return findProgram(chosen && !chosen->empty() ? *chosen : std::string("wine"), env);
}

std::optional<fs::path> prefixPath(const Environment &env)
{
    if (const auto explicitPrefix = env("KELRIN_WINEPREFIX");
        explicitPrefix && fs::path(*explicitPrefix).is_absolute())
        return fs::path(*explicitPrefix);
    // A relative XDG_DATA_HOME is invalid by the base-directory rules: ignored.
    if (const auto xdg = env("XDG_DATA_HOME"); xdg && fs::path(*xdg).is_absolute())
        return fs::path(*xdg) / "guestcard" / "wine";
    if (const auto home = env("HOME"); home && fs::path(*home).is_absolute())
        return fs::path(*home) / ".local" / "share" / "guestcard" / "wine";
    return std::nullopt;
}

std::chrono::milliseconds timeLimit(const Environment &env)
{
    const auto text = env("KELRIN_BRIDGE_TIMEOUT_MS");
    if (!text)
        return kDefaultTimeLimit;
    long long value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value < 1 ||
        value > 24LL * 3600 * 1000)
        return kDefaultTimeLimit;
    return std::chrono::milliseconds(value);
}

fs::path helperPath(const fs::path &folder, unsigned bits)
{
    return folder / ("kelrin-host" + std::to_string(bits) + ".exe");
}

} // namespace kelrin::bridge
