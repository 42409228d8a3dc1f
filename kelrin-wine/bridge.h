#pragma once
// The bridge: the thirteen calls of kelrin.h forwarded to the helper that
// runs the maker's DLL under Wine. The helper is started at the first call
// and kept for the run; one that ended (a crash in the DLL) or was ended
// (no answer within the time limit) is replaced at the next call, which
// first opens the port again if it was open. Every failure on the way is
// one of the bridge's own result codes (kelrin_result.h); after one, the
// call's output buffer holds the empty string.
#include "locate.h"
#include "pe.h"
#include "prefix/encoder_settings.h"
#include "prefix/preparation.h"
#include "protocol.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kelrin::bridge {

// Where the bridge looks: the DLL beside the program, the helpers beside
// the bridge library, kelrin-bridge (which prepares a missing prefix apart
// from the call) in the first of `preparerPlaces` that has it, else on the
// PATH, else the library prepares in a thread of its own; the serial
// adapters' USB devices in `sysfs`.
struct Places
{
    std::filesystem::path programFolder;
    std::filesystem::path bridgeFolder;
    std::vector<std::filesystem::path> preparerPlaces;
    std::filesystem::path sysfs = "/sys";
};
// The bridge's own folder, then where the package puts kelrin-bridge.
Places standardPlaces(const std::filesystem::path &programFolder,
                      const std::filesystem::path &bridgeFolder);

// What a start of the helper found and did, for whoever must debug a station.
struct StartReport
{
    std::optional<std::filesystem::path> wine;
    std::optional<std::filesystem::path> dll;
    std::optional<Machine> machine;
    std::filesystem::path helper;
    std::optional<std::filesystem::path> prefix;
    std::optional<PrefixState> prefixState;
    std::optional<SettingsReport> settings; // the prefix's settings, before the helper started
    std::optional<Hello> hello;
    std::int32_t result = 0; // 0 when the helper runs with the DLL loaded
};

// Arguments as the calls take them; the output buffer, always the last
// parameter, travels apart.
Argument byteArg(std::uint8_t value);
Argument intArg(std::int32_t value);
Argument textArg(const char *text);
Argument fourBytesArg(const std::uint8_t *bytes);

class Bridge
{
public:
    Bridge(Environment env, Places places);
    ~Bridge();
    Bridge(const Bridge &) = delete;
    Bridge &operator=(const Bridge &) = delete;

    // One call of kelrin.h: `inputs` are its parameters but the output
    // buffer, `output` that buffer (of the function's capacity) or null.
    std::int32_t call(Function function, std::vector<Argument> inputs, char *output);

    // Starts a helper afresh (ending one that runs), with `limit` for the
    // whole start. A prefix that is not ready is prepared apart, as for a
    // call (-9008 until it is ready), or here with its own limit after
    // prepareInForeground(); `note` hears of that before it starts.
    StartReport start(std::chrono::milliseconds limit, void (*note)(const char *) = nullptr);
    // Asks the running helper which of `imports` resolve; nothing when no
    // helper runs or it does not answer.
    std::optional<std::vector<bool>> probe(const std::vector<Import> &imports);
    // Asks the running helper which devices Windows shows it; nothing when
    // no helper runs or it does not answer.
    std::optional<DeviceList> devices();

    // The helper's process, while one runs (for the tests: -1 otherwise).
    int helperPid() const;

    // From the next start on, Wine's device and loader channels are traced
    // into `file` (appended) by the helper and all that Wine starts for it;
    // an empty path ends that. Wine's services trace only when this start
    // starts them: the caller restarts the prefix's server first.
    void traceTo(const std::filesystem::path &file);
    // Ends the helper, as a failed call would.
    void stop();
    // A missing prefix is prepared in this process, waited for to its end
    // (kelrin-bridge check), rather than in one of its own beside the call.
    void prepareInForeground() { m_prepareHere = true; }

private:
    struct Session;
    enum class Exchange
    {
        Done,
        Ended,
        TimedOut,
        Protocol,
    };

    std::int32_t startSession(Deadline deadline, StartReport &found, void (*note)(const char *));
    PrefixState readyPrefix(const StartReport &found, Deadline deadline,
                            void (*note)(const char *));
    bool wineRuns64(const StartReport &found, Deadline deadline);
    Exchange exchange(const std::string &request, std::string &reply, Deadline deadline);
    // The answer to a request of the supplied libusb0.dll, carried out within
    // `deadline`; nothing when the request cannot be read.
    std::optional<std::string> usbAnswer(std::string_view payload, Deadline deadline);
    std::int32_t failed(Exchange outcome);
    // `answered` says whether the result is the DLL's rather than the bridge's.
    std::int32_t callLocked(Function function, std::vector<Argument> &args, char *output,
                            Deadline deadline, bool &answered);

    Environment m_env;
    Places m_places;
    mutable std::mutex m_mutex;
    std::unique_ptr<Session> m_session;
    std::optional<std::uint8_t> m_openPort; // the encoder type of a port left open
    std::filesystem::path m_trace;
    bool m_prepareHere = false;
    std::string m_startProblem; // what the last failed start had to say, for the log
};

} // namespace kelrin::bridge
