#include "tests/support/ScriptedDialogs.h"

QList<ScriptedDialogs::Shown> ScriptedDialogs::messages() const
{
    QList<Shown> result;
    for (const Shown &s : shown)
        if (s.kind == Shown::Message)
            result.append(s);
    return result;
}

int ScriptedDialogs::messageBox(const QString &text, const QString &caption, int flags)
{
    shown.append({Shown::Message, text, caption, flags, QString(), waitCursorDepth > 0});
    if (whileMessageShows)
        whileMessageShows();
    if (messageAnswers.empty())
        return AnswerOk;
    const int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::prompt(const QString &caption, const QString &label,
                                               const QString &value)
{
    shown.append({Shown::Prompt, label, caption, 0, value, waitCursorDepth > 0});
    if (presetAnswers > 0) {
        --presetAnswers;
        return value;
    }
    if (promptAnswers.empty())
        return std::nullopt;
    std::optional<QString> answer;
    answer.swap(promptAnswers.front());
    promptAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::beginWaitCursor()
{
    ++waitCursorDepth;
    ++waitCursorShows;
}

void ScriptedDialogs::endWaitCursor()
{
    --waitCursorDepth;
}
