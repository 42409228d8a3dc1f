#include "prefix.h"

#include "locate.h"
#include "upkeep.h"
#include "preparation.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

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

namespace {

// Runs a Wine tool (wineboot, wineserver) in `prefix` to its end.
bool runToEnd(const fs::path &program, const std::vector<std::string> &args, const fs::path &prefix,
              Deadline deadline)
{
    try {
        Child child({program, args, environmentWith(wineDropped(), wineSettings(prefix)),
                     /*talk=*/false, /*quiet=*/true});
        const auto status = child.wait(deadline);
        if (!status) {
            child.kill();
            return false;
        }
        return WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    } catch (const std::system_error &) {
        return false;
    }
}

} // namespace

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

PrefixOutcome preparePrefix(const fs::path &prefix, const fs::path &wine, Deadline deadline,
                            void (*note)(const char *))
{
    if (prefixReady(prefix))
        return PrefixOutcome::Ready;
    if (!makeFolders(prefix.parent_path()))
        return PrefixOutcome::Failed;
    std::string temporary = preparingPattern(prefix).string();
    if (!::mkdtemp(temporary.data()))
        return PrefixOutcome::Failed;
    if (note)
        note("Preparing the Wine prefix; the first time takes about 20 seconds.");

    const auto server = wineserverFor(wine);
    if (!server) {
        ::rmdir(temporary.c_str());
        return PrefixOutcome::Failed;
    }
    // wineboot sets the prefix up; its wineserver writes the registry out
    // as it ends, so the prefix is complete only once that has ended too.
    bool done = runToEnd(wine, {"wineboot", "--init"}, temporary, deadline) &&
                runToEnd(*server, {"-w"}, temporary, deadline) && prefixReady(temporary);
    // Its server has ended: the registry file is the registry now. A prefix
    // left without these is put right at its first start.
    std::string unwritten;
    if (done)
        writeChanges(temporary, hidBusChanges(), unwritten);
    if (!done) {
        // Whatever still runs in it goes, so that it can be removed.
        runToEnd(*server, {"-k"}, temporary, Clock::now() + std::chrono::seconds(5));
    } else if (::rename(temporary.c_str(), prefix.c_str()) != 0) {
        // Another process may have prepared it meanwhile.
        done = prefixReady(prefix);
    }
    std::error_code ignored;
    fs::remove_all(temporary, ignored);
    if (!done)
        return PrefixOutcome::Failed;
    return PrefixOutcome::Prepared;
}

} // namespace kelrin::bridge
