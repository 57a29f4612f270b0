// The main window and the final save against another program changing the database file: the
// change is merged with ours and shown without a word; only a row changed on both sides, or a
// file that is not whole, is kept beside ours with one warning, never over an open alert. The outside edits are made by writing the file directly; the check, the
// commit, the watcher's slot and the shutdown are called directly.
#include "FakePlayer.h"
#include "ProgramFixture.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "frmMain.h"
#include "frmMainList.h"
#include "frmReminder.h"
#include "uMain.h"

#include <QFileSystemWatcher>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

const QDateTime Now(QDate(2024, 3, 4), QTime(8, 0));
const QByteArray H = "KESTO 2.0\r\n\r\n";
const QString Changed = QStringLiteral("The database file was changed by another program.");

QByteArray Row(const QByteArray &id, const QByteArray &message)
{
    return "{" + id + "};5/3/2024;9:5;" + message
           + ";TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;5/3/2024;TRUE;5/3/2024;FALSE;TRUE;\r\n";
}

const QByteArray Ours = H + Row("A", "Alpha");
const QByteArray Theirs = H + Row("A", "Alpha") + Row("C", "Gamma");

TReminder Parsed(const QByteArray &line)
{
    TReminders codec{QString()};
    TReminder r;
    codec.ParseLine(r, QString::fromLatin1(line.trimmed()), false);
    return r;
}

// Another program rewrites the file: with rows of its own, with a row changed, without rows,
// or with bytes that are no database.
bool EditOutside(const QString &edit, const QString &path)
{
    if (edit == QLatin1String("unreadable"))
        return Write(path, "garbage");
    if (edit == QLatin1String("changed"))
        return Write(path, H + Row("A", "Alpha there"));
    if (edit == QLatin1String("emptied"))
        return Write(path, H);
    return Write(path, Theirs);
}

} // namespace

class TestFrmMainWatch : public QObject {
    Q_OBJECT

private:
    TProgramFixture fx_;
    std::unique_ptr<TVNTRMain> main_;
    TFakePlayer player_;
    QString path_;

    QString Copy() const { return fx_.Path(QStringLiteral("Conflict of reminders.dat")); }

    // The messages the list of all reminders shows, sorted.
    QStringList Listed() const
    {
        QStringList messages;
        for (int i = 0; i < main_->ListModel()->Count(); ++i)
            messages << main_->ListModel()->ReminderAt(i)->ReminderMessage;
        messages.sort();
        return messages;
    }

private Q_SLOTS:
    void init()
    {
        fx_.Start(Now);
        path_ = fx_.DataFile();
        QVERIFY(Write(path_, Ours));
        Reminders->Load();
        main_ = std::make_unique<TVNTRMain>();
        main_->SetPlayer(&player_);
        fx_.CatchErrors();
        QCOMPARE(Listed(), QStringList{"Alpha"});
    }
    void cleanup()
    {
        main_.reset();
        fx_.Stop();
    }

    // An outside edit met by the watcher's check or by the next commit, with or without a
    // change of ours that has not been saved yet (as the scan's write-back before its commit).
    void outsideEdit_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("ours"); // a change of ours not saved yet: "", "add", "change"
        QTest::addColumn<bool>("byCommit");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<bool>("conflict");
        QTest::addColumn<QString>("notice"); // part of the status bar's notice
        const QStringList theirs{"Alpha", "Gamma"}, both{"Alpha", "Beta"};
        QTest::newRow("rewritten") << "rewritten"
                                   << "" << false << theirs << false << "";
        QTest::newRow("rewritten, commit") << "rewritten"
                                           << "" << true << theirs << false << "";
        QTest::newRow("unreadable") << "unreadable"
                                    << "" << false << QStringList{"Alpha"} << true << "damaged";
        QTest::newRow("rewritten, ours") << "rewritten"
                                         << "add" << false << QStringList{"Alpha", "Beta", "Gamma"} << false << "";
        QTest::newRow("rewritten, ours, commit") << "rewritten"
                                                 << "add" << true << QStringList{"Alpha", "Beta", "Gamma"} << false << "";
        QTest::newRow("unreadable, ours, commit") << "unreadable"
                                                  << "add" << true << both << true << "damaged";
        QTest::newRow("same row changed on both sides") << "changed"
                                                        << "change" << false << QStringList{"Alpha here"} << true << "";
        QTest::newRow("rows removed outside") << "emptied"
                                              << "" << false << QStringList{} << false << "removed 1 reminder";
    }
    void outsideEdit()
    {
        QFETCH(QString, edit);
        QFETCH(QString, ours);
        QFETCH(bool, byCommit);
        QFETCH(QStringList, listed);
        QFETCH(bool, conflict);
        QFETCH(QString, notice);
        QVERIFY(EditOutside(edit, path_));
        const QByteArray onDisk = Read(path_);
        if (ours == QLatin1String("add"))
            Reminders->Add(Parsed(Row("B", "Beta")));
        else if (ours == QLatin1String("change"))
            Reminders->Update(Parsed(Row("A", "Alpha here")));
        if (byCommit)
            main_->CommitAndRefresh();
        else
            main_->CheckDatabaseFile();

        QCOMPARE(Listed(), listed);
        QCOMPARE(fx_.Errors, conflict ? QStringList{Changed} : QStringList());
        if (conflict || ours.isEmpty())
            QCOMPARE(Read(conflict ? Copy() : path_), onDisk); // kept beside, or taken in as it is
        QVERIFY2(notice.isEmpty() ? main_->FileNotice().isEmpty() : main_->FileNotice().contains(notice),
                 qPrintable(main_->FileNotice()));

        // Nothing more to do once the change is handled: no second warning, no second copy.
        main_->CheckDatabaseFile();
        main_->CommitAndRefresh();
        QCOMPARE(fx_.Errors.size(), conflict ? 1 : 0);
        QCOMPARE(QDir(fx_.Folder()).entryList({QStringLiteral("Conflict of*")}, QDir::Files).size(), conflict ? 1 : 0);
        QCOMPARE(Listed(), listed);
    }

    // A message of the watch never opens over an alert, whose keys it would take: it waits
    // until the alert is answered.
    void noMessageOverAnAlert()
    {
        Options->DeleteAfterDismiss = false;
        bool insideAlert = false;
        QStringList errorsDuringAlert{QStringLiteral("not run")};
        VNTRSetAlertAnswerer([&](TReminderDlg &) {
            insideAlert = true;
            Reminders->Add(Parsed(Row("B", "Beta")));
            EditOutside(QStringLiteral("unreadable"), path_);
            main_->CheckDatabaseFile();
            errorsDuringAlert = fx_.Errors;
            return TReminderAlertAnswer::Dismiss();
        });
        main_->Scan(false, ComposeDateTime(EncodeDate(2024, 3, 5), EncodeTime(9, 5)));
        VNTRSetAlertAnswerer({});
        QVERIFY(insideAlert);
        QCOMPARE(errorsDuringAlert, QStringList());
        QVERIFY(!main_->FileNotice().isEmpty());
        QCOMPARE(fx_.Errors, QStringList{Changed});
        // Both changes are in the file: the new reminder and the dismissal.
        TReminders back(path_);
        back.Load();
        QCOMPARE(back.MainRowCount(), 2);
        TReminder a;
        back.ReadMainRow(0, a);
        QVERIFY(!a.Active);
    }

    // The watcher fires for our own saves too: they are never taken for outside edits.
    void ownSavesNotReported()
    {
        for (const QByteArray &id : {QByteArray("B"), QByteArray("D")}) {
            Reminders->Add(Parsed(Row(id, "mine " + id)));
            main_->CommitAndRefresh();
            main_->CheckDatabaseFile();
        }
        QCOMPARE(Listed(), (QStringList{"Alpha", "mine B", "mine D"}));
        QVERIFY(fx_.Errors.isEmpty());
        QVERIFY(!QFile::exists(Copy()));
        QVERIFY(!Reminders->Modified());
    }

    // The watcher's notice starts the settle timer, whose end runs the check; the file and its
    // folder stay watched.
    void watcherRunsTheCheck()
    {
        auto *watcher = main_->findChild<QFileSystemWatcher *>(QStringLiteral("fswDatabase"));
        auto *settle = main_->findChild<QTimer *>(QStringLiteral("tDatabaseSettle"));
        QVERIFY(watcher && settle);
        QVERIFY(watcher->files().contains(path_));
        QVERIFY(watcher->directories().contains(fx_.Folder()));
        QVERIFY(EditOutside(QStringLiteral("rewritten"), path_));
        QVERIFY(QMetaObject::invokeMethod(main_.get(), "fswDatabaseChanged"));
        QVERIFY(settle->isActive() && settle->isSingleShot());
        settle->start(0);
        QCoreApplication::processEvents();
        QCOMPARE(Listed(), (QStringList{"Alpha", "Gamma"}));
        QVERIFY(watcher->files().contains(path_));
    }

    // The final save of the program meets an outside edit too.
    void shutDown_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("ours");
        QTest::addColumn<bool>("conflict");
        QTest::newRow("rewritten") << "rewritten" << false << false;
        QTest::newRow("rewritten, ours") << "rewritten" << true << false;
        QTest::newRow("unreadable") << "unreadable" << false << true;
    }
    void shutDown()
    {
        QFETCH(QString, edit);
        QFETCH(bool, ours);
        QFETCH(bool, conflict);
        QVERIFY(EditOutside(edit, path_));
        const QByteArray onDisk = Read(path_);
        if (ours)
            Reminders->Add(Parsed(Row("B", "Beta")));
        const TRaised r = Catch([] { ShutDown(); });
        QVERIFY(!Reminders);
        QCOMPARE(r.Raised, conflict);
        QCOMPARE(QFile::exists(Copy()), conflict);
        if (!conflict) {
            TReminders back(path_);
            back.Load();
            QCOMPARE(back.MainRowCount(), ours ? 3 : 2); // theirs, merged with ours
            if (!ours)
                QCOMPARE(Read(path_), onDisk); // theirs stays exactly as written
            return;
        }
        QCOMPARE(r.Message, Changed);
        QCOMPARE(r.Severity, 1);
        QCOMPARE(Read(Copy()), onDisk);
        TReminders back(path_);
        back.Load();
        QCOMPARE(back.MainRowCount(), ours ? 2 : 1);
    }
};

VENTARO_TEST_MAIN(TestFrmMainWatch, QApplication)
#include "tst_frmMainWatch.moc"
