#pragma once
// The Wine prefix the helpers run in, one per account, and the Wine that
// runs there: the settings every Wine process of the bridge gets, whether
// the prefix is ready, the files beside it, the programs running in it and
// its server. Who prepares it and when: preparation.h; what is kept right
// in it for the encoder: encoder_settings.h.
#include "child.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kelrin::bridge {

// What every Wine process of the bridge gets on top of the environment:
// Wine's debug output off, its Mono and Gecko installers and its menu
// builder suppressed.
std::vector<std::string> wineSettings(const std::filesystem::path &prefix);
// What the preparation and the bridge's own probes never get: a display to
// open windows on (the helper itself has one: helper_environment.h).
std::vector<std::string> wineDropped();

// Whether `prefix` is a prepared prefix.
bool prefixReady(const std::filesystem::path &prefix);

// Creates each missing folder of `path` for this account alone.
bool makeFolders(const std::filesystem::path &path);

// wineserver beside `wine` (as the Wine packages install them), else on the
// PATH; nothing when there is none.
std::optional<std::filesystem::path> wineserverFor(const std::filesystem::path &wine);

// The first line of `wine --version`; nothing when it does not answer.
std::optional<std::string> wineVersion(const std::filesystem::path &wine);

// Runs a Wine tool (wineboot, wineserver) in `prefix`, with no display, to
// its end: its exit status, or nothing when it could not be started or
// had not ended by `deadline` (it is killed then).
std::optional<int> runInPrefix(const std::filesystem::path &program,
                               const std::vector<std::string> &args,
                               const std::filesystem::path &prefix, Deadline deadline);

// The files beside `prefix` that belong to it: its preparation's lock, the
// pattern of its temporary folders, why the last preparation failed, the
// lock of the process that keeps its Wine server for the session; and in
// it, the lock a helper's start holds.
std::filesystem::path preparationLockPath(const std::filesystem::path &prefix);
std::filesystem::path preparingPattern(const std::filesystem::path &prefix);
std::filesystem::path preparationFailurePath(const std::filesystem::path &prefix);
std::filesystem::path keeperLockPath(const std::filesystem::path &prefix);
std::filesystem::path startLockPath(const std::filesystem::path &prefix);

// A Wine program running in the prefix other than Wine's own server and
// services: a station's helper, a program the integrator started there.
struct PrefixUser
{
    pid_t pid = 0;
    std::string name; // its Windows program name, e.g. kelrin-host32.exe
};

// What runs in the prefix now, found through /proc: every Wine process of a
// prefix inherits WINEPREFIX from the first, its server included.
struct PrefixProcesses
{
    std::vector<PrefixUser> users; // by process id
    bool server = false;           // its wineserver runs
};
PrefixProcesses prefixProcesses(const std::filesystem::path &prefix);

// Ends the prefix's server and all that runs in it (wineserver -k), which
// writes its registry out; true once none runs.
bool endServer(const std::filesystem::path &wineserver, const std::filesystem::path &prefix,
               Deadline deadline);

} // namespace kelrin::bridge
