#include "protocol.h"

#include "kelrin.h"

#include <algorithm>
#include <cstring>

namespace kelrin::bridge {

namespace {

enum class Tag : std::uint8_t
{
    Hello = 0x48,      // 'H'
    Call = 0x43,       // 'C'
    Answer = 0x41,     // 'A'
    Probe = 0x50,      // 'P'
    Probed = 0x52,     // 'R'
    Devices = 0x44,    // 'D'
    DeviceList = 0x4C, // 'L'
    Windows = 0x57,    // 'W'
    Usb = 0x55,        // 'U'
    UsbAnswer = 0x75,  // 'u'
};

using K = Kind;

const std::array<Signature, kFunctionCount> &signatures()
{
    static const std::array<Signature, kFunctionCount> table{{
        {"initializeUSB", {K::Byte}, 0},
        {"CloseUSB", {K::Byte}, 0},
        {"Buzzer", {K::Byte, K::Int}, 0},
        {"ReadCard", {K::Byte, K::Output}, KELRIN_CARD_HEX_SIZE},
        {"GuestCard",
         {K::Byte, K::Int, K::Int, K::Int, K::Byte, K::Byte, K::Text, K::Text, K::Text, K::Output},
         KELRIN_CARD_HEX_SIZE},
        {"LimitCard",
         {K::Byte, K::Int, K::Int, K::Int, K::Text, K::FourBytes, K::Output},
         KELRIN_CARD_HEX_SIZE},
        {"CardErase", {K::Byte, K::Int, K::Output}, KELRIN_CARD_HEX_SIZE},
        {"GetCardTypeByCardDataStr", {K::Text, K::Output}, KELRIN_FIELD_SIZE},
        {"GetGuestLockNoByCardDataStr", {K::Int, K::Text, K::Output}, KELRIN_FIELD_SIZE},
        {"GetGuestETimeByCardDataStr", {K::Int, K::Text, K::Output}, KELRIN_FIELD_SIZE},
        {"ReadRecord", {K::Byte, K::Output}, KELRIN_RECORD_TEXT_SIZE},
        {"GetOpenRecordByDataStr", {K::Text, K::Output}, KELRIN_FIELD_SIZE},
        {"GetDLLVersion", {K::Output}, KELRIN_VERSION_SIZE},
    }};
    return table;
}

class Writer
{
public:
    explicit Writer(Tag tag) : m_bytes(kFrameHeader, '\0') { byte(static_cast<std::uint8_t>(tag)); }

    void byte(std::uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }
    void u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            byte(static_cast<std::uint8_t>(value >> shift));
    }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void bytes(std::string_view value)
    {
        if (value.size() > kMaxFrame)
            throw ProtocolError("a text or buffer too long for a frame");
        u32(static_cast<std::uint32_t>(value.size()));
        m_bytes.append(value);
    }

    // The frame, its length filled in.
    std::string finish()
    {
        const std::size_t length = m_bytes.size() - kFrameHeader;
        if (length > kMaxFrame)
            throw ProtocolError("message longer than a frame");
        for (std::size_t i = 0; i < kFrameHeader; ++i)
            m_bytes[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
        return std::move(m_bytes);
    }

private:
    std::string m_bytes;
};

class Reader
{
public:
    Reader(std::string_view payload, Tag expected) : m_rest(payload)
    {
        if (byte() != static_cast<std::uint8_t>(expected))
            throw ProtocolError("unexpected kind of message");
    }

    std::uint8_t byte()
    {
        need(1);
        const auto value = static_cast<std::uint8_t>(m_rest.front());
        m_rest.remove_prefix(1);
        return value;
    }
    std::uint32_t u32()
    {
        need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= std::uint32_t(static_cast<std::uint8_t>(m_rest[i])) << (8 * i);
        m_rest.remove_prefix(4);
        return value;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::string bytes()
    {
        const std::uint32_t length = u32();
        need(length);
        std::string value(m_rest.substr(0, length));
        m_rest.remove_prefix(length);
        return value;
    }
    bool flag()
    {
        const std::uint8_t value = byte();
        if (value > 1)
            throw ProtocolError("a flag that is neither 0 nor 1");
        return value == 1;
    }
    void end() const
    {
        if (!m_rest.empty())
            throw ProtocolError("bytes after the end of a message");
    }

private:
    void need(std::size_t count) const
    {
        if (m_rest.size() < count)
            throw ProtocolError("message cut short");
    }
    std::string_view m_rest;
};

void writeArgument(Writer &out, const Argument &arg, Kind kind, std::size_t capacity)
{
    if (arg.kind != kind)
        throw ProtocolError("an argument of the wrong kind");
    switch (kind) {
    case Kind::Byte:
        out.byte(static_cast<std::uint8_t>(arg.number));
        return;
    case Kind::Int:
        out.i32(arg.number);
        return;
    case Kind::Text:
    case Kind::FourBytes:
    case Kind::Output:
        out.byte(arg.null ? 0 : 1);
        if (arg.null)
            return;
        if (kind == Kind::Text && arg.bytes.find('\0') != std::string::npos)
            throw ProtocolError("a text with a NUL inside");
        if ((kind == Kind::FourBytes && arg.bytes.size() != 4) ||
            (kind == Kind::Output && arg.bytes.size() != capacity))
            throw ProtocolError("a buffer of the wrong size");
        out.bytes(arg.bytes);
        return;
    }
}

Argument readArgument(Reader &in, Kind kind, std::size_t capacity)
{
    Argument arg;
    arg.kind = kind;
    switch (kind) {
    case Kind::Byte:
        arg.number = in.byte();
        return arg;
    case Kind::Int:
        arg.number = in.i32();
        return arg;
    case Kind::Text:
    case Kind::FourBytes:
    case Kind::Output:
        arg.null = !in.flag();
        if (arg.null)
            return arg;
        arg.bytes = in.bytes();
        if ((kind == Kind::Text && arg.bytes.find('\0') != std::string::npos) ||
            (kind == Kind::FourBytes && arg.bytes.size() != 4) ||
            (kind == Kind::Output && arg.bytes.size() != capacity))
            throw ProtocolError("an argument that does not fit its kind");
        return arg;
    }
    throw ProtocolError("an unknown kind of argument");
}

Function functionFrom(std::uint8_t number)
{
    if (number >= kFunctionCount)
        throw ProtocolError("no function with number " + std::to_string(number));
    return static_cast<Function>(number);
}

} // namespace

const Signature &signature(Function function)
{
    return signatures().at(static_cast<std::size_t>(function));
}

std::optional<Function> functionNamed(std::string_view name)
{
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        if (signatures()[i].name == name)
            return static_cast<Function>(i);
    }
    return std::nullopt;
}

std::vector<std::string> exportNames(Function function)
{
    const Signature &s = signature(function);
    const std::string decorated = std::string(s.name) + "@" + std::to_string(s.stackBytes());
    return {s.name, decorated, "_" + decorated};
}

std::string encodeCall(const Call &call)
{
    const Signature &s = signature(call.function);
    if (call.args.size() != s.args.size())
        throw ProtocolError(std::string("wrong number of arguments for ") + s.name);
    Writer out(Tag::Call);
    out.byte(static_cast<std::uint8_t>(call.function));
    for (std::size_t i = 0; i < s.args.size(); ++i)
        writeArgument(out, call.args[i], s.args[i], s.outputCapacity);
    return out.finish();
}

Call decodeCall(std::string_view payload)
{
    Reader in(payload, Tag::Call);
    Call call;
    call.function = functionFrom(in.byte());
    const Signature &s = signature(call.function);
    for (const Kind kind : s.args)
        call.args.push_back(readArgument(in, kind, s.outputCapacity));
    in.end();
    return call;
}

std::string encodeAnswer(const Answer &answer)
{
    Writer out(Tag::Answer);
    out.i32(answer.result);
    out.byte(answer.hasOutput ? 1 : 0);
    if (answer.hasOutput)
        out.bytes(answer.output);
    return out.finish();
}

Answer decodeAnswer(std::string_view payload, Function function)
{
    Reader in(payload, Tag::Answer);
    Answer answer;
    answer.result = in.i32();
    answer.hasOutput = in.flag();
    if (answer.hasOutput) {
        if (signature(function).outputCapacity == 0)
            throw ProtocolError("an output from a function that has none");
        // Whatever its length: copyOutput bounds it.
        answer.output = in.bytes();
    }
    in.end();
    return answer;
}

std::string encodeHello(const Hello &hello)
{
    Writer out(Tag::Hello);
    out.u32(hello.version);
    out.byte(static_cast<std::uint8_t>(hello.bits));
    out.i32(hello.load);
    out.u32(hello.loadError);
    for (const std::string &name : hello.resolved)
        out.bytes(name);
    out.u32(hello.ansiCodePage);
    out.u32(hello.oemCodePage);
    return out.finish();
}

Hello decodeHello(std::string_view payload)
{
    Reader in(payload, Tag::Hello);
    Hello hello;
    hello.version = in.u32();
    if (hello.version != kProtocolVersion)
        throw ProtocolError("the helper speaks protocol version " + std::to_string(hello.version));
    hello.bits = in.byte();
    if (hello.bits != 32 && hello.bits != 64)
        throw ProtocolError("a helper of neither 32 nor 64 bits");
    hello.load = in.i32();
    hello.loadError = in.u32();
    for (std::string &name : hello.resolved)
        name = in.bytes();
    hello.ansiCodePage = in.u32();
    hello.oemCodePage = in.u32();
    in.end();
    return hello;
}

std::string encodeProbe(const std::vector<Import> &imports)
{
    Writer out(Tag::Probe);
    out.u32(static_cast<std::uint32_t>(imports.size()));
    for (const Import &import : imports) {
        out.bytes(import.dll);
        out.bytes(import.function);
    }
    return out.finish();
}

std::vector<Import> decodeProbe(std::string_view payload)
{
    Reader in(payload, Tag::Probe);
    const std::uint32_t count = in.u32();
    // Each entry takes at least 8 bytes: a bound before anything is reserved.
    if (count > payload.size() / 8)
        throw ProtocolError("more imports than the message holds");
    std::vector<Import> imports(count);
    for (Import &import : imports) {
        import.dll = in.bytes();
        import.function = in.bytes();
    }
    in.end();
    return imports;
}

std::string encodeProbed(const std::vector<bool> &resolved)
{
    Writer out(Tag::Probed);
    out.u32(static_cast<std::uint32_t>(resolved.size()));
    for (const bool ok : resolved)
        out.byte(ok ? 1 : 0);
    return out.finish();
}

std::vector<bool> decodeProbed(std::string_view payload, std::size_t expected)
{
    Reader in(payload, Tag::Probed);
    if (in.u32() != expected)
        throw ProtocolError("an answer for another number of imports");
    std::vector<bool> resolved;
    for (std::size_t i = 0; i < expected; ++i)
        resolved.push_back(in.flag());
    in.end();
    return resolved;
}

std::string encodeDevices()
{
    return Writer(Tag::Devices).finish();
}

std::string encodeDeviceList(const DeviceList &devices)
{
    Writer out(Tag::DeviceList);
    out.u32(static_cast<std::uint32_t>(devices.hid.size()));
    for (const HidDevice &device : devices.hid) {
        out.u32(device.vendor | std::uint32_t(device.product) << 16);
        out.u32(device.usagePage | std::uint32_t(device.usage) << 16);
        out.bytes(device.name);
        out.bytes(device.path);
    }
    out.u32(static_cast<std::uint32_t>(devices.comPorts.size()));
    for (const std::string &port : devices.comPorts)
        out.bytes(port);
    out.u32(static_cast<std::uint32_t>(devices.busSettings.size()));
    for (const auto &[name, value] : devices.busSettings) {
        out.bytes(name);
        out.u32(value);
    }
    out.u32(static_cast<std::uint32_t>(devices.listedPorts.size()));
    for (const ListedPort &port : devices.listedPorts) {
        out.bytes(port.friendlyName);
        out.bytes(port.hardwareId);
        out.bytes(port.portName);
    }
    return out.finish();
}

DeviceList decodeDeviceList(std::string_view payload)
{
    Reader in(payload, Tag::DeviceList);
    DeviceList devices;
    // A device takes at least 16 bytes, a port 4: bounds before anything is reserved.
    const std::uint32_t hidCount = in.u32();
    if (hidCount > payload.size() / 16)
        throw ProtocolError("more devices than the message holds");
    devices.hid.resize(hidCount);
    for (HidDevice &device : devices.hid) {
        const std::uint32_t ids = in.u32(), usage = in.u32();
        device.vendor = static_cast<std::uint16_t>(ids);
        device.product = static_cast<std::uint16_t>(ids >> 16);
        device.usagePage = static_cast<std::uint16_t>(usage);
        device.usage = static_cast<std::uint16_t>(usage >> 16);
        device.name = in.bytes();
        device.path = in.bytes();
    }
    const std::uint32_t portCount = in.u32();
    if (portCount > payload.size() / 4)
        throw ProtocolError("more ports than the message holds");
    devices.comPorts.resize(portCount);
    for (std::string &port : devices.comPorts)
        port = in.bytes();
    const std::uint32_t settingCount = in.u32();
    if (settingCount > payload.size() / 8)
        throw ProtocolError("more settings than the message holds");
    devices.busSettings.resize(settingCount);
    for (auto &[name, value] : devices.busSettings) {
        name = in.bytes();
        value = in.u32();
    }
    // A listed port takes at least 12 bytes.
    const std::uint32_t listedCount = in.u32();
    if (listedCount > payload.size() / 12)
        throw ProtocolError("more listed ports than the message holds");
    devices.listedPorts.resize(listedCount);
    for (ListedPort &port : devices.listedPorts) {
        port.friendlyName = in.bytes();
        port.hardwareId = in.bytes();
        port.portName = in.bytes();
    }
    in.end();
    return devices;
}

std::string encodeWindows(bool shown)
{
    Writer out(Tag::Windows);
    out.byte(shown ? 1 : 0);
    return out.finish();
}

bool decodeWindows(std::string_view payload)
{
    Reader in(payload, Tag::Windows);
    const bool shown = in.flag();
    in.end();
    return shown;
}

std::string encodeUsb(const UsbRequest &request)
{
    if (request.data.size() > kMaxUsbTransfer || request.length > kMaxUsbTransfer)
        throw ProtocolError("a USB transfer larger than allowed");
    Writer out(Tag::Usb);
    out.byte(static_cast<std::uint8_t>(request.op));
    out.u32(request.handle);
    for (const std::int32_t arg : request.args)
        out.i32(arg);
    out.bytes(request.data);
    out.u32(request.length);
    out.u32(request.timeout);
    return out.finish();
}

UsbRequest decodeUsb(std::string_view payload)
{
    Reader in(payload, Tag::Usb);
    UsbRequest request;
    const std::uint8_t op = in.byte();
    if (op > kLastUsbOp)
        throw ProtocolError("an unknown USB request");
    request.op = static_cast<UsbOp>(op);
    request.handle = in.u32();
    for (std::int32_t &arg : request.args)
        arg = in.i32();
    request.data = in.bytes();
    request.length = in.u32();
    request.timeout = in.u32();
    in.end();
    if (request.data.size() > kMaxUsbTransfer || request.length > kMaxUsbTransfer)
        throw ProtocolError("a USB transfer larger than allowed");
    return request;
}

std::string encodeUsbAnswer(const UsbAnswer &answer)
{
    Writer out(Tag::UsbAnswer);
    out.i32(answer.result);
    out.bytes(answer.data);
    out.u32(static_cast<std::uint32_t>(answer.devices.size()));
    for (const UsbDevice &device : answer.devices) {
        out.byte(device.bus);
        out.byte(device.address);
        out.bytes(device.descriptors);
    }
    return out.finish();
}

UsbAnswer decodeUsbAnswer(std::string_view payload)
{
    Reader in(payload, Tag::UsbAnswer);
    UsbAnswer answer;
    answer.result = in.i32();
    answer.data = in.bytes();
    const std::uint32_t count = in.u32();
    // Each device takes at least 6 bytes: no count can ask for more.
    if (count > payload.size() / 6)
        throw ProtocolError("more devices than the message holds");
    for (std::uint32_t i = 0; i < count; ++i) {
        UsbDevice device;
        device.bus = in.byte();
        device.address = in.byte();
        device.descriptors = in.bytes();
        answer.devices.push_back(std::move(device));
    }
    in.end();
    return answer;
}

bool isUsb(std::string_view payload)
{
    return !payload.empty() && payload.front() == static_cast<char>(Tag::Usb);
}

bool isUsbAnswer(std::string_view payload)
{
    return !payload.empty() && payload.front() == static_cast<char>(Tag::UsbAnswer);
}

bool isWindows(std::string_view payload)
{
    return !payload.empty() && payload.front() == static_cast<char>(Tag::Windows);
}

bool isHello(std::string_view payload)
{
    return !payload.empty() && payload.front() == static_cast<char>(Tag::Hello);
}

Request requestKind(std::string_view payload)
{
    if (!payload.empty() && payload.front() == static_cast<char>(Tag::Call))
        return Request::Call;
    if (!payload.empty() && payload.front() == static_cast<char>(Tag::Probe))
        return Request::Probe;
    if (payload.size() == 1 && payload.front() == static_cast<char>(Tag::Devices))
        return Request::Devices;
    throw ProtocolError("neither a call, a probe nor a question for the devices");
}

std::size_t frameLength(std::string_view header)
{
    if (header.size() != kFrameHeader)
        throw ProtocolError("a frame header of the wrong size");
    std::size_t length = 0;
    for (std::size_t i = 0; i < kFrameHeader; ++i)
        length |= std::size_t(static_cast<std::uint8_t>(header[i])) << (8 * i);
    if (length > kMaxFrame)
        throw ProtocolError("a frame longer than allowed");
    return length;
}

void copyOutput(char *buffer, std::size_t capacity, std::string_view received)
{
    if (!buffer || capacity == 0)
        return;
    const std::size_t count = std::min(capacity, received.size());
    std::memcpy(buffer, received.data(), count);
    if (std::memchr(buffer, '\0', capacity) == nullptr)
        buffer[capacity - 1] = '\0';
}

} // namespace kelrin::bridge
