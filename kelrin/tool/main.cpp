// kelrin-sim: shows and changes the simulated encoder that libKelrin.so
// talks to. One dispatch turns the outcome into the exit status: 0 done,
// 1 the operation failed, 2 bad usage.
#include "codec.h"
#include "device.h"
#include "kelrin.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <exception>
#include <iomanip>
#include <iostream>
#include <optional>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Args = std::span<const std::string_view>;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// Bad usage: the dispatch prints it with a pointer to the help.
struct UsageError
{
    std::string message;
};

struct Context
{
    std::ostream &out;
    kelrin::DeviceFile file;
};

struct Command
{
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    std::string_view help;
    void (*run)(Context &, Args);
};

void noArguments(Args args)
{
    if (!args.empty())
        throw UsageError{"unexpected argument '" + std::string(args.front()) + "'"};
}

template <class Number> std::optional<Number> parseNumber(std::string_view text, int base)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string hex(std::uint32_t value, int digits)
{
    std::ostringstream text;
    text << std::uppercase << std::hex << std::setw(digits) << std::setfill('0') << value;
    return text.str();
}

// "YYMMDDHHMM" as the station writes it, in words.
std::string stampText(std::string_view stamp)
{
    return "20" + std::string(stamp.substr(0, 2)) + "-" + std::string(stamp.substr(2, 2)) + "-" +
           std::string(stamp.substr(4, 2)) + " " + std::string(stamp.substr(6, 2)) + ":" +
           std::string(stamp.substr(8, 2));
}

std::string_view encoderName(std::uint8_t type)
{
    return type == KELRIN_ENCODER_KELUSB ? "KelUSB" : "encoder with driver";
}

void describeCard(std::ostream &out, const kelrin::Card &card)
{
    using namespace kelrin;
    out << "Card:         " << cardTypeName(card.type) << " (type " << cardTypeChar(card.type)
        << ")\n";
    if (card.type != kCardTypeBlank) {
        out << "  Hotel:      " << recoveredHotel(card.hotel)
            << " as the station reads it back (written as " << card.hotel << ")\n";
    }
    if (card.type == kCardTypeGuest) {
        out << "  Lock:       " << card.lockNo << "\n"
            << "  Issued:     " << stampText(card.from) << "\n"
            << "  Checkout:   " << stampText(card.until) << "\n"
            << "  Deadbolt:   " << (card.deadbolt ? "may open" : "may not open") << "\n"
            << "  Issue flag: " << card.issueFlag << "\n";
    }
    if (card.type == kCardTypeLimit) {
        out << "  Lost card:  " << toHex(card.lostCard) << "\n"
            << "  From:       " << stampText(card.from) << "\n";
    }
    if (card.type != kCardTypeBlank)
        out << "  dai:        " << unsigned{card.dai} << "\n";
    out << "  Serial:     " << hex(card.serial, 8) << "\n"
        << "  Fixed ID:   " << hex(card.fixedId, 8) << "\n"
        << "  Card hex:   " << encodeCard(card) << "\n";
}

void show(Context &context, Args args)
{
    noArguments(args);
    const kelrin::DeviceState state = context.file.load();
    std::ostream &out = context.out;
    out << "Device state: " << context.file.path().string() << "\n"
        << "Encoder:      " << (state.attached ? "attached" : "unplugged") << ", type "
        << unsigned{state.encoderType} << " (" << encoderName(state.encoderType) << ")\n"
        << "Latency:      " << state.latencyMs << " ms per device call\n"
        << "Beeps:        " << state.beeps << "\n";
    if (state.card)
        describeCard(out, *state.card);
    else
        out << "Card:         none on the encoder\n";
    out << "Records:      " << state.records.size() << " door-open records of at most "
        << kelrin::kMaxRecords << " ('kelrin-sim records' lists them)\n";
}

void lay(Context &context, Args args)
{
    std::uint32_t fixedId = 0;
    if (args.empty()) {
        std::random_device random;
        fixedId = std::uniform_int_distribution<std::uint32_t>()(random);
    } else if (args.size() == 2 && args[0] == "--id") {
        const auto id =
            args[1].size() == 8 ? parseNumber<std::uint32_t>(args[1], 16) : std::nullopt;
        if (!id)
            throw UsageError{"the fixed ID must be eight hex digits, not '" + std::string(args[1]) +
                             "'"};
        fixedId = *id;
    } else {
        throw UsageError{"expected nothing or --id HHHHHHHH"};
    }
    context.file.update(
        [&](kelrin::DeviceState &state) { state.card = kelrin::blankCard(fixedId); });
    context.out << "A blank card with fixed ID " << hex(fixedId, 8) << " lies on the encoder.\n";
}

void remove(Context &context, Args args)
{
    noArguments(args);
    bool hadCard = false;
    context.file.update([&](kelrin::DeviceState &state) {
        hadCard = state.card.has_value();
        state.card.reset();
    });
    context.out << (hadCard ? "The card is off the encoder.\n" : "No card was on the encoder.\n");
}

void unplug(Context &context, Args args)
{
    noArguments(args);
    context.file.update([](kelrin::DeviceState &state) { state.attached = false; });
    context.out << "The encoder is unplugged.\n";
}

void plug(Context &context, Args args)
{
    std::uint8_t type = KELRIN_ENCODER_KELUSB;
    if (args.size() == 2 && args[0] == "--type" && (args[1] == "0" || args[1] == "1"))
        type = static_cast<std::uint8_t>(args[1][0] - '0');
    else if (!args.empty())
        throw UsageError{"expected nothing or --type 0|1"};
    context.file.update([&](kelrin::DeviceState &state) {
        state.attached = true;
        state.encoderType = type;
    });
    context.out << "The encoder is attached, type " << unsigned{type} << " (" << encoderName(type)
                << ").\n";
}

void records(Context &context, Args args)
{
    noArguments(args);
    const kelrin::DeviceState state = context.file.load();
    context.out << state.records.size() << " door-open records, oldest first\n";
    std::size_t index = 0;
    for (const kelrin::OpenRecord &record : state.records) {
        const std::string text = kelrin::recordText(record);
        context.out << std::setw(3) << index++ << "  " << kelrin::encodeRecord(record) << "  "
                    << text << "  " << text.substr(1, 2) << "-" << text.substr(3, 2) << "-"
                    << text.substr(5, 2) << " " << text.substr(7, 2) << ":" << text.substr(9, 2)
                    << ":" << text.substr(11, 2) << "  door " << text.substr(13) << "  "
                    << kelrin::cardTypeName(record.type) << "\n";
    }
}

void addRecord(Context &context, Args args)
{
    if (args.size() < 2 || args.size() > 3)
        throw UsageError{"expected TYPE YYMMDDhhmmss [DOOR]"};
    const auto type = args[0].size() == 1 ? parseNumber<unsigned>(args[0], 16) : std::nullopt;
    if (!type)
        throw UsageError{"the type must be one hex digit 0-F, not '" + std::string(args[0]) + "'"};
    std::optional<std::uint16_t> door = 0;
    if (args.size() == 3)
        door = args[2].size() <= 3 ? parseNumber<std::uint16_t>(args[2], 16) : std::nullopt;
    if (!door)
        throw UsageError{"the door must be 0-7FF in hex, not '" + std::string(args[2]) + "'"};
    const auto record = kelrin::makeRecord(static_cast<std::uint8_t>(*type), args[1], *door);
    if (!record)
        throw UsageError{"'" + std::string(args[1]) +
                         "' is no real YYMMDDhhmmss time, or the door is above 7FF"};
    context.file.update([&](kelrin::DeviceState &state) { state.addRecord(*record); });
    context.out << "Added " << kelrin::encodeRecord(*record) << ".\n";
}

void latency(Context &context, Args args)
{
    if (args.size() != 1)
        throw UsageError{"expected the latency in milliseconds"};
    const auto ms = parseNumber<unsigned>(args[0], 10);
    if (!ms || *ms > kelrin::kMaxLatencyMs)
        throw UsageError{"the latency must be 0 to " + std::to_string(kelrin::kMaxLatencyMs) +
                         " milliseconds, not '" + std::string(args[0]) + "'"};
    context.file.update([&](kelrin::DeviceState &state) { state.latencyMs = *ms; });
    context.out << "Each device call now takes " << *ms << " ms.\n";
}

void reset(Context &context, Args args)
{
    noArguments(args);
    context.file.replace(kelrin::DeviceState::fresh());
    context.out << "The device is fresh: attached, a blank card on it, sample door-open records.\n";
}

constexpr std::array<Command, 9> kCommands{{
    {"show", "show", "the encoder and the card on it, in words",
     "Shows the encoder, the card on it in words (type, hotel as the station\n"
     "reads it back, lock number, issue and checkout time, serial, fixed ID)\n"
     "and how many door-open records the locks hold.",
     show},
    {"lay", "lay [--id HHHHHHHH]", "lay a fresh blank card on the encoder",
     "Lays a fresh blank card on the encoder, in place of any card there. Its\n"
     "fixed ID (the chip's UID) is random unless given as eight hex digits.",
     lay},
    {"remove", "remove", "take the card off the encoder", "Takes the card off the encoder.",
     remove},
    {"unplug", "unplug", "unplug the encoder",
     "Unplugs the encoder: device calls answer that none is attached.", unplug},
    {"plug", "plug [--type 0|1]", "plug the encoder in",
     "Plugs the encoder in: type 1, the KelUSB encoder, unless given; type 0 is\n"
     "the encoder with a driver. Calls for the other type are refused.",
     plug},
    {"records", "records", "list the door-open records",
     "Lists the door-open records in the locks' memory, oldest first: the record\n"
     "as ReadRecord dumps it, as GetOpenRecordByDataStr decodes it, and in words.",
     records},
    {"add-record", "add-record TYPE YYMMDDhhmmss [DOOR]", "add a door-open record",
     "Adds a door-open record: card type 0-F, the opening time, and the door\n"
     "as 0-7FF in hex (0 unless given). A full memory of 224 records forgets\n"
     "its oldest.",
     addRecord},
    {"latency", "latency MS", "make each device call take MS milliseconds",
     "Makes every device call of the library take MS milliseconds (0 to 60000,\n"
     "0 for none), so that a waiting caller can be seen.",
     latency},
    {"reset", "reset", "start afresh with a new device",
     "Starts afresh with a new device: attached, a blank card on it, sample\n"
     "door-open records. Replaces even a state file that cannot be read.",
     reset},
}};

void printUsage(std::ostream &out)
{
    out << "Usage: kelrin-sim COMMAND [ARGUMENTS]\n\n"
           "Shows and changes the simulated card encoder behind libKelrin.so. The\n"
           "device lives in $KELRIN_SIM_STATE, else $XDG_STATE_HOME/kelrin/device,\n"
           "else ~/.local/state/kelrin/device.\n\nCommands:\n";
    for (const Command &command : kCommands)
        out << "  " << std::left << std::setw(38) << command.synopsis << command.summary << "\n";
    out << "  " << std::setw(38) << "help [COMMAND]"
        << "this text, or a command's (also COMMAND --help)\n\n"
           "Exit status: 0 done, 1 the operation failed, 2 bad usage.\n";
}

void printCommandHelp(std::ostream &out, const Command &command)
{
    out << "Usage: kelrin-sim " << command.synopsis << "\n\n" << command.help << "\n";
}

const Command *findCommand(std::string_view name)
{
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const Command &command) { return command.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

bool isHelp(std::string_view arg)
{
    return arg == "--help" || arg == "-h";
}

int run(Args args, std::ostream &out, std::ostream &err)
{
    if (args.empty()) {
        printUsage(err);
        return kBadUsage;
    }
    if (isHelp(args[0]) || args[0] == "help") {
        if (args.size() == 1) {
            printUsage(out);
            return kDone;
        }
        const Command *command = findCommand(args[1]);
        if (!command || args.size() > 2) {
            err << "kelrin-sim: help takes one command name, such as 'kelrin-sim help show'\n";
            return kBadUsage;
        }
        printCommandHelp(out, *command);
        return kDone;
    }
    const Command *command = findCommand(args[0]);
    if (!command) {
        err << "kelrin-sim: unknown command '" << args[0] << "'\nTry 'kelrin-sim --help'.\n";
        return kBadUsage;
    }
    const Args rest = args.subspan(1);
    if (std::any_of(rest.begin(), rest.end(), isHelp)) {
        printCommandHelp(out, *command);
        return kDone;
    }
    try {
        Context context{out, kelrin::DeviceFile()};
        command->run(context, rest);
        return kDone;
    } catch (const UsageError &error) {
        err << "kelrin-sim " << command->name << ": " << error.message << "\nTry 'kelrin-sim "
            << command->name << " --help'.\n";
        return kBadUsage;
    } catch (const kelrin::Failure &failure) {
        err << "kelrin-sim: " << failure.what() << "\n";
        if (failure.code() == KELRIN_ERROR_STATE_CORRUPT)
            err << "The device state file cannot be parsed and is left as it is. Run\n"
                   "'kelrin-sim reset' to start afresh with a new device.\n";
        return kFailed;
    } catch (const std::exception &error) {
        err << "kelrin-sim: " << error.what() << "\n";
        return kFailed;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
    return run(args, std::cout, std::cerr);
}
