// The row codec on arbitrary lines, in the three forms it reads: the database line with its Id
// field, the CSV row without it, and the field order of version 1.0 files. A line with too few
// fields fails with the codec's own message and nothing else does; a line that fails leaves
// the reminder as it was; a line that parses is written back in a form that parses to itself.

#include "FuzzSupport.h"

#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"

namespace {

const QString InvalidDefinition = QStringLiteral("Invalid reminder definition in database file.");
const QString TooFewFields = QStringLiteral("Incorrect number of fields.");

// Fields of a line counted by hand: every ";" ends one, text after the last counts when any.
int FieldCount(const QString &line)
{
    const int separators = int(line.count(QLatin1Char(';')));
    return separators + (line.isEmpty() || line.endsWith(QLatin1Char(';')) ? 0 : 1);
}

// The stored fields and the Id, compared as the database writes them.
QString Stored(const TReminders &store, const TReminder &r)
{
    return store.FormatLine(r, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool withoutId = (data[0] & 1) != 0;
    const bool oldFormat = (data[0] & 2) != 0;
    const QString line = ZTDecodeText(fuzz::Bytes(data + 1, size - 1));

    TReminders store{QString()};
    store.SetOldFormat(oldFormat);
    TReminder reminder;
    reminder.Id = QStringLiteral("{00000000-1111-2222-3333-444444444444}");
    reminder.ReminderMessage = QStringLiteral("before");
    const QString before = Stored(store, reminder);
    const int needed = withoutId ? TReminders::ColumnCount - 1 : TReminders::ColumnCount;

    try {
        store.ParseLine(reminder, line, withoutId);
    } catch (const EZTException &e) {
        const bool countFailure = e.Message() == InvalidDefinition && e.Details() == TooFewFields;
        FUZZ_CHECK(countFailure == (FieldCount(line) < needed), "field count failure and field count disagree");
        FUZZ_CHECK(Stored(store, reminder) == before, "a failed line changed the reminder");
        return 0;
    } catch (const EConvertError &) {
        FUZZ_CHECK(FieldCount(line) >= needed, "a conversion error on a line with too few fields");
        FUZZ_CHECK(Stored(store, reminder) == before, "a failed line changed the reminder");
        return 0;
    }
    FUZZ_CHECK(FieldCount(line) >= needed, "a line with too few fields parsed");
    if (withoutId)
        FUZZ_CHECK(reminder.Id == QStringLiteral("{00000000-1111-2222-3333-444444444444}"), "a CSV row set the Id");

    // What is written back reads back as itself, in the current field order.
    store.SetOldFormat(false);
    const QString written = store.FormatLine(reminder, !withoutId);
    TReminder again;
    again.Id = reminder.Id;
    try {
        store.ParseLine(again, written, withoutId);
    } catch (const std::exception &e) {
        FUZZ_CHECK(false, e.what());
    }
    FUZZ_CHECK(store.FormatLine(again, !withoutId) == written, "a written line does not read back as itself");
    FUZZ_CHECK(Stored(store, again) == Stored(store, reminder), "a written line reads back as another reminder");
    return 0;
}
