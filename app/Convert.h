#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// Number conversion of field text. Leading spaces and one sign are allowed,
// then decimal digits, or hexadecimal digits after "$", "x", "X" or "0x".
// Anything else fails, as does a decimal value outside the signed 32-bit range
// or a hexadecimal value wider than 32 bits; a hexadecimal value with the top
// bit set is negative.
std::optional<int32_t> parseFieldInteger(QStringView text);

// The fields' conversion: 0 for text that is not a number, never an error.
int32_t toIntLenient(QStringView text);

// The conversion for card pieces that must be numbers: bad text throws
// StationError "'<text>' is not a valid integer value".
int32_t toIntStrict(const QString &text);

// "YYMMDDHHMM" of a local time, seconds dropped.
QString libraryTimeStamp(const QDateTime &localTime);

// The general error display's text: a full stop is added when the last
// character sorts after ".".
QString errorDisplayText(const QString &errorText);
