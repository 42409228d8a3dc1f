#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>

// A display the window could open on. Looked at before Qt starts, so that a
// start without any ends with a note instead of the toolkit's abort.
struct DisplayServer
{
    enum class Kind
    {
        X11,
        Wayland,
    };
    Kind kind;
    QString name; // X11: as DISPLAY gives it, maybe empty; Wayland: the socket's path

    friend bool operator==(const DisplayServer &, const DisplayServer &) = default;
};

// The displays Qt would try in this environment, in its order; empty when
// the platform asked for needs no display (offscreen, vnc). The command line
// plays no part: Qt never sees it.
QList<DisplayServer> displaysToTry(const QProcessEnvironment &environment);

bool canOpen(const DisplayServer &display);

// One line: which displays were tried, and what the window needs.
QString noDisplayNote(const QList<DisplayServer> &tried);
