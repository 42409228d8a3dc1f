// Every handler against an encoder library that misbehaves as a faulty or
// malicious vendor library may, once on the card read and once on the
// handler's own calls. Under the asan preset a read past any buffer fails
// here as well.
#include "app/Controls.h"
#include "tests/support/FormFixture.h"
#include "tests/support/HostileEncoder.h"
#include "tests/support/TableRows.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

using tableRows::PrintTo;

using Behaviour = HostileEncoder::Behaviour;
using Target = HostileEncoder::Target;

struct HandlerRow
{
    const char *name;
    void (TForm1::*run)();
    bool readsCard; // runs the presence check first
    bool ownCalls;  // calls the library beyond the card read
    // The most library characters one text may show from the handler's own
    // calls: a card hex string, a version, a field, or a decoded record whose
    // characters 1-13 are shown again one by one.
    int ownText;
    bool showsOwnCode; // shows the result of its own call
};

constexpr int kCard = KELRIN_CARD_HEX_SIZE;
constexpr int kField = KELRIN_FIELD_SIZE;

const HandlerRow kHandlers[] = {
    {"RadioButton3Click", &TForm1::RadioButton3Click, false, false, 0, false},
    {"RadioButton4Click", &TForm1::RadioButton4Click, false, false, 0, false},
    {"Button1Click", &TForm1::Button1Click, false, true, 0, true},
    {"BitBtn12Click", &TForm1::BitBtn12Click, false, true, 0, false},
    {"BitBtn1Click", &TForm1::BitBtn1Click, false, true, 0, false},
    {"BitBtn6Click", &TForm1::BitBtn6Click, false, true, KELRIN_VERSION_SIZE, true},
    {"BitBtn4Click", &TForm1::BitBtn4Click, false, false, 0, false},
    {"Button2Click", &TForm1::Button2Click, true, true, kCard, true},
    {"BitBtn2Click", &TForm1::BitBtn2Click, true, true, kCard, true},
    {"BitBtn5Click", &TForm1::BitBtn5Click, true, true, kCard, true},
    {"BitBtn10Click", &TForm1::BitBtn10Click, true, true, kCard, true},
    {"BitBtn3Click", &TForm1::BitBtn3Click, true, false, 0, false},
    {"Button3Click", &TForm1::Button3Click, true, false, 0, false},
    {"BitBtn7Click", &TForm1::BitBtn7Click, true, true, 0, true},
    {"BitBtn8Click", &TForm1::BitBtn8Click, true, true, kField, true},
    {"BitBtn9Click", &TForm1::BitBtn9Click, true, true, kField, true},
    {"BitBtn11Click", &TForm1::BitBtn11Click, false, true, kField + 13, true},
};

const std::pair<Behaviour, const char *> kBehaviours[] = {
    {Behaviour::FullNoNul, "FullNoNul"},         {Behaviour::NonHexHighBytes, "NonHexHighBytes"},
    {Behaviour::CutDoubleByte, "CutDoubleByte"}, {Behaviour::NulInMiddle, "NulInMiddle"},
    {Behaviour::MinResult, "MinResult"},         {Behaviour::MaxResult, "MaxResult"},
    {Behaviour::EmptySuccess, "EmptySuccess"},   {Behaviour::UntouchedSuccess, "UntouchedSuccess"},
};

struct HostileCase
{
    std::string name;
    HandlerRow handler;
    Behaviour behaviour;
    Target target;
};

// Every handler against every behaviour, aimed at the card read where the
// handler reads one, and at its own calls.
std::vector<HostileCase> cases()
{
    std::vector<HostileCase> all;
    for (const HandlerRow &handler : kHandlers) {
        for (const auto &[behaviour, behaviourName] : kBehaviours) {
            if (handler.readsCard)
                all.push_back({std::string(handler.name) + "_CardRead_" + behaviourName, handler,
                               behaviour, Target::CardRead});
            all.push_back({std::string(handler.name) + "_Own_" + behaviourName, handler, behaviour,
                           Target::OwnCalls});
        }
    }
    return all;
}

// Characters that only the misbehaving library writes: its fills decode to
// them (code page 936 reads 0x80 as the euro sign and 0xFF as U+F8F5), and
// no text of the station's own holds them.
int libraryCharacters(const QString &text)
{
    static const QString kFillCharacters = QStringLiteral("ZGz~€\uF8F5\uFFFD镕");
    return int(std::count_if(text.begin(), text.end(),
                             [](QChar c) { return kFillCharacters.contains(c); }));
}

// Every text the operator can see after the handler ran.
QStringList shownTexts(const WindowHarness<HostileEncoder> &h)
{
    QStringList texts;
    for (const ScriptedDialogs::Shown &s : h.dialogs.shown)
        texts << s.text << s.value;
    const TForm1 &f = *h.form;
    texts << f.edt_CardData->text() << f.edt_coID->text() << f.StaticText2->text()
          << f.StatusBar1->panel(0)->text() << f.StatusBar1->panel(1)->text();
    return texts;
}

class HostileLibrary : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(HostileLibrary, HandlerStaysWithinItsBuffersAndShowsCodesInDecimal)
{
    const HostileCase &c = GetParam();
    WindowHarness<HostileEncoder> h;
    h.encoder.behaviour = c.behaviour;
    h.encoder.target = c.target;
    h.create();
    h.encoder.hostileCalls = 0;
    // The door-open record walk takes three records as offered, then stops.
    h.dialogs.presetAnswers = 3;
    TForm1 *form = h.form.get();
    TForm1TestAccess::run(*form, [form, &c] { (form->*c.handler.run)(); });

    const bool aimed = c.target == Target::CardRead || c.handler.ownCalls;
    EXPECT_EQ(h.encoder.hostileCalls > 0, aimed) << "calls the library aimed at";
    EXPECT_TRUE(h.encoder.unzeroedBuffers.empty())
        << "handed over not zeroed: " << h.encoder.unzeroedBuffers.front();
    EXPECT_EQ(h.dialogs.waitCursorDepth, 0);

    const int limit = c.target == Target::CardRead ? kCard : c.handler.ownText;
    const int32_t code = h.encoder.result();
    const QString decimal = QString::number(code);
    const auto unsignedCode = static_cast<uint32_t>(code);
    const QStringList otherForms = {QString::number(unsignedCode),
                                    QString::number(unsignedCode, 16),
                                    QString::number(unsignedCode, 16).toUpper()};
    bool codeShown = false;
    for (const QString &text : shownTexts(h)) {
        EXPECT_FALSE(text.contains(QLatin1String(HostileEncoder::kBehindNul)))
            << "shows what lies behind a NUL: " << text.toStdString();
        EXPECT_LE(libraryCharacters(text), limit) << text.toStdString();
        if (code == 0)
            continue;
        codeShown = codeShown || text.contains(decimal);
        QString rest = text;
        rest.remove(decimal);
        for (const QString &form : otherForms)
            EXPECT_FALSE(rest.contains(form) && form != decimal)
                << "the code not in decimal: " << text.toStdString();
    }
    if (code != 0 && (c.target == Target::CardRead || c.handler.showsOwnCode)) {
        EXPECT_TRUE(codeShown) << "the code " << code << " is not shown";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryHandler, HostileLibrary, ::testing::ValuesIn(cases()),
                         tableRows::rowName);

} // namespace
