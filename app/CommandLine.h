#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>

// The program's options. A property system has always started the station
// with whatever arguments it likes, so anything else on the command line is
// noted and otherwise ignored.
class CommandLine
{
public:
    CommandLine();

    void parse(const QStringList &arguments);

    bool helpAsked() const;
    bool versionAsked() const { return m_parser.isSet(m_version); }
    bool serviceView() const { return m_parser.isSet(m_service); }

    QString helpText() const { return m_parser.helpText(); }
    // What was ignored, in one line; empty when nothing was.
    QString ignoredNote() const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_service;
    bool m_understood = true;
};
