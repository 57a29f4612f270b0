#pragma once
// Version texts of a program file, read from the version block compiled into it.
//
// The block is found by scanning the file's bytes for its marker (ZTVersionBlockMarker()),
// followed by UTF-8 text lines up to a NUL byte:
//
//   FileVersion=1.2.0.45            the fixed file version: major.minor.release.build
//   Translation=1033 1252           language id and code page, decimal; more pairs after ';'
//   [1033 1252]                     the string table of that translation
//   LegalCopyright=Copyright ...
//
// A file without a valid block (or a missing file) has no version block: the routines then
// give their defaults.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

struct TZTTranslation {
    std::uint16_t LanguageId = 0;
    std::uint16_t CodePage = 0;
};

struct TZTVersionInfo {
    // Most and least significant words of the fixed file version, each two 16-bit parts.
    std::uint32_t FileVersionMS = 0;
    std::uint32_t FileVersionLS = 0;
    QList<TZTTranslation> Translations;
    // String tables addressed as "\StringFileInfo\040904E4\LegalCopyright".
    QMap<QString, QString> Strings;
};

// The marker that starts a version block (built at run time, so the reader never holds it).
QByteArray ZTVersionBlockMarker();
// Reads the version block of a file; false when the file has none or cannot be read.
bool ZTReadVersionInfo(const QString &fileName, TZTVersionInfo &info);
// Parses the text of a block (what follows the marker, without the NUL); false when invalid.
bool ZTParseVersionBlock(const QByteArray &text, TZTVersionInfo &info);
// The translation as eight upper-case hexadecimal digits, language id then code page.
QString ZTTranslationText(const TZTTranslation &translation);

// The copyright line used for a file without a version block.
QString ZTDefaultCopyright();

// "%d.%d.%d Build %d" of the fixed file version; "0.0.0" for a file without a version block.
QString FileVersionText(const QString &fileName);
// The "LegalCopyright" string of the first translation; the default copyright line for a file
// without a version block; empty when the block lacks the string.
QString FileCopyrightText(const QString &fileName);
// 0 when the first translation's language is Portuguese (2070 Portugal, 1046 Brazil); 1
// otherwise, and 1 for a file without a version block.
std::uint8_t FileLanguageId(const QString &fileName);
