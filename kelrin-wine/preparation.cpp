#include "preparation.h"

#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

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

// Open-file-description locks: inherited with the open file by a forked
// child, and testable (F_OFD_GETLK) without taking them, so that a look
// never makes a preparer that starts at that moment believe one runs.
flock wholeFile(short type)
{
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

bool tryLock(int fd)
{
    flock lock = wholeFile(F_WRLCK);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// The process id written in a lock file: 0 when there is none yet.
pid_t holderIn(int fd)
{
    char text[24] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    pid_t pid = 0;
    if (n > 0)
        std::from_chars(text, text + n, pid);
    return pid;
}

std::optional<pid_t> holderOf(const fs::path &lockFile)
{
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    flock lock = wholeFile(F_WRLCK);
    std::optional<pid_t> holder;
    if (::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK)
        holder = holderIn(fd);
    ::close(fd);
    return holder;
}

// Ends what still runs in a temporary prefix and removes it.
void removePrefix(const fs::path &folder, const fs::path &wine)
{
    if (const auto server = wineserverFor(wine)) {
        try {
            Child child({*server,
                         {"-k"},
                         environmentWith(wineDropped(), wineSettings(folder)),
                         false,
                         true});
            if (!child.wait(Clock::now() + std::chrono::seconds(5)))
                child.kill();
        } catch (const std::system_error &) {
        }
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Temporary folders left by a preparation that was killed: with the lock
// held, none of them belongs to a running one.
void removeLeftovers(const fs::path &prefix, const fs::path &wine)
{
    const std::string stem = preparingPattern(prefix).filename().string();
    const std::string start = stem.substr(0, stem.size() - 6); // without XXXXXX
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(tidy(prefix).parent_path(), error)) {
        if (entry.path().filename().string().starts_with(start))
            removePrefix(entry.path(), wine);
    }
}

PrefixOutcome prepareLocked(const fs::path &prefix, const fs::path &wine,
                            void (*note)(const char *))
{
    if (prefixReady(prefix))
        return PrefixOutcome::Ready;
    removeLeftovers(prefix, wine);
    return preparePrefix(prefix, wine, Clock::now() + kPreparationLimit, note);
}

} // namespace

fs::path preparationLockPath(const fs::path &prefix)
{
    return besidePrefix(prefix, ".lock");
}

fs::path preparingPattern(const fs::path &prefix)
{
    return besidePrefix(prefix, ".preparing-XXXXXX");
}

fs::path keeperLockPath(const fs::path &prefix)
{
    return besidePrefix(prefix, ".kept");
}

std::optional<pid_t> preparerOf(const fs::path &prefix)
{
    return holderOf(preparationLockPath(prefix));
}

std::optional<pid_t> holderOfLock(const fs::path &lockFile)
{
    return holderOf(lockFile);
}

void writeHolder(int fd)
{
    // Only for whoever looks: the lock holds without it.
    const std::string pid = std::to_string(::getpid());
    [[maybe_unused]] const bool written =
        ::ftruncate(fd, 0) == 0 &&
        ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
}

int takeLock(const fs::path &lockFile)
{
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (!tryLock(fd)) {
        ::close(fd);
        return -1;
    }
    writeHolder(fd);
    return fd;
}

PreparationLock::PreparationLock(const fs::path &prefix, Wait wait, Deadline deadline)
{
    const fs::path path = preparationLockPath(prefix);
    if (!makeFolders(path.parent_path()))
        return;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    while (!(m_owned = tryLock(m_fd)) && wait == Wait::UntilDeadline && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

PreparationLock::~PreparationLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void PreparationLock::nameHolder() const
{
    if (m_owned)
        writeHolder(m_fd);
}

PrefixOutcome prepareHere(const fs::path &prefix, const fs::path &wine, void (*note)(const char *))
{
    if (prefixReady(prefix))
        return PrefixOutcome::Ready;
    const PreparationLock lock(prefix, PreparationLock::Wait::UntilDeadline,
                               Clock::now() + kPreparationLimit);
    if (!lock.owns())
        return prefixReady(prefix) ? PrefixOutcome::Ready : PrefixOutcome::Failed;
    lock.nameHolder();
    return prepareLocked(prefix, wine, note);
}

int prepareDetached(const fs::path &prefix, const fs::path &wine)
{
    if (prefixReady(prefix))
        return 0;
    const PreparationLock lock(prefix, PreparationLock::Wait::No, Clock::now());
    if (!lock.owns())
        return preparerOf(prefix) ? 0 : 1; // one runs already, or no lock can be made
    if (prefixReady(prefix))
        return 0;
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child > 0)
        return 0; // the lock stays with the child, which has the file open
    // Out of the caller's session: the end of the station or of its terminal
    // does not end the preparation.
    ::setsid();
    lock.nameHolder();
    const PrefixOutcome outcome = prepareLocked(prefix, wine, nullptr);
    ::_exit(outcome == PrefixOutcome::Failed ? 1 : 0);
}

PrefixOutcome awaitPrefix(const fs::path &prefix, const fs::path &wine, const fs::path &preparer,
                          Deadline deadline)
{
    if (prefixReady(prefix))
        return PrefixOutcome::Ready;
    if (!preparerOf(prefix)) {
        try {
            Child start({preparer,
                         {"prepare", "--detach"},
                         environmentWith(wineDropped(), {"KELRIN_WINE=" + wine.string(),
                                                         "KELRIN_WINEPREFIX=" + prefix.string()}),
                         false,
                         true});
            // It returns once the preparation runs, within milliseconds,
            // whatever the call's time limit.
            const auto status = start.wait(Clock::now() + std::chrono::seconds(10));
            if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
                return PrefixOutcome::Failed;
        } catch (const std::system_error &) {
            return PrefixOutcome::Failed;
        }
    }
    for (;;) {
        if (prefixReady(prefix))
            return PrefixOutcome::Prepared;
        if (!preparerOf(prefix))
            return prefixReady(prefix) ? PrefixOutcome::Prepared : PrefixOutcome::Failed;
        if (Clock::now() >= deadline)
            return PrefixOutcome::Preparing;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace kelrin::bridge
