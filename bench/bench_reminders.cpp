// Timings of the reminder store's queries and file operations on a large generated store:
// 10,000 main rows (half one-time reminders, half series of every unit and rule started up to
// twenty years ago) and 50,000 exclusion rows on those series. Each figure is the median of
// several runs after one warm-up run, with the best run beside it.
//
//   bench_reminders [--repeat N]

#include "BenchStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace bench;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int repeat = 15;
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--repeat")));
    if (at > 0 && at + 1 < args.size())
        repeat = std::max(1, args.at(at + 1).toInt());

    ZTPinClock(QDateTime(Today, QTime(9, 0)));
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "Cannot create a temporary folder.\n");
        return 1;
    }
    const QString file = dir.filePath(QStringLiteral("bench.dat"));

    TReminders store(file);
    QElapsedTimer generation;
    generation.start();
    Generate(store);
    std::printf("Store: %d main rows, %d exclusion rows (generated in %lld ms); repeat %d\n\n", store.MainRowCount(),
                store.ExclusionRowCount(), static_cast<long long>(generation.elapsed()), repeat);

    std::vector<TReminder> rows(std::size_t(store.MainRowCount()));
    for (int i = 0; i < store.MainRowCount(); ++i)
        store.ReadMainRow(i, rows[std::size_t(i)]);

    const TDateTime now = ZTNow();
    int over = 0;
    std::size_t sink = 0;

    over += Report("GetDue without catch-up", Measure(repeat, {}, [&] {
                       TReminderList list;
                       store.GetDue(list, false, TimeOf(now), DateOf(now));
                       sink += std::size_t(list.Count());
                   }),
                   2);
    over += Report("NextOccurrence of every row", Measure(repeat, {}, [&] {
                       for (const TReminder &r : rows)
                           sink += r.NextOccurrence(store) > 0;
                   }),
                   20);
    over += Report("OccursOn of every row for one day", Measure(repeat, {}, [&] {
                       for (const TReminder &r : rows)
                           sink += r.OccursOn(store, DateOf(now));
                   }),
                   5);
    over += Report("BuildMonthMarks over 62 days", Measure(repeat, {}, [&] {
                       store.BuildMonthMarks(1, Day(QDate(2026, 1, 1)), Day(QDate(2026, 3, 3)));
                       sink += store.HasRemindersOn(1, now);
                   }),
                   5);

    // The start-up catch-up over the whole store: every series missed since its start (up to
    // twenty years), one item (one alert window) per reminder.
    TCatchUpList catchUp;
    over += Report("Catch-up listing at start-up", Measure(repeat, {}, [&] {
                       catchUp.clear();
                       store.GetCatchUp(catchUp, TimeOf(now), DateOf(now));
                       sink += catchUp.size();
                   }),
                   1000);
    QSet<QString> alerted;
    long long missed = 0, seriesMissed = 0;
    int seriesAlerts = 0;
    const TCatchUpItem *largest = nullptr;
    for (const TCatchUpItem &item : catchUp) {
        if (alerted.contains(item.Due->Id)) {
            std::fprintf(stderr, "The catch-up lists reminder %s twice.\n", qPrintable(item.Due->Id));
            return 1;
        }
        alerted.insert(item.Due->Id);
        missed += item.Earlier + 1;
        if (item.Due->Recurring) {
            ++seriesAlerts;
            seriesMissed += item.Earlier + 1;
            if (!largest || item.Earlier > largest->Earlier)
                largest = &item;
        }
    }
    std::printf("  %zu alerts (%d of them series), at most one per reminder, for %lld missed occurrences\n",
                catchUp.size(), seriesAlerts, missed);

    over += Report("Save", Measure(std::max(3, repeat / 3), {}, [&] { store.Save(); }), 150);
    std::unique_ptr<TReminders> loaded;
    over += Report("Load", Measure(std::max(3, repeat / 3), [&] { loaded = std::make_unique<TReminders>(file); },
                                   [&] { loaded->Load(); }),
                   150);
    if (loaded->MainRowCount() != store.MainRowCount() || loaded->ExclusionRowCount() != store.ExclusionRowCount()) {
        std::fprintf(stderr, "Load read back %d/%d rows instead of %d/%d.\n", loaded->MainRowCount(),
                     loaded->ExclusionRowCount(), store.MainRowCount(), store.ExclusionRowCount());
        return 1;
    }

    std::printf("\nFor information (no target):\n");
    const TReminder *someSeries = nullptr;
    for (const TReminder &r : rows)
        if (r.Recurring && !someSeries)
            someSeries = &r;
    Report("Exclusion index rebuild", Measure(repeat, [&] { store.AddExclusion(TReminder()); }, [&] {
               sink += store.IsExcluded(*someSeries, false, someSeries->Time, now);
           }),
           0, "  (first lookup after an exclusion is added)");
    Report("GetAll", Measure(repeat, {}, [&] {
               TReminderList list;
               store.GetAll(list);
               sink += std::size_t(list.Count());
           }),
           0);

    if (largest) {
        // What answering the largest catch-up alert writes: every earlier occurrence recorded.
        TZTDateTimeArray days;
        const std::int64_t upTo = MinuteStamp(largest->Due->OccurrenceDate, largest->Due->OccurrenceTime) - 1;
        const TFigure collect = Measure(repeat, [&] { days.Clear(); }, [&] {
            store.CollectMissed(*largest->Due, TReminders::NoStamp, upTo, -1, days);
        });
        Report("Earlier occurrences of the largest alert", collect, 0,
               qPrintable(QStringLiteral("  (%1 days)").arg(days.Count())));
        const qsizetype line = store.FormatLine(*largest->Due->MakeExclusion(), true).toUtf8().size() + 2;
        std::printf("  Dismissing every catch-up alert adds %lld exclusion records, about %lld MB of database file\n",
                    seriesMissed, static_cast<long long>(seriesMissed * line / 1000000));
    }

    std::printf("\n%s (checksum %zu)\n", over ? "Some figures are over their targets." : "All figures within their targets.",
                sink);
    return over ? 1 : 0;
}
