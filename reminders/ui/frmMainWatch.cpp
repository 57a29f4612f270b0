// The main window's watch on the database file. Another program may change the file while the
// program runs (a file-sync tool, a text editor, a second machine's copy); such a change is
// merged with ours row by row, or kept beside ours, and never silently overwritten. Saves that
// fail (a read-only or full disk) keep the changes in memory and are tried again.
#include "frmMain.h"

#include "uMain.h"

#include "ZTExceptions.h"
#include "clsReminders.h"

#include "frmMainAlerts.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QStatusBar>
#include <QSystemTrayIcon>
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
    const QString path = Reminders->FileName();
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
    TReminders::TOutsideChange change;
    try {
        change = Reminders->SaveOrMerge();
    } catch (const EZTException &) {
        WatchDatabaseFile();
        // Told once; until a save works again the notice stays and every change and minute
        // tries again. Nothing is lost while the program runs: the tables hold it all.
        const std::exception_ptr failure = std::current_exception();
        SetFileNotice(QStringLiteral("Changes cannot be saved to the database file; they are kept and saved as soon as "
                                     "the file can be written."));
        if (!saveFailing_) {
            saveFailing_ = true;
            ShowFileMessage(failure);
        }
        return;
    }
    WatchDatabaseFile();
    SyncSoonAfterSave();
    if (saveFailing_) {
        saveFailing_ = false;
        SetFileNotice(QStringLiteral("Changes are saved to the database file again."));
    }
    if (change.Removed > 0)
        SetFileNotice(QStringLiteral("Another program removed %1 reminder(s) from the database file. Your earlier version "
                                     "is in '%2'.")
                          .arg(change.Removed)
                          .arg(change.Snapshot.isEmpty() ? QStringLiteral("the backup") : change.Snapshot));
    else if (change.Unreadable)
        SetFileNotice(QStringLiteral("The database file was damaged by another program; your reminders were saved "
                                     "over it."));
}

void TVNTRMain::RetryPendingSave()
{
    if (!saveFailing_ || !Reminders)
        return;
    SaveDatabaseFile();
    if (!saveFailing_)
        ReportDatabaseConflict();
}

void TVNTRMain::StartUpSaveFailed(const std::exception_ptr &failure)
{
    saveFailing_ = true;
    SetFileNotice(QStringLiteral("Changes cannot be saved to the database file; they are kept and saved as soon as "
                                 "the file can be written."));
    // After the window's creation is over, so the message has its owner.
    QMetaObject::invokeMethod(
        this, [this, failure] { ShowFileMessage(failure); }, Qt::QueuedConnection);
}

void TVNTRMain::ReportDatabaseConflict()
{
    if (Reminders)
        if (const std::exception_ptr warning = Reminders->TakeConflictWarning())
            ShowFileMessage(warning);
}

bool TVNTRMain::AlertOnScreen() const
{
    return alerting_ && alerting_->Scanner.Depth() > 0;
}

void TVNTRMain::ShowFileMessage(const std::exception_ptr &message)
{
    // A message box over an open alert would take its keys: it waits for the alerts.
    if (AlertOnScreen()) {
        pendingFileMessages_.push_back(message);
        return;
    }
    ZTHandleException(message);
}

void TVNTRMain::ShowPendingFileMessages()
{
    if (AlertOnScreen())
        return;
    std::vector<std::exception_ptr> messages = std::move(pendingFileMessages_);
    pendingFileMessages_.clear();
    for (const std::exception_ptr &message : messages)
        ZTHandleException(message);
}

void TVNTRMain::SetFileNotice(const QString &text)
{
    fileNotice_ = text;
    if (!lblFileNotice_) {
        lblFileNotice_ = new QLabel(this);
        lblFileNotice_->setObjectName(QStringLiteral("lblFileNotice"));
        lblFileNotice_->setAccessibleName(QStringLiteral("Database file notice"));
        statusBar()->addWidget(lblFileNotice_, 1);
    }
    lblFileNotice_->setText(text);
    lblFileNotice_->setToolTip(text);
    ClockRefresh();
}
