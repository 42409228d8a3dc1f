#include "app/CommandLine.h"

CommandLine::CommandLine()
    : m_help(m_parser.addHelpOption()), m_version(m_parser.addVersionOption()),
      m_service(QStringLiteral("service"),
                QStringLiteral("Show every control of the window, the encoder library's "
                               "diagnostics below the guest-card panel included. The view "
                               "scrolls where the screen is too small for it."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("Guest-card issuing station: writes a guest card for the stay handed "
                       "over in hotel.ini beside the program."));
    m_parser.addOption(m_service);
}

void CommandLine::parse(const QStringList &arguments)
{
    m_understood = m_parser.parse(arguments);
}

bool CommandLine::helpAsked() const
{
    return m_parser.isSet(m_help) || m_parser.isSet(QStringLiteral("help-all"));
}

QString CommandLine::ignoredNote() const
{
    QStringList ignored;
    for (const QString &name : m_parser.unknownOptionNames())
        ignored << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    ignored << m_parser.positionalArguments();
    if (ignored.isEmpty() && !m_understood)
        ignored << m_parser.errorText();
    if (ignored.isEmpty())
        return {};
    return QStringLiteral("ignored: ") + ignored.join(QStringLiteral(", "));
}
