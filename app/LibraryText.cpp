#include "app/LibraryText.h"

#include "app/StationError.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

namespace {
constexpr const char *kCodePage = "CP936";
}

QByteArray toLibraryText(const QString &text)
{
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        throw StationError(QStringLiteral("Code page 936 is not available"));
    return encoder.encode(text);
}

QString fromLibraryText(QByteArrayView bytes)
{
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        throw StationError(QStringLiteral("Code page 936 is not available"));
    // ICU drops a lead byte left dangling at the very end. A line feed after
    // it, which is never part of a GBK character, makes it show as U+FFFD.
    QByteArray terminated(bytes.data(), bytes.size());
    terminated.append('\n');
    QString text = decoder.decode(terminated);
    text.chop(1);
    return text;
}

QByteArray bufferText(const char *buffer, qsizetype capacity)
{
    const void *nul = std::memchr(buffer, '\0', static_cast<size_t>(capacity));
    const qsizetype length = nul ? static_cast<const char *>(nul) - buffer : capacity;
    return QByteArray(buffer, length);
}
