#include "app/QtOperatorDialogs.h"
#include "app/StandardTexts.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

struct BoxCase
{
    const char *name;
    int flags;
    QMessageBox::Icon icon;
    int buttons;          // how many buttons the box has
    bool cancelIsDefault; // else OK is
};

void PrintTo(const BoxCase &c, std::ostream *os)
{
    *os << c.name;
}

class MessageBoxFlags : public ::testing::TestWithParam<BoxCase>
{
};

TEST_P(MessageBoxFlags, ShowIconButtonsAndAnswerEscapeAsTheirLastButton)
{
    const BoxCase &c = GetParam();
    QWidget owner;
    owner.show();
    QtOperatorDialogs dialogs;
    dialogs.setOwner(&owner);
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
        EXPECT_EQ(box->text(), QStringLiteral("读卡失败\n-3"));
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->buttons().size(), c.buttons);
        EXPECT_EQ(box->parentWidget(), &owner);
        const QPushButton *preferred = box->defaultButton();
        ASSERT_NE(preferred, nullptr);
        EXPECT_EQ(box->standardButton(const_cast<QPushButton *>(preferred)),
                  c.cancelIsDefault ? QMessageBox::Cancel : QMessageBox::Ok);
        // Ctrl+C copies caption and text, as on Windows.
        QGuiApplication::clipboard()->clear();
        box->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
            QStringLiteral("---------------------------\n提示\n---------------------------\n"
                           "读卡失败\n-3\n---------------------------\n")))
            << QGuiApplication::clipboard()->text().toStdString();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    const int answer =
        dialogs.messageBox(QStringLiteral("读卡失败\n-3"), QStringLiteral("提示"), c.flags);
    EXPECT_EQ(answer, c.buttons == 2 ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, MessageBoxFlags,
    ::testing::Values(BoxCase{"error", 16, QMessageBox::Critical, 1, false},
                      BoxCase{"warning", 48, QMessageBox::Warning, 1, false},
                      BoxCase{"information", 64, QMessageBox::Information, 1, false},
                      BoxCase{"question", 289, QMessageBox::Question, 2, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(MessageBox, OkOnAQuestionAnswersOne)
{
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("是否继续显示下一条记录？"),
                                 QStringLiteral("操作提示"), 289),
              1);
}

TEST(MessageBox, ClosingAQuestionAnswersCancel)
{
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) { modal->close(); });
    EXPECT_EQ(dialogs.messageBox(QStringLiteral("?"), QStringLiteral("操作提示"), 289), 2);
}

TEST(MessageBox, ButtonsAndContextMenusSpeakChinese)
{
    ASSERT_TRUE(loadChineseQtTexts(*qApp))
        << "qtbase_zh_CN.qm is not installed (qt6-translations-l10n)";
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
        EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    dialogs.messageBox(QStringLiteral("是否继续显示下一条记录？"), QStringLiteral("操作提示"), 289);

    QLineEdit field;
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList entries;
    for (const QAction *action : menu->actions())
        entries << action->text().section('\t', 0, 0); // without the shortcut
    EXPECT_TRUE(entries.contains(QStringLiteral("复制(&C)")) &&
                entries.contains(QStringLiteral("全选")))
        << entries.join('|').toStdString();
}

TEST(Prompt, OffersThePresetSelectedAndReturnsTheEditedText)
{
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("解析开门记录"));
        auto *edit = dialog->findChild<QLineEdit *>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->maxLength(), 255);
        EXPECT_EQ(edit->selectedText(), QStringLiteral("6B15458D15EA3941"));
        QTest::keyClicks(edit, QStringLiteral("0011"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    const auto answer = dialogs.prompt(QStringLiteral("解析开门记录"), QStringLiteral("label\n"),
                                       QStringLiteral("6B15458D15EA3941"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, QStringLiteral("0011"));
}

TEST(Prompt, CancelReturnsNothing)
{
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.prompt(QStringLiteral("c"), QStringLiteral("l"), QStringLiteral("v")));
}

// A card hex string, a version or a decoded record is the vendor library's
// text: markup in it must show as it is, not be interpreted.
TEST(MessageBox, ShowsTextAsPlainText)
{
    QtOperatorDialogs dialogs;
    whenModal([](QWidget *modal) {
        auto *label = modal->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_TRUE(label->text().contains(QStringLiteral("<b>x</b>")));
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialogs.messageBox(QStringLiteral("DLL版本号：<b>x</b>"), QStringLiteral("提示"), 64);
    whenModal([](QWidget *modal) {
        auto *label = modal->findChild<QLabel *>();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialogs.prompt(QStringLiteral("c"), QStringLiteral("<b>x</b>"), QStringLiteral("v"));
}

// The helper the dialog tests rely on: a dialog that never comes, or one the
// test leaves open, fails the test instead of blocking it.
TEST(WhenModal, FailsInsteadOfHanging)
{
    EXPECT_NONFATAL_FAILURE(
        {
            QtOperatorDialogs dialogs;
            whenModal([](QWidget *) {});
            dialogs.messageBox(QStringLiteral("left open"), QStringLiteral("提示"), 64);
        },
        "still open after the test acted on it");
    EXPECT_NONFATAL_FAILURE(
        {
            whenModal([](QWidget *) {}, std::chrono::milliseconds(20));
            QTest::qWait(200);
        },
        "no modal dialog came up");
}

TEST(WaitCursor, NestsAndRestores)
{
    QtOperatorDialogs dialogs;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    dialogs.beginWaitCursor();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    dialogs.beginWaitCursor();
    dialogs.endWaitCursor();
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    dialogs.endWaitCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
