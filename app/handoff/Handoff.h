#pragma once

#include <QString>

// The stay that the hotel's property system hands over in hotel.ini, as the
// window's four fields show it. Every text is as read: no check, no conversion.
struct HandoffValues
{
    QString checkout; // leavedate then leavetime, nothing between (Edit1)
    QString lockNo;   // roomno (edt_LockNo)
    QString coID;     // coid (edt_coID)
    QString roomNo;   // fh (Edit2)

    friend bool operator==(const HandoffValues &, const HandoffValues &) = default;
};

inline const QString kHandoffFileName = QStringLiteral("hotel.ini");

// Reads section MAIN of the hand-off file in `programDir`, the folder of the
// program file. A missing file, section or key leaves its field empty. An empty
// `programDir` reads nothing: it must never fall back to the working directory.
HandoffValues readHandoff(const QString &programDir);
