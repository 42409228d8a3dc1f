#pragma once

class QCoreApplication;

// Gives Qt's own texts (the message boxes' buttons, the fields' context menu)
// in Simplified Chinese whatever the system locale, as on the Chinese
// systems the station serves. False when the translation is not installed:
// Qt's English texts stay then.
bool loadChineseQtTexts(QCoreApplication &app);
