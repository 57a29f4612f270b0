#pragma once
// Small text routines shared by the whole program. All are stateless and never raise.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>

// The first n characters; the whole text when it is shorter, empty for n <= 0.
QString ZTLeftStr(const QString &text, qsizetype n);
// The last n characters; the whole text when it is shorter, empty for n <= 0.
QString ZTRightStr(const QString &text, qsizetype n);
// The text without leading and trailing blanks and control characters.
QString ZTTrim(const QString &text);
// Every occurrence of ch replaced by replacement (which may be empty or longer).
QString ZTReplaceChar(const QString &text, QChar ch, const QString &replacement);
// The same lines in a random order. The generator is seeded from the program's clock, so a
// pinned clock gives a repeatable order. When anything fails the list stays as it was.
void ZTShuffle(QStringList &lines);
// Upper case by the locale's rules.
QString ZTUpperCase(const QString &text);
// The first character in upper case, the rest unchanged; empty stays empty.
QString ZTCapitalize(const QString &text);
// The text before the first delimiter; that part and the delimiter are removed from text.
// Without a delimiter the whole text is returned and text becomes empty.
QString ZTNextToken(QString &text, QChar delimiter);
// Clears list, then appends the tokens of text: "a;b" gives a and b, "a;;b" gives a, an empty
// token and b, "a;" gives only a, an empty text gives nothing.
void ZTSplit(const QString &text, QChar delimiter, QStringList &list);
// The characters up to the first carriage return or line feed that follows some content;
// line breaks before the first content are skipped. Never contains a line break.
QString ZTFirstLine(const QString &text);

// Text read from a file: bytes that are valid UTF-8 are read as UTF-8 (an initial byte-order
// mark is skipped). Otherwise each line is read on its own: as UTF-8 when it is valid UTF-8,
// else as Windows-1252, the encoding of files carried over from the Windows product. Line ends
// are kept as they stand.
QString ZTDecodeText(const QByteArray &bytes);

// The same rule for one line at a time, for readers that take a file apart line by line
// without decoding it whole: a line (without its line end) that is valid UTF-8 is UTF-8, any
// other is Windows-1252; a byte-order mark is skipped only at the start of the first line. A
// line of the file decodes here exactly as ZTDecodeText decodes it within the whole file.
class TZTLineDecoder {
public:
    TZTLineDecoder();
    // The decoded line; valid until the next call.
    QStringView Decode(QByteArrayView line, bool firstLine);

private:
    QStringDecoder first_;
    QStringDecoder other_;
    QString buffer_;
};
