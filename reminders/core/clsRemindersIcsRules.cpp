// Reminders in iCalendar, reading: the local moments of the times in a file, the moment an
// event's alarm gives its reminder, and the program's recurrence for an event's rule (or why it
// has none that keeps every occurrence).

#include "clsRemindersIcs.h"
#include "clsRemindersIcsShared.h"

#include "uFunctions.h"

#include <algorithm>

namespace ics {

bool InLocalZone(const icaltimetype &t)
{
    if (!t.zone || LocalZoneId.isEmpty())
        return false;
    icaltimezone *zone = const_cast<icaltimezone *>(t.zone);
    // Asking a zone of libical's own for its TZID loads its data, which replaces the location
    // text: each text is copied at once, the TZID first.
    const QByteArray tzid(icaltimezone_get_tzid(zone));
    const QByteArray location(icaltimezone_get_location(zone));
    return LocalZoneId == tzid || LocalZoneId == location;
}

// The local wall-clock moment of a time as libical read it: UTC and zoned times converted, a
// floating time as it stands, a date at the start of its day.
QDateTime LocalOf(const icaltimetype &t)
{
    if (icaltime_is_null_time(t) || !icaltime_is_valid_time(t))
        return {};
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid())
        return {};
    if (t.is_date)
        return Wall(date, QTime(0, 0));
    if (InLocalZone(t))
        return Wall(date, QTime(t.hour, t.minute, t.second));
    if (icaltime_is_utc(t) || t.zone) {
        const time_t secs =
            icaltime_is_utc(t) ? icaltime_as_timet(t) : icaltime_as_timet_with_zone(t, const_cast<icaltimezone *>(t.zone));
        return WallOfInstant(QDateTime::fromSecsSinceEpoch(qint64(secs), Qt::UTC));
    }
    return Wall(date, QTime(t.hour, t.minute, t.second));
}

// Cut to the minute.
QDateTime ToMinute(const QDateTime &moment)
{
    return Wall(moment.date(), QTime(moment.time().hour(), moment.time().minute()));
}

int MinuteOf(const QDateTime &moment)
{
    return moment.time().hour() * 60 + moment.time().minute();
}

icaltimetype PropertyTime(icalproperty *property, icalcomponent *component)
{
    return property ? icalproperty_get_datetime_with_component(property, component) : icaltime_null_time();
}

icaltimetype ComponentTime(icalcomponent *component, icalproperty_kind kind)
{
    return PropertyTime(icalcomponent_get_first_property(component, kind), component);
}

// The first display or audio alarm of a component.
static icalcomponent *FirstAlarm(icalcomponent *component)
{
    for (icalcomponent *a = icalcomponent_get_first_component(component, ICAL_VALARM_COMPONENT); a;
         a = icalcomponent_get_next_component(component, ICAL_VALARM_COMPONENT)) {
        icalproperty *action = icalcomponent_get_first_property(a, ICAL_ACTION_PROPERTY);
        const icalproperty_action kind = action ? icalproperty_get_action(action) : ICAL_ACTION_NONE;
        if ((kind == ICAL_ACTION_DISPLAY || kind == ICAL_ACTION_AUDIO)
            && icalcomponent_get_first_property(a, ICAL_TRIGGER_PROPERTY))
            return a;
    }
    return nullptr;
}

std::optional<TTiming> TimingOf(icalcomponent *c, bool repeating, TSkip &skip)
{
    TTiming timing;
    const bool todo = icalcomponent_isa(c) == ICAL_VTODO_COMPONENT;
    const icaltimetype start = ComponentTime(c, ICAL_DTSTART_PROPERTY);
    const icaltimetype due = todo ? ComponentTime(c, ICAL_DUE_PROPERTY) : icaltime_null_time();
    if (todo && icaltime_is_null_time(due)) {
        skip.Reason = QStringLiteral("a to-do without a due time");
        return std::nullopt;
    }
    if (!todo && icaltime_is_null_time(start)) {
        skip.Reason = QStringLiteral("it has no start");
        return std::nullopt;
    }
    timing.Anchor = icaltime_is_null_time(start) ? due : start;
    const QDateTime anchor = LocalOf(timing.Anchor);
    if (!anchor.isValid()) {
        skip.Reason = QStringLiteral("its start is no valid date");
        return std::nullopt;
    }
    timing.AllDay = timing.Anchor.is_date;
    // The end of an instance, for alarms related to it: DTEND, DTSTART + DURATION, or DUE.
    QDateTime end = anchor;
    if (todo) {
        end = LocalOf(due);
    } else if (icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY)) {
        end = LocalOf(ComponentTime(c, ICAL_DTEND_PROPERTY));
    } else if (icalproperty *d = icalcomponent_get_first_property(c, ICAL_DURATION_PROPERTY)) {
        end = anchor.addSecs(icaldurationtype_as_int(icalproperty_get_duration(d)));
    }
    if (!end.isValid())
        end = anchor;

    if (icalcomponent *alarm = FirstAlarm(c)) {
        icalproperty *tp = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
        const icaltriggertype trigger = icalproperty_get_trigger(tp);
        if (!icaltime_is_null_time(trigger.time)) {
            // An absolute alarm rings once; for a repeating event the start stays the moment.
            if (!repeating) {
                const QDateTime at = LocalOf(trigger.time);
                if (at.isValid()) {
                    timing.Offset = anchor.secsTo(at);
                    timing.AllDay = false;
                    return timing;
                }
            }
        } else if (!icaltriggertype_is_bad_trigger(trigger)) {
            icalparameter *related = icalproperty_get_first_parameter(tp, ICAL_RELATED_PARAMETER);
            const bool toEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
            timing.Offset = (toEnd ? anchor.secsTo(end) : 0) + icaldurationtype_as_int(trigger.duration);
            timing.AllDay = false;
            return timing;
        }
    }
    if (todo)
        timing.Offset = anchor.secsTo(end);
    if (timing.AllDay && timing.Offset == 0)
        timing.Offset = IcsAllDayHour * 3600;
    else
        timing.AllDay = false;
    return timing;
}

// The reminder's local moment for one instance start.
QDateTime MomentOf(const icaltimetype &instance, const TTiming &timing)
{
    const QDateTime local = LocalOf(instance);
    return local.isValid() ? ToMinute(local.addSecs(timing.Offset)) : QDateTime();
}

int ListSize(const short *list, int size)
{
    int n = 0;
    while (n < size && list[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

// The program's recurrence fields for a rule, with the days shifted by `shift` (the reminder's
// day less the instance's own day). Empty Reason: kept.
TSkip MapRule(const icalrecurrencetype &r, const QDate &first, qint64 shift, bool workDaysSeries, TReminder &row)
{
    const auto fail = [](const QString &reason) { return TSkip{reason}; };
    if (ListSize(r.by_second, ICAL_BY_SECOND_SIZE) || ListSize(r.by_minute, ICAL_BY_MINUTE_SIZE)
        || ListSize(r.by_hour, ICAL_BY_HOUR_SIZE))
        return fail(QStringLiteral("it repeats at several times of a day"));
    if (ListSize(r.by_year_day, ICAL_BY_YEARDAY_SIZE) || ListSize(r.by_week_no, ICAL_BY_WEEKNO_SIZE))
        return fail(QStringLiteral("it repeats on days of the year or weeks of the year"));
    if (r.rscale && *r.rscale)
        return fail(QStringLiteral("it follows another calendar than the Gregorian"));
    const int nDays = ListSize(r.by_day, ICAL_BY_DAY_SIZE);
    const int nMonthDays = ListSize(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    const int nMonths = ListSize(r.by_month, ICAL_BY_MONTH_SIZE);
    const int nSetPos = ListSize(r.by_set_pos, ICAL_BY_SETPOS_SIZE);
    const int interval = std::max<int>(1, r.interval);
    QString weekdays = QStringLiteral("0000000");
    for (int i = 0; i < nDays; ++i) {
        if (icalrecurrencetype_day_position(r.by_day[i]) != 0)
            return fail(QStringLiteral("it repeats on the n-th weekday of a month or year (such as the second Tuesday)"));
        const int w = int(icalrecurrencetype_day_day_of_week(r.by_day[i])); // 1 Sunday .. 7 Saturday
        const int iso = w == 1 ? 7 : w - 1;
        if (iso < 1 || iso > 7)
            return fail(QStringLiteral("its rule names an unknown weekday"));
        const int shifted = int(((iso - 1 + shift) % 7 + 7) % 7) + 1;
        SetWeekday(shifted, true, weekdays);
    }
    const bool monthDaysForm = nSetPos == 0 || (nSetPos == 1 && r.by_set_pos[0] == -1);
    if (!monthDaysForm)
        return fail(QStringLiteral("it picks occurrences by position (BYSETPOS) in a way this program cannot keep"));

    row.Recurring = true;
    row.RecurrenceWeeklyDays = QStringLiteral("0000000");
    switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
    case ICAL_WEEKLY_RECURRENCE: {
        if (nMonthDays || nMonths || nSetPos)
            return fail(QStringLiteral("its daily or weekly rule is limited to some months or month days"));
        if (r.freq == ICAL_DAILY_RECURRENCE && nDays == 0) {
            if (interval > 100)
                return fail(QStringLiteral("it repeats every %1 days, more than the 100 this program allows").arg(interval));
            row.RecurrenceUnit = ruDaily;
            row.RecurrenceDailyType = dtEveryNDays;
            row.RecurrenceDailyEvery = interval;
            return {};
        }
        if (r.freq == ICAL_DAILY_RECURRENCE && interval != 1)
            return fail(QStringLiteral("it repeats every %1 days on some weekdays only").arg(interval));
        if (nDays == 0)
            SetWeekday(first.dayOfWeek(), true, weekdays);
        if (interval > 99)
            return fail(QStringLiteral("it repeats every %1 weeks, more than the 99 this program allows").arg(interval));
        if (interval > 1 && shift != 0)
            return fail(QStringLiteral("its reminder falls on another day than its event, in weeks that repeat"));
        if (interval > 1 && r.week_start != ICAL_MONDAY_WEEKDAY && nDays > 1)
            return fail(QStringLiteral("its weeks begin on another day than Monday"));
        if (workDaysSeries && interval == 1) {
            row.RecurrenceUnit = ruDaily;
            row.RecurrenceDailyType = dtEveryWeekday;
            return {};
        }
        row.RecurrenceUnit = ruWeekly;
        row.RecurrenceWeeklyEvery = interval;
        row.RecurrenceWeeklyDays = weekdays;
        return {};
    }
    case ICAL_MONTHLY_RECURRENCE: {
        if (nDays || nMonths)
            return fail(QStringLiteral("its monthly rule names weekdays or months"));
        if (shift != 0)
            return fail(QStringLiteral("its reminder falls on another day than its event"));
        if (interval > 99)
            return fail(QStringLiteral("it repeats every %1 months, more than the 99 this program allows").arg(interval));
        int day = 0;
        const short *d = r.by_month_day;
        if (nSetPos == 1) {
            if (nMonthDays == 2 && d[0] == 28 && d[1] == 29)
                day = 29;
            else if (nMonthDays == 3 && d[0] == 28 && d[1] == 29 && d[2] == 30)
                day = 30;
        } else if (nMonthDays == 1 && d[0] == -1) {
            day = 31;
        } else if (nMonthDays == 1 && d[0] >= 1 && d[0] <= 28) {
            day = d[0];
        } else if (nMonthDays == 0 && first.day() <= 28) {
            day = first.day();
        }
        if (day == 0)
            return fail(QStringLiteral("it falls only in the months that have its day, or on several days of a month"));
        row.RecurrenceUnit = ruMonthly;
        row.RecurrenceMonthlyDay = day;
        row.RecurrenceMonthlyEvery = interval;
        return {};
    }
    case ICAL_YEARLY_RECURRENCE: {
        if (nDays || nSetPos)
            return fail(QStringLiteral("its yearly rule names weekdays or positions"));
        if (interval != 1)
            return fail(
                QStringLiteral("it repeats every %1 years; this program repeats yearly reminders every year").arg(interval));
        if (shift != 0)
            return fail(QStringLiteral("its reminder falls on another day than its event"));
        if (nMonths > 1 || nMonthDays > 1)
            return fail(QStringLiteral("it falls on several days of a year"));
        const int month = nMonths ? icalrecurrencetype_month_month(r.by_month[0]) : first.month();
        if (month < 1 || month > 12 || (nMonths && icalrecurrencetype_month_is_leap(r.by_month[0])))
            return fail(QStringLiteral("its month is not one of the twelve"));
        int day = nMonthDays ? r.by_month_day[0] : first.day();
        if (day == -1)
            day = DaysInMonthOf(month, true);
        else if (day < 1 || day > DaysInMonthOf(month, false))
            return fail(QStringLiteral("it falls only in the years that have its day"));
        row.RecurrenceUnit = ruYearly;
        row.RecurrenceYearlyMonth = month;
        row.RecurrenceYearlyDay = day;
        return {};
    }
    default:
        break;
    }
    return fail(QStringLiteral("it repeats more often than daily"));
}

// The instances of a rule from its anchor, as libical expands them, up to `limit` of them.
} // namespace ics
