// The yardstick for the station's start-up: a bare Qt dialog with as many
// widgets as the station's window, nothing else (no library, no hand-off
// file, no fonts or converters of its own).
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
    }
    dialog.show();
    return app.exec();
}
