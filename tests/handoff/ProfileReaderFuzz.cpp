// Arbitrary bytes for the profile reader, whole and split in two: no crash, no
// sanitizer finding, and where the bytes are split never changes a value.
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
    const QStringList keys{QStringLiteral("roomno"), QStringLiteral("fh"), QStringLiteral("k")};

    ProfileReader whole(section, keys);
    whole.feed(file);
    ProfileReader pieces(section, keys);
    pieces.feed(file.first(split));
    pieces.feed(file.sliced(split));

    const QStringList values = whole.finish();
    if (values != pieces.finish())
        __builtin_trap();
    for (const QString &value : values)
        if (value.contains(QChar(u'\0')) || value.size() >= kProfileValueCapacity)
            __builtin_trap();
    return 0;
}
