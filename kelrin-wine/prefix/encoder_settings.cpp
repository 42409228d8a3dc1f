#include "prefix/encoder_settings.h"

#include "files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kelrin::bridge {

namespace {

constexpr unsigned kLastPort = 255; // Wine's device manager takes COM1 to COM255

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

bool isCom(std::string_view name)
{
    return name.size() > 3 && (name[0] | 0x20) == 'c' && (name[1] | 0x20) == 'o' &&
           (name[2] | 0x20) == 'm';
}

} // namespace

std::optional<SerialPin> parseSerialPin(std::string_view setting, PinProblem &problem)
{
    const std::size_t equals = setting.find('=');
    const std::string_view name = setting.substr(0, std::min(equals, setting.size()));
    unsigned number = 0;
    const bool com = isCom(name);
    const auto [end, bad] =
        com ? std::from_chars(name.data() + 3, name.data() + name.size(), number)
            : std::from_chars_result{name.data(), std::errc::invalid_argument};
    if (equals == std::string_view::npos || !com || bad != std::errc() ||
        end != name.data() + name.size() || name[3] == '0' || number < 1 || number > kLastPort) {
        problem = PinProblem::NotComEqualsPath;
        return std::nullopt;
    }
    const std::string path(setting.substr(equals + 1));
    if (!path.starts_with('/')) {
        problem = PinProblem::NotAbsolute;
        return std::nullopt;
    }
    if (!registry::data(registry::string(path)) || path.size() > 255) {
        problem = PinProblem::NotPrintable;
        return std::nullopt;
    }
    problem = PinProblem::None;
    return SerialPin{number, path};
}

std::vector<Change> hidBusChanges()
{
    return {{kHidBusKey, kEnableSdl, registry::dword(0)},
            {kHidBusKey, kDisableInput, registry::dword(1)}};
}

Review review(std::string_view systemReg, const std::optional<std::string> &serialSetting,
              const std::vector<MappedPort> &ports)
{
    Review result;
    using Type = registry::Value::Type;
    using Effect = IntegratorValue::Effect;
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
        result.integratorValues.push_back({kEnableSdl, Effect::SdlNotDword, 0});
    } else if (sdl->number != 0) {
        sdlOff = false;
        result.integratorValues.push_back({kEnableSdl, Effect::SdlOn, sdl->number});
    }
    if (!input) {
        result.changes.push_back(hidBusChanges()[1]);
    } else if (input->type != Type::Dword || input->number == 0) {
        result.integratorValues.push_back({kDisableInput, Effect::InputOffered, 0});
    }
    if (hidraw && hidraw->type == Type::Dword && hidraw->number != 0) {
        hidrawOn = false;
        result.integratorValues.push_back({kDisableHidraw, Effect::HidrawOff, hidraw->number});
    }
    result.hidBusRight = sdlOff && hidrawOn;

    if (serialSetting && !serialSetting->empty()) {
        result.pin = parseSerialPin(*serialSetting, result.pinProblem);
        if (result.pin) {
            const std::string name = "COM" + std::to_string(result.pin->number);
            const auto current = registry::find(systemReg, kPortsKey, name);
            if (!current || current->type != Type::String || current->text != result.pin->path)
                result.changes.push_back({kPortsKey, name, registry::string(result.pin->path)});
        }
    }
    for (Change &change : portListingEdits(systemReg, ports))
        result.changes.push_back(std::move(change));
    return result;
}

std::vector<ComName> comNames(const fs::path &prefix, const std::optional<SerialPin> &pin)
{
    std::vector<ComName> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(prefix / "dosdevices", error)) {
        const std::string name = entry.path().filename().string();
        unsigned number = 0;
        const auto [end, bad] = std::from_chars(name.data() + std::min<std::size_t>(3, name.size()),
                                                name.data() + name.size(), number);
        if (!isCom(name) || bad != std::errc() || end != name.data() + name.size() ||
            (pin && pin->number == number))
            continue;
        std::error_code ignored;
        const fs::path target = fs::read_symlink(entry.path(), ignored);
        if (!ignored && target.is_absolute())
            names.push_back({number, target});
    }
    if (pin)
        names.push_back({pin->number, pin->path});
    std::sort(names.begin(), names.end(),
              [](const ComName &a, const ComName &b) { return a.number < b.number; });
    return names;
}

bool writeChanges(const fs::path &prefix, const std::vector<Change> &changes, std::string &error)
{
    const fs::path file = prefix / "system.reg";
    auto text = readFile(file, std::numeric_limits<std::size_t>::max(), &error);
    if (!text)
        return false;
    auto changed = registry::apply(*text, changes);
    if (!changed) {
        for (const Change &change : changes) {
            if (!change.removesKey && !registry::data(change.value))
                error = "cannot write \"" + change.name + "\" as given";
        }
        return false;
    }
    *text = std::move(*changed);
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
        ::fchmod(fd, status.st_mode & 07777) == 0 && writeAll(fd, *text) && ::fsync(fd) == 0;
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

SettingsReport applyEncoderSettings(const fs::path &prefix,
                                    const std::optional<fs::path> &wineserver,
                                    const Environment &env, Deadline deadline,
                                    const fs::path &sysfs)
{
    SettingsReport report;
    report.serialSetting = env(kSerialSetting);
    if (report.serialSetting && report.serialSetting->empty())
        report.serialSetting.reset();
    const fs::path file = prefix / "system.reg";
    auto text = readFile(file, std::numeric_limits<std::size_t>::max(), &report.error);
    if (!text) {
        report.outcome = SettingsOutcome::Failed;
        report.failure = SettingsReport::Failure::RegistryUnreadable;
        return report;
    }
    report.review = review(*text, report.serialSetting);
    if (report.review.pin) {
        std::error_code missing;
        report.pinnedPathMissing = !fs::exists(report.review.pin->path, missing);
    }
    for (const ComName &name : comNames(prefix, report.review.pin)) {
        if (auto adapter = devices::usbSerialAdapter(name.node, sysfs))
            report.ports.push_back({name.number, std::move(*adapter)});
        else if (report.review.pin && name.number == report.review.pin->number &&
                 !report.pinnedPathMissing)
            report.pinnedNotUsb = true; // a built-in port Wine numbered is no news
    }
    report.review = review(*text, report.serialSetting, report.ports);
    if (report.review.changes.empty())
        return report;

    const PrefixProcesses running = prefixProcesses(prefix);
    if (!running.users.empty()) {
        report.outcome = SettingsOutcome::Waiting;
        report.changes = report.review.changes;
        report.waitingFor = running.users;
        return report;
    }
    // The server writes its registry out as it ends; what is due is read
    // again from that.
    if (running.server) {
        if (!wineserver || !endServer(*wineserver, prefix, deadline)) {
            report.outcome = SettingsOutcome::Failed;
            report.failure = SettingsReport::Failure::ServerNotEnded;
            return report;
        }
        report.restarted = true;
        if (const auto again = readFile(file))
            report.review = review(*again, report.serialSetting, report.ports);
    }
    report.changes = report.review.changes;
    if (!writeChanges(prefix, report.changes, report.error)) {
        report.outcome = SettingsOutcome::Failed;
        report.failure = SettingsReport::Failure::RegistryUnwritable;
        return report;
    }
    report.outcome = SettingsOutcome::Applied;
    return report;
}

} // namespace kelrin::bridge
