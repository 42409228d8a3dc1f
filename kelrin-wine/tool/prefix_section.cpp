#include "tool/prefix_section.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace kelrin::bridge::check {

namespace {

std::string quoted(const std::string &name)
{
    return '"' + name + '"';
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

std::string meaning(const IntegratorValue &value)
{
    using Effect = IntegratorValue::Effect;
    switch (value.effect) {
    case Effect::SdlNotDword:
        return quoted(value.name) + " is set here but not as a dword, so Wine reads it as 1: "
                                    "hidraw devices are invisible to the DLL";
    case Effect::SdlOn:
        return quoted(value.name) + "=" + std::to_string(value.number) +
               " set in this prefix: Wine's HID bus runs SDL alone, so hidraw devices are "
               "invisible to the DLL";
    case Effect::InputOffered:
        return quoted(value.name) + " set to 0 in this prefix: the clerk's keyboards and mice "
                                    "are offered to the DLL as HID devices";
    case Effect::HidrawOff:
        return quoted(value.name) + "=" + std::to_string(value.number) +
               " set in this prefix: hidraw devices are invisible to the DLL";
    }
    return {};
}

// For a value the integrator set: how to hand it back to the bridge.
std::string fixByRemoving(const fs::path &prefix, const std::string &name)
{
    return " (left as set; `WINEPREFIX=" + prefix.string() + " wine reg delete 'HKLM\\" +
           kHidBusKey + "' /v \"" + name + "\" /f` removes it, and the bridge sets it as it needs)";
}

std::string pinProblem(PinProblem problem)
{
    switch (problem) {
    case PinProblem::NotAbsolute:
        return "the path after = must be absolute (e.g. /dev/serial/by-id/...)";
    case PinProblem::NotPrintable:
        return "the path must be printable ASCII of at most 255 bytes";
    case PinProblem::NotComEqualsPath:
    case PinProblem::None:
        break;
    }
    return "not COMn=PATH with n from 1 to 255";
}

// What became of the changes due, after their own words.
std::string how(const SettingsReport &report)
{
    switch (report.outcome) {
    case SettingsOutcome::Waiting:
        return ": not yet, since " + running(report.waitingFor) +
               " in this prefix; at the next start with nothing else there";
    case SettingsOutcome::Applied:
        return report.restarted ? "; Wine of this prefix restarted to apply it"
                                : "; applied as Wine starts here";
    case SettingsOutcome::Unchanged:
    case SettingsOutcome::Failed:
        break;
    }
    return {};
}

} // namespace

std::string running(const std::vector<PrefixUser> &users)
{
    std::string text;
    for (const PrefixUser &user : users)
        text +=
            (text.empty() ? "" : ", ") + user.name + " (process " + std::to_string(user.pid) + ")";
    return text + (users.size() == 1 ? " runs" : " run");
}

Line prefixLine(const fs::path &prefix, const PrefixState &state, double seconds)
{
    switch (state.outcome) {
    case PrefixOutcome::Ready:
        return {"Prefix:", prefix.string() + " (ready)"};
    case PrefixOutcome::Prepared:
        return {"Prefix:", prefix.string() + " (prepared now, in " +
                               std::to_string(static_cast<int>(seconds + 0.5)) + " s)"};
    case PrefixOutcome::Preparing:
        return {"Prefix:", prefix.string() + " (being prepared by another process)"};
    case PrefixOutcome::Failed:
        break;
    }
    return {"Prefix:", prefix.string() + " (cannot be prepared" +
                           (state.problem.empty() ? "" : ": " + state.problem) + ")"};
}

Lines reviewLines(const fs::path &prefix, const Review &review,
                  const std::optional<std::string> &serialSetting)
{
    Lines lines;
    for (const IntegratorValue &value : review.integratorValues)
        lines.push_back({"HID bus:", meaning(value) + fixByRemoving(prefix, value.name)});
    if (serialSetting && !serialSetting->empty() && !review.pin)
        lines.push_back({"Serial:", std::string(kSerialSetting) + "=\"" + *serialSetting + "\": " +
                                        pinProblem(review.pinProblem) + "; no adapter pinned"});
    return lines;
}

Lines settingsLines(const fs::path &prefix, const SettingsReport &report)
{
    using Failure = SettingsReport::Failure;
    if (report.failure == Failure::RegistryUnreadable)
        return {{"Registry:", report.error}};
    Lines lines;
    if (report.outcome == SettingsOutcome::Unchanged && report.review.hidBusRight)
        lines.push_back({"HID bus:", "hidraw devices reach the DLL (\"Enable SDL\"=0)"});
    const Lines review = reviewLines(prefix, report.review, report.serialSetting);
    lines.insert(lines.end(), review.begin(), review.end());
    if (report.outcome == SettingsOutcome::Failed) {
        lines.push_back({"Registry:", report.failure == Failure::ServerNotEnded
                                          ? "Wine's server of this prefix could not be ended"
                                          : report.error + "; the prefix stays as it is"});
        return lines;
    }
    std::vector<Change> hid, ports;
    bool listing = false;
    for (const Change &change : report.changes) {
        if (change.key == kHidBusKey)
            hid.push_back(change);
        else if (change.key == kPortsKey)
            ports.push_back(change);
        else
            listing = true;
    }
    if (!hid.empty())
        lines.push_back({"HID bus:", "set " + changeList(hid) +
                                         " (hidraw devices reach the DLL, the clerk's "
                                         "keyboards and mice stay out)" +
                                         how(report)});
    for (const Change &change : ports)
        lines.push_back({"Serial:", change.name + " pinned to " + change.value.text + " (" +
                                        kSerialSetting + ")" + how(report)});
    if (const auto &pin = report.review.pin) {
        if (ports.empty())
            lines.push_back({"Serial:", "COM" + std::to_string(pin->number) + " is " + pin->path +
                                            " (" + kSerialSetting + ")"});
        if (report.pinnedPathMissing)
            lines.push_back(
                {"Serial:", pin->path + " does not exist now: is the adapter plugged in?"});
    }
    for (const MappedPort &port : report.ports) {
        const PortDescription d = describePort(port);
        lines.push_back({"Serial:", d.portName + (listing ? " listed" : " is listed") +
                                        " as Windows lists it: \"" + d.friendlyName + "\", " +
                                        d.deviceId + ", " + port.adapter.tty +
                                        (listing ? how(report) : "")});
    }
    if (report.pinnedNotUsb)
        lines.push_back({"Serial:", "COM" + std::to_string(report.review.pin->number) +
                                        " leads to " + report.review.pin->path +
                                        ", which has no USB adapter here: not listed as a "
                                        "USB serial port"});
    if (listing && report.ports.empty())
        lines.push_back(
            {"Serial:",
             std::string("the ports listed before are gone: listed no more") + how(report)});
    return lines;
}

} // namespace kelrin::bridge::check
