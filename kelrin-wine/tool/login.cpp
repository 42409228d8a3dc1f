#include "tool/login.h"
#include "settings.h"

#include "files.h"
#include "locate.h"
#include "pe.h"
#include "prefix/lock.h"
#include "prefix/prefix.h"
#include "prefix/preparation.h"
#include "protocol.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

// A keeper's helper that cannot start is tried again after this long, and
// Wine's first start in a session may take this long.
constexpr std::chrono::seconds kRetry{10};
constexpr std::chrono::seconds kHelperStart{60};

// The helpers to keep the server with: the DLL's word size first, since
// that Wine is the one the station needs; the other when it cannot run.
std::vector<fs::path> keeperHelpers(const fs::path &programFolder, const fs::path &helperFolder)
{
    unsigned bits = 64;
    if (const auto dll = findDll(programFolder)) {
        if (const auto machine = peMachine(readFile(*dll, kPeHeaderBytes).value_or("")))
            bits = bitsOf(*machine);
    }
    return {helperPath(helperFolder, bits), helperPath(helperFolder, bits == 64 ? 32 : 64)};
}

// A Wine client for as long as the object lives: the helper with no DLL,
// which serves until its input closes.
std::unique_ptr<Child> startClient(const fs::path &wine, const fs::path &prefix,
                                   const std::vector<fs::path> &helpers)
{
    for (const fs::path &helper : helpers) {
        try {
            auto child = std::make_unique<Child>(
                Child::Spec{wine,
                            {helper.string(), "--no-dll"},
                            environmentWith(wineDropped(), wineSettings(prefix)),
                            true,
                            true});
            char header[kFrameHeader];
            if (child->receive(header, sizeof header, Clock::now() + kHelperStart) ==
                Child::Outcome::Done)
                return child;
        } catch (const std::system_error &) {
        }
    }
    return nullptr;
}

// The end of the session as this process sees it: a signal from the
// session (SIGTERM, SIGHUP, SIGINT), or its X display gone.
class SessionEnd
{
public:
    SessionEnd()
    {
        sigset_t signals;
        sigemptyset(&signals);
        for (const int signal : {SIGTERM, SIGHUP, SIGINT})
            sigaddset(&signals, signal);
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        m_signals = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        if (std::getenv("DISPLAY")) {
            m_display = xcb_connect(nullptr, nullptr);
            if (xcb_connection_has_error(m_display)) {
                xcb_disconnect(m_display);
                m_display = nullptr;
            }
        }
    }
    ~SessionEnd()
    {
        if (m_display)
            xcb_disconnect(m_display);
        if (m_signals >= 0)
            ::close(m_signals);
    }
    SessionEnd(const SessionEnd &) = delete;
    SessionEnd &operator=(const SessionEnd &) = delete;

    // Waits up to `limit`; true when the session has ended.
    bool wait(std::chrono::milliseconds limit)
    {
        std::array<pollfd, 2> fds{{{m_signals, POLLIN, 0}, {-1, POLLIN, 0}}};
        if (m_display)
            fds[1].fd = xcb_get_file_descriptor(m_display);
        if (::poll(fds.data(), fds.size(), static_cast<int>(limit.count())) <= 0)
            return false;
        if (fds[0].revents)
            return true;
        if (m_display) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_display))
                std::free(event);
            return xcb_connection_has_error(m_display) != 0;
        }
        return false;
    }

private:
    int m_signals = -1;
    xcb_connection_t *m_display = nullptr;
};

// The keeper itself, holding `lock`: holds a client of the prefix's server
// until the session ends, starting another when it ended (a wineserver -k,
// a restart of the prefix's Wine). `started` hears once the first client
// runs or could not be started.
int keep(const FileLock &lock, const fs::path &prefix, const fs::path &wine,
         const std::vector<fs::path> &helpers, int started)
{
    lock.nameHolder();
    SessionEnd session;
    std::unique_ptr<Child> client = startClient(wine, prefix, helpers);
    [[maybe_unused]] const bool told = ::write(started, "k", 1) == 1;
    ::close(started);
    for (;;) {
        if (session.wait(client ? std::chrono::milliseconds(1000) : kRetry))
            break;
        if (client && client->wait(Clock::now()))
            client.reset();
        if (!client)
            client = startClient(wine, prefix, helpers);
    }
    // The client's input closes and it ends; the server follows after
    // Wine's own linger, writing the registry out.
    client.reset();
    return 0;
}

} // namespace

bool memberOf(const std::string &group)
{
    const ::group *entry = ::getgrnam(group.c_str());
    if (!entry)
        return false;
    if (::getegid() == entry->gr_gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) < 0)
        return false;
    return std::find(groups.begin(), groups.end(), entry->gr_gid) != groups.end();
}

std::optional<pid_t> keeperOf(const fs::path &prefix)
{
    return lockHolder(keeperLockPath(prefix));
}

int login(const std::string &group, const fs::path &programFolder, const fs::path &helperFolder)
{
    if (!memberOf(group))
        return 0;
    const Environment env = stationEnvironment();
    const auto wine = findWine(env);
    const auto prefix = prefixPath(env);
    if (!wine || !prefix) {
        std::cerr << "kelrin-bridge login: " << (wine ? "no place for a Wine prefix" : "no Wine")
                  << '\n';
        return 1;
    }
    if (const PrefixState state = prepareHere(*prefix, *wine);
        state.outcome == PrefixOutcome::Failed) {
        std::cerr << "kelrin-bridge login: the Wine prefix " << *prefix
                  << " cannot be prepared: " << state.problem << '\n';
        return 1;
    }
    // Taken here, so that the keeper holds it from the first moment: the
    // lock belongs to the open file, which the forked keeper shares.
    const FileLock lock(keeperLockPath(*prefix));
    if (!lock.held())
        return 0; // another session of this account keeps it
    const std::vector<fs::path> helpers = keeperHelpers(programFolder, helperFolder);
    int started[2];
    if (::pipe2(started, O_CLOEXEC) != 0)
        return 1;
    std::cout.flush();
    const pid_t child = ::fork();
    if (child == 0) {
        // The keeper stays in the session, so that the session's end
        // reaches it, and holds none of the login command's output open.
        ::close(started[0]);
        const int null = ::open("/dev/null", O_RDWR);
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(null, fd);
        ::close(null);
        ::_exit(keep(lock, *prefix, *wine, helpers, started[1]));
    }
    ::close(started[1]);
    // Returns once the server is warm, so that the first start meets it.
    pollfd ready{started[0], POLLIN, 0};
    ::poll(&ready, 1, static_cast<int>(std::chrono::milliseconds(kHelperStart * 2).count()));
    ::close(started[0]);
    return child < 0 ? 1 : 0;
}

} // namespace kelrin::bridge
