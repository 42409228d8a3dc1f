// Arbitrary bytes where the bridge reads what comes from outside it: a
// helper's messages (which a DLL that writes on standard output could
// corrupt), the USB requests of the supplied libusb0.dll and the answers it
// reads back, and the start of a DLL file. The first byte picks the reader.
// Nothing is read beyond the bytes given; a message that decodes encodes
// back to the same bytes; an answer's output, copied into a caller's buffer
// of exactly its capacity, stays inside it and ends in a NUL; the PE reader
// answers a machine only for a PE image and names no import beyond a bound.
#include "FuzzCheck.h"
#include "pe.h"
#include "protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace kb = kelrin::bridge;

namespace {

std::string payloadOf(const std::string &frame)
{
    return frame.substr(kb::kFrameHeader);
}

void answer(std::string_view bytes)
{
    if (bytes.empty())
        return;
    const auto function =
        static_cast<kb::Function>(static_cast<std::uint8_t>(bytes[0]) % kb::kFunctionCount);
    const kb::Answer decoded = kb::decodeAnswer(bytes.substr(1), function);
    check(payloadOf(kb::encodeAnswer(decoded)) == bytes.substr(1),
          "an answer encodes back to its bytes");
    const std::size_t capacity = kb::signature(function).outputCapacity;
    if (capacity == 0)
        return;
    const auto buffer = std::make_unique<char[]>(capacity);
    std::fill_n(buffer.get(), capacity, 'X');
    kb::copyOutput(buffer.get(), capacity, decoded.output);
    check(std::memchr(buffer.get(), '\0', capacity) != nullptr,
          "a copied output ends inside its buffer");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    try {
        switch (data[0] % 8) {
        case 0:
            check(payloadOf(kb::encodeCall(kb::decodeCall(bytes))) == bytes,
                  "a call encodes back to its bytes");
            break;
        case 1:
            answer(bytes);
            break;
        case 2:
            check(payloadOf(kb::encodeHello(kb::decodeHello(bytes))) == bytes,
                  "a hello encodes back to its bytes");
            break;
        case 3:
            check(payloadOf(kb::encodeProbe(kb::decodeProbe(bytes))) == bytes,
                  "a probe encodes back to its bytes");
            break;
        case 4:
            check(payloadOf(kb::encodeDeviceList(kb::decodeDeviceList(bytes))) == bytes,
                  "a device list encodes back to its bytes");
            break;
        case 6:
            check(payloadOf(kb::encodeUsb(kb::decodeUsb(bytes))) == bytes,
                  "a USB request encodes back to its bytes");
            break;
        case 7:
            check(payloadOf(kb::encodeUsbAnswer(kb::decodeUsbAnswer(bytes))) == bytes,
                  "a USB answer encodes back to its bytes");
            break;
        default: {
            const auto machine = kb::peMachine(bytes);
            check(!machine || bytes.substr(0, 2) == "MZ", "only a PE image has a machine");
            for (const kb::Import &import : kb::peImports(bytes))
                check(import.dll.size() <= 1024 && import.function.size() <= 1024,
                      "import names are bounded");
            break;
        }
        }
    } catch (const kb::ProtocolError &) {
    }
    return 0;
}
