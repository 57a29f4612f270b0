// The main window's alerting: the one-second tick, the today and clock refreshes, the tray
// icon and the scan for due reminders.
#include "frmMainAlerts.h"

#include "frmMain.h"
#include "frmReminder.h"
#include "uMain.h"
#include "uPlayer.h"
#include "uSync.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTShellUtils.h"
#include "clsOptions.h"
#include "uFunctions.h"

#include <QDBusConnection>
#include <QLabel>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <vector>

namespace {
const QString kTrayIconError = QStringLiteral("Error setting tray icon.");
const QString kScanError = QStringLiteral("Error processing reminders.");
const QString kTimerError = QStringLiteral("Internal timer error.");

QString ApplicationTitle()
{
    return ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);
}
} // namespace

// ---- Texts ----

QString VNTRTodayText(const QDate &date)
{
    QString text = QStringLiteral("Today: %s - Day: %d - Week: %d");
    text.replace(text.indexOf(QLatin1String("%s")), 2, ShortDateText(QDateToDateTime(date)));
    text.replace(text.indexOf(QLatin1String("%d")), 2, QString::number(date.dayOfYear()));
    text.replace(text.indexOf(QLatin1String("%d")), 2, QString::number(date.weekNumber()));
    return text;
}

QString VNTRClockText(const QDateTime &now)
{
    return ShortTimeText(QTimeToDateTime(now.time()));
}

QString VNTRTrayHint(const QString &title, const QDateTime &now)
{
    return title + QStringLiteral(" - ") + TReminder::ListCaption(QDateToDateTime(now.date()), QTimeToDateTime(now.time()));
}

// ---- The tick's decisions ----

std::int64_t TVNTRTickSchedule::MinuteNumber(const QDateTime &moment)
{
    const TDateTime value = FromQDateTime(moment);
    return MinuteStamp(value, value);
}

TVNTRTickPlan TVNTRTickSchedule::Plan(const QDateTime &now, bool &firstScan)
{
    return Decide(now, firstScan, false);
}

TVNTRTickPlan TVNTRTickSchedule::Resume(const QDateTime &now, bool &firstScan)
{
    return Decide(now, firstScan, true);
}

TVNTRTickPlan TVNTRTickSchedule::Decide(const QDateTime &now, bool &firstScan, bool resume)
{
    TVNTRTickPlan plan;
    const QDate date = now.date();
    const QTime time = now.time();
    if (date != today_ || (time.hour() == 0 && time.minute() == 0 && time.second() == 0)) {
        plan.RefreshToday = true;
        // Taken as shown before the refresh runs: a refresh that fails is not retried every
        // second.
        today_ = date;
    }

    const std::int64_t minute = MinuteNumber(now);
    if (firstScan || resume) {
        firstScan = false;
        plan.Scan = TVNTRScanKind::CatchUp;
    } else if (!scanned_ || minute < lastMinute_) {
        plan.Scan = TVNTRScanKind::Exact;
    } else if (minute == lastMinute_) {
        return plan;
    } else if (minute == lastMinute_ + 1) {
        plan.Scan = TVNTRScanKind::Exact;
    } else {
        plan.Scan = TVNTRScanKind::CatchUp;
    }
    if (catchUpRequested_)
        plan.Scan = TVNTRScanKind::CatchUp;
    catchUpRequested_ = false;
    plan.RefreshClock = true;
    lastMinute_ = minute;
    scanned_ = true;
    return plan;
}

// ---- The scan ----

// One alert of a scan. Stamp is what it claims: the occurrence's minute stamp, 0 for a one-time
// reminder. After bounds its earlier occurrences (those after a claim of an enclosing scan).
struct TVNTRDueScanner::TDueItem {
    TReminder::Ptr Due;
    int Earlier = 0;
    std::int64_t After = TReminders::NoStamp;
    std::int64_t Stamp = 0;
};

namespace {
// Dismissal of one occurrence of a series: an exclusion record, active (the occurrence removed)
// or not (shown as dismissed). Either way it never comes due again.
void RecordDismissal(TReminders &store, const TReminder &occurrence, bool deleteAfterDismiss)
{
    const TReminder::Ptr exclusion = occurrence.MakeExclusion();
    exclusion->Active = deleteAfterDismiss;
    store.AddExclusion(*exclusion);
}
// Whether the store already records the occurrence as dismissed: an exclusion record for a
// series' occurrence, an inactive row for a one-time reminder.
bool DismissedInStore(TReminders &store, const TReminder &due)
{
    if (due.Recurring)
        return store.IsExcluded(due, false, due.OccurrenceTime, due.OccurrenceDate);
    TReminder stored = due;
    try {
        store.Refresh(stored);
    } catch (const EZTException &) {
        return false; // gone: the write-back tells so
    }
    return !stored.Active;
}
} // namespace

void TVNTRDueScanner::WriteBack(TReminders &store, TReminder &due, bool snoozed, bool deleteAfterDismiss)
{
    if (snoozed) {
        if (due.Recurring) {
            // The occurrence moves as a one-time copy; the series keeps an exclusion for it.
            store.Add(*due.MakeOneTimeCopy());
            store.AddExclusion(*due.MakeExclusion());
        } else {
            store.Update(due);
        }
        return;
    }
    if (due.Recurring)
        RecordDismissal(store, due, deleteAfterDismiss);
    else if (deleteAfterDismiss)
        store.Delete(due);
    else {
        due.Active = false;
        store.Update(due);
    }
}

void TVNTRDueScanner::WriteBack(TReminders &store, TReminder &due, const TZTDateTimeArray &earlier, bool snoozed,
                                bool deleteAfterDismiss)
{
    // Oldest first, the latest last: the store ends as if each had been answered in turn.
    TReminder occurrence = due;
    for (const TDateTime day : earlier.Values()) {
        occurrence.OccurrenceDate = day;
        RecordDismissal(store, occurrence, deleteAfterDismiss);
    }
    WriteBack(store, due, snoozed, deleteAfterDismiss);
}

std::optional<std::int64_t> TVNTRDueScanner::ClaimedThrough(const QString &id) const
{
    const auto it = claimed_.constFind(id);
    if (it == claimed_.constEnd() || it->isEmpty())
        return std::nullopt;
    return *std::max_element(it->begin(), it->end());
}

void TVNTRDueScanner::Handle(TDueItem &item, TVNTROptions &options)
{
    TReminder &due = *item.Due;
    if (due.RunProgram && !due.ProgramLocation.isEmpty()) {
        // A program that cannot be started must not keep the alert from showing.
        try {
            if (hooks_.OpenProgram)
                hooks_.OpenProgram(due.ProgramLocation);
            else
                ShellOpen(due.ProgramLocation);
        } catch (...) {
        }
    }

    const QString defaultSound = options.DefaultSound;
    const int defaultReminder = options.DefaultReminder;
    const bool notify = options.ShowNotification;
    if (hooks_.Player) {
        hooks_.Player->SetLoop(due.RepeatSound);
        hooks_.Player->SetFallbackFileName(defaultSound);
        hooks_.Player->SetFileName(!due.SoundFile.isEmpty() && ZTFileExistsSafe(due.SoundFile) ? due.SoundFile : defaultSound);
        if (due.PlaySound)
            hooks_.Player->Play();
    }

    // The series as listed: a snooze rewrites the object's Date and Time, and the earlier
    // occurrences are found by the series' own rule and time.
    const TReminder series = due;
    const bool snoozed = hooks_.Alert ? hooks_.Alert(hooks_.Owner, due, due.OccurrenceDate, item.Earlier)
                                      : TReminderDlg::Alert(hooks_.Owner, due, due.OccurrenceDate, defaultReminder, hooks_.Player,
                                                            item.Earlier, notify);

    // The store and the preferences may have been released while the alert was open (the
    // session ended): then nothing is written, silently.
    TReminders *store = hooks_.Store ? hooks_.Store() : nullptr;
    TVNTROptions *current = hooks_.Options ? hooks_.Options() : nullptr;
    if (!store || !current)
        throw EZTException(QString());
    // The earlier occurrences are listed only now, when they are written.
    TZTDateTimeArray earlier;
    if (due.Recurring && item.Earlier > 0)
        store->CollectMissed(series, item.After, item.Stamp - 1, MaxEarlierRecords, earlier);
    // Dismissed meanwhile on another machine (the sync brought it in and closed the alert):
    // the store already says so, and its row may carry that machine's changes.
    if (!snoozed && earlier.Count() == 0 && DismissedInStore(*store, due))
        return;
    WriteBack(*store, due, earlier, snoozed, current->DeleteAfterDismiss);
    // Snoozed to a minute that has already begun (no interval chosen): the exact-minute scans
    // would never reach it again.
    if (snoozed && MinuteStamp(due.Date, due.Time) <= MinuteStamp(ZTNow(), ZTNow()))
        catchUpWanted_ = true;
}

int TVNTRDueScanner::Scan(bool catchUp, TDateTime now)
{
    TReminders *store = hooks_.Store ? hooks_.Store() : nullptr;
    TVNTROptions *options = hooks_.Options ? hooks_.Options() : nullptr;
    if (!store || !options)
        return 0;

    struct TDepth {
        int &depth;
        explicit TDepth(int &d) : depth(d) { ++depth; }
        ~TDepth() { --depth; }
    } depthGuard(depth_);

    int hour = 0, minute = 0, second = 0, msec = 0;
    DecodeTime(now, hour, minute, second, msec);
    const TDateTime time = EncodeTime(hour, minute);
    const TDateTime date = DateOf(now);
    const std::int64_t nowStamp = MinuteStamp(date, time);
    std::vector<TDueItem> listed;
    if (catchUp) {
        TCatchUpList list;
        store->GetCatchUp(list, time, date);
        listed.reserve(list.size());
        for (TCatchUpItem &entry : list)
            listed.push_back({std::move(entry.Due), entry.Earlier});
    } else {
        TReminderList list;
        store->GetDue(list, false, time, date);
        for (const TReminder::Ptr &due : list)
            listed.push_back({due});
    }

    // Claim what this scan will alert; what an enclosing scan has claimed is its to alert.
    struct TClaims {
        QHash<QString, QList<std::int64_t>> &claimed;
        std::vector<TDueItem> items;
        std::size_t done = 0;
        void Release(const TDueItem &item)
        {
            const auto it = claimed.find(item.Due->Id);
            if (it == claimed.end())
                return;
            it->removeOne(item.Stamp);
            if (it->isEmpty())
                claimed.erase(it);
        }
        ~TClaims()
        {
            for (std::size_t i = done; i < items.size(); ++i)
                Release(items[i]);
        }
    } claims{claimed_, {}};
    for (TDueItem &item : listed) {
        const TReminder &due = *item.Due;
        item.Stamp = due.Recurring ? MinuteStamp(due.OccurrenceDate, due.OccurrenceTime) : 0;
        if (const std::optional<std::int64_t> through = ClaimedThrough(due.Id)) {
            if (item.Stamp <= *through)
                continue;
            // A series claimed up to an earlier occurrence: its earlier missed ones up to the
            // claim are the enclosing scan's, the rest this scan's.
            if (due.Recurring && item.Earlier > 0) {
                TDateTime latest = 0;
                item.Earlier = std::max(0, store->CountMissed(due, *through, nowStamp, latest) - 1);
                item.After = *through;
            }
        }
        claimed_[due.Id].append(item.Stamp);
        claims.items.push_back(std::move(item));
    }

    int handled = 0;
    for (TDueItem &item : claims.items) {
        TVNTROptions *current = hooks_.Options ? hooks_.Options() : nullptr;
        if (!current)
            throw EZTException(QString());
        Handle(item, *current);
        claims.Release(item);
        ++claims.done;
        ++handled;
    }
    // One save and one redraw for the whole batch.
    if (handled > 0 && hooks_.Commit)
        hooks_.Commit();
    return handled;
}

// ---- State ----

TVNTRAlerting::TVNTRAlerting(QObject *parent) : QObject(parent) {}

TVNTRAlerting::~TVNTRAlerting() = default;

// ---- The main window's part ----

void TVNTRMain::InitAlerting()
{
    alerting_ = new TVNTRAlerting(this);
    alerting_->setObjectName(QStringLiteral("Alerting"));
    auto *player = new TVNTRPlayer(alerting_);
    player->setObjectName(QStringLiteral("Player"));
    alerting_->OwnPlayer = player;
    player_ = player;

    TVNTRDueScanner &scanner = alerting_->Scanner;
    TVNTRDueScanner::THooks hooks;
    hooks.Store = [] { return Reminders.get(); };
    hooks.Options = [] { return Options.get(); };
    hooks.Player = player_;
    hooks.Owner = this;
    hooks.Commit = [this] { CommitAndRefresh(); };
    scanner.SetHooks(std::move(hooks));

    trayIcon_ = new QSystemTrayIcon(this);
    trayIcon_->setObjectName(QStringLiteral("trayIcon_"));
    trayIcon_->setToolTip(QString::fromLatin1(VNTRInitialTrayHint));
    TodayRefresh();
    trayIcon_->show();

    tOnSecond_ = new QTimer(this);
    tOnSecond_->setObjectName(QStringLiteral("tOnSecond_"));
    tOnSecond_->setTimerType(Qt::PreciseTimer);
    tOnSecond_->setInterval(1000);
    connect(tOnSecond_, &QTimer::timeout, this, &TVNTRMain::tOnSecondTimer);
    tOnSecond_->start();

    // Scan at once when the system wakes from suspend. Where there is no system bus (or no
    // login manager) there is nothing to watch, and the minute check still catches up.
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        alerting_->ResumeWatched =
            bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                        SLOT(LoginPrepareForSleep(bool)));

    // Without a notification area the program could not be reached: show the window instead.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        QMetaObject::invokeMethod(
            this, [this] { ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] { show(); }); },
            Qt::QueuedConnection);
}

void TVNTRMain::SetPlayer(IVNTRPlayer *player)
{
    player_ = player ? player : alerting_->OwnPlayer;
    alerting_->Scanner.SetPlayer(player_);
}

void TVNTRMain::TodayRefresh()
{
    TodayRefreshAt(ZTNowDateTime());
}

void TVNTRMain::ClockRefresh()
{
    ClockRefreshAt(ZTNowDateTime());
}

void TVNTRMain::TodayRefreshAt(const QDateTime &now)
{
    ZTRaising(TZTRaise::PassThrough, kTrayIconError, [&] {
        const QDate today = now.date();
        // Today's text and picture follow the date past midnight.
        lblToday_->setText(VNTRTodayText(today));
        imgToday_->setPixmap(VNTRDrawTrayImage(today.day(), 16));
        alerting_->Schedule.SetToday(today);
        if (trayIcon_)
            trayIcon_->setIcon(alerting_->imlTray.DayIcon(today.day()));
    });
}

void TVNTRMain::ClockRefreshAt(const QDateTime &now)
{
    lblClock_->setText(VNTRClockText(now));
    if (trayIcon_) {
        QString hint = VNTRTrayHint(ApplicationTitle(), now);
        for (const QString &notice : {FileNotice(), SyncNotice()})
            if (!notice.isEmpty())
                hint += QLatin1Char('\n') + notice;
        trayIcon_->setToolTip(hint);
    }
}

void TVNTRMain::Scan(bool catchUp, double now)
{
    ZTRaising(TZTRaise::PassThrough, kScanError, [&] {
        TVNTRDueScanner &scanner = alerting_->Scanner;
        // A save that failed is tried again every minute.
        RetryPendingSave();
        try {
            scanner.Scan(catchUp, now);
        } catch (...) {
            // The due reminders this scan did not reach must not wait for the next start.
            alerting_->Schedule.RequestCatchUp();
            throw;
        }
        if (scanner.TakeCatchUpWanted()) {
            alerting_->Schedule.RequestCatchUp();
        }
        // What the watch and the saves had to say while the alerts were open.
        ShowPendingFileMessages();
    });
}

void TVNTRMain::RunTick(bool resume)
{
    if (!alerting_)
        return;
    const QDateTime now = ZTNowDateTime();
    // The start-up catch-up waits for the first sync (a few seconds at most): only the clock.
    if (holdFirstScan_ && firstScan_ && !resume) {
        ClockRefreshAt(now);
        return;
    }
    const TVNTRTickPlan plan = resume ? alerting_->Schedule.Resume(now, firstScan_) : alerting_->Schedule.Plan(now, firstScan_);

    // Each job runs even when an earlier one failed: a tray icon that cannot be set must not
    // cost a scan. The first failure is reported afterwards.
    std::exception_ptr failure;
    const auto run = [&failure](auto &&job) {
        try {
            job();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    if (plan.RefreshToday)
        run([&] { TodayRefreshAt(now); });
    if (plan.RefreshClock)
        run([&] { ClockRefreshAt(now); });
    if (plan.Scan != TVNTRScanKind::None)
        run([&] { Scan(plan.Scan == TVNTRScanKind::CatchUp, FromQDateTime(now)); });
    if (failure)
        std::rethrow_exception(failure);
}

void TVNTRMain::tOnSecondTimer()
{
    ZTGuard(TZTRaise::PassThrough, kTimerError, [this] { RunTick(false); });
}

void TVNTRMain::LoginPrepareForSleep(bool sleeping)
{
    if (sleeping)
        return;
    ZTGuard(TZTRaise::PassThrough, kTimerError, [this] {
        RunTick(true);
        if (sync_)
            sync_->SyncNow();
    });
}
