// The system seam on Windows: the DLL, under Wine or on Windows itself.
// Texts from the environment are taken as UTF-8, the Unix encoding that
// Wine's Unix paths are in; file names go to Windows as UTF-16.
#include "system.h"

#include "WinePath.h"
#include "device.h"
#include "kelrin_result.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <system_error>

namespace kelrin::sys {
namespace {

namespace fs = std::filesystem;

using kelrin::wine::utf8;

std::wstring wide(const std::string &text)
{
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring chars(count > 0 ? count - 1 : 0, L'\0');
    if (count > 1)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, chars.data(), count);
    return chars;
}

// The system's sentence for an error code, as the Linux side's strerror.
std::string errorText(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring sentence = length ? std::wstring(text, length) : L"";
    LocalFree(text);
    while (!sentence.empty() && (sentence.back() == L'\n' || sentence.back() == L'\r' ||
                                 sentence.back() == L' ' || sentence.back() == L'.'))
        sentence.pop_back();
    return sentence.empty() ? "error " + std::to_string(error) : utf8(sentence);
}

Failure ioFailure(const std::string &what, const fs::path &path, DWORD error)
{
    return Failure(KELRIN_ERROR_STATE_IO,
                   what + " " + utf8(path.wstring()) + ": " + errorText(error));
}

class UniqueHandle
{
public:
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    UniqueHandle(UniqueHandle &&other) noexcept : m_handle(other.release()) {}
    UniqueHandle &operator=(UniqueHandle &&) = delete;
    ~UniqueHandle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    HANDLE release()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Closes now, reporting the error a deferred write may only show here.
    bool close() { return CloseHandle(release()) != 0; }

private:
    HANDLE m_handle;
};

// Others may read, replace or delete the file while it is open, as on Linux.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A new file beside `target` for this process alone: "<target>.<pid>-<n>".
UniqueHandle createTemporary(const fs::path &target, fs::path &name)
{
    static std::atomic<unsigned> next{0};
    for (;;) {
        name = target;
        name += L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(next++);
        UniqueHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid())
            return file;
        // One left behind by an earlier process of the same number: the next.
        if (const DWORD error = GetLastError(); error != ERROR_FILE_EXISTS)
            throw ioFailure("cannot create a temporary file for", target, error);
    }
}

} // namespace

std::string environment(const char *name)
{
    const std::wstring key = wide(name);
    const DWORD size = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(key.c_str(), value.data(), size));
    return utf8(value);
}

fs::path environmentPath(std::string_view value)
{
    const std::string text(value);
    if (!text.empty() && text.front() == '/')
        return fs::path(wine::windowsPath(text));
    return fs::path(wide(text));
}

std::optional<fs::path> homeFolder()
{
    if (const std::string home = environment("HOME"); !home.empty())
        return environmentPath(home);
    constexpr std::string_view kNtPrefix = "\\??\\";
    if (const std::string wineHome = environment("WINEHOMEDIR"); wineHome.starts_with(kNtPrefix))
        return fs::path(wide(wineHome.substr(kNtPrefix.size())));
    return std::nullopt;
}

std::optional<fs::path> systemStatePath()
{
    const std::string local = environment("LOCALAPPDATA");
    if (local.empty())
        return std::nullopt;
    return fs::path(wide(local)) / L"kelrin" / L"device";
}

void makeFolders(const fs::path &folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw Failure(KELRIN_ERROR_STATE_IO, "cannot create the folder " + utf8(folder.wstring()) +
                                                 ": " + error.message());
}

std::optional<std::string> readFile(const fs::path &path, std::size_t limit)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        throw ioFailure("cannot open", path, error);
    }
    std::string text;
    char buffer[8192];
    while (text.size() <= limit) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            throw ioFailure("cannot read", path, GetLastError());
        if (got == 0)
            break;
        text.append(buffer, got);
    }
    return text;
}

void replaceFile(const fs::path &path, std::string_view text)
{
    fs::path name;
    UniqueHandle file = createTemporary(path, name);
    const auto fail = [&](const std::string &what, const fs::path &subject) {
        const DWORD error = GetLastError();
        if (file.valid())
            file.close();
        DeleteFileW(name.c_str());
        return ioFailure(what, subject, error);
    };
    while (!text.empty()) {
        DWORD put = 0;
        const DWORD want = text.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(text.size());
        if (!WriteFile(file.get(), text.data(), want, &put, nullptr) || put == 0)
            throw fail("cannot write", name);
        text.remove_prefix(put);
    }
    if (!file.close())
        throw fail("cannot write", name);
    if (!MoveFileExW(name.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw fail("cannot replace", path);
}

// Wine takes this as a POSIX record lock on the Unix file, which kelrin-sim's
// lock on Linux conflicts with. Under Wine a wait on a lock held from Linux
// is a retry every 100 ms, not a queue.
FileLock::FileLock(const fs::path &path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        throw ioFailure("cannot open the lock file", path, GetLastError());
    OVERLAPPED whole = {}; // from offset 0, the largest length: the whole file
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        throw ioFailure("cannot lock", path, GetLastError());
    m_handle = reinterpret_cast<std::intptr_t>(file.release());
}

FileLock::~FileLock()
{
    const auto file = reinterpret_cast<HANDLE>(m_handle);
    OVERLAPPED whole = {};
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
}

void sleepMs(unsigned milliseconds)
{
    Sleep(milliseconds);
}

} // namespace kelrin::sys
