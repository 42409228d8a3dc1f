#include "app/Controls.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

SelfSizingLabel::SelfSizingLabel(QWidget *parent) : QLabel(parent)
{
    watchParent();
}

void SelfSizingLabel::watchParent()
{
    if (m_watched)
        m_watched->removeEventFilter(this);
    m_watched = parentWidget();
    if (m_watched)
        m_watched->installEventFilter(this);
}

bool SelfSizingLabel::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        watchParent();
        break;
    case QEvent::Show:
    case QEvent::FontChange:
        fit();
        break;
    default:
        break;
    }
    return QLabel::event(event);
}

bool SelfSizingLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watched && event->type() == QEvent::LayoutRequest)
        fit();
    return QLabel::eventFilter(watched, event);
}

void SelfSizingLabel::fit()
{
    if (size() != sizeHint())
        adjustSize();
}

void setFieldText(QLineEdit *field, const QString &text)
{
    field->setText(text);
    field->setCursorPosition(0);
}

TabStopRadioButton::TabStopRadioButton(QWidget *parent) : QRadioButton(parent)
{
    connect(this, &QAbstractButton::toggled, this, &TabStopRadioButton::keepTabStopOnChecked);
    keepTabStopOnChecked(); // a button added beside one already checked
}

void TabStopRadioButton::focusInEvent(QFocusEvent *event)
{
    QRadioButton::focusInEvent(event); // moves the group's stop to this button
    keepTabStopOnChecked();
}

void TabStopRadioButton::keepTabStopOnChecked()
{
    if (!autoExclusive() || !parentWidget())
        return;
    QList<QRadioButton *> group;
    for (QRadioButton *button :
         parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
        if (button->autoExclusive())
            group << button;
    if (std::none_of(group.begin(), group.end(), [](auto *b) { return b->isChecked(); }))
        return; // nothing chosen yet: Qt's own rule
    for (QRadioButton *button : std::as_const(group)) {
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(button->isChecked() ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                   : Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

StatusBar::StatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    constexpr int widths[] = {100, 50};
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        m_panels[i]->setFixedWidth(widths[i]);
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        addWidget(m_panels[i]);
    }
    m_panels[0]->setAlignment(Qt::AlignCenter);
}

namespace {

// A dotted rectangle, one pixel on and one off.
void drawDottedRect(QPainter *painter, const QRect &rect, const QColor &colour)
{
    QPen dotted(colour, 1);
    dotted.setDashPattern({1, 1});
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(dotted);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

} // namespace

FocusFrameStyle::FocusFrameStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
{}

void FocusFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                    QPainter *painter, const QWidget *widget) const
{
    if (element == PE_FrameFocusRect && qobject_cast<const QRadioButton *>(widget))
        drawDottedRect(painter, option->rect, option->palette.color(widget->foregroundRole()));
    else if (element == PE_FrameFocusRect && qobject_cast<const QPushButton *>(widget))
        return; // drawn with the button
    else
        QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FocusFrameStyle::drawControl(ControlElement element, const QStyleOption *option,
                                  QPainter *painter, const QWidget *widget) const
{
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element != CE_PushButton || !(option->state & State_HasFocus))
        return;
    const QColor caption = option->palette.color(QPalette::ButtonText);
    // Inside the bevel, clear of the caption, as Windows places it.
    drawDottedRect(painter, option->rect.adjusted(4, 4, -4, -4), caption);
    painter->save();
    painter->setPen(Qt::black);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}
