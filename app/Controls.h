#pragma once

#include <QLabel>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStatusBar>

#include <array>

class QLineEdit;

// Sets a field's text and shows it from its start, as Windows edit fields do:
// QLineEdit::setText leaves the cursor at the end, so a value wider than the
// field would show its tail.
void setFieldText(QLineEdit *field, const QString &text);

// A label that grows and shrinks to fit its text, as the window's static
// texts do, however the text is set: QLabel::setText is not virtual, so the
// label follows the layout request that every change of its size hint posts
// to its parent, and fits itself again whenever it is shown.
class SelfSizingLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SelfSizingLabel(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fit();
    void watchParent();
    QObject *m_watched = nullptr;
};

// A radio button whose group is one tab stop, entered at its checked button,
// as on Windows. Qt puts the stop on whichever button had the focus last, at
// first the group's first one: Tab would then land on an unchecked choice,
// where Space takes it without a visible sign. The arrow keys still move the
// choice inside the group.
class TabStopRadioButton : public QRadioButton
{
    Q_OBJECT

public:
    explicit TabStopRadioButton(QWidget *parent = nullptr);

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    void keepTabStopOnChecked();
};

// A status bar of two fixed-width text panels.
class StatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget *parent = nullptr);
    QLabel *panel(int index) const { return m_panels.at(static_cast<std::size_t>(index)); }

private:
    std::array<QLabel *, 2> m_panels{};
};

// Gives a focused push button or radio button a frame a clerk can see, as
// Windows draws it: a dotted rectangle in the caption's colour and, around a
// push button, a dark border. The platform style only tints the border with
// the highlight colour, which is the window's own background here, and hides
// the rectangle until the keyboard moves the focus.
class FocusFrameStyle : public QProxyStyle
{
    Q_OBJECT

public:
    FocusFrameStyle();
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
};
