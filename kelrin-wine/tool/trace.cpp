#include "tool/trace.h"

#include "files.h"
#include "prefix/prefix.h"
#include "tool/prefix_section.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

// Long enough for Wine to end its services after -k asked it to.
constexpr std::chrono::seconds kEndLimit{30};

} // namespace

Trace::Trace(const Environment &env, const fs::path &file)
{
    const auto prefix = prefixPath(env);
    const auto wine = findWine(env);
    const auto server = wine ? wineserverFor(*wine) : std::nullopt;
    if (!prefix || !server) {
        m_note = "not taken: no Wine or no place for its prefix (see the lines above)";
        return;
    }
    m_prefix = *prefix;
    m_wineserver = *server;
    if (const auto users = prefixProcesses(m_prefix).users; !users.empty()) {
        m_note = "not taken: " + check::running(users) +
                 " in this prefix; close the station (or that program) and run the check again";
        return;
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_note = "not taken: cannot write " + file.string() + ": " + std::strerror(errno);
        return;
    }
    ::close(fd);
    if (prefixReady(m_prefix) && !endServer(m_wineserver, m_prefix, Clock::now() + kEndLimit)) {
        m_note = "not taken: Wine's server of this prefix would not end";
        return;
    }
    m_file = file;
}

std::string Trace::finish()
{
    if (m_file.empty())
        return m_note;
    endServer(m_wineserver, m_prefix, Clock::now() + kEndLimit);
    const std::string text = readFile(m_file).value_or("");
    const auto lines = std::count(text.begin(), text.end(), '\n');
    const std::string buses = busesStarted(text);
    return m_file.string() + ", " + std::to_string(lines) + " lines of Wine's trace; HID buses " +
           (buses.empty() ? "started: none" : "started: " + buses);
}

std::string busesStarted(const std::string &trace)
{
    // winebus says: trace:hid:bus_main_thread L"UDEV" main loop started
    const std::string tail = "\" main loop started";
    std::string buses;
    for (std::size_t at = trace.find(tail); at != std::string::npos;
         at = trace.find(tail, at + 1)) {
        const std::size_t open = trace.rfind("L\"", at);
        const std::size_t lineStart = trace.rfind('\n', at);
        if (open == std::string::npos || (lineStart != std::string::npos && open < lineStart))
            continue;
        const std::string name = trace.substr(open + 2, at - open - 2);
        if (name.empty() || buses.find(name) != std::string::npos)
            continue;
        buses += (buses.empty() ? "" : ", ") + name;
    }
    return buses;
}

} // namespace kelrin::bridge
