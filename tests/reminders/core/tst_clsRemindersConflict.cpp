// Outside edits of the database file: what another program wrote is taken in when nothing of
// ours is unsaved, and otherwise kept beside the file when ours is written; never lost.
#include "TestEnv.h"
#include "TestFiles.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsReminders.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

namespace {

const QByteArray H = "KESTO 2.0\r\n\r\n";

QByteArray Row(const QByteArray &id, const QByteArray &message)
{
    return "{" + id + "};5/3/2030;9:5;" + message
           + ";TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;5/3/2030;TRUE;5/3/2030;FALSE;TRUE;\r\n";
}

// A dismissed occurrence of series `id` on 6 March 2030.
QByteArray Exclusion(const QByteArray &id, const QByteArray &message)
{
    return "{" + id + "};6/3/2030;9:5;" + message
           + ";TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;30/12/1899;FALSE;30/12/1899;TRUE;FALSE;\r\n";
}

TReminder Parsed(const QByteArray &line)
{
    TReminders codec{QString()};
    TReminder r;
    codec.ParseLine(r, QString::fromLatin1(line.trimmed()), false);
    return r;
}

QStringList Messages(const TReminders &store)
{
    QStringList messages;
    TReminder r;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, r);
        messages << r.ReminderMessage;
    }
    return messages;
}

bool ReplaceByRename(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".part");
    if (!Write(temporary, bytes))
        return false;
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(temporary).toStdString(), QFile::encodeName(path).toStdString(), error);
    return !error;
}

// What another program does to the file. Returns false when the edit itself failed.
bool EditOutside(const QString &edit, const QString &path)
{
    const QByteArray theirs = H + Row("A", "Alpha") + Row("C", "Gamma");
    if (edit == QLatin1String("none"))
        return true;
    if (edit == QLatin1String("content") || edit == QLatin1String("created"))
        return Write(path, theirs);
    if (edit == QLatin1String("same size"))
        return Write(path, QByteArray(Read(path)).replace("Alpha", "Alphb"));
    if (edit == QLatin1String("renamed"))
        return ReplaceByRename(path, theirs);
    if (edit == QLatin1String("same bytes renamed"))
        return ReplaceByRename(path, Read(path));
    if (edit == QLatin1String("garbage"))
        return Write(path, QByteArray("\x01\x02 not a database", 18));
    if (edit == QLatin1String("removed"))
        return QFile::remove(path);
    return false;
}

} // namespace

class TestClsRemindersConflict : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One outside edit, with or without a change of ours not yet saved, then the save of the
    // running program: rows added on different sides merge without a word.
    void saveOrMerge_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("ours");        // a change of ours waits to be saved
        QTest::addColumn<bool>("changed");     // the store sees the edit
        QTest::addColumn<bool>("tookIn");      // rows of theirs came in
        QTest::addColumn<bool>("conflict");    // the other version is kept beside ours
        QTest::addColumn<QStringList>("rows"); // the store's messages afterwards
        const QStringList loaded{QStringLiteral("Alpha")};
        const QStringList withOurs{QStringLiteral("Alpha"), QStringLiteral("Beta")};
        const QStringList theirs{QStringLiteral("Alpha"), QStringLiteral("Gamma")};
        const QStringList both{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};

        QTest::newRow("untouched") << "none" << false << false << false << false << loaded;
        QTest::newRow("untouched, ours") << "none" << true << false << false << false << withOurs;
        QTest::newRow("rewritten") << "content" << false << true << true << false << theirs;
        QTest::newRow("rewritten, ours") << "content" << true << true << true << false << both;
        QTest::newRow("same size") << "same size" << false << true << true << false << QStringList{"Alphb"};
        QTest::newRow("same size, ours") << "same size" << true << true << true << false << QStringList{"Alphb", "Beta"};
        QTest::newRow("replaced by rename") << "renamed" << false << true << true << false << theirs;
        QTest::newRow("replaced by rename, ours") << "renamed" << true << true << true << false << both;
        QTest::newRow("same bytes put in place, ours") << "same bytes renamed" << true << false << false << false << withOurs;
        QTest::newRow("left unreadable") << "garbage" << false << true << false << true << loaded;
        QTest::newRow("left unreadable, ours") << "garbage" << true << true << false << true << withOurs;
        QTest::newRow("removed") << "removed" << false << true << false << false << loaded;
        QTest::newRow("removed, ours") << "removed" << true << true << false << false << withOurs;
        QTest::newRow("created after a load without file") << "created" << false << true << true << false << theirs;
        QTest::newRow("created, ours") << "created" << true << true << true << false << QStringList{"Beta", "Alpha", "Gamma"};
    }
    void saveOrMerge()
    {
        QFETCH(QString, edit);
        QFETCH(bool, ours);
        QFETCH(bool, changed);
        QFETCH(bool, tookIn);
        QFETCH(bool, conflict);
        QFETCH(QStringList, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const QString copy = dir.filePath(QStringLiteral("Conflict of Default.dat"));
        if (edit != QLatin1String("created"))
            QVERIFY(Write(path, H + Row("A", "Alpha")));
        TReminders store(path);
        store.Load();
        QVERIFY(!store.Modified());
        QVERIFY(!store.ChangedOnDisk());

        QVERIFY(EditOutside(edit, path));
        const QByteArray onDisk = Read(path);
        if (ours)
            store.Add(Parsed(Row("B", "Beta")));
        QCOMPARE(store.Modified(), ours);
        QCOMPARE(store.ChangedOnDisk(), changed);

        const TReminders::TOutsideChange change = store.SaveOrMerge();
        QCOMPARE(change.Seen, changed);
        QCOMPARE(change.TookIn, tookIn);
        QCOMPARE(change.Conflicts, 0);
        QCOMPARE(Messages(store), rows);
        QVERIFY(!store.Modified());
        QVERIFY(!store.ChangedOnDisk());
        // The file holds the store's rows: theirs taken in, merged, or ours written.
        TReminders back(path);
        back.Load();
        QCOMPARE(Messages(back), rows);
        if (tookIn && !ours)
            QCOMPARE(Read(path), onDisk);

        QCOMPARE(QFile::exists(copy), conflict);
        const std::exception_ptr warning = store.TakeConflictWarning();
        QCOMPARE(bool(warning), conflict);
        if (conflict) {
            QCOMPARE(Read(copy), onDisk); // their bytes exactly
            const TRaised r = Catch([&] { std::rethrow_exception(warning); });
            QCOMPARE(r.Message, QStringLiteral("The database file was changed by another program."));
            QCOMPARE(r.Severity, 1);
            QVERIFY2(r.Details.contains(path) && r.Details.contains(copy), qPrintable(r.Details));
            QVERIFY2(r.Details.contains(QLatin1String("could not be read")), qPrintable(r.Details));
        }
        QVERIFY(!store.TakeConflictWarning()); // told once
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("Conflict of")).size(), conflict ? 1 : 0);
    }

    // What arrives while the program runs is taken in only when whole. A file cut short or
    // damaged is kept beside ours, never loaded, and never copied over the backup; a file cut
    // at a line end is whole, and its missing rows count as removals, kept in a snapshot.
    void cutShort_data()
    {
        QTest::addColumn<QByteArray>("theirs");
        QTest::addColumn<int>("removed"); // -1: not whole
        const QByteArray good = H + Row("A", "Alpha") + Row("B", "Beta");
        QTest::newRow("emptied to 0 bytes") << QByteArray() << -1;
        QTest::newRow("header only, no line end") << QByteArray("KESTO 2.0") << -1;
        QTest::newRow("cut inside the last field") << good.left(good.size() - 4) << -1;
        QTest::newRow("boolean damaged") << QByteArray(good).replace("TRUE;\r\n{B", "TRXE;\r\n{B") << -1;
        QTest::newRow("recurrence code out of range") << QByteArray(good).replace("FALSE;0;0;0", "FALSE;7;0;0") << -1;
        QTest::newRow("date that does not exist") << QByteArray(good).replace("{B};5/3/2030", "{B};31/2/2030") << -1;
        QTest::newRow("a field too many") << QByteArray(good).replace("TRUE;\r\n{B", "TRUE;x;\r\n{B") << -1;
        QTest::newRow("unknown header") << QByteArray("KESTO 3.0\r\n\r\n") + Row("A", "Alpha") << -1;
        QTest::newRow("cut at a line end") << H + Row("A", "Alpha") << 1;
        QTest::newRow("cut after the header") << QByteArray("KESTO 2.0\r\n") << 2;
    }
    void cutShort()
    {
        QFETCH(QByteArray, theirs);
        QFETCH(int, removed);
        ZTPinClock(QDateTime(QDate(2026, 12, 9), QTime(10, 15, 30)));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const QString backup = dir.filePath(QStringLiteral("Backup of Default.dat"));
        QVERIFY(Write(path, H + Row("A", "Alpha") + Row("B", "Beta")));
        TReminders store(path);
        store.Load();
        store.Save();
        const QByteArray before = Read(path);
        QCOMPARE(Read(backup), before);

        QVERIFY(Write(path, theirs));
        const TReminders::TOutsideChange change = store.SaveOrMerge();
        QVERIFY(change.Seen);
        QCOMPARE(change.Unreadable, removed < 0);
        if (removed < 0) {
            QCOMPARE(Messages(store), (QStringList{"Alpha", "Beta"}));
            QCOMPARE(Read(path), before);
            QCOMPARE(Read(dir.filePath(QStringLiteral("Conflict of Default.dat"))), theirs);
            QCOMPARE(Read(backup), before); // the damaged file never goes over the backup
            QVERIFY(!change.Reason.isEmpty());
            const TRaised r = Catch([&] { std::rethrow_exception(store.TakeConflictWarning()); });
            QVERIFY2(r.Details.contains(change.Reason), qPrintable(r.Details));
        } else {
            QCOMPARE(change.Removed, removed);
            QCOMPARE(store.MainRowCount(), 2 - removed);
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Conflict of Default.dat"))));
            // The snapshot taken just before holds every removed row.
            QVERIFY2(change.Snapshot.startsWith(dir.filePath(QStringLiteral("History/Default 2026-12-09 10.15.30 "))),
                     qPrintable(change.Snapshot));
            QCOMPARE(Read(change.Snapshot), before);
        }
        ZTResetClock();
    }

    // Three-way merge by row: base = as loaded, then one edit on each side.
    void merge_data()
    {
        QTest::addColumn<QByteArray>("theirs");
        QTest::addColumn<QString>("ours"); // the change made here, see the test
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("exclusions");
        QTest::addColumn<int>("conflicts");
        const QByteArray base = H + Row("A", "Alpha") + Row("B", "Beta");
        QTest::newRow("added there, added here")
            << base + Row("C", "Gamma") << "add D" << QStringList{"Alpha", "Beta", "Delta", "Gamma"} << 0 << 0;
        QTest::newRow("changed there, other changed here")
            << H + Row("A", "Alpha2") + Row("B", "Beta") << "change B" << QStringList{"Alpha2", "Beta here"} << 0 << 0;
        QTest::newRow("removed there, other changed here")
            << H + Row("B", "Beta") << "change B" << QStringList{"Beta here"} << 0 << 0;
        QTest::newRow("changed there, removed here")
            << H + Row("A", "Alpha") + Row("B", "Beta2") << "remove A" << QStringList{"Beta2"} << 0 << 0;
        QTest::newRow("same change on both sides")
            << H + Row("A", "Alpha") + Row("B", "Beta here") << "change B" << QStringList{"Alpha", "Beta here"} << 0 << 0;
        QTest::newRow("changed on both sides differently")
            << H + Row("A", "Alpha") + Row("B", "Beta there") << "change B" << QStringList{"Alpha", "Beta here"} << 0 << 1;
        QTest::newRow("changed here, removed there")
            << H + Row("A", "Alpha") << "change B" << QStringList{"Alpha", "Beta here"} << 0 << 1;
        QTest::newRow("removed here, changed there")
            << H + Row("A", "Alpha") + Row("B", "Beta there") << "remove B" << QStringList{"Alpha"} << 0 << 1;
        QTest::newRow("exclusion there, series changed here")
            << base + Exclusion("B", "Beta") << "change B" << QStringList{"Alpha", "Beta here"} << 1 << 0;
        QTest::newRow("series changed there, exclusion here")
            << H + Row("A", "Alpha") + Row("B", "Beta there") << "exclude B" << QStringList{"Alpha", "Beta there"} << 1 << 0;
    }
    void merge()
    {
        QFETCH(QByteArray, theirs);
        QFETCH(QString, ours);
        QFETCH(QStringList, rows);
        QFETCH(int, exclusions);
        QFETCH(int, conflicts);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        QVERIFY(Write(path, H + Row("A", "Alpha") + Row("B", "Beta")));
        TReminders store(path);
        store.Load();
        QVERIFY(ReplaceByRename(path, theirs));
        if (ours == QLatin1String("add D"))
            store.Add(Parsed(Row("D", "Delta")));
        else if (ours == QLatin1String("change B"))
            store.UpdateSeries(Parsed(Row("B", "Beta here")));
        else if (ours == QLatin1String("remove A"))
            store.Delete(Parsed(Row("A", "x")));
        else if (ours == QLatin1String("remove B"))
            store.Delete(Parsed(Row("B", "x")));
        else if (ours == QLatin1String("exclude B"))
            store.AddExclusion(Parsed(Exclusion("B", "Beta")));

        const TReminders::TOutsideChange change = store.SaveOrMerge();
        QCOMPARE(change.Conflicts, conflicts);
        QCOMPARE(Messages(store), rows);
        QCOMPARE(store.ExclusionRowCount(), exclusions);
        // An exclusion follows its series' message, whichever side changed the series.
        TReminder row;
        for (int i = 0; i < store.ExclusionRowCount(); ++i) {
            store.ReadExclusionRow(i, row);
            QCOMPARE(row.ReminderMessage, rows.last());
        }
        TReminders back(path);
        back.Load();
        QCOMPARE(Messages(back), rows);
        QCOMPARE(back.ExclusionRowCount(), exclusions);
        QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("Conflict of Default.dat"))), conflicts > 0);
        if (conflicts > 0)
            QCOMPARE(Read(dir.filePath(QStringLiteral("Conflict of Default.dat"))), theirs);
        QCOMPARE(bool(store.TakeConflictWarning()), conflicts > 0);
    }

    // One snapshot per day that had a change (the state before its first save), one before each
    // outside change, none older than 30 days.
    void snapshots()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const QString history = dir.filePath(QStringLiteral("History/"));
        QVERIFY(QDir().mkpath(history));
        for (const char *old :
             {"Default 2026-11-08.dat", "Default 2026-11-10.dat", "Default 2026-11-08 09.00.00 before an outside change.dat",
              "Other 2020-01-01.dat", "Default notes.txt"})
            QVERIFY(Write(history + QLatin1String(old), "old"));
        QVERIFY(Write(path, H + Row("A", "Alpha")));
        const QByteArray first = Read(path);
        TReminders store(path);
        store.Load();

        ZTPinClock(QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
        store.Add(Parsed(Row("B", "Beta")));
        store.Save();
        store.Add(Parsed(Row("C", "Gamma")));
        store.Save(); // the same day: the day's snapshot stays the state before the first save
        QCOMPARE(Read(history + QStringLiteral("Default 2026-12-09.dat")), first);

        ZTPinClock(QDateTime(QDate(2026, 12, 10), QTime(8, 0)));
        const QByteArray third = Read(path);
        store.Add(Parsed(Row("D", "Delta")));
        store.Save();
        QCOMPARE(Read(history + QStringLiteral("Default 2026-12-10.dat")), third);

        const QStringList left = QDir(history).entryList(QDir::Files, QDir::Name);
        // 30 days back from 10 December: 10 November is kept, 8 November is gone.
        QCOMPARE(left, (QStringList{"Default 2026-11-10.dat", "Default 2026-12-09.dat", "Default 2026-12-10.dat",
                                    "Default notes.txt", "Other 2020-01-01.dat"}));
        ZTResetClock();
    }
    // Conflict copies already there are never overwritten: the next free name is taken, and
    // one warning names every copy kept since the last report.
    void conflictNames_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first") << 0 << "Conflict of My file.dat";
        QTest::newRow("second") << 1 << "Conflict of My file.dat (2)";
        QTest::newRow("third") << 2 << "Conflict of My file.dat (3)";
    }
    void conflictNames()
    {
        QFETCH(int, existing);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("My file.dat"));
        const QString base = dir.filePath(QStringLiteral("Conflict of My file.dat"));
        for (int n = 1; n <= existing; ++n)
            QVERIFY(Write(n == 1 ? base : base + QStringLiteral(" (%1)").arg(n), "older " + QByteArray::number(n)));
        QVERIFY(Write(path, H));
        TReminders store(path);
        store.Load();
        for (const QByteArray &id : {QByteArray("X"), QByteArray("Y")}) {
            QVERIFY(Write(path, H + Row(id, "theirs")));
            store.Add(Parsed(Row(id + "1", "ours")));
            store.Save();
        }
        for (int n = 1; n <= existing; ++n)
            QCOMPARE(Read(n == 1 ? base : base + QStringLiteral(" (%1)").arg(n)), "older " + QByteArray::number(n));
        QCOMPARE(Read(dir.filePath(expected)), H + Row("X", "theirs"));
        const TRaised r = Catch([&] { std::rethrow_exception(store.TakeConflictWarning()); });
        QVERIFY2(r.Details.contains(dir.filePath(expected)), qPrintable(r.Details));
        QCOMPARE(r.Details.count(QLatin1String("Conflict of")), 2);
        QCOMPARE(Messages(store), (QStringList{"ours", "ours"}));
    }

    // Every change of the tables counts as ours until the next completed save; queries and
    // refused changes do not.
    void changesAreTracked()
    {
        QTemporaryDir dir;
        const TReminder series = Parsed(Row("S", "series"));
        TReminder dismissed = series;
        dismissed.Active = false;
        TReminderList list;
        const std::vector<std::pair<const char *, std::function<void(TReminders &)>>> changes{
            {"Add", [&](TReminders &s) { s.Add(series); }},
            {"AddExclusion", [&](TReminders &s) { s.AddExclusion(series); }},
            {"Update", [&](TReminders &s) { s.Update(series); }},
            {"UpdateSeries", [&](TReminders &s) { s.UpdateSeries(series); }},
            {"Delete", [&](TReminders &s) { s.Delete(series); }},
            {"DeleteSeries", [&](TReminders &s) { s.DeleteSeries(series); }},
            {"Clear", [&](TReminders &s) { s.Clear(); }},
            {"ActivateExclusions", [&](TReminders &s) { s.ActivateExclusions(series); }},
            {"-GetAll", [&](TReminders &s) { s.GetAll(list); }},
            {"-BuildMonthMarks", [&](TReminders &s) { s.BuildMonthMarks(1, 47000, 47061); }},
            {"-ActivateExclusions again", [&](TReminders &s) { s.ActivateExclusions(series); }},
            {"-Update refused", [&](TReminders &s) { Catch([&] { s.Update(Parsed(Row("none", "x"))); }); }},
        };
        TReminders store(dir.filePath(QStringLiteral("Default.dat")));
        for (const auto &[name, change] : changes) {
            store.Clear();
            store.Add(series);
            store.AddExclusion(dismissed);
            if (QByteArray(name) == "-ActivateExclusions again")
                store.ActivateExclusions(series);
            store.Save();
            change(store);
            QVERIFY2(store.Modified() == (name[0] != '-'), name);
        }
    }
};

VENTARO_TEST_MAIN(TestClsRemindersConflict, QCoreApplication)
#include "tst_clsRemindersConflict.moc"
