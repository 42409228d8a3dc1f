#include "app/Controls.h"
#include "tests/support/FormFixture.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStyleOptionButton>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

struct ShownForm : FormHarness
{
    ShownForm()
    {
        create();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
};

TEST(MainWindow, IsAFixedDialogOfTheDesignedClientSize)
{
    ShownForm h;
    EXPECT_EQ(h.form->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(h.form->size(), QSize(573, 357));
    EXPECT_EQ(h.form->minimumSize(), h.form->maximumSize()) << "the window must not be resizable";
    const Qt::WindowFlags flags = h.form->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(h.form->windowIcon().isNull());
    EXPECT_EQ(h.form->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Active, QPalette::Highlight));
}

TEST(MainWindow, CentresItselfOnTheScreen)
{
    ShownForm h;
    const QPoint screenCentre = h.form->screen()->availableGeometry().center();
    const QPoint centre = h.form->frameGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 2);
}

// What the operator sees is the guest-card panel, the success note and the two
// buttons under it; everything else lies below the client area or is hidden.
TEST(MainWindow, TheVisibleClientAreaHoldsExactlyTheOperatorsControls)
{
    ShownForm h;
    QStringList inside;
    for (QWidget *child : h.form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(h.form.get()) && child->geometry().intersects(h.form->rect()))
            inside << child->objectName();
    inside.sort();
    EXPECT_EQ(inside,
              (QStringList{"Button2", "GroupBox2", "StaticText1", "StaticText2", "cmdExit"}));

    QStringList fields;
    for (QWidget *child : h.form->GroupBox2->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(h.form.get()))
            fields << child->objectName();
    fields.sort();
    EXPECT_EQ(fields, (QStringList{"Edit1", "Edit2", "Label11", "Label13", "Label16", "Label5",
                                   "Label6", "Label7", "Label8", "Label9", "RadioButton1",
                                   "RadioButton2", "edt_Dai", "edt_LockNo"}));
}

TEST(MainWindow, DesignStatesOfTheOffAreaAndHiddenControls)
{
    ShownForm h;
    TForm1 &f = *h.form;
    for (QWidget *hidden :
         {static_cast<QWidget *>(f.StatusBar1), static_cast<QWidget *>(f.BitBtn4),
          static_cast<QWidget *>(f.edt_CardNo), static_cast<QWidget *>(f.DateTimePicker1),
          static_cast<QWidget *>(f.DateTimePicker2)})
        EXPECT_FALSE(hidden->isVisibleTo(&f)) << hidden->objectName().toStdString();
    EXPECT_FALSE(f.Button3->isEnabled());
    EXPECT_FALSE(f.GroupBox4->isEnabled());
    for (QPushButton *b : f.GroupBox4->findChildren<QPushButton *>())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(f.Button1->isEnabled());
    EXPECT_TRUE(f.RadioButton4->isChecked());
    EXPECT_FALSE(f.RadioButton3->isChecked());
    EXPECT_TRUE(f.RadioButton1->isChecked());
    EXPECT_FALSE(f.RadioButton2->isChecked());
    for (QLineEdit *e : {f.Edit1, f.Edit2, f.edt_LockNo, f.edt_Dai, f.edt_CardNo})
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
    EXPECT_FALSE(f.edt_coID->isReadOnly());
    EXPECT_FALSE(f.edt_CardData->isReadOnly());
    EXPECT_EQ(f.DateTimePicker1->dateTime(), QDateTime(QDate(2007, 1, 24), QTime(16, 46, 15)));
    EXPECT_EQ(f.DateTimePicker2->dateTime(), QDateTime(QDate(2007, 1, 24), QTime(16, 46, 52)));
}

TEST(MainWindow, StaticTextGrowsAndShrinksWithItsTextHoweverItIsSet)
{
    ShownForm h;
    const QSize before = h.form->StaticText2->size();
    // Through the base class: QLabel::setText is not virtual.
    QLabel *label = h.form->StaticText2;
    label->setText(QStringLiteral("发卡成功!"));
    const int advance = label->fontMetrics().horizontalAdvance(QStringLiteral("发卡成功!"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->width() >= advance; }, 2000))
        << "width " << label->width() << " for text " << advance << " wide";
    EXPECT_GT(label->width(), before.width());
    label->setText(QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return label->width() < advance; }, 2000))
        << "still " << label->width() << " wide without text";
    EXPECT_EQ(h.form->StaticText2->pos(), QPoint(168, 264));
    EXPECT_EQ(h.form->StaticText2->font().pixelSize(), 21);
    EXPECT_TRUE(h.form->StaticText2->font().bold());
}

TEST(MainWindow, StatusBarHasTwoPanelsOfTheDesignedWidths)
{
    ShownForm h;
    EXPECT_EQ(h.form->StatusBar1->panel(0)->width(), 100);
    EXPECT_EQ(h.form->StatusBar1->panel(1)->width(), 50);
    EXPECT_EQ(h.form->StatusBar1->geometry(), QRect(0, 333, 573, 24));
    // The system's status-bar font in button-text colour, not the window's.
    const QLabel *panel = h.form->StatusBar1->panel(0);
    EXPECT_EQ(panel->font().family(), QApplication::font("QStatusBar").family());
    EXPECT_EQ(panel->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Active, QPalette::ButtonText));
}

// The control as painted.
QImage rendered(QWidget *control)
{
    return control->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The grey level of the darkest pixel in the middle of a radio button's
// indicator, where a checked button has its dot.
int darkestInDot(QRadioButton *radio)
{
    QStyleOptionButton option;
    option.initFrom(radio);
    const QRect indicator =
        radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio);
    const QImage image = rendered(radio);
    int darkest = 255;
    const int reach = std::max(1, indicator.width() / 6);
    for (int y = indicator.center().y() - reach; y <= indicator.center().y() + reach; ++y)
        for (int x = indicator.center().x() - reach; x <= indicator.center().x() + reach; ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

// How many pixels two paintings of one control show in clearly other colours.
int starkChanges(const QImage &before, const QImage &after)
{
    int changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const QRgb a = before.pixel(x, y), b = after.pixel(x, y);
            const int distance = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                 std::abs(qBlue(a) - qBlue(b));
            changed += distance >= 192;
        }
    }
    return changed;
}

// The dot is drawn from the text colour: a caption colour that reaches it
// paints a white dot in a white circle.
TEST(MainWindow, ACheckedRadioShowsADarkDotAnUncheckedOneLacks)
{
    ShownForm h;
    TForm1 &f = *h.form;
    const std::pair<QRadioButton *, QRadioButton *> groups[] = {{f.RadioButton1, f.RadioButton2},
                                                                {f.RadioButton4, f.RadioButton3}};
    for (auto [radio, other] : groups) {
        ASSERT_TRUE(radio->isChecked());
        const int checked = darkestInDot(radio);
        other->setChecked(true);
        const int unchecked = darkestInDot(radio);
        EXPECT_LE(checked, 96) << radio->objectName().toStdString();
        EXPECT_GE(unchecked - checked, 128) << radio->objectName().toStdString();
    }
}

// Focus given by a click, as a clerk gives it, shows too: Space would press the
// button.
TEST(MainWindow, TheFocusedButtonOrRadioShowsAClearFrame)
{
    ShownForm h;
    TForm1 &f = *h.form;
    for (QWidget *control : std::initializer_list<QWidget *>{f.cmdExit, f.Button2, f.Button1,
                                                             f.RadioButton1, f.RadioButton4}) {
        f.edt_coID->setFocus(Qt::MouseFocusReason);
        const QImage unfocused = rendered(control);
        control->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(control->hasFocus());
        EXPECT_GE(starkChanges(unfocused, rendered(control)), 40)
            << control->objectName().toStdString();
    }
}

TEST(MainWindow, ChineseTextRendersWithAnInstalledFont)
{
    ASSERT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        << "no font with Simplified Chinese glyphs is installed (fonts-wqy-zenhei)";
    ShownForm h;
    for (QWidget *w :
         {static_cast<QWidget *>(h.form->Button2), static_cast<QWidget *>(h.form->GroupBox2),
          static_cast<QWidget *>(h.form->Label5)}) {
        const QRawFont raw = QRawFont::fromFont(w->font(), QFontDatabase::SimplifiedChinese);
        EXPECT_TRUE(raw.supportsCharacter(U'制') && raw.supportsCharacter(U'锁'))
            << w->objectName().toStdString() << " resolves to " << raw.familyName().toStdString();
    }
    // The designed faces come first where the machine has them; a face it
    // lacks is not asked for at all, since each costs a search per font.
    const auto expectFaces = [](const QFont &font, const QStringList &designed) {
        const QStringList asked = font.families();
        ASSERT_FALSE(asked.isEmpty());
        for (const QString &family : asked)
            EXPECT_TRUE(QFontDatabase::hasFamily(family)) << family.toStdString();
        for (const QString &family : designed)
            if (QFontDatabase::hasFamily(family)) {
                EXPECT_EQ(asked.value(0), family);
                break;
            }
    };
    expectFaces(h.form->font(), {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                 QStringLiteral("WenQuanYi Zen Hei")});
    EXPECT_EQ(h.form->font().pixelSize(), 12);
    expectFaces(h.form->edt_CardData->font(),
                {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
}

TEST(MainWindow, FocusStartsOnTheOpenPortButton)
{
    ShownForm h;
    EXPECT_EQ(QApplication::focusWidget(), h.form->Button1);
}

// The deadbolt choice: RadioButton1 "可以开反锁" or RadioButton2 "不能开反锁".
enum class Deadbolt
{
    May,
    MayNot,
};

struct KeyCase
{
    const char *name;
    QWidget *(*focus)(TForm1 &);
    std::vector<QKeyCombination> keys; // pressed in turn on the focused control
    std::vector<std::string> calls;    // library calls the keys make
    bool ends;                         // whether the window closes
    Deadbolt before = Deadbolt::May;
    int encoderType = 1; // afterwards
    Deadbolt after = Deadbolt::May;
};

void PrintTo(const KeyCase &c, std::ostream *os)
{
    *os << c.name;
}

class KeyOnFocus : public ::testing::TestWithParam<KeyCase>
{
};

// Enter and Space press the focused push button, wherever it lies; no button
// is a default button, so Enter elsewhere presses nothing. Tab enters a group
// of radio buttons at its checked one, so Space there changes no choice; the
// arrow keys do.
TEST_P(KeyOnFocus, PressesOnlyTheFocusedPushButton)
{
    const KeyCase &c = GetParam();
    ShownForm h;
    if (c.before == Deadbolt::MayNot)
        h.form->RadioButton2->setChecked(true);
    QWidget *target = c.focus(*h.form);
    target->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), target);
    h.encoder.calls.clear();
    for (const QKeyCombination key : c.keys) {
        ASSERT_TRUE(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }
    EXPECT_EQ(h.encoder.callNames(), c.calls);
    EXPECT_EQ(h.form->isVisible(), !c.ends);
    EXPECT_EQ(h.form->station().EncoderType, c.encoderType) << "a radio button was pressed";
    EXPECT_EQ(h.form->RadioButton1->isChecked(), c.after == Deadbolt::May);
    EXPECT_EQ(h.form->RadioButton2->isChecked(), c.after == Deadbolt::MayNot);
    for (QPushButton *b : h.form->findChildren<QPushButton *>())
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->objectName().toStdString();
}

// The control a case puts the focus on.
template <auto Member> QWidget *control(TForm1 &form)
{
    return form.*Member;
}

const std::vector<std::string> kNone{}, kOpens{"initializeUSB"};
constexpr auto May = Deadbolt::May, MayNot = Deadbolt::MayNot;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Keys, KeyOnFocus,
    ::testing::Values(
        KeyCase{"return_opens_the_port", control<&TForm1::Button1>, {Qt::Key_Return}, kOpens, false},
        KeyCase{"keypad_enter_opens_the_port", control<&TForm1::Button1>, {Qt::KeypadModifier | Qt::Key_Enter}, kOpens, false},
        KeyCase{"space_opens_the_port", control<&TForm1::Button1>, {Qt::Key_Space}, kOpens, false},
        KeyCase{"return_on_exit_ends", control<&TForm1::cmdExit>, {Qt::Key_Return}, kNone, true},
        KeyCase{"keypad_enter_on_exit_ends", control<&TForm1::cmdExit>, {Qt::KeypadModifier | Qt::Key_Enter}, kNone, true},
        KeyCase{"return_in_a_field_does_nothing", control<&TForm1::edt_coID>, {Qt::Key_Return}, kNone, false},
        KeyCase{"return_on_a_radio_does_nothing", control<&TForm1::RadioButton3>, {Qt::Key_Return}, kNone, false},
        KeyCase{"tab_space_keeps_the_encoder_type", control<&TForm1::Button1>, {Qt::Key_Tab, Qt::Key_Space}, kNone, false, May, 1, May},
        KeyCase{"tab_space_keeps_the_encoder_type_deadbolt_refused", control<&TForm1::Button1>, {Qt::Key_Tab, Qt::Key_Space}, kNone, false, MayNot, 1, MayNot},
        KeyCase{"tab_space_keeps_the_deadbolt_allowed", control<&TForm1::edt_Dai>, {Qt::Key_Tab, Qt::Key_Space}, kNone, false, May, 1, May},
        KeyCase{"tab_space_keeps_the_deadbolt_refused", control<&TForm1::edt_Dai>, {Qt::Key_Tab, Qt::Key_Space}, kNone, false, MayNot, 1, MayNot},
        KeyCase{"up_picks_the_driver_encoder", control<&TForm1::Button1>, {Qt::Key_Tab, Qt::Key_Up}, kNone, false, May, 0, May},
        KeyCase{"left_allows_the_deadbolt", control<&TForm1::edt_Dai>, {Qt::Key_Tab, Qt::Key_Left}, kNone, false, MayNot, 1, May}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

// Tab walks on and Shift+Tab back, from the open-port button; a group of
// radio buttons is one stop, entered at its checked button either way.
TEST(MainWindow, TabWalksTheEnabledVisibleControlsInTabOrder)
{
    ShownForm h;
    QStringList expected;
    for (QWidget *w : h.form->tabOrder()) {
        auto *radio = qobject_cast<QRadioButton *>(w);
        if ((radio ? radio->isChecked() : bool(w->focusPolicy() & Qt::TabFocus)) &&
            w->isEnabled() && w->isVisibleTo(h.form.get()))
            expected << w->objectName();
    }
    const auto walk = [&](Qt::Key key) {
        QStringList walked;
        for (int i = 0; i < expected.size(); ++i) {
            walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), key);
        }
        return walked;
    };
    EXPECT_EQ(walk(Qt::Key_Tab), expected);
    QStringList back = expected.mid(1);
    std::reverse(back.begin(), back.end());
    back.prepend(QStringLiteral("Button1"));
    EXPECT_EQ(walk(Qt::Key_Backtab), back);
}

TEST(MainWindow, TabOrderFollowsTheDesignedIndexesWithinEachParent)
{
    ShownForm h;
    QStringList names;
    for (QWidget *w : h.form->tabOrder())
        names << w->objectName();
    const QStringList expected = {
        "GroupBox1",    "Button1",      "RadioButton3",    "RadioButton4",    "GroupBox2",
        "edt_LockNo",   "edt_Dai",      "DateTimePicker1", "DateTimePicker2", "BitBtn4",
        "RadioButton1", "RadioButton2", "edt_CardNo",      "Edit1",           "Edit2",
        "GroupBox3",    "edt_coID",     "Button3",         "GroupBox4",       "BitBtn1",
        "BitBtn3",      "BitBtn2",      "BitBtn5",         "BitBtn7",         "BitBtn8",
        "BitBtn9",      "BitBtn10",     "BitBtn6",         "edt_CardData",    "StatusBar1",
        "cmdExit",      "BitBtn11",     "BitBtn12",        "Button2",         "StaticText1",
        "StaticText2"};
    EXPECT_EQ(names, expected);
}

} // namespace
