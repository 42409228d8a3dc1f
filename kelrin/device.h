#pragma once
// The simulated encoder's state: whether it is attached, the card on it, the
// locks' door-open records, the latency. It lives in one small text file that
// the library and kelrin-sim share, so both see one device:
// $KELRIN_SIM_STATE, else $XDG_STATE_HOME/kelrin/device, else
// ~/.local/state/kelrin/device. The DLL under Wine finds the same file from
// the same variables (system.h); on Windows with none set it takes
// %LOCALAPPDATA%\kelrin\device. A missing file is a fresh device.
//
// Readers take no lock: a writer replaces the file by rename, so a reader
// sees the old state or the new one, never half. Writers hold an exclusive
// lock on "<file>.lock" from reading to renaming, so two writers in two
// processes never lose each other's change, even when one is the DLL under
// Wine (system.h says which lock that takes). No fsync: the simulator needs
// atomicity against other processes, not durability across a power cut.
//
// A file that does not parse is never replaced by a fresh one: every access
// throws Failure with KELRIN_ERROR_STATE_CORRUPT and says what is wrong.
#include "codec.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelrin {

// A failure with the library's result code and a sentence for people.
class Failure : public std::runtime_error
{
public:
    Failure(std::int32_t code, const std::string &what) : std::runtime_error(what), m_code(code) {}
    std::int32_t code() const noexcept { return m_code; }

private:
    std::int32_t m_code;
};

inline constexpr unsigned kMaxLatencyMs = 60000;

struct DeviceState
{
    bool attached = true;
    std::uint8_t encoderType = 1; // KELRIN_ENCODER_KELUSB, what the station opens
    unsigned latencyMs = 0;
    std::uint64_t beeps = 0; // the buzzer is silent; it counts
    std::optional<Card> card;
    std::vector<OpenRecord> records; // oldest first, at most kMaxRecords

    // Attached, a blank card on it, a few sample door-open records.
    static DeviceState fresh();
    // Appends a record; a full memory forgets its oldest, as a lock's ring does.
    void addRecord(const OpenRecord &record);

    bool operator==(const DeviceState &) const = default;
};

std::string formatState(const DeviceState &state);
// Throws Failure(KELRIN_ERROR_STATE_CORRUPT) naming the line at fault.
DeviceState parseState(std::string_view text);

// Where the state lives now, from the environment. Throws
// Failure(KELRIN_ERROR_STATE_IO) when no variable names a place.
std::filesystem::path statePath();

class DeviceFile
{
public:
    explicit DeviceFile(std::filesystem::path path);
    // The file at statePath().
    DeviceFile();

    const std::filesystem::path &path() const { return m_path; }
    // The device as it is now; fresh when there is no file yet.
    DeviceState load() const;
    // Reads, changes and writes back under the lock. When `change` throws,
    // nothing is written and the exception goes on.
    void update(const std::function<void(DeviceState &)> &change) const;
    // Replaces whatever is there, even a file that does not parse, with `state`.
    void replace(const DeviceState &state) const;

private:
    std::filesystem::path m_path;
};

} // namespace kelrin
