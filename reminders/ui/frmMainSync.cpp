// The main window's part of the calendar sync: it starts the sync after the load, after saves
// and after resume, shows what the last sync did in the status bar and the tray hint, takes in
// what arrived, and closes an open alert for an occurrence another machine has dismissed.
#include "frmMain.h"

#include "frmMainAlerts.h"
#include "frmReminder.h"
#include "uMain.h"
#include "uSync.h"

#include "ZTCalendarPanel.h"
#include "ZTExceptions.h"
#include "clsOptions.h"
#include "clsReminders.h"

#include <QLabel>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
const QString kSyncError = QStringLiteral("Error synchronizing reminders.");
} // namespace

void TVNTRMain::InitSync()
{
    if (!Reminders || sync_)
        return;
    sync_ = new TVNTRSync(*Reminders, this);
    sync_->setObjectName(QStringLiteral("Sync"));
    // The engine's save after it took reminders in: the window's own save (merging an outside
    // change of the file), which is no change of ours to sync again.
    sync_->SetSaveStore([this] {
        savingForSync_ = true;
        SaveDatabaseFile();
        savingForSync_ = false;
        return !saveFailing_;
    });
    connect(sync_, &TVNTRSync::Finished, this, &TVNTRMain::SyncFinished);
    connect(sync_, &TVNTRSync::StatusChanged, this, &TVNTRMain::SyncStatusChanged);

    tStartUpSync_ = new QTimer(this);
    tStartUpSync_->setObjectName(QStringLiteral("tStartUpSync"));
    tStartUpSync_->setSingleShot(true);
    tStartUpSync_->setInterval(StartUpSyncWaitMs);
    connect(tStartUpSync_, &QTimer::timeout, this, &TVNTRMain::ReleaseFirstScan);

    if (Options && Options->SyncEnabled) {
        // The start-up catch-up waits a little for the first sync, so that an occurrence
        // dismissed on another machine does not ring here.
        holdFirstScan_ = true;
        tStartUpSync_->start();
    }
    ApplySyncOptions();
}

void TVNTRMain::ApplySyncOptions()
{
    if (sync_ && Options)
        sync_->ApplyOptions(*Options);
    if (sync_ && !sync_->Enabled())
        ReleaseFirstScan();
}

void TVNTRMain::StopSync()
{
    ReleaseFirstScan();
    delete sync_;
    sync_ = nullptr;
}

void TVNTRMain::ReleaseFirstScan()
{
    if (tStartUpSync_)
        tStartUpSync_->stop();
    if (!holdFirstScan_)
        return;
    holdFirstScan_ = false;
    // The catch-up that waited runs now rather than at the next tick.
    if (alerting_ && firstScan_)
        QTimer::singleShot(0, this, [this] { ZTGuard(TZTRaise::PassThrough, kSyncError, [this] { RunTick(false); }); });
}

void TVNTRMain::SyncSoonAfterSave()
{
    if (sync_ && !savingForSync_)
        sync_->SyncSoon();
}

void TVNTRMain::SyncFinished(const TSyncOutcome &outcome)
{
    ZTGuard(TZTRaise::PassThrough, kSyncError, [&] {
        if (outcome.StoreChanged && Reminders) {
            // The sync saved what it took in; the views show it now.
            Calendar_->SetSelectedDate(Calendar_->SelectedDate());
            if (quickCalendar_)
                quickCalendar_->Refresh();
        }
        CloseSilencedAlerts(outcome.Silenced);
        if (outcome.Conflicts > 0) {
            const QString text = QStringLiteral("%1 reminder(s) were changed here and on another machine; the other "
                                                "machine's version is kept, and yours is kept as a reminder starting "
                                                "with \"(Conflict) \".")
                                     .arg(outcome.Conflicts);
            SetSyncNotice(text);
            if (trayIcon_ && QSystemTrayIcon::isSystemTrayAvailable())
                trayIcon_->showMessage(windowTitle(), text, QSystemTrayIcon::Information);
        }
        ReleaseFirstScan();
    });
}

void TVNTRMain::CloseSilencedAlerts(const std::vector<TSyncSilenced> &silenced)
{
    if (silenced.empty())
        return;
    const auto dialogs = findChildren<TReminderDlg *>();
    for (TReminderDlg *dialog : dialogs)
        for (const TSyncSilenced &s : silenced)
            if (dialog->Shows(s.Id, s.Date, s.Time)) {
                dialog->Withdraw();
                break;
            }
}

void TVNTRMain::SyncStatusChanged(const QString &text)
{
    if (!lblSyncStatus_) {
        lblSyncStatus_ = new QLabel(this);
        lblSyncStatus_->setObjectName(QStringLiteral("lblSyncStatus"));
        lblSyncStatus_->setAccessibleName(QStringLiteral("Calendar sync"));
        // Cut to the room the status bar has (the whole text is its tooltip): a long failure
        // never widens the window.
        lblSyncStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        statusBar()->addWidget(lblSyncStatus_, 1);
    }
    lblSyncStatus_->setText(text);
    lblSyncStatus_->setToolTip(text);
    // A failure stays in the tray hint until a sync works again.
    syncNotice_ = sync_ && sync_->Failures() > 0 ? text : QString();
    ClockRefresh();
}

void TVNTRMain::SetSyncNotice(const QString &text)
{
    SyncStatusChanged(sync_ ? sync_->StatusText() + QLatin1Char(' ') + text : text);
}
