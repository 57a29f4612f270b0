#pragma once
// Shell routines: opening programs, documents, folders and web addresses, and starting the
// system-information tool.
//
// Programs (executable files) are started detached; documents, folders and URLs go to the
// desktop's opener. Both are replaceable: the GUI layer may install QDesktopServices::openUrl
// as the opener (ZTShellTargetUrl turns a target into its URL), and tests capture the calls.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// ShellOpen results: above 32 means success, as the shell's codes do.
inline constexpr int ZTShellFileNotFound = 2;
inline constexpr int ZTShellNoAssociation = 31;
inline constexpr int ZTShellSuccess = 42;

// Opens a document, folder or URL (an absolute local path or a URL text); true when handed on.
using TZTShellOpener = std::function<bool(const QString &target)>;
// Starts a program detached; true when it started.
using TZTProgramStarter = std::function<bool(const QString &program, const QStringList &arguments, const QString &folder)>;

// Install a replacement (an empty function restores the default); each returns the previous.
// The default opener runs xdg-open; the default starter is QProcess::startDetached.
TZTShellOpener ZTSetShellOpener(TZTShellOpener opener);
TZTProgramStarter ZTSetProgramStarter(TZTProgramStarter starter);
// The URL of an opener target (a file URL for a local path).
QUrl ZTShellTargetUrl(const QString &target);

// Opens file with the program the desktop associates with it, or starts it when it is a
// program (with parameters, split like a command line, and folder as working folder). A
// relative file is looked up in folder, and a bare program name on PATH. Returns a code above
// 32 on success, ZTShellFileNotFound for a missing file, ZTShellNoAssociation when nothing
// could open it.
int ShellOpen(const QString &file, const QString &parameters = QString(), const QString &folder = QString());
// Nothing for an empty address; otherwise prefixes "http://" unless the address begins with
// exactly these seven characters, and opens it. The outcome is not examined.
void OpenWebAddress(const QString &address);

// The system-information programs looked for, in order, and the first one found on PATH
// ("" when none is).
QStringList ZTSystemInfoPrograms();
QString ZTSystemInfoPath();
// Starts the system-information tool. Raises EZTException("Unable to run System Info at this
// time.", reason, 1), the reason being "The Operating System registry contains an empty path
// definition for System Info." when no tool is found, or "An error was raised by the Operating
// System while running System Info." when it does not start.
void RunSystemInfo();
