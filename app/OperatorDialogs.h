#pragma once

#include <QString>

#include <optional>

// Message box flags: icon and buttons, as the station's messages name them.
enum MessageFlags : int
{
    ErrorOk = 16,
    WarningOk = 48,
    InformationOk = 64,
    QuestionOkCancel = 289, // OK and Cancel, Cancel the default button
};

// What the operator pressed.
enum MessageAnswer : int
{
    AnswerOk = 1,
    AnswerCancel = 2,
};

// Everything the station asks of or shows to the operator besides the window.
class OperatorDialogs
{
public:
    virtual ~OperatorDialogs() = default;

    // A modal message box; returns the button pressed.
    virtual int messageBox(const QString &text, const QString &caption, int flags) = 0;

    // The modal one-line prompt, preset with `value` (whole text selected, at
    // most 255 characters). Returns the text on OK, nothing on Cancel.
    virtual std::optional<QString> prompt(const QString &caption, const QString &label,
                                          const QString &value) = 0;

    // The application-wide wait cursor; calls nest.
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
};

// Shows the wait cursor for its own lifetime.
class WaitCursor
{
public:
    explicit WaitCursor(OperatorDialogs &dialogs) : m_dialogs(dialogs)
    {
        m_dialogs.beginWaitCursor();
    }
    ~WaitCursor() { m_dialogs.endWaitCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    OperatorDialogs &m_dialogs;
};
