// Arbitrary text as the simulated device's state file: it parses or is
// refused as corrupt, never anything else; and what parses is written as a
// file that parses to the same state and is written again byte for byte.
#include "FuzzCheck.h"
#include "device.h"
#include "kelrin_result.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    kelrin::DeviceState state;
    try {
        state = kelrin::parseState({reinterpret_cast<const char *>(data), size});
    } catch (const kelrin::Failure &failure) {
        check(failure.code() == KELRIN_ERROR_STATE_CORRUPT, "a bad file is corrupt, nothing else");
        return 0;
    }
    const std::string file = kelrin::formatState(state);
    const kelrin::DeviceState again = kelrin::parseState(file);
    check(again == state, "a written state parses to itself");
    check(kelrin::formatState(again) == file, "a state is written the same way twice");
    return 0;
}
