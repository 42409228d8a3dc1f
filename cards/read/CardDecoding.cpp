// Card type and guest-field decoding.
#include "app/Controls.h"
#include "app/Convert.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "encoder/EncoderLibrary.h"

#include <QLineEdit>

namespace {

// The card type codes "0"-"9", "A"-"F" in words; any other code has none.
QString cardTypeText(char code)
{
    static const char16_t *const kTexts[] = {
        u"授权卡",         u"记录卡",           u"房号设置卡",       u"时间设置卡",
        u"限制卡[挂失卡]", u"组号设置卡",       u"客人卡",           u"退房卡",
        u"组控卡",         u"未知卡[无此类型]", u"应急卡",           u"总控卡",
        u"楼栋卡",         u"楼层卡",           u"未知卡[无此类型]", u"空白卡",
    };
    int index = -1;
    if (code >= '0' && code <= '9')
        index = code - '0';
    else if (code >= 'A' && code <= 'F')
        index = code - 'A' + 10;
    return index < 0 ? QString() : QString::fromUtf16(kTexts[index]);
}

} // namespace

void TForm1::BitBtn7Click()
{
    if (!CheckCardPresent())
        return;
    setFieldText(edt_CardData, fromLibraryText(m_station.cardData()));
    char cardType[KELRIN_FIELD_SIZE] = {};
    m_station.LastResult =
        m_encoder.GetCardTypeByCardDataStr(m_station.CardDataBuffer.data(), cardType);
    if (m_station.LastResult != 0) {
        m_dialogs.messageBox(QStringLiteral("卡数据串无效：") +
                                 QString::number(m_station.LastResult),
                             QStringLiteral("提示"), WarningOk);
        return;
    }
    const QString text = cardTypeText(cardType[0]);
    if (!text.isEmpty())
        m_dialogs.messageBox(text, QStringLiteral("提示"), InformationOk);
}

void TForm1::BitBtn8Click()
{
    showGuestField(&EncoderLibrary::GetGuestLockNoByCardDataStr, QStringLiteral("锁号:\n"));
}

void TForm1::BitBtn9Click()
{
    showGuestField(&EncoderLibrary::GetGuestETimeByCardDataStr, QStringLiteral("离店时间:\n"));
}

void TForm1::showGuestField(GuestFieldCall decode, const QString &label)
{
    if (!CheckCardPresent())
        return;
    const QString card = fromLibraryText(m_station.cardData());
    setFieldText(edt_CardData, card);
    const int32_t coID = toIntLenient(edt_coID->text());
    char field[KELRIN_FIELD_SIZE] = {};
    m_station.LastResult = (m_encoder.*decode)(coID, m_station.CardDataBuffer.data(), field);
    QString text;
    int flags = WarningOk;
    switch (m_station.LastResult) {
    case 0:
        text = label + fromLibraryText(bufferText(field, KELRIN_FIELD_SIZE));
        flags = InformationOk;
        break;
    case 1:
        text = QStringLiteral("卡数据串无效\n") + card;
        break;
    case 2:
        text = QStringLiteral("非本酒店卡\n") + card;
        break;
    case 3:
        text = QStringLiteral("不是客人卡\n") + card;
        break;
    default:
        text =
            QStringLiteral("未知返回值\n") + QString::number(m_station.LastResult) + u'\n' + card;
        break;
    }
    m_dialogs.messageBox(text, QStringLiteral("提示"), flags);
}
