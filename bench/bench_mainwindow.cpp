// Timings of the main window on the generated store of 10,000 reminders: a date click (the
// calendar's selection cycle: marks, the list of all reminders and the day view rebuilt), a
// refresh of the same date (commit and refresh without the save), and a key press in the
// calendar with the repaint it causes. Also the window's memory after thousands of date
// selections, which must stay flat.
//
//   bench_mainwindow [--repeat N] [--clicks N]

#include "BenchStore.h"

#include "ZTCalendarPanel.h"
#include "ZTExceptions.h"
#include "frmMain.h"

#include "uMain.h"
#include <QTimer>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

namespace {
using namespace bench;

// Resident memory of the process in KiB (from /proc), 0 where it cannot be read.
long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

void Settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const auto option = [&](const char *name, int fallback) {
        const int at = int(args.indexOf(QString::fromLatin1(name)));
        return at > 0 && at + 1 < args.size() ? std::max(1, args.at(at + 1).toInt()) : fallback;
    };
    const int repeat = option("--repeat", 15);
    const int clicks = option("--clicks", 3000);

    ZTPinClock(QDateTime(Today, QTime(9, 0)));
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "Cannot create a temporary folder.\n");
        return 1;
    }
    ZTApplication = std::make_unique<TZTApplication>();
    ZTApplication->Title = QStringLiteral("Merrowick Ventaro!");
    Options = std::make_unique<TVNTROptions>();
    Options->ShowTips = false;
    Reminders = std::make_unique<TReminders>(dir.filePath(QStringLiteral("bench.dat")));
    Reminders->WorkDaysSource = [] { return Options ? Options->WorkDays : QString(); };
    Generate(*Reminders);
    std::printf("Store: %d main rows, %d exclusion rows; repeat %d\n\n", Reminders->MainRowCount(),
                Reminders->ExclusionRowCount(), repeat);

    auto main = std::make_unique<TVNTRMain>();
    // A failure is printed, not shown in a dialog that nobody would answer.
    int failures = 0;
    ZTSetExceptionHandler([&failures](const std::exception_ptr &error) {
        ++failures;
        std::fprintf(stderr, "error: %s\n", qPrintable(ZTExceptionMessage(error)));
    });
    // The timings are of the views alone: no due scan (whose alerts would wait for answers).
    main->OnSecondTimer()->stop();
    main->resize(1000, 700);
    main->show();
    Settle();
    TZTCalendarPanel *calendar = main->Calendar();
    QWidget *grid = calendar->findChild<QWidget *>(QStringLiteral("Grid0"));
    int over = 0;
    int day = 0;

    over += Report("Date click (marks, list, day view)",
                   Measure(repeat, {}, [&] { calendar->SetSelectedDate(Day(Today.addDays(++day % 40 - 20))); }), 50);
    over +=
        Report("Refresh of the same date", Measure(repeat, {}, [&] { calendar->SetSelectedDate(calendar->SelectedDate()); }), 50);
    over += Report("Key press in the calendar, painted",
                   Measure(repeat, {},
                           [&] {
                               QKeyEvent press(QEvent::KeyPress, (day++ % 2) ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
                               QCoreApplication::sendEvent(grid, &press);
                               main->repaint();
                           }),
                   50);

    // Memory over many date selections: the entries and rows of each rebuild are released.
    for (int i = 0; i < 200; ++i)
        calendar->SetSelectedDate(Day(Today.addDays(i % 60)));
    Settle();
    const long before = ResidentKiB();
    const qsizetype widgetsBefore = main->findChildren<QObject *>().size();
    for (int i = 0; i < clicks; ++i) {
        calendar->SetSelectedDate(Day(Today.addDays(i % 60)));
        if (i % 100 == 99)
            Settle();
    }
    calendar->SetSelectedDate(Day(Today.addDays(199 % 60)));
    Settle();
    const long after = ResidentKiB();
    const qsizetype widgetsAfter = main->findChildren<QObject *>().size();
    std::printf("\nAfter %d more date selections: resident memory %ld -> %ld KiB (%+ld), window objects %lld -> %lld\n", clicks,
                before, after, after - before, static_cast<long long>(widgetsBefore), static_cast<long long>(widgetsAfter));
    if (widgetsAfter != widgetsBefore || failures)
        over += 1;

    // Keys faster than rebuilds (an arrow key held down, a script): 3,000 presses posted at once,
    // then handled. Posted events that the rebuilds leave behind would pile up with them.
    const long beforeBurst = ResidentKiB();
    for (int i = 0; i < 3000; ++i)
        QCoreApplication::postEvent(grid,
                                    new QKeyEvent(QEvent::KeyPress, (i % 2) ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier));
    Settle();
    const long afterBurst = ResidentKiB();
    std::printf("After 3000 key presses sent without waiting: resident memory %ld -> %ld KiB (%+ld; paced: %+ld)\n", beforeBurst,
                afterBurst, afterBurst - beforeBurst, after - before);

    main.reset();
    std::printf("\n%s\n", over ? "Some figures are over their targets." : "All figures within their targets.");
    return over ? 1 : 0;
}
