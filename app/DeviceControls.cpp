// The controls that drive the encoder itself rather than a card.
#include "app/Controls.h"
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "encoder/EncoderLibrary.h"

#include <QLineEdit>

void TForm1::RadioButton3Click()
{
    m_station.EncoderType = 0;
}

void TForm1::RadioButton4Click()
{
    m_station.EncoderType = 1;
}

void TForm1::Button1Click()
{
    const int32_t result = m_encoder.initializeUSB(m_station.encoderTypeByte());
    if (result != 0)
        m_dialogs.messageBox(QStringLiteral("打开USB失败\n") + QString::number(result),
                             QStringLiteral("提示"), WarningOk);
}

void TForm1::BitBtn12Click()
{
    m_encoder.CloseUSB(m_station.encoderTypeByte());
}

void TForm1::BitBtn1Click()
{
    m_encoder.Buzzer(m_station.encoderTypeByte(), 50);
}

void TForm1::BitBtn6Click()
{
    char versionText[KELRIN_VERSION_SIZE] = {};
    const int32_t result = m_encoder.GetDLLVersion(versionText);
    const QString version = fromLibraryText(bufferText(versionText, KELRIN_VERSION_SIZE));
    StatusBar1->panel(0)->setText(QString::number(result));
    StatusBar1->panel(1)->setText(version);
    if (result == 0)
        m_dialogs.messageBox(QStringLiteral("DLL版本号：") + version, QStringLiteral("提示"),
                             InformationOk);
}

void TForm1::BitBtn4Click()
{
    setFieldText(edt_CardNo, QStringLiteral("0"));
    setFieldText(edt_LockNo, QStringLiteral("01020399"));
    setFieldText(edt_Dai, QStringLiteral("0"));
}
