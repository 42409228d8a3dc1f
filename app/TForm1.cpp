#include "app/TForm1.h"

#include "app/Controls.h"
#include "app/Convert.h"
#include "app/OperatorDialogs.h"
#include "app/StationError.h"
#include "app/handoff/Handoff.h"
#include "encoder/EncoderLibrary.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

TForm1::TForm1(const Services &services, View view, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_encoder(services.encoder), m_dialogs(services.dialogs), m_clock(services.clock),
      m_programDir(services.programDir)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("制客人卡"));
    setWindowIcon(QIcon(QStringLiteral(":/guestcard/icon.png")));
    if (view == View::Service)
        prepareServiceView();
    createControls();
    nameControlsForAssistiveTechnology();
    if (view == View::Service)
        growToServiceView();
    else
        setFixedSize(573, 357);
    runHandler(&TForm1::FormCreate);
}

void TForm1::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        fitServiceViewToScreen();
        centreOnScreen();
        runHandler(&TForm1::FormShow);
        // No control has the focus yet: it goes to the first one in tab
        // order that can take it, wherever that lies.
        if (!focusWidget()) {
            for (QWidget *control : std::as_const(m_tabOrder)) {
                if (control->focusPolicy() & Qt::TabFocus && control->isEnabled() &&
                    control->isVisibleTo(this)) {
                    control->setFocus(Qt::ActiveWindowFocusReason);
                    break;
                }
            }
        }
    }
    QWidget::showEvent(event);
}

// Enter presses the focused push button, as Space does. Qt does that only for
// default buttons, and the window has none: Enter in a field or on a radio
// button reaches here too and presses nothing. A held key presses once.
void TForm1::keyPressEvent(QKeyEvent *event)
{
    auto *button = qobject_cast<QPushButton *>(focusWidget());
    if (button && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (!event->isAutoRepeat())
            button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm1::centreOnScreen()
{
    const QScreen *shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shownOn)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(shownOn->availableGeometry().center());
    move(frame.topLeft());
}

void TForm1::runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const StationError &error) {
        showGeneralError(error.text());
    } catch (const std::exception &error) {
        showGeneralError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        showGeneralError(QStringLiteral("Unknown error"));
    }
}

void TForm1::showGeneralError(const QString &text)
{
    try {
        m_dialogs.messageBox(errorDisplayText(text), kApplicationTitle, ErrorOk);
    } catch (...) {
        // Nothing is left to tell the operator with; the event loop must go on.
    }
}

void TForm1::FormCreate()
{
    m_station.EncoderType = 1;
    m_encoder.initializeUSB(m_station.encoderTypeByte());
}

void TForm1::FormShow()
{
    m_station.EncoderType = 1;
    // Every field is set, also to the empty text: a missing key must not leave
    // the design-time value standing.
    const HandoffValues stay = readHandoff(m_programDir);
    setFieldText(Edit1, stay.checkout);
    setFieldText(edt_LockNo, stay.lockNo);
    setFieldText(edt_coID, stay.coID);
    setFieldText(Edit2, stay.roomNo);
}

void TForm1::cmdExitClick()
{
    close();
}
