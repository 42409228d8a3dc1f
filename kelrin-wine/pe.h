#pragma once
// What the bridge reads of a Windows DLL file itself, before Wine sees it:
// its word size, which picks the helper, and the functions it imports from
// other DLLs, which the check tries to resolve. Pure functions over the
// file's bytes; anything malformed reads as "not a PE" or as no imports,
// never beyond the bytes given.
#include "protocol.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace kelrin::bridge {

// Enough of a DLL to find its headers: they sit in the first few KiB.
inline constexpr std::size_t kPeHeaderBytes = 64 * 1024;

enum class Machine
{
    I386,
    Amd64,
};

// The machine of a PE image for i386 or x86-64; nothing for anything else
// (not MZ, no PE signature, another machine, a header that does not match it).
std::optional<Machine> peMachine(std::string_view image);

// The functions the image imports by name ("#N" by ordinal), in table order.
// Empty for an image that is no PE or has no import table.
std::vector<Import> peImports(std::string_view image);

unsigned bitsOf(Machine machine);

} // namespace kelrin::bridge
