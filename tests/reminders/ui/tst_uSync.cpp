// When the sync runs and with which password: the password command's first line, its failures
// told without its output, one sync at a time, and growing delays after failures. The server is
// a loopback port where nothing listens, so every sync that gets as far as the network fails
// there ("Cannot reach"), which shows that the password step before it passed.
#include "LoopbackPort.h"
#include "TestEnv.h"

#include "ZTClock.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "uSync.h"

#include <QSignalSpy>
#include <QTemporaryDir>

class TestUSync : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    TVNTROptions Account(const QString &command)
    {
        TVNTROptions options;
        options.SyncEnabled = true;
        options.SyncUrl = DeadServerUrl(QStringLiteral("/"));
        options.SyncUser = QStringLiteral("ann");
        options.SyncPasswordCommand = command;
        return options;
    }

private Q_SLOTS:
    void init() { ZTPinClock(QDateTime(QDate(2024, 3, 4), QTime(10, 42))); }
    void cleanup() { ZTResetClock(); }

    // The first line of the command's output is the password; a command that fails or gives
    // nothing stops the sync with a reason that never shows what the command printed.
    void passwordCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reason");
        QTest::newRow("first line taken") << "printf 'hunter2\\nsecond line\\n'"
                                          << "Cannot reach";
        QTest::newRow("no line end") << "printf hunter2"
                                     << "Cannot reach";
        QTest::newRow("fails after printing") << "echo hunter2; exit 3"
                                              << "The password command failed (exit status 3).";
        QTest::newRow("not found") << "/nonexistent/pass-tool show dav"
                                   << "The password command failed (exit status 127).";
        QTest::newRow("prints nothing") << "true"
                                        << "The password command gave no password.";
    }
    void passwordCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, reason);
        TReminders store(dir_.filePath(QStringLiteral("reminders.dat")));
        TVNTRSync sync(store);
        QSignalSpy finished(&sync, &TVNTRSync::Finished);
        sync.ApplyOptions(Account(command));
        QVERIFY(sync.Running());
        QVERIFY(finished.wait(20000));
        const QString status = sync.StatusText();
        QVERIFY2(status.startsWith(QStringLiteral("Sync failed at 10:42: ")) && status.contains(reason), qPrintable(status));
        QVERIFY2(status.endsWith(QStringLiteral("Next try at 10:43.")), qPrintable(status));
        QVERIFY(!status.contains(QStringLiteral("hunter2")));
        QCOMPARE(sync.Failures(), 1);
    }

    // Requests while a sync is on its way make no second one at the same time; after a failure
    // the delays grow up to an hour, and a save does not hammer a server that is down.
    void oneAtATimeAndGrowingDelays()
    {
        TReminders store(dir_.filePath(QStringLiteral("reminders.dat")));
        TVNTRSync sync(store);
        QSignalSpy finished(&sync, &TVNTRSync::Finished);
        sync.ApplyOptions(Account(QStringLiteral("sleep 0.3; echo pw")));
        sync.SyncNow();
        sync.SyncSoon();
        QVERIFY(sync.Running());
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), 1);
        QVERIFY(!sync.Running());
        sync.SyncSoon(); // failing: the retry delay decides
        QVERIFY(!sync.Running());
        QCOMPARE(sync.findChild<QTimer *>(QStringLiteral("tSyncSoon"))->isActive(), false);
        const QTimer *retry = sync.findChild<QTimer *>(QStringLiteral("tSyncRetry"));
        QVERIFY(retry->isActive());
        QCOMPARE(retry->interval(), 60 * 1000);

        // Turned off: nothing runs and nothing is pending.
        TVNTROptions off = Account(QString());
        off.SyncEnabled = false;
        sync.ApplyOptions(off);
        sync.SyncNow();
        QVERIFY(!sync.Running());
        QCOMPARE(sync.findChild<QTimer *>(QStringLiteral("tSyncRetry"))->isActive(), false);
        QCOMPARE(sync.StatusText(), QString());
    }
};

VENTARO_TEST_MAIN(TestUSync, QCoreApplication)
#include "tst_uSync.moc"
