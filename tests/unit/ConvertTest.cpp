#include "app/Convert.h"
#include "app/LibraryText.h"
#include "app/StationError.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct LenientCase
{
    const char *name;
    const char16_t *text;
    int32_t expected;
};

void PrintTo(const LenientCase &c, std::ostream *os)
{
    *os << c.name;
}

class LenientConversion : public ::testing::TestWithParam<LenientCase>
{
};

TEST_P(LenientConversion, GivesTheFieldValueOrZero)
{
    const LenientCase &c = GetParam();
    EXPECT_EQ(toIntLenient(QString::fromUtf16(c.text)), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    FieldTexts, LenientConversion,
    ::testing::Values(
        LenientCase{"plain", u"508317", 508317}, LenientCase{"empty", u"", 0},
        LenientCase{"leading_blanks", u"  12", 12}, LenientCase{"trailing_blank", u"12 ", 0},
        LenientCase{"inner_blank", u"1 2", 0}, LenientCase{"minus", u"-42", -42},
        LenientCase{"plus", u"+42", 42}, LenientCase{"blank_after_sign", u"- 4", 0},
        LenientCase{"sign_alone", u"-", 0}, LenientCase{"two_signs", u"--4", 0},
        LenientCase{"dollar", u"$FF", 255}, LenientCase{"dollar_lower", u"$ff", 255},
        LenientCase{"x", u"x1F", 31}, LenientCase{"X", u"X1F", 31},
        LenientCase{"zero_x", u"0x10", 16}, LenientCase{"zero_X", u"0X10", 16},
        LenientCase{"prefix_alone", u"$", 0}, LenientCase{"zero_x_alone", u"0x", 0},
        LenientCase{"negative_hex", u"-$10", -16}, LenientCase{"hex_in_decimal", u"1F", 0},
        LenientCase{"leading_zeros", u"000123", 123},
        LenientCase{"int_max", u"2147483647", 2147483647},
        LenientCase{"int_max_plus_one", u"2147483648", 0},
        LenientCase{"int_min", u"-2147483648", INT32_MIN},
        LenientCase{"int_min_minus_one", u"-2147483649", 0},
        LenientCase{"far_out_of_range", u"99999999999999999999", 0},
        LenientCase{"top_bit_set", u"$FFFFFFFF", -1},
        LenientCase{"top_bit_only", u"$80000000", INT32_MIN},
        LenientCase{"hex_33_bits", u"$100000000", 0},
        LenientCase{"hex_leading_zeros", u"$00000000FF", 255},
        LenientCase{"fullwidth_digit", u"１２", 0}, LenientCase{"chinese", u"酒店", 0},
        LenientCase{"tab_is_not_blank", u"\t12", 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StrictConversion, AcceptsWhatTheLenientOneAccepts)
{
    EXPECT_EQ(toIntStrict(QStringLiteral("$4e20")), 20000);
    EXPECT_EQ(toIntStrict(QStringLiteral("$FF")), 255);
}

TEST(StrictConversion, RejectsBadTextWithItsMessage)
{
    for (const QString &bad :
         {QStringLiteral("$4G00"), QStringLiteral("$"), QString(), QStringLiteral("12 ")}) {
        try {
            toIntStrict(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const StationError &error) {
            EXPECT_EQ(error.text(), QStringLiteral("'%1' is not a valid integer value").arg(bad));
        }
    }
}

TEST(ErrorDisplayText, AddsAFullStopOnlyAfterCharactersSortingAfterIt)
{
    const struct
    {
        QString in, out;
    } cases[] = {
        {QStringLiteral("'$4G00' is not a valid integer value"),
         QStringLiteral("'$4G00' is not a valid integer value.")},
        {QStringLiteral("ends in a stop."), QStringLiteral("ends in a stop.")},
        {QStringLiteral("ends in a bang!"), QStringLiteral("ends in a bang!")}, // '!' < '.'
        {QStringLiteral("ends in a comma,"), QStringLiteral("ends in a comma,")},
        {QStringLiteral("ends in a slash/"), QStringLiteral("ends in a slash/.")},
        {QStringLiteral("错误"), QStringLiteral("错误.")},
        {QString(), QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(errorDisplayText(c.in), c.out) << c.in.toStdString();
}

TEST(LibraryTimeStamp, DropsSecondsAndPadsEveryField)
{
    EXPECT_EQ(libraryTimeStamp(QDateTime(QDate(2026, 3, 4), QTime(9, 5, 59))),
              QStringLiteral("2603040905"));
    EXPECT_EQ(libraryTimeStamp(QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59, 999))),
              QStringLiteral("0912312359"));
    EXPECT_EQ(libraryTimeStamp(QDateTime(QDate(2000, 1, 1), QTime(0, 0))),
              QStringLiteral("0001010000"));
}

TEST(LibraryText, RoundTripsChineseThroughCodePage936)
{
    const QString room = QStringLiteral("东楼305房");
    const QByteArray bytes = toLibraryText(room);
    EXPECT_EQ(bytes, QByteArray("\xB6\xAB\xC2\xA5"
                                "305"
                                "\xB7\xBF"));
    EXPECT_EQ(fromLibraryText(bytes), room);
}

TEST(LibraryText, KeepsGbkOnlyCharacters)
{
    // 镕 exists in GBK but not in GB2312: a GB2312 codec would lose it.
    EXPECT_EQ(toLibraryText(QStringLiteral("镕")), QByteArray("\xE9\x46"));
    EXPECT_EQ(fromLibraryText("\xE9\x46"), QStringLiteral("镕"));
}

TEST(LibraryText, ACutDoubleByteCharacterIsShownNotDropped)
{
    EXPECT_EQ(fromLibraryText(QByteArrayView("AB\xB6")), QStringLiteral("AB\uFFFD"));
    EXPECT_EQ(fromLibraryText(QByteArrayView("A\xB6 B")), QStringLiteral("A\uFFFD B"));
    // "[" is a valid second byte: no break inside the character.
    EXPECT_EQ(fromLibraryText(QByteArrayView("A\xB6[")).size(), 2);
}

TEST(BufferText, StopsAtTheFirstNulOrTheCapacity)
{
    const char withNul[5] = {'a', 'b', '\0', 'c', 'd'};
    EXPECT_EQ(bufferText(withNul, 5), QByteArray("ab"));
    const char full[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(bufferText(full, 4), QByteArray("wxyz"));
    EXPECT_EQ(bufferText(full, 0), QByteArray());
}

} // namespace
