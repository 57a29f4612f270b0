#include "ZTStrUtils.h"

#include "ZTClock.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringDecoder>

QString ZTLeftStr(const QString &text, qsizetype n)
{
    if (n <= 0)
        return QString();
    return text.left(n);
}

QString ZTRightStr(const QString &text, qsizetype n)
{
    if (n <= 0)
        return QString();
    return text.right(n);
}

namespace {
bool IsBlankOrControl(QChar ch)
{
    return ch.unicode() <= 0x20 || ch.category() == QChar::Other_Control;
}
} // namespace

QString ZTTrim(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsBlankOrControl(text.at(first)))
        ++first;
    while (last > first && IsBlankOrControl(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

QString ZTReplaceChar(const QString &text, QChar ch, const QString &replacement)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (c == ch)
            result += replacement;
        else
            result += c;
    }
    return result;
}

void ZTShuffle(QStringList &lines)
{
    try {
        QStringList work = lines;
        QStringList result;
        result.reserve(work.size());
        QRandomGenerator random(quint64(ZTNowDateTime().toMSecsSinceEpoch()));
        while (!work.isEmpty()) {
            const qsizetype index = qsizetype(double(work.size()) * random.generateDouble());
            result.append(work.takeAt(qBound<qsizetype>(0, index, work.size() - 1)));
        }
        for (qsizetype i = 0; i < result.size(); ++i)
            lines[i] = result.at(i);
    } catch (...) {
        // The list is written only after the whole order is known, so it is still intact.
    }
}

QString ZTUpperCase(const QString &text)
{
    return QLocale().toUpper(text);
}

QString ZTCapitalize(const QString &text)
{
    if (text.isEmpty())
        return text;
    // A character outside the basic plane takes two code units.
    const qsizetype width = (text.size() > 1 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate()) ? 2 : 1;
    return QLocale().toUpper(text.left(width)) + text.mid(width);
}

QString ZTNextToken(QString &text, QChar delimiter)
{
    const qsizetype at = text.indexOf(delimiter);
    QString token;
    if (at < 0) {
        token = text;
        text.clear();
    } else {
        token = text.left(at);
        text.remove(0, at + 1);
    }
    return token;
}

void ZTSplit(const QString &text, QChar delimiter, QStringList &list)
{
    list.clear();
    QString rest = text;
    while (!rest.isEmpty())
        list.append(ZTNextToken(rest, delimiter));
}

QString ZTFirstLine(const QString &text)
{
    const auto isBreak = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };
    qsizetype first = 0;
    while (first < text.size() && isBreak(text.at(first)))
        ++first;
    qsizetype end = first;
    while (end < text.size() && !isBreak(text.at(end)))
        ++end;
    return text.mid(first, end - first);
}

namespace {

// Windows-1252: Latin-1 except for 0x80 .. 0x9F. The five codes the code page leaves
// unassigned read as the C1 controls of the same value, as Windows itself reads them.
QChar *AppendWindows1252(QChar *out, QByteArrayView bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return out + bytes.size();
}

} // namespace

QString ZTDecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;

    // Mixed: one line in another encoding must not spoil the others, so every line is decoded
    // on its own. A line that is valid UTF-8 is UTF-8; any other is Windows-1252. Only the
    // first line may start with a byte-order mark that is skipped.
    text.clear();
    text.reserve(bytes.size());
    TZTLineDecoder decoder;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        text += decoder.Decode(QByteArrayView(bytes.constData() + start, end - start), start == 0);
        // The line end as it stands.
        while (end < bytes.size() && (bytes[end] == '\n' || bytes[end] == '\r'))
            text += QChar(bytes[end++]);
        start = end;
    }
    return text;
}

TZTLineDecoder::TZTLineDecoder()
    : first_(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless),
      other_(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom)
{}

QStringView TZTLineDecoder::Decode(QByteArrayView line, bool firstLine)
{
    // Room as the decoder asks for it; Windows-1252 gives exactly one code unit per byte.
    const qsizetype room = qMax(line.size(), (firstLine ? first_ : other_).requiredSpace(line.size()));
    if (buffer_.size() < room)
        buffer_.resize(qMax(room, 2 * buffer_.size()));
    QChar *out = buffer_.data();
    QStringDecoder &utf8 = firstLine ? first_ : other_;
    utf8.resetState();
    const QChar *end = utf8.appendToBuffer(out, line);
    if (!utf8.hasError())
        return QStringView(out, end);
    return QStringView(out, AppendWindows1252(out, line));
}
