#include "app/Controls.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "encoder/EncoderLibrary.h"

#include <QLineEdit>

bool TForm1::finishCardWrite(int32_t result, const char *cardHexStr, const QString &failureText)
{
    // The whole value, not the byte the device calls get: only the KelUSB
    // encoder beeps after a write, whatever the write's result.
    if (m_station.EncoderType == 1)
        m_encoder.Buzzer(m_station.encoderTypeByte(), 20);
    setFieldText(edt_CardData, fromLibraryText(bufferText(cardHexStr, KELRIN_CARD_HEX_SIZE)));
    if (result != 0)
        m_dialogs.messageBox(failureText + QString::number(result), QStringLiteral("提示"),
                             WarningOk);
    return result == 0;
}
