#pragma once
// The pieces both directions of the iCalendar mapping share (clsRemindersIcs.cpp writes,
// clsRemindersIcsRead.cpp reads): libical ownership, the X-VENTARO property names, local
// wall-clock moments and the local zone, the DTSTART and RRULE the export writes for a row, and
// the times, alarms and rules of events read (clsRemindersIcsRules.cpp).

#include "clsReminders.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QTimeZone>

#include <libical/ical.h>

#include <memory>
#include <optional>

namespace ics {

struct TComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using TComponent = std::unique_ptr<icalcomponent, TComponentFree>;

// Serialises a component.
QByteArray ComponentText(icalcomponent *component);
QString Utf8(const char *text);

inline constexpr char XPlaySound[] = "X-VENTARO-PLAYSOUND";
inline constexpr char XRepeatSound[] = "X-VENTARO-REPEATSOUND";
inline constexpr char XSoundFile[] = "X-VENTARO-SOUNDFILE";
inline constexpr char XRunProgram[] = "X-VENTARO-RUNPROGRAM";
inline constexpr char XProgram[] = "X-VENTARO-PROGRAM";
inline constexpr char XActive[] = "X-VENTARO-ACTIVE";
inline constexpr char XWorkDays[] = "X-VENTARO-WORKDAYS";
inline constexpr char XRecurrence[] = "X-VENTARO-RECURRENCE";
inline constexpr char XExclusion[] = "X-VENTARO-EXCLUSION";
inline constexpr char XMozLastAck[] = "X-MOZ-LASTACK";

inline constexpr int TextWidth = 255;

// "yyyyMMdd" and "yyyyMMddThhmm00".
QByteArray Compact(const QDate &date);
QByteArray Compact(const QDate &date, int minute);
QDate DateOfCompact(const QString &text);

// Local wall-clock moments are held as plain date and time (a QDateTime without a zone to
// consult, which also keeps them free of the system's zone look-ups); they meet the zone only
// where a moment is written in UTC or read from one.
QDateTime Wall(const QDate &date, const QTime &time);
// The system's zone, looked up once per export or import by RefreshSystemZone: Qt's local-time
// conversions consult the C library, which checks the zone file again on every call.
void RefreshSystemZone();
const QTimeZone &SystemZone();
// The system zone's name: times written in it are taken as they stand.
extern thread_local QByteArray LocalZoneId;
QDateTime AsLocal(const QDateTime &wall);
QDateTime WallOfInstant(const QDateTime &instant);
QDateTime WallOf(TDateTime date, TDateTime time);
icaltimetype IcalWall(const QDateTime &wall);
icaltimetype IcalUtc(const QDateTime &wall);

// iCalendar text has no control characters but line breaks and tabs; the others are dropped.
QString WithoutControls(const QString &text);
QString MessageFirstLine(const QString &message);
QString MessageForIcs(const QString &message);
QString MessageFromIcs(const QString &text);

// The zone the export writes its times in.
class TLocalZone {
public:
    enum TKind { Zoned, Utc, Floating };

    TLocalZone()
    {
        const QByteArray id = QTimeZone::systemTimeZoneId();
        static const QSet<QByteArray> utcNames = {"UTC",      "Etc/UTC", "Etc/Universal", "Universal", "Zulu",
                                                  "Etc/Zulu", "Etc/GMT", "GMT",           "UCT",       "Etc/UCT"};
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

int DaysInMonthOf(int month, bool leap);
QByteArray BoolText(bool b);

// DTSTART and RRULE of a row, as the export writes them.
struct TStartAndRule {
    QDateTime Start;    // local wall clock
    QByteArray Rule;    // empty for a one-time reminder
    bool Empty = false; // a series without occurrences: its only instance is excluded
};
TStartAndRule StartAndRule(const TReminder &row, const QString &workDays, const TLocalZone &zone);

// ---- Reading: times, alarms and rules (clsRemindersIcsRules.cpp) ----------------------------

// Whether a time is written in the system's own zone.
bool InLocalZone(const icaltimetype &t);
// The local wall-clock moment of a time as libical read it: UTC and zoned times converted, a
// floating time as it stands, a date at the start of its day; invalid when it is none.
QDateTime LocalOf(const icaltimetype &t);
// Cut to the minute.
QDateTime ToMinute(const QDateTime &moment);
int MinuteOf(const QDateTime &moment);
// A date-time property's time with its zone (from the calendar's VTIMEZONEs or libical's own).
icaltimetype PropertyTime(icalproperty *property, icalcomponent *component);
icaltimetype ComponentTime(icalcomponent *component, icalproperty_kind kind);

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

// The timing of an event or to-do; nullopt with the reason when it has none this program can keep.
std::optional<TTiming> TimingOf(icalcomponent *c, bool repeating, TSkip &skip);
// The reminder's local moment for one instance start.
QDateTime MomentOf(const icaltimetype &instance, const TTiming &timing);
// How many entries of a libical BY... list are set.
int ListSize(const short *list, int size);
// The program's recurrence fields for a rule, with the days shifted by `shift` (the reminder's
// day less the instance's own day). Empty Reason: kept.
TSkip MapRule(const icalrecurrencetype &r, const QDate &first, qint64 shift, bool workDaysSeries, TReminder &row);

struct TIteratorFree {
    void operator()(icalrecur_iterator *i) const { icalrecur_iterator_free(i); }
};
using TIterator = std::unique_ptr<icalrecur_iterator, TIteratorFree>;

// The instances of a rule from its anchor, as libical expands them, up to `limit` of them, while
// visit returns true.
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

} // namespace ics
