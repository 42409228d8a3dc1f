#pragma once

#include <QWidget>

#include <chrono>
#include <functional>

// Acts on the modal dialog that the next call brings up, as an operator
// would. It waits for the dialog at most `timeout`; when none comes, the test
// fails with a message. Whatever modal dialog is still up after `act` (or at
// the deadline) is closed, so a test fails instead of hanging in the
// dialog's event loop.
void whenModal(std::function<void(QWidget *)> act,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
