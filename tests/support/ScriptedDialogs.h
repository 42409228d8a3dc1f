#pragma once

#include "app/Clock.h"
#include "app/OperatorDialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// Operator dialogs that answer from a script and record what was shown.
class ScriptedDialogs final : public OperatorDialogs
{
public:
    struct Shown
    {
        enum Kind
        {
            Message,
            Prompt
        } kind;
        QString text; // message text, or the prompt's label
        QString caption;
        int flags = 0;   // messages only
        QString value;   // prompts only: the preset value
        bool waitCursor; // whether the wait cursor was up while it showed
    };

    // Answers for the coming message boxes; unscripted ones answer OK.
    std::deque<int> messageAnswers;
    // How many of the coming prompts take their preset as it is, before the
    // answers below are used.
    int presetAnswers = 0;
    // Answers for the coming prompts; unscripted ones are cancelled.
    std::deque<std::optional<QString>> promptAnswers;

    QList<Shown> shown;
    // Runs while each message box is open, to see what happened before it closed.
    std::function<void()> whileMessageShows;
    int waitCursorDepth = 0;
    int waitCursorShows = 0; // how many times the wait cursor went up

    QList<Shown> messages() const;

    int messageBox(const QString &text, const QString &caption, int flags) override;
    std::optional<QString> prompt(const QString &caption, const QString &label,
                                  const QString &value) override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
};

// A clock that says what the test sets.
class FixedClock final : public Clock
{
public:
    QDateTime time = QDateTime(QDate(2026, 3, 14), QTime(9, 5, 59));
    QDateTime now() const override { return time; }
};
