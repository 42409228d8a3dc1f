#include "bridgelog.h"

#include "kelrin_result.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace kelrin::bridge {

std::string logTime()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char day[32], zone[8], text[64];
    std::strftime(day, sizeof day, "%Y-%m-%d %H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    std::snprintf(text, sizeof text, "%s.%03d %s", day, static_cast<int>(millis), zone);
    return text;
}

void logLine(const Environment &env, const std::string &text)
{
    const auto file = env(kLogSetting);
    if (!file || file->empty())
        return;
    const int fd = ::open(file->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::string line = logTime() + ' ' + text;
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

std::string failureText(const char *function, std::int32_t code, const std::string &why)
{
    const kelrin_result_row *row = kelrin_bridge_result_entry(code);
    return std::string(function) + ": " + std::to_string(code) + ' ' +
           (row ? row->text : kelrin_result_text(code)) + (why.empty() ? "" : ": " + why);
}

} // namespace kelrin::bridge
