#include "prefix/registry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kelrin::bridge::registry {

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Reads an escaped string from `text` up to the unescaped `end`; the
// position after `end`, or npos when it never comes.
std::size_t unescape(std::string_view text, char end, std::string &out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == end)
            return i + 1;
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char next = text[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        default:
            out += next;
        }
    }
    return std::string_view::npos;
}

// One line of the file: where it starts and where its text ends.
struct Line
{
    std::size_t begin, end, next; // next: the start of the following line
};

Line lineAt(std::string_view file, std::size_t begin)
{
    const std::size_t newline = file.find('\n', begin);
    if (newline == std::string_view::npos)
        return {begin, file.size(), file.size()};
    return {begin, newline, newline + 1};
}

std::string escaped(std::string_view text);

// Where the key's header line starts; npos when the file has no such key.
// Header lines are found by their '[' at a line's start and compared as
// written, escapes and all: a system.reg holds some 75000 lines, and it is
// read before every start of a helper.
std::size_t keyStart(std::string_view file, std::string_view key)
{
    const std::string written = escaped(key);
    for (std::size_t at = file.find('['); at != std::string_view::npos;
         at = file.find('[', at + 1)) {
        const std::size_t name = at + 1;
        if ((at == 0 || file[at - 1] == '\n') && file.size() - name > written.size() &&
            file[name + written.size()] == ']' &&
            sameName(file.substr(name, written.size()), written))
            return at;
    }
    return std::string_view::npos;
}

// The value's name on a value line ("\"Name\"=..."), and where its data
// starts; nothing for another kind of line.
std::optional<std::size_t> valueLine(std::string_view line, std::string &name)
{
    if (line.empty() || line[0] != '"')
        return std::nullopt;
    const std::size_t after = unescape(line.substr(1), '"', name);
    if (after == std::string_view::npos || 1 + after >= line.size() || line[1 + after] != '=')
        return std::nullopt;
    return 1 + after + 1;
}

Value parseData(std::string_view data)
{
    Value value;
    if (data.starts_with("dword:")) {
        const std::string_view digits = data.substr(6);
        std::uint32_t number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
        if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty()) {
            value.type = Value::Type::Dword;
            value.number = number;
            return value;
        }
    } else if (const std::size_t open = data.starts_with("str(7):\"") ? 8
                                        : data.starts_with('"')       ? 1
                                                                      : 0) {
        std::string text;
        if (unescape(data.substr(open), '"', text) == data.size() - open) {
            value.type = open == 8 ? Value::Type::MultiString : Value::Type::String;
            value.text = std::move(text);
            return value;
        }
    }
    value.text = std::string(data);
    return value;
}

// Where the value's line starts and where the line after it (and after its
// continuation lines) starts, within the key that begins at `key`.
struct Found
{
    std::size_t begin, next;
    Value value;
};

// `insertAt`: after the key's header and option lines, where a new value goes.
std::optional<Found> findIn(std::string_view file, std::size_t key, std::string_view name,
                            std::size_t *insertAt = nullptr)
{
    Line line = lineAt(file, key);
    if (insertAt)
        *insertAt = line.next;
    std::string seen;
    for (std::size_t at = line.next; at < file.size(); at = line.next) {
        line = lineAt(file, at);
        const std::string_view text = file.substr(line.begin, line.end - line.begin);
        if (text.starts_with('['))
            break;
        if (text.starts_with('#') && insertAt && *insertAt == at)
            *insertAt = line.next;
        const auto data = valueLine(text, seen);
        if (!data || !sameName(seen, name))
            continue;
        Found found{line.begin, line.next, parseData(text.substr(*data))};
        // Long binary data goes on over lines that end in a backslash.
        while (file.substr(line.begin, line.end - line.begin).ends_with('\\') &&
               line.next < file.size())
            line = lineAt(file, line.next);
        found.next = line.next;
        return found;
    }
    return std::nullopt;
}

std::string escaped(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

bool printableAscii(std::string_view text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// A header line's key, unescaped; nothing for another line.
std::optional<std::string> headerKey(std::string_view line)
{
    if (!line.starts_with('['))
        return std::nullopt;
    std::string key;
    if (unescape(line.substr(1), ']', key) == std::string_view::npos)
        return std::nullopt;
    return key;
}

} // namespace

Value dword(std::uint32_t number)
{
    return {Value::Type::Dword, number, {}};
}

Value string(std::string text)
{
    return {Value::Type::String, 0, std::move(text)};
}

Value multiString(const std::vector<std::string> &strings)
{
    Value value{Value::Type::MultiString, 0, {}};
    for (const std::string &one : strings)
        value.text += one + '\0';
    return value;
}

std::vector<std::string> keysWithValue(std::string_view file, std::string_view name)
{
    std::vector<std::string> keys;
    std::optional<std::string> key;
    bool listed = false;
    std::string seen;
    for (std::size_t at = 0; at < file.size();) {
        const Line line = lineAt(file, at);
        const std::string_view text = file.substr(line.begin, line.end - line.begin);
        if (const auto header = headerKey(text)) {
            key = header;
            listed = false;
        } else if (key && !listed && valueLine(text, seen) && sameName(seen, name)) {
            keys.push_back(*key);
            listed = true;
        }
        at = line.next;
    }
    return keys;
}

std::string removeKey(std::string_view file, std::string_view key)
{
    std::string out;
    out.reserve(file.size());
    bool dropping = false;
    for (std::size_t at = 0; at < file.size();) {
        const Line line = lineAt(file, at);
        const std::string_view text = file.substr(line.begin, line.end - line.begin);
        if (const auto header = headerKey(text)) {
            dropping = header->size() >= key.size() &&
                       sameName(std::string_view(*header).substr(0, key.size()), key) &&
                       (header->size() == key.size() || (*header)[key.size()] == '\\');
        }
        if (!dropping)
            out.append(file.substr(line.begin, line.next - line.begin));
        at = line.next;
    }
    return out;
}

std::optional<std::string> data(const Value &value)
{
    switch (value.type) {
    case Value::Type::Dword: {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.number));
        return std::string("dword:") + digits;
    }
    case Value::Type::String:
        if (!printableAscii(value.text))
            return std::nullopt;
        return '"' + escaped(value.text) + '"';
    case Value::Type::MultiString: {
        std::string out = "str(7):\"";
        std::size_t at = 0;
        for (std::size_t end; (end = value.text.find('\0', at)) != std::string::npos;
             at = end + 1) {
            const std::string_view one(value.text.data() + at, end - at);
            if (!printableAscii(one))
                return std::nullopt;
            out += escaped(one) + "\\0";
        }
        if (at != value.text.size())
            return std::nullopt; // a last string without its NUL
        return out + '"';
    }
    case Value::Type::Other:
        break;
    }
    return std::nullopt;
}

std::optional<Value> find(std::string_view file, std::string_view key, std::string_view name)
{
    const std::size_t start = keyStart(file, key);
    if (start == std::string_view::npos)
        return std::nullopt;
    if (auto found = findIn(file, start, name))
        return found->value;
    return std::nullopt;
}

std::optional<std::string> set(std::string_view file, std::string_view key, std::string_view name,
                               const Value &value)
{
    const auto written = data(value);
    if (!written)
        return std::nullopt;
    const std::string line = '"' + escaped(name) + "\"=" + *written + '\n';
    std::string out(file);
    const std::size_t start = keyStart(file, key);
    if (start == std::string_view::npos) {
        if (!out.empty() && !out.ends_with('\n'))
            out += '\n';
        return out + "\n[" + escaped(key) + "]\n" + line;
    }
    std::size_t insertAt = 0;
    if (const auto found = findIn(file, start, name, &insertAt))
        return out.replace(found->begin, found->next - found->begin, line);
    if (insertAt == file.size() && !file.ends_with('\n'))
        return out + '\n' + line;
    return out.insert(insertAt, line);
}

} // namespace kelrin::bridge::registry

namespace kelrin::bridge::registry {

std::optional<std::string> apply(std::string_view file, const std::vector<Edit> &edits)
{
    std::string text(file);
    // Values of keys the file does not have go to the end in one block per
    // key, written once: a registry file is megabytes, and copying it for
    // each value of a new key would take as long as a start of Wine.
    std::vector<std::pair<std::string, std::string>> added; // key, its lines
    for (const Edit &edit : edits) {
        if (edit.removesKey) {
            text = removeKey(text, edit.key);
            std::erase_if(added, [&](const auto &block) {
                return block.first.size() >= edit.key.size() &&
                       sameName(std::string_view(block.first).substr(0, edit.key.size()),
                                edit.key) &&
                       (block.first.size() == edit.key.size() ||
                        block.first[edit.key.size()] == '\\');
            });
            continue;
        }
        const auto written = data(edit.value);
        if (!written)
            return std::nullopt;
        const auto block = std::find_if(added.begin(), added.end(),
                                        [&](const auto &b) { return sameName(b.first, edit.key); });
        if (block == added.end() && keyStart(text, edit.key) == std::string_view::npos) {
            added.emplace_back(edit.key, '"' + escaped(edit.name) + "\"=" + *written + '\n');
            continue;
        }
        if (block != added.end()) {
            block->second += '"' + escaped(edit.name) + "\"=" + *written + '\n';
            continue;
        }
        auto changed = set(text, edit.key, edit.name, edit.value);
        if (!changed)
            return std::nullopt;
        text = std::move(*changed);
    }
    if (!added.empty() && !text.empty() && !text.ends_with('\n'))
        text += '\n';
    for (const auto &[key, lines] : added)
        text += "\n[" + escaped(key) + "]\n" + lines;
    return text;
}

} // namespace kelrin::bridge::registry
