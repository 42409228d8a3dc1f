#include "tests/support/FormFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct ShownView : FormHarness
{
    explicit ShownView(TForm1::View view)
    {
        create(view);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
};

// Every control as a technician would check it: kind, parent, place, text,
// font, colours, and whether it is enabled and shown.
QStringList described(const TForm1 &form)
{
    QStringList lines;
    for (const QWidget *control : form.clientArea()->findChildren<QWidget *>()) {
        const QWidget *parent = control->parentWidget();
        QString line =
            QStringLiteral("%1 %2 in %3 '%4%5' %6 enabled=%7 shown=%8 ")
                .arg(QLatin1String(control->metaObject()->className()), control->objectName(),
                     parent == form.clientArea() ? QString() : parent->objectName(),
                     control->property("text").toString(), control->property("title").toString(),
                     control->font().toString())
                .arg(control->isEnabled())
                .arg(control->isVisibleTo(&form));
        const QRect place = control->geometry();
        for (int value : {place.x(), place.y(), place.width(), place.height()})
            line += QString::number(value) + QLatin1Char(',');
        for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text,
                          QPalette::Window, QPalette::Base})
            line += control->palette().color(role).name();
        lines << line;
    }
    lines.sort();
    return lines;
}

TEST(ServiceView, ShowsTheClerksWindowUnchangedWithEveryControlAtItsPlace)
{
    ShownView clerk(TForm1::View::Clerk);
    ShownView service(TForm1::View::Service);
    EXPECT_EQ(clerk.form->findChild<QScrollArea *>(), nullptr);
    EXPECT_EQ(service.form->windowTitle(), QStringLiteral("制客人卡"));
    EXPECT_EQ(described(*service.form), described(*clerk.form));

    // The clerk's area, as painted, stays at the top left.
    const auto painted = [](QWidget *window) {
        return window->grab(QRect(0, 0, 573, 357)).toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_TRUE(painted(service.form.get()) == painted(clerk.form.get()));

    // The disabled library buttons look disabled, whatever their caption colour.
    const QString greyed =
        QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText).name();
    for (QWidget *button : {service.form->BitBtn1, service.form->BitBtn3})
        EXPECT_EQ(button->palette().color(QPalette::Disabled, QPalette::ButtonText).name(), greyed)
            << button->objectName().toStdString();

    // The client area reaches the furthest control of the layout.
    QWidget *client = service.form->clientArea();
    EXPECT_EQ(client->size(), QSize(849, 905));
    for (QWidget *control : client->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(client->rect().contains(control->geometry()))
            << control->objectName().toStdString();
}

// The test screen is lower than the laid-out area.
TEST(ServiceView, ScrollsWithinASmallScreenAndTabBringsAControlIntoView)
{
    ShownView h(TForm1::View::Service);
    TForm1 &f = *h.form;
    const QRect available = f.screen()->availableGeometry();
    ASSERT_LT(available.height(), f.clientArea()->height());
    EXPECT_TRUE(available.contains(f.frameGeometry())) << "the window runs off the screen";
    EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "the window must not be resizable";

    auto *scrollArea = f.findChild<QScrollArea *>();
    const auto inView = [viewport = scrollArea->viewport()](QWidget *control) {
        return viewport->rect().contains(
            QRect(control->mapTo(viewport, QPoint(0, 0)), control->size()));
    };
    // Scrolled to the bottom, where the guest-card panel's top is out of view.
    f.Edit1->setFocus(Qt::TabFocusReason);
    scrollArea->ensureWidgetVisible(f.GroupBox4);
    ASSERT_FALSE(inView(f.Edit2));
    QTest::keyClick(f.Edit1, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), f.Edit2);
    EXPECT_TRUE(inView(f.Edit2));
}

} // namespace
