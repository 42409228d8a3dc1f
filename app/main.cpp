#include "app/Clock.h"
#include "app/QtOperatorDialogs.h"
#include "app/StandardTexts.h"
#include "app/TForm1.h"
#include "encoder/LinkedEncoder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The application name, not a display name: Qt would append a display
    // name to every window caption.
    QApplication::setApplicationName(kApplicationTitle);
    loadChineseQtTexts(app);

    LinkedEncoder encoder;
    QtOperatorDialogs dialogs;
    SystemClock clock;
    TForm1 Form1({encoder, dialogs, clock, QCoreApplication::applicationDirPath()});
    dialogs.setOwner(&Form1);
    Form1.show();
    app.exec();
    return 0;
}
