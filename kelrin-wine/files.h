#pragma once
// Reading a file whole, or its first bytes: the registry file, a DLL's
// headers, a trace, a device's report descriptor.
#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

namespace kelrin::bridge {

// The file's bytes, at most `limit` of them; nothing, with `error` saying
// why when given, when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path &path,
                                    std::size_t limit = std::numeric_limits<std::size_t>::max(),
                                    std::string *error = nullptr);

} // namespace kelrin::bridge
