#include "app/CommandLine.h"

CommandLine::CommandLine()
    : m_help({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
             QStringLiteral("Displays help on commandline options.")),
      m_version({QStringLiteral("v"), QStringLiteral("version")},
                QStringLiteral("Displays version information.")),
      m_service(QStringLiteral("service"),
                QStringLiteral("Show every control of the window, the encoder library's "
                               "diagnostics below the guest-card panel included. The view "
                               "scrolls where the screen is too small for it."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("Guest-card issuing station: writes a guest card for the stay handed "
                       "over in hotel.ini beside the program."));
    // Not addHelpOption(): its --help-all offers Qt's options, which the
    // program does not take.
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
    m_parser.addOption(m_service);
}

// An option counts only when written exactly as one of its names, with one
// dash or two. The parser's own reading would take "-reverse" for compacted
// short options, -v among them, and "--service=1" for --service.
const QCommandLineOption *CommandLine::ownOption(const QString &argument) const
{
    for (const QCommandLineOption *option : {&m_help, &m_version, &m_service})
        for (const QString &name : option->names())
            if (argument == QLatin1Char('-') + name || argument == QLatin1String("--") + name)
                return option;
    return nullptr;
}

void CommandLine::parse(const QStringList &arguments)
{
    m_found.clear();
    m_ignored.clear();
    bool optionsEnded = false; // after "--" every argument is a plain word
    for (const QString &argument : arguments.mid(1)) {
        const QCommandLineOption *option = optionsEnded ? nullptr : ownOption(argument);
        if (option)
            m_found << option;
        else
            m_ignored << argument;
        optionsEnded = optionsEnded || argument == QLatin1String("--");
    }
}

QString CommandLine::ignoredNote() const
{
    if (m_ignored.isEmpty())
        return {};
    return QStringLiteral("ignored: ") + m_ignored.join(QStringLiteral(", "));
}
