#pragma once
// Alerting of the main window: what the one-second tick decides, the scan for due reminders
// and the state both keep. The main window (frmMain.h, its Alerting block) owns one
// TVNTRAlerting and drives it from its timer tOnSecond.

#include "ZTDateUtils.h"
#include "clsReminders.h"
#include "uTrayImages.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class IVNTRPlayer;
class TVNTROptions;
class TVNTRPlayer;
class QWidget;

// ---- What one tick does ----

enum class TVNTRScanKind { None, Exact, CatchUp };

struct TVNTRTickPlan {
    bool RefreshToday = false;
    bool RefreshClock = false;
    TVNTRScanKind Scan = TVNTRScanKind::None;
};

// The tick's decisions. It remembers the last minute scanned, so every minute that passes is
// scanned once, also when the tick that would have landed on it never came:
// - the first tick refreshes the clock and runs the catch-up scan;
// - a tick in the minute right after the last one scanned runs the exact-minute scan;
// - a tick further ahead (ticks skipped, the system suspended, the clock set forward, a
//   daylight-saving jump) runs a catch-up scan, which alerts whatever fell due meanwhile;
// - a tick behind the last minute (the clock set back) runs the exact-minute scan of its
//   minute;
// - a tick in the same minute does nothing but the today check.
// The today information is refreshed when the date differs from the one last shown (the
// whole date, so a jump of exactly a month still updates it) and at 00:00:00.
class TVNTRTickSchedule {
public:
    // firstScan is the window's first-scan flag: read, and cleared when the first scan is
    // planned.
    TVNTRTickPlan Plan(const QDateTime &now, bool &firstScan);
    // The system woke up: refresh, and scan with catch-up at once.
    TVNTRTickPlan Resume(const QDateTime &now, bool &firstScan);
    // The next scan runs with catch-up (after a scan that failed half-way, so the reminders
    // it did not reach are not lost).
    void RequestCatchUp() { catchUpRequested_ = true; }
    bool CatchUpRequested() const { return catchUpRequested_; }

    // The date the today information shows (set by the today refresh).
    void SetToday(const QDate &date) { today_ = date; }
    QDate Today() const { return today_; }
    // Minute number of the last scan (days since 30 December 1899 * 1440 + minute of the day).
    std::int64_t LastMinute() const { return lastMinute_; }

    static std::int64_t MinuteNumber(const QDateTime &moment);

private:
    TVNTRTickPlan Decide(const QDateTime &now, bool &firstScan, bool resume);

    QDate today_;
    std::int64_t lastMinute_ = 0;
    bool scanned_ = false;
    bool catchUpRequested_ = false;
};

// ---- The scan ----

// Finds the due reminders and handles each in turn: starts its program, plays its sound,
// shows the alert and writes the answer back into the store; saves and refreshes once when
// any was handled.
//
// An exact-minute scan alerts each reminder and occurrence due at that minute. A catch-up scan
// alerts each reminder once: a one-time reminder whose moment has passed, or, for a series, its
// latest missed occurrence with the number of earlier ones; the answer is written for all of
// them (the earlier ones recorded as dismissed, oldest first, then the latest as answered).
//
// Scans nest: the timer keeps ticking inside an open alert, so a later scan runs while an
// earlier one waits for its answer. What a running scan has listed and not yet written back is
// claimed: a one-time reminder by its Id, a series up to the latest occurrence listed (its
// earlier missed ones included). A nested scan skips what is claimed and, for a claimed series,
// takes only the occurrences after the claim: none is alerted twice.
class TVNTRDueScanner {
public:
    // The alert: owner, reminder, occurrence date, number of earlier missed occurrences ->
    // snoozed (the reminder then holds the snooze moment).
    using TAlert = std::function<bool(QWidget *owner, TReminder &reminder, TDateTime occurrenceDate, int earlier)>;
    using TCommit = std::function<void()>;
    using TProgramOpener = std::function<void(const QString &program)>;

    // One answer records at most this many earlier occurrences of a series (the latest ones,
    // about 27 years of a daily series). Older ones keep no record and come back, as one alert,
    // at the next catch-up: one answer never grows the store and its file without bound.
    static constexpr int MaxEarlierRecords = 10000;

    // What a scan works with. Store and options are read at every scan (either may be absent:
    // then the scan does nothing); the player is shared by all alerts. Defaults of the actions:
    // the alert window, ShellOpen. Commit is the main window's commit and refresh.
    struct THooks {
        std::function<TReminders *()> Store;
        std::function<TVNTROptions *()> Options;
        IVNTRPlayer *Player = nullptr;
        QWidget *Owner = nullptr;
        TAlert Alert;
        TCommit Commit;
        TProgramOpener OpenProgram;
    };
    void SetHooks(THooks hooks) { hooks_ = std::move(hooks); }
    void SetPlayer(IVNTRPlayer *player) { hooks_.Player = player; }
    void SetOpenProgram(TProgramOpener opener) { hooks_.OpenProgram = std::move(opener); }
    // Whether a reminder was snoozed to a minute that has already begun (no interval was
    // chosen), so that only a catch-up scan can reach it again; cleared by asking.
    bool TakeCatchUpWanted() { return std::exchange(catchUpWanted_, false); }

    // Runs one scan at now; returns the number of alerts answered.
    int Scan(bool catchUp, TDateTime now);

    // The claims of running scans, by Id: the moments listed and not yet written back (minute
    // stamps of occurrences; 0 for a one-time reminder).
    const QHash<QString, QList<std::int64_t>> &Claimed() const { return claimed_; }
    // How many scans are running (more than one: nested inside an open alert).
    int Depth() const { return depth_; }

    // Writes the answer for a due object into the store, by the kind of the object and
    // the DeleteAfterDismiss preference.
    static void WriteBack(TReminders &store, TReminder &due, bool snoozed, bool deleteAfterDismiss);
    // The same for an occurrence of a series with earlier missed occurrences (their days,
    // ascending): each earlier one is recorded as its dismissal would be, then the answer for
    // the occurrence itself is written.
    static void WriteBack(TReminders &store, TReminder &due, const TZTDateTimeArray &earlier, bool snoozed,
                          bool deleteAfterDismiss);

private:
    struct TDueItem;
    void Handle(TDueItem &item, TVNTROptions &options);
    // The latest moment claimed for an Id, when any is.
    std::optional<std::int64_t> ClaimedThrough(const QString &id) const;

    THooks hooks_;
    bool catchUpWanted_ = false;
    QHash<QString, QList<std::int64_t>> claimed_;
    int depth_ = 0;
};

// ---- State of the main window's alerting ----

class TVNTRAlerting : public QObject {
    Q_OBJECT

public:
    explicit TVNTRAlerting(QObject *parent = nullptr);
    ~TVNTRAlerting() override;

    TVNTRTickSchedule Schedule;
    TVNTRDueScanner Scanner;
    // imlTray: the 31 day-of-month tray icons.
    TVNTRTrayImages imlTray;
    // The player the window makes for itself (a test may put another in its place).
    TVNTRPlayer *OwnPlayer = nullptr;
    // Whether the resume signal of the login manager is connected.
    bool ResumeWatched = false;
};

// The tray hint before the first tick.
inline constexpr char VNTRInitialTrayHint[] = "Merrowick Jotbell";
// "Today: %s - Day: %d - Week: %d" with the date in the short date format, the day of the
// year and the ISO 8601 week number.
QString VNTRTodayText(const QDate &date);
// The clock label: the time in the short time format.
QString VNTRClockText(const QDateTime &now);
// The tray hint: title, " - ", short date, a blank, short time.
QString VNTRTrayHint(const QString &title, const QDateTime &now);
