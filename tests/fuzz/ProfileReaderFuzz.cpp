// Arbitrary bytes for the hand-off file's reader, whole and split in two: no
// crash, no sanitizer finding, and where the bytes are split never changes a
// value.
#include "FuzzCheck.h"
#include "app/handoff/ProfileReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte places the split; the rest is the file.
    const QByteArrayView file(reinterpret_cast<const char *>(data) + 1,
                              static_cast<qsizetype>(size - 1));
    const qsizetype split = std::min<qsizetype>(data[0], file.size());
    const QString section = QStringLiteral("MAIN");
    const QStringList keys{QStringLiteral("leavedate"), QStringLiteral("leavetime"),
                           QStringLiteral("roomno"), QStringLiteral("coid"), QStringLiteral("fh")};

    ProfileReader whole(section, keys);
    whole.feed(file);
    ProfileReader pieces(section, keys);
    pieces.feed(file.first(split));
    pieces.feed(file.sliced(split));

    const QStringList values = whole.finish();
    check(values == pieces.finish(), "the split changes no value");
    check(values.size() == keys.size(), "a value for every key");
    for (const QString &value : values) {
        check(!value.contains(QChar(u'\0')), "no NUL in a value");
        check(value.size() < kProfileValueCapacity, "a value fits the reader's buffer");
    }
    return 0;
}
