#include "app/DisplayProbe.h"

#include <QDir>
#include <QFileInfo>

#include <xcb/xcb.h>

namespace {

DisplayServer waylandDisplay(const QProcessEnvironment &environment)
{
    QString name = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (name.isEmpty())
        name = QStringLiteral("wayland-0");
    if (QDir::isAbsolutePath(name))
        return {DisplayServer::Kind::Wayland, name};
    return {DisplayServer::Kind::Wayland,
            environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + name};
}

} // namespace

QList<DisplayServer> displaysToTry(const QProcessEnvironment &environment)
{
    QString platforms = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (platforms.isEmpty()) {
        platforms =
            environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland")
                ? QStringLiteral("wayland;xcb")
                : QStringLiteral("xcb");
    }

    QList<DisplayServer> tried;
    for (const QString &entry : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString platform = entry.section(QLatin1Char(':'), 0, 0); // options follow a colon
        if (platform == QLatin1String("xcb"))
            tried.append({DisplayServer::Kind::X11, environment.value(QStringLiteral("DISPLAY"))});
        else if (platform.startsWith(QLatin1String("wayland")))
            tried.append(waylandDisplay(environment));
        else
            return {}; // a platform that draws without a display server
    }
    return tried;
}

bool canOpen(const DisplayServer &display)
{
    if (display.kind == DisplayServer::Kind::Wayland)
        return QFileInfo(display.name).exists();
    if (display.name.isEmpty())
        return false; // nothing to connect to
    xcb_connection_t *connection = xcb_connect(display.name.toLocal8Bit().constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

QString noDisplayNote(const QList<DisplayServer> &tried)
{
    QStringList names;
    for (const DisplayServer &display : tried) {
        if (display.kind == DisplayServer::Kind::Wayland)
            names << QStringLiteral("the Wayland display \"%1\"").arg(display.name);
        else if (display.name.isEmpty())
            names << QStringLiteral("an X display (DISPLAY is not set)");
        else
            names << QStringLiteral("the X display \"%1\"").arg(display.name);
    }
    return QStringLiteral("cannot open %1: the window needs a desktop session or Xvfb")
        .arg(names.join(QStringLiteral(" or ")));
}
