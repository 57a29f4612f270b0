#include "TestEnv.h"
#include "TestFiles.h"
#include "ZTExceptions.h"
#include "clsReminders.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QByteArray Header = "Date;Time;Reminder Message;Play Sound;Repeat Sound;Sound File;Run Program;Program Location;"
                          "Recurring;Recurrence Unit;Recurrence Daily Type;Recurrence Daily Every;Recurrence Weekly Every;"
                          "Recurrence Weekly Days;Recurrence Monthly Day;Recurrence Monthly Every;Recurrence Yearly Month;"
                          "Recurrence Yearly Day;Recurrence Start;Recurrence No End;Recurrence End By;Exclusion;";
const QByteArray Row = "5/3/2002;9:5;Hello;TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;5/3/2002;TRUE;5/3/2002;FALSE;TRUE;";
const QByteArray Series = "7/1/2026;18:45;Pay rent{$}now;FALSE;TRUE;/s{#}b.wav;TRUE;/bin/true;TRUE;3;0;0;0;0000000;31;2;0;0;"
                          "7/1/2026;FALSE;7/1/2027;FALSE;TRUE;";
const QByteArray Excl = "31/3/2026;18:45;Pay rent;FALSE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;30/12/1899;FALSE;"
                        "30/12/1899;TRUE;FALSE;";

TReminder Parsed(TReminders &store, const QByteArray &row)
{
    TReminder r = *TReminder::Create();
    store.ParseLine(r, QString::fromUtf8(row), true);
    return r;
}

} // namespace

class TestClsRemindersCsv : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Two one-time reminders and a series with one exclusion: four rows, three counted,
    // and back in with fresh identities.
    void exportThenImport()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("out.csv"));
        TReminders store(QString{});
        const QByteArray accented = QByteArray(Row).replace("Hello", "Gr\xc3\xb6\xc3\x9f"
                                                                     "e{#} \xe6\x8f\x90\xe9\x86\x92");
        store.AddExclusion(Parsed(store, Excl));
        store.Add(Parsed(store, Row));
        store.Add(Parsed(store, Series));
        store.Add(Parsed(store, accented));
        const TRaised exported = Catch([&] { store.ExportCsv(csv); });
        QCOMPARE(exported.Message, QStringLiteral("3 reminders exported."));
        QCOMPARE(exported.Severity, 2);
        QCOMPARE(exported.Details, QString());
        QCOMPARE(Read(csv), Header + "\r\n" + Row + "\r\n" + Series + "\r\n" + accented + "\r\n" + Excl + "\r\n");

        TReminders imported(QString{});
        const TRaised result = Catch([&] { imported.ImportCsv(csv); });
        QCOMPARE(result.Message, QStringLiteral("3 reminders imported."));
        QCOMPARE(result.Severity, 2);
        QCOMPARE(imported.ExclusionRowCount(), 1);
        Catch([&] { imported.ImportCsv(csv); }); // a second import adds everything again
        QCOMPARE(imported.MainRowCount(), 6);
        QSet<QString> ids;
        TReminder r;
        for (int i = 0; i < 6; ++i) {
            imported.ReadMainRow(i, r);
            ids.insert(r.Id);
            QCOMPARE(imported.FormatLine(r, false).toUtf8(), QList<QByteArray>({Row, Series, accented}).at(i % 3));
        }
        imported.ReadExclusionRow(0, r);
        ids.insert(r.Id);
        QCOMPARE(ids.size(), 7);
        // The exclusion no longer belongs to any series.
        imported.ReadMainRow(1, r);
        QVERIFY(!imported.IsExcluded(r, false, r.Time, EncodeDate(2026, 3, 31)));
    }

    void exportOutcomes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mainRows");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("severity");
        const QString failed = QStringLiteral("There was and error while exporting reminders to '%1'.");
        QTest::newRow("only exclusions") << "out.csv" << false << "There are no reminders to export." << 2;
        QTest::newRow("over a read-only file") << "old.csv" << true << "1 reminders exported." << 2;
        QTest::newRow("folder missing") << "missing/out.csv" << true << failed.arg(QStringLiteral("out.csv")) << 1;
        QTest::newRow("path is a folder") << "folder.csv" << true << failed.arg(QStringLiteral("folder.csv")) << 1;
    }
    void exportOutcomes()
    {
        QFETCH(QString, name);
        QFETCH(bool, mainRows);
        QFETCH(QString, message);
        QFETCH(int, severity);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.csv")));
        QVERIFY(Write(dir.filePath(QStringLiteral("old.csv")), "old"));
        QFile::setPermissions(dir.filePath(QStringLiteral("old.csv")), QFileDevice::ReadOwner);
        TReminders store(QString{});
        if (mainRows)
            store.Add(Parsed(store, Row));
        store.AddExclusion(Parsed(store, Excl));
        const TRaised r = Catch([&] { store.ExportCsv(dir.filePath(name)); });
        QCOMPARE(r.Message, message);
        QCOMPARE(r.Severity, severity);
        QCOMPARE(r.Details.isEmpty(), severity == 2);
        if (severity == 2)
            QCOMPARE(Read(dir.filePath(name)).startsWith(Header), mainRows);
    }

    // Every outcome of an import: the notice or failure, and the rows it added (none when any row
    // of the file is bad, the last one included).
    void importOutcomes_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": no file; "/": a folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details"); // "*": the platform's wording
        QTest::addColumn<int>("severity");
        QTest::addColumn<int>("mainRows");
        QTest::addColumn<int>("exclusionRows");
        const QString definition = QStringLiteral("Invalid reminder definition in database file.");
        const QString count = QStringLiteral("Incorrect number of fields.");
        const QString header = QStringLiteral("Invalid CSV header.");
        const QString foreign = QStringLiteral("This file was not created using Ventaro! or a compatible CSV editor.");
        const QString wrapped = QStringLiteral("There was an error while importing reminders from 'in.csv'.");
        const QString missing = QStringLiteral("File '%1' not found.");
        const QByteArray h = Header + "\r\n";

        QTest::newRow("no file") << QByteArray("-") << "File not found." << missing << 1 << 0 << 0;
        QTest::newRow("a folder") << QByteArray("/") << "File not found." << missing << 1 << 0 << 0;
        QTest::newRow("empty file") << QByteArray() << "There are no reminders to import."
                                    << "" << 1 << 0 << 0;
        QTest::newRow("header only") << Header << "0 reminders imported."
                                     << "" << 2 << 0 << 0;
        QTest::newRow("rows, LF ends") << Header + "\n" + Row + "\n" + Excl + "\n" + Row << "2 reminders imported."
                                       << "" << 2 << 2 << 1;
        QTest::newRow("header naming Active") << Header + "Active;\r\n" + Row << header << foreign << 1 << 0 << 0;
        QTest::newRow("header in lower case") << Header.toLower() + "\r\n" + Row << header << foreign << 1 << 0 << 0;
        QTest::newRow("database file") << "KESTO 2.0\r\n\r\n{X};" + Row << header << foreign << 1 << 0 << 0;
        QTest::newRow("empty line after rows") << h + Row + "\r\n" + Row + "\r\n\r\n" << definition << count << 1 << 0 << 0;
        QTest::newRow("22 fields") << h + Row + "\r\n" + Row.left(Row.size() - 5) + "\r\n" + Row << definition << count << 1 << 0
                                   << 0;
        QTest::newRow("bad last row after an exclusion")
            << h + Row + "\r\n" + Excl + "\r\n" + Row.left(Row.size() - 5) << definition << count << 1 << 0 << 0;
        QTest::newRow("date with dashes") << h + Row + "\r\n" + QByteArray(Row).replace("5/3/2002;9", "5-3-2002;9")
                                          << "Invalid date string."
                                          << "" << 1 << 0 << 0;
        QTest::newRow("date not a number") << h + QByteArray(Row).replace("5/3/2002;9", "x/3/2002;9") << wrapped << "*" << 1 << 0
                                           << 0;
        QTest::newRow("time out of range") << h + QByteArray(Row).replace(";9:5;", ";24:0;") << wrapped << "*" << 1 << 0 << 0;
    }
    void importOutcomes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(int, severity);
        QFETCH(int, mainRows);
        QFETCH(int, exclusionRows);
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(content == "-" || (content == "/" ? QDir(dir.path()).mkdir(QStringLiteral("in.csv")) : Write(csv, content)));
        TReminders store(QString{});
        const TRaised r = Catch([&] { store.ImportCsv(csv); });
        QCOMPARE(r.Message, message);
        QCOMPARE(r.Severity, severity);
        if (details == QLatin1String("*"))
            QVERIFY(!r.Details.isEmpty());
        else
            QCOMPARE(r.Details, details.contains(QLatin1String("%1")) ? details.arg(csv) : details);
        QCOMPARE(store.MainRowCount(), mainRows);
        QCOMPARE(store.ExclusionRowCount(), exclusionRows);
    }

    // Cut texts, lower-case booleans, empty range dates, and a file in the Windows code page.
    void importedFields()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(Write(csv, Header + "\r\n" + QByteArray(Row).replace("Hello", QByteArray(300, 'm')) + "\r\n"
                               + QByteArray(Row).replace("TRUE;", "true;") + "\r\n"
                               + QByteArray(Row).replace("5/3/2002;TRUE;5/3/2002;", ";TRUE;;").replace("Hello", "Caf\xe9 \x80")));
        TReminders store(QString{});
        QCOMPARE(Catch([&] { store.ImportCsv(csv); }).Message, QStringLiteral("3 reminders imported."));
        TReminder r;
        store.ReadMainRow(0, r);
        QCOMPARE(r.ReminderMessage, QString(255, QLatin1Char('m')));
        store.ReadMainRow(1, r);
        QVERIFY(!r.Active && !r.PlaySound && !r.RecurrenceNoEnd);
        store.ReadMainRow(2, r);
        QCOMPARE(r.ReminderMessage, QString::fromUtf8("Café €"));
        QVERIFY(r.RecurrenceStart == r.Date && r.RecurrenceEndBy == r.Date);
    }

    // The Backup command: a byte-for-byte copy of the file as last saved; a copy that cannot
    // be made says so and leaves an existing target alone.
    void copyDatabase_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("copied");
        QTest::newRow("over a read-only file") << true << "copy.jbb" << true;
        QTest::newRow("onto the database itself") << true << "./Default.dat" << true;
        QTest::newRow("no database file") << false << "copy.jbb" << false;
        QTest::newRow("target folder missing") << true << "missing/copy.jbb" << false;
        QTest::newRow("target is a folder") << true << "folder.jbb" << false;
    }
    void copyDatabase()
    {
        QFETCH(bool, saved);
        QFETCH(QString, target);
        QFETCH(bool, copied);
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("Default.dat"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.jbb")));
        QVERIFY(Write(dir.filePath(QStringLiteral("copy.jbb")), "older"));
        QFile::setPermissions(dir.filePath(QStringLiteral("copy.jbb")), QFileDevice::ReadOwner);
        TReminders store(database);
        store.Add(Parsed(store, Row));
        if (saved)
            store.Save();
        store.Add(Parsed(store, Series)); // not saved: the copy is the file, not the tables
        const TRaised r = Catch([&] { store.CopyDatabaseTo(dir.filePath(target)); });
        QCOMPARE(r.Raised, !copied);
        if (copied) {
            QCOMPARE(Read(dir.filePath(target)), Read(database));
            QCOMPARE(Read(database).count("\r\n"), 3);
        } else {
            QCOMPARE(r.Message, QStringLiteral("Error copying database file to '%1'.").arg(dir.filePath(target)));
            QCOMPARE(r.Severity, 1);
            QVERIFY(!r.Details.isEmpty());
            QCOMPARE(Read(dir.filePath(QStringLiteral("copy.jbb"))), QByteArray("older"));
        }
    }
};

VENTARO_TEST_MAIN(TestClsRemindersCsv, QCoreApplication)
#include "tst_clsRemindersCsv.moc"
