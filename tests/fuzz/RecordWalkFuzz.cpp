// The door-open record walk's text work, the input read two ways. As a dump
// the library handed back: every record index is cut without a read past it.
// As door-open records for the stand-in, eight bytes each: the walk cuts the
// stand-in's dump of them into exactly those records, then the unused slots
// of the last block, then nothing. The first 17 bytes are also a decoded
// record, whose message is built without a read past its buffer.
#include "FuzzCheck.h"
#include "cards/read/ReadingText.h"
#include "codec.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int kRecordIndexes = static_cast<int>(kelrin::kMaxRecords);

// Any eight bytes as a record of a real date and time.
kelrin::OpenRecord recordFrom(const uint8_t *b)
{
    return {
        static_cast<uint8_t>(b[0] & 0x0F),   static_cast<uint8_t>(b[1] % 100),
        static_cast<uint8_t>(1 + b[2] % 12), static_cast<uint8_t>(1 + b[3] % 28),
        static_cast<uint8_t>(b[4] % 24),     static_cast<uint8_t>(b[5] % 60),
        static_cast<uint8_t>(b[6] % 60),     static_cast<uint16_t>((b[0] >> 4 & 7) << 8 | b[7])};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (int i = 0; i < kRecordIndexes; ++i)
        check(recordPreset(input, i).size() <= 16, "a record is at most 16 characters");

    if (size > 0) {
        std::vector<kelrin::OpenRecord> records;
        for (size_t at = 1; at + 8 <= size && records.size() < kelrin::kMaxRecords; at += 8)
            records.push_back(recordFrom(data + at));
        const std::string dump = kelrin::recordDump(records, data[0]);
        const std::size_t slotCount = (records.size() + 3) / 4 * 4;
        for (int i = 0; i < kRecordIndexes; ++i) {
            const auto index = static_cast<std::size_t>(i);
            const QByteArray preset = recordPreset(QByteArrayView(dump), i);
            if (index < records.size()) {
                check(preset.toStdString() == kelrin::encodeRecord(records[index]),
                      "each record from its place in the dump");
                check(kelrin::decodeRecord(preset.toStdString()) == records[index],
                      "each record decodes to itself");
            } else if (index < slotCount) {
                check(preset == "FFFFFFFFFFFFFFFF", "an unused slot of the last block");
            } else {
                check(preset.isEmpty(), "nothing past the dump's last block");
            }
        }
    }

    // On the heap, so that a read past the 17 bytes is seen.
    const auto decoded = std::make_unique<DecodedRecord>();
    std::copy_n(data, std::min(size, decoded->size()), decoded->begin());
    const QString message = decodedRecordMessage(*decoded);
    check(message.startsWith(QStringLiteral("解析出来的字符串：")), "the message's opening");
    check(!message.contains(QChar(u'\0')), "the message ends at the first NUL");
    return 0;
}
