// The technician's view of the window: every control of the layout at its
// place, the encoder library's diagnostics below the guest-card panel
// included.
#include "app/TForm1.h"

#include <QGuiApplication>
#include <QMoveEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The size of a window that shows `area` whole where it fits in `room`, and
// otherwise as much as fits, with scroll bars to reach the rest.
QSize fittedWindowSize(const QSize &area, const QSize &room, int scrollBar)
{
    // A scroll bar one way takes room the other way; where that makes the other
    // way too small as well, the room bounds it and the scroll area shows both.
    const bool across = area.width() > room.width();
    const bool down = area.height() > room.height();
    return QSize(area.width() + (down ? scrollBar : 0), area.height() + (across ? scrollBar : 0))
        .boundedTo(room);
}

} // namespace

// Before the controls are created, so that they take the window's font and
// colours through the scrolled area.
void TForm1::prepareServiceView()
{
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("ServiceView"));
    // No frame: the clerk's 573 x 357 area stays at the window's top left.
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // Not a tab stop of its own; tabbing to a control scrolls it into view.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_clientArea = new QWidget;
    m_clientArea->setObjectName(QStringLiteral("ClientArea"));
    m_scrollArea->setWidget(m_clientArea);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scrollArea);
}

void TForm1::growToServiceView()
{
    // Hidden controls' places count too; none reaches past the visible ones.
    QRect laidOut(0, 0, 573, 357);
    for (QWidget *control : m_clientArea->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        laidOut |= control->geometry();
    m_clientArea->setFixedSize(laidOut.right() + 1, laidOut.bottom() + 1);
    fitServiceViewToScreen();
}

// Returns whether the window changed size. The window manager's frame is known
// only once the window has one, so this runs again when the window moves.
bool TForm1::fitServiceViewToScreen()
{
    const QScreen *shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!m_scrollArea || !shownOn)
        return false;
    const QSize frame = frameGeometry().size() - size();
    const int scrollBar =
        m_scrollArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollArea);
    const QSize fitted = fittedWindowSize(m_clientArea->size(),
                                          shownOn->availableGeometry().size() - frame, scrollBar);
    if (fitted == size())
        return false;
    setFixedSize(fitted);
    return true;
}

void TForm1::moveEvent(QMoveEvent *event)
{
    if (event->spontaneous() && fitServiceViewToScreen())
        centreOnScreen();
    QWidget::moveEvent(event);
}
