#pragma once
// The same reminders in the input language of `remind` (the Debian package of that name), so
// that `ventaro-query next` and `remind -n` can be timed side by side on equal work: every
// main-table row becomes REM lines whose next trigger is the row's next occurrence, and the
// coming days that exclusion records remove are left out by a SATISFY condition.

#include "ZTDateUtils.h"
#include "clsReminders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>

namespace bench {

inline QString RemindDate(TDateTime value)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    return QStringLiteral("%1-%2-%3")
        .arg(y, 4, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(d, 2, 10, QLatin1Char('0'));
}

// One series or one-time reminder as REM lines; `today` bounds the exclusions worth stating.
inline QStringList RemindLines(const TReminders &store, const TReminder &r, const QString &workDays, TDateTime today)
{
    static const char *const weekday[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const month[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int minute = MinuteOfDay(r.Time);
    const QString at =
        QStringLiteral(" AT %1:%2").arg(minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0'));
    QString message = r.ReminderMessage;
    message.replace(QLatin1Char('%'), QLatin1Char(' ')).replace(QLatin1Char('['), QLatin1Char(' '));
    const QString msg = QStringLiteral(" MSG ") + message;
    if (!r.Recurring)
        return {QStringLiteral("REM ") + RemindDate(r.Date) + at + msg};

    const QString from = QStringLiteral(" FROM ") + RemindDate(r.RecurrenceStart);
    const QString until = r.RecurrenceNoEnd ? QString() : QStringLiteral(" UNTIL ") + RemindDate(r.RecurrenceEndBy);
    // Removed and dismissed occurrences from today on: the next occurrence skips them.
    QStringList conditions;
    for (const TReminder *x : store.ExclusionsOf(r.Id))
        if (x->Date >= today && MinuteOfDay(x->Time) == minute)
            conditions << QStringLiteral("trigdate() != '%1'").arg(RemindDate(x->Date));
    const auto rem = [&](const QString &spec, QStringList rule) {
        rule += conditions;
        const QString satisfy =
            rule.isEmpty() ? QString() : QStringLiteral(" SATISFY [") + rule.join(QStringLiteral(" && ")) + QLatin1Char(']');
        return QStringLiteral("REM") + spec + at + satisfy + msg;
    };
    int sy = 0, sm = 0, sd = 0;
    DecodeDate(r.RecurrenceStart, sy, sm, sd);
    switch (r.RecurrenceUnit) {
    case ruDaily:
        if (r.RecurrenceDailyType == dtEveryNDays)
            return {
                rem(QStringLiteral(" %1 *%2").arg(RemindDate(r.RecurrenceStart)).arg(std::max(1, r.RecurrenceDailyEvery)) + until,
                    {})};
        else {
            QString days;
            for (int w = 0; w < 7 && w < workDays.size(); ++w)
                if (workDays.at(w) == QLatin1Char('1'))
                    days += QLatin1Char(' ') + QLatin1String(weekday[w]);
            return {rem(days + from + until, {})};
        }
    case ruWeekly: {
        // One line per weekday: its day in the start week, or 7N days later when that is
        // before the start, repeated every 7N days.
        QStringList lines;
        const int step = 7 * std::max(1, r.RecurrenceWeeklyEvery);
        const std::int64_t start = DayNumber(r.RecurrenceStart);
        const std::int64_t monday = start - (ZTIsoWeekday(start) - 1);
        for (int w = 0; w < 7 && w < r.RecurrenceWeeklyDays.size(); ++w) {
            if (r.RecurrenceWeeklyDays.at(w) != QLatin1Char('1'))
                continue;
            std::int64_t first = monday + w;
            if (first < start)
                first += step;
            lines << rem(QStringLiteral(" %1 *%2").arg(RemindDate(double(first))).arg(step) + until, {});
        }
        return lines;
    }
    case ruMonthly: {
        const int day = r.RecurrenceMonthlyDay;
        const int every = std::max(1, r.RecurrenceMonthlyEvery);
        // Every Nth month counted from the start's month; a day past the 28th falls on the last
        // day of shorter months, which takes a day-by-day condition.
        QStringList rule;
        if (every > 1)
            rule << QStringLiteral("(year(trigdate()) * 12 + monnum(trigdate()) - %1) % %2 == 0").arg(sy * 12 + sm).arg(every);
        if (day <= 28)
            return {rem(QStringLiteral(" %1").arg(day) + from + until, rule)};
        rule.prepend(QStringLiteral("day(trigdate()) == min(%1, daysinmon(monnum(trigdate()), year(trigdate())))").arg(day));
        return {rem(from + until, rule)};
    }
    case ruYearly: {
        const int mo = std::clamp(r.RecurrenceYearlyMonth, 1, 12);
        const int day = r.RecurrenceYearlyDay;
        if (day <= 28)
            return {rem(QStringLiteral(" %1 %2").arg(day).arg(QLatin1String(month[mo - 1])) + from + until, {})};
        return {rem(QStringLiteral(" ") + QLatin1String(month[mo - 1]) + from + until,
                    {QStringLiteral("day(trigdate()) == min(%1, daysinmon(%2, year(trigdate())))").arg(day).arg(mo)})};
    }
    default:
        return {};
    }
}

// The remind file of every main-table row, in table order.
inline QByteArray RemindFile(TReminders &store, TDateTime today)
{
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    const QString workDays = store.WorkDays();
    QString out;
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        for (const QString &line : RemindLines(store, row, workDays, today))
            out += line + QLatin1Char('\n');
    }
    return out.toUtf8();
}

} // namespace bench
