// Card data display and the hotel identifier taken from a card.
#include "app/Controls.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "cards/read/ReadingText.h"

#include <QLineEdit>

void TForm1::BitBtn3Click()
{
    if (!CheckCardPresent())
        return;
    const QByteArray card = m_station.cardData();
    setFieldText(edt_CardData, fromLibraryText(card));
    // A lone carriage return between the two lines, as the operators know it.
    m_dialogs.messageBox(QStringLiteral("卡的流水号：") + fromLibraryText(cardSerialNumber(card)) +
                             u'\r' + QStringLiteral("卡的固有ID号：") +
                             fromLibraryText(cardFixedId(card)),
                         QStringLiteral("提示"), InformationOk);
}

void TForm1::Button3Click()
{
    if (!CheckCardPresent())
        return;
    const QByteArray card = m_station.cardData();
    // A blank card names no hotel. The field keeps the identifier the
    // hand-off gave: emptying it would have the next guest card written for
    // hotel 0.
    if (cardSerialNumber(card) == "FFFFFFFF") {
        m_dialogs.messageBox(QStringLiteral("此卡是空白卡，请换一张能开门的卡"),
                             QStringLiteral("提示"), WarningOk);
        return;
    }
    // Written only once both pieces have converted.
    setFieldText(edt_coID, QString::number(hotelIdFromCard(card)));
}
