#pragma once

#include "app/StationState.h"

#include <QString>
#include <QWidget>

#include <functional>

class Clock;
class EncoderLibrary;
class OperatorDialogs;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class SelfSizingLabel;
class StatusBar;

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

    // The clerk's view is the designed 573 x 357 client area. The service
    // view grows it to hold every control at its place, the diagnostics below
    // included, and scrolls where the screen is smaller.
    enum class View
    {
        Clerk,
        Service,
    };

    explicit TForm1(const Services &services, View view = View::Clerk, QWidget *parent = nullptr);

    // What the window's own controls are placed on: the window itself in the
    // clerk's view, the scrolled area in the service view.
    QWidget *clientArea() const { return m_clientArea; }

    StationState &station() { return m_station; }
    const StationState &station() const { return m_station; }

    // Controls, with their design names.
    QLabel *Label10 = nullptr;
    QLabel *Label17 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label11 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLabel *Label13 = nullptr;
    QLineEdit *edt_LockNo = nullptr;
    QLabel *Label6 = nullptr;
    SelfSizingLabel *Label16 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label9 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *edt_Dai = nullptr;
    QLabel *Label8 = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QDateTimeEdit *DateTimePicker1 = nullptr;
    QDateTimeEdit *DateTimePicker2 = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QLineEdit *edt_CardNo = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label20 = nullptr;
    QLineEdit *edt_coID = nullptr;
    QPushButton *Button3 = nullptr;
    QGroupBox *GroupBox4 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn5 = nullptr;
    QPushButton *BitBtn10 = nullptr;
    QPushButton *BitBtn7 = nullptr;
    QPushButton *BitBtn8 = nullptr;
    QPushButton *BitBtn9 = nullptr;
    QPushButton *BitBtn6 = nullptr;
    QLineEdit *edt_CardData = nullptr;
    StatusBar *StatusBar1 = nullptr;
    QPushButton *cmdExit = nullptr;
    QPushButton *BitBtn11 = nullptr;
    QPushButton *BitBtn12 = nullptr;
    QPushButton *Button2 = nullptr;
    SelfSizingLabel *StaticText1 = nullptr;
    SelfSizingLabel *StaticText2 = nullptr;

    // Handlers, named after the events and controls that fire them.
    void FormCreate();
    void FormShow();
    void cmdExitClick();

    // Encoder device controls.
    void RadioButton3Click();
    void RadioButton4Click();
    void Button1Click();
    void BitBtn12Click();
    void BitBtn1Click();
    void BitBtn6Click();
    void BitBtn4Click();

    // Card writing.
    void Button2Click();
    void BitBtn2Click();
    void BitBtn5Click();
    void BitBtn10Click();

    // Card reading and diagnostics.
    void BitBtn3Click();
    void Button3Click();
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void BitBtn11Click();

    // The controls in tab order, as the keyboard walks them.
    QList<QWidget *> tabOrder() const { return m_tabOrder; }

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    friend struct TForm1TestAccess;

    void createControls();
    void nameControlsForAssistiveTechnology();
    void centreOnScreen();
    void prepareServiceView();
    void growToServiceView();
    bool fitServiceViewToScreen();

    // Runs one handler; an error that escapes it goes to the general error
    // display and the program goes on.
    void runHandler(const std::function<void()> &handler);
    void runHandler(void (TForm1::*handler)())
    {
        runHandler([this, handler] { (this->*handler)(); });
    }
    void showGeneralError(const QString &text);

    bool CheckCardPresent();

    // The guest card script both issue buttons share. `checkout` gives the
    // checkout time once the card is known to be there; `onSuccess` shows a
    // written card.
    void issueGuestCard(const std::function<QString()> &checkout,
                        const std::function<void()> &onSuccess);
    // What follows every card write: the beep, the card the library answered,
    // and a failure with its code. Returns whether the write succeeded.
    bool finishCardWrite(int32_t result, const char *cardHexStr, const QString &failureText);

    // The guest-field decoders: hotel identifier, card hex string, field out.
    using GuestFieldCall = int32_t (EncoderLibrary::*)(int32_t, const char *, char *);
    // Reads the card, has the library decode one guest field and shows it
    // after `label`, or why it could not.
    void showGuestField(GuestFieldCall decode, const QString &label);

    EncoderLibrary &m_encoder;
    OperatorDialogs &m_dialogs;
    const Clock &m_clock;
    QString m_programDir;
    StationState m_station;
    QList<QWidget *> m_tabOrder;
    QWidget *m_clientArea = this;
    QScrollArea *m_scrollArea = nullptr;
};

// The application title: the program's name and the general error display's caption.
inline const QString kApplicationTitle = QStringLiteral("制客人卡系统");
