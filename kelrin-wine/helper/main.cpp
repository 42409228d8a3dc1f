// kelrin-host32.exe / kelrin-host64.exe: the Windows side of the bridge. Runs
// under Wine, loads the encoder maker's DLL, greets the bridge with what it
// found, then serves calls from standard input to standard output: read a
// call, make it, write the answer.
//
//   kelrin-host64.exe PATH-OF-DLL      (a Unix path under Wine, or a Windows one)
//   kelrin-host64.exe --no-dll         greets with no DLL: tells that Wine runs it
//
// Three threads. The DLL's own thread loads it (its DllMain runs there) and
// makes every call, for the helper's whole life, as a Windows program's one
// window thread would. The main thread reads the bridge's frames, and ends
// the helper as soon as the bridge has gone, whatever the DLL is doing. A
// watcher tells the bridge, while a call runs, whether a window of the DLL
// shows on the screen, so that a call waiting for the clerk is not cut off.
//
// A crash inside the DLL ends the process at once, with no dialog: the bridge
// sees the pipe close and tells the station.
//
// The libusb0.dll the bridge supplies (usb32\ or usb64\ beside the helper)
// is loaded before the maker's DLL, so that the maker's imports of it bind
// to it; it reaches Linux's USB through kelrin_usb_exchange, exported here.
#include "WinePath.h"
#include "helper/Fonts.h"
#include "helper/devices.h"
#include "kelrin.h"
#include "protocol.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kb = kelrin::bridge;

namespace {

// Our own ends of the conversation; the DLL gets others (see isolateStdio).
HANDLE g_input = INVALID_HANDLE_VALUE;
HANDLE g_output = INVALID_HANDLE_VALUE;

LONG WINAPI endAtOnce(EXCEPTION_POINTERS *info)
{
    TerminateProcess(GetCurrentProcess(), info ? info->ExceptionRecord->ExceptionCode : 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// No error box of Windows or Wine may wait for a click nobody can give.
void neverAsk()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endAtOnce);
}

// A DLL that prints to standard output, or reads standard input, would cut
// into the frames: keep the real ones for ourselves and give the process
// stderr and NUL in their place, for Windows handles and C streams alike.
bool isolateStdio()
{
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, GetStdHandle(STD_INPUT_HANDLE), self, &g_input, 0, FALSE,
                         DUPLICATE_SAME_ACCESS) ||
        !DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &g_output, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, nul);
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
    const int nulFd = _open("NUL", _O_RDONLY);
    if (nulFd >= 0) {
        _dup2(nulFd, _fileno(stdin));
        _close(nulFd);
    }
    return true;
}

bool readExactly(char *buffer, std::size_t count)
{
    while (count > 0) {
        DWORD got = 0;
        const DWORD want = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
        if (!ReadFile(g_input, buffer, want, &got, nullptr) || got == 0)
            return false;
        buffer += got;
        count -= got;
    }
    return true;
}

// Frames to the bridge come from the DLL's thread and from the watcher: one
// whole frame at a time.
std::mutex g_writing;

bool writeAll(const std::string &bytes)
{
    const char *data = bytes.data();
    std::size_t count = bytes.size();
    while (count > 0) {
        DWORD put = 0;
        const DWORD want = count > 0x10000 ? 0x10000 : static_cast<DWORD>(count);
        if (!WriteFile(g_output, data, want, &put, nullptr) || put == 0)
            return false;
        data += put;
        count -= put;
    }
    return true;
}

// The next frame's payload; nothing once the bridge has gone.
bool readFrame(std::string &payload)
{
    char header[kb::kFrameHeader];
    if (!readExactly(header, sizeof header))
        return false;
    payload.resize(kb::frameLength(std::string_view(header, sizeof header)));
    return readExactly(payload.data(), payload.size());
}

struct Library
{
    HMODULE module = nullptr;
    std::array<FARPROC, kb::kFunctionCount> functions{};
};

kb::Hello load(const std::wstring &path, Library &library)
{
    kb::Hello hello;
    hello.bits = sizeof(void *) * 8;
    if (path.empty())
        return hello;
    // Companion DLLs of the maker's lie beside it: its folder first.
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        SetDllDirectoryW(path.substr(0, slash).c_str());
    library.module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library.module) {
        hello.load = KELRIN_BRIDGE_DLL_LOAD;
        hello.loadError = GetLastError();
        return hello;
    }
    for (std::size_t i = 0; i < kb::kFunctionCount; ++i) {
        for (const std::string &name : kb::exportNames(static_cast<kb::Function>(i))) {
            if (FARPROC found = GetProcAddress(library.module, name.c_str())) {
                library.functions[i] = found;
                hello.resolved[i] = name;
                break;
            }
        }
    }
    return hello;
}

// The arguments of one call, laid out as the DLL expects them.
class Arguments
{
public:
    explicit Arguments(const kb::Call &call) : m_call(call)
    {
        const std::size_t capacity = kb::signature(call.function).outputCapacity;
        for (const kb::Argument &arg : call.args) {
            if (arg.kind == kb::Kind::Output && !arg.null) {
                // Room behind the capacity: a DLL that writes a little too far
                // hurts only this helper's slack, and is never sent back.
                m_output.assign(capacity + 256, '\0');
                std::memcpy(m_output.data(), arg.bytes.data(), capacity);
            }
        }
    }
    std::uint8_t byte(std::size_t i) const
    {
        return static_cast<std::uint8_t>(m_call.args[i].number);
    }
    std::int32_t number(std::size_t i) const { return m_call.args[i].number; }
    const char *text(std::size_t i) const
    {
        return m_call.args[i].null ? nullptr : m_call.args[i].bytes.c_str();
    }
    const std::uint8_t *four(std::size_t i) const
    {
        return m_call.args[i].null
                   ? nullptr
                   : reinterpret_cast<const std::uint8_t *>(m_call.args[i].bytes.data());
    }
    char *output() { return m_output.empty() ? nullptr : m_output.data(); }
    std::string outputBytes() const
    {
        return std::string(m_output.data(), kb::signature(m_call.function).outputCapacity);
    }

private:
    const kb::Call &m_call;
    std::vector<char> m_output;
};

template <class Fn> Fn as(FARPROC proc)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

std::int32_t invoke(FARPROC f, kb::Function function, Arguments &a)
{
    using F = kb::Function;
    switch (function) {
    case F::initializeUSB:
        return as<decltype(&initializeUSB)>(f)(a.byte(0));
    case F::CloseUSB:
        return as<decltype(&CloseUSB)>(f)(a.byte(0));
    case F::Buzzer:
        return as<decltype(&Buzzer)>(f)(a.byte(0), a.number(1));
    case F::ReadCard:
        return as<decltype(&ReadCard)>(f)(a.byte(0), a.output());
    case F::GuestCard:
        return as<decltype(&GuestCard)>(f)(a.byte(0), a.number(1), a.number(2), a.number(3),
                                           a.byte(4), a.byte(5), a.text(6), a.text(7), a.text(8),
                                           a.output());
    case F::LimitCard:
        return as<decltype(&LimitCard)>(f)(a.byte(0), a.number(1), a.number(2), a.number(3),
                                           a.text(4), a.four(5), a.output());
    case F::CardErase:
        return as<decltype(&CardErase)>(f)(a.byte(0), a.number(1), a.output());
    case F::GetCardTypeByCardDataStr:
        return as<decltype(&GetCardTypeByCardDataStr)>(f)(a.text(0), a.output());
    case F::GetGuestLockNoByCardDataStr:
        return as<decltype(&GetGuestLockNoByCardDataStr)>(f)(a.number(0), a.text(1), a.output());
    case F::GetGuestETimeByCardDataStr:
        return as<decltype(&GetGuestETimeByCardDataStr)>(f)(a.number(0), a.text(1), a.output());
    case F::ReadRecord:
        return as<decltype(&ReadRecord)>(f)(a.byte(0), a.output());
    case F::GetOpenRecordByDataStr:
        return as<decltype(&GetOpenRecordByDataStr)>(f)(a.text(0), a.output());
    case F::GetDLLVersion:
        return as<decltype(&GetDLLVersion)>(f)(a.output());
    }
    return KELRIN_BRIDGE_PROTOCOL;
}

kb::Answer serve(const kb::Call &call, const Library &library)
{
    kb::Answer answer;
    const FARPROC f = library.functions[static_cast<std::size_t>(call.function)];
    if (!f) {
        answer.result = KELRIN_BRIDGE_NO_FUNCTION;
        return answer;
    }
    Arguments arguments(call);
    answer.result = invoke(f, call.function, arguments);
    if (arguments.output()) {
        answer.hasOutput = true;
        answer.output = arguments.outputBytes();
    }
    return answer;
}

std::vector<bool> probe(const std::vector<kb::Import> &imports)
{
    std::vector<bool> resolved;
    for (const kb::Import &import : imports) {
        HMODULE module = LoadLibraryA(import.dll.c_str());
        FARPROC found = nullptr;
        if (module && import.function.starts_with("#"))
            found =
                GetProcAddress(module, MAKEINTRESOURCEA(std::atoi(import.function.c_str() + 1)));
        else if (module)
            found = GetProcAddress(module, import.function.c_str());
        resolved.push_back(found != nullptr);
    }
    return resolved;
}

// The bridge's requests, from the main thread to the DLL's.
class Requests
{
public:
    void put(std::string payload)
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(payload));
        m_ready.notify_one();
    }
    std::string take()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_queue.empty(); });
        std::string payload = std::move(m_queue.front());
        m_queue.pop_front();
        return payload;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_queue;
};

// What the DLL's thread is doing, as the watcher sees it; guarded by
// g_writing, so that no report of windows follows the answer of its call.
struct Activity
{
    bool busy = false;       // loading the DLL, or in a call
    DWORD since = 0;         // GetTickCount() when that began
    unsigned long round = 0; // which load or call
    bool reported = false;   // whether the bridge was told a window shows
};
Activity g_activity;

void begin()
{
    const std::lock_guard lock(g_writing);
    g_activity.busy = true;
    g_activity.since = GetTickCount();
    ++g_activity.round;
    g_activity.reported = false;
}

// The answer of what began; false once the bridge has gone.
bool finish(const std::string &frame)
{
    const std::lock_guard lock(g_writing);
    g_activity.busy = false;
    return writeAll(frame);
}

bool busy()
{
    const std::lock_guard lock(g_writing);
    return g_activity.busy;
}

// The few calls of user32 the watcher makes, looked up before the DLL is
// loaded: a DLL whose DllMain shows a box holds the loader's lock all that
// time, and looking anything up then would wait for the clerk too.
struct Screen
{
    HDESK(WINAPI *threadDesktop)(DWORD) = nullptr;
    BOOL(WINAPI *enumWindows)(HDESK, WNDENUMPROC, LPARAM) = nullptr;
    BOOL(WINAPI *isVisible)(HWND) = nullptr;
    BOOL(WINAPI *rectOf)(HWND, RECT *) = nullptr;
    DWORD(WINAPI *processOf)(HWND, DWORD *) = nullptr;
    int(WINAPI *metric)(int) = nullptr;

    bool usable() const
    {
        return threadDesktop && enumWindows && isVisible && rectOf && processOf && metric;
    }
};

Screen lookUpScreen()
{
    Screen screen;
    const HMODULE user32 = LoadLibraryW(L"user32.dll");
    if (!user32)
        return screen;
    const auto find = [user32](auto &function, const char *name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
    };
    // The windows of the thread's desktop rather than EnumWindows: that
    // asks for the desktop's window, which has Wine start the desktop's
    // process (explorer.exe) when none runs yet. One started so, while the
    // helper ends, stays running with Wine's server.
    find(screen.threadDesktop, "GetThreadDesktop");
    find(screen.enumWindows, "EnumDesktopWindows");
    find(screen.isVisible, "IsWindowVisible");
    find(screen.rectOf, "GetWindowRect");
    find(screen.processOf, "GetWindowThreadProcessId");
    find(screen.metric, "GetSystemMetrics");
    return screen;
}

struct Search
{
    const Screen *screen;
    DWORD process;
    bool found = false;
};

BOOL CALLBACK lookAt(HWND window, LPARAM context)
{
    auto &search = *reinterpret_cast<Search *>(context);
    DWORD process = 0;
    RECT rect{};
    if (search.screen->processOf(window, &process) == 0 || process != search.process ||
        !search.screen->isVisible(window) || !search.screen->rectOf(window, &rect))
        return TRUE;
    // Off the screen, or of no size: nothing the clerk can answer.
    const Screen &s = *search.screen;
    const LONG screenLeft = s.metric(SM_XVIRTUALSCREEN), screenTop = s.metric(SM_YVIRTUALSCREEN);
    const LONG left = std::max(rect.left, screenLeft);
    const LONG right = std::min(rect.right, screenLeft + s.metric(SM_CXVIRTUALSCREEN));
    const LONG top = std::max(rect.top, screenTop);
    const LONG bottom = std::min(rect.bottom, screenTop + s.metric(SM_CYVIRTUALSCREEN));
    search.found = left < right && top < bottom;
    return search.found ? FALSE : TRUE;
}

// Whether a top-level window of this process shows on the screen.
bool dllWindowShows(const Screen &screen)
{
    Search search{&screen, GetCurrentProcessId()};
    screen.enumWindows(screen.threadDesktop(GetCurrentThreadId()), lookAt,
                       reinterpret_cast<LPARAM>(&search));
    return search.found;
}

constexpr DWORD kWatchEveryMs = 50;
// Not for a call that answers before a window could matter.
constexpr DWORD kFirstLookAfterMs = 500;

// Held while the watcher looks at the windows: the helper lets a look under
// way end before it ends.
std::mutex g_looking;
bool g_ending = false; // guarded by g_looking

// Takes g_looking within `ms`. By hand rather than a timed mutex, whose
// wait looks functions up under the loader's lock: with a DllMain that
// never returns holding that lock, the helper would never end.
bool takeLooking(DWORD ms)
{
    const DWORD since = GetTickCount();
    while (!g_looking.try_lock()) {
        if (GetTickCount() - since >= ms)
            return false;
        Sleep(5);
    }
    return true;
}

// Tells the bridge, while a load or call runs, each time a window of the DLL
// comes to show or no longer shows.
void watch(Screen screen)
{
    for (;;) {
        Sleep(kWatchEveryMs);
        unsigned long round = 0;
        {
            const std::lock_guard lock(g_writing);
            if (!g_activity.busy || GetTickCount() - g_activity.since < kFirstLookAfterMs)
                continue;
            round = g_activity.round;
        }
        std::unique_lock looking(g_looking);
        if (g_ending)
            return;
        const bool shows = dllWindowShows(screen);
        looking.unlock();
        const std::lock_guard lock(g_writing);
        if (g_activity.busy && g_activity.round == round && g_activity.reported != shows) {
            g_activity.reported = shows;
            writeAll(kb::encodeWindows(shows));
        }
    }
}

[[noreturn]] void endNow(UINT code)
{
    TerminateProcess(GetCurrentProcess(), code);
    for (;;)
        Sleep(INFINITE);
}

// The bridge's answers to the supplied libusb0.dll, from the main thread to
// whichever thread of the DLL asked.
Requests g_usbAnswers;
std::mutex g_usbAsking; // one question at a time

// The supplied libusb0.dll beside the helper, loaded under its own name so
// that a DLL importing "libusb0.dll" gets it rather than one beside the
// maker's DLL, which would look for a Windows driver Wine cannot run.
void loadSuppliedUsb()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::wstring path(self, length);
    path.erase(path.find_last_of(L"\\/") + 1);
    path += sizeof(void *) == 8 ? L"usb64\\libusb0.dll" : L"usb32\\libusb0.dll";
    LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The DLL's thread: loads it, greets, then makes each call.
void serveDll(std::wstring dll, Requests &requests)
{
    Library library;
    begin();
    kb::Hello hello = load(dll, library);
    hello.ansiCodePage = GetACP();
    hello.oemCodePage = GetOEMCP();
    if (!finish(kb::encodeHello(hello)))
        endNow(0);
    try {
        for (;;) {
            const std::string payload = requests.take();
            begin();
            std::string reply;
            switch (kb::requestKind(payload)) {
            case kb::Request::Call:
                reply = kb::encodeAnswer(serve(kb::decodeCall(payload), library));
                break;
            case kb::Request::Probe:
                reply = kb::encodeProbed(probe(kb::decodeProbe(payload)));
                break;
            case kb::Request::Devices:
                reply = kb::encodeDeviceList(kelrin::host::listDevices());
                break;
            }
            if (!finish(reply))
                endNow(0);
        }
    } catch (const kb::ProtocolError &error) {
        std::fprintf(stderr, "kelrin-host: %s\n", error.what());
        std::fflush(stderr);
        endNow(4);
    }
}

} // namespace

// The supplied libusb0.dll's one way out: its request (a whole frame) goes
// to the bridge, and `receive` gets the answer's payload. -1 once the bridge
// has gone.
extern "C" __declspec(dllexport) int kelrin_usb_exchange(const char *frame, unsigned length,
                                                         void (*receive)(void *, const char *,
                                                                         unsigned),
                                                         void *context)
{
    const std::lock_guard asking(g_usbAsking);
    {
        const std::lock_guard lock(g_writing);
        if (!writeAll(std::string(frame, length)))
            return -1;
    }
    const std::string answer = g_usbAnswers.take();
    if (answer.empty()) {
        g_usbAnswers.put({}); // for whoever asks next
        return -1;
    }
    receive(context, answer.data(), static_cast<unsigned>(answer.size()));
    return 0;
}

// wmain (linked -municode) rather than the shell's command-line parser: a
// helper that loads no more of Windows than the DLL asks for starts faster
// under Wine from cold.
int wmain(int argc, wchar_t *argv[])
{
    neverAsk();
    if (argc != 2) {
        std::fputs("usage: kelrin-host PATH-OF-DLL | --no-dll\n", stderr);
        return 2;
    }
    if (!isolateStdio())
        return 3;
    const std::wstring argument = argv[1];
    // Wine hands a Unix path over as it came, in the Unix encoding.
    const std::wstring dll = argument == L"--no-dll" ? std::wstring()
                             : argument.starts_with(L"/")
                                 ? kelrin::wine::windowsPath(kelrin::wine::utf8(argument))
                                 : argument;
    if (!dll.empty())
        kelrin::wine::replaceChineseFonts();
    if (!dll.empty())
        loadSuppliedUsb();
    if (const Screen screen = dll.empty() ? Screen() : lookUpScreen(); screen.usable())
        std::thread(watch, screen).detach();
    static Requests requests;
    std::thread(serveDll, dll, std::ref(requests)).detach();
    try {
        std::string payload;
        while (readFrame(payload)) {
            if (kb::isUsbAnswer(payload))
                g_usbAnswers.put(std::move(payload));
            else
                requests.put(payload);
        }
    } catch (const kb::ProtocolError &error) {
        std::fprintf(stderr, "kelrin-host: %s\n", error.what());
        std::fflush(stderr);
        endNow(4);
    }
    // No answer comes any more to a USB question asked or yet to ask.
    g_usbAnswers.put({});
    // The bridge has gone: its station ended, or it let the helper go. In a
    // call (a hung one, a box nobody will answer) nothing is left to wait
    // for; otherwise the DLL is let go as a Windows program's end lets it go.
    if (takeLooking(700))
        g_ending = true;
    if (busy())
        endNow(0);
    ExitProcess(0);
}
