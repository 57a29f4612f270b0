#pragma once
// Registry routines over one INI hive file per hive. None of them raises: a failed read gives
// the caller's default, a failed write is lost silently. Every call opens the hive file, does
// its one read or write and closes it again, so each read sees the file as it is on disk.
//
// Hive files: the current user's is $XDG_CONFIG_HOME/Merrowick/HKEY_CURRENT_USER.ini, the local
// machine's is Merrowick/HKEY_LOCAL_MACHINE.ini in the first $XDG_CONFIG_DIRS folder (usually
// not writable for ordinary users, whose writes there are simply lost).
//
// Key paths use backslashes ("Software\Merrowick\Merrowick Deskware\Ventaro!\Options") and are
// matched without regard to case, as are value names; a key exists while it holds a value.
// Each value keeps its type: text, DWORD (written "dword:XXXXXXXX") or binary ("hex:..."); a
// value of another type than the one asked for reads as missing. Booleans are DWORDs 0 and 1,
// read as true for any non-zero number.
//
// The current user's "SOFTWARE\Microsoft\Windows\CurrentVersion\Run" key is the desktop's
// autostart folder: its text value NAME is the entry $XDG_CONFIG_HOME/autostart/NAME.desktop,
// whose Exec line holds the value (the program's path). The program's own entry, VNTR, also
// carries the name and icon of the program's menu entry, so the desktop's list of programs
// started at log-in shows it as the menu does.

#include <QByteArray>
#include <QString>

enum class TZTRegHive { CurrentUser, LocalMachine };

QString ZTRegReadString(TZTRegHive hive, const QString &key, const QString &name, const QString &defaultValue);
bool ZTRegReadBool(TZTRegHive hive, const QString &key, const QString &name, bool defaultValue);
qint32 ZTRegReadInteger(TZTRegHive hive, const QString &key, const QString &name, qint32 defaultValue);
QByteArray ZTRegReadBinary(TZTRegHive hive, const QString &key, const QString &name, const QByteArray &defaultValue);

void ZTRegWriteString(TZTRegHive hive, const QString &key, const QString &name, const QString &value);
void ZTRegWriteBool(TZTRegHive hive, const QString &key, const QString &name, bool value);
void ZTRegWriteInteger(TZTRegHive hive, const QString &key, const QString &name, qint32 value);
void ZTRegWriteBinary(TZTRegHive hive, const QString &key, const QString &name, const QByteArray &value);

// True only when the key exists and holds the value (of any type).
bool ZTRegValueExists(TZTRegHive hive, const QString &key, const QString &name);
// Deletes the value when it exists.
void ZTRegDeleteValue(TZTRegHive hive, const QString &key, const QString &name);

// The INI file that holds a hive.
QString ZTRegHiveFileName(TZTRegHive hive);
// The per-user Run key, and the autostart entry that holds its value `name`.
inline constexpr char16_t ZTRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
QString ZTAutostartFileName(const QString &name);
// The desktop's id of the program: the name of its menu entry (ID.desktop) and of its icon.
inline constexpr char16_t ZTDesktopAppId[] = u"example.merrowick.Ventaro";

// The path that starts the program file `programFile` the way the desktop does. An installed
// program lives in <prefix>/lib/<folder>/ and is started through <prefix>/bin/<name>, a link to
// it; that link is the answer when it resolves to programFile. In every other case (the build
// tree, a copied folder, no link, a link to another program) it is programFile itself.
QString ZTInstalledLauncher(const QString &programFile);
