#pragma once
// What the bridge keeps right in a prepared prefix before a helper starts
// there, so that the maker's DLL reaches the encoder:
// - Wine's HID bus with its udev/hidraw back end on ("Enable SDL"=0 under
//   winebus: Wine 8.0 starts hidraw only then) and the clerk's keyboards,
//   mice and game controllers kept out ("DisableInput"=1). Set only where
//   absent: a value present is the integrator's and stays, and is reported.
// - the serial adapter that KELRIN_SERIAL_PORT pins to a COM name, through
//   Wine's HKLM\Software\Wine\Ports.
// Wine reads these only as its device services start, so a change needs
// the prefix's server restarted, which is done only while nothing but
// Wine's own services runs there; the registry file is written while no
// server runs, since a running one writes its own copy back over it.
#include "child.h"
#include "locate.h"
#include "registry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge {

inline constexpr const char *kHidBusKey = "System\\CurrentControlSet\\Services\\winebus";
inline constexpr const char *kPortsKey = "Software\\Wine\\Ports";
inline constexpr const char *kSerialSetting = "KELRIN_SERIAL_PORT";

// A serial adapter pinned to a COM name: COM<number> -> path.
struct SerialPin
{
    unsigned number = 0; // 1 to 255, as Wine's device manager takes them
    std::string path;    // absolute, e.g. /dev/serial/by-id/usb-...
};

// KELRIN_SERIAL_PORT's value, "COMn=PATH"; nothing, with `problem` saying
// why, when it is not one.
std::optional<SerialPin> parseSerialPin(std::string_view setting, std::string &problem);

struct Change
{
    std::string key, name;
    registry::Value value;
};

// A line of the check: its label and text.
struct Note
{
    std::string label, text;
};

// What a prefix's registry needs (pure: the file's text and the setting).
struct Review
{
    std::vector<Change> changes;
    std::vector<Note> notes;  // the integrator's own values and what they mean
    bool hidBusRight = false; // after the changes, hidraw devices reach the DLL
};
Review review(std::string_view systemReg, const std::optional<std::string> &serialSetting);

// The HID bus values a prefix gets at preparation.
std::vector<Change> hidBusChanges();

// Writes `changes` into the prefix's system.reg (through a file beside it
// renamed into place). Only while no Wine server of the prefix runs. False,
// with `error`, when the file cannot be read or written.
bool writeChanges(const std::filesystem::path &prefix, const std::vector<Change> &changes,
                  std::string &error);

// A Wine program running in the prefix other than Wine's own server and
// services: a station's helper, a program the integrator started there.
struct PrefixUser
{
    int pid = 0;
    std::string name; // its Windows program name, e.g. kelrin-host32.exe
};
std::vector<PrefixUser> prefixUsers(const std::filesystem::path &prefix);
std::string describe(const std::vector<PrefixUser> &users);

// Ends the prefix's server and all that runs in it (wineserver -k), which
// writes its registry out; true once none runs.
bool endServer(const std::filesystem::path &wineserver, const std::filesystem::path &prefix,
               Deadline deadline);

enum class Kept
{
    Unchanged, // nothing to change
    Applied,   // written; Wine of the prefix was not running or was restarted
    Waiting,   // due, but other programs run in the prefix: at a later start
    Failed,    // the registry could not be read or written
};

struct Upkeep
{
    Kept kept = Kept::Unchanged;
    bool restarted = false; // a running server was ended for it
    std::vector<Note> notes;
};

// Reviews the prefix and applies what is due, as the module's comment says.
Upkeep keepPrefix(const std::filesystem::path &prefix,
                  const std::optional<std::filesystem::path> &wineserver, const Environment &env,
                  Deadline deadline);

// Held while a helper starts, so that one bridge never ends the server
// under another's starting helper: a lock on a file in the prefix (fcntl,
// one per open file, as Wine's own locks are), waited for until the
// deadline. Without a writable prefix it holds nothing.
class PrefixLock
{
public:
    PrefixLock(const std::filesystem::path &prefix, Deadline deadline);
    ~PrefixLock();
    PrefixLock(const PrefixLock &) = delete;
    PrefixLock &operator=(const PrefixLock &) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace kelrin::bridge
