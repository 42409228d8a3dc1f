// Field text for the number conversions: the lenient one is the strict one or
// 0, the strict one throws exactly when the text is no number, every value
// comes back from its decimal and its "$" text, and decimal text reads as Qt's
// own conversion reads it.
#include "FuzzCheck.h"
#include "app/Convert.h"
#include "app/StationError.h"

#include <QString>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// Spaces, one sign, decimal digits: the text both conversions read alike.
bool plainDecimal(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto parsed = parseFieldInteger(text);

    check(toIntLenient(text) == parsed.value_or(0), "lenient is strict or 0");
    try {
        check(toIntStrict(text) == parsed, "strict gives the parsed value");
    } catch (const StationError &) {
        check(!parsed, "strict throws only for text that is no number");
    }

    if (plainDecimal(text)) {
        bool ok = false;
        const qlonglong qt = text.toLongLong(&ok);
        const bool fits = ok && qt >= std::numeric_limits<int32_t>::min() &&
                          qt <= std::numeric_limits<int32_t>::max();
        check(parsed.has_value() == fits, "decimal text parses exactly when it fits 32 bits");
        check(!parsed || *parsed == qt, "decimal text reads as Qt reads it");
    }

    // A value of the input's own, for the round trips.
    int32_t value = parsed.value_or(0);
    if (!parsed && size >= sizeof value)
        std::memcpy(&value, data, sizeof value);
    check(parseFieldInteger(QString::number(value)) == value, "decimal round trip");
    const QString hex = QString::number(static_cast<uint32_t>(value), 16);
    check(parseFieldInteger(u'$' + hex) == value, "\"$\" hex round trip");
    check(parseFieldInteger(u'$' + hex.toUpper()) == value, "upper-case hex round trip");
    return 0;
}
