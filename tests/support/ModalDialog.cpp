#include "tests/support/ModalDialog.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void closeModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

} // namespace

void whenModal(std::function<void(QWidget *)> act, std::chrono::milliseconds timeout)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(10);
    const QDeadlineTimer deadline(timeout);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, act = std::move(act)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            if (!deadline.hasExpired())
                return;
            ADD_FAILURE() << "no modal dialog came up within the time allowed";
        } else {
            const QPointer<QWidget> acted = modal;
            act(modal);
            if (acted && acted->isVisible()) {
                ADD_FAILURE() << "the modal dialog was still open after the test acted on it";
                closeModal(acted);
            }
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start();
}
