// The main window and the calendar sync: the start-up catch-up waits for the first sync, a failed
// sync is told in the status bar and the tray hint (never in a box), and an alert for an
// occurrence another machine has dismissed is closed by the sync that brings the dismissal.
#include "FakePlayer.h"
#include "LoopbackPort.h"
#include "ProgramFixture.h"
#include "TestEnv.h"

#include "ZTClock.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "frmMain.h"
#include "frmReminder.h"
#include "uSync.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace {

const QDateTime Now(QDate(2024, 3, 4), QTime(9, 0));

TReminder Due(bool series, const QString &message)
{
    TReminder r = *TReminder::Create();
    r.ReminderMessage = message;
    r.Active = true;
    r.Date = EncodeDate(2024, 3, 4);
    r.Time = EncodeTime(9, 0);
    if (series) {
        r.Date = EncodeDate(2024, 3, 1);
        r.Recurring = true;
        r.RecurrenceNoEnd = true;
        r.RecurrenceUnit = ruDaily;
        r.RecurrenceDailyType = dtEveryNDays;
        r.RecurrenceDailyEvery = 1;
        r.RecurrenceStart = EncodeDate(2024, 3, 1);
    }
    return r;
}

} // namespace

class TestFrmMainSync : public QObject {
    Q_OBJECT

private:
    TProgramFixture fx_;
    std::unique_ptr<TVNTRMain> main_;
    TFakePlayer player_;
    int alerts_ = 0;

    void MakeMain()
    {
        main_ = std::make_unique<TVNTRMain>();
        main_->SetPlayer(&player_);
        fx_.CatchErrors();
    }
    void Tick() { QVERIFY(QMetaObject::invokeMethod(main_.get(), "tOnSecondTimer")); }

private Q_SLOTS:
    void init()
    {
        fx_.Start(Now);
        alerts_ = 0;
        VNTRSetAlertAnswerer([this](TReminderDlg &) {
            ++alerts_;
            return TReminderAlertAnswer::Dismiss();
        });
    }
    void cleanup()
    {
        VNTRSetAlertAnswerer({});
        main_.reset();
        fx_.Stop();
    }

    // With sync on, the catch-up of a reminder missed before start waits for the first sync,
    // and runs as soon as it ends (here it fails: the server is down); with sync off it runs at
    // the first tick. The failure is in the status bar and the tray hint, with the next try.
    void firstScanWaitsForTheFirstSync_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("sync off") << false;
        QTest::newRow("sync on, server down") << true;
    }
    void firstScanWaitsForTheFirstSync()
    {
        QFETCH(bool, enabled);
        TReminder missed = Due(false, QStringLiteral("Missed"));
        missed.Time = EncodeTime(8, 0);
        Reminders->Add(missed);
        Options->SyncEnabled = enabled;
        Options->SyncUrl = DeadServerUrl(QStringLiteral("/calendars/ann/"));
        MakeMain();
        QCOMPARE(main_->FirstScanHeld(), enabled);
        Tick();
        QCOMPARE(alerts_, enabled ? 0 : 1);
        if (!enabled) {
            QVERIFY(!main_->Sync()->Running());
            QCOMPARE(main_->SyncNotice(), QString());
            return;
        }
        QSignalSpy finished(main_->Sync(), &TVNTRSync::Finished);
        QVERIFY(finished.wait(20000));
        QTRY_COMPARE(alerts_, 1);
        QVERIFY(!main_->FirstScanHeld());
        const QString notice = main_->SyncNotice();
        QVERIFY2(notice.startsWith(QStringLiteral("Sync failed at 09:00: Cannot reach"))
                     && notice.contains(QStringLiteral("Next try at 09:01.")),
                 qPrintable(notice));
        QCOMPARE(main_->findChild<QLabel *>(QStringLiteral("lblSyncStatus"))->text(), notice);
        QVERIFY(main_->TrayIcon()->toolTip().endsWith(QLatin1Char('\n') + notice));
        QCOMPARE(fx_.Errors, QStringList()); // no box
        QCOMPARE(main_->Sync()->Failures(), 1);
    }

    // An alert on screen for an occurrence that arrives dismissed closes, and nothing more is
    // written for it (the row keeps the other machine's version); an alert for another
    // occurrence stays until answered here.
    void dismissedElsewhereClosesTheAlert_data()
    {
        QTest::addColumn<bool>("series");
        QTest::addColumn<bool>("sameOccurrence");
        QTest::newRow("series occurrence") << true << true;
        QTest::newRow("one-time reminder") << false << true;
        QTest::newRow("another occurrence") << true << false;
    }
    void dismissedElsewhereClosesTheAlert()
    {
        QFETCH(bool, series);
        QFETCH(bool, sameOccurrence);
        VNTRSetAlertAnswerer({});
        Options->DeleteAfterDismiss = false;
        const TReminder due = Due(series, QStringLiteral("Stand-up"));
        Reminders->Add(due);
        MakeMain();

        bool closedBySync = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = main_->findChild<TReminderDlg *>();
            QVERIFY(dialog && dialog->isVisible());
            // What the sync took in: the dismissal made on the other machine.
            TSyncOutcome outcome;
            TSyncSilenced silenced{due.Id, EncodeDate(2024, 3, sameOccurrence ? 4 : 3), due.Time};
            if (series) {
                TReminder exclusion = due;
                exclusion.OccurrenceDate = silenced.Date;
                exclusion.OccurrenceTime = due.Time;
                Reminders->AddExclusion(*exclusion.MakeExclusion());
            } else {
                TReminder there = due;
                there.Active = false;
                there.ReminderMessage = QStringLiteral("Stand-up (moved room)");
                Reminders->Update(there);
            }
            outcome.Silenced.push_back(silenced);
            outcome.StoreChanged = true;
            Q_EMIT main_->Sync()->Finished(outcome);
            closedBySync = !dialog->isVisible();
            if (!closedBySync)
                dialog->reject(); // the user dismisses it here
        });
        main_->Scan(false, ComposeDateTime(EncodeDate(2024, 3, 4), EncodeTime(9, 0)));

        QCOMPARE(closedBySync, sameOccurrence);
        QCOMPARE(fx_.Errors, QStringList());
        std::lock_guard<std::recursive_mutex> guard(Reminders->Lock());
        if (series) {
            // One record per dismissed occurrence: the other machine's, and ours when answered here.
            QCOMPARE(Reminders->ExclusionRowCount(), sameOccurrence ? 1 : 2);
        } else {
            TReminder stored;
            Reminders->ReadMainRow(0, stored);
            QVERIFY(!stored.Active);
            QCOMPARE(stored.ReminderMessage, QStringLiteral("Stand-up (moved room)"));
        }
    }
};

VENTARO_TEST_MAIN(TestFrmMainSync, QApplication)
#include "tst_frmMainSync.moc"
