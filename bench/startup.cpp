// Start-up figures: runs programs in turn on the X server in $DISPLAY and
// measures, for each run, the time from starting the process to its first
// top-level window being mapped, and the process's peak memory (VmHWM) once
// the window is up. Alternating the programs run by run spreads the noise of
// a shared machine over all of them alike.
//
//   startup RUNS SETTLE_MS "NAME=PROGRAM [ARG ...]" ...
//   STARTUP_BETWEEN=COMMAND startup ...   COMMAND before each start, not timed
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Program
{
    std::string name;
    std::string path;
    std::vector<double> startMs;
    std::vector<double> peakMiB;
};

long peakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            break;
        }
        status.ignore(4096, '\n');
    }
    return value;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One run: start, wait for the map, let it settle, read its peak, stop it.
bool runOnce(xcb_connection_t *x, Program &program, int settleMs)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The program's words, split at blanks: its path, then its arguments.
        std::vector<std::string> words;
        std::istringstream line(program.path);
        for (std::string word; line >> word;)
            words.push_back(word);
        std::vector<char *> args;
        for (std::string &word : words)
            args.push_back(word.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    bool mapped = false;
    const Clock::time_point deadline = start + std::chrono::seconds(20);
    while (!mapped && Clock::now() < deadline) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(x),
                                                                         &std::free);
        if (!event) {
            if (xcb_connection_has_error(x))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
    }
    const Clock::time_point shown = Clock::now();
    if (mapped) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        program.startMs.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
        program.peakMiB.push_back(static_cast<double>(peakKiB(pid)) / 1024.0);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    // Events of the window going away belong to this run, not the next.
    xcb_flush(x);
    while (auto *event = xcb_poll_for_event(x))
        std::free(event);
    return mapped;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup RUNS SETTLE_MS NAME=PROGRAM [NAME=PROGRAM ...]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int settleMs = std::atoi(argv[2]);
    std::vector<Program> programs;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "expected NAME=PROGRAM, not %s\n", argv[i]);
            return 2;
        }
        programs.push_back({arg.substr(0, eq), arg.substr(eq + 1), {}, {}});
    }

    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "cannot reach the X server in DISPLAY\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    // STARTUP_BETWEEN: a command run before each start, outside the time
    // measured (for example ending a server that a start should not find).
    const char *between = std::getenv("STARTUP_BETWEEN");
    for (int run = 0; run < runs; ++run)
        for (Program &program : programs) {
            if (between && std::system(between) != 0) {
                std::fprintf(stderr, "STARTUP_BETWEEN failed: %s\n", between);
                return 1;
            }
            if (!runOnce(x, program, settleMs)) {
                std::fprintf(stderr, "%s showed no window\n", program.name.c_str());
                return 1;
            }
        }
    xcb_disconnect(x);

    std::printf("%-14s %10s %10s %12s\n", "program", "start ms", "min ms", "peak MiB");
    for (const Program &program : programs)
        std::printf("%-14s %10.1f %10.1f %12.1f\n", program.name.c_str(), median(program.startMs),
                    *std::min_element(program.startMs.begin(), program.startMs.end()),
                    median(program.peakMiB));
    if (programs.size() >= 2) {
        const Program &a = programs[0];
        const Program &b = programs[1];
        std::printf("ratio %s/%s start %.2f peak %.2f runs %d\n", a.name.c_str(), b.name.c_str(),
                    median(a.startMs) / median(b.startMs), median(a.peakMiB) / median(b.peakMiB),
                    runs);
    }
    return 0;
}
