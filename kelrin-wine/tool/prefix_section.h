#pragma once
// The check's words for the prefix: its state, and what the bridge found and
// did in its settings for the encoder before the helper started (the HID
// bus, the pinned serial adapter), with the integrator's own values and
// how to hand them back.
#include "prefix/encoder_settings.h"
#include "prefix/preparation.h"
#include "tool/lines.h"

#include <filesystem>

namespace kelrin::bridge::check {

// "Prefix:" for a prefix in `state`, prepared now in `seconds` if it was.
Line prefixLine(const std::filesystem::path &prefix, const PrefixState &state, double seconds);

// "kelrin-host32.exe (process 4711) runs", for what runs in a prefix.
std::string running(const std::vector<PrefixUser> &users);

// What a review of the registry has to report: the integrator's own HID bus
// values, what they mean and how to hand them back; a serial setting that
// pins nothing, and why.
Lines reviewLines(const std::filesystem::path &prefix, const Review &review,
                  const std::optional<std::string> &serialSetting);

// The "HID bus:", "Serial:" and "Registry:" lines of `report`.
Lines settingsLines(const std::filesystem::path &prefix, const SettingsReport &report);

} // namespace kelrin::bridge::check
