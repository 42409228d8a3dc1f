// kelrin-host32.exe / kelrin-host64.exe: the Windows side of the bridge. Runs
// under Wine, loads the encoder maker's DLL, greets the bridge with what it
// found, then serves calls from standard input to standard output until the
// input ends: read a call, make it, write the answer.
//
//   kelrin-host64.exe PATH-OF-DLL      (a Unix path under Wine, or a Windows one)
//   kelrin-host64.exe --no-dll         greets with no DLL: tells that Wine runs it
//
// A crash inside the DLL ends the process at once, with no dialog: the bridge
// sees the pipe close and tells the station.
#include "WinePath.h"
#include "kelrin.h"
#include "protocol.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
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

} // namespace

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
    Library library;
    // Wine hands a Unix path over as it came, in the Unix encoding.
    const std::wstring dll = argument == L"--no-dll" ? std::wstring()
                             : argument.starts_with(L"/")
                                 ? kelrin::wine::windowsPath(kelrin::wine::utf8(argument))
                                 : argument;
    const kb::Hello hello = load(dll, library);
    if (!writeAll(kb::encodeHello(hello)))
        return 0;
    try {
        std::string payload;
        while (readFrame(payload)) {
            const std::string reply =
                kb::requestKind(payload) == kb::Request::Call
                    ? kb::encodeAnswer(serve(kb::decodeCall(payload), library))
                    : kb::encodeProbed(probe(kb::decodeProbe(payload)));
            if (!writeAll(reply))
                break;
        }
    } catch (const kb::ProtocolError &error) {
        std::fprintf(stderr, "kelrin-host: %s\n", error.what());
        return 4;
    }
    return 0;
}
