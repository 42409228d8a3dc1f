#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The library speaks 8-bit text in the Windows Chinese code page 936 (GBK);
// the window speaks QString. These are the only crossings between the two.

// Text for a library argument. Characters that GBK cannot hold become "?".
QByteArray toLibraryText(const QString &text);

// Text from library bytes. Bytes that do not form GBK characters (a double-byte
// character cut in half, say) show as U+FFFD instead of vanishing.
QString fromLibraryText(QByteArrayView bytes);

// The bytes of a caller-owned buffer up to its first NUL, never more than its
// capacity: a library that filled the buffer to the brim leaves no NUL.
QByteArray bufferText(const char *buffer, qsizetype capacity);
