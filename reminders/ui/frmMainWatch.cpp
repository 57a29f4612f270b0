// The main window's watch on the database file. Another program may change the file while the
// program runs (a file-sync tool, a text editor, a second machine's copy); such a change is
// taken in, or kept beside ours, and never silently overwritten.
#include "frmMain.h"

#include "uMain.h"

#include "ZTExceptions.h"
#include "clsReminders.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {
const QString kWatchError = QStringLiteral("Error checking the database file.");
// Writers (editors, sync tools) often truncate, write and rename in several steps; the check
// waits until they have been quiet this long.
constexpr int SettleMs = 300;
} // namespace

void TVNTRMain::WatchDatabaseFile()
{
    if (!Reminders)
        return;
    if (!fswDatabase_) {
        fswDatabase_ = new QFileSystemWatcher(this);
        fswDatabase_->setObjectName(QStringLiteral("fswDatabase"));
        tDatabaseSettle_ = new QTimer(this);
        tDatabaseSettle_->setObjectName(QStringLiteral("tDatabaseSettle"));
        tDatabaseSettle_->setSingleShot(true);
        tDatabaseSettle_->setInterval(SettleMs);
        connect(fswDatabase_, &QFileSystemWatcher::fileChanged, this, &TVNTRMain::fswDatabaseChanged);
        connect(fswDatabase_, &QFileSystemWatcher::directoryChanged, this, &TVNTRMain::fswDatabaseChanged);
        connect(tDatabaseSettle_, &QTimer::timeout, this, &TVNTRMain::CheckDatabaseFile);
    }
    // A file replaced by rename (our own saves do that too) keeps the watch on the old file,
    // which is gone: the watch is put on the file now at the path. The folder's watch sees a
    // file that was removed and created again.
    const QString path = Reminders->FileName;
    const QString folder = QFileInfo(path).absolutePath();
    if (fswDatabase_->files().contains(path))
        fswDatabase_->removePath(path);
    if (QFileInfo::exists(path))
        fswDatabase_->addPath(path);
    if (!fswDatabase_->directories().contains(folder) && QFileInfo::exists(folder))
        fswDatabase_->addPath(folder);
}

void TVNTRMain::fswDatabaseChanged()
{
    tDatabaseSettle_->start();
}

void TVNTRMain::CheckDatabaseFile()
{
    ZTGuard(TZTRaise::PassThrough, kWatchError, [this] {
        WatchDatabaseFile();
        // Our own saves leave the file as the store remembers it: nothing to do.
        if (Reminders && Reminders->ChangedOnDisk())
            CommitAndRefresh();
    });
}

void TVNTRMain::SaveDatabaseFile()
{
    Reminders->SaveOrReload();
    WatchDatabaseFile();
}

void TVNTRMain::ReportDatabaseConflict()
{
    if (Reminders)
        if (const std::exception_ptr warning = Reminders->TakeConflictWarning())
            ZTHandleException(warning);
}
