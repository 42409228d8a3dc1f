#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Text helpers over the card hex string that both card families use: the
// reading operations cut it up, the writing ones first check a card lies
// on the encoder.

// The `length` bytes from 1-based `position` on; fewer, or none, where the
// text is shorter.
QByteArray cardPiece(QByteArrayView text, qsizetype position, qsizetype length);

// Whether the card text carries the library's card-present marker, "01" at
// characters 5-6.
bool cardPresent(QByteArrayView card);
