// Card erase and lost-card notice. Neither touches the port.
#include "app/Clock.h"
#include "app/Convert.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "encoder/EncoderLibrary.h"

#include <QLineEdit>

#include <array>

void TForm1::BitBtn5Click()
{
    if (!CheckCardPresent())
        return;
    const int32_t coID = toIntLenient(edt_coID->text());
    char cardHexStr[KELRIN_CARD_HEX_SIZE] = {};
    const int32_t result = m_encoder.CardErase(m_station.encoderTypeByte(), coID, cardHexStr);
    if (finishCardWrite(result, cardHexStr, QStringLiteral("注销失败\n")))
        m_dialogs.messageBox(QStringLiteral("注销成功"), QStringLiteral("提示"), InformationOk);
}

void TForm1::BitBtn10Click()
{
    if (!CheckCardPresent())
        return;
    // The one card this notice names, whatever card lies on the encoder.
    const std::array<uint8_t, 4> lostCardIds{0x60, 0x12, 0xD2, 0x91};
    const QByteArray limitTime = toLibraryText(libraryTimeStamp(m_clock.now()));
    const int32_t dai = toIntLenient(edt_Dai->text());
    const int32_t cardNo = toIntLenient(edt_CardNo->text());
    const int32_t coID = toIntLenient(edt_coID->text());
    char cardHexStr[KELRIN_CARD_HEX_SIZE] = {};
    const int32_t result =
        m_encoder.LimitCard(m_station.encoderTypeByte(), coID, cardNo, dai, limitTime.constData(),
                            lostCardIds.data(), cardHexStr);
    if (finishCardWrite(result, cardHexStr, QStringLiteral("调用挂失卡函数失败\n")))
        m_dialogs.messageBox(QStringLiteral("调用挂失卡函数成功\n本例子挂失卡号为: 6012D291"),
                             QStringLiteral("提示"), InformationOk);
}
