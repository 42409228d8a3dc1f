#include "prefix/prefix.h"

#include "files.h"
#include "locate.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <system_error>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

// Wine's own programs, which run in every prefix whose server runs.
constexpr std::array kWineOwn = {"services.exe", "winedevice.exe", "plugplay.exe",
                                 "svchost.exe",  "rpcss.exe",      "explorer.exe",
                                 "conhost.exe",  "wineboot.exe",   "winemenubuilder.exe"};

std::string lowered(std::string text)
{
    for (char &c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// The prefix without a trailing separator, so that its name is its last part.
fs::path tidy(const fs::path &prefix)
{
    fs::path path = prefix.lexically_normal();
    return path.has_filename() ? path : path.parent_path();
}

fs::path besidePrefix(const fs::path &prefix, const std::string &suffix)
{
    const fs::path path = tidy(prefix);
    return path.parent_path() / ("." + path.filename().string() + suffix);
}

// The value of WINEPREFIX in a process's environment, when it has one.
std::optional<std::string> prefixOf(const std::string &environment)
{
    constexpr std::string_view wanted = "WINEPREFIX=";
    std::optional<std::string> value;
    for (std::size_t at = 0; at < environment.size();) {
        const std::size_t stop = std::min(environment.find('\0', at), environment.size());
        const std::string_view variable(environment.data() + at, stop - at);
        if (variable.starts_with(wanted))
            value = std::string(variable.substr(wanted.size()));
        at = stop + 1;
    }
    return value;
}

} // namespace

bool makeFolders(const fs::path &path)
{
    fs::path built;
    for (const fs::path &part : path) {
        built /= part;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return fs::is_directory(path);
}

std::vector<std::string> wineSettings(const fs::path &prefix)
{
    return {"WINEPREFIX=" + prefix.string(), "WINEDEBUG=-all",
            "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"};
}

std::vector<std::string> wineDropped()
{
    return {"DISPLAY", "WAYLAND_DISPLAY"};
}

bool prefixReady(const fs::path &prefix)
{
    std::error_code error;
    return fs::is_regular_file(prefix / "system.reg", error);
}

std::optional<fs::path> wineserverFor(const fs::path &wine)
{
    const fs::path beside = wine.parent_path() / "wineserver";
    if (::access(beside.c_str(), X_OK) == 0)
        return beside;
    return findProgram("wineserver", processEnvironment());
}

std::optional<std::string> wineVersion(const fs::path &wine)
{
    try {
        Child child(
            {wine, {"--version"}, environmentWith(wineDropped(), {"WINEDEBUG=-all"}), true, true});
        // Wine's first start after login may take a while.
        const auto out = child.receiveAll(Clock::now() + std::chrono::seconds(20));
        if (out && !out->empty())
            return out->substr(0, out->find('\n'));
    } catch (const std::system_error &) {
    }
    return std::nullopt;
}

std::optional<int> runInPrefix(const fs::path &program, const std::vector<std::string> &args,
                               const fs::path &prefix, Deadline deadline)
{
    try {
        Child child({program, args, environmentWith(wineDropped(), wineSettings(prefix)),
                     /*talk=*/false, /*quiet=*/true});
        const auto status = child.wait(deadline);
        if (!status)
            child.kill();
        return status;
    } catch (const std::system_error &) {
        return std::nullopt;
    }
}

fs::path preparationLockPath(const fs::path &prefix)
{
    return besidePrefix(prefix, ".lock");
}

fs::path preparingPattern(const fs::path &prefix)
{
    return besidePrefix(prefix, ".preparing-XXXXXX");
}

fs::path preparationFailurePath(const fs::path &prefix)
{
    return besidePrefix(prefix, ".failed");
}

fs::path keeperLockPath(const fs::path &prefix)
{
    return besidePrefix(prefix, ".kept");
}

fs::path startLockPath(const fs::path &prefix)
{
    return prefix / ".kelrin-bridge.lock";
}

PrefixProcesses prefixProcesses(const fs::path &prefix)
{
    PrefixProcesses found;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(prefix, error);
    const int self = static_cast<int>(::getpid());
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc", error)) {
        const std::string pidText = entry.path().filename().string();
        int pid = 0;
        const auto [end, bad] =
            std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
        if (bad != std::errc() || end != pidText.data() + pidText.size() || pid == self)
            continue;
        const auto value = prefixOf(readFile(entry.path() / "environ").value_or(""));
        if (!value || value->empty())
            continue;
        std::error_code ignored;
        if (*value != prefix.string() && fs::weakly_canonical(*value, ignored) != canonical)
            continue;
        const std::string exe = fs::read_symlink(entry.path() / "exe", ignored).filename().string();
        if (exe.starts_with("wineserver")) {
            found.server = true;
            continue;
        }
        if (!exe.starts_with("wine"))
            continue; // a shell that exported the variable, say
        const std::string commandLine = readFile(entry.path() / "cmdline").value_or("");
        std::string program = commandLine.substr(0, commandLine.find('\0'));
        program = program.substr(program.find_last_of("\\/") + 1);
        if (std::find(kWineOwn.begin(), kWineOwn.end(), lowered(program)) != kWineOwn.end())
            continue;
        // The login's keeper holds a helper with no DLL to keep the server
        // warm, and starts another when that one is ended: no user to wait for.
        if (lowered(program).starts_with("kelrin-host") &&
            commandLine.find(std::string_view("\0--no-dll\0", 10)) != std::string::npos)
            continue;
        found.users.push_back({pid, program});
    }
    std::sort(found.users.begin(), found.users.end(),
              [](const PrefixUser &a, const PrefixUser &b) { return a.pid < b.pid; });
    return found;
}

bool endServer(const fs::path &wineserver, const fs::path &prefix, Deadline deadline)
{
    return runInPrefix(wineserver, {"-k"}, prefix, deadline).has_value();
}

} // namespace kelrin::bridge
