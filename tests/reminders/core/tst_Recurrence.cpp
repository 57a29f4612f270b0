#include "TestEnv.h"
#include "ZTClock.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QRandomGenerator>
#include <QSet>
#include <QtTest>

#include <algorithm>

Q_DECLARE_METATYPE(TReminder)

namespace {

TDateTime Day(const QDate &d)
{
    return QDateToDateTime(d);
}
TDateTime T(int h, int m)
{
    return EncodeTime(h, m);
}
QDate Q(TDateTime d)
{
    return DateTimeToQDate(d);
}

TReminder Series(TRecurrenceUnit unit, const QDate &start, const QDate &end = QDate(), int every = 1)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.Recurring = r.Active = true;
    r.RecurrenceUnit = unit;
    r.RecurrenceDailyType = unit == ruDaily ? dtEveryNDays : dtNone;
    r.RecurrenceDailyEvery = r.RecurrenceWeeklyEvery = r.RecurrenceMonthlyEvery = every;
    r.Date = r.RecurrenceStart = Day(start);
    r.Time = T(9, 0);
    r.RecurrenceNoEnd = !end.isValid();
    r.RecurrenceEndBy = end.isValid() ? Day(end) : 0;
    return r;
}
TReminder Daily(const QDate &s, int every, const QDate &end = QDate())
{
    return Series(ruDaily, s, end, every);
}
TReminder WorkingDays(const QDate &s, const QDate &end = QDate())
{
    TReminder r = Series(ruDaily, s, end);
    r.RecurrenceDailyType = dtEveryWeekday;
    return r;
}
TReminder Weekly(const QDate &s, int every, const QString &days, const QDate &end = QDate())
{
    TReminder r = Series(ruWeekly, s, end, every);
    r.RecurrenceWeeklyDays = days;
    return r;
}
TReminder Monthly(const QDate &s, int day, int every, const QDate &end = QDate())
{
    TReminder r = Series(ruMonthly, s, end, every);
    r.RecurrenceMonthlyDay = day;
    return r;
}
TReminder Yearly(const QDate &s, int month, int day, const QDate &end = QDate())
{
    TReminder r = Series(ruYearly, s, end);
    r.RecurrenceYearlyMonth = month;
    r.RecurrenceYearlyDay = day;
    return r;
}
TReminder OneTime(const QDate &date, TDateTime time, bool active = true)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.Date = Day(date);
    r.Time = time;
    r.Active = active;
    return r;
}
TReminder Named(TReminder r, const char *id)
{
    r.Id = QLatin1String(id);
    return r;
}
TReminder ExclusionOf(const TReminder &series, const QDate &day, bool active, TDateTime time = -1)
{
    TReminder occurrence = series;
    occurrence.OccurrenceDate = Day(day);
    occurrence.OccurrenceTime = time < 0 ? series.Time : time;
    TReminder e = *occurrence.MakeExclusion();
    e.Active = active;
    return e;
}

void Pin(const QDate &d, int hour, int minute)
{
    ZTPinClock(QDateTime(d, QTime(hour, minute)));
}

QDate Next(const TReminder &r, TReminders &store)
{
    const TDateTime next = r.NextOccurrence(store);
    return next == 0 ? QDate() : Q(next);
}

// The days of [from, to] that calendar 1 marks, built in chunks of at most 62 days.
QList<QDate> MarkedDays(TReminders &store, const QDate &from, const QDate &to)
{
    QList<QDate> out;
    for (QDate s = from; s <= to; s = s.addDays(TReminders::MarkCount)) {
        const QDate e = std::min(to, s.addDays(TReminders::MarkCount - 1));
        store.BuildMonthMarks(1, Day(s), Day(e));
        for (QDate d = s; d <= e; d = d.addDays(1))
            if (store.HasRemindersOn(1, Day(d)))
                out << d;
    }
    return out;
}

// The due list as "Id day HH:MM" lines: the occurrence's day and time for a series, the
// reminder's own for a one-time reminder (whose occurrence fields must stay 0).
QStringList Due(TReminders &store, bool catchUp, const QDate &date, TDateTime time)
{
    TReminderList list;
    store.GetDue(list, catchUp, time, Day(date));
    QStringList out;
    for (const auto &r : list) {
        const TDateTime day = r->Recurring ? r->OccurrenceDate : r->Date;
        const TDateTime at = r->Recurring ? r->OccurrenceTime : r->Time;
        const bool fieldsRight = r->Recurring ? r->OccurrenceTime == r->Time : (r->OccurrenceDate == 0 && r->OccurrenceTime == 0);
        out << QStringLiteral("%1 %2 %3%4")
                   .arg(r->Id, Q(day).toString(Qt::ISODate), DateTimeToQTime(at).toString(QStringLiteral("HH:mm")),
                        fieldsRight ? QString() : QStringLiteral(" (occurrence fields wrong)"));
    }
    return out;
}

// The catch-up listing as "Id day HH:MM +earlier" lines.
QStringList CatchUp(TReminders &store, const QDate &date, TDateTime time)
{
    TCatchUpList list;
    store.GetCatchUp(list, time, Day(date));
    QStringList out;
    for (const TCatchUpItem &item : list) {
        const TReminder &r = *item.Due;
        const TDateTime day = r.Recurring ? r.OccurrenceDate : r.Date;
        out << QStringLiteral("%1 %2 %3 +%4")
                   .arg(r.Id, Q(day).toString(Qt::ISODate), DateTimeToQTime(r.Time).toString(QStringLiteral("HH:mm")))
                   .arg(item.Earlier);
    }
    return out;
}

// The missed occurrences of a series after `after` up to (date, time) as the store counts them:
// the days it collects (all, or the latest `limit`), checked against its count and latest day.
QList<QDate> Missed(TReminders &store, const TReminder &series, std::int64_t after, const QDate &date, TDateTime time,
                    int limit = -1)
{
    const std::int64_t upTo = MinuteStamp(Day(date), time);
    TZTDateTimeArray days;
    const int appended = store.CollectMissed(series, after, upTo, limit, days);
    QList<QDate> out;
    for (TDateTime d : days.Values())
        out << Q(d);
    TDateTime latest = -1;
    const int count = store.CountMissed(series, after, upTo, latest);
    if (appended != out.size() || (limit < 0 && count != out.size()) || (limit >= 0 && out.size() != std::min(count, limit))
        || (count == 0 ? latest != 0 : Q(latest) != out.last()))
        out << QDate(); // count, latest and collected days disagree
    return out;
}

// The occurrence days of a series up to the horizon, found by walking day by day from its start
// and applying each rule as worded, with QDate's own calendar.
QSet<QDate> LiteralDays(const TReminder &r, const QString &workDays, const QDate &horizon)
{
    QSet<QDate> out;
    const QDate s = Q(r.RecurrenceStart);
    const QDate last = r.RecurrenceNoEnd ? horizon : std::min(horizon, Q(r.RecurrenceEndBy));
    const auto set = [](const QString &days, int w) { return w <= days.size() && days.at(w - 1) == QLatin1Char('1'); };
    const auto clamp = [](int y, int m, int d) { return QDate(y, m, std::min(d, QDate(y, m, 1).daysInMonth())); };
    QDate next[7]; // per weekday for weekly series; next[0] alone for the other units
    int every = 1, year = s.year();
    QDate month(s.year(), s.month(), 1);
    switch (int(r.RecurrenceUnit)) {
    case ruDaily:
        next[0] = s;
        every = std::max(r.RecurrenceDailyEvery, 1);
        break;
    case ruWeekly:
        every = 7 * std::max(r.RecurrenceWeeklyEvery, 1);
        for (int w = 0; w < 7; ++w)
            for (next[w] = s.addDays(1 - s.dayOfWeek() + w); next[w] < s;)
                next[w] = next[w].addDays(every);
        break;
    case ruMonthly:
        every = std::max(r.RecurrenceMonthlyEvery, 1);
        if (r.RecurrenceMonthlyDay < s.day())
            month = month.addMonths(every);
        if (r.RecurrenceMonthlyDay >= 1)
            next[0] = clamp(month.year(), month.month(), r.RecurrenceMonthlyDay);
        break;
    case ruYearly:
        if (r.RecurrenceYearlyMonth < 1 || r.RecurrenceYearlyMonth > 12 || r.RecurrenceYearlyDay < 1)
            break;
        while (clamp(year, r.RecurrenceYearlyMonth, r.RecurrenceYearlyDay) < s)
            ++year;
        next[0] = clamp(year, r.RecurrenceYearlyMonth, r.RecurrenceYearlyDay);
        break;
    }
    for (QDate d = s; d <= last; d = d.addDays(1)) {
        const int w = d.dayOfWeek() - 1;
        if (r.RecurrenceUnit == ruDaily && r.RecurrenceDailyType != dtEveryNDays) {
            if (set(workDays, w + 1))
                out << d;
        } else if (r.RecurrenceUnit == ruWeekly) {
            if (d == next[w]) {
                if (set(r.RecurrenceWeeklyDays, w + 1))
                    out << d;
                next[w] = next[w].addDays(every);
            }
        } else if (d == next[0]) {
            out << d;
            if (r.RecurrenceUnit == ruDaily)
                next[0] = d.addDays(every);
            else if (r.RecurrenceUnit == ruMonthly) {
                month = month.addMonths(every);
                next[0] = clamp(month.year(), month.month(), r.RecurrenceMonthlyDay);
            } else
                next[0] = clamp(++year, r.RecurrenceYearlyMonth, r.RecurrenceYearlyDay);
        }
    }
    return out;
}

} // namespace

class TestRecurrence : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { ZTResetClock(); }

    // Hand-computed calendars. Every operation must agree on them: the day view, the collected
    // days, the calendar marks, the exact-minute due scan and the next occurrence.
    void occurrenceDays_data()
    {
        QTest::addColumn<TReminder>("series");
        QTest::addColumn<QString>("workDays");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("expected");
        const QString mf = QStringLiteral("1111100");
        const QDate s(2026, 1, 1);

        QTest::newRow("every 3 days") << Daily({2026, 3, 1}, 3) << mf << QDate(2026, 2, 27) << QDate(2026, 3, 12)
                                      << "2026-03-01 2026-03-04 2026-03-07 2026-03-10";
        QTest::newRow("every day, ends on E") << Daily({2026, 3, 1}, 1, {2026, 3, 4}) << mf << QDate(2026, 2, 28)
                                              << QDate(2026, 3, 8) << "2026-03-01 2026-03-02 2026-03-03 2026-03-04";
        QTest::newRow("every 0 days counts as 1") << Daily({2026, 3, 30}, 0) << mf << QDate(2026, 3, 29) << QDate(2026, 4, 2)
                                                  << "2026-03-30 2026-03-31 2026-04-01 2026-04-02";
        QTest::newRow("working days from a Thursday")
            << WorkingDays(s) << mf << QDate(2025, 12, 29) << QDate(2026, 1, 12)
            << "2026-01-01 2026-01-02 2026-01-05 2026-01-06 2026-01-07 2026-01-08 2026-01-09 2026-01-12";
        QTest::newRow("working days, short work week")
            << WorkingDays(s) << "01" << s << QDate(2026, 1, 14) << "2026-01-06 2026-01-13";
        QTest::newRow("every 2 weeks Mon+Wed from a Wednesday")
            << Weekly({2026, 1, 7}, 2, "1010000") << mf << QDate(2026, 1, 1) << QDate(2026, 2, 4)
            << "2026-01-07 2026-01-19 2026-01-21 2026-02-02 2026-02-04";
        QTest::newRow("every 3 weeks Mon+Fri from a Thursday")
            << Weekly({2026, 1, 8}, 3, "1000100") << mf << QDate(2026, 1, 1) << QDate(2026, 2, 28)
            << "2026-01-09 2026-01-26 2026-01-30 2026-02-16 2026-02-20";
        QTest::newRow("Sundays from a Saturday, every 0 weeks")
            << Weekly({2026, 1, 3}, 0, "0000001") << mf << s << QDate(2026, 1, 18) << "2026-01-04 2026-01-11 2026-01-18";
        QTest::newRow("Wednesdays over a year end, ends on E")
            << Weekly({2025, 12, 24}, 1, "001", {2026, 1, 14}) << mf << QDate(2025, 12, 20) << QDate(2026, 1, 31)
            << "2025-12-24 2025-12-31 2026-01-07 2026-01-14";
        QTest::newRow("day 31 from 15 January") << Monthly({2026, 1, 15}, 31, 1) << mf << s << QDate(2026, 6, 30)
                                                << "2026-01-31 2026-02-28 2026-03-31 2026-04-30 2026-05-31 2026-06-30";
        QTest::newRow("day 31 in a leap year") << Monthly({2024, 1, 15}, 31, 1) << mf << QDate(2024, 1, 1) << QDate(2024, 3, 31)
                                               << "2024-01-31 2024-02-29 2024-03-31";
        QTest::newRow("day 10 every 2 months from 20 March") << Monthly({2026, 3, 20}, 10, 2) << mf << QDate(2026, 3, 1)
                                                             << QDate(2026, 9, 30) << "2026-05-10 2026-07-10 2026-09-10";
        QTest::newRow("day 99 counts as the last day") << Monthly({2026, 4, 30}, 99, 0) << mf << QDate(2026, 4, 1)
                                                       << QDate(2026, 6, 30) << "2026-04-30 2026-05-31 2026-06-30";
        QTest::newRow("5 June from 10 June")
            << Yearly({2026, 6, 10}, 6, 5) << mf << QDate(2026, 5, 1) << QDate(2027, 6, 30) << "2027-06-05";
        QTest::newRow("29 February on the 28th in common years")
            << Yearly({2023, 1, 1}, 2, 29) << mf << QDate(2023, 2, 1) << QDate(2025, 3, 31) << "2023-02-28 2024-02-29 2025-02-28";
        QTest::newRow("29 February 2100 is the 28th")
            << Yearly({2099, 3, 1}, 2, 29) << mf << QDate(2100, 2, 1) << QDate(2100, 3, 1) << "2100-02-28";
        QTest::newRow("31 April falls on 30 April")
            << Yearly(s, 4, 31) << mf << QDate(2026, 4, 1) << QDate(2026, 5, 31) << "2026-04-30";
        // Values out of range never fail; these series simply never occur.
        QTest::newRow("working days without a working day") << WorkingDays(s) << "0000000" << s << QDate(2026, 2, 1) << "";
        QTest::newRow("weekly without weekdays") << Weekly(s, 1, "") << mf << s << QDate(2026, 2, 1) << "";
        QTest::newRow("yearly month 13") << Yearly(s, 13, 1) << mf << s << QDate(2027, 1, 31) << "";
        QTest::newRow("yearly day 0") << Yearly(s, 1, 0) << mf << s << QDate(2027, 1, 31) << "";
        QTest::newRow("monthly day 0") << Monthly(s, 0, 1) << mf << s << QDate(2026, 3, 1) << "";
        QTest::newRow("unit 7") << Series(TRecurrenceUnit(7), s) << mf << s << QDate(2026, 2, 1) << "";
        QTest::newRow("end before start") << Daily(s, 1, s.addDays(-1)) << mf << s.addDays(-3) << s.addDays(3) << "";
    }

    void occurrenceDays()
    {
        QFETCH(TReminder, series);
        QFETCH(QString, workDays);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, expected);
        QList<QDate> want;
        for (const QString &day : expected.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            want << QDate::fromString(day, Qt::ISODate);

        TReminders store(QString{});
        store.WorkDaysSource = [workDays] { return workDays; };
        store.Add(series);
        QList<QDate> shown, due;
        for (QDate d = from; d <= to; d = d.addDays(1)) {
            if (series.OccursOn(store, Day(d)))
                shown << d;
            if (!Due(store, false, d, series.Time).isEmpty())
                due << d;
        }
        QCOMPARE(shown, want);
        QCOMPARE(due, want);
        QCOMPARE(MarkedDays(store, from, to), want);

        TZTDateTimeArray dates;
        QCOMPARE(series.CollectOccurrences(dates, Day(to), workDays), !want.isEmpty());
        QList<QDate> collected;
        for (TDateTime d : dates.Values())
            if (Q(d) >= from)
                collected << Q(d);
        std::sort(collected.begin(), collected.end());
        QCOMPARE(collected, want);

        // Missed up to each day, at the series' minute and the minute before it; after the first
        // occurrence; the latest two only.
        const std::int64_t none = TReminders::NoStamp;
        for (QDate d = from; d <= to; d = d.addDays(1)) {
            const QList<QDate> upTo(want.begin(), std::upper_bound(want.begin(), want.end(), d));
            const QList<QDate> before(want.begin(), std::lower_bound(want.begin(), want.end(), d));
            QCOMPARE(Missed(store, series, none, d, series.Time), upTo);
            QCOMPARE(Missed(store, series, none, d, series.Time - T(0, 1)), before);
        }
        if (!want.isEmpty()) {
            const std::int64_t afterFirst = MinuteStamp(Day(want.first()), series.Time);
            QCOMPARE(Missed(store, series, afterFirst, to, series.Time), want.mid(1));
            QCOMPARE(Missed(store, series, none, to, series.Time, 2), want.mid(std::max<qsizetype>(0, want.size() - 2)));
        }

        for (QDate d = from; d <= to; d = d.addDays(1)) {
            const auto it = std::lower_bound(want.begin(), want.end(), d);
            Pin(d, 0, 0);
            if (it != want.end())
                QCOMPARE(Next(series, store), *it);
            else if (want.isEmpty())
                QCOMPARE(Next(series, store), QDate());
        }
    }

    void nextOccurrence_data()
    {
        QTest::addColumn<TReminder>("reminder");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("expected");
        const auto at = [](const QDate &d, int h, int m) { return QDateTime(d, QTime(h, m)); };
        const QDate fri(2026, 1, 9), wed(2026, 1, 14);

        QTest::newRow("working days: Friday after T") << WorkingDays({2026, 1, 1}) << at(fri, 9, 1) << QDate(2026, 1, 12);
        QTest::newRow("working days: Friday at T") << WorkingDays({2026, 1, 1}) << at(fri, 9, 0) << fri;
        QTest::newRow("Wednesdays, asked on Monday") << Weekly({2026, 1, 1}, 1, "0010000") << at({2026, 1, 12}, 12, 0) << wed;
        QTest::newRow("Tue+Wed, Wednesday morning") << Weekly({2026, 1, 1}, 1, "0110000") << at(wed, 8, 59) << wed;
        QTest::newRow("Tue+Wed, Wednesday after T") << Weekly({2026, 1, 1}, 1, "0110000") << at(wed, 9, 1) << QDate(2026, 1, 20);
        QTest::newRow("on E before T") << Daily({2026, 1, 1}, 1, wed) << at(wed, 8, 0) << wed;
        QTest::newRow("on E after T") << Daily({2026, 1, 1}, 1, wed) << at(wed, 9, 1) << QDate();
        QTest::newRow("start in the future") << Monthly({2027, 3, 20}, 10, 2) << at(wed, 12, 0) << QDate(2027, 5, 10);
        QTest::newRow("every 7 days, 20 years on") << Daily({2006, 1, 2}, 7) << at(wed, 10, 0) << QDate(2026, 1, 19);
        QTest::newRow("yearly 29 February, 20 years on") << Yearly({2006, 1, 1}, 2, 29) << at(wed, 10, 0) << QDate(2026, 2, 28);
        QTest::newRow("one-time, dismissed, same minute") << OneTime(wed, T(9, 0), false) << at(wed, 9, 0) << wed;
        QTest::newRow("one-time passed") << OneTime(wed, T(9, 0)) << at(wed, 9, 1) << QDate();
    }

    void nextOccurrence()
    {
        QFETCH(TReminder, reminder);
        QFETCH(QDateTime, now);
        QFETCH(QDate, expected);
        TReminders store(QString{});
        store.Add(reminder);
        ZTPinClock(now);
        QCOMPARE(Next(reminder, store), expected);
    }

    // Removed (Active) records hide an occurrence everywhere; dismissed ones leave it shown and
    // marked but keep it from coming due and from being the next occurrence. A record matches
    // only its own series, day and minute.
    void exclusionStrengths_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::addColumn<int>("hour");
        QTest::addColumn<bool>("otherSeries");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("due");
        QTest::newRow("removed") << true << 9 << false << false << false;
        QTest::newRow("dismissed") << false << 9 << false << true << false;
        QTest::newRow("removed, other time of day") << true << 10 << false << true << true;
        QTest::newRow("removed, other series") << true << 9 << true << true << true;
    }

    void exclusionStrengths()
    {
        QFETCH(bool, removed);
        QFETCH(int, hour);
        QFETCH(bool, otherSeries);
        QFETCH(bool, shown);
        QFETCH(bool, due);
        const TReminder series = Named(Daily({2026, 3, 1}, 1), "s");
        const QDate day(2026, 3, 5);
        TReminders store(QString{});
        store.Add(series);
        store.AddExclusion(ExclusionOf(otherSeries ? Named(series, "other") : series, day, removed, T(hour, 0)));

        QCOMPARE(series.OccursOn(store, Day(day)), shown);
        QCOMPARE(MarkedDays(store, day, day).size(), shown ? 1 : 0);
        QCOMPARE(Due(store, false, day, series.Time).size(), due ? 1 : 0);
        QCOMPARE(Due(store, true, day, series.Time).contains(QStringLiteral("s 2026-03-05 09:00")), due);
        Pin(day, 8, 0);
        QCOMPARE(Next(series, store), due ? day : day.addDays(1));
    }

    // Exact-minute scans list only what falls on this minute; catch-up lists every missed
    // occurrence without a record, oldest first within each series, and every pending one-time
    // reminder whose moment has passed; rows come in table order and inactive ones never.
    void dueScan_data()
    {
        QTest::addColumn<bool>("catchUp");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QStringList>("expected");
        const QDate wed(2026, 1, 21);
        QTest::newRow("exact 09:00") << false << wed << 9 << 0
                                     << QStringList{"daily 2026-01-21 09:00", "weekly 2026-01-21 09:00"};
        QTest::newRow("exact 10:01") << false << wed << 10 << 1 << QStringList{"once 2026-01-21 10:01"};
        QTest::newRow("exact 23:55") << false << wed << 23 << 55 << QStringList{"late 2026-01-21 23:55"};
        QTest::newRow("exact, Monday off week") << false << QDate(2026, 2, 9) << 9 << 0 << QStringList{"daily 2026-02-09 09:00"};
        QTest::newRow("catch-up 10:00") << true << wed << 10 << 0
                                        << QStringList{"daily 2026-01-19 09:00",  "daily 2026-01-20 09:00",
                                                       "daily 2026-01-21 09:00",  "past 2025-12-01 07:00",
                                                       "weekly 2026-01-07 09:00", "weekly 2026-01-21 09:00"};
        QTest::newRow("catch-up 08:59") << true << wed << 8 << 59
                                        << QStringList{"daily 2026-01-19 09:00", "daily 2026-01-20 09:00",
                                                       "past 2025-12-01 07:00", "weekly 2026-01-07 09:00"};
    }

    void dueScan()
    {
        QFETCH(bool, catchUp);
        QFETCH(QDate, date);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QStringList, expected);
        TReminders store(QString{});
        FillDueStore(store);
        QCOMPARE(Due(store, catchUp, date, T(hour, minute)), expected);
    }

    // The catch-up listing: one line per reminder, a series' latest missed occurrence with the
    // number of earlier ones; the same store as the due scan.
    void catchUpListing_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QStringList>("expected");
        const QDate wed(2026, 1, 21);
        QTest::newRow("10:00") << wed << 10 << 0
                               << QStringList{"daily 2026-01-21 09:00 +2", "past 2025-12-01 07:00 +0",
                                              "weekly 2026-01-21 09:00 +1"};
        QTest::newRow("08:59") << wed << 8 << 59
                               << QStringList{"daily 2026-01-20 09:00 +1", "past 2025-12-01 07:00 +0",
                                              "weekly 2026-01-07 09:00 +0"};
        QTest::newRow("23:59") << wed << 23 << 59
                               << QStringList{"once 2026-01-21 10:01 +0", "daily 2026-01-21 09:00 +2", "past 2025-12-01 07:00 +0",
                                              "weekly 2026-01-21 09:00 +1", "late 2026-01-21 23:55 +0"};
        QTest::newRow("before every start") << QDate(2025, 11, 30) << 23 << 59 << QStringList{};
    }

    void catchUpListing()
    {
        QFETCH(QDate, date);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QStringList, expected);
        TReminders store(QString{});
        FillDueStore(store);
        QCOMPARE(CatchUp(store, date, T(hour, minute)), expected);
    }

private:
    static void FillDueStore(TReminders &store)
    {
        const QDate wed(2026, 1, 21);
        store.Add(Named(OneTime(wed, T(10, 1)), "once"));
        store.Add(Named(OneTime({2025, 12, 2}, T(7, 0), false), "dismissed"));
        store.Add(Named(Daily({2026, 1, 10}, 1), "daily"));
        store.Add(Named(OneTime({2025, 12, 1}, T(7, 0)), "past"));
        TReminder inactive = Named(Daily({2026, 1, 1}, 1), "inactive");
        inactive.Active = false;
        store.Add(inactive);
        const TReminder weekly = Named(Weekly({2026, 1, 7}, 2, "1010000"), "weekly");
        store.Add(weekly);
        store.Add(Named(OneTime(wed, T(23, 55)), "late"));
        // Dismissed and removed occurrences never come due again.
        const TReminder daily = Named(Daily({2026, 1, 10}, 1), "daily");
        for (int d = 10; d <= 18; ++d)
            store.AddExclusion(ExclusionOf(daily, {2026, 1, d}, d % 2));
        store.AddExclusion(ExclusionOf(weekly, {2026, 1, 19}, false));
        // Records that cover nothing more: a second one for the same occurrence, one at another
        // minute, one on a day the series does not fall on.
        store.AddExclusion(ExclusionOf(daily, {2026, 1, 12}, true));
        store.AddExclusion(ExclusionOf(daily, {2026, 1, 20}, false, T(10, 0)));
        store.AddExclusion(ExclusionOf(weekly, {2026, 1, 20}, true));
    }

private Q_SLOTS:

    // The day view shows a one-time reminder from 00:00 to 23:50 of its day only.
    void oneTimeDayView_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<bool>("shown");
        QTest::newRow("00:00") << 0 << 0 << true;
        QTest::newRow("23:50") << 23 << 50 << true;
        QTest::newRow("23:51") << 23 << 51 << false;
    }

    void oneTimeDayView()
    {
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(bool, shown);
        const QDate day(2026, 3, 10);
        TReminders store(QString{});
        const TReminder r = OneTime(day, EncodeTime(hour, minute, 59));
        QCOMPARE(r.OccursOn(store, Day(day)), shown);
        QVERIFY(!r.OccursOn(store, Day(day.addDays(1))) && !r.OccursOn(store, Day(day.addDays(-1))));
    }

    // A range longer than 62 days marks its first 62 days and writes nothing else; a 62-day
    // range over three months finds the middle month's yearly day.
    void marksStayWithinTheRange()
    {
        TReminders store(QString{});
        store.Add(Daily({2020, 1, 1}, 1));
        store.BuildMonthMarks(2, Day({2026, 1, 1}), Day({2026, 1, 31}));
        store.BuildMonthMarks(1, Day({2026, 3, 1}), Day({2026, 9, 1}));
        for (int i = 1; i <= TReminders::MarkCount; ++i) {
            QVERIFY(store.Mark(1, i));
            QCOMPARE(store.Mark(2, i), i <= 31);
        }
        TReminders yearly(QString{});
        yearly.Add(Yearly({2020, 1, 1}, 3, 15));
        QCOMPARE(MarkedDays(yearly, {2026, 1, 31}, {2026, 4, 2}), QList<QDate>{QDate(2026, 3, 15)});
    }

    // The arithmetic against the literal day-by-day walk, over generated series of every unit,
    // near their start and twenty years on, with exclusions of both strengths.
    void sweepAgainstLiteralWalk()
    {
        QRandomGenerator rng(20260121);
        const QString workDays = QStringLiteral("1101110");
        for (int n = 0; n < 240; ++n) {
            const QDate start = QDate(1990, 1, 1).addDays(rng.bounded(16000));
            const QDate end = rng.bounded(2) ? QDate() : start.addDays(rng.bounded(9000));
            QString days;
            for (int w = rng.bounded(4) ? 7 : 4; w > 0; --w)
                days += rng.bounded(3) ? QLatin1Char('0') : QLatin1Char('1');
            const TReminder made[5] = {Daily(start, rng.bounded(-1, 11), end), WorkingDays(start, end),
                                       Weekly(start, rng.bounded(0, 6), days, end),
                                       Monthly(start, rng.bounded(1, 32), rng.bounded(0, 14), end),
                                       Yearly(start, rng.bounded(1, 13), rng.bounded(1, 32), end)};
            TReminder r = made[n % 5];
            r.Time = T(rng.bounded(24), rng.bounded(60));
            const int minute = MinuteOfDay(r.Time);
            const QSet<QDate> literal = LiteralDays(r, workDays, start.addDays(10000));
            QList<QDate> sorted(literal.begin(), literal.end());
            std::sort(sorted.begin(), sorted.end());

            TReminders store(QString{});
            store.WorkDaysSource = [workDays] { return workDays; };
            store.Add(r);
            // Exclusions only near the start, so twenty years on the next occurrence lies well
            // within the walk's horizon.
            QSet<QDate> removed, excluded;
            const int early = int(std::upper_bound(sorted.begin(), sorted.end(), start.addDays(400)) - sorted.begin());
            for (int k = 0; k < 12 && early > 0; ++k) {
                const QDate d = sorted.at(rng.bounded(early));
                const bool active = rng.bounded(2);
                store.AddExclusion(ExclusionOf(r, d, active));
                excluded << d;
                if (active)
                    removed << d;
            }
            const auto fail = [&](const QDate &d) {
                return QStringLiteral("series %1 unit %2 start %3 day %4")
                    .arg(n)
                    .arg(int(r.RecurrenceUnit))
                    .arg(start.toString(Qt::ISODate), d.toString(Qt::ISODate))
                    .toUtf8();
            };

            for (const QDate &first : {start.addDays(-5), start.addDays(7000)}) {
                const QDate last = first.addDays(400);
                for (QDate d = first; d <= last; d = d.addDays(1)) {
                    const bool occurs = literal.contains(d);
                    if (r.OccursOn(store, Day(d)) != (occurs && !removed.contains(d))
                        || Due(store, false, d, r.Time).size() != ((occurs && !excluded.contains(d)) ? 1 : 0))
                        QFAIL(fail(d).constData());
                    const int now = rng.bounded(1440);
                    Pin(d, now / 60, now % 60);
                    QDate want;
                    for (auto it = std::lower_bound(sorted.begin(), sorted.end(), d); it != sorted.end() && !want.isValid(); ++it)
                        if (!(*it == d && minute < now) && !excluded.contains(*it))
                            want = *it;
                    if (Next(r, store) != want)
                        QFAIL(fail(d).constData());
                }
                QList<QDate> wantMarked;
                for (QDate d = first; d <= first.addDays(123); d = d.addDays(1))
                    if (literal.contains(d) && !removed.contains(d))
                        wantMarked << d;
                if (MarkedDays(store, first, first.addDays(123)) != wantMarked)
                    QFAIL(fail(first).constData());
                QStringList wantDue;
                QList<QDate> missed;
                for (const QDate &d : sorted)
                    if (d <= last && !excluded.contains(d)) {
                        wantDue << QStringLiteral("%1 %2 %3")
                                       .arg(r.Id, d.toString(Qt::ISODate),
                                            DateTimeToQTime(r.Time).toString(QStringLiteral("HH:mm")));
                        missed << d;
                    }
                if (Due(store, true, last, r.Time) != wantDue)
                    QFAIL(fail(last).constData());
                // The missed occurrences counted by the arithmetic: all of them, those after a
                // day of the range, and the catch-up line.
                const QDate cut = first.addDays(rng.bounded(401));
                const QList<QDate> afterCut(std::upper_bound(missed.begin(), missed.end(), cut), missed.end());
                const QStringList wantLine = missed.isEmpty()
                                                 ? QStringList()
                                                 : QStringList{wantDue.last() + QStringLiteral(" +%1").arg(missed.size() - 1)};
                if (Missed(store, r, TReminders::NoStamp, last, r.Time) != missed
                    || Missed(store, r, MinuteStamp(Day(cut), r.Time), last, r.Time) != afterCut
                    || CatchUp(store, last, r.Time) != wantLine)
                    QFAIL(fail(cut).constData());
            }
        }
    }
};

VENTARO_TEST_MAIN(TestRecurrence, QCoreApplication)
#include "tst_Recurrence.moc"
