#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

// Profile (INI) files as the Windows profile-string reader reads them, which is
// where the hand-off file's format comes from:
// - "[name]" starts a section; section and key names match without regard to case.
// - Only the first section of a name is read; in it, the first entry of a key.
// - An entry is "key=value"; the value is everything after the first "=".
//   Blanks (white space and Ctrl-Z) around the key, around the value and
//   inside the brackets around a section name are dropped, then one pair of
//   matching double or single quotes around the value.
// - A value keeps at most kProfileValueCapacity - 1 units of the file's text
//   (bytes, or 16-bit units in a UTF-16 file) and never part of a character.
// - Any other line is ignored; a missing file, section or key reads as empty.
// - The file is 8-bit text in code page 936, or UTF-8 or UTF-16 (either byte
//   order) after a byte-order mark.

// The platform reader's value buffer, terminating NUL included.
inline constexpr qsizetype kProfileValueCapacity = 2048;

// The values of `keys` in `section` of the profile file at `path`, in the order
// of `keys`. Each is what a separate profile-string read with the empty text as
// default gives; the file is read once for all of them and never written.
// Anything but a regular file (directory, FIFO, device) reads as empty, without
// blocking.
QStringList readProfileStrings(const QString &path, const QString &section,
                               const QStringList &keys);

// The reader behind readProfileStrings(), fed the file's bytes in pieces of any
// size. It keeps one line at a time, so its memory is bounded by the longest
// line.
class ProfileReader
{
public:
    enum class Encoding
    {
        Unknown, // until the first bytes tell whether there is a byte-order mark
        CodePage936,
        Utf8,
        Utf16 // either byte order
    };

    ProfileReader(const QString &section, const QStringList &keys);

    void feed(QByteArrayView bytes);
    // Once every key has been seen, or the section has ended, the rest of the
    // file cannot change a value.
    bool complete() const { return m_missing == 0 || m_sectionPassed; }
    // The values, in the order of the keys; call after the last feed().
    QStringList finish();

private:
    void startText();
    void feedText(QByteArrayView bytes);
    void feedLines(QByteArrayView bytes);
    void takeLine(QByteArrayView line);
    bool sectionHeader(QByteArrayView line, QString *name) const;
    QString decode(QByteArrayView bytes) const;
    QString valueText(QByteArrayView bytes) const;

    QString m_section;  // case-folded
    QStringList m_keys; // case-folded
    QStringList m_values;
    QList<bool> m_found;
    qsizetype m_missing;
    QByteArray m_pending; // the start of the file until its byte-order mark is
                          // decided, then the line begun in an earlier piece
    Encoding m_encoding = Encoding::Unknown;
    // A UTF-16 file's text, and the same as UTF-8 for the line reader.
    QStringDecoder m_fromUtf16;
    QStringEncoder m_toUtf8;
    bool m_oddByte = false; // a UTF-16 file's bytes so far end in half a unit
    bool m_inSection = false;
    bool m_sectionPassed = false;
};
