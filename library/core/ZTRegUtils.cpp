#include "ZTRegUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <cctype>

namespace {

const QString DwordPrefix = QStringLiteral("dword:");
const QString BinaryPrefix = QStringLiteral("hex:");
const QString TextPrefix = QStringLiteral("sz:");

struct TRegValue {
    enum Type { Missing, Text, Dword, Binary, Other };
    Type type = Missing;
    QString text;
    quint32 dword = 0;
    QByteArray binary;
};

QString ConfigHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString FirstConfigDir()
{
    const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : dirs) {
        if (QDir::isAbsolutePath(dir))
            return dir;
    }
    return QStringLiteral("/etc/xdg");
}

QStringList KeySegments(const QString &key)
{
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// QSettings takes '/' as its own separator and keeps every other character as it is, so a
// registry key becomes one flat group whose name is the key path, and only '%' and '/' need
// escaping in key segments and value names. The empty value name (a key's default value)
// becomes a lone "%", which no escaped name can produce.
QString EscapeName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("%");
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c == QLatin1Char('%'))
            out += QLatin1String("%25");
        else if (c == QLatin1Char('/'))
            out += QLatin1String("%2F");
        else
            out += c;
    }
    return out;
}

QString GroupName(const QString &key)
{
    QStringList parts = KeySegments(key);
    for (QString &part : parts)
        part = EscapeName(part);
    return parts.join(QLatin1Char('\\'));
}

bool IsRunKey(TZTRegHive hive, const QString &key)
{
    return hive == TZTRegHive::CurrentUser
           && KeySegments(key).join(QLatin1Char('\\')).compare(QString::fromUtf16(ZTRunKey), Qt::CaseInsensitive) == 0;
}

// The spelling under which a group or key is stored when it matches `wanted` regardless of
// case; `wanted` itself when there is none.
QString StoredSpelling(const QStringList &present, const QString &wanted)
{
    if (present.contains(wanted))
        return wanted;
    for (const QString &p : present) {
        if (p.compare(wanted, Qt::CaseInsensitive) == 0)
            return p;
    }
    return wanted;
}

// ---- INI hive files ---------------------------------------------------------------------

TRegValue Classify(const QVariant &stored)
{
    TRegValue value;
    if (stored.typeId() != QMetaType::QString) {
        value.type = TRegValue::Other;
        return value;
    }
    const QString s = stored.toString();
    if (s.startsWith(DwordPrefix)) {
        const QString digits = s.mid(DwordPrefix.size());
        bool ok = false;
        const quint32 n = digits.toUInt(&ok, 16);
        const bool hex =
            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.unicode() < 128 && std::isxdigit(c.unicode()); });
        value.type = (ok && hex && !digits.isEmpty() && digits.size() <= 8) ? TRegValue::Dword : TRegValue::Other;
        value.dword = n;
    } else if (s.startsWith(BinaryPrefix)) {
        const QByteArray digits = s.mid(BinaryPrefix.size()).toLatin1();
        const auto decoded = QByteArray::fromHex(digits);
        const bool hex = digits.size() % 2 == 0 && std::all_of(digits.begin(), digits.end(), [](char c) {
                             return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                         });
        value.type = hex ? TRegValue::Binary : TRegValue::Other;
        value.binary = decoded;
    } else if (s.startsWith(TextPrefix)) {
        value.type = TRegValue::Text;
        value.text = s.mid(TextPrefix.size());
    } else {
        value.type = TRegValue::Text;
        value.text = s;
    }
    return value;
}

QString Encode(const TRegValue &value)
{
    switch (value.type) {
    case TRegValue::Dword:
        return DwordPrefix + QStringLiteral("%1").arg(value.dword, 8, 16, QLatin1Char('0'));
    case TRegValue::Binary:
        return BinaryPrefix + QString::fromLatin1(value.binary.toHex());
    default:
        // A text that looks like another type is marked as text.
        if (value.text.startsWith(DwordPrefix) || value.text.startsWith(BinaryPrefix) || value.text.startsWith(TextPrefix))
            return TextPrefix + value.text;
        return value.text;
    }
}

TRegValue IniRead(TZTRegHive hive, const QString &key, const QString &name)
{
    const QString file = ZTRegHiveFileName(hive);
    if (!QFileInfo(file).isFile())
        return {};
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return {};
    const QString group = GroupName(key);
    if (!group.isEmpty()) {
        // The key is opened, never created: a missing key reads as a missing value.
        const QStringList groups = settings.childGroups();
        const QString stored = StoredSpelling(groups, group);
        if (!groups.contains(stored))
            return {};
        settings.beginGroup(stored);
    }
    const QString valueName = StoredSpelling(settings.childKeys(), EscapeName(name));
    if (!settings.contains(valueName))
        return {};
    return Classify(settings.value(valueName));
}

// The hive file may be written when it, or the folder that is to hold it, is writable.
bool PrepareForWriting(const QString &file)
{
    const QFileInfo info(file);
    if (info.exists())
        return info.isFile() && info.isWritable();
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    return QFileInfo(folder).isWritable();
}

void IniWrite(TZTRegHive hive, const QString &key, const QString &name, const TRegValue *value)
{
    const QString file = ZTRegHiveFileName(hive);
    if (value == nullptr && !QFileInfo(file).isFile())
        return;
    if (!PrepareForWriting(file))
        return;
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return;
    const QString group = GroupName(key);
    if (!group.isEmpty()) {
        const QStringList groups = settings.childGroups();
        const QString stored = StoredSpelling(groups, group);
        if (value == nullptr && !groups.contains(stored))
            return;
        settings.beginGroup(stored);
    }
    const QString valueName = StoredSpelling(settings.childKeys(), EscapeName(name));
    if (value == nullptr) {
        if (!settings.contains(valueName))
            return;
        settings.remove(valueName);
    } else {
        settings.setValue(valueName, Encode(*value));
    }
    settings.sync();
}

// ---- Autostart entries ------------------------------------------------------------------

bool ValidEntryName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") && name != QLatin1String("..");
}

// The "string" escapes of desktop entry values (\s \n \t \r \\).
QString UnescapeEntryValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            switch (next.unicode()) {
            case 's':
                out += QLatin1Char(' ');
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            case '\\':
                out += QLatin1Char('\\');
                break;
            default:
                out += c;
                out += next;
                break;
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString EscapeEntryValue(const QString &value)
{
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

// One Exec argument: quoted when it holds a reserved character, '%' doubled (field codes).
QString QuoteExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote =
        argument.isEmpty() || std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString out;
    if (quote)
        out += QLatin1Char('"');
    for (QChar c : argument) {
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        out += c;
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
    }
    if (quote)
        out += QLatin1Char('"');
    return out;
}

QStringList SplitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inArgument = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.append(current);
    for (QString &argument : arguments)
        argument.replace(QLatin1String("%%"), QLatin1String("%"));
    return arguments;
}

TRegValue EntryRead(const QString &name)
{
    if (!ValidEntryName(name))
        return {};
    QFile file(ZTAutostartFileName(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    bool hidden = false;
    bool haveExec = false;
    QString exec;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inEntry || eq < 0)
            continue;
        const QString entryKey = line.left(eq).trimmed();
        const QString entryValue = line.mid(eq + 1).trimmed();
        if (entryKey == QLatin1String("Exec") && !haveExec) {
            exec = entryValue;
            haveExec = true;
        } else if (entryKey == QLatin1String("Hidden")) {
            hidden = entryValue == QLatin1String("true");
        }
    }
    // A hidden entry is a deleted one, by the autostart rules.
    if (!haveExec || hidden)
        return {};
    TRegValue value;
    value.type = TRegValue::Text;
    value.text = SplitExec(UnescapeEntryValue(exec)).join(QLatin1Char(' '));
    return value;
}

void EntryWrite(const QString &name, const QString &program)
{
    if (!ValidEntryName(name))
        return;
    const QString fileName = ZTAutostartFileName(name);
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return;
    // The program's own entry looks like its menu entry; any other is named after itself.
    const bool own = name == QLatin1String("VNTR");
    const QString title = own ? QStringLiteral("Ventaro!") : name;
    QString text;
    text += QLatin1String("[Desktop Entry]\n");
    text += QLatin1String("Type=Application\n");
    text += QLatin1String("Name=") + EscapeEntryValue(title) + QLatin1Char('\n');
    if (own)
        text += QLatin1String("Icon=") + QString::fromUtf16(ZTDesktopAppId) + QLatin1Char('\n');
    text += QLatin1String("Exec=") + EscapeEntryValue(QuoteExecArgument(program)) + QLatin1Char('\n');
    text += QLatin1String("Terminal=false\n");
    text += QLatin1String("X-GNOME-Autostart-enabled=true\n");
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(text.toUtf8());
    file.commit();
}

void EntryDelete(const QString &name)
{
    if (ValidEntryName(name))
        QFile::remove(ZTAutostartFileName(name));
}

// ---- Typed access -----------------------------------------------------------------------

TRegValue ReadValue(TZTRegHive hive, const QString &key, const QString &name)
{
    try {
        if (IsRunKey(hive, key))
            return EntryRead(name);
        return IniRead(hive, key, name);
    } catch (...) {
        return {};
    }
}

void WriteValue(TZTRegHive hive, const QString &key, const QString &name, const TRegValue &value)
{
    try {
        if (IsRunKey(hive, key)) {
            // The autostart entry holds a text only.
            if (value.type == TRegValue::Text)
                EntryWrite(name, value.text);
            return;
        }
        IniWrite(hive, key, name, &value);
    } catch (...) {
    }
}

} // namespace

QString ZTRegHiveFileName(TZTRegHive hive)
{
    if (hive == TZTRegHive::CurrentUser)
        return ConfigHome() + QStringLiteral("/Merrowick/HKEY_CURRENT_USER.ini");
    return FirstConfigDir() + QStringLiteral("/Merrowick/HKEY_LOCAL_MACHINE.ini");
}

QString ZTAutostartFileName(const QString &name)
{
    return ConfigHome() + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

QString ZTInstalledLauncher(const QString &programFile)
{
    const QFileInfo program(programFile);
    const QString target = programFile.isEmpty() ? QString() : program.canonicalFilePath();
    if (target.isEmpty())
        return programFile;
    const QString launcher = QDir::cleanPath(program.absolutePath() + QStringLiteral("/../../bin/") + program.fileName());
    const QFileInfo link(launcher);
    // Only a link counts: a copy, or the program itself seen through a linked folder, does not.
    if (link.isSymLink() && link.canonicalFilePath() == target)
        return launcher;
    return programFile;
}

QString ZTRegReadString(TZTRegHive hive, const QString &key, const QString &name, const QString &defaultValue)
{
    const TRegValue value = ReadValue(hive, key, name);
    return value.type == TRegValue::Text ? value.text : defaultValue;
}

bool ZTRegReadBool(TZTRegHive hive, const QString &key, const QString &name, bool defaultValue)
{
    const TRegValue value = ReadValue(hive, key, name);
    return value.type == TRegValue::Dword ? value.dword != 0 : defaultValue;
}

qint32 ZTRegReadInteger(TZTRegHive hive, const QString &key, const QString &name, qint32 defaultValue)
{
    const TRegValue value = ReadValue(hive, key, name);
    return value.type == TRegValue::Dword ? qint32(value.dword) : defaultValue;
}

QByteArray ZTRegReadBinary(TZTRegHive hive, const QString &key, const QString &name, const QByteArray &defaultValue)
{
    const TRegValue value = ReadValue(hive, key, name);
    return value.type == TRegValue::Binary ? value.binary : defaultValue;
}

void ZTRegWriteString(TZTRegHive hive, const QString &key, const QString &name, const QString &value)
{
    TRegValue v;
    v.type = TRegValue::Text;
    v.text = value;
    WriteValue(hive, key, name, v);
}

void ZTRegWriteBool(TZTRegHive hive, const QString &key, const QString &name, bool value)
{
    ZTRegWriteInteger(hive, key, name, value ? 1 : 0);
}

void ZTRegWriteInteger(TZTRegHive hive, const QString &key, const QString &name, qint32 value)
{
    TRegValue v;
    v.type = TRegValue::Dword;
    v.dword = quint32(value);
    WriteValue(hive, key, name, v);
}

void ZTRegWriteBinary(TZTRegHive hive, const QString &key, const QString &name, const QByteArray &value)
{
    TRegValue v;
    v.type = TRegValue::Binary;
    v.binary = value;
    WriteValue(hive, key, name, v);
}

bool ZTRegValueExists(TZTRegHive hive, const QString &key, const QString &name)
{
    return ReadValue(hive, key, name).type != TRegValue::Missing;
}

void ZTRegDeleteValue(TZTRegHive hive, const QString &key, const QString &name)
{
    try {
        if (IsRunKey(hive, key))
            EntryDelete(name);
        else
            IniWrite(hive, key, name, nullptr);
    } catch (...) {
    }
}
