#include "ZTVerInf.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringList>

#include <memory>

namespace {

// The marker, stored with every byte changed so that this file never holds the marker itself
// (the program file that holds the block also holds this reader).
constexpr unsigned char ScrambledMarker[] = {
    0x00 ^ 0x5A, 'Z' ^ 0x5A, 'T' ^ 0x5A, '-' ^ 0x5A, 'V' ^ 0x5A, 'E' ^ 0x5A, 'R' ^ 0x5A, 'S' ^ 0x5A,  'I' ^ 0x5A,  'O' ^ 0x5A,
    'N' ^ 0x5A,  '-' ^ 0x5A, 'B' ^ 0x5A, 'L' ^ 0x5A, 'O' ^ 0x5A, 'C' ^ 0x5A, 'K' ^ 0x5A, 0x01 ^ 0x5A, '\n' ^ 0x5A,
};
volatile unsigned char MarkerKey = 0x5A;

// A block is small; anything longer is not one.
constexpr qsizetype MaxBlockSize = 64 * 1024;

bool ParseNumber(const QString &text, std::uint32_t limit, std::uint32_t &value)
{
    bool ok = false;
    const uint n = text.trimmed().toUInt(&ok, 10);
    if (!ok || n > limit)
        return false;
    value = n;
    return true;
}

bool ParseTranslation(const QString &text, TZTTranslation &translation)
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '));
    std::uint32_t language = 0;
    std::uint32_t codePage = 0;
    if (parts.size() != 2 || !ParseNumber(parts.at(0), 0xFFFF, language) || !ParseNumber(parts.at(1), 0xFFFF, codePage))
        return false;
    translation.LanguageId = std::uint16_t(language);
    translation.CodePage = std::uint16_t(codePage);
    return true;
}

bool ScanForBlock(QByteArrayView bytes, TZTVersionInfo &info)
{
    const QByteArray marker = ZTVersionBlockMarker();
    qsizetype from = 0;
    while (true) {
        const qsizetype at = bytes.indexOf(QByteArrayView(marker), from);
        if (at < 0)
            return false;
        const qsizetype start = at + marker.size();
        const QByteArrayView rest = bytes.sliced(start, qMin(MaxBlockSize, bytes.size() - start));
        const qsizetype end = rest.indexOf('\0');
        if (end >= 0) {
            TZTVersionInfo candidate;
            if (ZTParseVersionBlock(rest.first(end).toByteArray(), candidate)) {
                info = candidate;
                return true;
            }
        }
        from = at + 1;
    }
}

} // namespace

QByteArray ZTVersionBlockMarker()
{
    QByteArray marker;
    marker.reserve(sizeof(ScrambledMarker));
    for (unsigned char c : ScrambledMarker)
        marker.append(char(c ^ MarkerKey));
    return marker;
}

QString ZTTranslationText(const TZTTranslation &translation)
{
    return QStringLiteral("%1%2")
        .arg(translation.LanguageId, 4, 16, QLatin1Char('0'))
        .arg(translation.CodePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

bool ZTParseVersionBlock(const QByteArray &text, TZTVersionInfo &info)
{
    TZTVersionInfo result;
    bool haveVersion = false;
    QString table; // the string table being read, as its eight hexadecimal digits
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            TZTTranslation translation;
            if (!ParseTranslation(line.mid(1, line.size() - 2), translation))
                return false;
            table = ZTTranslationText(translation);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return false;
        const QString name = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (!table.isEmpty()) {
            result.Strings.insert(QStringLiteral("\\StringFileInfo\\") + table + QLatin1Char('\\') + name, value);
        } else if (name == QLatin1String("FileVersion")) {
            // Four parts; missing or empty trailing parts count as 0.
            const QStringList parts = value.split(QLatin1Char('.'));
            if (parts.size() > 4)
                return false;
            std::uint32_t n[4] = {0, 0, 0, 0};
            for (qsizetype i = 0; i < parts.size(); ++i) {
                if (parts.at(i).trimmed().isEmpty() && i > 0)
                    continue;
                if (!ParseNumber(parts.at(i), 0xFFFF, n[i]))
                    return false;
            }
            result.FileVersionMS = (n[0] << 16) | n[1];
            result.FileVersionLS = (n[2] << 16) | n[3];
            haveVersion = true;
        } else if (name == QLatin1String("Translation")) {
            const QStringList pairs = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
            for (const QString &pair : pairs) {
                TZTTranslation translation;
                if (!ParseTranslation(pair, translation))
                    return false;
                result.Translations.append(translation);
            }
        }
    }
    if (!haveVersion)
        return false;
    info = result;
    return true;
}

bool ZTReadVersionInfo(const QString &fileName, TZTVersionInfo &info)
{
    try {
        if (fileName.isEmpty())
            return false;
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const qint64 size = file.size();
        if (size > 0) {
            if (uchar *mapped = file.map(0, size)) {
                const bool found = ScanForBlock(QByteArrayView(reinterpret_cast<const char *>(mapped), qsizetype(size)), info);
                file.unmap(mapped);
                return found;
            }
        }
        // Files that cannot be mapped (or report no size) are read in full.
        const QByteArray bytes = file.readAll();
        return ScanForBlock(QByteArrayView(bytes), info);
    } catch (...) {
        return false;
    }
}

QString ZTDefaultCopyright()
{
    return QStringLiteral("Copyright \u00A9 2026 Merrowick. All rights reserved.");
}

QString FileVersionText(const QString &fileName)
{
    TZTVersionInfo info;
    if (!ZTReadVersionInfo(fileName, info))
        return QStringLiteral("0.0.0");
    return QStringLiteral("%1.%2.%3 Build %4")
        .arg(info.FileVersionMS >> 16)
        .arg(info.FileVersionMS & 0xFFFF)
        .arg(info.FileVersionLS >> 16)
        .arg(info.FileVersionLS & 0xFFFF);
}

QString FileCopyrightText(const QString &fileName)
{
    TZTVersionInfo info;
    if (!ZTReadVersionInfo(fileName, info))
        return ZTDefaultCopyright();
    if (info.Translations.isEmpty())
        return QString();
    return info.Strings.value(QStringLiteral("\\StringFileInfo\\") + ZTTranslationText(info.Translations.first())
                              + QStringLiteral("\\LegalCopyright"));
}

std::uint8_t FileLanguageId(const QString &fileName)
{
    TZTVersionInfo info;
    if (!ZTReadVersionInfo(fileName, info) || info.Translations.isEmpty())
        return 1;
    const std::uint16_t language = info.Translations.first().LanguageId;
    return (language == 2070 || language == 1046) ? 0 : 1;
}
