#include "TestEnv.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "clsRemindersIcs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {

// The fixture: a one-time reminder, a dismissed one, a series of every unit and rule, and a
// dismissed (DAILY 21/1) and a removed (WEEK 19/1) occurrence. "Now" is mostly Wednesday 21
// January 2026. Fields: Id, Date, Time, message, sound, repeat, sound file, run, program,
// Recurring, unit, daily type, daily N, weekly N, weekdays, monthly day, monthly N, yearly month,
// yearly day, start, no end, end, Exclusion, Active.
QByteArray FixtureFile()
{
    const char *rows[] = {
        "ONCE;21/1/2026;10:0;Once;FALSE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;21/1/2026;TRUE;21/1/2026;FALSE;TRUE;",
        "DISM;20/1/2026;8:0;Gone;FALSE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;20/1/2026;TRUE;20/1/2026;FALSE;FALSE;",
        "DAILY;19/1/2026;9:0;Every 2 days;FALSE;FALSE;;FALSE;;TRUE;1;1;2;0;0000000;0;0;0;0;19/1/2026;FALSE;25/1/2026;FALSE;TRUE;",
        "WORK;15/1/2026;10:0;Work days;FALSE;FALSE;;FALSE;;TRUE;1;2;0;0;0000000;0;0;0;0;15/1/2026;FALSE;31/1/2026;FALSE;TRUE;",
        "WEEK;7/1/2026;9:0;Mon+Wed;FALSE;FALSE;;FALSE;;TRUE;2;0;0;2;1010000;0;0;0;0;7/1/2026;FALSE;4/2/2026;FALSE;TRUE;",
        "MONTH;15/1/2026;12:0;Day 31;FALSE;FALSE;;FALSE;;TRUE;3;0;0;0;0000000;31;1;0;0;15/1/2026;TRUE;30/12/1899;FALSE;TRUE;",
        "YEAR;1/1/2026;8:0;29 Feb;FALSE;FALSE;;FALSE;;TRUE;4;0;0;0;0000000;0;0;2;29;1/1/2026;TRUE;30/12/1899;FALSE;TRUE;",
        "DAILY;21/1/2026;9:0;Every 2 "
        "days;FALSE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;30/12/1899;FALSE;30/12/1899;TRUE;FALSE;",
        "WEEK;19/1/2026;9:0;Mon+Wed;FALSE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;30/12/1899;FALSE;30/12/1899;TRUE;TRUE;",
    };
    QByteArray text = "KESTO 2.0\r\n\r\n";
    for (const char *row : rows)
        text += QByteArray(row) + "\r\n";
    return text;
}

struct TResult {
    int Exit = -1;
    QString Out;
    QString Err;
};

} // namespace

class TestVentaroQuery : public QObject {
    Q_OBJECT

    TResult RunQuery(QStringList args)
    {
        for (QString &a : args)
            a.replace(QStringLiteral("@DB"), dbPath_);
        const QString program = QStringLiteral(VENTARO_BIN_DIR "/ventaro-query");
        if (!QFile::exists(program))
            qFatal("%s is missing: build the ventaro-query target first", qPrintable(program));
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(60000))
            qFatal("ventaro-query did not finish");
        TResult result;
        result.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.Out = QString::fromUtf8(process.readAllStandardOutput());
        result.Err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // The database folder holds exactly the file as written: nothing saved, no backup made.
    void VerifyUntouched()
    {
        QFile file(dbPath_);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), dbBytes_);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList({QStringLiteral("reminders.dat")}));
    }

    QTemporaryDir dir_;
    QString dbPath_;
    QByteArray dbBytes_;

private Q_SLOTS:
    void init()
    {
        dbPath_ = dir_.filePath(QStringLiteral("reminders.dat"));
        dbBytes_ = FixtureFile();
        QFile::remove(dbPath_);
        QFile file(dbPath_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dbBytes_);
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        const QString now = QStringLiteral("2026-01-21 09:30");
        const auto with = [&](const QString &moment, const QStringList &tail) {
            return QStringList({QStringLiteral("--db"), QStringLiteral("@DB"), QStringLiteral("--now"), moment}) + tail;
        };

        QTest::newRow("next") << with(now, {"next"})
                              << "ONCE\t2026-01-21\nDISM\t0\nDAILY\t2026-01-23\nWORK\t2026-01-21\n"
                                 "WEEK\t2026-02-02\nMONTH\t2026-01-31\nYEAR\t2026-02-28\n";
        QTest::newRow("next after every end") << with("2026-02-05 00:00", {"next"})
                                              << "ONCE\t0\nDISM\t0\nDAILY\t0\nWORK\t0\nWEEK\t0\n"
                                                 "MONTH\t2026-02-28\nYEAR\t2026-02-28\n";
        QTest::newRow("due at 09:00") << with("2026-01-21 09:00", {"due"}) << "WEEK\t2026-01-21\t09:00\n";
        QTest::newRow("due at 10:00") << with("2026-01-21 10:00", {"due"})
                                      << "ONCE\t2026-01-21\t10:00\nWORK\t2026-01-21\t10:00\n";
        QTest::newRow("due with catch-up")
            << with(now, {"due", "--catch-up"})
            << "DAILY\t2026-01-19\t09:00\nWORK\t2026-01-15\t10:00\nWORK\t2026-01-16\t10:00\n"
               "WORK\t2026-01-19\t10:00\nWORK\t2026-01-20\t10:00\nWEEK\t2026-01-07\t09:00\nWEEK\t2026-01-21\t09:00\n";
        QTest::newRow("due with catch-up, weekend work week")
            << with(now, {"--workdays", "0000011", "due", "--catch-up"})
            << "DAILY\t2026-01-19\t09:00\nWORK\t2026-01-17\t10:00\nWORK\t2026-01-18\t10:00\n"
               "WEEK\t2026-01-07\t09:00\nWEEK\t2026-01-21\t09:00\n";
        QTest::newRow("occurs, dismissed shown") << with(now, {"occurs", "2026-01-21"}) << "ONCE\nDAILY\nWORK\nWEEK\n";
        QTest::newRow("occurs, removed hidden") << with(now, {"occurs", "2026-01-19"}) << "DAILY\nWORK\n";
        QTest::newRow("occurs, dismissed one-time") << with(now, {"occurs", "2026-01-20"}) << "DISM\nWORK\n";
        QTest::newRow("occurs, none") << with(now, {"occurs", "2026-01-24"}) << "";
        QTest::newRow("marks over two chunks")
            << with(now, {"marks", "2026-01-25", "2026-04-30"})
            << "2026-01-25\n2026-01-26\n2026-01-27\n2026-01-28\n2026-01-29\n2026-01-30\n2026-01-31\n"
               "2026-02-02\n2026-02-04\n2026-02-28\n2026-03-31\n2026-04-30\n";
        QTest::newRow("marks, one day") << with(now, {"marks", "2026-01-19", "2026-01-19"}) << "2026-01-19\n";
        QTest::newRow("marks, no working day") << with(now, {"--workdays=0000000", "marks", "2026-01-26", "2026-01-30"}) << "";
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        const TResult result = RunQuery(args);
        QCOMPARE(result.Err, QString());
        QCOMPARE(result.Exit, 0);
        QCOMPARE(result.Out, expected);
        VerifyUntouched();
    }

    // Without --workdays the work week is the one stored in the user's options.
    void storedWorkWeek()
    {
        TVNTROptions options;
        options.WorkDays = QStringLiteral("0000110");
        options.SaveToRegistry();
        const TResult result = RunQuery({"--db", "@DB", "--now", "2026-01-19 00:00", "occurs", "2026-01-17"});
        options.WorkDays = QStringLiteral("1111100");
        options.SaveToRegistry();
        QCOMPARE(result.Exit, 0);
        QCOMPARE(result.Out, QStringLiteral("WORK\n"));
    }

    // The whole store as one calendar on standard output, which reads back to the same rows
    // (the program flag aside, which never comes in on from a file).
    void icsCalendar()
    {
        qputenv("TZ", "Europe/Lisbon");
        const TResult result = RunQuery({"--db", "@DB", "--workdays", "1111100", "ics"});
        QCOMPARE(result.Err, QString());
        QCOMPARE(result.Exit, 0);
        VerifyUntouched();
        const QByteArray ics = result.Out.toUtf8();
        QVERIFY(ics.startsWith("BEGIN:VCALENDAR\r\n"));
        QVERIFY(ics.contains("TZID:Europe/Lisbon\r\n"));
        QCOMPARE(ics.count("BEGIN:VEVENT"), 7);
        const TIcsReading reading = ReadIcs(ics, QStringLiteral("1111100"));
        QCOMPARE(reading.Skipped, QStringList());
        TReminders stored(dbPath_);
        stored.Load();
        TReminders back(QString{});
        for (const TIcsReminder &item : reading.Reminders) {
            back.Add(item.Row);
            for (const TReminder &x : item.Exclusions)
                back.AddExclusion(x);
        }
        const auto lines = [](TReminders &store) {
            QStringList out;
            TReminder row;
            for (int i = 0; i < store.MainRowCount(); ++i) {
                store.ReadMainRow(i, row);
                out << store.FormatLine(row, true);
            }
            for (int i = 0; i < store.ExclusionRowCount(); ++i) {
                store.ReadExclusionRow(i, row);
                out << store.FormatLine(row, true);
            }
            out.sort();
            return out;
        };
        QCOMPARE(lines(back), lines(stored));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        const QByteArray fixture = FixtureFile();
        const QStringList db = {"--db", "@DB"};
        const QString loadError = QStringLiteral("Error loading database file '@DB'.");

        QTest::newRow("unknown command") << fixture << db + QStringList{"list"} << "Unknown command 'list'."
                                         << "Run ventaro-query --help for the usage.";
        QTest::newRow("no database") << fixture << QStringList{"next"} << "No database file given (--db FILE)."
                                     << "Run ventaro-query --help for the usage.";
        QTest::newRow("date that does not exist")
            << fixture << db + QStringList{"occurs", "2026-02-30"} << "Invalid date '2026-02-30'."
            << "Dates are written YYYY-MM-DD.";
        for (const char *day : {"2026-1-21", "2026-01-211", "0000-01-01", "2026/01/21", "+026-01-21"})
            QTest::newRow(qPrintable(QStringLiteral("day %1").arg(QLatin1String(day))))
                << fixture << db + QStringList{"occurs", day} << QStringLiteral("Invalid date '%1'.").arg(QLatin1String(day))
                << "Dates are written YYYY-MM-DD.";
        for (const char *moment :
             {"2026-01-21 9:00", "2026-01-21 24:00", "2026-01-21T09:00", "2026-01-21 09:60", "2026-02-29 09:00"})
            QTest::newRow(qPrintable(QStringLiteral("now %1").arg(QLatin1String(moment))))
                << fixture << db + QStringList{"--now", moment, "next"}
                << QStringLiteral("Invalid date and time '%1'.").arg(QLatin1String(moment))
                << "The current moment is written \"YYYY-MM-DD HH:MM\".";
        QTest::newRow("work week of eight days")
            << fixture << db + QStringList{"--workdays", "11111000", "next"} << "Invalid work week '11111000'."
            << "The work week is up to seven characters 0 or 1, Monday first.";
        QTest::newRow("reversed range") << fixture << db + QStringList{"marks", "2026-02-01", "2026-01-01"}
                                        << "Invalid date range 2026-02-01 to 2026-01-01."
                                        << "The last day is before the first.";
        QTest::newRow("bad now") << fixture << db + QStringList{"--now", "2026-01-21", "next"}
                                 << "Invalid date and time '2026-01-21'."
                                 << "The current moment is written \"YYYY-MM-DD HH:MM\".";
        QTest::newRow("bad work week") << fixture << db + QStringList{"--workdays", "11111x0", "next"}
                                       << "Invalid work week '11111x0'."
                                       << "The work week is up to seven characters 0 or 1, Monday first.";
        QTest::newRow("missing file") << QByteArray() << db + QStringList{"next"} << loadError << "The file does not exist.";
        QTest::newRow("bad header") << QByteArray("KESTO 3.0\r\n\r\n") << db + QStringList{"next"} << loadError
                                    << "Invalid database file format.";
        QByteArray shortLine = fixture;
        shortLine.replace("TRUE;TRUE;\r\n", "TRUE;\r\n");
        QTest::newRow("line with 23 fields")
            << shortLine << db + QStringList{"next"} << loadError << "Invalid reminder definition in database file.";
    }

    void errors()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QFETCH(QString, details);
        dbBytes_ = file;
        QFile::remove(dbPath_);
        if (!file.isEmpty()) {
            QFile f(dbPath_);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        const TResult result = RunQuery(args);
        QCOMPARE(result.Exit, 1);
        QCOMPARE(result.Out, QString());
        QCOMPARE(result.Err,
                 QString(message + QLatin1Char('\n') + details + QLatin1Char('\n')).replace(QStringLiteral("@DB"), dbPath_));
        if (file.isEmpty())
            QVERIFY(QDir(dir_.path()).entryList(QDir::Files).isEmpty());
        else
            VerifyUntouched();
    }
};

VENTARO_TEST_MAIN(TestVentaroQuery, QCoreApplication)
#include "tst_ventaroQuery.moc"
