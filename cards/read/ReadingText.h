#pragma once

#include "app/CardText.h"
#include "kelrin.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

// The text work of the reading operations: pieces cut from the card hex
// string (with app/CardText.h) and the record dump by position, and the
// decoded record in words.

// The card's serial number; "FFFFFFFF" on a blank card.
QByteArray cardSerialNumber(QByteArrayView card);
// The card's fixed ID, which no write changes.
QByteArray cardFixedId(QByteArrayView card);

// The hotel identifier a card was written for: the high byte at positions
// 9-10 times 65536, plus the low 14 bits of positions 11-14. The low part is
// converted first, so when both are bad the StationError names the low one.
int32_t hotelIdFromCard(QByteArrayView card);

// Door-open record `index` (0-223) of the dump: 16 characters at position
// 599 + 74 * (index / 4) + 16 * (index % 4), fewer where the dump is short.
QByteArray recordPreset(QByteArrayView dump, int index);

using DecodedRecord = std::array<char, KELRIN_FIELD_SIZE>;

// The message that explains a decoded record. Its characters 1-13 are taken
// one by one, NULs included, and the message ends at its first NUL, so a
// short decoded text shows only the fields it reaches.
QString decodedRecordMessage(const DecodedRecord &decoded);
