#include "tests/support/FormFixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

struct LoadCase
{
    const char *name;
    std::optional<QByteArray> file; // nothing: no hotel.ini at all
    const char16_t *checkout, *lockNo, *coID, *roomNo;
};

void PrintTo(const LoadCase &c, std::ostream *os)
{
    *os << c.name;
}

class HandoffLoad : public ::testing::TestWithParam<LoadCase>
{
};

// The window's fields after showing, against the hand-off beside the program.
TEST_P(HandoffLoad, FillsTheFourFieldsAndNothingElse)
{
    const LoadCase &c = GetParam();
    FormHarness h;
    if (c.file)
        writeFile(QDir(h.programDir.path()).filePath("hotel.ini"), *c.file);
    h.create();
    h.form->show();
    TForm1 &f = *h.form;
    EXPECT_EQ(f.Edit1->text(), QString::fromUtf16(c.checkout));
    EXPECT_EQ(f.edt_LockNo->text(), QString::fromUtf16(c.lockNo));
    EXPECT_EQ(f.edt_coID->text(), QString::fromUtf16(c.coID));
    EXPECT_EQ(f.Edit2->text(), QString::fromUtf16(c.roomNo));
    // Every field shows its text from the start, also when wider than the field.
    for (const QLineEdit *field :
         {f.Edit1, f.edt_LockNo, f.edt_coID, f.Edit2, f.edt_Dai, f.edt_CardNo})
        EXPECT_EQ(field->cursorPosition(), 0) << field->objectName().toStdString();
    // The hand-off does not touch the generation and the card number.
    EXPECT_EQ(f.edt_Dai->text(), QStringLiteral("0"));
    EXPECT_EQ(f.edt_CardNo->text(), QStringLiteral("0"));
    EXPECT_TRUE(f.RadioButton1->isChecked());
    EXPECT_TRUE(h.dialogs.shown.isEmpty()) << "no hand-off problem is ever reported";
}

INSTANTIATE_TEST_SUITE_P(
    Files, HandoffLoad,
    ::testing::Values(
        LoadCase{"typical_stay",
                 QByteArray("[MAIN]\r\nleavedate=261224\r\nleavetime=1200\r\nroomno=01020399\r\n"
                            "coid=508317\r\nfh=\xB6\xAB\xC2\xA5"
                            "203\r\n"),
                 u"2612241200", u"01020399", u"508317", u"东楼203"},
        LoadCase{"values_wider_than_their_fields",
                 QByteArray("[MAIN]\nleavedate=20261224\nleavetime=120000\n"
                            "roomno=0102039901020399\ncoid=5083175083175083\n"
                            "fh=\xB6\xAB\xC2\xA5"
                            "203\xBA\xC5\xCC\xD7\xB7\xBF(\xD0\xD0\xD5\xFE\xC2\xA5\xB2\xE3)A\n"),
                 u"20261224120000", u"0102039901020399", u"5083175083175083",
                 u"东楼203号套房(行政楼层)A"},
        LoadCase{"no_file", std::nullopt, u"", u"", u"", u""},
        LoadCase{"empty_file", QByteArray(), u"", u"", u"", u""},
        LoadCase{"time_missing", QByteArray("[MAIN]\nleavedate=261224\nroomno=01020399\n"),
                 u"261224", u"01020399", u"", u""},
        LoadCase{"other_case_and_blanks",
                 QByteArray("[main]\nROOMNO =  01020399  \nCoId=abc\nLeaveTime= 0930\n"), u"0930",
                 u"01020399", u"abc", u""},
        LoadCase{"other_section_only", QByteArray("[HOTEL]\nroomno=01020399\n"), u"", u"", u"",
                 u""},
        LoadCase{"binary_junk", QByteArray("\x00\xFF\xFE[MA\x00IN]\n=\n\x81", 13), u"", u"", u"",
                 u""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HandoffLoad, DesignTextsAreReplacedBeforeTheFieldsFirstPaint)
{
    FormHarness h;
    writeFile(QDir(h.programDir.path()).filePath("hotel.ini"),
              "[MAIN]\nleavedate=261224\nleavetime=1200\nroomno=05060708\nfh=305\n");
    h.create();
    QString paintedLockNo, paintedRoomNo;
    struct FirstPaint : QObject
    {
        QString *seen;
        explicit FirstPaint(QString *s) : seen(s) {}
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && seen->isNull())
                *seen = static_cast<QLineEdit *>(watched)->text();
            return false;
        }
    } lockWatch(&paintedLockNo), roomWatch(&paintedRoomNo);
    h.form->edt_LockNo->installEventFilter(&lockWatch);
    h.form->Edit2->installEventFilter(&roomWatch);
    h.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(h.form.get()));
    QTRY_VERIFY(!paintedLockNo.isNull());
    EXPECT_EQ(paintedLockNo, QStringLiteral("05060708"));
    EXPECT_EQ(paintedRoomNo, QStringLiteral("305"));
    h.form->edt_LockNo->removeEventFilter(&lockWatch);
    h.form->Edit2->removeEventFilter(&roomWatch);
}

TEST(HandoffLoad, AFileInTheWorkingDirectoryIsNotRead)
{
    FormHarness h;
    QTemporaryDir workingDir;
    writeFile(QDir(workingDir.path()).filePath("hotel.ini"), "[MAIN]\nroomno=99999999\n");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workingDir.path()));
    h.create();
    h.form->show();
    QDir::setCurrent(previous);
    EXPECT_EQ(h.form->edt_LockNo->text(), QString());
}

TEST(HandoffLoad, TheFileIsLeftByteForByteAsItWas)
{
    FormHarness h;
    const QString path = QDir(h.programDir.path()).filePath("hotel.ini");
    const QByteArray bytes("[MAIN]\r\nroomno=01020399\r\nfh=\xB6\xAB\r\n");
    writeFile(path, bytes);
    const QDateTime modified = QFileInfo(path).lastModified();
    h.create();
    h.form->show();
    h.form->close();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_EQ(QDir(h.programDir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"hotel.ini"});
}

} // namespace
