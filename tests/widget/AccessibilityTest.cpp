#include "app/Controls.h"
#include "tests/support/FormFixture.h"

#include <QAccessible>
#include <QLineEdit>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace {

void walk(QAccessibleInterface *node, const std::function<void(QAccessibleInterface *)> &visit)
{
    visit(node);
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), visit);
}

QString announced(QObject *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

class AccessibleWindow : public ::testing::TestWithParam<TForm1::View>
{
};

// What a screen reader meets in the shown window: a name at every stop the
// keyboard can reach, each field named by its label.
TEST_P(AccessibleWindow, NamesEveryFocusableControlAndEachFieldByItsLabel)
{
    FormHarness h;
    h.create(GetParam());
    TForm1 &f = *h.form;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&f);
    EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("制客人卡"));
    EXPECT_FALSE(window->text(QAccessible::Description).isEmpty());
    QStringList focusable;
    walk(window, [&](QAccessibleInterface *node) {
        if (!node->state().focusable || node->state().invisible)
            return;
        focusable << node->object()->objectName();
        EXPECT_FALSE(node->text(QAccessible::Name).isEmpty()) << focusable.last().toStdString();
    });
    EXPECT_TRUE(focusable.contains(QStringLiteral("edt_CardData")))
        << "the walk missed controls: " << focusable.join(' ').toStdString();

    const std::pair<QLineEdit *, QLabel *> fields[] = {
        {f.Edit2, f.Label11},  {f.edt_LockNo, f.Label13}, {f.Edit1, f.Label9},
        {f.edt_Dai, f.Label7}, {f.edt_coID, f.Label10},   {f.edt_CardData, f.Label17}};
    for (auto [field, label] : fields)
        EXPECT_EQ(announced(field), label->text()) << field->objectName().toStdString();
    f.StaticText2->setText(QStringLiteral("发卡成功!"));
    EXPECT_EQ(announced(f.StaticText2), QStringLiteral("发卡成功!"));
}

INSTANTIATE_TEST_SUITE_P(Views, AccessibleWindow,
                         ::testing::Values(TForm1::View::Clerk, TForm1::View::Service),
                         [](const auto &info) {
                             return info.param == TForm1::View::Clerk ? "clerk" : "service";
                         });

} // namespace
