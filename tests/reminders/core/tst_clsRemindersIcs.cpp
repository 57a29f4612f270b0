#include "TestEnv.h"
#include "TestFiles.h"
#include "clsReminders.h"
#include "clsRemindersIcs.h"
#include "uFunctions.h"

#include <QRandomGenerator>
#include <QtTest>

#include <libical/ical.h>

#include <algorithm>
#include <ctime>

// Every test runs in Lisbon's zone, which has daylight saving time.
namespace {

TDateTime D(int y, int m, int d)
{
    return EncodeDate(y, m, d);
}

TReminder Series(TRecurrenceUnit unit, TDateTime start, int hour, int minute)
{
    TReminder r = *TReminder::Create();
    r.Recurring = true;
    r.Active = true;
    r.PlaySound = true;
    r.ReminderMessage = QStringLiteral("Series");
    r.RecurrenceUnit = unit;
    r.Date = r.RecurrenceStart = r.RecurrenceEndBy = start;
    r.RecurrenceNoEnd = true;
    r.Time = EncodeTime(hour, minute);
    r.RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

// The series of the mapping table, one per row; `kind` picks the rule's values.
TReminder TableSeries(const QString &kind)
{
    TReminder r = Series(ruDaily, D(2026, 3, 1), 9, 30);
    const QStringList p = kind.split(QLatin1Char(' '));
    const QString unit = p.at(0);
    if (unit == QLatin1String("daily")) {
        r.RecurrenceDailyType = dtEveryNDays;
        r.RecurrenceDailyEvery = p.at(1).toInt();
    } else if (unit == QLatin1String("workdays")) {
        r.RecurrenceDailyType = dtEveryWeekday;
    } else if (unit == QLatin1String("weekly")) {
        r.RecurrenceUnit = ruWeekly;
        r.RecurrenceWeeklyEvery = p.at(1).toInt();
        r.RecurrenceWeeklyDays = p.at(2);
    } else if (unit == QLatin1String("monthly")) {
        r.RecurrenceUnit = ruMonthly;
        r.RecurrenceMonthlyDay = p.at(1).toInt();
        r.RecurrenceMonthlyEvery = p.at(2).toInt();
    } else if (unit == QLatin1String("yearly")) {
        r.RecurrenceUnit = ruYearly;
        r.RecurrenceYearlyMonth = p.at(1).toInt();
        r.RecurrenceYearlyDay = p.at(2).toInt();
    }
    for (const QString &word : p) {
        if (word.startsWith(QLatin1String("from=")))
            r.Date = r.RecurrenceStart = QDateToDateTime(QDate::fromString(word.mid(5), Qt::ISODate));
        if (word.startsWith(QLatin1String("end="))) {
            r.RecurrenceNoEnd = false;
            r.RecurrenceEndBy = QDateToDateTime(QDate::fromString(word.mid(4), Qt::ISODate));
        }
    }
    return r;
}

struct TParsed {
    icalcomponent *Root = nullptr;
    icalcomponent *Event = nullptr;
    ~TParsed() { icalcomponent_free(Root); }
};

void Parse(const QByteArray &ics, TParsed &out)
{
    out.Root = icalparser_parse_string(ics.constData());
    QVERIFY(out.Root);
    out.Event = icalcomponent_get_first_component(out.Root, ICAL_VEVENT_COMPONENT);
    QVERIFY(out.Event);
}

QByteArray Normal(const QByteArray &rule)
{
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.constData());
    return icalrecurrencetype_as_string(&r);
}

// Rows in the file's own line form, sorted, so two stores compare row for row.
QStringList Rows(TReminders &store)
{
    QStringList rows;
    TReminder r;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, r);
        rows << store.FormatLine(r, true);
    }
    for (int i = 0; i < store.ExclusionRowCount(); ++i) {
        store.ReadExclusionRow(i, r);
        rows << store.FormatLine(r, true);
    }
    rows.sort();
    return rows;
}

// What a test reads of a row: "D/M/YYYY H:M", then the rule and the end.
QString Describe(const TReminder &r)
{
    QString s = DateToText(r.Date) + QLatin1Char(' ') + TimeToText(r.Time);
    switch (r.RecurrenceUnit) {
    case ruDaily:
        s += r.RecurrenceDailyType == dtEveryNDays ? QStringLiteral(" daily %1").arg(r.RecurrenceDailyEvery)
                                                   : QStringLiteral(" workdays");
        break;
    case ruWeekly:
        s += QStringLiteral(" weekly %1 %2").arg(r.RecurrenceWeeklyEvery).arg(r.RecurrenceWeeklyDays);
        break;
    case ruMonthly:
        s += QStringLiteral(" monthly %1 %2").arg(r.RecurrenceMonthlyDay).arg(r.RecurrenceMonthlyEvery);
        break;
    case ruYearly:
        s += QStringLiteral(" yearly %1 %2").arg(r.RecurrenceYearlyMonth).arg(r.RecurrenceYearlyDay);
        break;
    case ruNone:
        break;
    }
    if (r.Recurring && !r.RecurrenceNoEnd)
        s += QStringLiteral(" until ") + DateToText(r.RecurrenceEndBy);
    if (!r.Active)
        s += QStringLiteral(" dismissed");
    return s;
}

QByteArray Calendar(const QByteArray &body)
{
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Hand written//EN\r\n" + body;
    text.replace("\n", "\r\n").replace("\r\r\n", "\r\n");
    return text + "END:VCALENDAR\r\n";
}

// A New York zone as calendar programs write it beside their events.
const QByteArray NewYork = "BEGIN:VTIMEZONE\nTZID:America/New_York\nBEGIN:DAYLIGHT\nTZOFFSETFROM:-0500\n"
                           "TZOFFSETTO:-0400\nTZNAME:EDT\nDTSTART:19700308T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\n"
                           "END:DAYLIGHT\nBEGIN:STANDARD\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nTZNAME:EST\n"
                           "DTSTART:19701101T020000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\nEND:STANDARD\nEND:VTIMEZONE\n";

} // namespace

class TestClsRemindersIcs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Lisbon");
        tzset();
    }

    // Each series kind gives its exact RRULE and its first occurrence as DTSTART, with the
    // local zone; reading the event gives back the same row.
    void mappingTable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("dtstart");
        QTest::addColumn<QByteArray>("rrule");
        QTest::newRow("every 3 days") << "daily 3" << QByteArray("20260301T093000") << QByteArray("FREQ=DAILY;INTERVAL=3");
        QTest::newRow("working days from a Saturday")
            << "workdays from=2026-01-10" << QByteArray("20260112T093000") << QByteArray("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
        QTest::newRow("every 2 weeks Mon+Wed from a Wednesday")
            << "weekly 2 1010000 from=2026-01-07" << QByteArray("20260107T093000")
            << QByteArray("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;WKST=MO");
        QTest::newRow("weekly Monday from a Saturday") << "weekly 3 1000000 from=2026-01-10" << QByteArray("20260126T093000")
                                                       << QByteArray("FREQ=WEEKLY;INTERVAL=3;BYDAY=MO;WKST=MO");
        QTest::newRow("day 10 every 2 months from 20 March") << "monthly 10 2 from=2026-03-20" << QByteArray("20260510T093000")
                                                             << QByteArray("FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=10");
        QTest::newRow("day 29") << "monthly 29 1 from=2026-02-01" << QByteArray("20260228T093000")
                                << QByteArray("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=28,29;BYSETPOS=-1");
        QTest::newRow("day 30") << "monthly 30 1 from=2026-02-01" << QByteArray("20260228T093000")
                                << QByteArray("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=28,29,30;BYSETPOS=-1");
        QTest::newRow("day 31 from 15 January") << "monthly 31 1 from=2026-01-15" << QByteArray("20260131T093000")
                                                << QByteArray("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1");
        QTest::newRow("5 June from 10 June")
            << "yearly 6 5 from=2026-06-10" << QByteArray("20270605T093000") << QByteArray("FREQ=YEARLY;BYMONTH=6;BYMONTHDAY=5");
        QTest::newRow("29 February") << "yearly 2 29 from=2026-01-01" << QByteArray("20260228T093000")
                                     << QByteArray("FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1");
        QTest::newRow("31 April") << "yearly 4 31 from=2026-01-01" << QByteArray("20260430T093000")
                                  << QByteArray("FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=-1");
        // The end at the series' time in UTC: 09:30 summer time in Lisbon is 08:30 UTC.
        QTest::newRow("end date") << "monthly 31 1 from=2026-01-15 end=2026-06-30" << QByteArray("20260131T093000")
                                  << QByteArray("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1;UNTIL=20260630T083000Z");
    }

    void mappingTable()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, dtstart);
        QFETCH(QByteArray, rrule);
        const TReminder row = TableSeries(kind);
        const QByteArray ics = ReminderToIcs(row, {}, QStringLiteral("1111100"));
        TParsed parsed;
        Parse(ics, parsed);
        icalproperty *start = icalcomponent_get_first_property(parsed.Event, ICAL_DTSTART_PROPERTY);
        QCOMPARE(QByteArray(icalproperty_get_value_as_string(start)), dtstart);
        QCOMPARE(QByteArray(icalparameter_get_tzid(icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER))),
                 QByteArray("Europe/Lisbon"));
        icalproperty *rule = icalcomponent_get_first_property(parsed.Event, ICAL_RRULE_PROPERTY);
        QVERIFY(rule);
        QCOMPARE(QByteArray(icalproperty_get_value_as_string(rule)), Normal(rrule));
        const bool workDays = kind.startsWith(QLatin1String("workdays"));
        QCOMPARE(ics.contains("X-VENTARO-WORKDAYS:1"), workDays);
        icalcomponent *alarm = icalcomponent_get_first_component(parsed.Event, ICAL_VALARM_COMPONENT);
        QVERIFY(alarm);
        QCOMPARE(icalproperty_get_action(icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY)), ICAL_ACTION_DISPLAY);
        QCOMPARE(icaldurationtype_as_int(
                     icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY)).duration),
                 0);
        QCOMPARE(icalcomponent_get_uid(parsed.Event), row.Id.toUtf8());
        QVERIFY(icalcomponent_get_first_property(parsed.Event, ICAL_DTSTAMP_PROPERTY));
        QCOMPARE(icalproperty_get_transp(icalcomponent_get_first_property(parsed.Event, ICAL_TRANSP_PROPERTY)),
                 ICAL_TRANSP_TRANSPARENT);

        const TIcsReading back = ReadIcs(ics, QStringLiteral("1111100"));
        QCOMPARE(back.Reminders.size(), std::size_t(1));
        TReminders store(QString{});
        QCOMPARE(store.FormatLine(back.Reminders[0].Row, true), store.FormatLine(row, true));
    }

    // The occurrences libical expands from the exported event (rule, start, end, removed
    // occurrences) are the program's own over five years, for every kind of series.
    void expansionMatchesProgram_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("workDays");
        const QString week = QStringLiteral("1111100");
        QTest::newRow("every day") << "daily 1 from=2024-01-01" << week;
        QTest::newRow("every 7 days, ending") << "daily 7 from=2024-02-29 end=2027-03-03" << week;
        QTest::newRow("working days") << "workdays from=2024-01-06" << week;
        QTest::newRow("working days, another week") << "workdays from=2024-01-06" << QStringLiteral("0110011");
        QTest::newRow("weekly 1 weekend") << "weekly 1 0000011 from=2024-01-03" << week;
        QTest::newRow("weekly 3 Mon Thu Sun") << "weekly 3 1001001 from=2024-01-05" << week;
        QTest::newRow("monthly 15 every 4") << "monthly 15 4 from=2024-01-20" << week;
        QTest::newRow("monthly 29 leap Feb") << "monthly 29 1 from=2024-01-30" << week;
        QTest::newRow("monthly 30 every 3") << "monthly 30 3 from=2024-02-01" << week;
        QTest::newRow("monthly 31 every 1") << "monthly 31 1 from=2024-01-15" << week;
        QTest::newRow("monthly 31 every 5, ending") << "monthly 31 5 from=2024-03-31 end=2028-02-29" << week;
        QTest::newRow("yearly 29 Feb") << "yearly 2 29 from=2024-03-01" << week;
        QTest::newRow("yearly 31 Dec") << "yearly 12 31 from=2024-01-01" << week;
        QTest::newRow("yearly 31 Sep") << "yearly 9 31 from=2024-01-01" << week;
        QTest::newRow("yearly, end before first") << "yearly 6 5 from=2024-06-10 end=2025-01-01" << week;
    }

    void expansionMatchesProgram()
    {
        QFETCH(QString, kind);
        QFETCH(QString, workDays);
        TReminder row = TableSeries(kind);
        // Two removed and one dismissed occurrence, on days the series has.
        TZTDateTimeArray days;
        const TDateTime horizon = QDateToDateTime(QDate(2028, 12, 31));
        row.CollectOccurrences(days, horizon, workDays);
        QStringList expected;
        for (int i = 0; i < days.Count(); ++i)
            expected << DateTimeToQDate(days.Items(i)).toString(Qt::ISODate) + QStringLiteral(" 09:30");
        expected.sort();
        std::vector<TReminder> exclusions;
        for (int k : {1, 5, 9}) {
            if (k >= expected.size())
                continue;
            TReminder occurrence = row;
            occurrence.OccurrenceDate = QDateToDateTime(QDate::fromString(expected.at(k).left(10), Qt::ISODate));
            occurrence.OccurrenceTime = row.Time;
            auto x = occurrence.MakeExclusion();
            x->Active = k != 9;
            exclusions.push_back(*x);
        }
        const bool dismissed = expected.size() > 9;
        for (int k : {5, 1})
            if (k < expected.size())
                expected.removeAt(k);

        const QByteArray ics = ReminderToIcs(row, exclusions, workDays);
        TParsed parsed;
        Parse(ics, parsed);
        const icaltimetype start = icalcomponent_get_dtstart(parsed.Event);
        QVERIFY(start.zone);
        QSet<QString> removed;
        for (icalproperty *p = icalcomponent_get_first_property(parsed.Event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(parsed.Event, ICAL_EXDATE_PROPERTY))
            removed << QString::fromLatin1(icaltime_as_ical_string(icalproperty_get_exdate(p)));
        icalrecur_iterator *it = icalrecur_iterator_new(
            icalproperty_get_rrule(icalcomponent_get_first_property(parsed.Event, ICAL_RRULE_PROPERTY)), start);
        QStringList expanded;
        for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t); t = icalrecur_iterator_next(it)) {
            if (QDate(t.year, t.month, t.day) > QDate(2028, 12, 31))
                break;
            if (!removed.contains(QString::fromLatin1(icaltime_as_ical_string(t))))
                expanded << QStringLiteral("%1-%2-%3 %4:%5")
                                .arg(t.year, 4, 10, QLatin1Char('0'))
                                .arg(t.month, 2, 10, QLatin1Char('0'))
                                .arg(t.day, 2, 10, QLatin1Char('0'))
                                .arg(t.hour, 2, 10, QLatin1Char('0'))
                                .arg(t.minute, 2, 10, QLatin1Char('0'));
        }
        icalrecur_iterator_free(it);
        QCOMPARE(expanded, expected);
        // The dismissed occurrence stays an instance and is the alarm's acknowledgement.
        QCOMPARE(ics.contains("ACKNOWLEDGED:"), dismissed);
    }

    // A generated store of 1,000 rows of every kind exports and imports back row for row; a
    // second import of the same file replaces each reminder instead of adding a copy.
    void roundTripOfGeneratedStore()
    {
        QRandomGenerator rng(20260121);
        TReminders store(QString{});
        std::vector<TReminder> series;
        const QStringList kinds = {QStringLiteral("daily 4"),          QStringLiteral("workdays"),
                                   QStringLiteral("weekly 2 0101010"), QStringLiteral("monthly 31 2"),
                                   QStringLiteral("monthly 29 1"),     QStringLiteral("monthly 12 7"),
                                   QStringLiteral("yearly 2 29"),      QStringLiteral("yearly 11 31")};
        for (int i = 0; i < 700; ++i) {
            TReminder r = TableSeries(kinds.at(i % kinds.size()));
            r.Recurring = i % 2;
            r.Id = TReminder::NewId();
            r.ReminderMessage = QStringLiteral("Row %1; a, b\\c\r\nsecond line \u20ac").arg(i);
            if (i % 97 == 0)
                r.ReminderMessage = i % 2 ? QString() : QStringLiteral("\r\nfirst line empty");
            const QDate day = QDate(2026, 1, 21).addDays(rng.bounded(-4000, 1000));
            r.Time = EncodeTime(rng.bounded(24), rng.bounded(60));
            r.PlaySound = rng.bounded(2);
            r.RepeatSound = rng.bounded(2);
            r.SoundFile = rng.bounded(3) ? QString() : QStringLiteral("/sounds/a;b, c.wav");
            r.ProgramLocation = rng.bounded(3) ? QString() : QStringLiteral("/usr/bin/true");
            r.RunProgram = !r.ProgramLocation.isEmpty() && rng.bounded(2);
            r.Active = rng.bounded(8) != 0;
            if (r.Recurring) {
                r.Date = r.RecurrenceStart = QDateToDateTime(day);
                r.RecurrenceNoEnd = rng.bounded(4) != 0;
                r.RecurrenceEndBy = r.RecurrenceNoEnd ? 0 : QDateToDateTime(day.addDays(rng.bounded(1, 3000)));
                series.push_back(r);
            } else {
                r.Date = r.RecurrenceStart = r.RecurrenceEndBy = QDateToDateTime(day);
                r.RecurrenceNoEnd = true;
            }
            store.Add(r);
        }
        const QString workDays = store.WorkDays();
        while (store.ExclusionRowCount() < 300) {
            const TReminder &s = series[rng.bounded(int(series.size()))];
            TZTDateTimeArray days;
            if (!s.CollectOccurrences(days, QDateToDateTime(QDate(2026, 6, 1)), workDays))
                continue;
            TReminder occurrence = s;
            occurrence.OccurrenceDate = days.Items(rng.bounded(days.Count()));
            occurrence.OccurrenceTime = s.Time;
            auto x = occurrence.MakeExclusion();
            x->Active = rng.bounded(2);
            store.AddExclusion(*x);
        }
        QCOMPARE(store.MainRowCount() + store.ExclusionRowCount(), 1000);
        // What comes back: the same rows, with "Run a program" off.
        TReminders expected(QString{});
        TReminder row;
        for (int i = 0; i < store.MainRowCount(); ++i) {
            store.ReadMainRow(i, row);
            row.RunProgram = false;
            expected.Add(row);
        }
        for (int i = 0; i < store.ExclusionRowCount(); ++i) {
            store.ReadExclusionRow(i, row);
            row.RunProgram = false;
            expected.AddExclusion(row);
        }

        TTestEnv env;
        const QString path = env.Path(QStringLiteral("store.ics"));
        QCOMPARE(Catch([&] { ExportIcs(store, path); }).Message, QStringLiteral("700 reminders exported."));
        TReminders back(QString{});
        const TRaised imported = Catch([&] { ImportIcs(back, path); });
        QVERIFY2(imported.Message == QStringLiteral("700 reminders imported."), qPrintable(imported.Details));
        QCOMPARE(imported.Severity, 2);
        QCOMPARE(Rows(back), Rows(expected));

        const TRaised again = Catch([&] { ImportIcs(back, path); });
        QCOMPARE(again.Message, QStringLiteral("700 reminders imported."));
        QVERIFY(again.Details.contains(QStringLiteral("700 of them replaced")));
        QCOMPARE(Rows(back), Rows(expected));
    }

    // Files as other calendar programs write them: each event gives the row described.
    void foreignEvents_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("rows");
        const QByteArray head = "BEGIN:VEVENT\nUID:a@example.org\nSUMMARY:Dentist\n";
        QTest::newRow("UTC start, summer") << head + "DTSTART:20260615T080000Z\nEND:VEVENT\n"
                                           << QStringList{QStringLiteral("15/6/2026 9:0")};
        QTest::newRow("zoned start with its VTIMEZONE")
            << NewYork + head + "DTSTART;TZID=America/New_York:20260114T100000\nEND:VEVENT\n"
            << QStringList{QStringLiteral("14/1/2026 15:0")};
        QTest::newRow("floating start") << head + "DTSTART:20260301T073000\nEND:VEVENT\n"
                                        << QStringList{QStringLiteral("1/3/2026 7:30")};
        QTest::newRow("all-day without alarm") << head + "DTSTART;VALUE=DATE:20260310\nDTEND;VALUE=DATE:20260311\nEND:VEVENT\n"
                                               << QStringList{QStringLiteral("10/3/2026 9:0")};
        QTest::newRow("all-day, alarm the day before")
            << head + "DTSTART;VALUE=DATE:20260310\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT15H\nEND:VALARM\nEND:VEVENT\n"
            << QStringList{QStringLiteral("9/3/2026 9:0")};
        QTest::newRow("alarm related to the end")
            << head
                   + "DTSTART:20260301T100000\nDTEND:20260301T110000\nBEGIN:VALARM\nACTION:EMAIL\nTRIGGER:-PT1H\n"
                     "END:VALARM\nBEGIN:VALARM\nACTION:AUDIO\nTRIGGER;RELATED=END:-PT5M\nEND:VALARM\nEND:VEVENT\n"
            << QStringList{QStringLiteral("1/3/2026 10:55")};
        QTest::newRow("absolute alarm")
            << head
                   + "DTSTART:20260301T100000Z\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER;VALUE=DATE-TIME:20260228T120000Z\n"
                     "END:VALARM\nEND:VEVENT\n"
            << QStringList{QStringLiteral("28/2/2026 12:0")};
        QTest::newRow("acknowledged one-time") << head
                                                      + "DTSTART:20260301T100000\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:PT0S\n"
                                                        "ACKNOWLEDGED:20260301T100500Z\nEND:VALARM\nEND:VEVENT\n"
                                               << QStringList{QStringLiteral("1/3/2026 10:0 dismissed")};
        QTest::newRow("COUNT becomes the last occurrence's day")
            << head + "DTSTART;TZID=Europe/Lisbon:20260106T180000\nRRULE:FREQ=WEEKLY;BYDAY=TU;COUNT=3\nEND:VEVENT\n"
            << QStringList{QStringLiteral("6/1/2026 18:0 weekly 1 0100000 until 20/1/2026")};
        QTest::newRow("UNTIL before the time of its last day")
            << head + "DTSTART:20260101T180000\nRRULE:FREQ=DAILY;UNTIL=20260110T120000\nEND:VEVENT\n"
            << QStringList{QStringLiteral("1/1/2026 18:0 daily 1 until 9/1/2026")};
        QTest::newRow("every weekday as written elsewhere")
            << head + "DTSTART:20260105T080000\nRRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR\nEND:VEVENT\n"
            << QStringList{QStringLiteral("5/1/2026 8:0 weekly 1 1111100")};
        QTest::newRow("alarm the day before a weekly event")
            << head
                   + "DTSTART:20260105T080000\nRRULE:FREQ=WEEKLY;BYDAY=MO,TH\nBEGIN:VALARM\nACTION:DISPLAY\n"
                     "TRIGGER:-P1D\nEND:VALARM\nEND:VEVENT\n"
            << QStringList{QStringLiteral("4/1/2026 8:0 weekly 1 0010001")};
        QTest::newRow("monthly, no day named") << head + "DTSTART:20260115T080000\nRRULE:FREQ=MONTHLY\nEND:VEVENT\n"
                                               << QStringList{QStringLiteral("15/1/2026 8:0 monthly 15 1")};
        QTest::newRow("zoned weekly in a zone that shifts with ours")
            << QByteArray("BEGIN:VEVENT\nUID:b\nSUMMARY:Call\nDTSTART;TZID=Europe/London:20260302T090000\n"
                          "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO\nEND:VEVENT\n")
            << QStringList{QStringLiteral("2/3/2026 9:0 weekly 2 1000000")};
        QTest::newRow("moved occurrence")
            << head
                   + "DTSTART:20260105T080000\nRRULE:FREQ=DAILY\nEND:VEVENT\n"
                     "BEGIN:VEVENT\nUID:a@example.org\nSUMMARY:Dentist later\nRECURRENCE-ID:20260107T080000\n"
                     "DTSTART:20260107T110000\nEND:VEVENT\n"
            << QStringList{QStringLiteral("5/1/2026 8:0 daily 1"), QStringLiteral("removed 7/1/2026 8:0"),
                           QStringLiteral("7/1/2026 11:0")};
        QTest::newRow("removed occurrences")
            << head
                   + "DTSTART;TZID=Europe/Lisbon:20260105T080000\nRRULE:FREQ=DAILY;INTERVAL=2\n"
                     "EXDATE;TZID=Europe/Lisbon:20260107T080000,20260111T080000\nEND:VEVENT\n"
            << QStringList{QStringLiteral("5/1/2026 8:0 daily 2"), QStringLiteral("removed 7/1/2026 8:0"),
                           QStringLiteral("removed 11/1/2026 8:0")};
        QTest::newRow("cancelled occurrence")
            << head
                   + "DTSTART:20260105T080000\nRRULE:FREQ=DAILY\nEND:VEVENT\n"
                     "BEGIN:VEVENT\nUID:a@example.org\nRECURRENCE-ID:20260107T080000\nSTATUS:CANCELLED\n"
                     "DTSTART:20260107T080000\nEND:VEVENT\n"
            << QStringList{QStringLiteral("5/1/2026 8:0 daily 1"), QStringLiteral("removed 7/1/2026 8:0")};
        QTest::newRow("series acknowledged up to its second occurrence")
            << head
                   + "DTSTART:20260105T080000\nRRULE:FREQ=DAILY;COUNT=5\nBEGIN:VALARM\nACTION:DISPLAY\n"
                     "TRIGGER:PT0S\nACKNOWLEDGED:20260106T090000Z\nEND:VALARM\nEND:VEVENT\n"
            << QStringList{QStringLiteral("5/1/2026 8:0 daily 1 until 9/1/2026"), QStringLiteral("dismissed 5/1/2026 8:0"),
                           QStringLiteral("dismissed 6/1/2026 8:0")};
        QTest::newRow("to-do with a due time")
            << QByteArray("BEGIN:VTODO\nUID:t\nSUMMARY:Taxes\nDUE:20260430T170000Z\nEND:VTODO\n")
            << QStringList{QStringLiteral("30/4/2026 18:0")};
    }

    void foreignEvents()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, rows);
        const TIcsReading reading = ReadIcs(Calendar(body), QStringLiteral("1111100"));
        QCOMPARE(reading.Skipped, QStringList());
        QStringList got;
        for (const TIcsReminder &item : reading.Reminders) {
            got << Describe(item.Row);
            for (const TReminder &x : item.Exclusions)
                got << (x.Active ? QStringLiteral("removed ") : QStringLiteral("dismissed ")) + DateToText(x.Date)
                           + QLatin1Char(' ') + TimeToText(x.Time);
        }
        QCOMPARE(got, rows);
    }

    // Rules this program cannot keep are skipped whole, each with its reason.
    void unsupportedRules_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("reason");
        QTest::newRow("second Tuesday") << QByteArray("RRULE:FREQ=MONTHLY;BYDAY=2TU") << "second Tuesday";
        QTest::newRow("hourly") << QByteArray("RRULE:FREQ=HOURLY;INTERVAL=4") << "more often than daily";
        QTest::newRow("BYSETPOS") << QByteArray("RRULE:FREQ=MONTHLY;BYMONTHDAY=1,2,3;BYSETPOS=2") << "BYSETPOS";
        QTest::newRow("RDATE") << QByteArray("RRULE:FREQ=DAILY\nRDATE:20260320T080000") << "RDATE";
        QTest::newRow("31st only where it exists") << QByteArray("RRULE:FREQ=MONTHLY;BYMONTHDAY=31") << "months that have";
        QTest::newRow("every 2 years") << QByteArray("RRULE:FREQ=YEARLY;INTERVAL=2") << "every 2 years";
        QTest::newRow("rule that does not read") << QByteArray("RRULE:FREQ=SOMETIMES") << "does not read";
        QTest::newRow("UTC time across daylight saving")
            << QByteArray("RRULE:FREQ=WEEKLY;BYDAY=TU\nX-START-UTC:1") << "daylight saving";
    }

    void unsupportedRules()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, reason);
        const QByteArray start = lines.contains("X-START-UTC") ? "DTSTART:20260310T090000Z" : "DTSTART:20260310T090000";
        const QByteArray body = "BEGIN:VEVENT\nUID:x\nSUMMARY:Kept out\n" + start + "\n" + lines
                                + "\nEND:VEVENT\nBEGIN:VEVENT\nUID:y\nSUMMARY:Kept\nDTSTART:20260310T090000\nEND:VEVENT\n";
        const TIcsReading reading = ReadIcs(Calendar(body), QStringLiteral("1111100"));
        QCOMPARE(reading.Reminders.size(), std::size_t(1));
        QCOMPARE(reading.Reminders[0].Row.ReminderMessage, QStringLiteral("Kept"));
        QCOMPARE(reading.Skipped.size(), 1);
        QVERIFY2(reading.Skipped[0].startsWith(QStringLiteral("\"Kept out\": ")) && reading.Skipped[0].contains(reason),
                 qPrintable(reading.Skipped[0]));
    }

    // A file that does not parse imports nothing and names the line where it failed.
    void brokenFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("where");
        QTest::newRow("not a calendar") << QByteArray("Date;Time;\r\n") << "Line 1:";
        QTest::newRow("unclosed event") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nEND:VCALENDAR\r\n")
                                        << "Line 4: END:VCALENDAR closes VEVENT";
        QTest::newRow("line without colon") << QByteArray(
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART 20260101\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                                            << "Line 3:";
        QTest::newRow("cut short") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n") << "Line 2: the file ends inside VEVENT";
    }

    void brokenFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, where);
        TTestEnv env;
        const QString path = env.Path(QStringLiteral("broken.ics"));
        QVERIFY(Write(path, text));
        TReminders store(QString{});
        const TRaised raised = Catch([&] { ImportIcs(store, path); });
        QCOMPARE(raised.Severity, 1);
        QCOMPARE(raised.Message, QStringLiteral("The file is not a valid iCalendar file."));
        QVERIFY2(raised.Details.startsWith(where), qPrintable(raised.Details));
        QCOMPARE(store.MainRowCount(), 0);
    }

    // A UID the database line cannot hold becomes a GUID derived from it: the same one on every
    // import, so a second import still replaces the reminder.
    void unsafeUid()
    {
        const QByteArray file = Calendar("BEGIN:VEVENT\nUID:a;b c\nSUMMARY:Odd\nDTSTART:20260310T090000\nEND:VEVENT\n");
        const TIcsReading first = ReadIcs(file, QStringLiteral("1111100"));
        const TIcsReading second = ReadIcs(file, QStringLiteral("1111100"));
        QCOMPARE(first.Reminders.size(), std::size_t(1));
        const QString id = first.Reminders[0].Row.Id;
        QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$")).match(id).hasMatch(),
                 qPrintable(id));
        QCOMPARE(second.Reminders[0].Row.Id, id);
    }

    // "Run a program" never comes in on from a file, but stays on for the same program where
    // the user turned it on here; the same UID updates the reminder.
    void programComesInOff()
    {
        TTestEnv env;
        const QString path = env.Path(QStringLiteral("program.ics"));
        const auto file = [&](const QByteArray &program) {
            QVERIFY(Write(path, Calendar("BEGIN:VEVENT\nUID:p1\nSUMMARY:Backup\nDTSTART:20260310T090000\n"
                                         "X-VENTARO-RUNPROGRAM:TRUE\nX-VENTARO-PROGRAM:"
                                         + program + "\nEND:VEVENT\n")));
        };
        file("/usr/bin/backup");
        TReminders store(QString{});
        const TRaised first = Catch([&] { ImportIcs(store, path); });
        QCOMPARE(first.Message, QStringLiteral("1 reminders imported."));
        QVERIFY(first.Details.contains(QStringLiteral("\"Run a program\" came in off for 1 reminders")));
        TReminder row;
        store.ReadMainRow(0, row);
        QCOMPARE(row.Id, QStringLiteral("p1"));
        QVERIFY(!row.RunProgram);
        QCOMPARE(row.ProgramLocation, QStringLiteral("/usr/bin/backup"));

        row.RunProgram = true; // the user's word, on this machine
        store.Update(row);
        const TRaised second = Catch([&] { ImportIcs(store, path); });
        QVERIFY(!second.Details.contains(QStringLiteral("came in off")));
        QCOMPARE(store.MainRowCount(), 1);
        store.ReadMainRow(0, row);
        QVERIFY(row.RunProgram);

        file("/tmp/other");
        Catch([&] { ImportIcs(store, path); });
        QCOMPARE(store.MainRowCount(), 1);
        store.ReadMainRow(0, row);
        QVERIFY(!row.RunProgram);
        QCOMPARE(row.ProgramLocation, QStringLiteral("/tmp/other"));
    }
};

VENTARO_TEST_MAIN(TestClsRemindersIcs, QCoreApplication)
#include "tst_clsRemindersIcs.moc"
