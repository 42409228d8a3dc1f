// The window's controls as data: one row per control, read by one loop.
#include "app/Controls.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace {

enum class Colour
{
    Inherit,
    Black,
    Purple,
    Red,
    Green,
    Blue,
    Window,     // the white background of edit fields
    WindowText, // the system's text colour
    Highlight,  // the selection colour, the window's own background
    ScrollBar,  // the grey of scroll bars
    ButtonText, // the system's button caption colour
};

enum Flag : unsigned
{
    None = 0,
    Bold = 1u << 0,
    Hidden = 1u << 1,
    Disabled = 1u << 2,
    ReadOnly = 1u << 3,
    Checked = 1u << 4,
    AlignRight = 1u << 5,
    AlignCentre = 1u << 6,
    Flat = 1u << 7,
    Arial = 1u << 8,
    SystemFont = 1u << 9, // the system's font for the kind of control
};

using Handler = void (TForm1::*)();
using Factory = QWidget *(*)(TForm1 &form, QWidget *parent);

template <auto Member>
using MemberWidget =
    std::remove_pointer_t<std::remove_reference_t<decltype(std::declval<TForm1 &>().*Member)>>;

// Creates a widget, of the member's type unless told otherwise, and stores it
// in the member.
template <auto Member, class Widget = MemberWidget<Member>>
QWidget *create(TForm1 &form, QWidget *parent)
{
    auto *widget = new Widget(parent);
    form.*Member = widget;
    return widget;
}

struct ControlRow
{
    Factory factory;
    const char *name;
    const char *parent; // nullptr: the window's client area
    QRect place;        // relative to the parent's client area
    const char16_t *text;
    int fontPixels; // 0: the parent's font
    unsigned flags;
    Colour textColour;
    Colour background;
    int tab; // tab index within the parent, -1 for none
    Handler handler;
};

#define CONTROL(name) &create<&TForm1::name>, #name
// A radio button whose group the keyboard enters at its checked button.
#define RADIO(name) &create<&TForm1::name, TabStopRadioButton>, #name

// clang-format off
const ControlRow kControls[] = {
    // On the window, in creation order.
    {CONTROL(Label10), nullptr, {72, 592, 137, 20}, u"酒店标识[coID]", 14, AlignRight, Colour::Black, Colour::Inherit, -1, nullptr},
    {CONTROL(Label17), nullptr, {16, 584, 169, 16}, u"卡数据[cardHexStr]", 16, AlignRight, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(GroupBox1), nullptr, {104, 544, 489, 73}, u"USB口操作", 14, None, Colour::Purple, Colour::Inherit, 0, nullptr},
    {CONTROL(GroupBox2), nullptr, {48, 16, 489, 262}, u"客人卡信息", 14, None, Colour::Window, Colour::Inherit, 1, nullptr},
    {CONTROL(GroupBox3), nullptr, {16, 568, 833, 153}, u"使用说明", 14, None, Colour::Purple, Colour::Inherit, 2, nullptr},
    {CONTROL(edt_coID), nullptr, {224, 594, 73, 20}, u"508317", 12, Bold, Colour::WindowText, Colour::Inherit, 3, nullptr},
    {CONTROL(Button3), nullptr, {312, 592, 233, 25}, u"从现有卡片读取酒店标识", 12, Disabled, Colour::Inherit, Colour::Inherit, 4, &TForm1::Button3Click},
    {CONTROL(GroupBox4), nullptr, {248, 592, 337, 313}, u"最常用函数", 12, Disabled, Colour::Inherit, Colour::Inherit, 5, nullptr},
    {CONTROL(BitBtn6), nullptr, {256, 576, 281, 33}, u"读DLL的版本号[GetDLLVersion]", 14, None, Colour::Inherit, Colour::Inherit, 6, &TForm1::BitBtn6Click},
    {CONTROL(edt_CardData), nullptr, {184, 536, 649, 25}, u"", 19, Bold | Flat | Arial, Colour::Red, Colour::ScrollBar, 7, nullptr},
    {CONTROL(StatusBar1), nullptr, {0, 333, 573, 24}, u"", 0, Hidden | SystemFont, Colour::ButtonText, Colour::Inherit, 8, nullptr},
    {CONTROL(cmdExit), nullptr, {312, 304, 137, 34}, u"退出", 14, None, Colour::Inherit, Colour::Inherit, 9, &TForm1::cmdExitClick},
    {CONTROL(BitBtn11), nullptr, {192, 568, 217, 33}, u"读取并解析开门记录", 14, None, Colour::Inherit, Colour::Inherit, 10, &TForm1::BitBtn11Click},
    {CONTROL(BitBtn12), nullptr, {24, 552, 201, 33}, u"关闭KelUSB【CloseUSB】", 14, None, Colour::Inherit, Colour::Inherit, 11, &TForm1::BitBtn12Click},
    {CONTROL(Button2), nullptr, {120, 304, 139, 35}, u"制客人卡", 12, None, Colour::Inherit, Colour::Inherit, 12, &TForm1::Button2Click},
    {CONTROL(StaticText1), nullptr, {112, 264, 4, 4}, u"", 16, Bold, Colour::Inherit, Colour::Highlight, 13, nullptr},
    {CONTROL(StaticText2), nullptr, {168, 264, 4, 4}, u"", 21, Bold, Colour::Red, Colour::Inherit, 14, nullptr},

    // The encoder port; the group's font, 14 pixels, purple.
    {CONTROL(Button1), "GroupBox1", {16, 24, 313, 33}, u"第一步：打开端口[initializeUSB]", 0, None, Colour::Inherit, Colour::Inherit, 0, &TForm1::Button1Click},
    {RADIO(RadioButton3), "GroupBox1", {352, 16, 129, 25}, u"有驱发卡器", 0, None, Colour::Inherit, Colour::Inherit, 1, &TForm1::RadioButton3Click},
    {RADIO(RadioButton4), "GroupBox1", {352, 40, 129, 25}, u"KelUSB", 0, Checked, Colour::Inherit, Colour::Inherit, 2, &TForm1::RadioButton4Click},

    // The guest card's information; labels in the group's white, 14 pixels.
    {CONTROL(Label11), "GroupBox2", {8, 45, 169, 25}, u"房号[RoomNo]", 0, AlignRight, Colour::Inherit, Colour::Highlight, -1, nullptr},
    {CONTROL(Edit2), "GroupBox2", {184, 40, 97, 21}, u"01020399", 13, Bold | ReadOnly, Colour::WindowText, Colour::Inherit, 9, nullptr},
    {CONTROL(Label13), "GroupBox2", {16, 88, 169, 25}, u"锁号[LockNo]", 0, AlignRight, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(edt_LockNo), "GroupBox2", {184, 88, 97, 21}, u"01020399", 13, Bold | ReadOnly, Colour::WindowText, Colour::Inherit, 0, nullptr},
    {CONTROL(Label6), "GroupBox2", {288, 88, 193, 14}, u"(01020399表示1栋02层03房)", 0, None, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(Label16), "GroupBox2", {48, 112, 6, 12}, u"", 12, None, Colour::Black, Colour::Inherit, -1, nullptr},
    {CONTROL(Label5), "GroupBox2", {8, 117, 473, 14}, u"锁号组成：栋号2位,层号2位,房间编号2位,第二房间编号2位", 0, AlignCentre, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(Label9), "GroupBox2", {8, 144, 169, 25}, u"退房时间[eTime]", 0, AlignRight, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(Edit1), "GroupBox2", {184, 144, 181, 21}, u"", 13, ReadOnly, Colour::Black, Colour::Inherit, 8, nullptr},
    {CONTROL(Label7), "GroupBox2", {8, 184, 169, 25}, u"客人代[Dai]", 0, AlignRight, Colour::Inherit, Colour::Inherit, -1, nullptr},
    {CONTROL(edt_Dai), "GroupBox2", {184, 184, 97, 21}, u"0", 13, Bold | ReadOnly, Colour::WindowText, Colour::Inherit, 1, nullptr},
    {CONTROL(Label8), "GroupBox2", {288, 184, 193, 22}, u"（0-255）", 0, None, Colour::Red, Colour::Inherit, -1, nullptr},
    {RADIO(RadioButton1), "GroupBox2", {136, 216, 113, 17}, u"可以开反锁", 12, Checked, Colour::Window, Colour::Inherit, 5, nullptr},
    {RADIO(RadioButton2), "GroupBox2", {256, 216, 113, 17}, u"不能开反锁", 12, None, Colour::Window, Colour::Inherit, 6, nullptr},
    {CONTROL(DateTimePicker1), "GroupBox2", {-112, -16, 129, 22}, u"", 0, Hidden, Colour::WindowText, Colour::Inherit, 2, nullptr},
    {CONTROL(DateTimePicker2), "GroupBox2", {-24, 0, 25, 1}, u"", 0, Hidden, Colour::WindowText, Colour::Inherit, 3, nullptr},
    {CONTROL(BitBtn4), "GroupBox2", {392, 0, 177, 41}, u"恢复到默认值", 14, Hidden, Colour::WindowText, Colour::Inherit, 4, &TForm1::BitBtn4Click},
    {CONTROL(edt_CardNo), "GroupBox2", {408, 0, 97, 20}, u"0", 12, Bold | Hidden | ReadOnly, Colour::WindowText, Colour::Inherit, 7, nullptr},

    // Usage notes.
    {CONTROL(Label2), "GroupBox3", {16, 24, 465, 25}, u"1,USB端口打开之后，才能进行发卡读卡等操作；   ", 14, None, Colour::Red, Colour::Inherit, -1, nullptr},
    {CONTROL(Label3), "GroupBox3", {16, 56, 465, 25}, u"2,按说明正确填写相应信息是能否发卡成功的关键步骤； ", 14, None, Colour::Green, Colour::Inherit, -1, nullptr},
    {CONTROL(Label4), "GroupBox3", {16, 88, 465, 25}, u"3,客人代，是实现后卡覆盖前卡功能的，一般默认为0即可；", 14, None, Colour::Red, Colour::Inherit, -1, nullptr},
    {CONTROL(Label20), "GroupBox3", {16, 120, 465, 20}, u"4,读DLL版本为测试动态库，不涉及端口操作。", 14, None, Colour::Green, Colour::Inherit, -1, nullptr},

    // The library's functions, disabled with their group.
    {CONTROL(BitBtn1), "GroupBox4", {16, 16, 305, 33}, u"蜂鸣[Buzzer]", 14, None, Colour::WindowText, Colour::Inherit, 0, &TForm1::BitBtn1Click},
    {CONTROL(BitBtn3), "GroupBox4", {16, 48, 305, 33}, u"读取卡数据[ReadCard]", 14, None, Colour::Blue, Colour::Inherit, 1, &TForm1::BitBtn3Click},
    {CONTROL(BitBtn2), "GroupBox4", {16, 80, 305, 33}, u"制宾客卡[GuestCard]", 14, None, Colour::Blue, Colour::Inherit, 2, &TForm1::BitBtn2Click},
    {CONTROL(BitBtn5), "GroupBox4", {16, 112, 305, 33}, u"注销卡片[CardErase]", 14, None, Colour::WindowText, Colour::Inherit, 3, &TForm1::BitBtn5Click},
    {CONTROL(BitBtn10), "GroupBox4", {16, 144, 305, 33}, u"挂失卡片[LimitCard]", 14, None, Colour::WindowText, Colour::Inherit, 7, &TForm1::BitBtn10Click},
    {CONTROL(BitBtn7), "GroupBox4", {8, 176, 321, 33}, u"读取卡片类型[GetCardTypeByCardDataStr]", 14, None, Colour::WindowText, Colour::Inherit, 4, &TForm1::BitBtn7Click},
    {CONTROL(BitBtn8), "GroupBox4", {8, 208, 321, 33}, u"读取客人卡锁号[GetGuestLockNoByCardDataStr]", 14, None, Colour::WindowText, Colour::Inherit, 5, &TForm1::BitBtn8Click},
    {CONTROL(BitBtn9), "GroupBox4", {8, 240, 321, 33}, u"读取客人离店时间[GetGuestETimeByCardDataStr]", 14, None, Colour::WindowText, Colour::Inherit, 6, &TForm1::BitBtn9Click},
};
// clang-format on

#undef CONTROL
#undef RADIO

// The window's face: "宋体" as designed, then families Linux has, so that
// the Chinese text renders where SimSun is missing.
const QStringList kWindowFamilies = {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                     QStringLiteral("WenQuanYi Zen Hei"),
                                     QStringLiteral("Noto Sans CJK SC")};

// The families of `wanted` that this machine has, in their order. Every
// family asked for and missing costs a fallback search for each font size
// and weight of the window, a good part of its start-up.
QStringList installedFamilies(const QStringList &wanted)
{
    QStringList found;
    for (const QString &family : wanted)
        if (QFontDatabase::hasFamily(family))
            found.append(family);
    return found.isEmpty() ? wanted : found;
}

// System colours come from the application's palette, not from the parent's,
// which may have been recoloured.
QColor colourOf(Colour colour)
{
    const QPalette palette = QApplication::palette();
    switch (colour) {
    case Colour::Black:
        return Qt::black;
    case Colour::Purple:
        return QColor(0x80, 0x00, 0x80);
    case Colour::Red:
        return Qt::red;
    case Colour::Green:
        return QColor(0x00, 0x80, 0x00);
    case Colour::Blue:
        return Qt::blue;
    case Colour::Window:
        return palette.color(QPalette::Active, QPalette::Base);
    case Colour::WindowText:
        return palette.color(QPalette::Active, QPalette::Text);
    case Colour::Highlight:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case Colour::ScrollBar:
        return QColor(0xC8, 0xC8, 0xC8);
    case Colour::ButtonText:
        return palette.color(QPalette::Active, QPalette::ButtonText);
    case Colour::Inherit:
        break;
    }
    return {};
}

void applyText(QWidget *widget, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        setFieldText(edit, text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(widget))
        group->setTitle(text);
}

void applyFlags(QWidget *widget, unsigned flags)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const Qt::Alignment horizontal = (flags & AlignRight)    ? Qt::AlignRight
                                         : (flags & AlignCentre) ? Qt::AlignHCenter
                                                                 : Qt::AlignLeft;
        label->setAlignment(horizontal | Qt::AlignTop);
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        edit->setReadOnly(flags & ReadOnly);
        edit->setFrame(!(flags & Flat));
    }
    if (auto *radio = qobject_cast<QRadioButton *>(widget))
        radio->setChecked(flags & Checked);
    if (flags & Disabled)
        widget->setEnabled(false);
    if (flags & Hidden)
        widget->hide();
}

// The palette roles a control's text colour goes to. Only edit fields take
// Text: the style also draws a radio button's dot from it, so a caption
// colour there, or on the group around it, would paint the dot in the
// caption's colour. A group box hands its colour on to the captions inside.
std::vector<QPalette::ColorRole> textRoles(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
        return {QPalette::Text};
    if (qobject_cast<const QPushButton *>(widget))
        return {QPalette::ButtonText};
    if (qobject_cast<const QGroupBox *>(widget))
        return {QPalette::WindowText, QPalette::ButtonText};
    return {QPalette::WindowText};
}

void applyColours(QWidget *widget, Colour text, Colour background)
{
    QPalette palette = widget->palette();
    if (text != Colour::Inherit) {
        // Not for disabled controls: their captions stay greyed, so that the
        // disabled library buttons look it in the service view.
        const QColor colour = colourOf(text);
        for (auto role : textRoles(widget))
            for (auto group : {QPalette::Active, QPalette::Inactive})
                palette.setColor(group, role, colour);
    }
    if (background != Colour::Inherit) {
        const QColor colour = colourOf(background);
        palette.setColor(qobject_cast<QLineEdit *>(widget) ? QPalette::Base : QPalette::Window,
                         colour);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

// Appends the focus chain below `parent`: each control in tab-index order,
// followed by its own children.
using ChildrenByParent = std::map<QWidget *, std::vector<std::pair<int, QWidget *>>>;

void collectTabOrder(const ChildrenByParent &children, QWidget *parent, QList<QWidget *> &chain)
{
    const auto found = children.find(parent);
    if (found == children.end())
        return;
    auto ordered = found->second;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[tab, widget] : ordered) {
        if (tab >= 0)
            chain.append(widget);
        collectTabOrder(children, widget, chain);
    }
}

} // namespace

void TForm1::createControls()
{
    QFont windowFont;
    windowFont.setFamilies(installedFamilies(kWindowFamilies));
    windowFont.setPixelSize(12);
    setFont(windowFont);

    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, colourOf(Colour::Highlight));
    setPalette(windowPalette);
    setAutoFillBackground(true);

    auto *focusFrame = new FocusFrameStyle;
    focusFrame->setParent(this);

    ChildrenByParent children;
    for (const ControlRow &row : kControls) {
        QWidget *parent =
            row.parent ? findChild<QWidget *>(QLatin1String(row.parent)) : m_clientArea;
        Q_ASSERT(parent);
        QWidget *widget = row.factory(*this, parent);
        widget->setObjectName(QLatin1String(row.name));
        widget->setGeometry(row.place);
        if (row.fontPixels) {
            QFont font = parent->font();
            if (row.flags & Arial)
                font.setFamilies(
                    installedFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                       QStringLiteral("DejaVu Sans")}));
            font.setPixelSize(row.fontPixels);
            font.setBold(row.flags & Bold);
            widget->setFont(font);
        }
        if (row.flags & SystemFont) {
            QFont font = QApplication::font(widget);
            // Every property set, or the control would take them from the window.
            font.setResolveMask(QFont::AllPropertiesResolved);
            widget->setFont(font);
        }
        if (qobject_cast<QPushButton *>(widget) || qobject_cast<QRadioButton *>(widget))
            widget->setStyle(focusFrame);
        applyColours(widget, row.textColour, row.background);
        applyText(widget, QString::fromUtf16(row.text));
        applyFlags(widget, row.flags);
        if (qobject_cast<QLabel *>(widget))
            widget->setFocusPolicy(Qt::NoFocus);
        if (row.handler) {
            const Handler handler = row.handler;
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                connect(button, &QAbstractButton::clicked, this,
                        [this, handler] { runHandler(handler); });
        }
        children[parent].emplace_back(row.tab, widget);
    }

    DateTimePicker1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker1->setDateTime(QDateTime(QDate(2007, 1, 24), QTime(16, 46, 15)));
    DateTimePicker2->setDisplayFormat(QStringLiteral("HH:mm"));
    DateTimePicker2->setDateTime(QDateTime(QDate(2007, 1, 24), QTime(16, 46, 52)));

    collectTabOrder(children, m_clientArea, m_tabOrder);
    QWidget *previous = nullptr;
    for (QWidget *widget : std::as_const(m_tabOrder)) {
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}
