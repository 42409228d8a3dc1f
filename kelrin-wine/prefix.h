#pragma once
// The Wine prefix the helpers run in: one per account, prepared on first use
// with no display (so that no Wine window can appear in front of the clerk),
// Wine's debug output off, its Mono and Gecko installers and its menu
// builder suppressed. It is prepared in a temporary folder beside it and
// renamed into place only when complete, so a preparation cut short never
// leaves half a prefix (preparation.h: who prepares, and when).
#include "child.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelrin::bridge {

// What every Wine process of the bridge gets on top of the environment.
std::vector<std::string> wineSettings(const std::filesystem::path &prefix);
// What the preparation and the bridge's own probes never get: a display to
// open windows on (the helper itself has one: surroundings.h).
std::vector<std::string> wineDropped();

// Whether `prefix` is a prepared prefix.
bool prefixReady(const std::filesystem::path &prefix);

enum class PrefixOutcome
{
    Ready,     // was there already
    Prepared,  // prepared now
    Preparing, // being prepared by another process, not ready before the deadline
    Failed,    // could not be prepared, or not before the deadline
};

// Creates each missing folder of `path` for this account alone.
bool makeFolders(const std::filesystem::path &path);

// Prepares `prefix` with `wine` unless it is ready. `note` is called before
// a preparation starts, which takes seconds.
PrefixOutcome preparePrefix(const std::filesystem::path &prefix, const std::filesystem::path &wine,
                            Deadline deadline, void (*note)(const char *) = nullptr);

// wineserver beside `wine` (as the Wine packages install them), else on the
// PATH; nothing when there is none.
std::optional<std::filesystem::path> wineserverFor(const std::filesystem::path &wine);

} // namespace kelrin::bridge
