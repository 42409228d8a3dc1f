#include "app/LibraryText.h"
#include "tests/support/FormFixture.h"
#include "tests/support/RecordDump.h"
#include "tests/support/TableRows.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using tableRows::PrintTo;

using Names = std::vector<std::string>;
using Shown = ScriptedDialogs::Shown;

const QString kDefaultRecord = QStringLiteral("6B15458D15EA3941");

// A window whose encoder answers ReadRecord with `result` and `dump`.
struct RecordForm : FormHarness
{
    explicit RecordForm(int32_t result = 0, const QByteArray &dump = sampleRecordDump())
    {
        create();
        encoder.calls.clear();
        encoder.script("ReadRecord", result, dump.toStdString());
    }
    void answerPrompts(int count, const QString &text = kDefaultRecord)
    {
        for (int i = 0; i < count; ++i)
            dialogs.promptAnswers.push_back(text);
    }
    QList<Shown> prompts() const
    {
        QList<Shown> result;
        for (const Shown &s : dialogs.shown)
            if (s.kind == Shown::Prompt)
                result.append(s);
        return result;
    }
    int decodes() const
    {
        const Names names = encoder.callNames();
        return int(std::count(names.begin(), names.end(), "GetOpenRecordByDataStr"));
    }
};

QString promptLabel(int place)
{
    return QStringLiteral("请输入原始数据（16个字符）\n默认第 %1 条记录\n").arg(place);
}

TEST(DoorRecords, OffersTheDumpsRecordsWithTheirPlaceInTheBlock)
{
    const QByteArray dump = sampleRecordDump();
    RecordForm h(0, dump);
    // Edited answers, one with Chinese text, go to the library as typed.
    const QStringList answers = {QStringLiteral("0000"), QStringLiteral("门 1"), QStringLiteral(""),
                                 QString(20, u'F')};
    for (const QString &answer : answers)
        h.dialogs.promptAnswers.push_back(answer);
    h.answerPrompts(4);
    // Decoded message and continue question for seven records, then Cancel.
    h.dialogs.messageAnswers.assign(15, AnswerOk);
    h.dialogs.messageAnswers.push_back(AnswerCancel);
    h.form->BitBtn11->click();

    ASSERT_EQ(h.encoder.calls.at(0).function, "ReadRecord");
    EXPECT_EQ(h.encoder.calls[0].args, (Names{"1", "<out>"}));
    const QList<Shown> prompts = h.prompts();
    ASSERT_EQ(prompts.size(), 8);
    const qsizetype positions[] = {599, 615, 631, 647, 673, 689, 705, 721};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(prompts[i].caption, QStringLiteral("解析开门记录"));
        EXPECT_EQ(prompts[i].text, promptLabel(i % 4)) << "prompt " << i;
        EXPECT_EQ(prompts[i].value, QString::fromLatin1(dump.mid(positions[i] - 1, 16)))
            << "prompt " << i;
    }
    ASSERT_EQ(h.decodes(), 8);
    for (int i = 0; i < answers.size(); ++i)
        EXPECT_EQ(h.encoder.calls[std::size_t(i) + 1].args.at(0),
                  toLibraryText(answers[i]).toStdString());
    EXPECT_EQ(h.dialogs.waitCursorShows, 1);
    for (const Shown &s : h.dialogs.shown)
        EXPECT_FALSE(s.waitCursor) << "the wait cursor is for the read only";
    EXPECT_EQ(h.dialogs.waitCursorDepth, 0);
}

struct StopCase
{
    const char *name;
    int32_t readResult;
    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> promptAnswers;
    int prompts;
    int decodes;
    const char16_t *lastText; // what the operator cancelled: a message or a prompt label
};

class DoorRecordStop : public ::testing::TestWithParam<StopCase>
{
};

TEST_P(DoorRecordStop, CancelEndsTheWalkAtOnce)
{
    const StopCase &c = GetParam();
    RecordForm h(c.readResult);
    h.dialogs.messageAnswers = c.messageAnswers;
    h.dialogs.promptAnswers = c.promptAnswers;
    h.form->BitBtn11->click();
    EXPECT_EQ(h.prompts().size(), c.prompts);
    EXPECT_EQ(h.decodes(), c.decodes);
    ASSERT_FALSE(h.dialogs.shown.isEmpty());
    EXPECT_EQ(h.dialogs.shown.back().text, QString::fromUtf16(c.lastText));
    EXPECT_TRUE(h.dialogs.messageAnswers.empty() && h.dialogs.promptAnswers.empty())
        << "every scripted answer is used";
    EXPECT_EQ(h.form->station().LastResult, c.readResult);
}

const char16_t *const kFirstPrompt = u"请输入原始数据（16个字符）\n默认第 0 条记录\n";
const char16_t *const kSecondPrompt = u"请输入原始数据（16个字符）\n默认第 1 条记录\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Places, DoorRecordStop, ::testing::Values(
    StopCase{"failure_question", -3, {AnswerCancel}, {}, 0, 0, u"读取开门记录失败，是否继续？\n-3"},
    StopCase{"first_prompt", 0, {}, {std::nullopt}, 1, 0, kFirstPrompt},
    StopCase{"prompt_after_a_record", 0, {AnswerOk, AnswerOk}, {kDefaultRecord, std::nullopt}, 2, 1, kSecondPrompt},
    StopCase{"continue_question", 0, {AnswerOk, AnswerCancel}, {kDefaultRecord}, 1, 1, u"是否继续显示下一条记录？"}),
    tableRows::rowName);
// clang-format on

struct WalkCase
{
    const char *name;
    int32_t readResult;
    int32_t decodeResult;
};

class DoorRecordWalk : public ::testing::TestWithParam<WalkCase>
{
};

TEST_P(DoorRecordWalk, AnsweringOkThroughoutShowsExactly224RecordsAndEndsSilently)
{
    const WalkCase &c = GetParam();
    const QByteArray dump = sampleRecordDump();
    RecordForm h(c.readResult, dump);
    for (int i = 0; i < 224; ++i)
        h.encoder.script("GetOpenRecordByDataStr", c.decodeResult, "62405171345090AB");
    h.answerPrompts(300);
    h.form->BitBtn11->click();

    const QList<Shown> prompts = h.prompts();
    ASSERT_EQ(prompts.size(), 224);
    EXPECT_EQ(h.decodes(), 224);
    const QString last = c.readResult ? kDefaultRecord : QString::fromLatin1(dump.mid(4716, 16));
    EXPECT_EQ(prompts.back().value, last);
    EXPECT_EQ(prompts.back().text, promptLabel(3));
    if (c.readResult) {
        for (const Shown &p : prompts)
            EXPECT_EQ(p.value, kDefaultRecord);
    }
    EXPECT_EQ(h.form->station().LastResult, c.readResult);

    // Per record a prompt, the result, and the continue question.
    const QList<Shown> &shown = h.dialogs.shown;
    const int lead = c.readResult ? 1 : 0;
    ASSERT_EQ(shown.size(), lead + 3 * 224);
    if (c.readResult) {
        EXPECT_EQ(shown[0].text,
                  QStringLiteral("读取开门记录失败，是否继续？\n%1").arg(c.readResult));
        EXPECT_EQ(shown[0].caption, QStringLiteral("错误提示"));
        EXPECT_EQ(shown[0].flags, 289);
    }
    const Shown &result = shown[lead + 1];
    const Shown &question = shown.back();
    if (c.decodeResult) {
        EXPECT_EQ(result.text, QStringLiteral("解析失败"));
        EXPECT_EQ(result.flags, 48);
    } else {
        EXPECT_EQ(result.flags, 64);
    }
    EXPECT_EQ(result.caption, QStringLiteral("提示"));
    EXPECT_EQ(question.text, QStringLiteral("是否继续显示下一条记录？"));
    EXPECT_EQ(question.caption, QStringLiteral("操作提示"));
    EXPECT_EQ(question.flags, 289);
}

INSTANTIATE_TEST_SUITE_P(Dumps, DoorRecordWalk,
                         ::testing::Values(WalkCase{"dump_read", 0, 0},
                                           WalkCase{"read_failed_then_ok", -3, 0},
                                           WalkCase{"every_decode_fails", 0, 1},
                                           WalkCase{"read_and_decodes_fail", 5, 1}),
                         tableRows::rowName);

TEST(DoorRecords, ADecodedRecordIsShownUpToItsFirstNulInABufferZeroedOnce)
{
    RecordForm h;
    // Seven characters without a NUL: the buffer was zeroed when the walk began.
    h.encoder.script("GetOpenRecordByDataStr", 0, "6240517", false);
    h.encoder.script("GetOpenRecordByDataStr", 0, "62405171345090AB");
    // Four characters without a NUL: the rest is the record before's.
    h.encoder.script("GetOpenRecordByDataStr", 0, "7250", false);
    h.answerPrompts(3);
    h.dialogs.messageAnswers = {AnswerOk, AnswerOk, AnswerOk, AnswerOk, AnswerOk, AnswerCancel};
    h.form->BitBtn11->click();

    const auto messages = h.dialogs.messages();
    ASSERT_EQ(messages.size(), 6);
    EXPECT_EQ(
        messages[0].text,
        QStringLiteral("解析出来的字符串：6240517\n具体意思为：\n卡类型：6\n时间：2024/05/17 "));
    EXPECT_EQ(messages[2].text, QStringLiteral("解析出来的字符串：62405171345090AB\n具体意思为：\n"
                                               "卡类型：6\n时间：2024/05/17 13:45:09"));
    EXPECT_EQ(messages[4].text, QStringLiteral("解析出来的字符串：72505171345090AB\n具体意思为：\n"
                                               "卡类型：7\n时间：2025/05/17 13:45:09"));
    EXPECT_EQ(messages[4].caption, QStringLiteral("提示"));
    EXPECT_EQ(messages[4].flags, 64);
}

} // namespace
