#include "app/TForm1.h"

#include "app/CardText.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "encoder/EncoderLibrary.h"

// Reads the card into CardDataBuffer and tells whether one lies on the
// encoder. When it declines it has told the operator why.
bool TForm1::CheckCardPresent()
{
    bool present = false;
    WaitCursor wait(m_dialogs);
    const int32_t result =
        m_encoder.ReadCard(m_station.encoderTypeByte(), m_station.CardDataBuffer.data());
    m_station.CardDataBuffer.back() = '\0';
    if (result != 0) {
        m_dialogs.messageBox(QStringLiteral("读卡失败\n") + QString::number(result),
                             QStringLiteral("提示"), ErrorOk);
    } else {
        const QByteArray card = m_station.cardData();
        if (cardPresent(card))
            present = true;
        else
            m_dialogs.messageBox(QStringLiteral("发卡器的感应区无卡\n") + fromLibraryText(card),
                                 QStringLiteral("提示"), WarningOk);
    }
    return present;
}
