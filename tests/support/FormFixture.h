#pragma once

#include "app/TForm1.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedEncoder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// Reaches the window's private operation for the tests.
struct TForm1TestAccess
{
    static bool CheckCardPresent(TForm1 &form) { return form.CheckCardPresent(); }
    static void run(TForm1 &form, const std::function<void()> &handler)
    {
        form.runHandler(handler);
    }
};

// A fresh window per test over an encoder library fake, scripted dialogs, a
// fixed clock and a program folder of its own.
template <class Encoder> struct WindowHarness
{
    Encoder encoder;
    ScriptedDialogs dialogs;
    FixedClock clock;
    QTemporaryDir programDir;
    std::unique_ptr<TForm1> form;

    void create(TForm1::View view = TForm1::View::Clerk)
    {
        form = std::make_unique<TForm1>(
            TForm1::Services{encoder, dialogs, clock, programDir.path()}, view);
    }
};

// The usual window: over a scripted encoder.
using FormHarness = WindowHarness<ScriptedEncoder>;

// The handler showed exactly one message, `text` followed by `more`, or none
// when `text` is null.
inline void expectMessage(const ScriptedDialogs &dialogs, const char16_t *text,
                          const QString &caption, int flags, const QString &more = {})
{
    const auto shown = dialogs.messages();
    if (!text) {
        EXPECT_TRUE(shown.isEmpty()) << "shown: " << shown.value(0).text.toStdString();
        return;
    }
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, QString::fromUtf16(text) + more);
    EXPECT_EQ(shown[0].caption, caption);
    EXPECT_EQ(shown[0].flags, flags);
}
