#pragma once

#include <QLabel>
#include <QStatusBar>

#include <array>

class QLineEdit;

// Sets a field's text and shows it from its start, as Windows edit fields do:
// QLineEdit::setText leaves the cursor at the end, so a value wider than the
// field would show its tail.
void setFieldText(QLineEdit *field, const QString &text);

// A label that grows and shrinks to fit its text, as the window's static
// texts do.
class SelfSizingLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;
    void setText(const QString &text)
    {
        QLabel::setText(text);
        adjustSize();
    }
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
