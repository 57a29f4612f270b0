#include "TestEnv.h"
#include "ZTExceptions.h"
#include "uFunctions.h"

#include <QtTest>

class TestUFunctions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dateText_data()
    {
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("d");
        QTest::addColumn<QString>("text");
        QTest::newRow("no leading zeros") << 2002 << 3 << 5 << "5/3/2002";
        QTest::newRow("new year") << 2003 << 1 << 1 << "1/1/2003";
        QTest::newRow("leap day") << 2024 << 2 << 29 << "29/2/2024";
        QTest::newRow("day zero") << 1899 << 12 << 30 << "30/12/1899";
        QTest::newRow("before day zero") << 1850 << 7 << 14 << "14/7/1850";
    }
    void dateText()
    {
        QFETCH(int, y);
        QFETCH(int, m);
        QFETCH(int, d);
        QFETCH(QString, text);
        const TDateTime value = EncodeDate(y, m, d);
        QCOMPARE(DateToText(value), text);
        QCOMPARE(DateToText(ComposeDateTime(value, 0.99)), text); // the time of day is dropped
        QCOMPARE(DayNumber(TextToDate(text)), DayNumber(value));
    }

    void dateZeroIsEpoch() { QCOMPARE(DateToText(0), QStringLiteral("30/12/1899")); }

    void badDateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("formatError"); // EZTException vs conversion error
        QTest::newRow("dashes") << "1-1-2003" << true;
        QTest::newRow("one slash") << "1/2003" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("letters") << "a/1/2003" << false;
        QTest::newRow("no such day") << "31/4/2003" << false;
        QTest::newRow("month 13") << "1/13/2003" << false;
    }
    void badDateText()
    {
        QFETCH(QString, text);
        QFETCH(bool, formatError);
        try {
            TextToDate(text);
            QFAIL("no exception");
        } catch (const EZTException &e) {
            QVERIFY(formatError);
            QCOMPARE(e.Message(), QStringLiteral("Invalid date string."));
            QCOMPARE(int(e.Severity()), 1);
        } catch (const EConvertError &) {
            QVERIFY(!formatError);
        }
    }

    void timeText_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("s");
        QTest::addColumn<QString>("text");
        QTest::newRow("leading zeros dropped") << 9 << 5 << 0 << "9:5";
        QTest::newRow("midnight") << 0 << 0 << 0 << "0:0";
        QTest::newRow("seconds dropped") << 23 << 5 << 59 << "23:5";
        QTest::newRow("last minute") << 23 << 59 << 59 << "23:59";
    }
    void timeText()
    {
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(int, s);
        QFETCH(QString, text);
        QCOMPARE(TimeToText(EncodeTime(h, m, s, 0)), text);
        const TDateTime back = TextToTime(text);
        int hh, mm, ss, ms;
        DecodeTime(back, hh, mm, ss, ms);
        QCOMPARE(hh, h);
        QCOMPARE(mm, m);
        QCOMPARE(ss, 0);
    }

    void badTimeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("formatError");
        QTest::newRow("no colon") << "1230" << true;
        QTest::newRow("hour 24") << "24:0" << false;
        QTest::newRow("minute 60") << "10:60" << false;
        QTest::newRow("letters") << "ab:cd" << false;
    }
    void badTimeText()
    {
        QFETCH(QString, text);
        QFETCH(bool, formatError);
        try {
            TextToTime(text);
            QFAIL("no exception");
        } catch (const EZTException &e) {
            QVERIFY(formatError);
            QCOMPARE(e.Message(), QStringLiteral("Invalid time string."));
            QCOMPARE(int(e.Severity()), 1);
        } catch (const EConvertError &) {
            QVERIFY(!formatError);
        }
    }

    void boolAndInt()
    {
        QCOMPARE(BoolToText(true), QStringLiteral("TRUE"));
        QCOMPARE(BoolToText(false), QStringLiteral("FALSE"));
        QVERIFY(TextToBool(QStringLiteral("TRUE")));
        QVERIFY(!TextToBool(QStringLiteral("true")));
        QVERIFY(!TextToBool(QStringLiteral("True")));
        QVERIFY(!TextToBool(QString()));
        QCOMPARE(TextToInt(QString()), 0);
        QCOMPARE(TextToInt(QStringLiteral("-42")), -42);
        QCOMPARE(IntToText(-7), QStringLiteral("-7"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, TextToInt(QStringLiteral("4x")));
        QCOMPARE(DayNumber(TextToDateOr(QString(), 1234)), 1234);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("two lines and semicolon") << "a\r\nb;c"
                                                 << "a{$}b{#}c"
                                                 << "a\r\nb;c";
        QTest::newRow("typed {#} comes back as ;") << "x{#}y"
                                                   << "x{#}y"
                                                   << "x;y";
        QTest::newRow("typed {$} comes back as line break") << "x{$}y"
                                                            << "x{$}y"
                                                            << "x\r\ny";
        QTest::newRow("lone CR disappears") << "a\rb"
                                            << "ab"
                                            << "ab";
        QTest::newRow("lone LF becomes CR LF") << "a\nb"
                                               << "a{$}b"
                                               << "a\r\nb";
        QTest::newRow("blanks kept") << "  a  "
                                     << "  a  "
                                     << "  a  ";
        QTest::newRow("accents") << QString::fromUtf8("café; ça") << QString::fromUtf8("café{#} ça")
                                 << QString::fromUtf8("café; ça");
    }
    void escaping()
    {
        QFETCH(QString, typed);
        QFETCH(QString, escaped);
        QFETCH(QString, readBack);
        QCOMPARE(EscapeText(typed), escaped);
        QCOMPARE(UnescapeText(EscapeText(typed)), readBack);
    }

    void weekdays()
    {
        QVERIFY(IsWeekdaySet(1, QStringLiteral("1111100")));
        QVERIFY(!IsWeekdaySet(7, QStringLiteral("1111100")));
        QVERIFY(!IsWeekdaySet(3, QStringLiteral("11")));
        QVERIFY(!IsWeekdaySet(0, QStringLiteral("1111111")));
        QString s = QStringLiteral("11");
        SetWeekday(3, true, s);
        QCOMPARE(s, QStringLiteral("11"));
        s = QStringLiteral("0000000");
        SetWeekday(7, true, s);
        SetWeekday(1, true, s);
        SetWeekday(1, false, s);
        QCOMPARE(s, QStringLiteral("0000001"));
    }

    void isoWeekdayAndMonday_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("weekday");
        QTest::addColumn<QDate>("monday");
        QTest::newRow("epoch saturday") << QDate(1899, 12, 30) << 6 << QDate(1899, 12, 25);
        QTest::newRow("wednesday") << QDate(2026, 1, 7) << 3 << QDate(2026, 1, 5);
        QTest::newRow("sunday ends week") << QDate(2026, 1, 11) << 7 << QDate(2026, 1, 5);
        QTest::newRow("monday itself") << QDate(2026, 1, 12) << 1 << QDate(2026, 1, 12);
        QTest::newRow("across year") << QDate(2027, 1, 1) << 5 << QDate(2026, 12, 28);
        QTest::newRow("before epoch") << QDate(1899, 12, 24) << 7 << QDate(1899, 12, 18);
    }
    void isoWeekdayAndMonday()
    {
        QFETCH(QDate, date);
        QFETCH(int, weekday);
        QFETCH(QDate, monday);
        QCOMPARE(IsoWeekday(QDateToDateTime(date)), weekday);
        QCOMPARE(IsoWeekday(QDateToDateTime(date)), date.dayOfWeek());
        QCOMPARE(DateTimeToQDate(MondayOfWeek(ComposeDateTime(QDateToDateTime(date), 0.75))), monday);
    }

    void comparisonsIgnoreSeconds()
    {
        const TDateTime day = EncodeDate(2026, 3, 1);
        const TDateTime t1 = EncodeTime(10, 15, 0, 0);
        const TDateTime t2 = EncodeTime(10, 15, 59, 999);
        const TDateTime t3 = EncodeTime(10, 16, 0, 0);
        QVERIFY(SameMinute(day, t1, day + 0.3, t2));
        QVERIFY(SameTime(t1, t2));
        QVERIFY(MinuteBefore(day, t2, day, t3));
        QVERIFY(MinuteOnOrBefore(day, t2, day, t1));
        QVERIFY(MinuteOnOrAfter(day, t1, day, t2));
        QVERIFY(!MinuteBefore(day, t1, day, t2));
        QVERIFY(MinuteBefore(day - 1, t3, day, t1)); // the day counts before the time
        QCOMPARE(CompareMinutes(t1, t2), 0);
        QCOMPARE(CompareMinutes(t1, t3), -1);
        QCOMPARE(CompareMinutes(t3, t1), 1);
        // A value a hair below a whole minute rounds to that minute, not the one before.
        QVERIFY(SameTime(EncodeTime(10, 16) - 1e-12, t3));
    }

    void dayComparisons()
    {
        const TDateTime a = EncodeDate(2026, 3, 1) + 0.99;
        const TDateTime b = EncodeDate(2026, 3, 2);
        QVERIFY(DayBefore(a, b));
        QVERIFY(DateBefore(b, a));
        QVERIFY(!DateBefore(a, b));
        QVERIFY(SameDate(a, EncodeDate(2026, 3, 1)));
        QVERIFY(DayOnOrBefore(a, a - 0.5));
        QVERIFY(DayOnOrAfter(b, a));
        QCOMPARE(DaysBetween(a, b), 1);
        QCOMPARE(DaysBetween(b, a), 1);
        QCOMPARE(CompareDays(a, b), -1);
        QCOMPARE(CompareDays(b, a), 1);
        QCOMPARE(CompareDays(a, a - 0.9), 0);
    }

    void lastDayOfMonth_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QDate>("last");
        QTest::newRow("leap february") << QDate(2024, 2, 10) << QDate(2024, 2, 29);
        QTest::newRow("common february") << QDate(2023, 2, 28) << QDate(2023, 2, 28);
        QTest::newRow("century not leap") << QDate(1900, 2, 1) << QDate(1900, 2, 28);
        QTest::newRow("30-day month") << QDate(2026, 4, 30) << QDate(2026, 4, 30);
        QTest::newRow("december") << QDate(2026, 12, 1) << QDate(2026, 12, 31);
    }
    void lastDayOfMonth()
    {
        QFETCH(QDate, date);
        QFETCH(QDate, last);
        QCOMPARE(DateTimeToQDate(LastDayOfMonth(QDateToDateTime(date))), last);
    }

    void lists()
    {
        QStringList slots{QStringLiteral("stale")};
        FillTimeSlots(slots);
        QCOMPARE(slots.size(), 48);
        QCOMPARE(slots.first(), TimeSlotText(0, 0));
        QCOMPARE(slots.at(1), TimeSlotText(0, 30));
        QCOMPARE(slots.last(), TimeSlotText(23, 30));
        QCOMPARE(slots.removeDuplicates(), 0);
        QCOMPARE(MinuteOfDay(SlotToTime(0)), 0);
        QCOMPARE(MinuteOfDay(SlotToTime(1)), 30);
        QCOMPARE(MinuteOfDay(SlotToTime(47)), 23 * 60 + 30);
        QCOMPARE(MinuteOfDay(DayViewEndTime()), 23 * 60 + 50);

        QStringList intervals{QStringLiteral("stale")};
        FillIntervals(intervals);
        QCOMPARE(intervals, (QStringList{"Once", "Daily", "Weekly", "Monthly", "Yearly"}));
        QStringList months;
        FillMonths(months);
        QCOMPARE(months.size(), 12);
        QCOMPARE(months.first(), QStringLiteral("January"));
        QCOMPARE(months.at(8), QStringLiteral("September"));
    }

    void localeTimeFormats_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("picker");
        QTest::newRow("C") << "C"
                           << "H:mm";
        QTest::newRow("en_US 12-hour, designator after") << "en_US"
                                                         << "h:mm tt";
        QTest::newRow("pt_PT 24-hour") << "pt_PT"
                                       << "H:mm";
        QTest::newRow("de_DE 24-hour") << "de_DE"
                                       << "H:mm";
        QTest::newRow("ko_KR designator before") << "ko_KR"
                                                 << "tt h:mm";
    }
    void localeTimeFormats()
    {
        QFETCH(QString, locale);
        QFETCH(QString, picker);
        const QLocale l(locale);
        const QString f = ShortTimeFormat(l);
        QVERIFY2(!f.contains(QLatin1Char('s')), qPrintable(f));
        QVERIFY(f.contains(QLatin1Char('m')));
        QVERIFY2(!l.toString(QTime(13, 7, 45), f).contains(QStringLiteral("45")), qPrintable(f));
        QCOMPARE(TimePickerFormat(l), picker);
    }
};

VENTARO_TEST_MAIN(TestUFunctions, QCoreApplication)
#include "tst_uFunctions.moc"
