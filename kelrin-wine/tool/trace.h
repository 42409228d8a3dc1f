#pragma once
// `kelrin-bridge check --trace FILE`: the check's own calls with Wine's
// device and loader channels traced into one file that a technician can
// send. Wine's services (the HID bus, the device manager) print only what
// they do as they start, so the prefix's Wine is restarted for the trace
// and ended after it, never while a station or another program runs
// there: the trace is then not taken, and the check says why.
#include "locate.h"

#include <filesystem>
#include <string>

namespace kelrin::bridge {

class Trace
{
public:
    // Ends the prefix's Wine and empties `file`, when nothing else runs there.
    Trace(const Environment &env, const std::filesystem::path &file);
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

    // Where the bridge traces to; empty when the trace was not taken.
    const std::filesystem::path &file() const { return m_file; }

    // Ends the prefix's Wine again, so that the file is complete, and says
    // what was taken (the check's "Trace:" line).
    std::string finish();

private:
    std::filesystem::path m_file;
    std::filesystem::path m_prefix;
    std::filesystem::path m_wineserver;
    std::string m_note; // why it was not taken
};

// The HID buses a trace shows started ("UDEV", "SDL"), in order.
std::string busesStarted(const std::string &trace);

} // namespace kelrin::bridge
