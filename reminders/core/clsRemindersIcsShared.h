#pragma once
// The pieces both directions of the iCalendar mapping share (clsRemindersIcs.cpp writes,
// clsRemindersIcsRead.cpp reads): libical ownership, the X-VENTARO property names, local
// wall-clock moments and the local zone, and the DTSTART and RRULE the export writes for a row.

#include "clsReminders.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QTimeZone>

#include <libical/ical.h>

#include <memory>

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


int DaysInMonthOf(int month, bool leap);
QByteArray BoolText(bool b);

// DTSTART and RRULE of a row, as the export writes them.
struct TStartAndRule {
    QDateTime Start;     // local wall clock
    QByteArray Rule;     // empty for a one-time reminder
    bool Empty = false;  // a series without occurrences: its only instance is excluded
};
TStartAndRule StartAndRule(const TReminder &row, const QString &workDays, const TLocalZone &zone);

} // namespace ics
