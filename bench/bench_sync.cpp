// Timings of the calendar sync on the generated store (10,000 main rows, 50,000 exclusion rows)
// against a Radicale server started here on 127.0.0.1: the first sync, which uploads every
// reminder; a no-change sync right after it (one request when the server keeps sync tokens);
// and the first sync of a second, empty machine, which downloads them all. Each with its number
// of requests. Radicale checks every new resource's UID against the whole calendar, so its time
// per upload grows with the calendar: --rows N syncs only the first N main rows (with their
// exclusion rows) of the generated store. With --seeded the whole store is first put on the
// server in one request (Radicale takes a whole calendar at the collection's address), so the
// first sync finds every reminder there already: it reads them all and uploads none, and the
// no-change sync after it runs on the full store.
//
//   bench_sync [--rows N] [--seeded]

#include "BenchStore.h"
#include "RadicaleServer.h"
#include "clsRemindersIcs.h"
#include "clsSync.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <cstdio>

using namespace bench;

namespace {

struct TRun {
    TSyncOutcome Outcome;
    double Ms = 0;
};

TRun Sync(TSyncEngine &engine, const QUrl &url)
{
    TRun run;
    QEventLoop loop;
    QObject::connect(&engine, &TSyncEngine::Finished, &loop, [&](const TSyncOutcome &o) {
        run.Outcome = o;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    if (!engine.Start({url, QString::fromLatin1(TRadicaleServer::User), QString::fromLatin1(TRadicaleServer::Password)}))
        return run;
    loop.exec();
    run.Ms = double(timer.nsecsElapsed()) / 1e6;
    QObject::disconnect(&engine, &TSyncEngine::Finished, &loop, nullptr);
    return run;
}

int Report(const char *name, const TRun &run)
{
    if (!run.Outcome.Ok()) {
        std::printf("%-44s failed: %s\n", name, qPrintable(run.Outcome.Message));
        return 1;
    }
    std::printf("%-44s %10.1f ms  %6d requests  (up %d, down %d)\n", name, run.Ms, run.Outcome.Requests, run.Outcome.Uploaded,
                run.Outcome.Downloaded);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--rows")));
    const int rows = at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : OneTimeRows + SeriesRows;
    if (!TRadicaleServer::Installed()) {
        std::printf("radicale is not installed: no sync figures\n");
        return 0;
    }
    TRadicaleServer server;
    QString why;
    if (!server.Start(why)) {
        std::printf("radicale could not be started: %s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    TReminders generated(dir.path() + QStringLiteral("/generated.dat"));
    Generate(generated);
    TReminders store(dir.path() + QStringLiteral("/first.dat"));
    for (int i = 0; i < generated.MainRowCount() && i < rows; ++i) {
        TReminder row;
        generated.ReadMainRow(i, row);
        store.Add(row);
        for (const TReminder *x : generated.ExclusionsOf(row.Id))
            store.AddExclusion(*x);
    }
    store.Save();
    std::printf("Store: %d main rows, %d exclusion rows; Radicale on port %d\n\n", store.MainRowCount(),
                store.ExclusionRowCount(), int(server.Port()));

    TSyncEngine engine(store);
    QUrl url = server.Url();
    int status = 0;
    if (args.contains(QStringLiteral("--seeded"))) {
        url = server.Url(QStringLiteral("/%1/seeded/").arg(QLatin1String(TRadicaleServer::User)));
        QElapsedTimer timer;
        timer.start();
        const auto put =
            server.Request("PUT", url, RemindersToIcs(store), {{"Content-Type", "text/calendar; charset=utf-8"}}, 600000);
        std::printf("%-44s %10.1f ms  (answer %d)\n", "seeding the server in one request", double(timer.nsecsElapsed()) / 1e6,
                    put.Status);
        status |= Report("first sync (every reminder already there)", Sync(engine, url));
    } else {
        status |= Report("first sync (uploads every reminder)", Sync(engine, url));
    }
    const TRun none = Sync(engine, url);
    status |= Report("no-change sync", none);
    if (none.Outcome.Requests != 1) {
        std::printf("  the no-change sync should be one request\n");
        status = 1;
    }

    TReminders other(dir.path() + QStringLiteral("/second.dat"));
    TSyncEngine second(other);
    status |= Report("first sync of an empty machine (downloads)", Sync(second, url));
    if (other.MainRowCount() != store.MainRowCount() || other.ExclusionRowCount() != store.ExclusionRowCount()) {
        std::printf("  the second machine has %d main rows and %d exclusion rows\n", other.MainRowCount(),
                    other.ExclusionRowCount());
        status = 1;
    }
    status |= Report("no-change sync of the second machine", Sync(second, url));
    return status;
}
