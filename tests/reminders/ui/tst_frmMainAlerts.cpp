// The one-second tick, the due-reminder scan and its write-back, and the main window's
// alerting parts. The clock is pinned and moved by hand; the timer slot is called directly.
#include "FakePlayer.h"
#include "ProgramFixture.h"
#include "TestEnv.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "frmMain.h"
#include "frmMainAlerts.h"
#include "frmReminder.h"
#include "uFunctions.h"
#include "uMain.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {
QDateTime Moment(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

TReminder::Ptr OneTime(const QDateTime &due, const QString &message)
{
    auto r = TReminder::Create();
    r->Date = QDateToDateTime(due.date());
    r->Time = EncodeTime(due.time().hour(), due.time().minute());
    r->ReminderMessage = message;
    r->Active = true;
    r->RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

TReminder::Ptr DailySeries(const QDate &start, const QTime &time, const QString &message)
{
    auto r = TReminder::Create();
    r->Recurring = true;
    r->RecurrenceUnit = ruDaily;
    r->RecurrenceDailyType = dtEveryNDays;
    r->RecurrenceDailyEvery = 1;
    r->RecurrenceStart = QDateToDateTime(start);
    r->RecurrenceNoEnd = true;
    r->RecurrenceWeeklyDays = QStringLiteral("0000000");
    r->Date = QDateToDateTime(start);
    r->Time = EncodeTime(time.hour(), time.minute());
    r->ReminderMessage = message;
    r->Active = true;
    return r;
}

QString PlanText(const TVNTRTickPlan &plan)
{
    QStringList parts;
    if (plan.RefreshToday)
        parts << QStringLiteral("today");
    if (plan.RefreshClock)
        parts << QStringLiteral("clock");
    if (plan.Scan == TVNTRScanKind::Exact)
        parts << QStringLiteral("exact");
    else if (plan.Scan == TVNTRScanKind::CatchUp)
        parts << QStringLiteral("catch-up");
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1Char('+'));
}

QDateTime RowMoment(const TReminder &r)
{
    return DateTimeToQDateTime(ComposeDateTime(r.Date, r.Time));
}

QString OccurrenceCaption(const QDate &day, const QTime &time)
{
    return QStringLiteral("Reminder - ") + TReminder::ListCaption(QDateToDateTime(day), QTimeToDateTime(time));
}

// Every row of both tables in their text form; main rows without the Id (a snoozed
// occurrence's copy has a fresh one).
QStringList Rows(TReminders &store)
{
    QStringList out;
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        out << store.FormatLine(row, false);
    }
    for (int i = 0; i < store.ExclusionRowCount(); ++i) {
        store.ReadExclusionRow(i, row);
        out << store.FormatLine(row, true);
    }
    return out;
}

// What answering every missed occurrence in its own alert leaves in the store: oldest first,
// each dismissed, the latest snoozed (for 5 minutes) when asked.
void AnswerInTurn(TReminders &store, const QDateTime &now, bool snoozeLatest, bool deleteAfterDismiss)
{
    TReminderList due;
    store.GetDue(due, true, EncodeTime(now.time().hour(), now.time().minute()), QDateToDateTime(now.date()));
    for (int i = 0; i < due.Count(); ++i) {
        TReminder &r = *due.Items(i);
        const bool snooze = snoozeLatest && i == due.Count() - 1;
        if (snooze)
            TReminderDlg::SnoozeMoment(FromQDateTime(now), 0, r.Date, r.Time);
        TVNTRDueScanner::WriteBack(store, r, snooze, deleteAfterDismiss);
    }
}

// A preset answer per message (dismiss when not listed), recording the alerts in order.
struct TAlertLog {
    QStringList Alerted;
    // Per alert: the caption, and the count line under the message ("" when hidden).
    QStringList Captions;
    QStringList Earlier;
    QHash<QString, TReminderAlertAnswer> Answers;
    // Runs inside the alert of the given message, before it is answered.
    QHash<QString, std::function<void()>> Inside;

    void Install()
    {
        VNTRSetAlertAnswerer([this](TReminderDlg &dlg) {
            const QString message = dlg.findChild<QLabel *>(QStringLiteral("lblReminder"))->text();
            const auto *earlier = dlg.findChild<QLabel *>(QStringLiteral("lblEarlier"));
            Alerted << message;
            Captions << dlg.windowTitle();
            Earlier << (earlier->isHidden() ? QString() : earlier->text());
            if (const auto inside = Inside.value(message))
                inside();
            return Answers.value(message, TReminderAlertAnswer::Dismiss());
        });
    }
};
} // namespace

class TestFrmMainAlerts : public QObject {
    Q_OBJECT

private:
    TProgramFixture fixture_; // errors as "message|details"
    TFakePlayer player_;
    TAlertLog log_;
    int commits_ = 0;

    QString DataFile() const { return fixture_.DataFile(); }

    // A scanner over the globals, with the fake player and a commit that counts and saves.
    void Wire(TVNTRDueScanner &scanner, TVNTRDueScanner::TAlert alert = {})
    {
        TVNTRDueScanner::THooks hooks;
        hooks.Alert = std::move(alert);
        hooks.Store = [] { return Reminders.get(); };
        hooks.Options = [] { return Options.get(); };
        hooks.Player = &player_;
        hooks.Commit = [this] {
            ++commits_;
            Reminders->Save();
        };
        scanner.SetHooks(std::move(hooks));
    }

    std::unique_ptr<TVNTRMain> MakeMain()
    {
        auto main = std::make_unique<TVNTRMain>();
        main->SetPlayer(&player_);
        fixture_.CatchErrors(true);
        return main;
    }

    static void Tick(TVNTRMain &main, const QDateTime &now)
    {
        ZTPinClock(now);
        QVERIFY(QMetaObject::invokeMethod(&main, "tOnSecondTimer"));
    }

private Q_SLOTS:
    void init()
    {
        fixture_.Start();
        QFile::copy(QStringLiteral(VENTARO_BIN_DIR "/notify.wav"), fixture_.Path(QStringLiteral("notify.wav")));
        Options->DefaultSound = fixture_.Path(QStringLiteral("notify.wav"));
        player_ = TFakePlayer();
        log_ = TAlertLog();
        log_.Install();
        commits_ = 0;
        fixture_.CatchErrors(true);
    }
    void cleanup()
    {
        VNTRSetAlertAnswerer({});
        fixture_.Stop();
    }

    // ---- The tick's decisions ----

    void tickPlans_data()
    {
        QTest::addColumn<QList<QDateTime>>("ticks");
        QTest::addColumn<QStringList>("plans");
        const auto day = [](int h, int m, int s) { return Moment(2024, 3, 4, h, m, s); };

        QTest::newRow("first tick") << QList<QDateTime>{day(10, 0, 31)} << QStringList{"today+clock+catch-up"};
        QTest::newRow("same minute, then second 0") << QList<QDateTime>{day(10, 0, 58), day(10, 0, 59), day(10, 1, 0)}
                                                    << QStringList{"today+clock+catch-up", "-", "clock+exact"};
        QTest::newRow("second 0 skipped") << QList<QDateTime>{day(10, 0, 59), day(10, 1, 1), day(10, 1, 2)}
                                          << QStringList{"today+clock+catch-up", "clock+exact", "-"};
        QTest::newRow("a whole minute skipped")
            << QList<QDateTime>{day(10, 0, 59), day(10, 2, 1)} << QStringList{"today+clock+catch-up", "clock+catch-up"};
        QTest::newRow("suspended for hours")
            << QList<QDateTime>{day(10, 0, 30), day(13, 45, 10)} << QStringList{"today+clock+catch-up", "clock+catch-up"};
        QTest::newRow("clock set back") << QList<QDateTime>{day(10, 5, 0), day(10, 3, 0), day(10, 3, 30), day(10, 4, 0)}
                                        << QStringList{"today+clock+catch-up", "clock+exact", "-", "clock+exact"};
        QTest::newRow("midnight") << QList<QDateTime>{day(23, 59, 59), Moment(2024, 3, 5, 0, 0, 0), Moment(2024, 3, 5, 0, 0, 1)}
                                  << QStringList{"today+clock+catch-up", "today+clock+exact", "-"};
        QTest::newRow("same day of another month") << QList<QDateTime>{day(10, 0, 0), Moment(2024, 4, 4, 10, 0, 0)}
                                                   << QStringList{"today+clock+catch-up", "today+clock+catch-up"};
    }
    void tickPlans()
    {
        QFETCH(QList<QDateTime>, ticks);
        QFETCH(QStringList, plans);
        TVNTRTickSchedule schedule;
        bool firstScan = true;
        QStringList actual;
        for (const QDateTime &tick : ticks)
            actual << PlanText(schedule.Plan(tick, firstScan));
        QCOMPARE(actual, plans);
        QVERIFY(!firstScan);
    }

    void resumeAndRequestedCatchUp()
    {
        TVNTRTickSchedule schedule;
        bool firstScan = true;
        schedule.Plan(Moment(2024, 3, 4, 10, 0, 10), firstScan);
        // Woken within the same minute: scanned at once, with catch-up, and not again.
        QCOMPARE(PlanText(schedule.Resume(Moment(2024, 3, 4, 10, 0, 20), firstScan)), QStringLiteral("clock+catch-up"));
        QCOMPARE(PlanText(schedule.Plan(Moment(2024, 3, 4, 10, 0, 21), firstScan)), QStringLiteral("-"));
        // After a failed scan the next minute catches up, and only that one.
        schedule.RequestCatchUp();
        QCOMPARE(PlanText(schedule.Plan(Moment(2024, 3, 4, 10, 0, 40), firstScan)), QStringLiteral("-"));
        QCOMPARE(PlanText(schedule.Plan(Moment(2024, 3, 4, 10, 1, 0), firstScan)), QStringLiteral("clock+catch-up"));
        QCOMPARE(PlanText(schedule.Plan(Moment(2024, 3, 4, 10, 2, 0), firstScan)), QStringLiteral("clock+exact"));
    }

    void todayText_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("tail");
        QTest::newRow("29 Dec 2003 is in week 1") << QDate(2003, 12, 29) << " - Day: 363 - Week: 1";
        QTest::newRow("1 Jan 2005 is in week 53") << QDate(2005, 1, 1) << " - Day: 1 - Week: 53";
        QTest::newRow("31 Dec 2004, leap year") << QDate(2004, 12, 31) << " - Day: 366 - Week: 53";
        QTest::newRow("a Monday in March") << QDate(2024, 3, 4) << " - Day: 64 - Week: 10";
    }
    void todayText()
    {
        QFETCH(QDate, date);
        QFETCH(QString, tail);
        QCOMPARE(VNTRTodayText(date), QStringLiteral("Today: ") + ShortDateText(QDateToDateTime(date)) + tail);
    }

    // ---- Write-back ----

    void writeBack_data()
    {
        QTest::addColumn<bool>("series");
        QTest::addColumn<bool>("snooze");
        QTest::addColumn<bool>("deleteAfterDismiss");
        QTest::addColumn<int>("mainRows");
        QTest::addColumn<int>("exclusionRows");
        QTest::addColumn<bool>("exclusionActive");
        // The one-time row left (the reminder itself, or the copy of the occurrence): its
        // moment and Active; an invalid moment when none is left.
        QTest::addColumn<QDateTime>("oneTimeMoment");
        QTest::addColumn<bool>("oneTimeActive");

        const QDateTime due = Moment(2024, 3, 4, 10, 7);
        const QDateTime snoozed = Moment(2024, 3, 4, 10, 12);
        QTest::newRow("one-time, snoozed") << false << true << true << 1 << 0 << false << snoozed << true;
        QTest::newRow("one-time, dismissed, delete") << false << false << true << 0 << 0 << false << QDateTime() << false;
        QTest::newRow("one-time, dismissed, keep") << false << false << false << 1 << 0 << false << due << false;
        QTest::newRow("occurrence, snoozed") << true << true << true << 2 << 1 << true << snoozed << true;
        QTest::newRow("occurrence, snoozed, keep") << true << true << false << 2 << 1 << true << snoozed << true;
        QTest::newRow("occurrence, dismissed, delete") << true << false << true << 1 << 1 << true << QDateTime() << false;
        QTest::newRow("occurrence, dismissed, keep") << true << false << false << 1 << 1 << false << QDateTime() << false;
    }
    void writeBack()
    {
        QFETCH(bool, series);
        QFETCH(bool, snooze);
        QFETCH(bool, deleteAfterDismiss);
        QFETCH(int, mainRows);
        QFETCH(int, exclusionRows);
        QFETCH(bool, exclusionActive);
        QFETCH(QDateTime, oneTimeMoment);
        QFETCH(bool, oneTimeActive);

        const QDateTime now = Moment(2024, 3, 4, 10, 7, 40);
        ZTPinClock(now);
        Options->DeleteAfterDismiss = deleteAfterDismiss;
        Options->DefaultReminder = 0; // 5 minutes
        const auto reminder = series ? DailySeries(QDate(2024, 3, 4), QTime(10, 7), QStringLiteral("R"))
                                     : OneTime(Moment(2024, 3, 4, 10, 7), QStringLiteral("R"));
        Reminders->Add(*reminder);
        log_.Answers[QStringLiteral("R")] = snooze ? TReminderAlertAnswer::SnoozeFor() : TReminderAlertAnswer::Dismiss();

        TVNTRDueScanner scanner;
        Wire(scanner);
        QCOMPARE(scanner.Scan(false, FromQDateTime(now)), 1);
        QCOMPARE(log_.Alerted, QStringList{"R"});
        QCOMPARE(commits_, 1);

        QCOMPARE(Reminders->MainRowCount(), mainRows);
        QCOMPARE(Reminders->ExclusionRowCount(), exclusionRows);
        if (exclusionRows > 0) {
            TReminder exclusion;
            Reminders->ReadExclusionRow(0, exclusion);
            QCOMPARE(exclusion.Id, reminder->Id);
            QCOMPARE(RowMoment(exclusion), Moment(2024, 3, 4, 10, 7));
            QCOMPARE(exclusion.Active, exclusionActive);
        }
        TReminderList all;
        Reminders->GetAll(all);
        TReminder::Ptr oneTime;
        for (const auto &row : all) {
            if (!row->Recurring)
                oneTime = row;
            else
                QCOMPARE(row->Id, reminder->Id); // the series itself stays as it was
        }
        QCOMPARE(bool(oneTime), oneTimeMoment.isValid());
        if (oneTime) {
            QCOMPARE(RowMoment(*oneTime), oneTimeMoment);
            QCOMPARE(oneTime->Active, oneTimeActive);
            QCOMPARE(oneTime->ReminderMessage, QStringLiteral("R"));
            QCOMPARE(oneTime->Id == reminder->Id, !series);
        }

        // Whatever the answer, that occurrence never comes due again, not even by catch-up.
        TReminderList again;
        Reminders->GetDue(again, true, EncodeTime(10, 7), QDateToDateTime(now.date()));
        QCOMPARE(again.Count(), 0);
    }

    // ---- The scan ----

    void twoInOneMinuteGiveOneSave()
    {
        const QDateTime now = Moment(2024, 3, 4, 9, 30, 0);
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 9, 30), QStringLiteral("first")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 9, 31), QStringLiteral("later")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 9, 30), QStringLiteral("second")));
        QVERIFY(!QFile::exists(DataFile()));

        TVNTRDueScanner scanner;
        Wire(scanner);
        QCOMPARE(scanner.Scan(false, FromQDateTime(now)), 2);
        QCOMPARE(log_.Alerted, QStringList({"first", "second"}));
        QCOMPARE(commits_, 1);
        QVERIFY(QFile::exists(DataFile()));

        // Nothing due: nothing saved.
        QCOMPARE(scanner.Scan(false, FromQDateTime(now.addSecs(120))), 0);
        QCOMPARE(commits_, 1);
    }

    void sound_data()
    {
        QTest::addColumn<QString>("soundFile"); // "own", "missing" or ""
        QTest::addColumn<bool>("playSound");
        QTest::addColumn<bool>("repeatSound");
        QTest::addColumn<QString>("played"); // "" when nothing is played

        QTest::newRow("own file") << "own" << true << false << "own.wav";
        QTest::newRow("own file, looping") << "own" << true << true << "own.wav (loop)";
        QTest::newRow("missing file: default sound") << "missing" << true << false << "notify.wav";
        QTest::newRow("no file named: default sound") << "" << true << true << "notify.wav (loop)";
        QTest::newRow("sound off") << "own" << false << false << "";
    }
    void sound()
    {
        QFETCH(QString, soundFile);
        QFETCH(bool, playSound);
        QFETCH(bool, repeatSound);
        QFETCH(QString, played);

        QFile::copy(QStringLiteral(VENTARO_BIN_DIR "/notify.wav"), fixture_.Path(QStringLiteral("own.wav")));
        const QDateTime now = Moment(2024, 3, 4, 9, 30, 0);
        auto reminder = OneTime(now, QStringLiteral("R"));
        reminder->PlaySound = playSound;
        reminder->RepeatSound = repeatSound;
        if (!soundFile.isEmpty())
            reminder->SoundFile = fixture_.Path(soundFile + QStringLiteral(".wav"));
        Reminders->Add(*reminder);

        bool playingDuringAlert = false;
        log_.Inside[QStringLiteral("R")] = [&] { playingDuringAlert = player_.Playing; };
        TVNTRDueScanner scanner;
        Wire(scanner);
        scanner.Scan(false, FromQDateTime(now));

        QCOMPARE(log_.Alerted, QStringList{"R"});
        QCOMPARE(player_.Played, played.isEmpty() ? QStringList() : QStringList{fixture_.Path(played)});
        QCOMPARE(playingDuringAlert, playSound);
        QCOMPARE(player_.FallbackFileName(), Options->DefaultSound);
        QVERIFY(!player_.Playing);
        QVERIFY(player_.Stops >= 1);
    }

    void programStart_data()
    {
        QTest::addColumn<bool>("runProgram");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("failure"); // "", "std", "ezt"
        QTest::addColumn<int>("opened");
        QTest::newRow("started") << true << "/usr/bin/true"
                                 << "" << 1;
        QTest::newRow("start raises") << true << "/no/such/program"
                                      << "std" << 1;
        QTest::newRow("start raises EZTException") << true << "/no/such/program"
                                                   << "ezt" << 1;
        QTest::newRow("no location") << true << ""
                                     << "" << 0;
        QTest::newRow("not asked for") << false << "/usr/bin/true"
                                       << "" << 0;
    }
    void programStart()
    {
        QFETCH(bool, runProgram);
        QFETCH(QString, location);
        QFETCH(QString, failure);
        QFETCH(int, opened);

        const QDateTime now = Moment(2024, 3, 4, 9, 30, 0);
        auto reminder = OneTime(now, QStringLiteral("R"));
        reminder->RunProgram = runProgram;
        reminder->ProgramLocation = location;
        Reminders->Add(*reminder);

        QStringList calls;
        TVNTRDueScanner scanner;
        Wire(scanner);
        scanner.SetOpenProgram([&](const QString &program) {
            calls << program;
            if (failure == QLatin1String("std"))
                throw std::runtime_error("cannot start");
            if (failure == QLatin1String("ezt"))
                throw EZTException(QStringLiteral("cannot start"));
        });
        QCOMPARE(scanner.Scan(false, FromQDateTime(now)), 1);
        QCOMPARE(calls.size(), opened);
        QCOMPARE(log_.Alerted, QStringList{"R"});
        QCOMPARE(Reminders->MainRowCount(), 0); // dismissed and deleted: the scan went on
    }

    // ---- The main window ----

    void firstTickCatchesUp()
    {
        Reminders->Add(*OneTime(Moment(2024, 3, 3, 18, 0), QStringLiteral("overdue")));
        Reminders->Add(*DailySeries(QDate(2024, 3, 2), QTime(9, 0), QStringLiteral("daily")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 11, 0), QStringLiteral("later today")));
        QStringList occurrences;
        VNTRSetAlertAnswerer([&](TReminderDlg &dlg) {
            const QString message = dlg.findChild<QLabel *>(QStringLiteral("lblReminder"))->text();
            log_.Alerted << message;
            if (message == QLatin1String("daily"))
                occurrences << dlg.windowTitle();
            return TReminderAlertAnswer::Dismiss();
        });

        const QDateTime start = Moment(2024, 3, 4, 10, 0, 12);
        ZTPinClock(start);
        auto main = MakeMain();
        auto *tray = main->TrayIcon();
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), QStringLiteral("Merrowick Jotbell"));
        QCOMPARE(main->findChild<QLabel *>(QStringLiteral("lblToday"))->text(), VNTRTodayText(start.date()));
        QVERIFY(main->OnSecondTimer()->isActive());
        QCOMPARE(main->OnSecondTimer()->interval(), 1000);
        QCOMPARE(main->OnSecondTimer()->timerType(), Qt::PreciseTimer);
        QVERIFY(log_.Alerted.isEmpty());

        Tick(*main, Moment(2024, 3, 4, 10, 0, 13));
        // One alert for the series: its latest missed occurrence; the two before are answered
        // with it.
        QCOMPARE(log_.Alerted, QStringList({"overdue", "daily"}));
        QCOMPARE(occurrences, QStringList{OccurrenceCaption(QDate(2024, 3, 4), QTime(9, 0))});
        QVERIFY(fixture_.Errors.isEmpty());
        QVERIFY(QFile::exists(DataFile())); // committed
        QCOMPARE(tray->toolTip(), QStringLiteral("Merrowick Ventaro! - ")
                                      + TReminder::ListCaption(QDateToDateTime(QDate(2024, 3, 4)), EncodeTime(10, 0)));
        QCOMPARE(main->findChild<QLabel *>(QStringLiteral("lblClock"))->text(), ShortTimeText(EncodeTime(10, 0)));
        QCOMPARE(Reminders->ExclusionRowCount(), 3);

        // The rest of the minute: nothing more.
        Tick(*main, Moment(2024, 3, 4, 10, 0, 14));
        QCOMPARE(log_.Alerted.size(), 2);
    }

    // A catch-up over a daily series missed for two years: one alert, and the answer written
    // for every missed occurrence exactly as answering each in its own alert would have.
    void catchUpAnswersEveryMissedOccurrence_data()
    {
        QTest::addColumn<bool>("snooze");
        QTest::addColumn<bool>("deleteAfterDismiss");
        QTest::addColumn<bool>("ownRecords"); // the records already there belong to the series
        QTest::newRow("dismiss, delete") << false << true << true;
        QTest::newRow("dismiss, keep") << false << false << true;
        QTest::newRow("snooze, delete") << true << true << true;
        QTest::newRow("snooze, keep") << true << false << true;
        // Imported from CSV: the records of the old series do not cover the new one.
        QTest::newRow("imported series, dismiss") << false << false << false;
    }
    void catchUpAnswersEveryMissedOccurrence()
    {
        QFETCH(bool, snooze);
        QFETCH(bool, deleteAfterDismiss);
        QFETCH(bool, ownRecords);

        const QDateTime now = Moment(2024, 3, 4, 10, 0, 13);
        const QDate start = now.date().addYears(-2);
        const int occurrences = int(start.daysTo(now.date())) + 1;
        ZTPinClock(now);
        Options->DeleteAfterDismiss = deleteAfterDismiss;
        Options->DefaultReminder = 0;
        TReminders reference(QString{});
        const auto series = DailySeries(start, QTime(9, 0), QStringLiteral("daily"));
        const auto old = DailySeries(start, QTime(9, 0), QStringLiteral("daily"));
        for (TReminders *store : {Reminders.get(), &reference}) {
            store->Add(*series);
            // Five occurrences answered long ago.
            for (int k = 1; k <= 5; ++k) {
                TReminder occurrence = ownRecords ? *series : *old;
                occurrence.OccurrenceDate = QDateToDateTime(start.addDays(100 * k));
                occurrence.OccurrenceTime = series->Time;
                TVNTRDueScanner::WriteBack(*store, occurrence, false, false);
            }
        }
        const int recorded = ownRecords ? 5 : 0;
        log_.Answers[QStringLiteral("daily")] = snooze ? TReminderAlertAnswer::SnoozeFor(0) : TReminderAlertAnswer::Dismiss();

        TVNTRDueScanner scanner;
        Wire(scanner);
        QCOMPARE(scanner.Scan(true, FromQDateTime(now)), 1);
        QCOMPARE(log_.Captions, QStringList{OccurrenceCaption(now.date(), QTime(9, 0))});
        QCOMPARE(log_.Earlier, QStringList{QStringLiteral("and %1 earlier occurrences").arg(occurrences - recorded - 1)});
        QCOMPARE(commits_, 1);

        AnswerInTurn(reference, now, snooze, deleteAfterDismiss);
        QCOMPARE(Reminders->ExclusionRowCount(), 5 + occurrences - recorded);
        QCOMPARE(Rows(*Reminders), Rows(reference));

        // Nothing of the series is left to catch up; a snoozed copy comes at its own minute.
        TReminderList again;
        Reminders->GetDue(again, true, EncodeTime(10, 4), QDateToDateTime(now.date()));
        QCOMPARE(again.Count(), 0);
        Reminders->GetDue(again, true, EncodeTime(10, 5), QDateToDateTime(now.date()));
        QCOMPARE(again.Count(), snooze ? 1 : 0);
    }

    // One answer records at most MaxEarlierRecords earlier occurrences, the latest ones; the
    // older ones come back together at the next catch-up.
    void catchUpRecordsAreCapped()
    {
        const QDateTime now = Moment(2024, 3, 4, 10, 0);
        const QDate start(1980, 1, 1);
        const int occurrences = int(start.daysTo(now.date())) + 1;
        const int cap = TVNTRDueScanner::MaxEarlierRecords;
        QVERIFY(occurrences > cap + 1);
        ZTPinClock(now);
        Reminders->Add(*DailySeries(start, QTime(9, 0), QStringLiteral("daily")));

        TVNTRDueScanner scanner;
        Wire(scanner);
        scanner.Scan(true, FromQDateTime(now));
        QCOMPARE(Reminders->ExclusionRowCount(), cap + 1);
        TReminder oldest;
        Reminders->ReadExclusionRow(0, oldest);
        const QDate oldestRecorded = now.date().addDays(-cap);
        QCOMPARE(DateTimeToQDate(oldest.Date), oldestRecorded);

        scanner.Scan(true, FromQDateTime(now));
        QCOMPARE(log_.Captions.last(), OccurrenceCaption(oldestRecorded.addDays(-1), QTime(9, 0)));
        QCOMPARE(log_.Earlier.last(), QStringLiteral("and %1 earlier occurrences").arg(occurrences - cap - 2));
        QCOMPARE(Reminders->ExclusionRowCount(), occurrences);
        QCOMPARE(scanner.Scan(true, FromQDateTime(now)), 0);
    }

    // An alert that ends without an answer writes nothing, for the earlier occurrences neither,
    // and gives its claims back: the next catch-up shows the same alert.
    void catchUpWithoutAnswerWritesNothing()
    {
        const QDateTime now = Moment(2024, 3, 4, 10, 0);
        ZTPinClock(now);
        Reminders->Add(*DailySeries(QDate(2024, 2, 1), QTime(9, 0), QStringLiteral("daily")));
        QList<int> shown;
        TVNTRDueScanner scanner;
        Wire(scanner, [&](QWidget *, TReminder &, TDateTime, int earlier) -> bool {
            shown << earlier;
            if (shown.size() == 1)
                throw EZTException(QString());
            return false;
        });
        QVERIFY_THROWS_EXCEPTION(EZTException, scanner.Scan(true, FromQDateTime(now)));
        QCOMPARE(Reminders->ExclusionRowCount(), 0);
        QVERIFY(scanner.Claimed().isEmpty());
        QCOMPARE(commits_, 0);
        QCOMPARE(scanner.Scan(true, FromQDateTime(now)), 1);
        QCOMPARE(shown, QList<int>({32, 32}));
        QCOMPARE(Reminders->ExclusionRowCount(), 33);
    }

    // Scans nested inside an open catch-up alert leave the listed series to it: a catch-up
    // inside takes only the occurrences after the claimed one, and every occurrence is
    // recorded once.
    void nestedScansInsideACatchUpGroup()
    {
        ZTPinClock(Moment(2024, 3, 4, 10, 0, 13));
        auto main = MakeMain();
        const auto series = DailySeries(QDate(2024, 2, 28), QTime(10, 1), QStringLiteral("daily"));
        Reminders->Add(*series);
        Reminders->Add(*OneTime(Moment(2024, 3, 3, 8, 0), QStringLiteral("once")));
        log_.Inside[QStringLiteral("daily")] = [&] {
            log_.Inside.remove(QStringLiteral("daily"));
            // Woken in the same minute: everything is claimed.
            QVERIFY(QMetaObject::invokeMethod(main.get(), "LoginPrepareForSleep", Q_ARG(bool, false)));
            // Two minutes on: today's occurrence is new, the earlier ones are the outer alert's.
            Tick(*main, Moment(2024, 3, 4, 10, 2, 5));
        };
        Tick(*main, Moment(2024, 3, 4, 10, 0, 13));

        QCOMPARE(log_.Alerted, QStringList({"daily", "daily", "once"}));
        QCOMPARE(log_.Captions.mid(0, 2), QStringList({OccurrenceCaption(QDate(2024, 3, 3), QTime(10, 1)),
                                                       OccurrenceCaption(QDate(2024, 3, 4), QTime(10, 1))}));
        QCOMPARE(log_.Earlier, QStringList({QStringLiteral("and 4 earlier occurrences"), QString(), QString()}));
        QVERIFY(fixture_.Errors.isEmpty());
        QVERIFY(main->Alerting()->Scanner.Claimed().isEmpty());
        // 28 February to 4 March 2024: six occurrences, one record each.
        QSet<QDate> days;
        for (int i = 0; i < Reminders->ExclusionRowCount(); ++i) {
            TReminder row;
            Reminders->ReadExclusionRow(i, row);
            days << DateTimeToQDate(row.Date);
        }
        QCOMPARE(Reminders->ExclusionRowCount(), 6);
        QCOMPARE(days.size(), 6);
    }

    // A minute whose second-0 tick never came is scanned all the same.
    void missedMinutesAreScanned()
    {
        ZTPinClock(Moment(2024, 3, 4, 10, 0, 58));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 10, 0, 58));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 1), QStringLiteral("10:01")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 3), QStringLiteral("10:03")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 5), QStringLiteral("10:05")));

        Tick(*main, Moment(2024, 3, 4, 10, 1, 1)); // second 0 skipped
        QCOMPARE(log_.Alerted, QStringList{"10:01"});
        Tick(*main, Moment(2024, 3, 4, 10, 4, 2)); // two minutes skipped
        QCOMPARE(log_.Alerted, QStringList({"10:01", "10:03"}));
        Tick(*main, Moment(2024, 3, 4, 10, 5, 0));
        QCOMPARE(log_.Alerted, QStringList({"10:01", "10:03", "10:05"}));
        QVERIFY(fixture_.Errors.isEmpty());
    }

    void midnightChangesTodayAndTray()
    {
        ZTPinClock(Moment(2024, 3, 31, 23, 59, 58));
        auto main = MakeMain();
        auto *tray = main->TrayIcon();
        auto *today = main->findChild<QLabel *>(QStringLiteral("lblToday"));
        Tick(*main, Moment(2024, 3, 31, 23, 59, 59));
        QCOMPARE(tray->icon().cacheKey(), main->Alerting()->imlTray.Icon(30).cacheKey());
        QCOMPARE(today->text(), VNTRTodayText(QDate(2024, 3, 31)));

        auto *picture = main->findChild<QLabel *>(QStringLiteral("imgToday"));
        QCOMPARE(picture->pixmap().toImage(), VNTRDrawTrayImage(31, 16).toImage());

        Tick(*main, Moment(2024, 4, 1, 0, 0, 0));
        QCOMPARE(tray->icon().cacheKey(), main->Alerting()->imlTray.Icon(0).cacheKey());
        QCOMPARE(today->text(), VNTRTodayText(QDate(2024, 4, 1)));
        QCOMPARE(picture->pixmap().toImage(), VNTRDrawTrayImage(1, 16).toImage());
    }

    // The timer keeps running inside an open alert: a later minute's alert opens on top, a
    // catch-up scan inside (the system woke up) alerts nothing twice, and each scan saves its
    // own batch.
    void nestedScans()
    {
        ZTPinClock(Moment(2024, 3, 4, 9, 59, 59));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 9, 59, 59));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("outer")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("pending")));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 1), QStringLiteral("inner")));
        const QString file = DataFile();
        bool timerActive = false;
        int depth = 0;
        log_.Inside[QStringLiteral("outer")] = [&] {
            timerActive = main->OnSecondTimer()->isActive();
            Tick(*main, Moment(2024, 3, 4, 10, 0, 30));
            Tick(*main, Moment(2024, 3, 4, 10, 1, 1));
            QVERIFY(QMetaObject::invokeMethod(main.get(), "LoginPrepareForSleep", Q_ARG(bool, false)));
        };
        log_.Inside[QStringLiteral("inner")] = [&] { depth = main->Alerting()->Scanner.Depth(); };
        log_.Answers[QStringLiteral("outer")] = TReminderAlertAnswer::SnoozeFor(0);
        Tick(*main, Moment(2024, 3, 4, 10, 0, 0));

        QVERIFY(timerActive);
        QCOMPARE(depth, 2);
        QCOMPARE(log_.Alerted, QStringList({"outer", "inner", "pending"}));
        QVERIFY(fixture_.Errors.isEmpty());
        QVERIFY(main->Alerting()->Scanner.Claimed().isEmpty());
        // The outer one was snoozed at 10:01:01: five minutes later; the rest dismissed.
        TReminderList all;
        Reminders->GetAll(all);
        QCOMPARE(all.Count(), 1);
        QCOMPARE(RowMoment(*all.Items(0)), Moment(2024, 3, 4, 10, 6));
        TReminders saved(file);
        saved.Load();
        QCOMPARE(saved.MainRowCount(), 1);
    }

    // A store failure ends the scan; what it did not reach is alerted at the next minute.
    void failedScanCatchesUpNextMinute()
    {
        ZTPinClock(Moment(2024, 3, 4, 9, 59, 59));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 9, 59, 59));
        const auto first = OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("first"));
        Reminders->Add(*first);
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("second")));
        // The reminder is removed while its alert is open: the dismissal cannot find it.
        log_.Inside[QStringLiteral("first")] = [&] { Reminders->Delete(*first); };

        Tick(*main, Moment(2024, 3, 4, 10, 0, 0));
        QCOMPARE(log_.Alerted, QStringList{"first"});
        QCOMPARE(fixture_.Errors.size(), 1);
        QVERIFY(fixture_.Errors.at(0).startsWith(QStringLiteral("Reminder not found in database.|")));

        Tick(*main, Moment(2024, 3, 4, 10, 1, 0));
        QCOMPARE(log_.Alerted, QStringList({"first", "second"}));
        QCOMPARE(fixture_.Errors.size(), 1);
    }

    void failuresAreWrapped()
    {
        ZTPinClock(Moment(2024, 3, 4, 9, 59, 59));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 9, 59, 59));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("R")));
        log_.Inside[QStringLiteral("R")] = [] { throw std::runtime_error("out of luck"); };
        Tick(*main, Moment(2024, 3, 4, 10, 0, 0));
        QCOMPARE(fixture_.Errors, QStringList{"Error processing reminders.|out of luck"});
        QVERIFY(main->OnSecondTimer()->isActive());
        QVERIFY(!player_.Playing);
    }

    // The session ends while an alert is open: the store is gone, nothing is written and
    // nothing is shown.
    void storeReleasedDuringAlert()
    {
        ZTPinClock(Moment(2024, 3, 4, 9, 59, 59));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 9, 59, 59));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("R")));
        log_.Inside[QStringLiteral("R")] = [] { ShutDown(); };
        Tick(*main, Moment(2024, 3, 4, 10, 0, 0));
        QCOMPARE(log_.Alerted, QStringList{"R"});
        QVERIFY(!Reminders);
        QCOMPARE(fixture_.Errors, QStringList{"|"});
        Tick(*main, Moment(2024, 3, 4, 10, 1, 0)); // no store: the tick does nothing
        QCOMPARE(fixture_.Errors.size(), 1);
    }

    // Snooze with no interval lands on the current minute: it must still come back.
    void snoozeToTheCurrentMinuteComesBack()
    {
        ZTPinClock(Moment(2024, 3, 4, 9, 59, 59));
        auto main = MakeMain();
        Tick(*main, Moment(2024, 3, 4, 9, 59, 59));
        Reminders->Add(*OneTime(Moment(2024, 3, 4, 10, 0), QStringLiteral("R")));
        int shown = 0;
        VNTRSetAlertAnswerer(
            [&](TReminderDlg &) { return ++shown == 1 ? TReminderAlertAnswer::SnoozeFor(-1) : TReminderAlertAnswer::Dismiss(); });
        Tick(*main, Moment(2024, 3, 4, 10, 0, 20));
        QCOMPARE(shown, 1);
        Tick(*main, Moment(2024, 3, 4, 10, 1, 0));
        QCOMPARE(shown, 2);
        QCOMPARE(Reminders->MainRowCount(), 0);
    }
};

VENTARO_TEST_MAIN(TestFrmMainAlerts, QApplication)
#include "tst_frmMainAlerts.moc"
