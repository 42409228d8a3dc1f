#include "prefix/lock.h"

#include <cerrno>
#include <charconv>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace kelrin::bridge {

namespace {

constexpr std::chrono::milliseconds kRetry{20};

flock wholeFile(short type)
{
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

} // namespace

FileLock::FileLock(const std::filesystem::path &file, Deadline deadline)
{
    m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    for (;;) {
        flock lock = wholeFile(F_WRLCK);
        if (::fcntl(m_fd, F_OFD_SETLK, &lock) == 0) {
            m_held = true;
            nameHolder();
            return;
        }
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) || Clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(kRetry);
    }
}

FileLock::FileLock(FileLock &&other) noexcept : m_fd(other.m_fd), m_held(other.m_held)
{
    other.m_fd = -1;
    other.m_held = false;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileLock::nameHolder() const
{
    if (!m_held)
        return;
    // Only for whoever looks: the lock holds without it.
    const std::string pid = std::to_string(::getpid());
    [[maybe_unused]] const bool written =
        ::ftruncate(m_fd, 0) == 0 &&
        ::pwrite(m_fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size());
}

std::optional<pid_t> lockHolder(const std::filesystem::path &file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    flock lock = wholeFile(F_WRLCK);
    std::optional<pid_t> holder;
    if (::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) {
        char text[24] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        pid_t pid = 0;
        if (n > 0)
            std::from_chars(text, text + n, pid);
        holder = pid;
    }
    ::close(fd);
    return holder;
}

} // namespace kelrin::bridge
