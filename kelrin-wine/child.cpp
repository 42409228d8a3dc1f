#include "child.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kelrin::bridge {

namespace {

int millisecondsLeft(Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

// Waits until `fd` is ready for `events`; false when the deadline came first.
// A far deadline is waited for a day at a time.
bool ready(int fd, short events, Deadline deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, millisecondsLeft(deadline));
        if (n > 0)
            return true;
        if (n == 0 && Clock::now() >= deadline)
            return false;
        if (n == 0)
            continue;
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
    }
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A write to a child that has ended raises SIGPIPE, which would end the
// station: held back in this thread for the write, and taken away if it
// came, so that the write just fails with EPIPE.
class NoSigpipe
{
public:
    NoSigpipe()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~NoSigpipe()
    {
        if (!m_wasPending) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now{0, 0};
            while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    NoSigpipe(const NoSigpipe &) = delete;
    NoSigpipe &operator=(const NoSigpipe &) = delete;

private:
    sigset_t m_old;
    bool m_wasPending = false;
};

class SpawnActions
{
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;
    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes
{
public:
    SpawnAttributes() { posix_spawnattr_init(&m_attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;
    posix_spawnattr_t *get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

// What posix_spawn would do, by fork and exec, with the child tied to the
// calling thread's life (PR_SET_PDEATHSIG, which posix_spawn cannot set).
// Between fork and exec the child makes only async-signal-safe calls; an
// error there comes back through a pipe that exec closes.
pid_t forkTied(const Child::Spec &spec, const int toChild[2], const int fromChild[2],
               const std::filesystem::path &folder, const std::filesystem::path &errorFile,
               char *const argv[], char *const envp[])
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (pid == 0) {
        const auto fail = [&](int error) {
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        };
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
            fail(errno);
        if (::getppid() != parent)
            ::_exit(127); // the caller ended before the tie was made
        ::setpgid(0, 0);
        struct sigaction standard
        {
        };
        standard.sa_handler = SIG_DFL;
        for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &standard, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const auto place = [&](int fd, int target) {
            if (fd < 0 || ::dup2(fd, target) < 0)
                fail(errno);
        };
        if (spec.talk) {
            place(toChild[0], STDIN_FILENO);
            place(fromChild[1], STDOUT_FILENO);
        } else {
            place(::open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
            place(::open("/dev/null", O_WRONLY | O_CLOEXEC), STDOUT_FILENO);
        }
        if (!errorFile.empty())
            place(::open(errorFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600),
                  STDERR_FILENO);
        else if (spec.quiet)
            place(::open("/dev/null", O_WRONLY | O_CLOEXEC), STDERR_FILENO);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0)
            fail(errno);
        ::execve(spec.program.c_str(), argv, envp);
        fail(errno);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t n;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n > 0) {
        ::waitpid(pid, nullptr, 0);
        throw std::system_error(error, std::generic_category(), "exec");
    }
    return pid;
}

} // namespace

Child::Child(const Spec &spec, const std::filesystem::path &folder,
             const std::filesystem::path &errorFile)
{
    int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
    if (spec.talk && (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)) {
        const int error = errno;
        closeFd(toChild[0]);
        closeFd(toChild[1]);
        throw std::system_error(error, std::generic_category(), "pipe");
    }
    SpawnActions actions;
    if (spec.talk) {
        posix_spawn_file_actions_adddup2(actions.get(), toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(actions.get(), fromChild[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (!errorFile.empty())
        posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_APPEND | O_CREAT, 0600);
    else if (spec.quiet)
        posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(actions.get(), folder.c_str());

    // The child starts with no signal held back and none ignored that
    // matters, whatever the station's threads have set; in a process group
    // of its own, so that a terminal's Ctrl+C reaches the station alone.
    SpawnAttributes attributes;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(attributes.get(), &none);
    posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    posix_spawnattr_setpgroup(attributes.get(), 0);
    posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                   POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> argStrings{spec.program.string()};
    argStrings.insert(argStrings.end(), spec.args.begin(), spec.args.end());
    std::vector<char *> argv, envp;
    for (std::string &arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = spec.environment;
    for (std::string &entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int error = 0;
    if (spec.endsWithCaller) {
        try {
            m_pid = forkTied(spec, toChild, fromChild, folder, errorFile, argv.data(), envp.data());
        } catch (const std::system_error &failure) {
            error = failure.code().value();
        }
    } else {
        error = ::posix_spawn(&m_pid, spec.program.c_str(), actions.get(), attributes.get(),
                              argv.data(), envp.data());
    }
    closeFd(toChild[0]);
    closeFd(fromChild[1]);
    if (error != 0) {
        closeFd(toChild[1]);
        closeFd(fromChild[0]);
        throw std::system_error(error, std::generic_category(), "posix_spawn");
    }
    m_input = toChild[1];
    m_output = fromChild[0];
    for (const int fd : {m_input, m_output}) {
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
}

Child::~Child()
{
    closeFd(m_input);
    closeFd(m_output);
    if (!m_reaped && !wait(Clock::now() + std::chrono::milliseconds(500)))
        kill();
}

Child::Outcome Child::send(std::string_view bytes, Deadline deadline)
{
    const NoSigpipe guard;
    while (!bytes.empty()) {
        if (!ready(m_input, POLLOUT, deadline))
            return Outcome::TimedOut;
        const ssize_t n = ::write(m_input, bytes.data(), bytes.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            return Outcome::Ended;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Outcome::Done;
}

Child::Outcome Child::receive(char *buffer, std::size_t count, Deadline deadline)
{
    while (count > 0) {
        if (!ready(m_output, POLLIN, deadline))
            return Outcome::TimedOut;
        const ssize_t n = ::read(m_output, buffer, count);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return Outcome::Ended;
        buffer += n;
        count -= static_cast<std::size_t>(n);
    }
    return Outcome::Done;
}

std::optional<std::string> Child::receiveAll(Deadline deadline)
{
    std::string all;
    char buffer[4096];
    for (;;) {
        if (!ready(m_output, POLLIN, deadline))
            return std::nullopt;
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return all;
        all.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<int> Child::wait(Deadline deadline)
{
    if (m_reaped)
        return std::nullopt;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno == ECHILD)) {
            // ECHILD: someone else reaped it (a station that ignores SIGCHLD).
            m_reaped = true;
            return done == m_pid ? std::optional<int>(status) : std::nullopt;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        ::usleep(2000);
    }
}

void Child::kill()
{
    if (m_reaped)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_reaped = true;
}

std::vector<std::string> environmentWith(const std::vector<std::string> &drop,
                                         const std::vector<std::string> &set)
{
    const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> result;
    for (char **entry = environ; entry && *entry; ++entry) {
        const std::string_view name = nameOf(*entry);
        const bool dropped =
            std::any_of(drop.begin(), drop.end(), [&](const std::string &d) { return d == name; });
        const bool replaced = std::any_of(set.begin(), set.end(),
                                          [&](const std::string &s) { return nameOf(s) == name; });
        if (!dropped && !replaced)
            result.emplace_back(*entry);
    }
    result.insert(result.end(), set.begin(), set.end());
    return result;
}

} // namespace kelrin::bridge
