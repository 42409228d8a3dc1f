#include "app/CardText.h"

#include <algorithm>

QByteArray cardPiece(QByteArrayView text, qsizetype position, qsizetype length)
{
    const qsizetype start = position - 1;
    if (start < 0 || start >= text.size())
        return {};
    return text.sliced(start, std::min(length, text.size() - start)).toByteArray();
}

bool cardPresent(QByteArrayView card)
{
    return cardPiece(card, 5, 2) == "01";
}
