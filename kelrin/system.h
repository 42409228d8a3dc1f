#pragma once
// What the simulated encoder needs of the operating system: the environment,
// folders, the state file read whole and replaced whole, the writers' lock,
// a sleep. system_posix.cpp serves Linux (the library and kelrin-sim),
// system_windows.cpp the DLL (under Wine, or on Windows); the build compiles
// one of them. Failures throw Failure(KELRIN_ERROR_STATE_IO) naming the path.
//
// The writers' lock must exclude a writer on the other side of Wine: Wine
// turns LockFileEx into a POSIX record lock (fcntl) on the Unix file, held by
// wineserver. A Linux flock never conflicts with that; an fcntl lock does.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelrin::sys {

// The variable's value; empty when it is not set.
std::string environment(const char *name);

// A path taken from the environment, as this system names it. On Windows a
// Unix path ("/...") is the Unix file it names when running under Wine.
std::filesystem::path environmentPath(std::string_view value);

// The account's home folder: $HOME. Wine hides HOME from Windows programs
// and names the Unix home in WINEHOMEDIR instead ("\??\Z:\home\clerk").
std::optional<std::filesystem::path> homeFolder();

// Where the device lives when no variable names a place: nothing on Linux,
// %LOCALAPPDATA%\kelrin\device on Windows.
std::optional<std::filesystem::path> systemStatePath();

// Creates the folder and every missing folder above it.
void makeFolders(const std::filesystem::path &folder);

// The whole file, or nothing when it does not exist. Reads at most
// `limit` + 1 bytes, so that a caller sees a file larger than it takes.
std::optional<std::string> readFile(const std::filesystem::path &path, std::size_t limit);

// Replaces the file with `text` at once: written beside it, then renamed
// onto it, so that a reader sees the old file or the new one, never half.
void replaceFile(const std::filesystem::path &path, std::string_view text);

// An exclusive lock on the whole of `path` (created when missing), held
// for the object's life; waits for whoever holds it now, in any process.
class FileLock
{
public:
    explicit FileLock(const std::filesystem::path &path);
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock();

private:
    std::intptr_t m_handle; // a descriptor on Linux, a HANDLE on Windows
};

void sleepMs(unsigned milliseconds);

} // namespace kelrin::sys
