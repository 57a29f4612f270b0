#include "TestEnv.h"
#include "TestFiles.h"
#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QString Id1 = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QByteArray Good = "{11111111-2222-3333-4444-555555555555};5/3/2002;9:5;Hello;TRUE;FALSE;;FALSE;;FALSE;"
                        "0;0;0;0;0000000;0;0;0;0;5/3/2002;TRUE;5/3/2002;FALSE;TRUE;";
// A dismissed occurrence on 12 August 2026 at 09:30 of a series "Pay rent".
const QByteArray Excl = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE};12/8/2026;9:30;Pay rent;FALSE;FALSE;;FALSE;;"
                        "FALSE;0;0;0;0;0000000;0;0;0;0;30/12/1899;FALSE;30/12/1899;TRUE;FALSE;";
const QByteArray H = "KESTO 2.0\r\n\r\n";

TReminder Parsed(const QByteArray &line)
{
    TReminders store(QString{});
    TReminder r;
    store.ParseLine(r, QString::fromUtf8(line), false);
    return r;
}

} // namespace

class TestClsRemindersFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Texts come back as the stored form allows: escapes, trimmed ends, any script.
    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("line feed") << "a\nb"
                                   << "a\r\nb";
        QTest::newRow("lone cr dropped") << "a\rb"
                                         << "ab";
        QTest::newRow("semicolons") << "a;b;;c;"
                                    << "a;b;;c;";
        QTest::newRow("typed escapes") << "x{#}y{$}z"
                                       << "x;y\r\nz";
        QTest::newRow("blanks at the ends lost") << "  \tpadded  "
                                                 << "padded";
        QTest::newRow("line breaks at the ends kept") << "\r\nmid\r\n"
                                                      << "\r\nmid\r\n";
        QTest::newRow("accents and non-Latin")
            << QString::fromUtf8("Ação às três; напоминание 提醒 🎉") << QString::fromUtf8("Ação às três; напоминание 提醒 🎉");
        QTest::newRow("255 characters") << QString(255, QChar(0x00E9)) << QString(255, QChar(0x00E9));
    }
    void textRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        TReminders store(path);
        TReminder r = Parsed(Good);
        r.ReminderMessage = r.SoundFile = r.ProgramLocation = text;
        store.Add(r);
        store.Save();
        QCOMPARE(Read(path).count("\r\n"), 3); // every row is one line
        TReminders loaded(path);
        loaded.Load();
        TReminder back;
        loaded.ReadMainRow(0, back);
        QCOMPARE(back.ReminderMessage, expected);
        QCOMPARE(back.SoundFile, expected);
        QCOMPARE(back.ProgramLocation, expected);
    }

    // The exact layout, main rows before exclusions, and every field read back.
    void layoutAndAllFields()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const QByteArray series = "{S};7/1/2026;23:59;W{#}x{$}y;TRUE;TRUE;/s d.wav;TRUE;/bin/p{#}q;TRUE;2;2;100;2;1010001;"
                                  "31;99;12;29;8/1/2026;FALSE;31/12/2030;FALSE;FALSE;";
        TReminders store(path);
        store.AddExclusion(Parsed(Excl));
        store.Add(Parsed(series));
        store.Add(Parsed(Good));
        store.Save();
        QCOMPARE(Read(path), H + series + "\r\n" + Good + "\r\n" + Excl + "\r\n");
        TReminders loaded(path);
        loaded.Load();
        loaded.Load(); // adds to what the tables hold
        QCOMPARE(loaded.MainRowCount(), 4);
        QCOMPARE(loaded.ExclusionRowCount(), 2);
        TReminder r;
        loaded.ReadMainRow(2, r);
        QCOMPARE(loaded.FormatLine(r, true).toLatin1(), series);
    }

    // Files as found on disk: what loads, and what fails with which details.
    void loadFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": no file at all
        QTest::addColumn<int>("mainRows");
        QTest::addColumn<int>("exclusionRows");
        QTest::addColumn<QString>("details"); // empty: no failure; "*": the platform's wording
        const QString format = QStringLiteral("Invalid database file format.");
        const QString definition = QStringLiteral("Invalid reminder definition in database file.");
        const QByteArray fields23 = Good.left(Good.size() - 5);

        QTest::newRow("no file") << QByteArray("-") << 0 << 0 << "";
        QTest::newRow("empty file") << QByteArray() << 0 << 0 << "";
        QTest::newRow("header only") << QByteArray("KESTO 2.0") << 0 << 0 << "";
        QTest::newRow("LF line ends, no final end") << "KESTO 2.0\n\n" + Good + "\n" + Good << 2 << 0 << "";
        QTest::newRow("CR line ends") << "KESTO 2.0\r\r" + Good + "\r" << 1 << 0 << "";
        QTest::newRow("line 2 skipped") << "KESTO 2.0\r\n" + Good + "\r\n" + Good << 1 << 0 << "";
        QTest::newRow("KJOTB, any separator") << "KJOTB_2.0\r\n\r\n" + Good << 1 << 0 << "";
        QTest::newRow("exclusion first, surplus fields") << H + Excl + "x;\r\n" + Good << 1 << 1 << "";
        QTest::newRow("version with trailing blank") << "KESTO 2.0 \r\n\r\n" + Good << 0 << 0 << format;
        QTest::newRow("unknown version") << "KESTO 3.0\r\n\r\n" + Good << 0 << 0 << format;
        QTest::newRow("lower-case magic") << "kesto 2.0\r\n\r\n" + Good << 0 << 0 << format;
        QTest::newRow("short header") << QByteArray("KES\r\n") << 0 << 0 << format;
        QTest::newRow("23 fields after a good row") << H + Good + "\r\n" + fields23 + "\r\n" + Good << 1 << 0 << definition;
        QTest::newRow("empty row line") << H + Good + "\r\n\r\n" + Good << 1 << 0 << definition;
        QTest::newRow("date with dashes") << H + QByteArray(Good).replace("5/3/2002;9", "5-3-2002;9") << 0 << 0
                                          << "Invalid date string.";
        QTest::newRow("time without colon") << H + QByteArray(Good).replace(";9:5;", ";905;") << 0 << 0 << "Invalid time string.";
        QTest::newRow("impossible date") << H + QByteArray(Good).replace("5/3/2002;9", "31/2/2002;9") << 0 << 0 << "*";
        QTest::newRow("minute 60") << H + QByteArray(Good).replace(";9:5;", ";9:60;") << 0 << 0 << "*";
        QTest::newRow("count not a number") << H + QByteArray(Good).replace(";0000000;0;", ";0000000;x;") << 0 << 0 << "*";
        QTest::newRow("bad 1.0 line") << QByteArray(
            "KESTO 1.0\r\n\r\n{X};bad;9:5;TRUE;m;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;")
                                      << 0 << 0 << "Invalid date string.";
    }
    void loadFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, mainRows);
        QFETCH(int, exclusionRows);
        QFETCH(QString, details);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        QVERIFY(content == "-" || Write(path, content));
        TReminders store(path);
        const TRaised r = Catch([&] { store.Load(); });
        QCOMPARE(r.Raised, !details.isEmpty());
        if (r.Raised) {
            QCOMPARE(r.Message, QStringLiteral("Error loading database file '%1'.").arg(path));
            QCOMPARE(r.Severity, 1);
            if (details == QLatin1String("*"))
                QVERIFY(!r.Details.isEmpty());
            else
                QCOMPARE(r.Details, details);
        }
        QCOMPARE(store.MainRowCount(), mainRows);
        QCOMPARE(store.ExclusionRowCount(), exclusionRows);
        QVERIFY(!store.OldFormat());
    }

    // Version 1.0: 19 fields, the sound flag before the message; saved again as 2.0.
    void versionOneFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Old.dat"));
        QVERIFY(
            Write(path, "KJOTB 1.0\r\n\r\n{1};5/3/2002;9:5;TRUE;Old{$}one;FALSE;s.wav;FALSE;;TRUE;1;1;3;0;0000000;0;0;0;0;\r\n"));
        TReminders store(path);
        store.Load();
        QVERIFY(!store.OldFormat());
        TReminder r;
        store.ReadMainRow(0, r);
        QCOMPARE(r.ReminderMessage, QStringLiteral("Old\r\none"));
        QVERIFY(r.PlaySound && !r.Active && !r.RecurrenceNoEnd);
        store.Save();
        QCOMPARE(Read(path), H
                                 + "{1};5/3/2002;9:5;Old{$}one;TRUE;FALSE;s.wav;FALSE;;TRUE;1;1;3;0;0000000;0;0;0;0;"
                                   "5/3/2002;FALSE;5/3/2002;FALSE;FALSE;\r\n");
    }

    // Files of the Windows product are Windows-1252; anything valid as UTF-8 is UTF-8.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows-1252") << QByteArray("Caf\xe9 \x80 pra\xe7"
                                                    "a \x93ok\x94 \x8a\x9f")
                                      << QString::fromUtf8("Café € praça “ok” ŠŸ");
        QTest::newRow("utf-8") << QByteArray("Caf\xc3\xa9 \xe2\x82\xac") << QString::fromUtf8("Café €");
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf") << QString();
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const bool bom = bytes.startsWith("\xef\xbb\xbf");
        QVERIFY(Write(path, bom ? bytes + H + Good : H + QByteArray(Good).replace("Hello", bytes)));
        TReminders store(path);
        store.Load();
        TReminder r;
        store.ReadMainRow(0, r);
        QCOMPARE(r.ReminderMessage, bom ? QStringLiteral("Hello") : expected);
    }

    // The field rules of a line, and dates and times exactly in their text forms.
    void fieldRules()
    {
        const TReminder blanks =
            Parsed(QByteArray(Good).replace(";5/3/2002;9:5;Hello;TRUE;", "; 5/3/2002\t; 9:5 ;  Hi ; TRUE ;"));
        QCOMPARE(blanks.ReminderMessage, QStringLiteral("Hi"));
        QVERIFY(blanks.PlaySound);
        QVERIFY(!Parsed(QByteArray(Good).replace("TRUE;", "true;")).Active); // case matters
        QCOMPARE(Parsed(QByteArray(Good).replace("FALSE;0;0;", "FALSE;9;2;")).RecurrenceUnit, ruNone);
        const TReminder empty = Parsed(QByteArray(Good).replace(";5/3/2002;TRUE;5/3/2002;", ";;TRUE;;"));
        QVERIFY(empty.RecurrenceStart == empty.Date && empty.RecurrenceEndBy == empty.Date);
        QCOMPARE(Parsed(Good.chopped(1)).Active, true); // a last field without ";"
        TReminders codec(QString{});
        TReminder typed;
        typed.ReminderMessage = typed.Id = QStringLiteral("{#}"); // texts the reminder holds already
        codec.ParseLine(typed, QString::fromLatin1(QByteArray(Good).replace("Hello", "{#}").replace(Id1.toLatin1(), "{#}")),
                        false);
        QCOMPARE(typed.ReminderMessage, QStringLiteral(";"));
        QCOMPARE(typed.Id, QStringLiteral("{#}"));
        for (const char *text : {"{{$}#}", "{#{$}}{$", "{#}$}{$}}", "{}{#"})
            QCOMPARE(Parsed(QByteArray(Good).replace("Hello", text)).ReminderMessage, UnescapeText(QString::fromLatin1(text)));

        TReminders store(QString{});
        for (TDateTime d : {0.0, -1.0, -700.75, EncodeDate(1, 1, 1), EncodeDate(9999, 12, 31), EncodeDate(2000, 2, 29),
                            EncodeDate(1900, 3, 1), EncodeDate(2026, 8, 12) + 0.99999}) {
            TReminder r = Parsed(Good);
            r.Date = r.RecurrenceEndBy = d;
            r.Time = d + 0.6;
            const QString line = store.FormatLine(r, true);
            QCOMPARE(line.section(QLatin1Char(';'), 1, 2), DateToText(d) + QLatin1Char(';') + TimeToText(r.Time));
            TReminder back;
            store.ParseLine(back, line, false);
            QCOMPARE(back.Date, TextToDate(DateToText(d)));
            QCOMPARE(back.Time, TextToTime(TimeToText(r.Time)));
        }
    }

    // A file is read line by line where it lies: every row must come out as the line alone
    // reads, whatever the rows around it hold (texts that repeat the row before, other
    // encodings, other line ends), and in its own table.
    void rowsInTurn_data()
    {
        QTest::addColumn<QByteArray>("rows");
        const auto row = [](const QByteArray &id, const QByteArray &message, const QByteArray &sound, const QByteArray &days,
                            bool exclusion) {
            return id + ";5/3/2002;9:5;" + message + ";TRUE;FALSE;" + sound + ";FALSE;" + sound + ";FALSE;0;0;0;0;" + days
                   + ";0;0;0;0;5/3/2002;TRUE;5/3/2002;" + (exclusion ? "TRUE" : "FALSE") + ";TRUE;";
        };
        QTest::newRow("texts repeated, then changed by one character")
            << row("{A1}", "abc", "s.wav", "0000000", false) + "\r\n" + row("{A1}", "abc", "s.wav", "0000000", true) + "\r\n"
                   + row("{A2}", "abd", "s.wau", "0000001", true) + "\r\n" + row("{A1}", "", "", "", false) + "\r\n"
                   + row("{A1}", "abc", "s.wav", "0000000", false) + "\r\n";
        QTest::newRow("escapes repeated") << row("{E}", "x{#}y", "a{$}", "0000000", false) + "\r\n"
                                                 + row("{E}", "x{#}y", "a{$}", "0000000", true) + "\r\n"
                                                 + row("{E}", "x{$}y", "a{#}", "0000000", true) + "\r\n"
                                                 + row("{E}", "{x}", "{x}", "0000000", true) + "\r\n";
        QTest::newRow("encodings alternate") << row("{W}", "Caf\xe9 \x80", "", "0000000", false) + "\r\n"
                                                    + row("{W}", "Caf\xc3\xa9 \xe2\x82\xac", "", "0000000", false) + "\r\n"
                                                    + row("{W}", "Caf\xe9 \x80", "", "0000000", false) + "\r\n"
                                                    + row("\xef\xbb\xbf{W}", "plain", "", "0000000", true) + "\r\n"
                                                    + row("{\xc3\x9c}", "plain", "\xd0\xb7",
                                                          "00000\xc3\x9c"
                                                          "0",
                                                          false)
                                                    + "\r\n";
        QTest::newRow("line ends mixed") << row("{L}", "a", "", "0000000", false) + "\r" + row("{L}", "a", "", "0000000", true)
                                                + "\n" + row("{L}", "b", "", "0000000", false) + "\r\n"
                                                + row("{L}", "b", "", "0000000", true);
        const auto dated = [&](const QByteArray &date, const QByteArray &start, const QByteArray &end, const QByteArray &days,
                               bool exclusion) {
            return row("{D}", "a", "", days, exclusion)
                       .replace(";5/3/2002;TRUE;5/3/2002;", ";" + start + ";TRUE;" + end + ";")
                       .replace(";5/3/2002;9:5;", ";" + date + ";9:5;")
                   + "\r\n";
        };
        QTest::newRow("rule dates repeated, then empty (the row's own date)")
            << dated("5/3/2002", "1/1/2020", "2/2/2022", "1111100", false)
                   + dated("6/3/2002", "1/1/2020", "2/2/2022", "1111100", false) + dated("7/3/2002", "", "", "1111100", false)
                   + dated("8/3/2002", "", "", "1111100", false) + dated("9/3/2002", "1/1/2020", "", "1111100", false);
        QTest::newRow("weekdays an exclusion row drops, then repeated by a whole row")
            << dated("5/3/2002", "1/1/2020", "1/1/2020", "1111100", false)
                   + dated("6/3/2002", "1/1/2020", "1/1/2020", "1111100", true)
                   + dated("7/3/2002", "1/1/2020", "1/1/2020", "1111100", false);
        QByteArray surplus;
        for (int i = 0; i < 40; ++i)
            surplus += "s" + QByteArray::number(i) + ";";
        QTest::newRow("blanks around fields, forty surplus fields, a last byte that is not ASCII")
            << row(" {B}\t", "  a b ", " ", "0000000 ", false) + surplus + "\r\n" + row("{B}", "a b", "", "0000000", true)
                   + "\r\n" + row("{B}", "a b", "", "0000000", true) + "x\xc3\xa9\r\n" + row("{B}", "a b", "", "0000000", true)
                   + "\r\n";
        QTest::newRow("exclusion flags the row count misjudges")
            << row("{C}", "a", "", "0000000", true) + "x;\r\n"
                   + row("{C}", "a", "", "0000000", false).replace(";FALSE;TRUE;", ";true;TRUE;") + "\r\n"
                   + row("{C}", "a", "", "0000000", false).replace(";FALSE;TRUE;", "; TRUE ;TRUE;") + "\r\n";
    }
    void rowsInTurn()
    {
        QFETCH(QByteArray, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        QVERIFY(Write(path, H + rows));
        TReminders store(path);
        store.Load();
        // Each line on its own, decoded as a file of that one line and read by the row codec.
        TReminders expected(QString{});
        const QString text = ZTDecodeText(H + rows);
        for (const QStringView line : SplitTextLines(text).mid(2)) {
            TReminder r;
            expected.ParseLine(r, line.toString(), false);
            r.Exclusion ? expected.AddExclusion(r) : expected.Add(r);
        }
        QCOMPARE(store.MainRowCount(), expected.MainRowCount());
        QCOMPARE(store.ExclusionRowCount(), expected.ExclusionRowCount());
        TReminder a, b;
        for (int i = 0; i < store.MainRowCount(); ++i) {
            store.ReadMainRow(i, a);
            expected.ReadMainRow(i, b);
            QCOMPARE(store.FormatLine(a, true), expected.FormatLine(b, true));
        }
        for (int i = 0; i < store.ExclusionRowCount(); ++i) {
            store.ReadExclusionRow(i, a);
            expected.ReadExclusionRow(i, b);
            QCOMPARE(store.FormatLine(a, true), expected.FormatLine(b, true));
        }
    }

    // The file is written as UTF-8 bytes straight from the rows: it must hold exactly the
    // lines of the row codec, encoded, for every kind of text.
    void savedBytesAreTheLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("id");
        QTest::newRow("plain") << QStringLiteral("Pay rent") << Id1;
        QTest::newRow("escapes") << QStringLiteral(";a\r\nb;\n") << Id1;
        QTest::newRow("escapes among other scripts") << QString::fromUtf8("é;\nж\r提醒;🎉\n") << Id1;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("x;") << Id1;
        QTest::newRow("id written as it stands") << QStringLiteral("m") << QString::fromUtf8("{a;b\xc3\xa9}");
        QTest::newRow("empty") << QString() << Id1;
    }
    void savedBytesAreTheLines()
    {
        QFETCH(QString, text);
        QFETCH(QString, id);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        TReminders store(path);
        TReminder r = Parsed(Good);
        r.Id = id;
        r.ReminderMessage = r.SoundFile = r.ProgramLocation = text;
        r.RecurrenceWeeklyDays = text.left(7);
        store.Add(r);
        r.Date = -800000; // outside the years 1 to 9999: the general date form
        store.AddExclusion(r);
        store.Save();
        QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        QByteArray expected = H;
        TReminder row;
        store.ReadMainRow(0, row);
        expected += QByteArray(utf8.encode(store.FormatLine(row, true))) + "\r\n";
        store.ReadExclusionRow(0, row);
        expected += QByteArray(utf8.encode(store.FormatLine(row, true))) + "\r\n";
        QCOMPARE(Read(path), expected);
    }

    // The backup always holds the file as it was before the latest save.
    void backupFollowsSaves()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.dat"));
        const QString backup = dir.filePath(QStringLiteral("Backup of Default.dat"));
        TReminders store(path);
        store.Save();
        QVERIFY(!QFile::exists(backup));
        QByteArray before = Read(path);
        for (const QByteArray &line : {Good, Excl}) {
            store.Add(Parsed(line));
            QFile::setPermissions(backup, QFileDevice::ReadOwner); // read-only backups are replaced too
            store.Save();
            QCOMPARE(Read(backup), before);
            before = Read(path);
        }
        store.Save();
        QCOMPARE(Read(backup), Read(path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A save that cannot complete leaves the previous file exactly as it was and nothing else.
    void failedSaveKeepsPreviousFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        // Near the file system's name limit the file exists, but the new file cannot be put
        // in place under that name (nor made beside it): the save fails also for root.
        QTest::newRow("name near the limit") << QString(250, QLatin1Char('d')) + QStringLiteral(".dat") << false;
        QTest::newRow("folder missing") << QStringLiteral("missing/Default.dat") << false;
        QTest::newRow("path is a folder") << QStringLiteral("Default.dat") << true;
    }
    void failedSaveKeepsPreviousFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        const QByteArray previous = H + Good + "\r\n";
        QVERIFY(folder ? QDir(dir.path()).mkdir(name) : (name.contains(QLatin1Char('/')) || Write(path, previous)));
        const QStringList filesBefore = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        TReminders store(path);
        store.Add(Parsed(Excl));
        const TRaised r = Catch([&] { store.Save(); });
        QCOMPARE(r.Message, QStringLiteral("Error saving database file '%1'.").arg(path));
        QCOMPARE(r.Severity, 1);
        QVERIFY(!r.Details.isEmpty() && r.Details != QLatin1String("Unknown error"));
        if (!folder && !name.contains(QLatin1Char('/')))
            QCOMPARE(Read(path), previous);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
    }
};

VENTARO_TEST_MAIN(TestClsRemindersFile, QCoreApplication)
#include "tst_clsRemindersFile.moc"
