// Outside edits of the database file: what another program wrote is taken in when nothing of
// ours is unsaved, and otherwise kept beside the file when ours is written; never lost.
#include "TestEnv.h"
#include "TestFiles.h"
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
    return "{" + id + "};5/3/2030;9:5;" + message +
           ";TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;5/3/2030;TRUE;5/3/2030;FALSE;TRUE;\r\n";
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
    // running program.
    void saveOrReload_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("ours");        // a change of ours waits to be saved
        QTest::addColumn<bool>("changed");     // the store sees the edit
        QTest::addColumn<bool>("reloaded");    // the file is taken in
        QTest::addColumn<bool>("conflict");    // the other version is kept beside ours
        QTest::addColumn<QStringList>("rows"); // the store's messages afterwards
        const QStringList loaded{QStringLiteral("Alpha")};
        const QStringList withOurs{QStringLiteral("Alpha"), QStringLiteral("Beta")};
        const QStringList theirs{QStringLiteral("Alpha"), QStringLiteral("Gamma")};

        QTest::newRow("untouched") << "none" << false << false << false << false << loaded;
        QTest::newRow("untouched, ours") << "none" << true << false << false << false << withOurs;
        QTest::newRow("rewritten") << "content" << false << true << true << false << theirs;
        QTest::newRow("rewritten, ours") << "content" << true << true << false << true << withOurs;
        QTest::newRow("same size") << "same size" << false << true << true << false << QStringList{"Alphb"};
        QTest::newRow("same size, ours") << "same size" << true << true << false << true << withOurs;
        QTest::newRow("replaced by rename") << "renamed" << false << true << true << false << theirs;
        QTest::newRow("replaced by rename, ours") << "renamed" << true << true << false << true << withOurs;
        QTest::newRow("same bytes put in place, ours") << "same bytes renamed" << true << false << false << false << withOurs;
        QTest::newRow("left unreadable") << "garbage" << false << true << false << true << loaded;
        QTest::newRow("left unreadable, ours") << "garbage" << true << true << false << true << withOurs;
        QTest::newRow("removed") << "removed" << false << true << false << false << loaded;
        QTest::newRow("removed, ours") << "removed" << true << true << false << false << withOurs;
        QTest::newRow("created after a load without file") << "created" << false << true << true << false << theirs;
        QTest::newRow("created, ours") << "created" << true << true << false << true << QStringList{"Beta"};
    }
    void saveOrReload()
    {
        QFETCH(QString, edit);
        QFETCH(bool, ours);
        QFETCH(bool, changed);
        QFETCH(bool, reloaded);
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

        QCOMPARE(store.SaveOrReload(), reloaded);
        QCOMPARE(Messages(store), rows);
        QVERIFY(!store.Modified());
        QVERIFY(!store.ChangedOnDisk());
        // The file holds the store's rows: theirs taken in, or ours written.
        TReminders back(path);
        back.Load();
        QCOMPARE(Messages(back), rows);
        if (reloaded)
            QCOMPARE(Read(path), onDisk);

        QCOMPARE(QFile::exists(copy), conflict);
        const std::exception_ptr warning = store.TakeConflictWarning();
        QCOMPARE(bool(warning), conflict);
        if (conflict) {
            QCOMPARE(Read(copy), onDisk); // their bytes exactly, readable or not
            const TRaised r = Catch([&] { std::rethrow_exception(warning); });
            QCOMPARE(r.Message, QStringLiteral("The database file was changed by another program."));
            QCOMPARE(r.Severity, 1);
            QVERIFY2(r.Details.contains(path) && r.Details.contains(copy), qPrintable(r.Details));
            // Why it was not taken in, when that was tried.
            QCOMPARE(r.Details.contains(QLatin1String("could not be read")), edit == QLatin1String("garbage") && !ours);
        }
        QVERIFY(!store.TakeConflictWarning()); // told once
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).filter(QStringLiteral("Conflict of")).size(), conflict ? 1 : 0);
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
