#include "app/handoff/Handoff.h"

#include "app/handoff/ProfileReader.h"

#include <QDir>

HandoffValues readHandoff(const QString &programDir)
{
    if (programDir.isEmpty())
        return {};
    enum
    {
        LeaveDate,
        LeaveTime,
        RoomNo,
        CoId,
        Fh
    };
    const QStringList values = readProfileStrings(
        QDir(programDir).filePath(kHandoffFileName), QStringLiteral("MAIN"),
        {QStringLiteral("leavedate"), QStringLiteral("leavetime"), QStringLiteral("roomno"),
         QStringLiteral("coid"), QStringLiteral("fh")});
    return {values[LeaveDate] + values[LeaveTime], values[RoomNo], values[CoId], values[Fh]};
}
