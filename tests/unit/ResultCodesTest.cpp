// The one test that the result tables are complete, and one lookup over
// both ranges: every code of a range has its row in its own table and in no
// other, whichever table a code is in kelrin_result_name() and
// kelrin_result_text() answer its row, and a value in neither reads as
// unknown.
#include "kelrin_result.h"
#include "tests/support/TableRows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

using tableRows::PrintTo;

struct ResultRange
{
    const char *name;
    int32_t lowest;
    int32_t highest;
    const char *prefix;
    const kelrin_result_row *(*table)(int32_t);
};

const ResultRange kRanges[] = {
    {"stand_in", KELRIN_RESULT_LOWEST, KELRIN_NOT_GUEST_CARD, "KELRIN_", kelrin_result_entry},
    {"bridge", KELRIN_BRIDGE_RESULT_LOWEST, KELRIN_BRIDGE_RESULT_HIGHEST, "KELRIN_BRIDGE_",
     kelrin_bridge_result_entry},
};

bool inAnyRange(int32_t value)
{
    for (const ResultRange &range : kRanges) {
        if (value >= range.lowest && value <= range.highest)
            return true;
    }
    return false;
}

class ResultCodes : public ::testing::TestWithParam<ResultRange>
{
};

TEST_P(ResultCodes, EveryCodeAnswersTheNameAndTextOfItsRow)
{
    const ResultRange &range = GetParam();
    for (int32_t code = range.lowest; code <= range.highest; ++code) {
        const kelrin_result_row *row = range.table(code);
        ASSERT_NE(row, nullptr) << code << " has no row in its own table";
        EXPECT_EQ(kelrin_any_result_entry(code), row) << code;
        EXPECT_STREQ(kelrin_result_name(code), row->name) << code;
        EXPECT_STREQ(kelrin_result_text(code), row->text) << code;
        EXPECT_EQ(std::strncmp(row->name, range.prefix, std::strlen(range.prefix)), 0) << code;
        EXPECT_STRNE(row->text, "Unknown result") << code;
        for (const ResultRange &other : kRanges) {
            if (other.table != range.table) {
                EXPECT_EQ(other.table(code), nullptr) << code << " also in " << other.name;
            }
        }
    }
}

TEST_P(ResultCodes, ValuesJustOutsideTheRangeAreUnknown)
{
    const ResultRange &range = GetParam();
    for (const int32_t value : {range.lowest - 1, range.highest + 1}) {
        ASSERT_FALSE(inAnyRange(value)) << value;
        EXPECT_EQ(range.table(value), nullptr) << value;
        EXPECT_EQ(kelrin_any_result_entry(value), nullptr) << value;
        EXPECT_STREQ(kelrin_result_name(value), "KELRIN_UNKNOWN_RESULT") << value;
        EXPECT_STREQ(kelrin_result_text(value), "Unknown result") << value;
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, ResultCodes, ::testing::ValuesIn(kRanges), tableRows::rowName);

TEST(ResultCodeNames, NoNameIsUsedTwiceAcrossBothRanges)
{
    std::set<std::string> names;
    for (const ResultRange &range : kRanges) {
        for (int32_t code = range.lowest; code <= range.highest; ++code)
            EXPECT_TRUE(names.insert(kelrin_result_name(code)).second) << "used twice: " << code;
    }
    EXPECT_STREQ(kelrin_result_name(INT32_MIN), "KELRIN_UNKNOWN_RESULT");
}

} // namespace
