// iCalendar import on arbitrary files. Reading either refuses the file with an EZTException or
// gives reminders that never come in with "Run a program" on. What was read exports again, and
// that export reads back to the same rows, with nothing skipped.

#include "FuzzStore.h"
#include "FuzzSupport.h"

#include "ZTExceptions.h"
#include "clsReminders.h"
#include "clsRemindersIcs.h"

#include <ctime>
#include <optional>

namespace {

const QString WorkDays = QStringLiteral("1111100");

std::optional<TIcsReading> Read(const QByteArray &bytes)
{
    try {
        return ReadIcs(bytes, WorkDays);
    } catch (const EZTException &e) {
        FUZZ_CHECK(e.Severity() == 1, "a refused file is not reported as a failure");
    }
    return std::nullopt;
}

void Fill(TReminders &store, const TIcsReading &reading)
{
    for (const TIcsReminder &item : reading.Reminders) {
        FUZZ_CHECK(!item.Row.RunProgram, "a reminder came in with \"Run a program\" on");
        store.Add(item.Row);
        for (const TReminder &x : item.Exclusions) {
            FUZZ_CHECK(!x.RunProgram, "an exclusion came in with \"Run a program\" on");
            store.AddExclusion(x);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool zone = [] {
        qputenv("TZ", "Europe/Lisbon");
        tzset();
        return true;
    }();
    (void)zone;
    const std::optional<TIcsReading> reading = Read(fuzz::Bytes(data, size));
    if (!reading)
        return 0;
    TReminders store(QString{});
    Fill(store, *reading);
    const QStringList rows = fuzz::Rows(store, true);

    const QByteArray exported = RemindersToIcs(store);
    const std::optional<TIcsReading> again = Read(exported);
    FUZZ_CHECK(again.has_value(), "an exported file does not read");
    FUZZ_CHECK(again->Skipped.isEmpty(), qPrintable(QStringLiteral("an exported event was skipped: ") + again->Skipped.value(0)));
    TReminders back(QString{});
    Fill(back, *again);
    const QStringList backRows = fuzz::Rows(back, true);
    FUZZ_CHECK(backRows == rows, qPrintable(QStringLiteral("the rows read from an export differ from the rows exported, ")
                                            + fuzz::FirstDifference(rows, backRows)));
    return 0;
}
