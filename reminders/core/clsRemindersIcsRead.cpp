// Reminders in iCalendar: reading the files of this and of other calendar programs.
//
// Decisions where the calendar world leaves a choice:
// - The reminder's moment is the first display or audio alarm's moment, else the start (a
//   to-do's due time); an all-day event without alarm comes at IcsAllDayHour. An absolute alarm
//   of a repeating event rings once elsewhere and is not taken as its moment.
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
#include "clsRemindersIcsShared.h"

#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "uFunctions.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>

using namespace ics;

namespace {

// The namespace of the GUIDs derived from UIDs.
const QUuid UidNamespace(0x6d1e2a4c, 0x93b7, 0x4f05, 0x8a, 0x61, 0x2c, 0x0e, 0x5b, 0x7d, 0x94, 0x13);

QString XValue(icalcomponent *component, const char *name, bool *found = nullptr)
{
    for (icalproperty *p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
        if (qstricmp(icalproperty_get_x_name(p), name) == 0) {
            if (found)
                *found = true;
            QString value = WithoutControls(Utf8(icalproperty_get_x(p)));
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
    static const char *const names[] = {"DATE",       "START",        "END",         "NOEND",       "RECURRING",
                                        "UNIT",       "DAILYTYPE",    "DAILYEVERY",  "WEEKLYEVERY", "WEEKDAYS",
                                        "MONTHLYDAY", "MONTHLYEVERY", "YEARLYMONTH", "YEARLYDAY"};
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
    explicit TReader(const QString &workDays) : workDays_(workDays) {}

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
    QSet<QString> ids_;

    void Skip(icalcomponent *c, const QString &reason) { Reading.Skipped << QStringLiteral("%1: %2.").arg(Caption(c), reason); }

    static QString RecurrenceIdText(icalcomponent *c)
    {
        icalproperty *p = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
        return p ? Utf8(icalproperty_get_value_as_string(p)) : QString();
    }

    // A fault libical found in a property the reminder's moment or rule depends on (it drops
    // such a property, and reading on without it would import the event half right); faults in
    // other properties, such as an empty SUMMARY, only cost that property.
    static QString ParseError(icalcomponent *c)
    {
        static const char *const vital[] = {"DTSTART", "DTEND",  "DUE",    "DURATION",      "RRULE",
                                            "RDATE",   "EXDATE", "EXRULE", "RECURRENCE-ID", "TRIGGER"};
        QList<icalcomponent *> parts{c};
        for (icalcomponent *a = icalcomponent_get_first_component(c, ICAL_VALARM_COMPONENT); a;
             a = icalcomponent_get_next_component(c, ICAL_VALARM_COMPONENT))
            parts << a;
        for (icalcomponent *part : parts) {
            for (icalproperty *p = icalcomponent_get_first_property(part, ICAL_XLICERROR_PROPERTY); p;
                 p = icalcomponent_get_next_property(part, ICAL_XLICERROR_PROPERTY)) {
                const QString error = Utf8(icalproperty_get_xlicerror(p));
                for (const char *name : vital)
                    if (error.contains(QLatin1String(name), Qt::CaseInsensitive))
                        return error;
            }
        }
        return {};
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
            if (ids_.contains(one.Row.Id)) {
                Skip(o, QStringLiteral("a second change of the same occurrence"));
                continue;
            }
            ids_.insert(one.Row.Id);
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

        // Every reminder read has its own Id, so that each exports as an event of its own again.
        if (ids_.contains(row.Id))
            return Skip(c, QStringLiteral("a second event with the same UID"));
        ids_.insert(row.Id);
        Reading.Reminders.push_back(std::move(out));
        for (TIcsReminder &one : movedReminders)
            Reading.Reminders.push_back(std::move(one));
    }

    static qint64 Key(const QDateTime &m) { return m.date().toJulianDay() * 1440 + MinuteOf(m); }

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
    static QString CheckLocalTimes(const icalrecurrencetype &rule, const TTiming &timing, const QDateTime &moment, qint64 shift)
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
                fail(lineNo, QStringLiteral("END:%1 closes %2.").arg(QString::fromUtf8(value), QString::fromUtf8(stack.last())));
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
                      std::lock_guard<std::recursive_mutex> guard(store.Lock());
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
                      details << QStringLiteral("%1 of them replaced the reminders with the same UID that were already here.")
                                     .arg(updated);
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
