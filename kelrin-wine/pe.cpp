#include "pe.h"

#include <cstdint>
#include <string>

namespace kelrin::bridge {

namespace {

constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kMaxImports = 4096; // a bound for a hostile table

// Little-endian reads that answer nothing past the end.
std::optional<std::uint32_t> read(std::string_view image, std::size_t offset, std::size_t size)
{
    if (offset > image.size() || image.size() - offset < size)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint32_t(static_cast<std::uint8_t>(image[offset + i])) << (8 * i);
    return value;
}

std::optional<std::uint64_t> read64(std::string_view image, std::size_t offset)
{
    const auto low = read(image, offset, 4), high = read(image, offset + 4, 4);
    if (!low || !high)
        return std::nullopt;
    return std::uint64_t(*high) << 32 | *low;
}

struct Layout
{
    Machine machine;
    std::size_t sections; // offset of the section table
    std::size_t sectionCount;
    std::size_t dataDirectory; // offset of the data directories
    std::size_t directoryCount;
};

std::optional<Layout> layout(std::string_view image)
{
    if (image.substr(0, 2) != "MZ")
        return std::nullopt;
    const auto peOffset = read(image, 0x3C, 4);
    if (!peOffset || *peOffset > image.size() ||
        image.substr(*peOffset, 4) != std::string_view("PE\0\0", 4))
        return std::nullopt;
    const std::size_t coff = *peOffset + 4;
    const auto machine = read(image, coff, 2), sectionCount = read(image, coff + 2, 2),
               optionalSize = read(image, coff + 16, 2);
    const std::size_t optional = coff + 20;
    const auto magic = read(image, optional, 2);
    if (!machine || !sectionCount || !optionalSize || !magic)
        return std::nullopt;
    Layout l{};
    if (*machine == kMachineI386 && *magic == kMagicPe32) {
        l.machine = Machine::I386;
        l.dataDirectory = optional + 96;
    } else if (*machine == kMachineAmd64 && *magic == kMagicPe32Plus) {
        l.machine = Machine::Amd64;
        l.dataDirectory = optional + 112;
    } else {
        return std::nullopt;
    }
    const auto directoryCount = read(image, l.dataDirectory - 4, 4);
    if (!directoryCount)
        return std::nullopt;
    l.directoryCount = *directoryCount;
    l.sections = optional + *optionalSize;
    l.sectionCount = *sectionCount;
    return l;
}

// The file offset of a relative virtual address, through the section table.
std::optional<std::size_t> fileOffset(std::string_view image, const Layout &l, std::uint32_t rva)
{
    for (std::size_t i = 0; i < l.sectionCount; ++i) {
        const std::size_t header = l.sections + 40 * i;
        const auto virtualSize = read(image, header + 8, 4), address = read(image, header + 12, 4),
                   rawSize = read(image, header + 16, 4), rawOffset = read(image, header + 20, 4);
        if (!virtualSize || !address || !rawSize || !rawOffset)
            return std::nullopt;
        const std::uint32_t size = std::max(*virtualSize, *rawSize);
        if (rva >= *address && rva - *address < size) {
            const std::uint64_t offset = std::uint64_t(*rawOffset) + (rva - *address);
            if (offset >= image.size())
                return std::nullopt;
            return static_cast<std::size_t>(offset);
        }
    }
    return std::nullopt;
}

std::optional<std::string> nameAt(std::string_view image, const Layout &l, std::uint32_t rva)
{
    const auto offset = fileOffset(image, l, rva);
    if (!offset)
        return std::nullopt;
    const std::size_t end = image.find('\0', *offset);
    if (end == std::string_view::npos || end - *offset > 1024)
        return std::nullopt;
    return std::string(image.substr(*offset, end - *offset));
}

} // namespace

std::optional<Machine> peMachine(std::string_view image)
{
    const auto l = layout(image);
    if (!l)
        return std::nullopt;
    return l->machine;
}

unsigned bitsOf(Machine machine)
{
    return machine == Machine::I386 ? 32 : 64;
}

std::vector<Import> peImports(std::string_view image)
{
    std::vector<Import> imports;
    const auto l = layout(image);
    if (!l || l->directoryCount <= kImportDirectory)
        return imports;
    const auto tableRva = read(image, l->dataDirectory + 8 * kImportDirectory, 4);
    if (!tableRva || *tableRva == 0)
        return imports;
    auto descriptor = fileOffset(image, *l, *tableRva);
    const bool wide = l->machine == Machine::Amd64;
    const std::uint64_t ordinalFlag = wide ? std::uint64_t(1) << 63 : std::uint64_t(1) << 31;
    for (; descriptor; *descriptor += 20) {
        const auto lookup = read(image, *descriptor, 4), name = read(image, *descriptor + 12, 4),
                   firstThunk = read(image, *descriptor + 16, 4);
        if (!lookup || !name || !firstThunk || *name == 0)
            break;
        const std::optional<std::string> dll = nameAt(image, *l, *name);
        auto thunk = fileOffset(image, *l, *lookup ? *lookup : *firstThunk);
        if (!dll || !thunk)
            break;
        for (;; *thunk += wide ? 8 : 4) {
            const std::optional<std::uint64_t> entry =
                wide ? read64(image, *thunk) : std::optional<std::uint64_t>(read(image, *thunk, 4));
            if (!entry || *entry == 0 || imports.size() >= kMaxImports)
                break;
            if (*entry & ordinalFlag) {
                imports.push_back(Import{*dll, "#" + std::to_string(*entry & 0xFFFF)});
            } else if (const auto function =
                           nameAt(image, *l, static_cast<std::uint32_t>(*entry & 0x7FFFFFFF) + 2)) {
                imports.push_back(Import{*dll, *function});
            } else {
                break;
            }
        }
        if (imports.size() >= kMaxImports)
            break;
    }
    return imports;
}

} // namespace kelrin::bridge
