#include "app/LibraryText.h"
#include "app/handoff/Handoff.h"
#include "app/handoff/ProfileReader.h"
#include "tests/handoff/HandoffTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <iostream>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// AddressSanitizer slows the read and holds freed memory back in quarantine:
// there the bounds below measure the sanitizer, not the reader.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

TEST(ProfileReader, FindsSectionsNamedWithBracketAndBackslashSecondBytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("names.ini"));
    // 匽 855D, 嘯 875B, 乗 815C: a reader that looks for "]" in the bytes ends
    // these names one byte into their last character.
    writeFile(path, "[\x85\x5D]\nk=1\n[\x87\x5B\x81\x5C]\nk=2\n[\x81\x5C]\nk=3\n");
    const QStringList key{QStringLiteral("k")};
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("匽"), key), QStringList{"1"});
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("嘯乗"), key), QStringList{"2"});
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("乗"), key), QStringList{"3"});
}

TEST(ProfileReader, MatchesNamesWithoutRegardToCaseBeyondAscii)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("utf8.ini"));
    writeFile(path, "\xEF\xBB\xBF[\xC3\x84RGER]\nSCHL\xC3\x9C"
                    "SSEL=1\n");
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("ärger"), {QStringLiteral("schlüssel")}),
              QStringList{"1"});
}

TEST(ProfileReader, AnswersEveryKeyAskedForInTheOrderAsked)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("order.ini"));
    writeFile(path, "[MAIN]\nroomno=1\ncoid=2\n");
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("MAIN"),
                                 {QStringLiteral("coid"), QStringLiteral("ROOMNO"),
                                  QStringLiteral("missing"), QStringLiteral("coid")}),
              (QStringList{"2", "1", "", "2"}));
    EXPECT_EQ(readProfileStrings(path, QStringLiteral("MAIN"), {}), QStringList{});
}

// Runs the read on a thread of its own, so that a reader that blocks fails the
// test instead of hanging it.
std::optional<HandoffValues> readWithin(const QString &programDir, std::chrono::seconds limit)
{
    auto done = std::make_shared<std::promise<HandoffValues>>();
    std::future<HandoffValues> result = done->get_future();
    std::thread([done, programDir] { done->set_value(readHandoff(programDir)); }).detach();
    if (result.wait_for(limit) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

struct NotAFileCase
{
    const char *name;
    std::function<bool(const QString &path)> make;
};

void PrintTo(const NotAFileCase &c, std::ostream *os)
{
    *os << c.name;
}

class NotARegularFile : public ::testing::TestWithParam<NotAFileCase>
{
};

// Everything below a folder, links and sizes, one entry a line.
std::string listing(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.filePath(), info.isSymLink() ? QStringLiteral("link") : QString())
                       .arg(info.isSymLink() ? 0 : info.size());
    }
    entries.sort();
    return entries.join(u'\n').toStdString();
}

TEST_P(NotARegularFile, ReadsAsEmptyAndReturnsPromptly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kHandoffFileName);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("data")));
    ASSERT_TRUE(GetParam().make(path));
    const std::string before = listing(dir.path());

    const std::optional<HandoffValues> values = readWithin(dir.path(), std::chrono::seconds(5));
    ASSERT_TRUE(values) << "the read blocked";
    EXPECT_EQ(*values, HandoffValues{});
    // Nothing made where a link points to nothing.
    EXPECT_EQ(listing(dir.path()), before);
}

// The installed station's hotel.ini is a link into the variable-data folder:
// the link's target in a folder of its own.
QString dataPath(const QString &path)
{
    return QFileInfo(path).dir().filePath(QStringLiteral("data/hotel.ini"));
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NotARegularFile,
    ::testing::Values(
        NotAFileCase{"directory", [](const QString &path) { return QDir().mkdir(path); }},
        // Opening a FIFO for reading waits for a writer unless told not to.
        NotAFileCase{"fifo", makeFifo},
        // Endless bytes with no line end: a reader that reads it never returns.
        NotAFileCase{
            "endless_device",
            [](const QString &path) { return QFile::link(QStringLiteral("/dev/zero"), path); }},
        // Opening to create would make the file the link points to.
        NotAFileCase{"dangling_link",
                     [](const QString &path) { return QFile::link(dataPath(path), path); }},
        NotAFileCase{"link_to_a_fifo",
                     [](const QString &path) {
                         return makeFifo(dataPath(path)) && QFile::link(dataPath(path), path);
                     }},
        NotAFileCase{"link_to_a_directory",
                     [](const QString &path) {
                         return QDir().mkdir(dataPath(path)) && QFile::link(dataPath(path), path);
                     }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ReadHandoff, FollowsTheLinkIntoTheDataFolder)
{
    QTemporaryDir program, data;
    writeFile(data.filePath(kHandoffFileName), "[MAIN]\nroomno=01020399\nfh=203\n");
    ASSERT_TRUE(QFile::link(data.filePath(kHandoffFileName), program.filePath(kHandoffFileName)));

    const HandoffValues values = readHandoff(program.path());
    EXPECT_EQ(values.lockNo, QStringLiteral("01020399"));
    EXPECT_EQ(values.roomNo, QStringLiteral("203"));
}

TEST(ReadHandoff, LeavesTheFileAndItsFolderAsTheyWere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kHandoffFileName);
    const QByteArray content = "[MAIN]\r\nroomno=01020399\r\nfh=\xB6\xAB\xC2\xA5"
                               "203";
    writeFile(path, content);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)),
                                     QFileDevice::FileModificationTime));
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);

    EXPECT_EQ(readHandoff(dir.path()).lockNo, QStringLiteral("01020399"));

    EXPECT_EQ(readFile(path), content);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), entries);
}

TEST(ReadHandoff, ReadsTheProgramFolderNeverTheWorkingDirectory)
{
    QTemporaryDir program, working;
    writeFile(program.filePath(kHandoffFileName), "[MAIN]\nroomno=program\n");
    writeFile(working.filePath(kHandoffFileName), "[MAIN]\nroomno=working\n");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));

    const HandoffValues fromProgram = readHandoff(program.path());
    const HandoffValues withSlash = readHandoff(program.path() + u'/');
    const HandoffValues fromNoFolder = readHandoff(QString());
    QDir::setCurrent(previous);

    EXPECT_EQ(fromProgram.lockNo, QStringLiteral("program"));
    EXPECT_EQ(withSlash.lockNo, QStringLiteral("program"));
    EXPECT_EQ(fromNoFolder, HandoffValues{});
}

// Resident and peak resident memory of this process, in KiB.
struct Memory
{
    long resident = 0, peak = 0;
};

Memory memory()
{
    Memory m;
    const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("VmRSS:"))
            m.resident = line.mid(6).trimmed().split(' ').first().toLong();
        else if (line.startsWith("VmHWM:"))
            m.peak = line.mid(6).trimmed().split(' ').first().toLong();
    }
    return m;
}

// Lets the peak start again from the present use; false where Linux refuses.
bool resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

struct LargeRead
{
    HandoffValues values;
    long peakGrowthKib = 0;
};

// Writes 100 MiB of long lines that belong to other sections, with the hand-off
// section last (Chinese text, plain text, and lines that begin like a header
// but are not one and have to be decoded to tell), and reads it.
void readHundredMegabytes(const std::function<QByteArray(const QString &)> &encode,
                          const QByteArray &start, LargeRead *read)
{
    const QString crlf = QStringLiteral("\r\n");
    QString text = QStringLiteral("[OTHER]") + crlf;
    for (int i = 0; i < 4; ++i) {
        text += QStringLiteral(u"memo=") + QStringLiteral(u"东楼203 ").repeated(8192) + crlf;
        text += QStringLiteral(u"note=") +
                QStringLiteral(u"room 203, late checkout; ").repeated(2600) + crlf;
        text += u'[' + QString(u'匽').repeated(16384) + crlf;
    }
    const QByteArray block = encode(text);
    constexpr qint64 kFileSize = 100 << 20;
    QTemporaryDir dir;
    {
        QFile file(dir.filePath(kHandoffFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(start), start.size());
        for (qint64 written = 0; written + block.size() < kFileSize; written += block.size())
            ASSERT_EQ(file.write(block), block.size());
        ASSERT_TRUE(file.write(encode(QStringLiteral(
                        u"\n[MAIN]\nleavedate=261209\nleavetime=1200\nroomno=01020399\n"
                        u"coid=508317\nfh=东楼203\n"))) > 0);
    }
    ASSERT_GE(QFileInfo(dir.filePath(kHandoffFileName)).size(), kFileSize - block.size());
    const Memory before = memory();
    // Without a reset, only a rise above the earlier peak can be seen.
    const long baseline = resetPeak() ? before.resident : std::max(before.resident, before.peak);

    read->values = readHandoff(dir.path());
    read->peakGrowthKib = memory().peak - baseline;

    std::cout << "[ MEASURED ] 100 MiB read, peak memory grew by " << read->peakGrowthKib
              << " KiB\n";
    ::testing::Test::RecordProperty("peak_growth_kib", static_cast<int>(read->peakGrowthKib));
}

const HandoffValues kLargeFileStay{QStringLiteral("2612091200"), QStringLiteral("01020399"),
                                   QStringLiteral("508317"), QStringLiteral("东楼203")};
constexpr long kStreamedPeakGrowthKib = 16 * 1024;

// How fast it reads is the benchmarks' business, not a test's.
TEST(ReadHandoff, ReadsAHundredMegabyteFileInMemoryBoundedByItsLongestLine)
{
    LargeRead read;
    ASSERT_NO_FATAL_FAILURE(readHundredMegabytes(toLibraryText, {}, &read));
    EXPECT_EQ(read.values, kLargeFileStay);
    if (kSanitized)
        GTEST_SKIP() << "memory bounds hold for builds without AddressSanitizer";
    EXPECT_LT(read.peakGrowthKib, kStreamedPeakGrowthKib)
        << "the file must be streamed, not read whole";
}

// Decoding UTF-16 must stream as well: neither the file nor its text held whole.
TEST(ReadHandoff, ReadsAHundredMegabyteUtf16FileInMemoryBoundedByItsLongestLine)
{
    const auto utf16 = [](const QString &text) {
        return QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
    };
    LargeRead read;
    ASSERT_NO_FATAL_FAILURE(readHundredMegabytes(utf16, "\xFF\xFE", &read));
    EXPECT_EQ(read.values, kLargeFileStay);
    if (kSanitized)
        GTEST_SKIP() << "memory bounds hold for builds without AddressSanitizer";
    EXPECT_LT(read.peakGrowthKib, kStreamedPeakGrowthKib)
        << "the file must be streamed, not read whole";
}

} // namespace
