#include "bridge.h"

#include "bridgelog.h"
#include "files.h"
#include "helper_environment.h"
#include "kelrin.h"
#include "prefix/lock.h"
#include "usb_host.h"
#include "windowclock.h"

#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

// What a trace asks of Wine: the HID stack, serial ports, the device
// manager that maps them, device enumeration, and which DLLs load.
constexpr const char *kTraceChannels = "WINEDEBUG=+hid,+comm,+mountmgr,+setupapi,+loaddll";

// What a failed start has to say beyond its code.
constexpr std::chrono::milliseconds kUsbReserve{250};

std::string problemOf(const StartReport &found)
{
    if (found.prefixState && found.prefixState->outcome == PrefixOutcome::Failed)
        return found.prefixState->problem;
    return {};
}

} // namespace

Places standardPlaces(const fs::path &programFolder, const fs::path &bridgeFolder)
{
    return {programFolder, bridgeFolder, {bridgeFolder, kPackagedBridgeFolder}};
}

struct Bridge::Session
{
    std::unique_ptr<Child> child;
    Hello hello;
    std::unique_ptr<UsbHost> usb; // from the supplied libusb0.dll's first request
};

Argument byteArg(std::uint8_t value)
{
    return {Kind::Byte, value, false, {}};
}

Argument intArg(std::int32_t value)
{
    return {Kind::Int, value, false, {}};
}

Argument textArg(const char *text)
{
    return text ? Argument{Kind::Text, 0, false, text} : Argument{Kind::Text, 0, true, {}};
}

Argument fourBytesArg(const std::uint8_t *bytes)
{
    return bytes ? Argument{Kind::FourBytes, 0, false,
                            std::string(reinterpret_cast<const char *>(bytes), 4)}
                 : Argument{Kind::FourBytes, 0, true, {}};
}

Bridge::Bridge(Environment env, Places places) : m_env(std::move(env)), m_places(std::move(places))
{}

Bridge::~Bridge() = default;

void Bridge::traceTo(const fs::path &file)
{
    const std::lock_guard lock(m_mutex);
    m_trace = file;
}

void Bridge::stop()
{
    const std::lock_guard lock(m_mutex);
    m_session.reset();
}

int Bridge::helperPid() const
{
    const std::lock_guard lock(m_mutex);
    return m_session ? m_session->child->pid() : -1;
}

Bridge::Exchange Bridge::exchange(const std::string &request, std::string &reply, Deadline deadline)
{
    Child &child = *m_session->child;
    const auto outcome = [](Child::Outcome o) {
        return o == Child::Outcome::Ended ? Exchange::Ended : Exchange::TimedOut;
    };
    if (!request.empty()) {
        if (const auto sent = child.send(request, deadline); sent != Child::Outcome::Done)
            return outcome(sent);
    }
    // While a window of the DLL shows, the call waits for the clerk, as on
    // Windows: the time limit stands still until no such window shows.
    WindowClock clock(deadline);
    for (;;) {
        char header[kFrameHeader];
        if (const auto got = child.receive(header, sizeof header, clock.deadline());
            got != Child::Outcome::Done)
            return outcome(got);
        try {
            reply.resize(frameLength(std::string_view(header, sizeof header)));
        } catch (const ProtocolError &) {
            return Exchange::Protocol;
        }
        if (const auto got = child.receive(reply.data(), reply.size(), clock.deadline());
            got != Child::Outcome::Done)
            return outcome(got);
        if (isUsb(reply)) {
            const std::optional<std::string> answer = usbAnswer(reply, clock.deadline());
            if (!answer)
                return Exchange::Protocol;
            if (const auto sent = child.send(*answer, clock.deadline());
                sent != Child::Outcome::Done)
                return outcome(sent);
            continue;
        }
        if (!isWindows(reply))
            return Exchange::Done;
        try {
            clock.shown(decodeWindows(reply), Clock::now());
        } catch (const ProtocolError &) {
            return Exchange::Protocol;
        }
    }
}

std::optional<std::string> Bridge::usbAnswer(std::string_view payload, Deadline deadline)
{
    UsbRequest request;
    try {
        request = decodeUsb(payload);
    } catch (const ProtocolError &) {
        return std::nullopt;
    }
    if (!m_session->usb)
        m_session->usb = std::make_unique<UsbHost>();
    // A transfer ends a little before the call must: the DLL then hears of
    // the time-out and answers its own code, and the helper lives on.
    const Deadline transferEnd = deadline == Deadline::max() ? deadline : deadline - kUsbReserve;
    return encodeUsbAnswer(m_session->usb->serve(request, transferEnd));
}

std::int32_t Bridge::failed(Exchange outcome)
{
    // The stream is out of step or the helper is gone: it is ended now, and
    // the next call starts another.
    m_session.reset();
    switch (outcome) {
    case Exchange::Ended:
        return KELRIN_BRIDGE_HELPER_ENDED;
    case Exchange::TimedOut:
        return KELRIN_BRIDGE_TIMEOUT;
    case Exchange::Protocol:
    case Exchange::Done:
        break;
    }
    return KELRIN_BRIDGE_PROTOCOL;
}

bool Bridge::wineRuns64(const StartReport &found, Deadline deadline)
{
    const fs::path helper64 = helperPath(m_places.bridgeFolder, 64);
    try {
        Child probe({*found.wine,
                     {helper64.string(), "--no-dll"},
                     environmentWith(wineDropped(), wineSettings(*found.prefix)),
                     true,
                     true});
        char header[kFrameHeader];
        return probe.receive(header, sizeof header, deadline) == Child::Outcome::Done;
    } catch (const std::system_error &) {
        return false;
    }
}

PrefixState Bridge::readyPrefix(const StartReport &found, Deadline deadline,
                                void (*note)(const char *))
{
    if (prefixReady(*found.prefix))
        return {PrefixOutcome::Ready, {}};
    if (m_prepareHere)
        return prepareHere(*found.prefix, *found.wine, note);
    // Not bounded by this call: the preparation goes on apart, and a later
    // call finds the prefix ready.
    return awaitPrefix(*found.prefix, *found.wine, findPreparer(m_places.preparerPlaces, m_env),
                       deadline);
}

std::int32_t Bridge::startSession(Deadline deadline, StartReport &found, void (*note)(const char *))
{
    m_session.reset();
    found.wine = findWine(m_env);
    if (!found.wine)
        return KELRIN_BRIDGE_NO_WINE;
    found.dll = findDll(m_places.programFolder);
    if (!found.dll)
        return KELRIN_BRIDGE_NO_DLL;
    found.machine = peMachine(readFile(*found.dll, kPeHeaderBytes).value_or(""));
    if (!found.machine)
        return KELRIN_BRIDGE_NOT_PE;
    found.helper = helperPath(m_places.bridgeFolder, bitsOf(*found.machine));
    std::error_code error;
    if (!fs::is_regular_file(found.helper, error))
        return KELRIN_BRIDGE_NO_HELPER;
    found.prefix = prefixPath(m_env);
    if (!found.prefix)
        return KELRIN_BRIDGE_PREFIX;
    found.prefixState = readyPrefix(found, deadline, note);
    if (found.prefixState->outcome == PrefixOutcome::Preparing ||
        found.prefixState->outcome == PrefixOutcome::Failed)
        return KELRIN_BRIDGE_PREFIX;

    // Until this helper has answered, no other bridge restarts the prefix's
    // Wine under it.
    const FileLock lock(startLockPath(*found.prefix), deadline);
    found.settings = applyEncoderSettings(*found.prefix, wineserverFor(*found.wine), m_env,
                                          deadline, m_places.sysfs);
    Child::Spec spec = helperSpec(*found.wine, found.helper, *found.dll, *found.prefix);
    if (!m_trace.empty()) {
        for (std::string &setting : spec.environment) {
            if (setting.starts_with("WINEDEBUG="))
                setting = kTraceChannels;
        }
    }
    // Wine's own messages go beside the bridge's lines in the log, unless
    // a trace takes them.
    fs::path errorFile = m_trace;
    if (const auto log = m_env(kLogSetting); errorFile.empty() && log && !log->empty())
        errorFile = *log;
    auto session = std::make_unique<Session>();
    try {
        session->child = std::make_unique<Child>(spec, helperFolder(*found.dll), errorFile);
    } catch (const std::system_error &) {
        return KELRIN_BRIDGE_HELPER_START;
    }
    m_session = std::move(session);
    std::string payload;
    const Exchange greeting = exchange({}, payload, deadline);
    if (greeting == Exchange::TimedOut) {
        m_session.reset();
        return KELRIN_BRIDGE_TIMEOUT;
    }
    if (greeting != Exchange::Done || !isHello(payload)) {
        // Not the helper speaking: Wine could not start it, and may have
        // said so on its output. A 32-bit helper that Wine cannot start
        // where it starts a 64-bit one means no 32-bit Wine.
        m_session.reset();
        if (found.machine == Machine::I386 && wineRuns64(found, deadline))
            return KELRIN_BRIDGE_NO_WINE32;
        return KELRIN_BRIDGE_HELPER_START;
    }
    try {
        m_session->hello = decodeHello(payload);
    } catch (const ProtocolError &) {
        m_session.reset();
        return KELRIN_BRIDGE_PROTOCOL;
    }
    if (m_session->hello.bits != bitsOf(*found.machine)) {
        m_session.reset();
        return KELRIN_BRIDGE_PROTOCOL;
    }
    found.hello = m_session->hello;
    if (const auto log = m_env(kLogSetting); log && !log->empty())
        logLine(m_env, "helper started: process " + std::to_string(m_session->child->pid()) + ", " +
                           found.helper.filename().string() + " for " + found.dll->string() + " (" +
                           std::to_string(found.hello->bits) + "-bit), Wine " +
                           found.wine->string() + " (" +
                           wineVersion(*found.wine).value_or("version unknown") + "), prefix " +
                           found.prefix->string());
    return m_session->hello.load;
}

StartReport Bridge::start(std::chrono::milliseconds limit, void (*note)(const char *))
{
    const std::lock_guard lock(m_mutex);
    StartReport found;
    found.result = startSession(Clock::now() + limit, found, note);
    if (kelrin_bridge_result_entry(found.result))
        logLine(m_env, failureText("start", found.result, problemOf(found)));
    return found;
}

std::optional<std::vector<bool>> Bridge::probe(const std::vector<Import> &imports)
{
    const std::lock_guard lock(m_mutex);
    if (!m_session)
        return std::nullopt;
    std::string reply;
    if (const Exchange outcome =
            exchange(encodeProbe(imports), reply, Clock::now() + timeLimit(m_env));
        outcome != Exchange::Done) {
        failed(outcome);
        return std::nullopt;
    }
    try {
        return decodeProbed(reply, imports.size());
    } catch (const ProtocolError &) {
        failed(Exchange::Protocol);
        return std::nullopt;
    }
}

std::optional<DeviceList> Bridge::devices()
{
    const std::lock_guard lock(m_mutex);
    if (!m_session)
        return std::nullopt;
    std::string reply;
    if (const Exchange outcome = exchange(encodeDevices(), reply, Clock::now() + timeLimit(m_env));
        outcome != Exchange::Done) {
        failed(outcome);
        return std::nullopt;
    }
    try {
        return decodeDeviceList(reply);
    } catch (const ProtocolError &) {
        failed(Exchange::Protocol);
        return std::nullopt;
    }
}

std::int32_t Bridge::callLocked(Function function, std::vector<Argument> &args, char *output,
                                Deadline deadline, bool &answered)
{
    if (!m_session) {
        StartReport found;
        if (const std::int32_t started = startSession(deadline, found, nullptr);
            started != KELRIN_OK && !m_session) {
            m_startProblem = problemOf(found);
            return started;
        }
        // A new helper after one that ended: the port open again, as the
        // station left it.
        if (m_openPort && function != Function::initializeUSB && m_session->hello.load == 0 &&
            !m_session->hello.resolved[static_cast<std::size_t>(Function::initializeUSB)].empty()) {
            std::vector<Argument> reopen{byteArg(*m_openPort)};
            std::string reply;
            if (const Exchange outcome =
                    exchange(encodeCall({Function::initializeUSB, reopen}), reply, deadline);
                outcome != Exchange::Done)
                return failed(outcome);
        }
    }
    if (m_session->hello.load != KELRIN_OK)
        return m_session->hello.load;
    if (m_session->hello.resolved[static_cast<std::size_t>(function)].empty())
        return KELRIN_BRIDGE_NO_FUNCTION;

    std::string request, reply;
    try {
        request = encodeCall({function, args});
    } catch (const ProtocolError &) {
        // Arguments too large for a frame never reach the helper.
        return KELRIN_ERROR_INTERNAL;
    }
    if (const Exchange outcome = exchange(request, reply, deadline); outcome != Exchange::Done)
        return failed(outcome);
    Answer answer;
    try {
        answer = decodeAnswer(reply, function);
    } catch (const ProtocolError &) {
        return failed(Exchange::Protocol);
    }
    if (output && !answer.hasOutput)
        return failed(Exchange::Protocol);
    if (output)
        copyOutput(output, signature(function).outputCapacity, answer.output);
    if (function == Function::initializeUSB && answer.result == KELRIN_OK)
        m_openPort = static_cast<std::uint8_t>(args[0].number);
    if (function == Function::CloseUSB && answer.result == KELRIN_OK)
        m_openPort.reset();
    answered = true;
    return answer.result;
}

std::int32_t Bridge::call(Function function, std::vector<Argument> inputs, char *output)
{
    const Signature &s = signature(function);
    if (s.outputCapacity == 0)
        output = nullptr; // the function has none, whatever the caller passed
    if (s.outputCapacity > 0) {
        Argument out{Kind::Output, 0, output == nullptr, {}};
        if (output)
            out.bytes.assign(output, s.outputCapacity);
        inputs.push_back(std::move(out));
    }
    const std::lock_guard lock(m_mutex);
    bool answered = false;
    const std::int32_t result =
        callLocked(function, inputs, output, Clock::now() + timeLimit(m_env), answered);
    if (!answered && output)
        output[0] = '\0';
    if (!answered && kelrin_bridge_result_entry(result))
        logLine(m_env, failureText(s.name, result, m_startProblem));
    m_startProblem.clear();
    return result;
}

} // namespace kelrin::bridge
