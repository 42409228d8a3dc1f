// Arbitrary text for the stand-in library's four decoding functions, through
// the C interface the station calls. The text is read no further than its
// NUL; every answer ends with a NUL inside its 17 bytes; a refusal leaves the
// buffer empty; and what is answered has its documented form. Bytes after a
// NUL in the input give the hotel identifier, big-endian; without them it is
// the card's own hotel, so that valid guest cards reach their fields.
#include "FuzzCheck.h"
#include "codec.h"
#include "kelrin.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

// An output buffer of exactly its size, holding no NUL until a call writes one.
class Answer
{
public:
    Answer() { std::fill_n(m_bytes.get(), KELRIN_FIELD_SIZE, 'X'); }
    char *data() { return m_bytes.get(); }

    // The answer's text, checked against the call's result.
    std::string_view text(int32_t result) const
    {
        const char *end = std::find(m_bytes.get(), m_bytes.get() + KELRIN_FIELD_SIZE, '\0');
        check(end != m_bytes.get() + KELRIN_FIELD_SIZE, "the answer ends inside its buffer");
        const std::string_view text(m_bytes.get(), static_cast<std::size_t>(end - m_bytes.get()));
        check(result == KELRIN_OK || text.empty(), "a refusal leaves the buffer empty");
        return text;
    }

private:
    std::unique_ptr<char[]> m_bytes = std::make_unique<char[]>(KELRIN_FIELD_SIZE);
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto *bytes = reinterpret_cast<const char *>(data);
    const auto length = static_cast<std::size_t>(std::find(bytes, bytes + size, '\0') - bytes);
    // The text and its NUL, with nothing after them.
    const auto text = std::make_unique<char[]>(length + 1);
    std::copy_n(bytes, length, text.get());
    text[length] = '\0';

    int32_t coID = 0;
    if (length < size) {
        for (std::size_t i = length + 1; i < std::min(size, length + 5); ++i)
            coID = static_cast<int32_t>(static_cast<uint32_t>(coID) << 8 | data[i]);
    } else if (const auto card = kelrin::decodeCard({bytes, length})) {
        coID = static_cast<int32_t>(card->hotel);
    }

    Answer type;
    const int32_t typeResult = GetCardTypeByCardDataStr(text.get(), type.data());
    const std::string_view typeText = type.text(typeResult);
    check(typeResult != KELRIN_OK ||
              (typeText.size() == 1 &&
               std::string_view("0123456789ABCDEF").find(typeText[0]) != std::string_view::npos),
          "a card type is one upper-case hex digit");

    Answer lockNo;
    Answer checkout;
    const int32_t lockResult = GetGuestLockNoByCardDataStr(coID, text.get(), lockNo.data());
    const int32_t checkoutResult = GetGuestETimeByCardDataStr(coID, text.get(), checkout.data());
    check(lockResult == checkoutResult, "both guest fields answer alike");
    const std::string_view lockText = lockNo.text(lockResult);
    const std::string_view checkoutText = checkout.text(checkoutResult);
    if (lockResult == KELRIN_OK) {
        check(typeText == "6", "only a guest card has guest fields");
        check(kelrin::isValidLockNo(lockText), "a lock number is eight digits");
        check(kelrin::isValidStamp(checkoutText), "a checkout time is a real YYMMDDHHMM");
    }

    Answer record;
    const int32_t recordResult = GetOpenRecordByDataStr(text.get(), record.data());
    const std::string_view recordText = record.text(recordResult);
    check(recordResult != KELRIN_OK || recordText.size() == kelrin::kRecordTextLength,
          "a decoded record is 16 characters");
    return 0;
}
