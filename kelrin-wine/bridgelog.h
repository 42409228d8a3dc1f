#pragma once
// KELRIN_BRIDGE_LOG=FILE: the bridge appends one line to FILE per helper
// start and one per failure code of its own, each with the local time, so
// that a technician sees what a station met without watching it. Unset, the
// station writes no log. Each line is one write to a file opened for
// appending, so stations of several accounts may share the file.
#include "locate.h"

#include <cstdint>
#include <string>

namespace kelrin::bridge {

inline constexpr const char *kLogSetting = "KELRIN_BRIDGE_LOG";

// "2026-12-08 14:03:07.412 +0100": the local time to the millisecond.
std::string logTime();

// Appends "TIME TEXT\n" to the log, when one is set; a log that cannot be
// written is passed over: the station's calls never fail for it.
void logLine(const Environment &env, const std::string &text);

// The text of a failure line: "ReadCard: -9006 no answer within the time
// limit; ...", with `why` after it when there is more to say.
std::string failureText(const char *function, std::int32_t code, const std::string &why = {});

} // namespace kelrin::bridge
