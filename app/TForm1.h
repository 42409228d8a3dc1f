#pragma once

#include "app/StationState.h"

#include <QString>
#include <QWidget>

#include <functional>

class Clock;
class EncoderLibrary;
class OperatorDialogs;

// The station's one window. Every operation is one of its handlers, run to
// completion on the user-interface thread through runHandler().
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // What the window works with: production passes the linked library, Qt
    // dialogs, the system clock and the program's own folder.
    struct Services
    {
        EncoderLibrary &encoder;
        OperatorDialogs &dialogs;
        const Clock &clock;
        QString programDir;
    };

    explicit TForm1(const Services &services, QWidget *parent = nullptr);

    StationState &station() { return m_station; }
    const StationState &station() const { return m_station; }

    // Handlers, named after the events and controls that fire them.
    void FormCreate();
    void FormShow();
    void cmdExitClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend struct TForm1TestAccess;

    // Runs one handler; an error that escapes it goes to the general error
    // display and the program goes on.
    void runHandler(const std::function<void()> &handler);
    void runHandler(void (TForm1::*handler)())
    {
        runHandler([this, handler] { (this->*handler)(); });
    }
    void showGeneralError(const QString &text);

    bool CheckCardPresent();

    EncoderLibrary &m_encoder;
    OperatorDialogs &m_dialogs;
    const Clock &m_clock;
    QString m_programDir;
    StationState m_station;
};

// The application title: the program's name and the general error display's caption.
inline const QString kApplicationTitle = QStringLiteral("制客人卡系统");
