#include "files.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kelrin::bridge {

std::optional<std::string> readFile(const std::filesystem::path &path, std::size_t limit,
                                    std::string *error)
{
    std::ifstream file(path, std::ios::binary);
    const auto failed = [&](int code) -> std::optional<std::string> {
        if (error)
            *error = "cannot read " + path.string() +
                     (code ? ": " + std::string(std::strerror(code)) : "");
        return std::nullopt;
    };
    if (!file)
        return failed(errno);
    std::string bytes;
    char block[16384];
    while (bytes.size() < limit && file) {
        file.read(block,
                  static_cast<std::streamsize>(std::min(sizeof block, limit - bytes.size())));
        bytes.append(block, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad())
        return failed(0);
    return bytes;
}

} // namespace kelrin::bridge
