#include "app/Clock.h"
#include "app/CommandLine.h"
#include "app/DisplayProbe.h"
#include "app/QtOperatorDialogs.h"
#include "app/StandardTexts.h"
#include "app/TForm1.h"
#include "encoder/LinkedEncoder.h"

#include <QApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

void say(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString program = QFileInfo(arguments.value(0, QStringLiteral("guestcard"))).fileName();

    // The application name, not a display name: Qt would append a display
    // name to every window caption.
    QCoreApplication::setApplicationName(kApplicationTitle);
    QCoreApplication::setApplicationVersion(QStringLiteral(GUESTCARD_VERSION));

    // Qt sees the program's name only: its own options (-platform, -style,
    // -stylesheet, -reverse, ...) would let whoever starts the station change
    // the window or end it. The environment still chooses the platform.
    char fallbackName[] = "guestcard";
    char *qtArgv[] = {argc > 0 ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;

    // Help and version answer on the terminal with no display: a core
    // application is enough to give the usage line the program's name.
    CommandLine commandLine;
    commandLine.parse(arguments);
    if (commandLine.helpAsked() || commandLine.versionAsked()) {
        QCoreApplication terminal(qtArgc, qtArgv);
        say(stdout, commandLine.helpAsked()
                        ? commandLine.helpText()
                        : QCoreApplication::applicationName() + QLatin1Char(' ') +
                              QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    }

    const QList<DisplayServer> displays = displaysToTry(QProcessEnvironment::systemEnvironment());
    if (!displays.isEmpty() && std::none_of(displays.begin(), displays.end(), canOpen)) {
        say(stderr, program + QStringLiteral(": ") + noDisplayNote(displays) + QLatin1Char('\n'));
        return 1;
    }

    QApplication app(qtArgc, qtArgv);
    loadChineseQtTexts(app);
    if (const QString note = commandLine.ignoredNote(); !note.isEmpty())
        say(stderr, program + QStringLiteral(": ") + note + QLatin1Char('\n'));

    LinkedEncoder encoder;
    QtOperatorDialogs dialogs;
    SystemClock clock;
    TForm1 Form1({encoder, dialogs, clock, QCoreApplication::applicationDirPath()},
                 commandLine.serviceView() ? TForm1::View::Service : TForm1::View::Clerk);
    dialogs.setOwner(&Form1);
    Form1.show();
    app.exec();
    return 0;
}
