// The read-and-split floor of a database file: the time to read it and split it into lines
// and fields (no decoding, no conversion), best and median of several runs after a warm-up;
// beside it the store's Load of the same file, and the ratio of the best runs.
//
//   bench_floor FILE [--repeat N]

#include "BenchStore.h"
#include "Floor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <memory>

using namespace bench;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int repeat = 15;
    const int at = int(args.indexOf(QStringLiteral("--repeat")));
    if (at >= 0 && at + 1 < args.size()) {
        repeat = std::max(1, args.at(at + 1).toInt());
        args.remove(at, 2);
    }
    if (args.size() != 1 || !QFileInfo(args.first()).isFile()) {
        std::fprintf(stderr, "Usage: bench_floor FILE [--repeat N]\n");
        return 1;
    }
    TSplit split;
    const TFigure floor = Measure(repeat, {}, [&] { split = ReadAndSplit(args.first()); });
    std::printf("%zu lines, %zu fields, %lld bytes\n", split.Lines, split.Fields,
                static_cast<long long>(QFileInfo(args.first()).size()));
    Report("Read and split", floor, 0);
    std::unique_ptr<TReminders> store;
    const TFigure load = Measure(
        repeat, [&] { store = std::make_unique<TReminders>(args.first()); }, [&] { store->Load(); });
    Report("Load", load, 0,
           qPrintable(QStringLiteral("  (%1 + %2 rows; best load/floor %3)")
                          .arg(store->MainRowCount())
                          .arg(store->ExclusionRowCount())
                          .arg(load.Best / floor.Best, 0, 'f', 2)));
    return 0;
}
