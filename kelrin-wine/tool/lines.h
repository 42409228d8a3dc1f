#pragma once
// The one kind of line kelrin-bridge prints: a label in a column of its
// own and a text, "Wine:     /usr/bin/wine, wine-8.0 (Debian 8.0~repack-4)".
// Every section of the check makes a list of them from the facts the
// library returns.
#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge::check {

struct Line
{
    std::string label;
    std::string text;
    bool operator==(const Line &) const = default;
};
using Lines = std::vector<Line>;

// Writes each line to standard output, flushed: a technician watching a
// check that waits for Wine sees how far it got.
void print(const Lines &lines);

} // namespace kelrin::bridge::check
