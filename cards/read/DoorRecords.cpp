// Door-open record reading and decoding.
#include "app/LibraryText.h"
#include "app/OperatorDialogs.h"
#include "app/TForm1.h"
#include "cards/read/ReadingText.h"
#include "encoder/EncoderLibrary.h"

#include <memory>

namespace {

// Offered for every record when the dump could not be read, so that the
// operator can still type records in by hand.
constexpr char kDefaultRecord[] = "6B15458D15EA3941";
constexpr int kMaxRecords = 224;

} // namespace

void TForm1::BitBtn11Click()
{
    // 20001 bytes: on the heap, not the stack.
    const auto dumpBuffer = std::make_unique<char[]>(KELRIN_RECORD_TEXT_SIZE);
    {
        WaitCursor wait(m_dialogs);
        m_station.LastResult = m_encoder.ReadRecord(m_station.encoderTypeByte(), dumpBuffer.get());
    }
    if (m_station.LastResult != 0 &&
        m_dialogs.messageBox(QStringLiteral("读取开门记录失败，是否继续？\n") +
                                 QString::number(m_station.LastResult),
                             QStringLiteral("错误提示"), QuestionOkCancel) == AnswerCancel)
        return;
    const QByteArray dump = bufferText(dumpBuffer.get(), KELRIN_RECORD_TEXT_SIZE);

    // Zeroed once: a decode that writes less leaves the earlier record's tail.
    DecodedRecord decoded{};
    for (int i = 0; i < kMaxRecords; ++i) {
        const QByteArray preset =
            m_station.LastResult != 0 ? QByteArray(kDefaultRecord) : recordPreset(dump, i);
        const auto record =
            m_dialogs.prompt(QStringLiteral("解析开门记录"),
                             QStringLiteral("请输入原始数据（16个字符）\n默认第 ") +
                                 QString::number(i % 4) + QStringLiteral(" 条记录") + u'\n',
                             fromLibraryText(preset));
        if (!record)
            return;
        const int32_t result =
            m_encoder.GetOpenRecordByDataStr(toLibraryText(*record).constData(), decoded.data());
        if (result == 0)
            m_dialogs.messageBox(decodedRecordMessage(decoded), QStringLiteral("提示"),
                                 InformationOk);
        else
            m_dialogs.messageBox(QStringLiteral("解析失败"), QStringLiteral("提示"), WarningOk);
        if (m_dialogs.messageBox(QStringLiteral("是否继续显示下一条记录？"),
                                 QStringLiteral("操作提示"), QuestionOkCancel) == AnswerCancel)
            return;
    }
}
