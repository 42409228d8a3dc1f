// Guest card issue.
#include "app/Clock.h"
#include "app/Controls.h"
#include "app/Convert.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "encoder/EncoderLibrary.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void TForm1::issueGuestCard(const std::function<QString()> &checkout,
                            const std::function<void()> &onSuccess)
{
    // A success note left from an earlier card would claim this attempt
    // succeeded too, whatever becomes of it.
    StaticText2->setText(QString());
    if (!CheckCardPresent())
        return;
    const uint8_t canOpenDeadbolt = RadioButton1->isChecked() ? 1 : 0;
    const uint8_t issueFlag = 1;
    const QByteArray lockNo = toLibraryText(edt_LockNo->text());
    const QByteArray eTime = toLibraryText(checkout());
    const QByteArray beginTime = toLibraryText(libraryTimeStamp(m_clock.now()));
    const int32_t dai = toIntLenient(edt_Dai->text());
    const int32_t cardNo = toIntLenient(edt_CardNo->text());
    const int32_t coID = toIntLenient(edt_coID->text());
    // The written card goes to its own buffer: CardDataBuffer keeps the card as read.
    char cardHexStr[KELRIN_CARD_HEX_SIZE] = {};
    const int32_t result = m_encoder.GuestCard(m_station.encoderTypeByte(), coID, cardNo, dai,
                                               canOpenDeadbolt, issueFlag, beginTime.constData(),
                                               eTime.constData(), lockNo.constData(), cardHexStr);
    if (finishCardWrite(result, cardHexStr, QStringLiteral("调用发卡函数失败\n")))
        onSuccess();
    // The port closes after every attempt, once the operator has seen its outcome.
    BitBtn12->click();
}

void TForm1::Button2Click()
{
    issueGuestCard([this] { return Edit1->text(); },
                   [this] { StaticText2->setText(QStringLiteral("发卡成功!")); });
}

void TForm1::BitBtn2Click()
{
    issueGuestCard(
        [this] {
            // The first picker holds the date, the second the time of day; the
            // first keeps the combined value.
            DateTimePicker1->setDateTime(
                QDateTime(DateTimePicker1->date(), DateTimePicker2->time()));
            return libraryTimeStamp(DateTimePicker1->dateTime());
        },
        [this] {
            m_dialogs.messageBox(QStringLiteral("调用发卡函数成功"), QStringLiteral("提示"),
                                 InformationOk);
        });
}
