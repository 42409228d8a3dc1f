#include "app/QtOperatorDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace {

QMessageBox::Icon iconFor(int flags)
{
    switch (flags & 0xF0) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The box as text, laid out as a Windows message box copies itself.
QString boxAsText(const QMessageBox &box)
{
    const QString rule = QStringLiteral("---------------------------\n");
    QStringList buttons;
    for (const QAbstractButton *button : box.buttons())
        buttons << button->text();
    return rule + box.windowTitle() + u'\n' + rule + box.text() + u'\n' + rule +
           buttons.join(QStringLiteral("   ")) + u'\n' + rule;
}

} // namespace

int QtOperatorDialogs::messageBox(const QString &text, const QString &caption, int flags)
{
    QMessageBox box(iconFor(flags), caption, text, QMessageBox::NoButton, m_owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    const bool okCancel = (flags & 0x0F) == 1;
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    QPushButton *cancel = nullptr;
    if (okCancel) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    // Flag 256 makes the second button the default one.
    box.setDefaultButton((flags & 0x100) && cancel ? cancel : ok);
    // Ctrl+C copies the box, as it does on Windows, so that a clerk can pass
    // a failure and its code on without retyping them.
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box,
                     [&box] { QGuiApplication::clipboard()->setText(boxAsText(box)); });
    box.exec();
    // The close box and Escape answer with the escape button.
    return box.clickedButton() == ok ? AnswerOk : AnswerCancel;
}

std::optional<QString> QtOperatorDialogs::prompt(const QString &caption, const QString &label,
                                                 const QString &value)
{
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(value);
    dialog.setWindowModality(Qt::ApplicationModal);
    // The label may carry text from the library: never markup.
    if (auto *shown = dialog.findChild<QLabel *>())
        shown->setTextFormat(Qt::PlainText);
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        edit->setMaxLength(255);
        edit->selectAll();
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void QtOperatorDialogs::beginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtOperatorDialogs::endWaitCursor()
{
    QApplication::restoreOverrideCursor();
}
