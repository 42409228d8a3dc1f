#pragma once

#include <QByteArray>
#include <QRandomGenerator>

// A record dump of upper-case hex digits in which every 16-character piece
// differs from the others, so that a piece cut at the wrong place shows.
// The same on every run.
inline QByteArray sampleRecordDump(qsizetype length = 4736)
{
    QRandomGenerator random(20240517);
    QByteArray dump(length, '0');
    for (char &c : dump)
        c = "0123456789ABCDEF"[random.bounded(16)];
    return dump;
}
