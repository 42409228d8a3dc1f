#pragma once
// Preparing a prefix apart from any call. Preparation takes 10-20 s (more on
// a slow machine), which no call's time limit should bound: a call that
// finds no prefix starts a preparation that runs in a process of its own
// (`kelrin-bridge prepare --detach`) and goes on after the call has given
// up. A lock beside the prefix lets one preparation run at a time, and the
// prepared prefix is renamed into place only when whole, so a preparation
// killed half-way (a logout) leaves a whole prefix or none.
#include "child.h"
#include "prefix.h"

#include <chrono>
#include <filesystem>
#include <optional>

#include <sys/types.h>

namespace kelrin::bridge {

// The program that prepares beside a call: kelrin-bridge, beside the bridge.
inline constexpr const char *kPreparerName = "kelrin-bridge";

// Long enough for a slow machine; here it takes 10-20 s.
inline constexpr std::chrono::minutes kPreparationLimit{5};

// The files beside `prefix` that belong to it: its preparation lock, the
// pattern of its temporary folders, the lock of the process that keeps its
// Wine server for the session.
std::filesystem::path preparationLockPath(const std::filesystem::path &prefix);
std::filesystem::path preparingPattern(const std::filesystem::path &prefix);
std::filesystem::path keeperLockPath(const std::filesystem::path &prefix);

// The process that holds the preparation lock of `prefix` while one does
// (0 when it has not written its id yet), and that of any such lock file.
std::optional<pid_t> preparerOf(const std::filesystem::path &prefix);
std::optional<pid_t> holderOfLock(const std::filesystem::path &lockFile);

// Opens `lockFile` (created for this account alone) and takes its lock
// without waiting, writing this process's id in it: the open file, or -1
// when another holds it or it cannot be made. Closing the file releases it.
int takeLock(const std::filesystem::path &lockFile);
// Writes this process's id in a lock file it holds (after a fork, the child).
void writeHolder(int fd);

// The lock of one preparation, held by an open file: it goes with the last
// process that has the file open, so a child forked with it keeps it.
class PreparationLock
{
public:
    enum class Wait
    {
        No,
        UntilDeadline,
    };
    // Takes the lock of `prefix`, creating its parent folders; owns() says
    // whether it got it.
    PreparationLock(const std::filesystem::path &prefix, Wait wait, Deadline deadline);
    ~PreparationLock();
    PreparationLock(const PreparationLock &) = delete;
    PreparationLock &operator=(const PreparationLock &) = delete;

    bool owns() const { return m_owned; }
    // Names this process as the preparer (after a fork, the child).
    void nameHolder() const;

private:
    int m_fd = -1;
    bool m_owned = false;
};

// Prepares `prefix` here unless it is ready, under its lock (waiting for a
// preparation another process runs), with its own limit. Temporary folders
// of a preparation that was killed are removed first.
PrefixOutcome prepareHere(const std::filesystem::path &prefix, const std::filesystem::path &wine,
                          void (*note)(const char *) = nullptr);

// For `kelrin-bridge prepare --detach`: unless the prefix is ready or a
// preparation runs, forks a child out of this session that prepares it
// under the lock and exits. Returns 0 when a preparation runs or was not
// needed, 1 when the lock cannot be made. Forks: not for a threaded process.
int prepareDetached(const std::filesystem::path &prefix, const std::filesystem::path &wine);

// What a call does with a prefix that is not ready: starts `preparer`
// (kelrin-bridge) detached unless a preparation runs, then waits until the
// prefix is ready or `deadline`. Ready/Prepared: it can be used now;
// Preparing: a preparation goes on; Failed: none could be made.
PrefixOutcome awaitPrefix(const std::filesystem::path &prefix, const std::filesystem::path &wine,
                          const std::filesystem::path &preparer, Deadline deadline);

} // namespace kelrin::bridge
