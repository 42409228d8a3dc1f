#include "tool/lines.h"

#include <iostream>

namespace kelrin::bridge::check {

void print(const Lines &lines)
{
    for (const Line &line : lines) {
        const std::size_t width = line.label.size() < 10 ? 10 - line.label.size() : 1;
        std::cout << line.label << std::string(width, ' ') << line.text << '\n';
    }
    std::cout << std::flush;
}

} // namespace kelrin::bridge::check
