// Reminders in iCalendar: the mapping between store rows and VEVENTs, through libical.
//
// Decisions where the calendar world leaves a choice:
// - Times are written in the local zone (its IANA name as TZID, with libical's VTIMEZONE for it,
//   cut to the span the file needs). When the local zone is UTC they are written in UTC; when
//   libical does not know the zone, as floating times.
// - A series without any occurrence is written with its start as DTSTART and a rule whose only
//   instance is excluded, so that other programs show nothing either.
// - Reading: the reminder's moment is the first display or audio alarm's moment, else the
//   start (a to-do's due time); an all-day event without alarm comes at IcsAllDayHour. An
//   absolute alarm of a repeating event rings once elsewhere and is not taken as its moment.
// - A repeating event written for another zone is kept only when every occurrence lands at the
//   same local time of day; one whose local time moves with daylight saving time is skipped.
// - The message is the SUMMARY, followed on the next lines by the DESCRIPTION when that does not
//   already begin with the summary. Sound is on (the default sound) for events of other programs.
// - A UID that the database line cannot hold (empty, longer than 255 characters, with ";",
//   control characters or blanks at its ends) becomes a GUID derived from it, so importing it
//   again still finds the same reminder. A moved occurrence's one-time reminder gets a GUID
//   derived from the UID and its RECURRENCE-ID likewise.
// - A dismissal acknowledged by another program (ACKNOWLEDGED, X-MOZ-LASTACK) dismisses a
//   one-time reminder whose moment it covers, and every occurrence of a series up to it.
// - Cancelled events are skipped; a cancelled moved occurrence only removes its occurrence.

#include "clsRemindersIcs.h"

#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "uFunctions.h"

#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace {

// ---- libical ownership --------------------------------------------------------------------

struct TComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using TComponent = std::unique_ptr<icalcomponent, TComponentFree>;

struct TIteratorFree {
    void operator()(icalrecur_iterator *i) const { icalrecur_iterator_free(i); }
};
using TIterator = std::unique_ptr<icalrecur_iterator, TIteratorFree>;

// Serialises a component; libical hands out a buffer the caller frees.
QByteArray ComponentText(icalcomponent *component)
{
    char *text = icalcomponent_as_ical_string_r(component);
    QByteArray bytes(text);
    icalmemory_free_buffer(text);
    return bytes;
}

QString Utf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// ---- Names and values ------------------------------------------------------------------------

const char XPlaySound[] = "X-VENTARO-PLAYSOUND";
const char XRepeatSound[] = "X-VENTARO-REPEATSOUND";
const char XSoundFile[] = "X-VENTARO-SOUNDFILE";
const char XRunProgram[] = "X-VENTARO-RUNPROGRAM";
const char XProgram[] = "X-VENTARO-PROGRAM";
const char XActive[] = "X-VENTARO-ACTIVE";
const char XWorkDays[] = "X-VENTARO-WORKDAYS";
const char XRecurrence[] = "X-VENTARO-RECURRENCE";
const char XExclusion[] = "X-VENTARO-EXCLUSION";
const char XMozLastAck[] = "X-MOZ-LASTACK";

constexpr int TextWidth = 255;
// The namespace of the GUIDs derived from UIDs.
const QUuid UidNamespace(0x6d1e2a4c, 0x93b7, 0x4f05, 0x8a, 0x61, 0x2c, 0x0e, 0x5b, 0x7d, 0x94, 0x13);

const char *const DayNames[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

QByteArray Compact(const QDate &date)
{
    return date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

QByteArray Compact(const QDate &date, int minute)
{
    return Compact(date) + 'T'
           + QStringLiteral("%1%2").arg(minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0')).toLatin1()
           + "00";
}

// "yyyyMMdd" (what follows is not looked at); an invalid date when it is not one.
QDate DateOfCompact(const QString &text)
{
    if (text.size() < 8)
        return {};
    int parts[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    int at = 0;
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < widths[p]; ++i, ++at) {
            const QChar c = text.at(at);
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return {};
            parts[p] = parts[p] * 10 + (c.unicode() - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

// Local wall-clock moments are held as plain date and time (a QDateTime without a zone to
// consult, which also keeps them free of the system's zone look-ups); they meet the zone only
// where a moment is written in UTC or read from one.
QDateTime Wall(const QDate &date, const QTime &time)
{
    return QDateTime(date, time, Qt::UTC);
}

// The system's zone, looked up once per export or import (RefreshSystemZone): Qt's local-time
// conversions consult the C library, which checks the zone file again on every call, too slow
// for a whole store.
thread_local QTimeZone CurrentZone;
// Its name while a file is read: times written in it are taken as they stand.
thread_local QByteArray LocalZoneId;

void RefreshSystemZone()
{
    LocalZoneId = QTimeZone::systemTimeZoneId();
    CurrentZone = QTimeZone::systemTimeZone();
}

const QTimeZone &SystemZone()
{
    if (!CurrentZone.isValid())
        RefreshSystemZone();
    return CurrentZone;
}

// The wall-clock moment as an instant, read in the local zone.
QDateTime AsLocal(const QDateTime &wall)
{
    return QDateTime(wall.date(), wall.time(), SystemZone());
}

// The local wall clock of an instant.
QDateTime WallOfInstant(const QDateTime &instant)
{
    const QDateTime local = instant.toTimeZone(SystemZone());
    return Wall(local.date(), local.time());
}

// The moment (local wall clock, to the minute) of a row's date and time.
QDateTime WallOf(TDateTime date, TDateTime time)
{
    const int minute = MinuteOfDay(time);
    return Wall(DateTimeToQDate(date), QTime(minute / 60, minute % 60));
}

icaltimetype IcalWall(const QDateTime &wall)
{
    icaltimetype t = icaltime_null_time();
    t.year = wall.date().year();
    t.month = wall.date().month();
    t.day = wall.date().day();
    t.hour = wall.time().hour();
    t.minute = wall.time().minute();
    t.second = 0;
    t.is_date = 0;
    return t;
}

icaltimetype IcalUtc(const QDateTime &local)
{
    const QDateTime utc = AsLocal(local).toUTC();
    icaltimetype t = IcalWall(utc);
    t.second = utc.time().second();
    t.zone = icaltimezone_get_utc_timezone();
    return t;
}

QString MessageFirstLine(const QString &message)
{
    const auto end = std::find_if(message.cbegin(), message.cend(),
                                  [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); });
    return message.left(end - message.cbegin());
}

// Line breaks as iCalendar text has them (LF); carriage returns go, as the database drops them.
QString MessageForIcs(const QString &message)
{
    QString text = message;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.remove(QLatin1Char('\r'));
    return text;
}

// Line breaks as the database file gives them back (CR LF).
QString MessageFromIcs(const QString &text)
{
    QString message = text;
    message.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    message.remove(QLatin1Char('\r'));
    message.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return message;
}

// ---- The local zone ----------------------------------------------------------------------------

class TLocalZone {
public:
    enum TKind { Zoned, Utc, Floating };

    TLocalZone()
    {
        const QByteArray id = QTimeZone::systemTimeZoneId();
        static const QSet<QByteArray> utcNames = {"UTC", "Etc/UTC", "Etc/Universal", "Universal", "Zulu",
                                                   "Etc/Zulu", "Etc/GMT", "GMT", "UCT", "Etc/UCT"};
        if (id.isEmpty() || utcNames.contains(id)) {
            Kind = id.isEmpty() ? Floating : Utc;
            return;
        }
        icaltimezone *zone = icaltimezone_get_builtin_timezone(id.constData());
        icalcomponent *vtimezone = zone ? icaltimezone_get_component(zone) : nullptr;
        if (!vtimezone) {
            Kind = Floating;
            return;
        }
        Kind = Zoned;
        Tzid = id;
        Vtimezone.reset(icalcomponent_new_clone(vtimezone));
        // The zone's own name as TZID: what every calendar program recognises.
        icalproperty *tzid = icalcomponent_get_first_property(Vtimezone.get(), ICAL_TZID_PROPERTY);
        if (tzid)
            icalproperty_set_tzid(tzid, id.constData());
    }

    TKind Kind = Floating;
    QByteArray Tzid;
    TComponent Vtimezone;

    // A date-time property's value and TZID for a local wall-clock moment.
    icalproperty *Stamp(icalproperty *property, const QDateTime &wall) const
    {
        if (Kind == Utc) {
            // The local zone is UTC: the wall clock is already the UTC time.
            icaltimetype t = IcalWall(wall);
            t.zone = icaltimezone_get_utc_timezone();
            icalproperty_set_value(property, icalvalue_new_datetime(t));
            return property;
        }
        icalproperty_set_value(property, icalvalue_new_datetime(IcalWall(wall)));
        if (Kind == Zoned)
            icalproperty_add_parameter(property, icalparameter_new_tzid(Tzid.constData()));
        return property;
    }

    // UNTIL for a local moment: UTC when the start has a zone, floating when it has none.
    QByteArray Until(const QDateTime &wall) const
    {
        if (Kind == Floating)
            return Compact(wall.date(), wall.time().hour() * 60 + wall.time().minute());
        const QDateTime utc = Kind == Utc ? wall : AsLocal(wall).toUTC();
        return Compact(utc.date(), utc.time().hour() * 60 + utc.time().minute()) + 'Z';
    }
};

// ---- Writing ---------------------------------------------------------------------------------

int DaysInMonthOf(int month, bool leap)
{
    return QDate(leap ? 2024 : 2023, month, 1).daysInMonth();
}

QByteArray DayList(const QString &weekdays)
{
    QByteArrayList days;
    for (int w = 1; w <= 7; ++w)
        if (IsWeekdaySet(w, weekdays))
            days << DayNames[w - 1];
    return days.join(',');
}

// The series' first occurrence day on or after its start and within its end, or nullopt.
std::optional<QDate> FirstOccurrence(const TReminder &row, const QString &workDays)
{
    // Far enough for the first occurrence of each rule, without walking the whole series.
    qint64 reach = 400;
    if (row.RecurrenceUnit == ruDaily)
        reach = row.RecurrenceDailyType == dtEveryNDays ? std::max(1, row.RecurrenceDailyEvery) : 7;
    else if (row.RecurrenceUnit == ruWeekly)
        reach = 7 * qint64(std::max(1, row.RecurrenceWeeklyEvery)) + 7;
    else if (row.RecurrenceUnit == ruMonthly)
        reach = 31 * (qint64(std::max(1, row.RecurrenceMonthlyEvery)) + 1);
    const QDate start = DateTimeToQDate(row.RecurrenceStart);
    TZTDateTimeArray days;
    if (!start.isValid() || !row.CollectOccurrences(days, QDateToDateTime(start.addDays(reach)), workDays))
        return std::nullopt;
    TDateTime first = days.Items(0);
    for (int i = 1; i < days.Count(); ++i)
        first = std::min(first, days.Items(i));
    return DateTimeToQDate(first);
}

// The RRULE of a series (empty when it has no rule with occurrences), its end not included.
QByteArray RuleOf(const TReminder &row, const QString &workDays)
{
    switch (row.RecurrenceUnit) {
    case ruDaily:
        if (row.RecurrenceDailyType == dtEveryNDays)
            return "FREQ=DAILY;INTERVAL=" + QByteArray::number(std::max(1, row.RecurrenceDailyEvery));
        return DayList(workDays).isEmpty() ? QByteArray() : "FREQ=WEEKLY;BYDAY=" + DayList(workDays);
    case ruWeekly:
        if (DayList(row.RecurrenceWeeklyDays).isEmpty())
            return {};
        return "FREQ=WEEKLY;INTERVAL=" + QByteArray::number(std::max(1, row.RecurrenceWeeklyEvery)) + ";BYDAY="
               + DayList(row.RecurrenceWeeklyDays) + ";WKST=MO";
    case ruMonthly: {
        const int d = row.RecurrenceMonthlyDay;
        if (d < 1)
            return {};
        const QByteArray head = "FREQ=MONTHLY;INTERVAL=" + QByteArray::number(std::max(1, row.RecurrenceMonthlyEvery));
        if (d <= 28)
            return head + ";BYMONTHDAY=" + QByteArray::number(d);
        if (d == 29)
            return head + ";BYMONTHDAY=28,29;BYSETPOS=-1";
        if (d == 30)
            return head + ";BYMONTHDAY=28,29,30;BYSETPOS=-1";
        return head + ";BYMONTHDAY=-1";
    }
    case ruYearly: {
        const int mo = row.RecurrenceYearlyMonth;
        const int dy = row.RecurrenceYearlyDay;
        if (mo < 1 || mo > 12 || dy < 1)
            return {};
        // A day the month lacks in some year: the program falls on the month's last day then.
        const QByteArray day = dy <= DaysInMonthOf(mo, false) ? QByteArray::number(dy) : QByteArray("-1");
        return "FREQ=YEARLY;BYMONTH=" + QByteArray::number(mo) + ";BYMONTHDAY=" + day;
    }
    case ruNone:
        break;
    }
    return {};
}

// DTSTART and RRULE of a row, as the export writes them.
struct TStartAndRule {
    QDateTime Start;     // local wall clock
    QByteArray Rule;     // empty for a one-time reminder
    bool Empty = false;  // a series without occurrences: its only instance is excluded
};

TStartAndRule StartAndRule(const TReminder &row, const QString &workDays, const TLocalZone &zone)
{
    TStartAndRule out;
    out.Start = WallOf(row.Date, row.Time);
    if (!row.Recurring)
        return out;
    const QByteArray rule = RuleOf(row, workDays);
    const std::optional<QDate> first = rule.isEmpty() ? std::nullopt : FirstOccurrence(row, workDays);
    if (!first) {
        out.Start = WallOf(row.RecurrenceStart, row.Time);
        out.Rule = "FREQ=DAILY;COUNT=1";
        out.Empty = true;
        return out;
    }
    out.Start = WallOf(QDateToDateTime(*first), row.Time);
    out.Rule = rule;
    if (!row.RecurrenceNoEnd)
        out.Rule += ";UNTIL=" + zone.Until(WallOf(row.RecurrenceEndBy, row.Time));
    return out;
}

QByteArray BoolText(bool b)
{
    return b ? "TRUE" : "FALSE";
}

void AddX(icalcomponent *component, const char *name, const QString &value)
{
    icalproperty *property = icalproperty_new_x(value.toUtf8().constData());
    icalproperty_set_x_name(property, name);
    icalcomponent_add_property(component, property);
}

// The stored fields that iCalendar has no word for, as NAME=value words.
QString RecurrenceFields(const TReminder &row)
{
    const auto n = [](int value) { return QString::number(value); };
    const auto day = [](TDateTime value) { return QString::fromLatin1(Compact(DateTimeToQDate(value))); };
    const auto flag = [](bool value) { return QString::fromLatin1(BoolText(value)); };
    return QLatin1String("DATE=") + day(row.Date) + QLatin1String(" START=") + day(row.RecurrenceStart)
           + QLatin1String(" END=") + day(row.RecurrenceEndBy) + QLatin1String(" NOEND=") + flag(row.RecurrenceNoEnd)
           + QLatin1String(" RECURRING=") + flag(row.Recurring) + QLatin1String(" UNIT=")
           + n(RecurrenceUnitToInt(row.RecurrenceUnit)) + QLatin1String(" DAILYTYPE=")
           + n(RecurrenceDailyTypeToInt(row.RecurrenceDailyType)) + QLatin1String(" DAILYEVERY=")
           + n(row.RecurrenceDailyEvery) + QLatin1String(" WEEKLYEVERY=") + n(row.RecurrenceWeeklyEvery)
           + QLatin1String(" WEEKDAYS=") + (row.RecurrenceWeeklyDays.isEmpty() ? QStringLiteral("-") : row.RecurrenceWeeklyDays)
           + QLatin1String(" MONTHLYDAY=") + n(row.RecurrenceMonthlyDay) + QLatin1String(" MONTHLYEVERY=")
           + n(row.RecurrenceMonthlyEvery) + QLatin1String(" YEARLYMONTH=") + n(row.RecurrenceYearlyMonth)
           + QLatin1String(" YEARLYDAY=") + n(row.RecurrenceYearlyDay);
}

TComponent EventOf(const TReminder &row, const std::vector<const TReminder *> &exclusions, const QString &workDays,
                   const TLocalZone &zone, QDateTime &earliest)
{
    TComponent event(icalcomponent_new_vevent());
    icalcomponent *e = event.get();
    icalcomponent_add_property(e, icalproperty_new_uid(row.Id.toUtf8().constData()));
    const QByteArray summary = MessageFirstLine(row.ReminderMessage).toUtf8();
    const QByteArray description = MessageForIcs(row.ReminderMessage).toUtf8();
    icalcomponent_add_property(e, icalproperty_new_summary(summary.constData()));
    icalcomponent_add_property(e, icalproperty_new_description(description.constData()));
    icalcomponent_add_property(e, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));

    const TStartAndRule start = StartAndRule(row, workDays, zone);
    if (!earliest.isValid() || start.Start < earliest)
        earliest = start.Start;
    icalcomponent_add_property(e, zone.Stamp(icalproperty_new_dtstart(icaltime_null_time()), start.Start));
    if (!start.Rule.isEmpty())
        icalcomponent_add_property(e, icalproperty_new_rrule(icalrecurrencetype_from_string(start.Rule.constData())));
    if (start.Empty)
        icalcomponent_add_property(e, zone.Stamp(icalproperty_new_exdate(icaltime_null_time()), start.Start));

    QDateTime lastDismissed;
    for (const TReminder *x : exclusions) {
        const QDateTime moment = WallOf(x->Date, x->Time);
        if (x->Active && row.Recurring)
            icalcomponent_add_property(e, zone.Stamp(icalproperty_new_exdate(icaltime_null_time()), moment));
        if (!x->Active && (!lastDismissed.isValid() || moment > lastDismissed))
            lastDismissed = moment;
        AddX(e, XExclusion,
             QString::fromLatin1(Compact(moment.date(), MinuteOfDay(x->Time))) + QLatin1Char(' ')
                 + QString::fromLatin1(BoolText(x->Active)));
    }
    if (!row.Recurring && !row.Active)
        lastDismissed = WallOf(row.Date, row.Time);

    AddX(e, XPlaySound, QString::fromLatin1(BoolText(row.PlaySound)));
    AddX(e, XRepeatSound, QString::fromLatin1(BoolText(row.RepeatSound)));
    if (!row.SoundFile.isEmpty())
        AddX(e, XSoundFile, row.SoundFile);
    AddX(e, XRunProgram, QString::fromLatin1(BoolText(row.RunProgram)));
    if (!row.ProgramLocation.isEmpty())
        AddX(e, XProgram, row.ProgramLocation);
    AddX(e, XActive, QString::fromLatin1(BoolText(row.Active)));
    if (row.Recurring && row.RecurrenceUnit == ruDaily && row.RecurrenceDailyType != dtEveryNDays)
        AddX(e, XWorkDays, QStringLiteral("1"));
    AddX(e, XRecurrence, RecurrenceFields(row));

    icalcomponent *alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icaltriggertype trigger = icaltriggertype_from_int(0);
    icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
    icalcomponent_add_property(alarm, icalproperty_new_description(description.constData()));
    if (lastDismissed.isValid()) {
        icalcomponent_add_property(alarm, icalproperty_new_acknowledged(IcalUtc(lastDismissed)));
        const QDateTime utc = AsLocal(lastDismissed).toUTC();
        AddX(alarm, XMozLastAck,
             QString::fromLatin1(Compact(utc.date(), utc.time().hour() * 60 + utc.time().minute()) + 'Z'));
    }
    icalcomponent_add_component(e, alarm);
    return event;
}

QByteArray CalendarText(const QByteArrayList &events, const TLocalZone &zone, const QDateTime &earliest)
{
    qsizetype size = 4096;
    for (const QByteArray &event : events)
        size += event.size();
    QByteArray out;
    out.reserve(size);
    out += "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Merrowick//Ventaro!//EN\r\nCALSCALE:GREGORIAN\r\n";
    if (zone.Kind == TLocalZone::Zoned && zone.Vtimezone) {
        TComponent vtimezone(icalcomponent_new_clone(zone.Vtimezone.get()));
        // Only the zone's rules from a year before the earliest moment on are needed.
        if (earliest.isValid()) {
            const icaltimetype from = IcalUtc(earliest.addYears(-1));
            icaltimezone_truncate_vtimezone(vtimezone.get(), from, icaltime_null_time(), 0);
        }
        out += ComponentText(vtimezone.get());
    }
    for (const QByteArray &event : events)
        out += event;
    out += "END:VCALENDAR\r\n";
    return out;
}

// ---- Reading: times ---------------------------------------------------------------------------

bool InLocalZone(const icaltimetype &t)
{
    if (!t.zone || LocalZoneId.isEmpty())
        return false;
    icaltimezone *zone = const_cast<icaltimezone *>(t.zone);
    const char *location = icaltimezone_get_location(zone);
    const char *tzid = icaltimezone_get_tzid(zone);
    return (location && LocalZoneId == location) || (tzid && LocalZoneId == tzid);
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
        const time_t secs = icaltime_is_utc(t) ? icaltime_as_timet(t)
                                               : icaltime_as_timet_with_zone(t, const_cast<icaltimezone *>(t.zone));
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

QString XValue(icalcomponent *component, const char *name, bool *found = nullptr)
{
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        if (qstricmp(icalproperty_get_x_name(p), name) == 0) {
            if (found)
                *found = true;
            QString value = Utf8(icalproperty_get_x(p));
            // Some programs escape X- values like text when they write the event again.
            value.replace(QLatin1String("\\;"), QLatin1String(";")).replace(QLatin1String("\\,"), QLatin1String(","));
            return value;
        }
    }
    if (found)
        *found = false;
    return {};
}

QStringList XValues(icalcomponent *component, const char *name)
{
    QStringList values;
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY))
        if (qstricmp(icalproperty_get_x_name(p), name) == 0)
            values << Utf8(icalproperty_get_x(p)).trimmed();
    return values;
}

// ---- Reading: one event -----------------------------------------------------------------------

struct TSkip {
    QString Reason;
};

// What an event's alarm and start make of its moment: the offset from the start of each
// instance to the reminder's moment, in seconds.
struct TTiming {
    icaltimetype Anchor = icaltime_null_time(); // the instance start the rule repeats
    qint64 Offset = 0;
    bool AllDay = false;
};

// The first display or audio alarm of a component.
icalcomponent *FirstAlarm(icalcomponent *component)
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
            return fail(QStringLiteral("it repeats every %1 years; this program repeats yearly reminders every year").arg(interval));
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
template <class F>
void ForEachInstance(const icalrecurrencetype &rule, const icaltimetype &anchor, int limit, F &&visit)
{
    TIterator it(icalrecur_iterator_new(rule, anchor));
    if (!it)
        return;
    for (int i = 0; i < limit; ++i) {
        const icaltimetype next = icalrecur_iterator_next(it.get());
        if (icaltime_is_null_time(next) || !visit(next))
            break;
    }
}

bool SafeId(const QString &uid)
{
    if (uid.isEmpty() || uid.size() > TextWidth || uid.trimmed() != uid || uid.contains(QLatin1Char(';')))
        return false;
    return std::none_of(uid.begin(), uid.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString IdOf(const QString &uid)
{
    if (SafeId(uid))
        return uid;
    return QUuid::createUuidV5(UidNamespace, uid).toString(QUuid::WithBraces).toUpper();
}

QString MessageOf(icalcomponent *c)
{
    const QString summary = Utf8(icalcomponent_get_summary(c));
    const QString description = Utf8(icalcomponent_get_description(c));
    QString message = summary;
    if (!description.isEmpty() && !description.startsWith(summary))
        message = summary.isEmpty() ? description : summary + QLatin1Char('\n') + description;
    else if (!description.isEmpty())
        message = description;
    return MessageFromIcs(message);
}

QString Caption(icalcomponent *c)
{
    const QString summary = Utf8(icalcomponent_get_summary(c)).simplified();
    if (!summary.isEmpty())
        return QStringLiteral("\"%1\"").arg(summary.left(60));
    return QStringLiteral("UID %1").arg(Utf8(icalcomponent_get_uid(c)).left(60));
}

bool IsCancelled(icalcomponent *c)
{
    icalproperty *status = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY);
    return status && icalproperty_get_status(status) == ICAL_STATUS_CANCELLED;
}

// The latest acknowledgement of an event's alarms (local time), invalid when none.
QDateTime Acknowledged(icalcomponent *c)
{
    QDateTime latest;
    for (icalcomponent *a = icalcomponent_get_first_component(c, ICAL_VALARM_COMPONENT); a;
         a = icalcomponent_get_next_component(c, ICAL_VALARM_COMPONENT)) {
        QList<QDateTime> stamps;
        if (icalproperty *p = icalcomponent_get_first_property(a, ICAL_ACKNOWLEDGED_PROPERTY))
            stamps << LocalOf(icalproperty_get_acknowledged(p));
        const QString moz = XValue(a, XMozLastAck);
        if (!moz.isEmpty())
            stamps << LocalOf(icaltime_from_string(moz.toLatin1().constData()));
        for (const QDateTime &s : stamps)
            if (s.isValid() && (!latest.isValid() || s > latest))
                latest = s;
    }
    if (!latest.isValid()) {
        const QString moz = XValue(c, XMozLastAck);
        if (!moz.isEmpty())
            latest = LocalOf(icaltime_from_string(moz.toLatin1().constData()));
    }
    return latest;
}

// The exclusion record of the series' occurrence at a local moment.
TReminder ExclusionOf(const TReminder &series, const QDateTime &moment, bool active)
{
    TReminder occurrence = series;
    occurrence.OccurrenceDate = QDateToDateTime(moment.date());
    occurrence.OccurrenceTime = EncodeTime(moment.time().hour(), moment.time().minute());
    TReminder x = *occurrence.MakeExclusion();
    x.Active = active;
    return x;
}

bool ParseBool(const QString &text)
{
    return text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
}

// The stored recurrence fields written by the export, over a row; false when they do not read.
bool ApplyRecurrenceFields(const QString &text, TReminder &row)
{
    QHash<QString, QString> fields;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (eq > 0)
            fields.insert(word.left(eq), word.mid(eq + 1));
    }
    static const char *const names[] = {"DATE", "START", "END", "NOEND", "RECURRING", "UNIT", "DAILYTYPE",
                                        "DAILYEVERY", "WEEKLYEVERY", "WEEKDAYS", "MONTHLYDAY", "MONTHLYEVERY",
                                        "YEARLYMONTH", "YEARLYDAY"};
    for (const char *name : names)
        if (!fields.contains(QLatin1String(name)))
            return false;
    const QDate date = DateOfCompact(fields.value(QStringLiteral("DATE")));
    const QDate start = DateOfCompact(fields.value(QStringLiteral("START")));
    const QDate end = DateOfCompact(fields.value(QStringLiteral("END")));
    if (!date.isValid() || !start.isValid() || !end.isValid())
        return false;
    bool ok = true;
    const auto number = [&](const char *name) {
        bool good = false;
        const int n = fields.value(QLatin1String(name)).toInt(&good);
        ok = ok && good;
        return n;
    };
    row.Date = QDateToDateTime(date);
    row.RecurrenceStart = QDateToDateTime(start);
    row.RecurrenceEndBy = QDateToDateTime(end);
    row.RecurrenceNoEnd = ParseBool(fields.value(QStringLiteral("NOEND")));
    row.Recurring = ParseBool(fields.value(QStringLiteral("RECURRING")));
    row.RecurrenceUnit = IntToRecurrenceUnit(number("UNIT"));
    row.RecurrenceDailyType = IntToRecurrenceDailyType(number("DAILYTYPE"));
    row.RecurrenceDailyEvery = number("DAILYEVERY");
    row.RecurrenceWeeklyEvery = number("WEEKLYEVERY");
    const QString weekdays = fields.value(QStringLiteral("WEEKDAYS"));
    row.RecurrenceWeeklyDays = weekdays == QLatin1String("-") ? QString() : weekdays.left(7);
    row.RecurrenceMonthlyDay = number("MONTHLYDAY");
    row.RecurrenceMonthlyEvery = number("MONTHLYEVERY");
    row.RecurrenceYearlyMonth = number("YEARLYMONTH");
    row.RecurrenceYearlyDay = number("YEARLYDAY");
    return ok;
}

// The rule of an event as text, the way the export compares it.
QByteArray RuleText(icalproperty *rrule)
{
    if (!rrule)
        return {};
    icalrecurrencetype r = icalproperty_get_rrule(rrule);
    char *text = icalrecurrencetype_as_string_r(&r);
    QByteArray out(text ? text : "");
    icalmemory_free_buffer(text);
    return out;
}

QByteArray NormalRule(const QByteArray &rule)
{
    if (rule.isEmpty())
        return {};
    icalrecurrencetype r = icalrecurrencetype_from_string(rule.constData());
    char *text = icalrecurrencetype_as_string_r(&r);
    QByteArray out(text ? text : "");
    icalmemory_free_buffer(text);
    return out;
}

class TReader {
public:
    explicit TReader(const QString &workDays)
        : workDays_(workDays)
    {
    }

    TIcsReading Reading;

    void Read(icalcomponent *calendar)
    {
        // Events by UID: the series (no RECURRENCE-ID) and its moved occurrences.
        QList<QString> order;
        QSet<QString> seen;
        QHash<QString, icalcomponent *> masters;
        QHash<QString, QList<icalcomponent *>> moved;
        for (icalcomponent *c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
             c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
            const icalcomponent_kind kind = icalcomponent_isa(c);
            if (kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTODO_COMPONENT)
                continue;
            QString uid = Utf8(icalcomponent_get_uid(c));
            if (uid.isEmpty())
                uid = QStringLiteral("no-uid:") + QString::fromLatin1(ComponentText(c).toBase64());
            if (!seen.contains(uid)) {
                seen.insert(uid);
                order << uid;
            }
            if (icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY)) {
                moved[uid] << c;
            } else if (masters.contains(uid)) {
                Skip(c, QStringLiteral("a second event with the same UID"));
            } else {
                masters.insert(uid, c);
            }
        }
        for (const QString &uid : order) {
            icalcomponent *master = masters.value(uid);
            const QList<icalcomponent *> overrides = moved.value(uid);
            if (master) {
                ReadEvent(master, uid, overrides);
            } else {
                // Moved occurrences of a series that is not in the file: one-time reminders.
                for (icalcomponent *o : overrides)
                    ReadEvent(o, uid + QLatin1Char('/') + RecurrenceIdText(o), {});
            }
        }
    }

private:
    QString workDays_;
    const TLocalZone zone_;

    void Skip(icalcomponent *c, const QString &reason)
    {
        Reading.Skipped << QStringLiteral("%1: %2.").arg(Caption(c), reason);
    }

    static QString RecurrenceIdText(icalcomponent *c)
    {
        icalproperty *p = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        return p ? Utf8(icalproperty_get_value_as_string(p)) : QString();
    }

    static QString ParseError(icalcomponent *c)
    {
        icalproperty *error = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY);
        return error ? Utf8(icalproperty_get_xlicerror(error)) : QString();
    }

    void ReadEvent(icalcomponent *c, const QString &uid, const QList<icalcomponent *> &overrides)
    {
        const QString error = ParseError(c);
        if (!error.isEmpty())
            return Skip(c, QStringLiteral("it does not read (%1)").arg(error.trimmed()));
        if (IsCancelled(c))
            return Skip(c, QStringLiteral("it is cancelled"));
        if (icalcomponent_get_first_property(c, ICAL_RDATE_PROPERTY))
            return Skip(c, QStringLiteral("it has extra dates (RDATE) beside its rule"));
        if (icalcomponent_get_first_property(c, ICAL_EXRULE_PROPERTY))
            return Skip(c, QStringLiteral("it has an exception rule (EXRULE)"));
        icalproperty *rrule = icalcomponent_get_first_property(c, ICAL_RRULE_PROPERTY);
        if (rrule && icalcomponent_get_next_property(c, ICAL_RRULE_PROPERTY))
            return Skip(c, QStringLiteral("it has more than one rule"));

        TSkip skip;
        const std::optional<TTiming> timing = TimingOf(c, rrule != nullptr, skip);
        if (!timing)
            return Skip(c, skip.Reason);
        const QDateTime moment = MomentOf(timing->Anchor, *timing);
        if (!moment.isValid() || moment.date().year() < 1 || moment.date().year() > 9999)
            return Skip(c, QStringLiteral("its time is out of this program's range"));

        TIcsReminder out;
        TReminder &row = out.Row;
        row.Id = IdOf(uid);
        row.ReminderMessage = MessageOf(c);
        row.Date = row.RecurrenceStart = row.RecurrenceEndBy = QDateToDateTime(moment.date());
        row.Time = EncodeTime(moment.time().hour(), moment.time().minute());
        row.RecurrenceNoEnd = true;
        row.RecurrenceWeeklyDays = QStringLiteral("0000000");
        row.Active = true;
        ReadSoundAndProgram(c, out);
        bool activeGiven = false;
        const QString active = XValue(c, XActive, &activeGiven);
        if (activeGiven)
            row.Active = ParseBool(active);

        // Our own export, unchanged elsewhere: its stored fields say it all.
        const std::optional<TStartAndRule> exported = TakeExportedFields(c, rrule, out);
        if (rrule && !exported) {
            const icalrecurrencetype rule = icalproperty_get_rrule(rrule);
            const QDate ownDay(timing->Anchor.year, timing->Anchor.month, timing->Anchor.day);
            const qint64 shift = ownDay.daysTo(moment.date());
            const bool workDays = XValue(c, XWorkDays).trimmed() == QLatin1String("1");
            const TSkip mapped = MapRule(rule, ownDay, shift, workDays, row);
            if (!mapped.Reason.isEmpty())
                return Skip(c, mapped.Reason);
            const QString drift = CheckLocalTimes(rule, *timing, moment, shift);
            if (!drift.isEmpty())
                return Skip(c, drift);
            if (rule.count > 0 || !icaltime_is_null_time(rule.until)) {
                QDateTime last;
                ForEachInstance(rule, timing->Anchor, 200000, [&](const icaltimetype &t) {
                    last = MomentOf(t, *timing);
                    return true;
                });
                if (!last.isValid())
                    return Skip(c, QStringLiteral("its rule has no occurrence"));
                row.RecurrenceNoEnd = false;
                row.RecurrenceEndBy = QDateToDateTime(last.date());
            }
        }

        // Removed occurrences (EXDATE), as local moments of the reminder.
        QSet<qint64> removed;
        QList<QDateTime> removedMoments;
        if (row.Recurring) {
            for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_EXDATE_PROPERTY); p;
                 p = icalcomponent_get_next_property(c, ICAL_EXDATE_PROPERTY)) {
                icaltimetype t = PropertyTime(p, c);
                if (t.is_date && !timing->Anchor.is_date) {
                    t.is_date = 0;
                    t.hour = timing->Anchor.hour;
                    t.minute = timing->Anchor.minute;
                    t.zone = timing->Anchor.zone;
                }
                const QDateTime m = MomentOf(t, *timing);
                if (m.isValid() && !removed.contains(Key(m))) {
                    removed.insert(Key(m));
                    removedMoments << m;
                }
            }
        }
        // The excluded only instance of a series without occurrences is no occurrence of it.
        if (exported && exported->Empty)
            removedMoments.removeAll(exported->Start);
        const QStringList carried = XValues(c, XExclusion);
        QSet<qint64> recorded;
        for (const QString &x : carried) {
            // "yyyyMMddThhmm00 TRUE|FALSE"
            const QStringList parts = x.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (parts.size() != 2 || parts.at(0).size() < 13)
                continue;
            const QDate day = DateOfCompact(parts.at(0));
            const QTime time(parts.at(0).mid(9, 2).toInt(), parts.at(0).mid(11, 2).toInt());
            if (!day.isValid() || !time.isValid())
                continue;
            const QDateTime m = Wall(day, time);
            const bool isActive = ParseBool(parts.at(1));
            // A removal that another program took back (its EXDATE is gone) is not kept.
            if (isActive && row.Recurring && !removed.contains(Key(m)))
                continue;
            out.Exclusions.push_back(ExclusionOf(row, m, isActive));
            recorded.insert(Key(m));
        }
        for (const QDateTime &m : removedMoments)
            if (!recorded.contains(Key(m)))
                out.Exclusions.push_back(ExclusionOf(row, m, true));

        // Moved occurrences: the occurrence is removed, the new moment is a one-time reminder.
        std::vector<TIcsReminder> movedReminders;
        for (icalcomponent *o : overrides) {
            icaltimetype rid = ComponentTime(o, ICAL_RECURRENCEID_PROPERTY);
            const QDateTime was = MomentOf(rid, *timing);
            if (!was.isValid() || !row.Recurring)
                continue;
            if (!removed.contains(Key(was))) {
                removed.insert(Key(was));
                out.Exclusions.push_back(ExclusionOf(row, was, true));
            }
            if (IsCancelled(o))
                continue;
            TSkip movedSkip;
            const std::optional<TTiming> own = TimingOf(o, false, movedSkip);
            const QDateTime at = own ? MomentOf(own->Anchor, *own) : QDateTime();
            if (!at.isValid()) {
                Skip(o, movedSkip.Reason.isEmpty() ? QStringLiteral("its new time does not read") : movedSkip.Reason);
                continue;
            }
            TIcsReminder one;
            one.Row = row;
            one.ProgramOffered = out.ProgramOffered;
            one.Row.Id = QUuid::createUuidV5(UidNamespace, uid + QLatin1Char('/') + RecurrenceIdText(o))
                             .toString(QUuid::WithBraces)
                             .toUpper();
            one.Row.ReminderMessage = MessageOf(o);
            one.Row.Recurring = false;
            one.Row.RecurrenceUnit = ruNone;
            one.Row.RecurrenceDailyType = dtNone;
            one.Row.RecurrenceDailyEvery = one.Row.RecurrenceWeeklyEvery = 0;
            one.Row.RecurrenceMonthlyDay = one.Row.RecurrenceMonthlyEvery = 0;
            one.Row.RecurrenceYearlyMonth = one.Row.RecurrenceYearlyDay = 0;
            one.Row.RecurrenceWeeklyDays = QStringLiteral("0000000");
            one.Row.Date = one.Row.RecurrenceStart = one.Row.RecurrenceEndBy = QDateToDateTime(at.date());
            one.Row.Time = EncodeTime(at.time().hour(), at.time().minute());
            one.Row.RecurrenceNoEnd = true;
            one.Row.Active = true;
            const QDateTime ack = Acknowledged(o);
            if (ack.isValid() && ack >= at)
                one.Row.Active = false;
            movedReminders.push_back(std::move(one));
        }

        // Dismissals acknowledged by another program, when the file does not carry ours.
        if (carried.isEmpty()) {
            const QDateTime ack = Acknowledged(c);
            if (ack.isValid() && !row.Recurring && ack >= moment)
                row.Active = false;
            if (ack.isValid() && row.Recurring)
                DismissUpTo(row, ack, out.Exclusions);
        }

        Reading.Reminders.push_back(std::move(out));
        for (TIcsReminder &one : movedReminders)
            Reading.Reminders.push_back(std::move(one));
    }

    static qint64 Key(const QDateTime &m)
    {
        return m.date().toJulianDay() * 1440 + MinuteOf(m);
    }

    void ReadSoundAndProgram(icalcomponent *c, TIcsReminder &out)
    {
        TReminder &row = out.Row;
        bool given = false;
        const QString play = XValue(c, XPlaySound, &given);
        row.PlaySound = given ? ParseBool(play) : true;
        row.RepeatSound = ParseBool(XValue(c, XRepeatSound));
        row.SoundFile = XValue(c, XSoundFile);
        row.ProgramLocation = XValue(c, XProgram);
        out.ProgramOffered = ParseBool(XValue(c, XRunProgram));
        row.RunProgram = false;
    }

    // A repeating event written for another zone: every occurrence in the first two years must
    // land at the reminder's local time of day, on its own day moved by the same shift.
    static QString CheckLocalTimes(const icalrecurrencetype &rule, const TTiming &timing, const QDateTime &moment,
                                   qint64 shift)
    {
        // Floating times, dates and times of our own zone keep the wall clock as the program does.
        if (timing.Anchor.is_date || InLocalZone(timing.Anchor) || (!timing.Anchor.zone && !icaltime_is_utc(timing.Anchor)))
            return {};
        const QDateTime until = moment.addYears(2);
        QString problem;
        ForEachInstance(rule, timing.Anchor, 1000, [&](const icaltimetype &t) {
            const QDateTime m = MomentOf(t, timing);
            if (!m.isValid() || m > until)
                return false;
            const QDate own(t.year, t.month, t.day);
            if (MinuteOf(m) != MinuteOf(moment) || own.daysTo(m.date()) != shift) {
                problem = QStringLiteral("its local time of day changes with daylight saving time (it was written for "
                                         "another time zone)");
                return false;
            }
            return true;
        });
        return problem;
    }

    void DismissUpTo(const TReminder &row, const QDateTime &ack, std::vector<TReminder> &exclusions) const
    {
        TZTDateTimeArray days;
        row.CollectOccurrences(days, QDateToDateTime(ack.date()), workDays_);
        QSet<qint64> have;
        for (const TReminder &x : exclusions)
            have.insert(Key(WallOf(x.Date, x.Time)));
        std::vector<QDate> dates;
        for (int i = 0; i < days.Count(); ++i)
            dates.push_back(DateTimeToQDate(days.Items(i)));
        std::sort(dates.begin(), dates.end());
        for (const QDate &d : dates) {
            const QDateTime m = WallOf(QDateToDateTime(d), row.Time);
            if (m <= ack && !have.contains(Key(m)))
                exclusions.push_back(ExclusionOf(row, m, false));
        }
    }

    // The stored fields the export carried, taken while DTSTART and RRULE still say what the
    // export would write for them (no other program changed the event's time or rule).
    std::optional<TStartAndRule> TakeExportedFields(icalcomponent *c, icalproperty *rrule, TIcsReminder &out) const
    {
        bool given = false;
        const QString fields = XValue(c, XRecurrence, &given);
        if (!given)
            return std::nullopt;
        TReminder candidate = out.Row;
        if (!ApplyRecurrenceFields(fields, candidate))
            return std::nullopt;
        // A working-day series was written with the work week of its export.
        QString workDays = workDays_;
        if (rrule && candidate.RecurrenceUnit == ruDaily && candidate.RecurrenceDailyType != dtEveryNDays) {
            const icalrecurrencetype r = icalproperty_get_rrule(rrule);
            workDays = QStringLiteral("0000000");
            for (int i = 0; i < ListSize(r.by_day, ICAL_BY_DAY_SIZE); ++i) {
                const int w = int(icalrecurrencetype_day_day_of_week(r.by_day[i]));
                SetWeekday(w == 1 ? 7 : w - 1, true, workDays);
            }
        }
        const TStartAndRule expected = StartAndRule(candidate, workDays, zone_);
        const QDateTime start = LocalOf(ComponentTime(c, ICAL_DTSTART_PROPERTY));
        if (!start.isValid() || ToMinute(start) != expected.Start)
            return std::nullopt;
        if (RuleText(rrule) != NormalRule(expected.Rule))
            return std::nullopt;
        out.Row = candidate;
        return expected;
    }
};

// Checks the file's structure line by line, so that a file that does not parse is refused with
// the place where it fails; libical itself reads on past most faults.
void CheckStructure(const QByteArray &utf8)
{
    const auto fail = [](qsizetype line, const QString &what) {
        throw EZTException(QStringLiteral("The file is not a valid iCalendar file."),
                           QStringLiteral("Line %1: %2").arg(line).arg(what), 1);
    };
    QList<QByteArray> stack;
    qsizetype lineNo = 0;
    bool any = false;
    qsizetype pos = 0;
    while (pos < utf8.size()) {
        qsizetype end = utf8.indexOf('\n', pos);
        if (end < 0)
            end = utf8.size();
        QByteArray line = utf8.mid(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (line.endsWith('\r'))
            line.chop(1);
        if (lineNo == 1 && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        if (line.isEmpty())
            continue;
        // A folded line continues the one before it.
        if (line.at(0) == ' ' || line.at(0) == '\t') {
            if (!any)
                fail(lineNo, QStringLiteral("the file begins with a continued line."));
            continue;
        }
        qsizetype nameEnd = 0;
        while (nameEnd < line.size() && (std::isalnum(static_cast<unsigned char>(line.at(nameEnd))) || line.at(nameEnd) == '-'))
            ++nameEnd;
        if (nameEnd == 0 || nameEnd >= line.size() || (line.at(nameEnd) != ':' && line.at(nameEnd) != ';'))
            fail(lineNo, QStringLiteral("\"%1\" is no property (NAME:value).").arg(QString::fromUtf8(line.left(40))));
        const QByteArray name = line.left(nameEnd).toUpper();
        const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed().toUpper();
        if (!any && !(name == "BEGIN" && value == "VCALENDAR"))
            fail(lineNo, QStringLiteral("the file does not begin with BEGIN:VCALENDAR."));
        any = true;
        if (name == "BEGIN") {
            if (value.isEmpty())
                fail(lineNo, QStringLiteral("BEGIN names no component."));
            if (stack.isEmpty() && value != "VCALENDAR")
                fail(lineNo, QStringLiteral("%1 begins outside a VCALENDAR.").arg(QString::fromUtf8(value)));
            stack << value;
        } else if (name == "END") {
            if (stack.isEmpty())
                fail(lineNo, QStringLiteral("END:%1 closes nothing.").arg(QString::fromUtf8(value)));
            if (stack.last() != value)
                fail(lineNo, QStringLiteral("END:%1 closes %2.")
                                 .arg(QString::fromUtf8(value), QString::fromUtf8(stack.last())));
            stack.removeLast();
        } else if (stack.isEmpty()) {
            fail(lineNo, QStringLiteral("%1 stands outside a VCALENDAR.").arg(QString::fromUtf8(name)));
        }
    }
    if (!any)
        throw EZTException(QStringLiteral("There are no reminders to import."), QString(), 1);
    if (!stack.isEmpty())
        fail(lineNo, QStringLiteral("the file ends inside %1 (END:%1 is missing).").arg(QString::fromUtf8(stack.last())));
}

} // namespace

// ---- Writing ------------------------------------------------------------------------------------

QByteArray ReminderToIcs(const TReminder &row, const std::vector<TReminder> &exclusions, const QString &workDays)
{
    RefreshSystemZone();
    const TLocalZone zone;
    std::vector<const TReminder *> rows;
    for (const TReminder &x : exclusions)
        rows.push_back(&x);
    QDateTime earliest;
    const TComponent event = EventOf(row, rows, workDays, zone, earliest);
    return CalendarText({ComponentText(event.get())}, zone, earliest);
}

QByteArray RemindersToIcs(TReminders &store)
{
    RefreshSystemZone();
    const TLocalZone zone;
    const QString workDays = store.WorkDays();
    QByteArrayList events;
    QDateTime earliest;
    std::lock_guard<std::recursive_mutex> guard(store.Lock);
    events.reserve(store.MainRowCount());
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        const TComponent event = EventOf(row, store.ExclusionsOf(row.Id), workDays, zone, earliest);
        events << ComponentText(event.get());
    }
    return CalendarText(events, zone, earliest);
}

// ---- Reading -----------------------------------------------------------------------------------

bool LooksLikeIcs(const QByteArray &bytes)
{
    QByteArray head = bytes.left(64);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    return head.trimmed().toUpper().startsWith("BEGIN:VCALENDAR");
}

TIcsReading ReadIcs(const QByteArray &utf8, const QString &workDays)
{
    CheckStructure(utf8);
    RefreshSystemZone();
    QByteArray text = utf8;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    TComponent root(icalparser_parse_string(text.constData()));
    if (!root)
        throw EZTException(QStringLiteral("The file is not a valid iCalendar file."),
                           QStringLiteral("Line 1: libical could not read it."), 1);
    TReader reader(workDays);
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        reader.Read(root.get());
    } else {
        for (icalcomponent *c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            reader.Read(c);
    }
    return std::move(reader.Reading);
}

// ---- The commands' calls ----------------------------------------------------------------------------

void ExportIcs(TReminders &store, const QString &path)
{
    ZTRaising(TZTRaise::PassThrough,
              QStringLiteral("There was an error while exporting reminders to '%1'.").arg(ZTExtractFileName(path)), [&] {
        int count = 0;
        QByteArray bytes;
        {
            std::lock_guard<std::recursive_mutex> guard(store.Lock);
            count = store.MainRowCount();
            if (count == 0)
                throw EZTException(QStringLiteral("There are no reminders to export."), QString(), 2);
            bytes = RemindersToIcs(store);
        }
        // An existing file is replaced, also when it is read-only.
        ZTDeleteFile(path);
        QSaveFile file(path);
        file.setDirectWriteFallback(false);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            throw std::runtime_error(file.errorString().toStdString());
        throw EZTException(QStringLiteral("%1 reminders exported.").arg(count), QString(), 2);
    });
}

void ImportIcs(TReminders &store, const QString &path)
{
    ZTRaising(TZTRaise::PassThrough,
              QStringLiteral("There was an error while importing reminders from '%1'.").arg(ZTExtractFileName(path)), [&] {
        if (!ZTFileExistsSafe(path))
            throw EZTException(QStringLiteral("File not found."), QStringLiteral("File '%1' not found.").arg(path), 1);
        // The whole file is read before anything is added: a file that fails adds nothing.
        const TIcsReading reading = ReadIcs(ReadTextFile(path).toUtf8(), store.WorkDays());

        int added = 0;
        int updated = 0;
        int programsOff = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(store.Lock);
            QSet<QString> ids;
            TReminder here;
            for (int i = 0; i < store.MainRowCount(); ++i) {
                store.ReadMainRow(i, here);
                ids.insert(here.Id);
            }
            for (const TIcsReminder &item : reading.Reminders) {
                TReminder row = item.Row;
                std::vector<TReminder> exclusions = item.Exclusions;
                // A program starts only where the user allowed it on this machine: a reminder
                // already here that runs the same program keeps running it.
                bool keep = false;
                if (ids.contains(row.Id)) {
                    here.Id = row.Id;
                    store.Refresh(here);
                    keep = item.ProgramOffered && here.RunProgram && here.ProgramLocation == row.ProgramLocation;
                    store.DeleteSeries(here);
                    ++updated;
                } else {
                    ++added;
                }
                if (item.ProgramOffered && !keep)
                    ++programsOff;
                row.RunProgram = keep;
                store.Add(row);
                ids.insert(row.Id);
                for (TReminder &x : exclusions) {
                    x.RunProgram = keep;
                    store.AddExclusion(x);
                }
            }
        }
        const int imported = added + updated;
        QString message = QStringLiteral("%1 reminders imported.").arg(imported);
        if (!reading.Skipped.isEmpty())
            message = QStringLiteral("%1 reminders imported, %2 skipped.").arg(imported).arg(reading.Skipped.size());
        QStringList details;
        if (updated > 0)
            details << QStringLiteral("%1 of them replaced the reminders with the same UID that were already here.").arg(updated);
        if (programsOff > 0)
            details << QStringLiteral("\"Run a program\" came in off for %1 reminders: a file from elsewhere does not "
                                      "start programs here. Turn it on in the reminder to let it start its program.")
                           .arg(programsOff);
        if (!reading.Skipped.isEmpty()) {
            details << QStringLiteral("Skipped, since this program cannot keep them as they are:");
            details << reading.Skipped;
        }
        throw EZTException(message, details.join(QLatin1Char('\n')), 2);
    });
}
