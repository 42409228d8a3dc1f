// Arbitrary text for the stand-in's card codec. Whatever decodes as a card or
// a door-open record encodes back to the same text in upper case; hex text
// reads back as written; a record's text names the record; and every stamp
// and lock number that passes the checks is carried by a card unchanged.
#include "FuzzCheck.h"
#include "codec.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string upper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    std::vector<uint8_t> bytes(size / 2);
    if (kelrin::fromHex(text, bytes))
        check(kelrin::toHex(bytes) == upper(text), "hex reads back as written");

    if (const auto card = kelrin::decodeCard(text))
        check(kelrin::encodeCard(*card) == upper(text), "a decoded card encodes to its text");

    if (const auto record = kelrin::decodeRecord(text)) {
        check(kelrin::encodeRecord(*record) == upper(text), "a decoded record encodes to its text");
        const std::string words = kelrin::recordText(*record);
        check(words.size() == kelrin::kRecordTextLength, "a record's text is 16 characters");
        check(kelrin::makeRecord(record->type, words.substr(1, 12), record->door) == record,
              "a record's text names the record");
    }

    // A guest card carrying the text's beginning wherever the checks pass it.
    kelrin::Card guest = kelrin::blankCard(0x8F3A61C4);
    guest.type = kelrin::kCardTypeGuest;
    guest.hotel = 508317;
    guest.serial = 1;
    guest.from = guest.until = "2512011200";
    if (const auto stamp = text.substr(0, kelrin::kStampLength); kelrin::isValidStamp(stamp))
        guest.from = guest.until = stamp;
    if (const auto lockNo = text.substr(0, kelrin::kLockNoLength); kelrin::isValidLockNo(lockNo))
        guest.lockNo = lockNo;
    check(kelrin::decodeCard(kelrin::encodeCard(guest)) == guest,
          "a card carries every stamp and lock number the checks pass");
    return 0;
}
