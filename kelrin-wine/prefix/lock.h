#pragma once
// The one kind of lock the bridge takes: on a file beside or in the prefix,
// held by the open file (an open-file-description fcntl lock). It conflicts
// with Wine's own LockFileEx, goes with the last process that has the file
// open, so that a forked child keeps it, and can be looked at without
// taking it, so that a look never makes a taker that starts at that moment
// believe another holds it.
#include "child.h"

#include <filesystem>
#include <optional>

#include <sys/types.h>

namespace kelrin::bridge {

class FileLock
{
public:
    // Opens `file` (created for this account alone) and takes its lock, at
    // once when `deadline` has passed, else trying until then; held() says
    // whether it was got.
    explicit FileLock(const std::filesystem::path &file, Deadline deadline = {});
    ~FileLock();
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&) = delete;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    bool held() const { return m_held; }
    // Writes this process's id in the file, for whoever looks (after a
    // fork, the child that goes on holding it).
    void nameHolder() const;

private:
    int m_fd = -1;
    bool m_held = false;
};

// The process that holds the lock of `file` (0 when it has not written its
// id yet); nothing when none holds it.
std::optional<pid_t> lockHolder(const std::filesystem::path &file);

} // namespace kelrin::bridge
