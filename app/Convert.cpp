#include "app/Convert.h"

#include "app/StationError.h"

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<int32_t> parseFieldInteger(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n)
        return std::nullopt; // no digits at all

    uint64_t value = 0;
    for (; i < n; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || (!hex && digit > 9))
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > UINT64_C(0xFFFFFFFF))
            return std::nullopt; // wider than 32 bits: no valid value left to reach
    }

    int64_t signedValue;
    if (hex) {
        signedValue = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else {
        signedValue = static_cast<int64_t>(value);
        if (signedValue > (negative ? INT64_C(2147483648) : INT64_C(2147483647)))
            return std::nullopt;
    }
    if (negative)
        signedValue = -signedValue;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(signedValue)));
}

int32_t toIntLenient(QStringView text)
{
    return parseFieldInteger(text).value_or(0);
}

int32_t toIntStrict(const QString &text)
{
    if (const auto value = parseFieldInteger(text))
        return *value;
    throw StationError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

QString libraryTimeStamp(const QDateTime &localTime)
{
    return localTime.toLocalTime().toString(QStringLiteral("yyMMddHHmm"));
}

QString errorDisplayText(const QString &errorText)
{
    if (!errorText.isEmpty() && errorText.back() > QChar(u'.'))
        return errorText + u'.';
    return errorText;
}
