// Reminders in iCalendar: writing VEVENTs from store rows, through libical, and the pieces the
// reading (clsRemindersIcsRead.cpp) shares.
//
// Decisions where the calendar world leaves a choice:
// - Times are written in the local zone (its IANA name as TZID, with libical's VTIMEZONE for it,
//   cut to the span the file needs). When the local zone is UTC they are written in UTC; when
//   libical does not know the zone, as floating times.
// - A series without any occurrence is written with its start as DTSTART and a rule whose only
//   instance is excluded, so that other programs show nothing either.
// - A yearly day that its month lacks in some years (29 February, 31 April) is the month's last
//   day (BYMONTHDAY=-1), where the program falls then.
// - Exclusion rows whose series is not in the main table belong to no event and stay behind.

#include "clsRemindersIcs.h"
#include "clsRemindersIcsShared.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "uFunctions.h"

#include <QHash>
#include <QSet>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace ics {

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

// Written digit by digit: the locale-aware date formatting costs more than the rest of an
// event's text.
QByteArray Compact(const QDate &date)
{
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%04d%02d%02d", date.year(), date.month(), date.day());
    return QByteArray(text, n);
}

QByteArray Compact(const QDate &date, int minute)
{
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d00", date.year(), date.month(), date.day(), minute / 60,
                                minute % 60);
    return QByteArray(text, n);
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
    const auto end =
        std::find_if(message.cbegin(), message.cend(), [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); });
    return message.left(end - message.cbegin());
}

// Line breaks as iCalendar text has them (LF); carriage returns go, as the database drops them.
QString MessageForIcs(const QString &message)
{
    QString text = message;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.remove(QLatin1Char('\r'));
    return WithoutControls(text);
}

QString WithoutControls(const QString &text)
{
    QString out = text;
    out.removeIf(
        [](QChar c) { return c.category() == QChar::Other_Control && c != QLatin1Char('\n') && c != QLatin1Char('\t'); });
    return out;
}

// Line breaks as the database file gives them back (CR LF).
QString MessageFromIcs(const QString &text)
{
    QString message = text;
    message.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    message.remove(QLatin1Char('\r'));
    message = WithoutControls(message);
    message.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return message;
}

// ---- Writing ---------------------------------------------------------------------------------

const char *const DayNames[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

int DaysInMonthOf(int month, bool leap)
{
    return ZTDaysInMonth(leap ? 2024 : 2023, month);
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
        return "FREQ=WEEKLY;INTERVAL=" + QByteArray::number(std::max(1, row.RecurrenceWeeklyEvery))
               + ";BYDAY=" + DayList(row.RecurrenceWeeklyDays) + ";WKST=MO";
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
    icalproperty *property = icalproperty_new_x(WithoutControls(value).toUtf8().constData());
    icalproperty_set_x_name(property, name);
    icalcomponent_add_property(component, property);
}

// The stored fields that iCalendar has no word for, as NAME=value words.
QString RecurrenceFields(const TReminder &row)
{
    const auto n = [](int value) { return QString::number(value); };
    const auto day = [](TDateTime value) { return QString::fromLatin1(Compact(DateTimeToQDate(value))); };
    const auto flag = [](bool value) { return QString::fromLatin1(BoolText(value)); };
    return QLatin1String("DATE=") + day(row.Date) + QLatin1String(" START=") + day(row.RecurrenceStart) + QLatin1String(" END=")
           + day(row.RecurrenceEndBy) + QLatin1String(" NOEND=") + flag(row.RecurrenceNoEnd) + QLatin1String(" RECURRING=")
           + flag(row.Recurring) + QLatin1String(" UNIT=") + n(RecurrenceUnitToInt(row.RecurrenceUnit))
           + QLatin1String(" DAILYTYPE=") + n(RecurrenceDailyTypeToInt(row.RecurrenceDailyType)) + QLatin1String(" DAILYEVERY=")
           + n(row.RecurrenceDailyEvery) + QLatin1String(" WEEKLYEVERY=") + n(row.RecurrenceWeeklyEvery)
           + QLatin1String(" WEEKDAYS=") + (row.RecurrenceWeeklyDays.isEmpty() ? QStringLiteral("-") : row.RecurrenceWeeklyDays)
           + QLatin1String(" MONTHLYDAY=") + n(row.RecurrenceMonthlyDay) + QLatin1String(" MONTHLYEVERY=")
           + n(row.RecurrenceMonthlyEvery) + QLatin1String(" YEARLYMONTH=") + n(row.RecurrenceYearlyMonth)
           + QLatin1String(" YEARLYDAY=") + n(row.RecurrenceYearlyDay);
}

TComponent EventOf(const TReminder &row, const std::vector<const TReminder *> &exclusions, const QString &workDays,
                   const TLocalZone &zone, const icaltimetype &stamp, QDateTime &earliest)
{
    TComponent event(icalcomponent_new_vevent());
    icalcomponent *e = event.get();
    icalcomponent_add_property(e, icalproperty_new_uid(row.Id.toUtf8().constData()));
    icalcomponent_add_property(e, icalproperty_new_dtstamp(stamp));
    const QByteArray summary = WithoutControls(MessageFirstLine(row.ReminderMessage)).toUtf8();
    const QByteArray description = MessageForIcs(row.ReminderMessage).toUtf8();
    // An empty text is no valid property value: an empty message has no SUMMARY or DESCRIPTION.
    if (!summary.isEmpty())
        icalcomponent_add_property(e, icalproperty_new_summary(summary.constData()));
    if (!description.isEmpty())
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
    // A display alarm must have a text.
    icalcomponent_add_property(alarm, icalproperty_new_description(description.isEmpty() ? "Reminder" : description.constData()));
    if (lastDismissed.isValid()) {
        icalcomponent_add_property(alarm, icalproperty_new_acknowledged(IcalUtc(lastDismissed)));
        const QDateTime utc = AsLocal(lastDismissed).toUTC();
        AddX(alarm, XMozLastAck, QString::fromLatin1(Compact(utc.date(), utc.time().hour() * 60 + utc.time().minute()) + 'Z'));
    }
    icalcomponent_add_component(e, alarm);
    return event;
}

// DTSTAMP: when the file was written, in UTC, to the second.
icaltimetype ExportStamp()
{
    const QDateTime now = ZTNowDateTime().toUTC();
    icaltimetype t = IcalWall(Wall(now.date(), now.time()));
    t.second = now.time().second();
    t.zone = icaltimezone_get_utc_timezone();
    return t;
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

} // namespace ics

using namespace ics;

// ---- Writing ------------------------------------------------------------------------------------

QByteArray ReminderToIcs(const TReminder &row, const std::vector<TReminder> &exclusions, const QString &workDays)
{
    RefreshSystemZone();
    const TLocalZone zone;
    std::vector<const TReminder *> rows;
    for (const TReminder &x : exclusions)
        rows.push_back(&x);
    QDateTime earliest;
    const TComponent event = EventOf(row, rows, workDays, zone, ExportStamp(), earliest);
    return CalendarText({ComponentText(event.get())}, zone, earliest);
}

QByteArray RemindersToIcs(TReminders &store)
{
    RefreshSystemZone();
    const TLocalZone zone;
    const QString workDays = store.WorkDays();
    QByteArrayList events;
    QDateTime earliest;
    const icaltimetype stamp = ExportStamp();
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    events.reserve(store.MainRowCount());
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        const TComponent event = EventOf(row, store.ExclusionsOf(row.Id), workDays, zone, stamp, earliest);
        events << ComponentText(event.get());
    }
    return CalendarText(events, zone, earliest);
}

// ---- The commands' calls ----------------------------------------------------------------------------

void ExportIcs(TReminders &store, const QString &path)
{
    ZTRaising(TZTRaise::PassThrough,
              QStringLiteral("There was an error while exporting reminders to '%1'.").arg(ZTExtractFileName(path)), [&] {
                  int count = 0;
                  QByteArray bytes;
                  {
                      std::lock_guard<std::recursive_mutex> guard(store.Lock());
                      count = store.MainRowCount();
                      if (count == 0)
                          throw EZTException(QStringLiteral("There are no reminders to export."), QString(), 2);
                      bytes = RemindersToIcs(store);
                  }
                  // An existing file is replaced, also when it is read-only.
                  ZTDeleteFile(path);
                  QString reason;
                  if (!ZTWriteFileAtomic(path, bytes, reason))
                      throw std::runtime_error(reason.toStdString());
                  throw EZTException(QStringLiteral("%1 reminders exported.").arg(count), QString(), 2);
              });
}
