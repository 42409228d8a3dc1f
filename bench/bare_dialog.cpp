// The yardstick for the station's start-up: a bare Qt dialog with as many
// widgets as the station's window, nothing else (no library, no hand-off
// file, no fonts or converters of its own).
//
//   bare_dialog [WIDGETS] [cjk]
//
// With "cjk" its captions are Chinese, in the CJK face the station falls back
// to and in the station's seven font sizes, bold and regular: what the
// window's text alone costs, to tell it from the station's own work.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("bare dialog"));
    dialog.setFixedSize(573, 357);
    const int widgets = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50;
    const bool cjk = argc > 2 && qstrcmp(argv[2], "cjk") == 0;
    const int sizes[] = {12, 13, 14, 16, 19, 21, 12};
    for (int i = 0; i < widgets; ++i) {
        QWidget *widget = nullptr;
        switch (i % 3) {
        case 0:
            widget = new QLabel(QStringLiteral("label %1").arg(i), &dialog);
            break;
        case 1:
            widget = new QLineEdit(QStringLiteral("edit %1").arg(i), &dialog);
            break;
        default:
            widget = new QPushButton(QStringLiteral("button %1").arg(i), &dialog);
            break;
        }
        widget->setGeometry(8 + (i % 5) * 110, 8 + (i / 5) * 30, 100, 24);
        if (cjk) {
            QFont font;
            font.setFamilies({QStringLiteral("WenQuanYi Zen Hei")});
            font.setPixelSize(sizes[i % 7]);
            font.setBold(i % 2);
            widget->setFont(font);
            if (auto *label = qobject_cast<QLabel *>(widget))
                label->setText(QStringLiteral("客人卡信息%1").arg(i));
            else if (auto *edit = qobject_cast<QLineEdit *>(widget))
                edit->setText(QStringLiteral("东楼%1").arg(i));
            else if (auto *button = qobject_cast<QPushButton *>(widget))
                button->setText(QStringLiteral("制客人卡%1").arg(i));
        }
    }
    dialog.show();
    return app.exec();
}
