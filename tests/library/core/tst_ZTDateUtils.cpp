// The civil-day arithmetic every part of the program shares, against Qt's own calendar over
// centuries (leap years of every kind, month ends, ISO weeks across year ends), and on years far
// outside QDate's range, where the recurrence engine computes before it clamps.
#include "TestEnv.h"
#include "ZTDateUtils.h"

#include <QtTest>

#include <cmath>

class TestZTDateUtils : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void agreesWithQDate_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::newRow("1599 to 1701: 1600 leap, 1700 not") << QDate(1599, 1, 1) << QDate(1701, 12, 31);
        QTest::newRow("1895 to 2105: day 0, 1900 and 2100 not leap, 2000 leap") << QDate(1895, 1, 1) << QDate(2105, 12, 31);
        QTest::newRow("the last stored years") << QDate(9990, 1, 1) << QDate(9999, 12, 31);
        QTest::newRow("the first stored years") << QDate(1, 1, 1) << QDate(12, 12, 31);
    }
    void agreesWithQDate()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        for (QDate day = from; day <= to; day = day.addDays(1)) {
            const std::int64_t n = DayNumber(QDateToDateTime(day));
            const TZTCivilDate civil = ZTCivilFromDays(n);
            int weekYear = 0;
            const int week = day.weekNumber(&weekYear);
            std::int64_t ourWeekYear = 0;
            if (ZTDaysFromCivil(day.year(), day.month(), day.day()) != n || civil.Year != day.year() || civil.Month != day.month()
                || civil.Day != day.day() || ZTIsoWeekday(n) != day.dayOfWeek()
                || ZTDaysInMonth(day.year(), day.month()) != day.daysInMonth() || ZTIsoWeek(n, &ourWeekYear) != week
                || ourWeekYear != weekYear)
                QFAIL(qPrintable(day.toString(Qt::ISODate)));
        }
    }

    // Years beyond std::chrono::year and QDate still round-trip, and division floors.
    void farYears_data()
    {
        QTest::addColumn<qint64>("year");
        QTest::newRow("year 100,000") << qint64(100000);
        QTest::newRow("year 83 million") << qint64(83000000);
        QTest::newRow("year -40,000") << qint64(-40000);
    }
    void farYears()
    {
        QFETCH(qint64, year);
        for (int month : {1, 2, 3, 12}) {
            const std::int64_t n = ZTDaysFromCivil(year, month, ZTDaysInMonth(year, month));
            const TZTCivilDate back = ZTCivilFromDays(n);
            QCOMPARE(back.Year, year);
            QCOMPARE(back.Month, month);
            QCOMPARE(back.Day, ZTDaysInMonth(year, month));
            QCOMPARE(ZTCivilFromDays(n + 1).Day, 1);
        }
        QCOMPARE(ZTFloorDiv(-7, 2), std::int64_t(-4));
        QCOMPARE(ZTCeilDiv(-7, 2), std::int64_t(-3));
        QCOMPARE(ZTCeilDiv(7, 2), std::int64_t(4));
    }

    // Values split into day and millisecond, rounded as llround rounds: halves away from zero,
    // and the double just below a half down.
    void timeStampRounds_data()
    {
        QTest::addColumn<double>("value");
        const double ms = 1.0 / double(ZTMSecsPerDay);
        QTest::newRow("half a millisecond") << 0.5 * ms;
        QTest::newRow("just below half a millisecond") << std::nextafter(0.5, 0.0) * ms;
        QTest::newRow("noon and a half millisecond") << 0.5 + 0.5 * ms;
        QTest::newRow("the last millisecond of a day") << 1.0 - 0.5 * ms;
        QTest::newRow("negative, with a time") << -700.75;
        QTest::newRow("negative half millisecond") << -0.5 * ms;
        QTest::newRow("31 December 9999, 23:59:59.999") << 2958465.0 + 86399999.0 * ms;
        QTest::newRow("a hundred million days") << 1.0e8 + 0.25;
    }
    void timeStampRounds()
    {
        QFETCH(double, value);
        const std::int64_t total = std::llround(std::fabs(value) * double(ZTMSecsPerDay));
        const TZTTimeStamp stamp = ZTTimeStamp(value);
        QCOMPARE(stamp.Day, (value < 0 ? -1 : 1) * (total / ZTMSecsPerDay));
        QCOMPARE(stamp.MSec, total % ZTMSecsPerDay);
    }
};

VENTARO_TEST_MAIN(TestZTDateUtils, QCoreApplication)
#include "tst_ZTDateUtils.moc"
