#include "app/handoff/ProfileReader.h"

#include "app/LibraryText.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Finding structure in the bytes before decoding would be wrong for "[", "]"
// and "\": code page 936 uses them as second bytes of Chinese characters. It
// is right for line ends, blanks, "=", quotes and NUL: all lie below 0x40, and
// so are never part of a double-byte character (nor of a UTF-8 sequence). That
// is what lets a line be split, trimmed and unquoted as bytes, and a value be
// cut by its byte count, while section names are found in the decoded text.
// A UTF-16 file goes to the line reader as UTF-8, where all of this holds.

namespace {

constexpr qsizetype kReadSize = 256 * 1024;
// The longest value: in bytes of an 8-bit file, in 16-bit units of a UTF-16 one.
constexpr qsizetype kValueLength = kProfileValueCapacity - 1;
// The longest character that can straddle the cut: four bytes in UTF-8.
constexpr qsizetype kLongestCharacter = 4;

struct ByteOrderMark
{
    QByteArrayView bytes;
    ProfileReader::Encoding encoding;
    QStringConverter::Encoding converter;
};
const ByteOrderMark kByteOrderMarks[] = {
    {"\xEF\xBB\xBF", ProfileReader::Encoding::Utf8, QStringConverter::Utf8},
    {"\xFF\xFE", ProfileReader::Encoding::Utf16, QStringConverter::Utf16LE},
    {"\xFE\xFF", ProfileReader::Encoding::Utf16, QStringConverter::Utf16BE},
};
constexpr qsizetype kLongestByteOrderMark = 3;

// White space and the end-of-file mark Ctrl-Z. The full-width blank of code
// page 936 is a character of the text, not a blank.
bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\x1A';
}

bool isBlank(char c)
{
    return isBlank(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

bool isBlank(QChar c)
{
    return isBlank(c.unicode());
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

template <typename View> View trimBlanks(View text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// Closes the descriptor on every way out.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

QStringList readProfileStrings(const QString &path, const QString &section, const QStringList &keys)
{
    ProfileReader reader(section, keys);
    // Non-blocking, so that opening a FIFO does not wait for a writer; the type
    // is checked on the open descriptor, so nothing can swap the file between
    // the check and the read.
    const Descriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info;
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return reader.finish();

    QByteArray buffer(kReadSize, Qt::Uninitialized);
    while (!reader.complete()) {
        const ssize_t got = ::read(file.get(), buffer.data(), static_cast<size_t>(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // the end, or a read error: what was read stands
            break;
        reader.feed(QByteArrayView(buffer.constData(), got));
    }
    return reader.finish();
}

ProfileReader::ProfileReader(const QString &section, const QStringList &keys)
    : m_section(section.toCaseFolded()), m_values(keys.size()), m_found(keys.size(), false),
      m_missing(keys.size())
{
    for (const QString &key : keys)
        m_keys.append(key.toCaseFolded());
}

void ProfileReader::feed(QByteArrayView bytes)
{
    if (m_encoding != Encoding::Unknown) {
        feedText(bytes);
        return;
    }
    m_pending.append(bytes);
    if (m_pending.size() >= kLongestByteOrderMark)
        startText();
}

// Takes the encoding from the byte-order mark at the start of the file, if any.
void ProfileReader::startText()
{
    const QByteArray start = std::exchange(m_pending, QByteArray());
    const auto mark = std::ranges::find_if(
        kByteOrderMarks, [&start](const ByteOrderMark &m) { return start.startsWith(m.bytes); });
    if (mark == std::end(kByteOrderMarks)) {
        m_encoding = Encoding::CodePage936;
        feedText(start);
        return;
    }
    m_encoding = mark->encoding;
    if (m_encoding == Encoding::Utf16) {
        // The mark is off already: a second one is a character of the text.
        m_fromUtf16 = QStringDecoder(mark->converter, QStringConverter::Flag::ConvertInitialBom);
        m_toUtf8 = QStringEncoder(QStringConverter::Utf8);
    }
    feedText(QByteArrayView(start).sliced(mark->bytes.size()));
}

void ProfileReader::feedText(QByteArrayView bytes)
{
    if (m_encoding != Encoding::Utf16) {
        feedLines(bytes);
        return;
    }
    if (complete())
        return;
    // Both converters keep what a piece ends in the middle of (an odd byte, the
    // first half of a surrogate pair) for the next piece.
    m_oddByte = m_oddByte != (bytes.size() % 2 != 0);
    const QString text = m_fromUtf16.decode(bytes);
    const QByteArray utf8 = m_toUtf8.encode(text);
    feedLines(utf8);
}

QStringList ProfileReader::finish()
{
    if (m_encoding == Encoding::Unknown) // a file shorter than a byte-order mark
        startText();
    if (m_encoding == Encoding::Utf16 && !complete()) {
        // Half a character at the end shows as U+FFFD, as in 8-bit files. The
        // line end makes the encoder give up a surrogate it still holds.
        const QString end = m_oddByte ? QStringLiteral(u"\uFFFD\n") : QStringLiteral(u"\n");
        const QByteArray utf8 = m_toUtf8.encode(end);
        feedLines(utf8);
    }
    if (!m_pending.isEmpty() && !complete()) // no line end after the last line
        takeLine(m_pending);
    m_pending.clear();
    return m_values;
}

void ProfileReader::feedLines(QByteArrayView bytes)
{
    // CR, LF and CRLF all end a line: CRLF reads as a line end and an empty
    // line, which is ignored like any other.
    const char *const end = bytes.end();
    const char *start = bytes.begin();
    while (!complete()) {
        const char *lineEnd = std::find_if(start, end, isLineEnd);
        if (lineEnd == end)
            break;
        const QByteArrayView piece(start, lineEnd);
        if (m_pending.isEmpty()) {
            takeLine(piece);
        } else {
            m_pending.append(piece);
            takeLine(m_pending);
            m_pending.clear();
        }
        start = lineEnd + 1;
    }
    if (!complete())
        m_pending.append(QByteArrayView(start, end));
}

void ProfileReader::takeLine(QByteArrayView line)
{
    // A blank is never half of a character, nor is the byte after it.
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    if (line.isEmpty())
        return;

    QString name;
    if (line.front() == '[' && sectionHeader(line, &name)) {
        // Only the first section of the name is read, so a key found only in a
        // later one reads as empty: the rest of the file cannot change a value.
        m_sectionPassed = m_inSection;
        m_inSection = trimBlanks(QStringView(name)).toString().toCaseFolded() == m_section;
        return;
    }
    if (!m_inSection)
        return;

    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return;
    // Each key takes its first occurrence: an earlier "key=" with no value wins.
    const QString key = decode(trimBlanks(line.first(equals))).toCaseFolded();
    const QByteArrayView value = line.sliced(equals + 1);
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        if (m_found[i] || m_keys[i] != key)
            continue;
        m_values[i] = valueText(value);
        m_found[i] = true;
        --m_missing;
    }
}

// A line starting with "[" that also holds a "]" heads a section named by the
// text between the "[" and the first "]", without the blanks around it;
// anything after the "]" is ignored.
bool ProfileReader::sectionHeader(QByteArrayView line, QString *name) const
{
    const qsizetype close = line.indexOf(']');
    if (close < 0)
        return false;
    // Up to a "]" byte with no double-byte character before it, that byte is
    // the closing bracket: decode the name alone, not a long rest of the line.
    if (m_encoding != Encoding::CodePage936 || isAscii(line.first(close))) {
        *name = decode(line.sliced(1, close - 1));
        return true;
    }
    const QString text = decode(line);
    const qsizetype textClose = text.indexOf(u']');
    if (textClose < 0)
        return false;
    *name = text.sliced(1, textClose - 1);
    return true;
}

QString ProfileReader::decode(QByteArrayView bytes) const
{
    // Most lines are plain ASCII, which reads the same in every encoding here.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    return m_encoding == Encoding::CodePage936 ? fromLibraryText(bytes) : QString::fromUtf8(bytes);
}

QString ProfileReader::valueText(QByteArrayView bytes) const
{
    QByteArrayView value = unquoted(trimBlanks(bytes));
    // The program takes the value as a C string, which ends at a NUL.
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value = value.first(nul);
    if (m_encoding == Encoding::Utf16) {
        // Counted in the file's 16-bit units, never keeping half a surrogate pair.
        QString text = decode(value);
        if (text.size() > kValueLength) {
            text.truncate(kValueLength);
            if (text.back().isHighSurrogate())
                text.chop(1);
        }
        return text;
    }
    if (value.size() <= kValueLength)
        return decode(value);

    // The platform buffer cuts the bytes, but a character the cut would split
    // is left out whole: keep the text the cut bytes and the uncut bytes agree on.
    const QString cut = decode(value.first(kValueLength));
    const QString longer =
        decode(value.first(std::min(value.size(), kValueLength + kLongestCharacter - 1)));
    const auto agreed = std::mismatch(cut.begin(), cut.end(), longer.begin(), longer.end()).first;
    return cut.first(agreed - cut.begin());
}
