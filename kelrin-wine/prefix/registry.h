#pragma once
// Values in a Wine registry file (system.reg) read and written as text,
// without Wine: the bridge looks there before a helper starts, and writes
// there only while no Wine server of the prefix runs (a running server
// keeps the registry in memory and writes it back over any edit).
//
// The file: "[Key\\Name] time" opens a key (backslashes doubled, the time
// optional), lines "#..." are the key's options, "\"Name\"=dword:0000000a"
// or "\"Name\"=\"text\"" its values; names match without regard to the
// letter case of ASCII letters, as Windows matches them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelrin::bridge::registry {

struct Value
{
    enum class Type
    {
        Dword,
        String,
        MultiString, // REG_MULTI_SZ, written str(7):"a\0b\0"
        Other,       // any other type: hex(...), str(2):, ...
    };
    Type type = Type::Other;
    std::uint32_t number = 0; // a Dword's
    // A String's, unescaped; a MultiString's strings, each ended by a NUL;
    // for Other, the data as written.
    std::string text;
    bool operator==(const Value &) const = default;
};

Value dword(std::uint32_t number);
Value string(std::string text);
Value multiString(const std::vector<std::string> &strings);

// The value `name` of the key `key` (written with single backslashes, e.g.
// "System\\CurrentControlSet\\Services\\winebus"), when the file has it.
std::optional<Value> find(std::string_view file, std::string_view key, std::string_view name);

// The file with `name` of `key` set to `value`: its line replaced, else
// added to the key, else the key added at the end. Nothing when the value
// cannot be written as this module writes: a String with a byte outside
// printable ASCII (Wine writes those as escapes this module does not form).
std::optional<std::string> set(std::string_view file, std::string_view key, std::string_view name,
                               const Value &value);

// How the value is written after "=": dword:0000000a, "te\\xt".
std::optional<std::string> data(const Value &value);

// One edit of a registry file: a value set, or a key and the keys below it
// removed.
struct Edit
{
    std::string key, name;
    Value value;
    bool removesKey = false;
};

// The file with `edits` made in order; nothing when a value cannot be
// written as this module writes (see set()).
std::optional<std::string> apply(std::string_view file, const std::vector<Edit> &edits);

// The keys that hold a value `name`, as single-backslash paths.
std::vector<std::string> keysWithValue(std::string_view file, std::string_view name);

// The file without `key` and the keys below it.
std::string removeKey(std::string_view file, std::string_view key);

} // namespace kelrin::bridge::registry
