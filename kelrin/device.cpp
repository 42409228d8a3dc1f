#include "device.h"

#include "kelrin_result.h"
#include "system.h"

#include <charconv>
#include <map>

namespace kelrin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFirstLine = "kelrin-device 1";
// Far above any real state (224 records are about 6 KB): a larger file is no
// state of ours, and reading it whole would only cost memory.
constexpr std::size_t kMaxStateBytes = 1 << 20;
constexpr std::uint32_t kFreshFixedId = 0x8F3A61C4;

// The file's text, or nothing when there is no file.
std::optional<std::string> readState(const fs::path &path)
{
    auto text = sys::readFile(path, kMaxStateBytes);
    if (text && text->size() > kMaxStateBytes)
        throw Failure(KELRIN_ERROR_STATE_CORRUPT, "the file is larger than any device state");
    return text;
}

void makeParent(const fs::path &path)
{
    if (const fs::path parent = path.parent_path(); !parent.empty())
        sys::makeFolders(parent);
}

fs::path lockPath(const fs::path &path)
{
    fs::path lock = path;
    lock += ".lock";
    return lock;
}

template <class Number> std::optional<Number> parseNumber(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

[[noreturn]] void corrupt(std::size_t line, const std::string &what)
{
    throw Failure(KELRIN_ERROR_STATE_CORRUPT, "line " + std::to_string(line) + ": " + what);
}

} // namespace

DeviceState DeviceState::fresh()
{
    DeviceState state;
    state.card = blankCard(kFreshFixedId);
    state.records.push_back(*decodeRecord("6B15458D15EA3941"));
    const struct
    {
        std::uint8_t type;
        std::string_view stamp;
        std::uint16_t door;
    } samples[] = {{0x6, "251201081502", 0x102},
                   {0xB, "251201093011", 0x102},
                   {0x6, "251202221745", 0x203},
                   {0xA, "251203030000", 0x001},
                   {0x7, "251204120500", 0x203}};
    for (const auto &sample : samples)
        state.records.push_back(*makeRecord(sample.type, sample.stamp, sample.door));
    return state;
}

void DeviceState::addRecord(const OpenRecord &record)
{
    if (records.size() >= kMaxRecords)
        records.erase(records.begin(), records.begin() + (records.size() - kMaxRecords + 1));
    records.push_back(record);
}

std::string formatState(const DeviceState &state)
{
    std::string text = "# Kelrin simulated card encoder. Change it with kelrin-sim.\n";
    text += std::string(kFirstLine) + "\n";
    text += std::string("attached ") + (state.attached ? "yes" : "no") + "\n";
    text += "encoder-type " + std::to_string(state.encoderType) + "\n";
    text += "latency-ms " + std::to_string(state.latencyMs) + "\n";
    text += "beeps " + std::to_string(state.beeps) + "\n";
    text += "card " + (state.card ? encodeCard(*state.card) : std::string("none")) + "\n";
    for (const OpenRecord &record : state.records)
        text += "record " + encodeRecord(record) + "\n";
    return text;
}

DeviceState parseState(std::string_view text)
{
    DeviceState state;
    std::map<std::string, std::size_t, std::less<>> seen;
    bool headerSeen = false;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (!headerSeen) {
            if (line != kFirstLine)
                corrupt(lineNo, "expected \"" + std::string(kFirstLine) + "\"");
            headerSeen = true;
            continue;
        }
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space == 0 || space + 1 == line.size())
            corrupt(lineNo, "expected a name, one space and a value");
        const std::string key(line.substr(0, space));
        const std::string_view value = line.substr(space + 1);
        if (key != "record" && seen.contains(key))
            corrupt(lineNo, "\"" + key + "\" given again (first on line " +
                                std::to_string(seen[key]) + ")");
        seen.emplace(key, lineNo);

        if (key == "attached") {
            if (value != "yes" && value != "no")
                corrupt(lineNo, "attached must be yes or no");
            state.attached = value == "yes";
        } else if (key == "encoder-type") {
            const auto type = parseNumber<unsigned>(value);
            if (!type || *type > 1)
                corrupt(lineNo, "encoder-type must be 0 or 1");
            state.encoderType = static_cast<std::uint8_t>(*type);
        } else if (key == "latency-ms") {
            const auto ms = parseNumber<unsigned>(value);
            if (!ms || *ms > kMaxLatencyMs)
                corrupt(lineNo, "latency-ms must be 0 to " + std::to_string(kMaxLatencyMs));
            state.latencyMs = *ms;
        } else if (key == "beeps") {
            const auto beeps = parseNumber<std::uint64_t>(value);
            if (!beeps)
                corrupt(lineNo, "beeps must be a count");
            state.beeps = *beeps;
        } else if (key == "card") {
            if (value == "none") {
                state.card.reset();
            } else {
                state.card = decodeCard(value);
                if (!state.card)
                    corrupt(lineNo, "the card is not a valid card hex string");
            }
        } else if (key == "record") {
            const auto record = decodeRecord(value);
            if (!record)
                corrupt(lineNo, "not a valid door-open record");
            if (state.records.size() == kMaxRecords)
                corrupt(lineNo, "more than " + std::to_string(kMaxRecords) + " records");
            state.records.push_back(*record);
        } else {
            corrupt(lineNo, "unknown name \"" + key + "\"");
        }
    }
    if (!headerSeen)
        corrupt(lineNo, "the file is empty");
    for (const char *key : {"attached", "encoder-type", "latency-ms", "beeps", "card"}) {
        if (!seen.contains(key))
            corrupt(lineNo, std::string("\"") + key + "\" is missing");
    }
    return state;
}

fs::path statePath()
{
    if (const auto explicitPath = sys::environment("KELRIN_SIM_STATE"); !explicitPath.empty())
        return sys::environmentPath(explicitPath);
    // A relative XDG_STATE_HOME is invalid by the base-directory rules: ignored.
    if (const auto xdg = sys::environmentPath(sys::environment("XDG_STATE_HOME"));
        xdg.is_absolute())
        return xdg / "kelrin" / "device";
    if (const auto home = sys::homeFolder())
        return *home / ".local" / "state" / "kelrin" / "device";
    if (auto path = sys::systemStatePath())
        return *path;
    throw Failure(KELRIN_ERROR_STATE_IO,
                  "no place for the device state: set KELRIN_SIM_STATE, XDG_STATE_HOME or HOME");
}

DeviceFile::DeviceFile(fs::path path) : m_path(std::move(path)) {}

DeviceFile::DeviceFile() : m_path(statePath()) {}

DeviceState DeviceFile::load() const
{
    try {
        const auto text = readState(m_path);
        return text ? parseState(*text) : DeviceState::fresh();
    } catch (const Failure &failure) {
        if (failure.code() != KELRIN_ERROR_STATE_CORRUPT)
            throw;
        throw Failure(failure.code(), m_path.string() + ": " + failure.what());
    }
}

void DeviceFile::update(const std::function<void(DeviceState &)> &change) const
{
    makeParent(m_path);
    const sys::FileLock lock(lockPath(m_path));
    DeviceState state = load();
    change(state);
    sys::replaceFile(m_path, formatState(state));
}

void DeviceFile::replace(const DeviceState &state) const
{
    makeParent(m_path);
    const sys::FileLock lock(lockPath(m_path));
    sys::replaceFile(m_path, formatState(state));
}

} // namespace kelrin
