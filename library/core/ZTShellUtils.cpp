#include "ZTShellUtils.h"

#include "ZTExceptions.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

bool DefaultOpener(const QString &target)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

bool DefaultStarter(const QString &program, const QStringList &arguments, const QString &folder)
{
    return QProcess::startDetached(program, arguments, folder);
}

TZTShellOpener &Opener()
{
    static TZTShellOpener opener = &DefaultOpener;
    return opener;
}

TZTProgramStarter &Starter()
{
    static TZTProgramStarter starter = &DefaultStarter;
    return starter;
}

bool LooksLikeUrl(const QString &text)
{
    // A scheme of at least two characters, so that "C:..." is never taken for one.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch();
}

int Open(const QString &target)
{
    return Opener()(target) ? ZTShellSuccess : ZTShellNoAssociation;
}

} // namespace

TZTShellOpener ZTSetShellOpener(TZTShellOpener opener)
{
    TZTShellOpener previous = Opener();
    Opener() = opener ? std::move(opener) : TZTShellOpener(&DefaultOpener);
    return previous;
}

TZTProgramStarter ZTSetProgramStarter(TZTProgramStarter starter)
{
    TZTProgramStarter previous = Starter();
    Starter() = starter ? std::move(starter) : TZTProgramStarter(&DefaultStarter);
    return previous;
}

QUrl ZTShellTargetUrl(const QString &target)
{
    if (QDir::isAbsolutePath(target))
        return QUrl::fromLocalFile(target);
    return QUrl(target, QUrl::TolerantMode);
}

int ShellOpen(const QString &file, const QString &parameters, const QString &folder)
{
    try {
        if (file.trimmed().isEmpty())
            return ZTShellFileNotFound;
        QString path = file;
        if (QDir::isRelativePath(path) && !folder.isEmpty())
            path = QDir(folder).filePath(path);
        const QFileInfo info(path);
        if (!info.exists()) {
            if (LooksLikeUrl(file))
                return Open(file);
            if (!file.contains(QLatin1Char('/'))) {
                const QString program = QStandardPaths::findExecutable(file);
                if (!program.isEmpty())
                    return Starter()(program, QProcess::splitCommand(parameters), folder) ? ZTShellSuccess : ZTShellNoAssociation;
            }
            return ZTShellFileNotFound;
        }
        const QString absolute = info.absoluteFilePath();
        if (info.isFile() && info.isExecutable()) {
            if (Starter()(absolute, QProcess::splitCommand(parameters), folder))
                return ZTShellSuccess;
            // Not a program the system can start (a document with the executable bit, for
            // one): open it as a document.
        }
        return Open(absolute);
    } catch (...) {
        return ZTShellNoAssociation;
    }
}

void OpenWebAddress(const QString &address)
{
    if (address.isEmpty())
        return;
    const QString prefix = QStringLiteral("http://");
    ShellOpen(address.startsWith(prefix, Qt::CaseSensitive) ? address : prefix + address);
}

QStringList ZTSystemInfoPrograms()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("gnome-system-monitor"), QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("ksysguard"), QStringLiteral("xfce4-taskmanager")};
}

QString ZTSystemInfoPath()
{
    for (const QString &name : ZTSystemInfoPrograms()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

void RunSystemInfo()
{
    ZTRaising(TZTRaise::WrapAll, QStringLiteral("Unable to run System Info at this time."), [] {
        const QString path = ZTSystemInfoPath();
        if (path.isEmpty())
            throw EZTException(QStringLiteral("The Operating System registry contains an empty path definition for System Info."),
                               QString(), 1);
        if (ShellOpen(path, QString(), QString()) <= 32)
            throw EZTException(QStringLiteral("An error was raised by the Operating System while running System Info."),
                               QString(), 1);
    });
}
