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

namespace kelrin::bridge::registry {

struct Value
{
    enum class Type
    {
        Dword,
        String,
        Other, // any other type: hex(...), str(2):, ...
    };
    Type type = Type::Other;
    std::uint32_t number = 0; // a Dword's
    std::string text;         // a String's, unescaped; for Other, the data as written
};

Value dword(std::uint32_t number);
Value string(std::string text);

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

} // namespace kelrin::bridge::registry
