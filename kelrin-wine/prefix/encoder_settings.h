#pragma once
// What the bridge keeps right in a prepared prefix before a helper starts
// there, so that the maker's DLL reaches the encoder:
// - Wine's HID bus with its udev/hidraw back end on ("Enable SDL"=0 under
//   winebus: Wine 8.0 starts hidraw only then) and the clerk's keyboards,
//   mice and game controllers kept out ("DisableInput"=1). Set only where
//   absent: a value present is the integrator's and stays, and is reported.
// - the serial adapter that KELRIN_SERIAL_PORT pins to a COM name, through
//   Wine's HKLM\Software\Wine\Ports.
// - every USB serial adapter the prefix maps to a COM name listed as
//   Windows' Plug and Play lists it (port_listing.h).
// Wine reads these only as its device services start, so a change needs
// the prefix's server restarted, which is done only while nothing but
// Wine's own services runs there; the registry file is written while no
// server runs, since a running one writes its own copy back over it.
// Everything here is facts: kelrin-bridge's check words them.
#include "child.h"
#include "locate.h"
#include "prefix/port_listing.h"
#include "prefix/prefix.h"
#include "prefix/registry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge {

inline constexpr const char *kHidBusKey = "System\\CurrentControlSet\\Services\\winebus";
inline constexpr const char *kPortsKey = "Software\\Wine\\Ports";
inline constexpr const char *kSerialSetting = "KELRIN_SERIAL_PORT";
inline constexpr const char *kEnableSdl = "Enable SDL";
inline constexpr const char *kDisableInput = "DisableInput";
inline constexpr const char *kDisableHidraw = "DisableHidraw";

// A serial adapter pinned to a COM name: COM<number> -> path.
struct SerialPin
{
    unsigned number = 0; // 1 to 255, as Wine's device manager takes them
    std::string path;    // absolute, e.g. /dev/serial/by-id/usb-...
};

// Why KELRIN_SERIAL_PORT's value is not a pin.
enum class PinProblem
{
    None,
    NotComEqualsPath, // not COMn=PATH with n from 1 to 255
    NotAbsolute,      // the path after = is not absolute
    NotPrintable,     // the path is not printable ASCII of at most 255 bytes
};

// KELRIN_SERIAL_PORT's value, "COMn=PATH"; nothing, with `problem` saying
// why, when it is not one.
std::optional<SerialPin> parseSerialPin(std::string_view setting, PinProblem &problem);

using Change = registry::Edit;

// A HID bus value the integrator set, which the bridge leaves as it is.
struct IntegratorValue
{
    enum class Effect
    {
        SdlNotDword,  // "Enable SDL" of another type: Wine reads it as 1
        SdlOn,        // "Enable SDL" not 0: hidraw devices invisible
        InputOffered, // "DisableInput" 0 (or not a dword): keyboards and mice offered
        HidrawOff,    // "DisableHidraw" not 0: hidraw devices invisible
    };
    std::string name; // the value's name under winebus
    Effect effect = Effect::SdlOn;
    std::uint32_t number = 0; // as set, for a dword
};

// What a prefix's registry needs (pure: the file's text, the setting and
// the USB serial adapters behind the prefix's COM names).
struct Review
{
    std::vector<Change> changes;
    std::vector<IntegratorValue> integratorValues;
    bool hidBusRight = false; // after the changes, hidraw devices reach the DLL
    std::optional<SerialPin> pin;
    PinProblem pinProblem = PinProblem::None; // a setting that is no pin
};
Review review(std::string_view systemReg, const std::optional<std::string> &serialSetting,
              const std::vector<MappedPort> &ports = {});

// A COM name of the prefix and the Unix node it leads to: the pinned one
// and those Wine numbered itself (dosdevices/comN), by number.
struct ComName
{
    unsigned number = 0;
    std::filesystem::path node;
};
std::vector<ComName> comNames(const std::filesystem::path &prefix,
                              const std::optional<SerialPin> &pin);

// The HID bus values a prefix gets at preparation.
std::vector<Change> hidBusChanges();

// Writes `changes` into the prefix's system.reg (through a file beside it
// renamed into place). Only while no Wine server of the prefix runs. False,
// with `error`, when the file cannot be read or written.
bool writeChanges(const std::filesystem::path &prefix, const std::vector<Change> &changes,
                  std::string &error);

enum class SettingsOutcome
{
    Unchanged, // nothing to change
    Applied,   // written; Wine of the prefix was not running or was restarted
    Waiting,   // due, but other programs run in the prefix: at a later start
    Failed,    // the registry could not be read or written, or the server not ended
};

// What a start found and did in the prefix's settings.
struct SettingsReport
{
    SettingsOutcome outcome = SettingsOutcome::Unchanged;
    bool restarted = false;             // a running server was ended for it
    std::vector<Change> changes;        // applied, or waiting
    std::vector<PrefixUser> waitingFor; // Waiting: what runs in the prefix
    enum class Failure
    {
        None,
        RegistryUnreadable,
        ServerNotEnded, // the prefix's server would not end
        RegistryUnwritable,
    };
    Failure failure = Failure::None; // Failed: which step
    std::string error;               // Failed: the system's words
    Review review;                   // what the registry held and the setting said
    std::optional<std::string> serialSetting;
    bool pinnedPathMissing = false; // the pinned adapter's path does not exist now
    std::vector<MappedPort> ports;  // listed as Windows lists them
    bool pinnedNotUsb = false;      // the pinned node has no USB adapter above it
};

// Reviews the prefix and applies what is due, as the module's comment says.
// `sysfs` is where the adapters are looked up: /sys, or a tree laid out
// as it is.
SettingsReport applyEncoderSettings(const std::filesystem::path &prefix,
                                    const std::optional<std::filesystem::path> &wineserver,
                                    const Environment &env, Deadline deadline,
                                    const std::filesystem::path &sysfs = "/sys");

} // namespace kelrin::bridge
