#pragma once

#include "app/TForm1.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedEncoder.h"

#include <QTemporaryDir>

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

// A fresh window per test over a scripted encoder, scripted dialogs, a fixed
// clock and a program folder of its own.
struct FormHarness
{
    ScriptedEncoder encoder;
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
