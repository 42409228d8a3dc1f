#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>

// The program's options. A property system has always started the station
// with whatever arguments it likes, so anything else on the command line is
// noted and otherwise ignored; none of it reaches the toolkit either.
class CommandLine
{
public:
    CommandLine();

    void parse(const QStringList &arguments);

    bool helpAsked() const { return m_found.contains(&m_help); }
    bool versionAsked() const { return m_found.contains(&m_version); }
    bool serviceView() const { return m_found.contains(&m_service); }

    QString helpText() const { return m_parser.helpText(); }
    // What was ignored, as it was written, in one line; empty when nothing was.
    QString ignoredNote() const;

private:
    const QCommandLineOption *ownOption(const QString &argument) const;

    QCommandLineParser m_parser; // for the help text
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_service;
    QList<const QCommandLineOption *> m_found;
    QStringList m_ignored;
};
