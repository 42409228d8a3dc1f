// The system seam on Linux: the library and kelrin-sim.
#include "system.h"

#include "device.h"
#include "kelrin_result.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace kelrin::sys {
namespace {

namespace fs = std::filesystem;

Failure ioFailure(const std::string &what, const fs::path &path, int error)
{
    return Failure(KELRIN_ERROR_STATE_IO,
                   what + " " + path.string() + ": " + std::generic_category().message(error));
}

class UniqueFd
{
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now, reporting the error a deferred write may only show here.
    int close() { return ::close(release()); }

private:
    int m_fd;
};

// A temporary file beside the target that disappears unless renamed onto it.
class TempFile
{
public:
    explicit TempFile(const fs::path &target)
        : m_name(target.string() + ".XXXXXX"), m_fd(::mkostemp(m_name.data(), O_CLOEXEC))
    {
        if (m_fd.get() < 0)
            throw ioFailure("cannot create a temporary file for", target, errno);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile()
    {
        if (!m_committed)
            ::unlink(m_name.c_str());
    }

    void write(std::string_view text)
    {
        while (!text.empty()) {
            const ssize_t n = ::write(m_fd.get(), text.data(), text.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw ioFailure("cannot write", m_name, errno);
            text.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    void renameOnto(const fs::path &target)
    {
        if (m_fd.close() != 0)
            throw ioFailure("cannot write", m_name, errno);
        if (::rename(m_name.c_str(), target.c_str()) != 0)
            throw ioFailure("cannot replace", target, errno);
        m_committed = true;
    }

private:
    std::string m_name;
    UniqueFd m_fd;
    bool m_committed = false;
};

} // namespace

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

fs::path environmentPath(std::string_view value)
{
    return fs::path(value);
}

std::optional<fs::path> homeFolder()
{
    const std::string home = environment("HOME");
    return home.empty() ? std::nullopt : std::optional<fs::path>(home);
}

std::optional<fs::path> systemStatePath()
{
    return std::nullopt;
}

void makeFolders(const fs::path &folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw ioFailure("cannot create the folder", folder, error.value());
}

std::optional<std::string> readFile(const fs::path &path, std::size_t limit)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw ioFailure("cannot open", path, errno);
    }
    std::string text;
    char buffer[8192];
    while (text.size() <= limit) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ioFailure("cannot read", path, errno);
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

void replaceFile(const fs::path &path, std::string_view text)
{
    TempFile temp(path);
    temp.write(text);
    temp.renameOnto(path);
}

// An open-file-description lock: a record lock, so that it excludes Wine's
// LockFileEx, and owned by this descriptor rather than by the process, so
// that closing some other descriptor of the file in this process (a
// library cannot know what its host opens) does not drop it, and two
// threads of one process exclude each other as two processes do.
FileLock::FileLock(const fs::path &path)
{
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        throw ioFailure("cannot open the lock file", path, errno);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET; // from the start, length 0: to any end
    while (::fcntl(fd.get(), F_OFD_SETLKW, &whole) != 0) {
        if (errno != EINTR)
            throw ioFailure("cannot lock", path, errno);
    }
    m_handle = fd.release();
}

FileLock::~FileLock()
{
    ::close(static_cast<int>(m_handle)); // closing the descriptor releases the lock
}

void sleepMs(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace kelrin::sys
