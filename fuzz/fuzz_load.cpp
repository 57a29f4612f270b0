// The database loader on arbitrary bytes. Whatever a file holds, loading either succeeds or
// raises the loader's own message; what was loaded survives the save that follows every start
// and reads back row for row (a second save and load change nothing at all); the backup holds
// the file as it was before each save; and the queries the program
// runs on a loaded store (next occurrence, day view, calendar marks, due scan, obsolete
// reminders) finish on whatever values the rows carry. The strict reader of files that arrive
// while the program runs agrees with the loader on every file it calls whole.

#include "FuzzStore.h"
#include "FuzzSupport.h"

#include "ZTExceptions.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <mutex>
#include <vector>

namespace {

// The queries of the windows and of the scan; a bounded number of rows keeps one input fast.
void Query(TReminders &store)
{
    const TDateTime now = ZTNow();
    const int rows = qMin(store.MainRowCount(), 64);
    for (int i = 0; i < rows; ++i) {
        TReminder row;
        {
            std::lock_guard<std::recursive_mutex> guard(store.Lock());
            store.ReadMainRow(i, row);
        }
        const TDateTime next = row.NextOccurrence(store);
        FUZZ_CHECK(next == 0 || DayOnOrAfter(next, now), "the next occurrence lies before today");
        row.OccursOn(store, now);
        row.OccursOn(store, row.Date);
        TZTDateTimeArray days;
        row.CollectOccurrences(days, row.RecurrenceStart + 40, store.WorkDays());
    }
    const TDateTime first = MondayOfWeek(now) - 7;
    store.BuildMonthMarks(1, first, first + TReminders::MarkCount - 1);
    store.BuildMonthMarks(2, first + 31, first + 31 + 41);
    TReminderList due;
    store.GetDue(due, false, now, now);
    TReminderList obsolete;
    store.CollectObsolete(obsolete);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString file = fuzz::Path(QStringLiteral("Fuzz.dat"));
    const QString backup = fuzz::Path(QStringLiteral("Backup of Fuzz.dat"));
    QFile::remove(backup);
    const QByteArray bytes = fuzz::Bytes(data, size);
    FUZZ_CHECK(fuzz::WriteFile(file, bytes), "cannot write the input file");

    TReminders store(file);
    try {
        store.Load();
    } catch (const EZTException &e) {
        FUZZ_CHECK(e.Message() == QStringLiteral("Error loading database file '%1'.").arg(file), "load failure message");
        FUZZ_CHECK(e.Severity() == 1, "load failure severity");
        FUZZ_CHECK(!e.Details().isEmpty(), "a load failure names its cause");
    }
    FUZZ_CHECK(!store.OldFormat(), "the 1.0 field order outlives the load");
    const QStringList rows = fuzz::Rows(store, true);

    // The strict reader (for what arrives while the program runs) takes nothing the loader
    // refuses, and reads a whole file exactly as the loader does.
    std::vector<TReminder> wholeMain, wholeExclusions;
    QString reason;
    if (TReminders::ReadWhole(bytes, wholeMain, wholeExclusions, reason)) {
        TReminders strict{QString()};
        for (const TReminder &row : wholeMain)
            strict.Add(row);
        for (const TReminder &row : wholeExclusions)
            strict.AddExclusion(row);
        FUZZ_CHECK(fuzz::Rows(strict, true) == rows, "the strict reader reads a whole file otherwise than the loader");
    } else {
        FUZZ_CHECK(!reason.isEmpty(), "a file that is not whole has no reason");
    }

    // Start-up saves at once: rows loaded (also those before a bad line) must come back whole.
    try {
        store.Save();
    } catch (const EZTException &e) {
        FUZZ_CHECK(false, qPrintable(e.Details()));
    }
    FUZZ_CHECK(fuzz::ReadFile(backup) == bytes, "the backup holds the file as it was before the save");
    TReminders again(file);
    try {
        again.Load();
    } catch (const EZTException &e) {
        FUZZ_CHECK(false, qPrintable(QStringLiteral("a saved file does not load: ") + e.Details()));
    }
    const QStringList back = fuzz::Rows(again, true);
    FUZZ_CHECK(fuzz::WithoutFieldEndBlanks(back) == fuzz::WithoutFieldEndBlanks(rows),
               qPrintable(QStringLiteral("the rows read back differ from the rows saved, ") + fuzz::FirstDifference(rows, back)));

    // From then on the file reads back exactly, and the backup is the file as it was saved.
    const QByteArray saved = fuzz::ReadFile(file);
    FUZZ_CHECK(TReminders::ReadWhole(saved, wholeMain, wholeExclusions, reason), "a saved file is not whole");
    again.Save();
    FUZZ_CHECK(fuzz::ReadFile(backup) == saved, "the backup holds the file as it was before the save");
    TReminders third(file);
    third.Load();
    const QStringList last = fuzz::Rows(third, true);
    FUZZ_CHECK(last == back,
               qPrintable(QStringLiteral("a second save reads back otherwise, ") + fuzz::FirstDifference(back, last)));

    Query(store);
    return 0;
}
