#include "app/LibraryText.h"
#include "app/handoff/Handoff.h"
#include "app/handoff/ProfileReader.h"
#include "tests/handoff/HandoffTestSupport.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

namespace {

using namespace std::literals;

// A file's bytes, NULs included.
QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

HandoffValues fields(QStringView checkout = {}, QStringView lockNo = {}, QStringView coID = {},
                     QStringView roomNo = {})
{
    return {checkout.toString(), lockNo.toString(), coID.toString(), roomNo.toString()};
}

// Text as UTF-16 after its byte-order mark, lone surrogates included.
QByteArray utf16(QStringView text, QSysInfo::Endian order)
{
    const bool little = order == QSysInfo::LittleEndian;
    QByteArray out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const QChar c : text) {
        const char low = static_cast<char>(c.unicode() & 0xFF);
        const char high = static_cast<char>(c.unicode() >> 8);
        out += little ? low : high;
        out += little ? high : low;
    }
    return out;
}

QByteArray junk(int size, unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out)
        c = static_cast<char>(random() & 0xFF);
    return out;
}

struct FileCase
{
    const char *name;
    std::optional<QByteArray> file; // none: there is no hotel.ini at all
    HandoffValues expected;
};

void PrintTo(const FileCase &c, std::ostream *os)
{
    *os << c.name;
}

// GBK: 东 B6AB, 楼 C2A5, 嘯 875B, 乗 815C, 匽 855D, ideographic space A1A1.
const QByteArray kDong = "\xB6\xAB";
const QByteArray kDongUtf8 = "\xE4\xB8\x9C";
const QByteArray kBom = "\xEF\xBB\xBF";
const QByteArray kStay = "[MAIN]\r\nleavedate=261209\r\nleavetime=1200\r\nroomno=01020399\r\n"
                         "coid=508317\r\nfh=\xB6\xAB\xC2\xA5"
                         "203\r\n";

std::vector<FileCase> fileCases()
{
    const QByteArray a(3000, 'a');
    const QString as(3000, u'a');
    const QString dongs = QString(u'东').repeated(1023);
    const QString grin = QStringLiteral(u"\U0001F600"); // a surrogate pair
    constexpr auto LE = QSysInfo::LittleEndian;
    constexpr auto BE = QSysInfo::BigEndian;
    return {
        {"typical_stay", kStay, fields(u"2612091200", u"01020399", u"508317", u"东楼203")},
        {"no_file", std::nullopt, {}},
        {"empty_file", "", {}},
        {"leavetime_missing", "[MAIN]\nleavedate=261209\nroomno=1\n", fields(u"261209", u"1")},
        {"leavedate_missing", "[MAIN]\nleavetime=1200\n", fields(u"1200")},
        {"no_main_section", "[OTHER]\nroomno=1\n", {}},
        {"names_in_other_case", "[main]\nROOMNO=0102\nCoId=7\nFH=x\n",
         fields({}, u"0102", u"7", u"x")},
        {"blanks_around_key_and_value", "[MAIN]\n \t roomno \t=\t 0102 \t\nfh = 1 2  \n",
         fields({}, u"0102", {}, u"1 2")},
        {"spaces_inside_brackets_dropped", "[ MAIN ]\nroomno=1\n", fields({}, u"1")},
        {"tabs_inside_brackets_dropped", "[\tMAIN\t]\nroomno=1\n", fields({}, u"1")},
        {"header_with_blanks_and_text_after_it", "  [MAIN] ; front desk\nroomno=1\n",
         fields({}, u"1")},
        {"non_numeric_coid_copied", "[MAIN]\ncoid=$4G00 x\n", fields({}, {}, u"$4G00 x")},
        {"double_quotes", "[MAIN]\nroomno=\"0102\"\n", fields({}, u"0102")},
        {"single_quotes", "[MAIN]\nroomno='0102'\n", fields({}, u"0102")},
        {"mismatched_quotes", "[MAIN]\nroomno=\"0102'\n", fields({}, u"\"0102'")},
        {"quote_at_one_end", "[MAIN]\nroomno=\"0102\n", fields({}, u"\"0102")},
        {"lone_quote", "[MAIN]\nroomno=\"\n", fields({}, u"\"")},
        {"empty_quotes", "[MAIN]\nroomno=''\ncoid=1\n", fields({}, {}, u"1")},
        {"blanks_inside_quotes_kept", "[MAIN]\nroomno= \" 01 \" \n", fields({}, u" 01 ")},
        {"one_pair_of_quotes_only", "[MAIN]\nroomno=\"\"01\"\"\n", fields({}, u"\"01\"")},
        {"value_containing_equals", "[MAIN]\ncoid=a=b==\n", fields({}, {}, u"a=b==")},
        {"key_without_equals_ignored", "[MAIN]\nroomno\nroomno=5\n", fields({}, u"5")},
        {"semicolon_line_is_another_key", "[MAIN]\n;roomno=5\n", {}},
        {"vertical_tabs_around_value_dropped", "[MAIN]\nfh=\v1\v\n", fields({}, {}, {}, u"1")},
        {"form_feeds_around_key_dropped", "[MAIN]\n\fcoid\f=5\n", fields({}, {}, u"5")},
        {"ctrl_z_around_value_dropped",
         "[MAIN]\nfh=\x1A"
         "1\x1A\n",
         fields({}, {}, {}, u"1")},
        {"ideographic_space_is_not_a_blank", "[MAIN]\nfh=\xB6\xAB\xA1\xA1\n",
         fields({}, {}, {}, u"东\u3000")},
        {"value_3000_cut_to_2047", "[MAIN]\nroomno=" + a + "\n", fields({}, as.first(2047))},
        {"value_2047_kept", "[MAIN]\nroomno=" + a.first(2047), fields({}, as.first(2047))},
        {"value_2048_cut_to_2047", "[MAIN]\nroomno=" + a.first(2048) + "\n",
         fields({}, as.first(2047))},
        {"quotes_dropped_before_the_cut", "[MAIN]\nroomno=\"" + a + "\"\n",
         fields({}, as.first(2047))},
        {"character_across_the_cut_dropped", "[MAIN]\nfh=" + a.first(2046) + kDong + "b\n",
         fields({}, {}, {}, as.first(2046))},
        {"character_ending_at_the_cut_kept", "[MAIN]\nfh=" + a.first(2045) + kDong + "b\n",
         fields({}, {}, {}, as.first(2045) + u'东')},
        {"cut_counts_bytes_not_characters", "[MAIN]\nfh=" + kDong.repeated(1500) + "\n",
         fields({}, {}, {}, dongs)},
        {"second_bytes_bracket_and_backslash_in_value",
         "[MAIN]\nfh=\x87\x5B\x81\x5C\x85\x5D"
         "203\n",
         fields({}, {}, {}, u"嘯乗匽203")},
        {"bracket_second_byte_makes_no_header", "[MAIN]\nroomno=1\n[\x85\x5D\ncoid=2\n",
         fields({}, u"1", u"2")},
        {"backslash_second_byte_escapes_nothing", "[MAIN]\nroomno=1\n[\x81\x5C]\ncoid=2\n",
         fields({}, u"1")},
        {"utf8_with_bom",
         kBom + "[MAIN]\r\nfh=\xE4\xB8\x9C\xE6\xA5\xBC"
                "203\r\nroomno=1",
         fields({}, u"1", {}, u"东楼203")},
        {"utf8_character_across_the_cut_dropped",
         kBom + "[MAIN]\nfh=" + a.first(2045) + kDongUtf8 + "b\n",
         fields({}, {}, {}, as.first(2045))},
        {"utf8_character_ending_at_the_cut_kept",
         kBom + "[MAIN]\nfh=" + a.first(2044) + kDongUtf8 + "b\n",
         fields({}, {}, {}, as.first(2044) + u'东')},
        {"utf8_without_bom_read_as_code_page_936",
         "[MAIN]\nfh=\xE4\xB8\x9C\xE6\xA5\xBC"
         "203\n",
         fields({}, {}, {},
                fromLibraryText("\xE4\xB8\x9C\xE6\xA5\xBC"
                                "203"))},
        {"bom_alone", kBom, {}},
        {"utf16le_with_bom", utf16(u"[MAIN]\r\nfh=东楼203\r\nroomno=1", LE),
         fields({}, u"1", {}, u"东楼203")},
        {"utf16be_with_bom", utf16(u"[\tmain ]\r\n\fcoid = '5' \r\nfh=东楼", BE),
         fields({}, {}, u"5", u"东楼")},
        {"utf16_without_bom_read_as_code_page_936",
         utf16(u"[MAIN]\r\nroomno=1\r\n", LE).sliced(2),
         {}},
        {"utf16_bom_alone", "\xFF\xFE", {}},
        {"utf16_cut_counts_units_not_bytes",
         utf16(QStringLiteral("[MAIN]\nfh=") + QString(u'东').repeated(3000), LE),
         fields({}, {}, {}, QString(u'东').repeated(2047))},
        {"utf16_pair_across_the_cut_dropped",
         utf16(QStringLiteral("[MAIN]\nfh=") + as.first(2046) + grin + u'b', LE),
         fields({}, {}, {}, as.first(2046))},
        {"utf16_pair_ending_at_the_cut_kept",
         utf16(QStringLiteral("[MAIN]\nfh=") + as.first(2045) + grin + u'b', BE),
         fields({}, {}, {}, as.first(2045) + grin)},
        {"utf16_odd_final_byte", utf16(u"[MAIN]\nfh=1", LE) + "2", fields({}, {}, {}, u"1\uFFFD")},
        {"utf16_lone_surrogate_at_the_end",
         utf16(QStringLiteral("[MAIN]\nfh=1") + grin.first(1), BE), fields({}, {}, {}, u"1\uFFFD")},
        {"cr_line_ends", "[MAIN]\rroomno=1\rcoid=2\r", fields({}, u"1", u"2")},
        {"lf_line_ends", "[MAIN]\nroomno=1\ncoid=2\n", fields({}, u"1", u"2")},
        {"lf_cr_line_ends", "[MAIN]\n\rroomno=1\n\rcoid=2\n\r", fields({}, u"1", u"2")},
        {"no_final_line_end", "[MAIN]\nroomno=1\nfh=\xB6\xAB", fields({}, u"1", {}, u"东")},
        {"no_final_line_end_after_a_cut_character", "[MAIN]\nfh=\xB6\xAB\xB6",
         fields({}, {}, {}, u"东\uFFFD")},
        {"duplicate_sections_only_the_first_read", "[main]\ncoid=1\n[MAIN]\ncoid=2\nfh=3\n",
         fields({}, {}, u"1")},
        {"duplicate_keys_first_wins", "[MAIN]\nroomno=1\nROOMNO=2\n", fields({}, u"1")},
        {"first_empty_value_wins", "[MAIN]\nroomno=\nroomno=5\ncoid=1\n", fields({}, {}, u"1")},
        {"keys_before_any_section", "roomno=7\ncoid=8\n[MAIN]\ncoid=2\n", fields({}, {}, u"2")},
        {"keys_of_other_sections", "[OTHER]\nroomno=7\n[MAIN]\ncoid=2\n[MAINX]\nroomno=8\n",
         fields({}, {}, u"2")},
        {"binary_junk_around_the_section",
         junk(8192, 1) + "\n[MAIN]\nroomno=1\ncoid=2\n" + junk(8192, 2), fields({}, u"1", u"2")},
        {"nul_ends_a_value", bytes("[MAIN]\nroomno=12\0 34\ncoid=\"\0\"\n"sv), fields({}, u"12")},
        {"nul_inside_a_key", bytes("[MAIN]\nroom\0no=5\n"sv), {}},
        {"nul_inside_a_section_name", bytes("[MA\0IN]\nroomno=5\n"sv), {}},
        {"megabyte_line_before_the_section", QByteArray(1 << 20, 'x') + "\n[MAIN]\nroomno=1\n",
         fields({}, u"1")},
        {"megabyte_value", "[MAIN]\nfh=" + kDong.repeated(1 << 19) + "\ncoid=1\n",
         fields({}, {}, u"1", dongs)},
        {"megabyte_bracket_line_without_close",
         "[MAIN]\nroomno=1\n[" + QByteArray("\x85\x5D").repeated(1 << 19) + "\ncoid=2\n",
         fields({}, u"1", u"2")},
    };
}

class HandoffFile : public ::testing::TestWithParam<FileCase>
{
};

TEST_P(HandoffFile, GivesTheFieldTexts)
{
    const FileCase &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (c.file)
        writeFile(dir.filePath(kHandoffFileName), *c.file);

    EXPECT_EQ(readHandoff(dir.path()), c.expected);

    // Read, never written or created.
    if (c.file)
        EXPECT_EQ(readFile(dir.filePath(kHandoffFileName)), *c.file);
    else
        EXPECT_FALSE(QFile::exists(dir.filePath(kHandoffFileName)));
}

// The offsets at which to split a file in two: all of them, except in the
// megabyte files, where that would take hours. There it is every offset near a
// line end or either end of the file, and one in each stretch of a long line.
std::vector<qsizetype> splitOffsets(QByteArrayView file)
{
    constexpr qsizetype kEveryOffsetUpTo = 64 * 1024;
    constexpr qsizetype kNear = 8;
    constexpr qsizetype kStretch = 64 * 1024;
    const qsizetype n = file.size();
    std::vector<qsizetype> offsets;
    for (qsizetype k = 0; k <= n; ++k) {
        if (n <= kEveryOffsetUpTo || k < kNear || n - k < kNear || k % kStretch == 0)
            offsets.push_back(k);
        else if (file[k] == '\n' || file[k] == '\r')
            for (qsizetype near = std::max<qsizetype>(0, k - kNear); near <= std::min(n, k + kNear);
                 ++near)
                offsets.push_back(near);
    }
    std::ranges::sort(offsets);
    const auto repeated = std::ranges::unique(offsets);
    offsets.erase(repeated.begin(), repeated.end());
    return offsets;
}

// Line ends, a byte-order mark and multi-byte characters split between reads
// must not change a value, nor must a line begun in one read and finished by a
// longer one.
class HandoffFileInPieces : public HandoffFile
{
};

TEST_P(HandoffFileInPieces, GivesTheSameWhenSplitAnywhere)
{
    const QByteArray &file = *GetParam().file;
    const QStringList keys{QStringLiteral("leavedate"), QStringLiteral("leavetime"),
                           QStringLiteral("roomno"), QStringLiteral("coid"), QStringLiteral("fh")};
    ProfileReader whole(QStringLiteral("MAIN"), keys);
    whole.feed(file);
    const QStringList expected = whole.finish();

    for (const qsizetype k : splitOffsets(file)) {
        ProfileReader reader(QStringLiteral("MAIN"), keys);
        reader.feed(QByteArrayView(file).first(k));
        reader.feed(QByteArrayView(file).sliced(k));
        ASSERT_EQ(reader.finish(), expected) << "split at " << k << " of " << file.size();
    }

    ProfileReader bytewise(QStringLiteral("MAIN"), keys);
    for (const char &byte : file)
        bytewise.feed(QByteArrayView(&byte, 1));
    EXPECT_EQ(bytewise.finish(), expected) << "fed one byte at a time";
}

std::vector<FileCase> existingFileCases()
{
    std::vector<FileCase> cases = fileCases();
    std::erase_if(cases, [](const FileCase &c) { return !c.file; });
    return cases;
}

const auto caseName = [](const auto &info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Contents, HandoffFile, ::testing::ValuesIn(fileCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Contents, HandoffFileInPieces, ::testing::ValuesIn(existingFileCases()),
                         caseName);

} // namespace
