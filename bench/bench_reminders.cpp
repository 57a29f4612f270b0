// Timings of the reminder store's queries and file operations on a large generated store:
// 10,000 main rows (half one-time reminders, half series of every unit and rule started up to
// twenty years ago) and 50,000 exclusion rows on those series. Each figure is the median of
// several runs after one warm-up run, with the best run beside it.
//
// The figures of the database file and of the query tool are judged on the best run, since
// the machine may be shared and the best run is the one least disturbed by other work: save
// at most 50 ms; load at most twice the plain read-and-split of the same file, measured in the
// same run; `ventaro-query next` at most half the time of `remind -n` on the same reminders,
// whole processes timed side by side (only when `remind` is installed).
//
//   bench_reminders [--repeat N] [--query PATH-OF-VENTARO-QUERY]

#include "BenchStore.h"
#include "Floor.h"
#include "RemindFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace bench;

extern char **environ;

namespace {

// The time of one whole process, from its start to its exit, with its output thrown away;
// negative when it cannot be started or does not end with status 0.
double RunProcess(const QStringList &arguments)
{
    std::vector<QByteArray> encoded;
    for (const QString &a : arguments)
        encoded.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : encoded)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

// Runs the commands in turn, repeat times after one warm-up round, so that both see the same
// load of the machine; the figure of each (negative median when a run failed).
std::vector<TFigure> MeasureProcesses(int repeat, const std::vector<QStringList> &commands)
{
    std::vector<std::vector<double>> ms(commands.size());
    for (int i = 0; i <= repeat; ++i)
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const double elapsed = RunProcess(commands[c]);
            if (elapsed < 0)
                return std::vector<TFigure>(commands.size(), TFigure{-1, -1});
            if (i > 0)
                ms[c].push_back(elapsed);
        }
    std::vector<TFigure> figures;
    for (std::vector<double> &m : ms) {
        std::sort(m.begin(), m.end());
        figures.push_back({m[m.size() / 2], m.front()});
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int repeat = 15;
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--repeat")));
    if (at > 0 && at + 1 < args.size())
        repeat = std::max(1, args.at(at + 1).toInt());
    const int queryAt = int(args.indexOf(QStringLiteral("--query")));
    const QString queryTool = queryAt > 0 && queryAt + 1 < args.size() ? args.at(queryAt + 1) : QString();

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

    over += Report("GetDue without catch-up",
                   Measure(repeat, {},
                           [&] {
                               TReminderList list;
                               store.GetDue(list, false, TimeOf(now), DateOf(now));
                               sink += std::size_t(list.Count());
                           }),
                   2);
    over += Report("NextOccurrence of every row",
                   Measure(repeat, {},
                           [&] {
                               for (const TReminder &r : rows)
                                   sink += r.NextOccurrence(store) > 0;
                           }),
                   20);
    over += Report("OccursOn of every row for one day",
                   Measure(repeat, {},
                           [&] {
                               for (const TReminder &r : rows)
                                   sink += r.OccursOn(store, DateOf(now));
                           }),
                   5);
    over += Report("BuildMonthMarks over 62 days",
                   Measure(repeat, {},
                           [&] {
                               store.BuildMonthMarks(1, Day(QDate(2026, 1, 1)), Day(QDate(2026, 3, 3)));
                               sink += store.HasRemindersOn(1, now);
                           }),
                   5);

    // The start-up catch-up over the whole store: every series missed since its start (up to
    // twenty years), one item (one alert window) per reminder.
    TCatchUpList catchUp;
    over += Report("Catch-up listing at start-up",
                   Measure(repeat, {},
                           [&] {
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
    std::printf("  %zu alerts (%d of them series), at most one per reminder, for %lld missed occurrences\n", catchUp.size(),
                seriesAlerts, missed);

    std::printf("\nDatabase file (judged on the best of %d runs):\n", repeat);
    over += ReportBest("Save", Measure(repeat, {}, [&] { store.Save(); }), 50);
    TSplit split;
    const TFigure floor = Measure(repeat, {}, [&] { split = ReadAndSplit(file); });
    Report(
        "Read and split of the same file (floor)", floor, 0,
        qPrintable(
            QStringLiteral("  (%1 lines, %2 fields, %3 bytes)").arg(split.Lines).arg(split.Fields).arg(QFileInfo(file).size())));
    std::unique_ptr<TReminders> loaded;
    const TFigure load = Measure(
        repeat, [&] { loaded = std::make_unique<TReminders>(file); }, [&] { loaded->Load(); });
    over += ReportBest("Load", load, 2 * floor.Best,
                       qPrintable(QStringLiteral("  (twice the floor; load/floor %1)").arg(load.Best / floor.Best, 0, 'f', 2)));
    if (loaded->MainRowCount() != store.MainRowCount() || loaded->ExclusionRowCount() != store.ExclusionRowCount()) {
        std::fprintf(stderr, "Load read back %d/%d rows instead of %d/%d.\n", loaded->MainRowCount(), loaded->ExclusionRowCount(),
                     store.MainRowCount(), store.ExclusionRowCount());
        return 1;
    }

    if (!queryTool.isEmpty()) {
        // The query tool against remind on the same reminders, whole processes side by side:
        // the 10,000 main rows, in a file of their own.
        const QString queryFile = dir.filePath(QStringLiteral("query.dat"));
        TReminders mainRows(queryFile);
        for (const TReminder &r : rows)
            mainRows.Add(r);
        mainRows.Save();
        // The pinned clock's moment, 21 January 2026 at 09:00.
        const QString moment = Today.toString(Qt::ISODate) + QStringLiteral(" 09:00");
        const QStringList query = {queryTool, QStringLiteral("--db"),       queryFile,        QStringLiteral("--now"),
                                   moment,    QStringLiteral("--workdays"), store.WorkDays(), QStringLiteral("next")};
        const QString remind = QStandardPaths::findExecutable(QStringLiteral("remind"));
        std::printf("\nQuery tool on the %d main rows, whole process (judged on the best of %d runs):\n", mainRows.MainRowCount(),
                    3 * repeat);
        if (remind.isEmpty()) {
            const TFigure alone = MeasureProcesses(3 * repeat, {query}).front();
            Report("ventaro-query next", alone, 0, "  (remind is not installed: no ratio)");
            over += alone.Best < 0;
        } else {
            const QString remFile = dir.filePath(QStringLiteral("bench.rem"));
            QFile rem(remFile);
            if (!rem.open(QIODevice::WriteOnly) || rem.write(RemindFile(mainRows, DateOf(now))) < 0) {
                std::fprintf(stderr, "Cannot write %s.\n", qPrintable(remFile));
                return 1;
            }
            rem.close();
            const std::vector<TFigure> both =
                MeasureProcesses(3 * repeat, {query, {remind, QStringLiteral("-n"), remFile, Today.toString(Qt::ISODate)}});
            if (both[0].Best < 0 || both[1].Best < 0) {
                std::fprintf(stderr, "ventaro-query or remind failed.\n");
                return 1;
            }
            Report("remind -n (same reminders)", both[1], 0);
            over += ReportBest(
                "ventaro-query next", both[0], both[1].Best / 2,
                qPrintable(QStringLiteral("  (half of remind; ratio %1)").arg(both[0].Best / both[1].Best, 0, 'f', 2)));
        }
    }

    std::printf("\nFor information (no target):\n");
    const TReminder *someSeries = nullptr;
    for (const TReminder &r : rows)
        if (r.Recurring && !someSeries)
            someSeries = &r;
    Report("Exclusion index rebuild",
           Measure(
               repeat, [&] { store.AddExclusion(TReminder()); },
               [&] { sink += store.IsExcluded(*someSeries, false, someSeries->Time, now); }),
           0, "  (first lookup after an exclusion is added)");
    Report("GetAll",
           Measure(repeat, {},
                   [&] {
                       TReminderList list;
                       store.GetAll(list);
                       sink += std::size_t(list.Count());
                   }),
           0);

    if (largest) {
        // What answering the largest catch-up alert writes: every earlier occurrence recorded.
        TZTDateTimeArray days;
        const std::int64_t upTo = MinuteStamp(largest->Due->OccurrenceDate, largest->Due->OccurrenceTime) - 1;
        const TFigure collect = Measure(
            repeat, [&] { days.Clear(); }, [&] { store.CollectMissed(*largest->Due, TReminders::NoStamp, upTo, -1, days); });
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
