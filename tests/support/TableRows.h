#pragma once

#include <ostream>
#include <string>

// Rows of a test table carry a `name`, which names the row's test and prints
// the row in a failure. A test file takes them in with
// `using tableRows::PrintTo;` in the namespace of its row types.
namespace tableRows {

// Constrained, so that it wins over the test framework's catch-all printer.
template <class Row>
requires requires(const Row &row)
{
    row.name;
}
void PrintTo(const Row &row, std::ostream *os)
{
    *os << row.name;
}

inline constexpr auto rowName = [](const auto &info) { return std::string(info.param.name); };

} // namespace tableRows
