#pragma once
// Preparing a prefix, apart from any call. A prefix is prepared with no
// display (so that no Wine window can appear in front of the clerk) in a
// temporary folder beside it, and renamed into place only when whole, so a
// preparation cut short (a logout) leaves a whole prefix or none; a lock
// beside it lets one preparation run at a time. Preparation takes 10-20 s
// (more on a slow machine), which no call's time limit should bound: a call
// that finds no prefix starts a preparation that runs in a process of its
// own (`kelrin-bridge prepare --detach`) and goes on after the call has
// given up; without kelrin-bridge, in a thread of the caller's process.
#include "child.h"
#include "locate.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kelrin::bridge {

// The program that prepares beside a call, and where a package puts it
// when it is not beside the bridge.
inline constexpr const char *kPreparerName = "kelrin-bridge";
inline constexpr const char *kPackagedBridgeFolder = "/opt/guestcard/wine";

// Long enough for a slow machine; here it takes 10-20 s.
inline constexpr std::chrono::minutes kPreparationLimit{5};

enum class PrefixOutcome
{
    Ready,     // was there already
    Prepared,  // prepared now
    Preparing, // being prepared, not ready before the deadline
    Failed,    // could not be prepared
};

struct PrefixState
{
    PrefixOutcome outcome = PrefixOutcome::Failed;
    std::string problem; // Failed: why, for the log and the check
};

// The process that holds the preparation lock of `prefix` while one runs
// (0 when it has not written its id yet).
std::optional<pid_t> preparerOf(const std::filesystem::path &prefix);

// Prepares `prefix` here unless it is ready, under its lock (waiting for a
// preparation another process runs), with its own limit. Temporary folders
// of a preparation that was killed are removed first. `note` hears of a
// preparation before it starts, which takes seconds.
PrefixState prepareHere(const std::filesystem::path &prefix, const std::filesystem::path &wine,
                        void (*note)(const char *) = nullptr);

// For `kelrin-bridge prepare --detach`: unless the prefix is ready or a
// preparation runs, forks a child out of this session that prepares it
// under the lock and exits. Returns 0 when a preparation runs or was not
// needed, 1 when the lock cannot be made. Forks: not for a threaded process.
int prepareDetached(const std::filesystem::path &prefix, const std::filesystem::path &wine);

// The first of `places` that holds kelrin-bridge, then kelrin-bridge on
// the PATH; nothing when there is none.
std::optional<std::filesystem::path> findPreparer(const std::vector<std::filesystem::path> &places,
                                                  const Environment &env);

// What a call does with a prefix that is not ready: unless a preparation
// runs, starts one apart, through `preparer` (kelrin-bridge prepare
// --detach) or, with none, in a thread of this process; then waits until
// the prefix is ready or `deadline`.
PrefixState awaitPrefix(const std::filesystem::path &prefix, const std::filesystem::path &wine,
                        const std::optional<std::filesystem::path> &preparer, Deadline deadline);

} // namespace kelrin::bridge
