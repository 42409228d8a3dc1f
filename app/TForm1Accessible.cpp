// What a screen reader announces: a field takes the caption of the label
// beside it, buttons and texts announce their captions by themselves.
#include "app/TForm1.h"

#include <QLabel>

namespace {

struct Buddy
{
    const char *label;
    const char *field;
};

// Each label and the field it names; both share a parent, where the toolkit
// looks for a field's label.
const Buddy kBuddies[] = {
    {"Label11", "Edit2"},  {"Label13", "edt_LockNo"}, {"Label9", "Edit1"},
    {"Label7", "edt_Dai"}, {"Label10", "edt_coID"},   {"Label17", "edt_CardData"},
};

struct Name
{
    const char *control;
    const char16_t *name;
};

// Fields with no label beside them, which would otherwise be announced by
// their group's caption.
const Name kNames[] = {
    {"edt_CardNo", u"卡号[CardNo]"},
    {"DateTimePicker1", u"退房日期"},
    {"DateTimePicker2", u"退房时刻"},
};

} // namespace

void TForm1::nameControlsForAssistiveTechnology()
{
    setAccessibleDescription(
        QStringLiteral("制作客人卡：把卡片放在发卡器上，核对房号、锁号和退房时间，按“制客人卡”。"));
    for (const Buddy &buddy : kBuddies) {
        auto *label = findChild<QLabel *>(QLatin1String(buddy.label));
        auto *field = findChild<QWidget *>(QLatin1String(buddy.field));
        Q_ASSERT(label && field && label->parentWidget() == field->parentWidget());
        label->setBuddy(field);
    }
    for (const Name &name : kNames)
        findChild<QWidget *>(QLatin1String(name.control))
            ->setAccessibleName(QString::fromUtf16(name.name));
}
