// CSV import on arbitrary files. Import always ends with an EZTException: a notice (severity
// 2) whose count is the number of one-time reminders and series added, or a failure (severity
// 1) after which the store is as it was, since a file is read and checked whole before any row
// is added. What was imported exports again, and that export imports to the same rows.
//
// The first input byte chooses whether the exact header line goes before the rest, so the
// fuzzer spends its time on the rows rather than on finding the header.

#include "FuzzStore.h"
#include "FuzzSupport.h"

#include "ZTExceptions.h"
#include "clsReminders.h"

#include <mutex>

namespace {

const QByteArray Header = "Date;Time;Reminder Message;Play Sound;Repeat Sound;Sound File;Run Program;Program Location;"
                          "Recurring;Recurrence Unit;Recurrence Daily Type;Recurrence Daily Every;"
                          "Recurrence Weekly Every;Recurrence Weekly Days;Recurrence Monthly Day;"
                          "Recurrence Monthly Every;Recurrence Yearly Month;Recurrence Yearly Day;Recurrence Start;"
                          "Recurrence No End;Recurrence End By;Exclusion;\r\n";

// The notice or failure an import or export ends with.
EZTException Outcome(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EZTException &e) {
        return e;
    }
    FUZZ_CHECK(false, "an import or export ended without its notice");
    return EZTException(QString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    QByteArray bytes = fuzz::Bytes(data + 1, size - 1);
    if (data[0] & 1)
        bytes.prepend(Header);
    const QString input = fuzz::Path(QStringLiteral("Fuzz.csv"));
    FUZZ_CHECK(fuzz::WriteFile(input, bytes), "cannot write the input file");

    TReminders store(fuzz::Path(QStringLiteral("Fuzz.dat")));
    const EZTException imported = Outcome([&] { store.ImportCsv(input); });
    if (imported.Severity() != 2) {
        FUZZ_CHECK(imported.Severity() == 1, "import failure severity");
        FUZZ_CHECK(store.MainRowCount() == 0 && store.ExclusionRowCount() == 0, "a failed import added rows");
        return 0;
    }
    FUZZ_CHECK(imported.Message() == QStringLiteral("%1 reminders imported.").arg(store.MainRowCount()),
               "the import notice does not count the reminders added");
    const QStringList rows = fuzz::Rows(store, false);

    const QString output = fuzz::Path(QStringLiteral("Export.csv"));
    const EZTException exported = Outcome([&] { store.ExportCsv(output); });
    FUZZ_CHECK(exported.Severity() == 2, "export of imported rows failed");
    if (store.MainRowCount() == 0) {
        FUZZ_CHECK(exported.Message() == QStringLiteral("There are no reminders to export."), "empty export notice");
        return 0;
    }
    FUZZ_CHECK(exported.Message() == QStringLiteral("%1 reminders exported.").arg(store.MainRowCount()),
               "the export notice does not count the reminders");
    TReminders again(fuzz::Path(QStringLiteral("Again.dat")));
    const EZTException reimported = Outcome([&] { again.ImportCsv(output); });
    FUZZ_CHECK(reimported.Severity() == 2, qPrintable(QStringLiteral("an exported file does not import: ") + reimported.Message()
                                                      + QLatin1Char(' ') + reimported.Details()));
    const QStringList back = fuzz::Rows(again, false);
    FUZZ_CHECK(fuzz::WithoutFieldEndBlanks(back) == fuzz::WithoutFieldEndBlanks(rows),
               qPrintable(QStringLiteral("the rows imported from an export differ from the rows exported, ")
                          + fuzz::FirstDifference(rows, back)));
    return 0;
}
