#include "upkeep.h"

#include "prefix.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

constexpr const char *kEnableSdl = "Enable SDL";
constexpr const char *kDisableInput = "DisableInput";
constexpr const char *kDisableHidraw = "DisableHidraw";
constexpr unsigned kLastPort = 255; // Wine's device manager takes COM1 to COM255

// Wine's own programs, which run in every prefix whose server runs.
constexpr std::array kWineOwn = {"services.exe", "winedevice.exe", "plugplay.exe",
                                 "svchost.exe",  "rpcss.exe",      "explorer.exe",
                                 "conhost.exe",  "wineboot.exe",   "winemenubuilder.exe"};

std::string quotedName(const char *name)
{
    return std::string("\"") + name + '"';
}

bool readFile(const fs::path &path, std::string &text, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), {});
    if (file.bad()) {
        error = "cannot read " + path.string();
        return false;
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string lowered(std::string text)
{
    for (char &c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

std::string readSmallFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

struct Scan
{
    std::vector<PrefixUser> users;
    bool server = false;
};

// The Wine processes of this account whose environment names `prefix`:
// every process of a prefix inherits WINEPREFIX from the first, the
// server and Wine's services included.
Scan scanPrefix(const fs::path &prefix)
{
    Scan scan;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(prefix, error);
    const std::string wanted = "WINEPREFIX=";
    const int self = static_cast<int>(::getpid());
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc", error)) {
        const std::string pidText = entry.path().filename().string();
        int pid = 0;
        const auto [end, bad] =
            std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
        if (bad != std::errc() || end != pidText.data() + pidText.size() || pid == self)
            continue;
        const std::string environment = readSmallFile(entry.path() / "environ");
        std::optional<std::string> value;
        for (std::size_t at = 0; at < environment.size();) {
            std::size_t stop = environment.find('\0', at);
            if (stop == std::string::npos)
                stop = environment.size();
            const std::string_view variable(environment.data() + at, stop - at);
            if (variable.starts_with(wanted))
                value = std::string(variable.substr(wanted.size()));
            at = stop + 1;
        }
        if (!value || value->empty())
            continue;
        std::error_code ignored;
        if (*value != prefix.string() && fs::weakly_canonical(*value, ignored) != canonical)
            continue;
        const std::string exe = fs::read_symlink(entry.path() / "exe", ignored).filename().string();
        if (exe.starts_with("wineserver")) {
            scan.server = true;
            continue;
        }
        if (!exe.starts_with("wine"))
            continue; // a shell that exported the variable, say
        const std::string commandLine = readSmallFile(entry.path() / "cmdline");
        std::string program = commandLine.substr(0, commandLine.find('\0'));
        program = program.substr(program.find_last_of("\\/") + 1);
        if (std::find(kWineOwn.begin(), kWineOwn.end(), lowered(program)) != kWineOwn.end())
            continue;
        // The login's keeper holds a helper with no DLL to keep the server
        // warm, and starts another when that one is ended: no user to wait for.
        if (lowered(program).starts_with("kelrin-host") &&
            commandLine.find(std::string_view("\0--no-dll\0", 10)) != std::string::npos)
            continue;
        scan.users.push_back({pid, program});
    }
    std::sort(scan.users.begin(), scan.users.end(),
              [](const PrefixUser &a, const PrefixUser &b) { return a.pid < b.pid; });
    return scan;
}

std::string changeList(const std::vector<Change> &changes)
{
    std::string text;
    for (const Change &change : changes) {
        text +=
            (text.empty() ? "" : ", ") + ('"' + change.name + "\"=") +
            (change.value.type == registry::Value::Type::Dword ? std::to_string(change.value.number)
                                                               : change.value.text);
    }
    return text;
}

// For a value the integrator set: how to hand it back to the bridge.
std::string fixByRemoving(const fs::path &prefix, const std::string &name)
{
    return " (left as set; `WINEPREFIX=" + prefix.string() + " wine reg delete 'HKLM\\" +
           kHidBusKey + "' /v \"" + name + "\" /f` removes it, and the bridge sets it as it needs)";
}

} // namespace

std::optional<SerialPin> parseSerialPin(std::string_view setting, std::string &problem)
{
    const std::size_t equals = setting.find('=');
    const std::string_view name = setting.substr(0, std::min(equals, setting.size()));
    unsigned number = 0;
    const bool com = name.size() > 3 && lowered(std::string(name.substr(0, 3))) == "com";
    const auto [end, bad] =
        com ? std::from_chars(name.data() + 3, name.data() + name.size(), number)
            : std::from_chars_result{name.data(), std::errc::invalid_argument};
    if (equals == std::string_view::npos || !com || bad != std::errc() ||
        end != name.data() + name.size() || name[3] == '0' || number < 1 || number > kLastPort) {
        problem = "not COMn=PATH with n from 1 to 255";
        return std::nullopt;
    }
    const std::string path(setting.substr(equals + 1));
    if (!path.starts_with('/')) {
        problem = "the path after = must be absolute (e.g. /dev/serial/by-id/...)";
        return std::nullopt;
    }
    if (!registry::data(registry::string(path)) || path.size() > 255) {
        problem = "the path must be printable ASCII of at most 255 bytes";
        return std::nullopt;
    }
    return SerialPin{number, path};
}

std::vector<Change> hidBusChanges()
{
    return {{kHidBusKey, kEnableSdl, registry::dword(0)},
            {kHidBusKey, kDisableInput, registry::dword(1)}};
}

Review review(std::string_view systemReg, const std::optional<std::string> &serialSetting)
{
    Review result;
    using Type = registry::Value::Type;
    const auto sdl = registry::find(systemReg, kHidBusKey, kEnableSdl);
    const auto input = registry::find(systemReg, kHidBusKey, kDisableInput);
    const auto hidraw = registry::find(systemReg, kHidBusKey, kDisableHidraw);
    // winebus reads each as a dword and takes its default (SDL on, hidraw
    // on, input devices offered) for a value of any other type.
    bool sdlOff = true, hidrawOn = true;
    if (!sdl) {
        result.changes.push_back(hidBusChanges()[0]);
    } else if (sdl->type != Type::Dword) {
        sdlOff = false;
        result.notes.push_back(
            {"HID bus:", quotedName(kEnableSdl) +
                             " is set here but not as a dword, so Wine reads it as 1: hidraw "
                             "devices are invisible to the DLL"});
    } else if (sdl->number != 0) {
        sdlOff = false;
        result.notes.push_back(
            {"HID bus:", quotedName(kEnableSdl) + "=" + std::to_string(sdl->number) +
                             " set in this prefix: Wine's HID bus runs SDL alone, so hidraw "
                             "devices are invisible to the DLL"});
    }
    if (!input) {
        result.changes.push_back(hidBusChanges()[1]);
    } else if (input->type != Type::Dword || input->number == 0) {
        result.notes.push_back({"HID bus:", quotedName(kDisableInput) +
                                                " set to 0 in this prefix: the clerk's keyboards "
                                                "and mice are offered to the DLL as HID devices"});
    }
    if (hidraw && hidraw->type == Type::Dword && hidraw->number != 0) {
        hidrawOn = false;
        result.notes.push_back({"HID bus:", quotedName(kDisableHidraw) + "=" +
                                                std::to_string(hidraw->number) +
                                                " set in this prefix: hidraw devices are "
                                                "invisible to the DLL"});
    }
    result.hidBusRight = sdlOff && hidrawOn;

    if (serialSetting && !serialSetting->empty()) {
        std::string problem;
        const auto pin = parseSerialPin(*serialSetting, problem);
        if (!pin) {
            result.notes.push_back({"Serial:", std::string(kSerialSetting) + "=\"" +
                                                   *serialSetting + "\": " + problem +
                                                   "; no adapter pinned"});
        } else {
            const std::string name = "COM" + std::to_string(pin->number);
            const auto current = registry::find(systemReg, kPortsKey, name);
            if (!current || current->type != Type::String || current->text != pin->path)
                result.changes.push_back({kPortsKey, name, registry::string(pin->path)});
        }
    }
    return result;
}

bool writeChanges(const fs::path &prefix, const std::vector<Change> &changes, std::string &error)
{
    const fs::path file = prefix / "system.reg";
    std::string text;
    if (!readFile(file, text, error))
        return false;
    for (const Change &change : changes) {
        auto changed = registry::set(text, change.key, change.name, change.value);
        if (!changed) {
            error = "cannot write \"" + change.name + "\" as given";
            return false;
        }
        text = std::move(*changed);
    }
    struct stat status
    {
    };
    if (::stat(file.c_str(), &status) != 0) {
        error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    std::string temporary = (prefix / ".system.reg-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write in " + prefix.string() + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        ::fchmod(fd, status.st_mode & 07777) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        error =
            "cannot write " + file.string() + ": " + std::strerror(written ? errno : writeError);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::vector<PrefixUser> prefixUsers(const fs::path &prefix)
{
    return scanPrefix(prefix).users;
}

std::string describe(const std::vector<PrefixUser> &users)
{
    std::string text;
    for (const PrefixUser &user : users)
        text +=
            (text.empty() ? "" : ", ") + user.name + " (process " + std::to_string(user.pid) + ")";
    return text;
}

bool endServer(const fs::path &wineserver, const fs::path &prefix, Deadline deadline)
{
    try {
        Child child({wineserver,
                     {"-k"},
                     environmentWith(wineDropped(), wineSettings(prefix)),
                     /*talk=*/false,
                     /*quiet=*/true});
        if (child.wait(deadline))
            return true;
        child.kill();
    } catch (const std::system_error &) {
    }
    return false;
}

Upkeep keepPrefix(const fs::path &prefix, const std::optional<fs::path> &wineserver,
                  const Environment &env, Deadline deadline)
{
    Upkeep upkeep;
    std::string text, error;
    if (!readFile(prefix / "system.reg", text, error)) {
        upkeep.kept = Kept::Failed;
        upkeep.notes.push_back({"Registry:", error});
        return upkeep;
    }
    const std::optional<std::string> serial = env(kSerialSetting);
    Review due = review(text, serial);
    upkeep.notes = due.notes;
    for (Note &note : upkeep.notes) {
        // Each HID bus note starts with the value's quoted name.
        if (note.label == "HID bus:" && note.text.starts_with('"'))
            note.text += fixByRemoving(prefix, note.text.substr(1, note.text.find('"', 1) - 1));
    }
    const bool portsDue = std::any_of(due.changes.begin(), due.changes.end(),
                                      [](const Change &c) { return c.key == kPortsKey; });
    const auto summary = [&](const std::string &how) {
        std::vector<Change> hid, ports;
        for (const Change &change : due.changes)
            (change.key == kHidBusKey ? hid : ports).push_back(change);
        if (!hid.empty())
            upkeep.notes.push_back({"HID bus:", "set " + changeList(hid) +
                                                    " (hidraw devices reach the DLL, the clerk's "
                                                    "keyboards and mice stay out)" +
                                                    how});
        for (const Change &change : ports)
            upkeep.notes.push_back({"Serial:", change.name + " pinned to " + change.value.text +
                                                   " (" + kSerialSetting + ")" + how});
    };
    if (due.changes.empty()) {
        if (due.hidBusRight)
            upkeep.notes.insert(upkeep.notes.begin(),
                                {"HID bus:", "hidraw devices reach the DLL (\"Enable SDL\"=0)"});
    } else {
        const Scan scan = scanPrefix(prefix);
        if (!scan.users.empty()) {
            upkeep.kept = Kept::Waiting;
            summary(": not yet, since " + describe(scan.users) +
                    (scan.users.size() == 1 ? " runs" : " run") +
                    " in this prefix; at the next start with nothing else there");
        } else {
            // The server writes its registry out as it ends; what is due is
            // read again from that.
            if (scan.server && (!wineserver || !endServer(*wineserver, prefix, deadline))) {
                upkeep.kept = Kept::Failed;
                upkeep.notes.push_back(
                    {"Registry:", "Wine's server of this prefix could not be ended"});
                return upkeep;
            }
            upkeep.restarted = scan.server;
            if (scan.server && readFile(prefix / "system.reg", text, error))
                due = review(text, serial);
            if (!writeChanges(prefix, due.changes, error)) {
                upkeep.kept = Kept::Failed;
                upkeep.notes.push_back({"Registry:", error + "; the prefix stays as it is"});
                return upkeep;
            }
            upkeep.kept = Kept::Applied;
            summary(scan.server ? "; Wine of this prefix restarted to apply it"
                                : "; applied as Wine starts here");
        }
    }
    std::string problem;
    if (const auto pin = serial ? parseSerialPin(*serial, problem) : std::nullopt) {
        if (!portsDue)
            upkeep.notes.push_back({"Serial:", "COM" + std::to_string(pin->number) + " is " +
                                                   pin->path + " (" + kSerialSetting + ")"});
        std::error_code missing;
        if (!fs::exists(pin->path, missing))
            upkeep.notes.push_back(
                {"Serial:", pin->path + " does not exist now: is the adapter plugged in?"});
    }
    return upkeep;
}

PrefixLock::PrefixLock(const fs::path &prefix, Deadline deadline)
{
    m_fd = ::open((prefix / ".kelrin-bridge.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    for (;;) {
        struct flock lock
        {
        };
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(m_fd, F_OFD_SETLK, &lock) == 0) {
            m_held = true;
            return;
        }
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) || Clock::now() >= deadline)
            return;
        ::usleep(5000);
    }
}

PrefixLock::~PrefixLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kelrin::bridge
