#include "cards/read/ReadingText.h"

#include "app/Convert.h"
#include "app/LibraryText.h"

namespace {

// A hexadecimal piece of the card, in the strict conversion's "$" syntax.
int32_t hexPiece(QByteArrayView card, qsizetype position, qsizetype length)
{
    return toIntStrict(QStringLiteral("$") + fromLibraryText(cardPiece(card, position, length)));
}

} // namespace

QByteArray cardSerialNumber(QByteArrayView card)
{
    return cardPiece(card, 25, 8);
}

QByteArray cardFixedId(QByteArrayView card)
{
    return cardPiece(card, 57, 8);
}

int32_t hotelIdFromCard(QByteArrayView card)
{
    // Four hex digits hold 0-65535; the locks count only 14 bits of it.
    const int32_t low = hexPiece(card, 11, 4) % 16384;
    const int32_t high = hexPiece(card, 9, 2);
    return high * 65536 + low;
}

QByteArray recordPreset(QByteArrayView dump, int index)
{
    // Behind a 592-character header, blocks of 74: a 6-character lead, four
    // records of 16, and 4 characters more.
    const qsizetype block = 593 + 74 * qsizetype(index / 4);
    return cardPiece(dump, block + 6 + 16 * qsizetype(index % 4), 16);
}

QString decodedRecordMessage(const DecodedRecord &decoded)
{
    const auto d = [&decoded](int position) { return decoded[std::size_t(position - 1)]; };
    QByteArray message = toLibraryText(QStringLiteral("解析出来的字符串："));
    message += bufferText(decoded.data(), KELRIN_FIELD_SIZE);
    message += '\n' + toLibraryText(QStringLiteral("具体意思为：")) + '\n';
    message += toLibraryText(QStringLiteral("卡类型：")) + d(1) + '\n';
    message += toLibraryText(QStringLiteral("时间：20"));
    const char time[] = {d(2), d(3), '/', d(4),  d(5),  '/', d(6),  d(7), ' ',
                         d(8), d(9), ':', d(10), d(11), ':', d(12), d(13)};
    message.append(time, sizeof time);
    return fromLibraryText(bufferText(message.constData(), message.size()));
}
