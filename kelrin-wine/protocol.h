#pragma once
// The conversation between the bridge (libKelrin.so on Linux) and its helper
// (kelrin-host32.exe or kelrin-host64.exe under Wine) over the helper's
// standard input and output. Pure functions, built into both sides, so that
// framing and bounds are tested without processes.
//
// Every message is one frame: its length as 4 bytes little-endian, then that
// many bytes, at most kMaxFrame. The first byte of a frame says what it is:
//
//   Hello     helper -> bridge, once at start: protocol version, word size,
//             how loading the DLL went, and the name each of the thirteen
//             functions was found under (or that it is missing)
//   Call      bridge -> helper: the function's number, then its arguments in
//             the order of kelrin.h
//   Answer    helper -> bridge: the 32-bit result, then the output buffer's
//             bytes as the DLL left them
//   Probe     bridge -> helper: DLL and function names to resolve (the check
//             of a DLL's imports)
//   Probed    helper -> bridge: one byte per name, 1 where it resolved
//   Devices   bridge -> helper: which devices does Windows show here?
//   DeviceList helper -> bridge: the HID devices that setupapi and hid.dll
//             enumerate, and the COM ports Wine has mapped
//   Windows   helper -> bridge, only between a Call (or the start) and its
//             Answer (or the Hello): whether a window of the DLL now shows
//             on the screen, sent when that changes, so that the bridge
//             holds the time limit while the clerk has the DLL's window
//   Usb       helper -> bridge, in the same place: a request of the
//             libusb0.dll the bridge supplies, which Linux's libusb carries
//             out on the bridge's side
//   UsbAnswer bridge -> helper: its outcome
//
// Numbers travel as 4 bytes little-endian, one-byte arguments as one byte.
// Texts travel as their bytes up to the NUL, unchanged (the library speaks
// code page 936), behind a presence byte, so that a null pointer arrives
// null. lostCardIds travels as its 4 raw bytes. An output buffer travels to
// the helper with the caller's bytes, its whole capacity, so that a buffer
// the DLL leaves untouched comes back as it was.
//
// A decoder that meets anything else throws ProtocolError: the bridge then
// ends the helper, since the stream can no longer be trusted.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelrin::bridge {

inline constexpr std::uint32_t kProtocolVersion = 2;
inline constexpr std::size_t kMaxFrame = 16u << 20;
inline constexpr std::size_t kFrameHeader = 4;

// The thirteen functions, numbered in the order of kelrin.h.
enum class Function : std::uint8_t
{
    initializeUSB,
    CloseUSB,
    Buzzer,
    ReadCard,
    GuestCard,
    LimitCard,
    CardErase,
    GetCardTypeByCardDataStr,
    GetGuestLockNoByCardDataStr,
    GetGuestETimeByCardDataStr,
    ReadRecord,
    GetOpenRecordByDataStr,
    GetDLLVersion,
};
inline constexpr std::size_t kFunctionCount = 13;

enum class Kind : std::uint8_t
{
    Byte,      // uint8_t
    Int,       // int32_t
    Text,      // const char *, NUL-terminated
    FourBytes, // const uint8_t[4]
    Output,    // char *, of the function's output capacity
};

struct Signature
{
    const char *name;
    std::vector<Kind> args;
    std::size_t outputCapacity; // 0: the function has no output buffer
    // Bytes of arguments on a 32-bit stack: the N of a __stdcall "Name@N".
    unsigned stackBytes() const { return 4 * static_cast<unsigned>(args.size()); }
};

const Signature &signature(Function function);
std::optional<Function> functionNamed(std::string_view name);

// The names a DLL may export a function under, in the order they are tried:
// plain, then "Name@N" as mingw decorates 32-bit __stdcall, then "_Name@N"
// as other compilers do.
std::vector<std::string> exportNames(Function function);

// One argument. Texts, lostCardIds and outputs may be null.
struct Argument
{
    Kind kind = Kind::Int;
    std::int32_t number = 0; // Byte and Int
    bool null = false;       // Text, FourBytes and Output
    std::string bytes;       // Text: up to the NUL; FourBytes: 4; Output: the buffer
};

struct Call
{
    Function function = Function::GetDLLVersion;
    std::vector<Argument> args;
};

struct Answer
{
    std::int32_t result = 0;
    bool hasOutput = false;
    std::string output; // the buffer as the DLL left it
};

struct Hello
{
    std::uint32_t version = kProtocolVersion;
    unsigned bits = 0;           // 32 or 64
    std::int32_t load = 0;       // 0, or the bridge's code for a DLL that did not load
    std::uint32_t loadError = 0; // Windows' error code then
    // Per function, the name it resolved under; empty when missing.
    std::array<std::string, kFunctionCount> resolved;
    // The helper's ANSI and OEM code pages (GetACP, GetOEMCP).
    std::uint32_t ansiCodePage = 0;
    std::uint32_t oemCodePage = 0;
};

// A HID device as a Windows program finds it: through setupapi's HID
// interface class and hid.dll. Texts in UTF-8.
struct HidDevice
{
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t usagePage = 0; // of its top-level collection
    std::uint16_t usage = 0;
    std::string name; // the product string; empty when it gives none
    std::string path; // the device interface path CreateFile opens
};

// A serial port as SetupAPI lists it under the COM-port interface, as a
// DLL that looks for its adapter finds it. Texts in UTF-8.
struct ListedPort
{
    std::string friendlyName; // "USB-SERIAL CH340 (COM3)"
    std::string hardwareId;   // the first of its hardware ids
    std::string portName;     // "COM3", from its device key
};

// The devices Windows shows to the DLL, for the check.
struct DeviceList
{
    std::vector<HidDevice> hid;
    std::vector<std::string> comPorts; // "COM1", ...
    std::vector<ListedPort> listedPorts;
    // The values set under HKLM\System\CurrentControlSet\Services\winebus
    // among "Enable SDL", "DisableHidraw" and "DisableInput".
    std::vector<std::pair<std::string, std::uint32_t>> busSettings;
};

// USB for the supplied libusb0.dll: what it asks of Linux's USB stack.
enum class UsbOp : std::uint8_t
{
    List,             // every device: bus, address and descriptors
    Open,             // args: bus, address; answers a handle number
    Close,            // the handle
    SetConfiguration, // args: configuration
    ClaimInterface,   // args: interface
    ReleaseInterface, // args: interface
    SetAltInterface,  // args: interface, alternate setting
    ClearHalt,        // args: endpoint
    Reset,
    Control,   // args: request type, request, value, index; data out or length in
    Bulk,      // args: endpoint; data out or length in
    Interrupt, // args: endpoint; data out or length in
};
inline constexpr std::uint8_t kLastUsbOp = static_cast<std::uint8_t>(UsbOp::Interrupt);

struct UsbRequest
{
    UsbOp op = UsbOp::List;
    std::uint32_t handle = 0;
    std::array<std::int32_t, 4> args{};
    std::string data;          // what goes to the device
    std::uint32_t length = 0;  // what may come from it
    std::uint32_t timeout = 0; // milliseconds; 0: as long as the call may take
};

// A device as libusb-win32 describes it: the device descriptor (18 bytes)
// then every configuration's whole descriptor, as the device gives them.
struct UsbDevice
{
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::string descriptors;
};

struct UsbAnswer
{
    // As libusb-win32 returns it: a count (bytes, a handle, devices) or a
    // negative error number (UsbError).
    std::int32_t result = 0;
    std::string data; // what came from the device
    std::vector<UsbDevice> devices;
};

// The error numbers libusb-win32 returns, negated: Windows' C runtime's
// errno values, and its own for a time-out.
namespace usb_error {
inline constexpr std::int32_t kNoEntry = -2;
inline constexpr std::int32_t kInterrupted = -4;
inline constexpr std::int32_t kIo = -5;
inline constexpr std::int32_t kNoMemory = -12;
inline constexpr std::int32_t kAccess = -13;
inline constexpr std::int32_t kBusy = -16;
inline constexpr std::int32_t kNoDevice = -19;
inline constexpr std::int32_t kInvalid = -22;
inline constexpr std::int32_t kPipe = -32;
inline constexpr std::int32_t kNotSupported = -40;
inline constexpr std::int32_t kTimedOut = -116;
} // namespace usb_error

// The most one transfer carries, well inside a frame.
inline constexpr std::size_t kMaxUsbTransfer = 1u << 20;

// An imported function of the DLL, for the import check.
struct Import
{
    std::string dll;
    std::string function; // "#N" for an import by ordinal
};

class ProtocolError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Each encoder returns a whole frame, length included. Throws ProtocolError
// when the message would exceed kMaxFrame or does not fit its signature.
std::string encodeCall(const Call &call);
std::string encodeAnswer(const Answer &answer);
std::string encodeHello(const Hello &hello);
std::string encodeProbe(const std::vector<Import> &imports);
std::string encodeProbed(const std::vector<bool> &resolved);
std::string encodeDevices();
std::string encodeDeviceList(const DeviceList &devices);
std::string encodeWindows(bool shown);
std::string encodeUsb(const UsbRequest &request);
std::string encodeUsbAnswer(const UsbAnswer &answer);

// The payload length from a frame's first kFrameHeader bytes; throws
// ProtocolError above kMaxFrame.
std::size_t frameLength(std::string_view header);

// Each decoder takes a frame's payload (without its length).
Call decodeCall(std::string_view payload);
// `function` says which output capacity the answer may carry.
Answer decodeAnswer(std::string_view payload, Function function);
Hello decodeHello(std::string_view payload);
std::vector<Import> decodeProbe(std::string_view payload);
std::vector<bool> decodeProbed(std::string_view payload, std::size_t expected);
DeviceList decodeDeviceList(std::string_view payload);
// Whether a window of the DLL shows.
bool decodeWindows(std::string_view payload);
UsbRequest decodeUsb(std::string_view payload);
UsbAnswer decodeUsbAnswer(std::string_view payload);
bool isUsb(std::string_view payload);
bool isUsbAnswer(std::string_view payload);

// Whether a payload from the helper is a Windows report, which may come
// before any Hello or Answer.
bool isWindows(std::string_view payload);

// Whether a payload is a Hello at all (its content may still be wrong):
// what else comes first from a helper is Wine saying it could not start it.
bool isHello(std::string_view payload);

// What the helper reads first: is this payload a Call, a Probe or Devices?
enum class Request
{
    Call,
    Probe,
    Devices,
};
Request requestKind(std::string_view payload);

// Copies what arrived into the caller's buffer of `capacity` bytes: never
// more than the capacity, and always ending in a NUL inside it. Bytes the
// answer does not reach stay as they were.
void copyOutput(char *buffer, std::size_t capacity, std::string_view received);

} // namespace kelrin::bridge
