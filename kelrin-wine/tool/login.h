#pragma once
// kelrin-bridge login: what the package's autostart entry runs at each login.
// For a member of the group that issues cards it prepares the account's
// Wine prefix when it is missing, then leaves a keeper running for the
// session: one Wine client (the helper with no DLL) that holds the prefix's
// Wine server and its services up, so that the station's first start after
// login, and every one after it, meets a warm Wine. The keeper ends with the
// session: on SIGTERM, SIGHUP or SIGINT, or when its X display goes away.
#include <filesystem>
#include <optional>
#include <string>

#include <sys/types.h>

namespace kelrin::bridge {

// Whether this process runs with `group` among its groups.
bool memberOf(const std::string &group);

// Returns 0 at once for an account outside `group`, and once the prefix is
// ready (prepared now if need be) and a keeper runs for it; 1 when the
// prefix cannot be prepared. `programFolder` holds Kelrin.dll, whose word
// size chooses the helper; `helperFolder` holds the helpers.
int login(const std::string &group, const std::filesystem::path &programFolder,
          const std::filesystem::path &helperFolder);

// The keeper of `prefix`'s Wine server, while one runs.
std::optional<pid_t> keeperOf(const std::filesystem::path &prefix);

} // namespace kelrin::bridge
