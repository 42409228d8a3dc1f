#pragma once
// A child process the bridge talks to through pipes on its standard input
// and output, with a deadline on every wait, so that a child that hangs
// never holds the caller longer than the time left. Ended (and reaped) when
// the object goes.
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace kelrin::bridge {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

class Child
{
public:
    struct Spec
    {
        std::filesystem::path program;
        std::vector<std::string> args;        // after the program's own name
        std::vector<std::string> environment; // "NAME=value", the whole of it
        bool talk = true;                     // pipes to stdin and stdout; else both on /dev/null
        bool quiet = false;                   // stderr on /dev/null rather than the caller's
        // Killed by the kernel when the thread that started it ends: a
        // station ended by any signal takes the child with it, whatever the
        // child is doing. Not for what must outlive its caller.
        bool endsWithCaller = false;
    };

    enum class Outcome
    {
        Done,
        Ended, // the child closed its end: it has ended or is ending
        TimedOut,
    };

    // Throws std::system_error when the program cannot be started at all,
    // or `folder` (its working folder; empty: the caller's) cannot be entered.
    // `errorFile`, when given, takes its standard error (appended), whatever
    // `quiet` says: where a trace of Wine goes.
    explicit Child(const Spec &spec, const std::filesystem::path &folder = {},
                   const std::filesystem::path &errorFile = {});
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    // Closes its input, gives it a moment to end on its own, then kills it.
    ~Child();

    pid_t pid() const { return m_pid; }

    Outcome send(std::string_view bytes, Deadline deadline);
    Outcome receive(char *buffer, std::size_t count, Deadline deadline);
    // Everything it writes until it closes its output; nothing when the
    // deadline comes first.
    std::optional<std::string> receiveAll(Deadline deadline);
    // Waits for the child to end; its exit status as waitpid gives it.
    std::optional<int> wait(Deadline deadline);
    // Ends it now (SIGKILL) and reaps it.
    void kill();

private:
    pid_t m_pid = -1;
    int m_input = -1;  // the child's standard input, our end
    int m_output = -1; // the child's standard output, our end
    bool m_reaped = false;
};

// The environment of this process as "NAME=value" lines, without `drop`,
// with `set` added (replacing what was there).
std::vector<std::string> environmentWith(const std::vector<std::string> &drop,
                                         const std::vector<std::string> &set);

} // namespace kelrin::bridge
