// ventaro-query: answers questions about a reminder database file from the command line,
// through the same store and recurrence engine the program uses. It only reads: the file is
// loaded with the store's own Load and never saved.
//
//   ventaro-query --db FILE [--now "YYYY-MM-DD HH:MM"] [--workdays XXXXXXX] COMMAND
//
//   next                   Id, TAB, next occurrence day (YYYY-MM-DD, or 0), per main-table row
//   due [--catch-up]       Id, TAB, day, TAB, HH:MM per due reminder, in the scan's order
//   occurs YYYY-MM-DD      Id of every row shown on that day, in table order
//   marks FROM TO          every day of the range that the calendar marks, ascending
//   ics                    the whole store as one iCalendar file (VCALENDAR)
//
// Failures go to standard error as the message and its details, with exit status 1.

#include "ZTClock.h"
#include "ZTDateUtils.h"
#include "ZTExceptions.h"
#include "ZTSysUtils.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "clsRemindersIcs.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

const char Usage[] = "Usage: ventaro-query --db FILE [--now \"YYYY-MM-DD HH:MM\"] [--workdays XXXXXXX] COMMAND\n"
                     "Commands:\n"
                     "  next                  next occurrence day of every reminder (0 when none)\n"
                     "  due [--catch-up]      the reminders due at the current minute (with catch-up: up to it)\n"
                     "  occurs YYYY-MM-DD     the reminders shown on that day\n"
                     "  marks FROM TO         the days from FROM to TO (YYYY-MM-DD) that the calendar marks\n"
                     "  ics                   every reminder as one iCalendar file (VCALENDAR)\n";

EZTException UsageError(const QString &message)
{
    return EZTException(message, QStringLiteral("Run ventaro-query --help for the usage."), 1);
}

struct TOptions {
    QString Db;
    std::optional<QString> Now;
    std::optional<QString> WorkDays;
    bool CatchUp = false;
    bool Help = false;
    QStringList Positional;
};

TOptions ParseArguments(const QStringList &args)
{
    TOptions options;
    bool dbGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.Help = true;
            continue;
        }
        if (arg == QLatin1String("--catch-up")) {
            options.CatchUp = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--")) || arg == QLatin1String("--")) {
            options.Positional << arg;
            continue;
        }
        // --name VALUE or --name=VALUE
        QString name = arg;
        std::optional<QString> value;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        if (name != QLatin1String("--db") && name != QLatin1String("--now") && name != QLatin1String("--workdays"))
            throw UsageError(QStringLiteral("Unknown option '%1'.").arg(arg));
        if (!value) {
            if (i + 1 >= args.size())
                throw UsageError(QStringLiteral("The option '%1' needs a value.").arg(name));
            value = args.at(++i);
        }
        if (name == QLatin1String("--db")) {
            options.Db = *value;
            dbGiven = true;
        } else if (name == QLatin1String("--now")) {
            options.Now = *value;
        } else {
            options.WorkDays = *value;
        }
    }
    if (!options.Help && (!dbGiven || options.Db.isEmpty()))
        throw UsageError(QStringLiteral("No database file given (--db FILE)."));
    return options;
}

// Whether text, from position at, holds `count` decimal digits.
bool DigitsAt(QStringView text, qsizetype at, qsizetype count)
{
    if (at + count > text.size())
        return false;
    for (qsizetype i = at; i < at + count; ++i)
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    return true;
}

// A day written YYYY-MM-DD that exists; an invalid date otherwise.
QDate DayOf(QStringView text)
{
    if (text.size() != 10 || !DigitsAt(text, 0, 4) || text[4] != QLatin1Char('-') || !DigitsAt(text, 5, 2)
        || text[7] != QLatin1Char('-') || !DigitsAt(text, 8, 2))
        return QDate();
    const QDate date(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    return date.isValid() && date.year() >= 1 ? date : QDate();
}

QDate ParseDay(const QString &text)
{
    const QDate date = DayOf(text);
    if (!date.isValid())
        throw EZTException(QStringLiteral("Invalid date '%1'.").arg(text), QStringLiteral("Dates are written YYYY-MM-DD."), 1);
    return date;
}

QDateTime ParseMoment(const QString &text)
{
    const QStringView view(text);
    const bool shaped = view.size() == 16 && view[10] == QLatin1Char(' ') && DigitsAt(view, 11, 2) && view[13] == QLatin1Char(':')
                        && DigitsAt(view, 14, 2);
    const QDate date = shaped ? DayOf(view.left(10)) : QDate();
    const QTime time = shaped ? QTime(view.mid(11, 2).toInt(), view.mid(14, 2).toInt()) : QTime();
    if (!date.isValid() || !time.isValid())
        throw EZTException(QStringLiteral("Invalid date and time '%1'.").arg(text),
                           QStringLiteral("The current moment is written \"YYYY-MM-DD HH:MM\"."), 1);
    return QDateTime(date, time);
}

QString DayText(TDateTime value)
{
    if (value == 0)
        return QStringLiteral("0");
    int y = 0, m = 0, d = 0;
    DecodeDate(value, y, m, d);
    return QStringLiteral("%1-%2-%3")
        .arg(y, 4, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(d, 2, 10, QLatin1Char('0'));
}

QString TimeText(TDateTime value)
{
    const int minute = MinuteOfDay(value);
    return QStringLiteral("%1:%2").arg(minute / 60, 2, 10, QLatin1Char('0')).arg(minute % 60, 2, 10, QLatin1Char('0'));
}

// The answer of `next`, written straight as UTF-8 into one buffer of the size it needs: the
// command is run on whole stores from scripts, so its output is on the path. Every row is
// asked at the one pinned moment and read where it lies.
QByteArray NextLines(TReminders &store)
{
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    const TDateTime now = ZTNow();
    QByteArray out;
    out.reserve(qsizetype(store.MainRowCount()) * 52);
    std::string line;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        const TReminder &row = store.MainRow(i);
        line.clear();
        const QString &id = row.Id;
        if (std::all_of(id.begin(), id.end(), [](QChar c) { return c.unicode() < 0x80; })) {
            for (QChar c : id)
                line += char(c.unicode());
        } else {
            line += id.toStdString();
        }
        const TDateTime next = row.NextOccurrence(store, now);
        if (next == 0) {
            line += "\t0\n";
        } else {
            const TZTCivilDate day = ZTCivilFromDays(DayNumber(next));
            char text[40];
            const int n =
                std::snprintf(text, sizeof text, "\t%04lld-%02d-%02d\n", static_cast<long long>(day.Year), day.Month, day.Day);
            line.append(text, std::size_t(n));
        }
        out.append(line.data(), qsizetype(line.size()));
    }
    return out;
}

void ExpectArguments(const QStringList &positional, int count)
{
    if (positional.size() - 1 != count)
        throw UsageError(QStringLiteral("The command '%1' takes %2 argument(s).").arg(positional.first()).arg(count));
}

// Runs the command and returns what goes to standard output.
QByteArray Run(const TOptions &options)
{
    if (options.Positional.isEmpty())
        throw UsageError(QStringLiteral("No command given."));
    const QString command = options.Positional.first();
    static const QStringList commands = {QStringLiteral("next"), QStringLiteral("due"), QStringLiteral("occurs"),
                                         QStringLiteral("marks"), QStringLiteral("ics")};
    if (!commands.contains(command))
        throw UsageError(QStringLiteral("Unknown command '%1'.").arg(command));
    if (options.CatchUp && command != QLatin1String("due"))
        throw UsageError(QStringLiteral("The option --catch-up belongs to the command 'due'."));

    // Check every argument before touching the file.
    QDate first, last;
    if (command == QLatin1String("next") || command == QLatin1String("due") || command == QLatin1String("ics")) {
        ExpectArguments(options.Positional, 0);
    } else if (command == QLatin1String("occurs")) {
        ExpectArguments(options.Positional, 1);
        first = ParseDay(options.Positional.at(1));
    } else {
        ExpectArguments(options.Positional, 2);
        first = ParseDay(options.Positional.at(1));
        last = ParseDay(options.Positional.at(2));
        if (last < first)
            throw EZTException(
                QStringLiteral("Invalid date range %1 to %2.").arg(options.Positional.at(1), options.Positional.at(2)),
                QStringLiteral("The last day is before the first."), 1);
    }
    std::optional<QString> workDays = options.WorkDays;
    if (workDays) {
        if (workDays->size() > 7 || !std::all_of(workDays->begin(), workDays->end(), [](QChar c) {
                return c == QLatin1Char('0') || c == QLatin1Char('1');
            }))
            throw EZTException(QStringLiteral("Invalid work week '%1'.").arg(*workDays),
                               QStringLiteral("The work week is up to seven characters 0 or 1, Monday first."), 1);
    }

    // One current minute for the whole run: the given one, or the clock's, cut to the minute.
    QDateTime now = options.Now ? ParseMoment(*options.Now) : ZTNowDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute()));
    ZTPinClock(now);

    if (!workDays) {
        TVNTROptions stored;
        stored.LoadFromRegistry();
        workDays = stored.WorkDays;
    }

    // The store is left to the end of the process, which comes right after the answer:
    // taking tens of thousands of rows apart first would only cost time.
    TReminders &store = *new TReminders(QFileInfo(options.Db).absoluteFilePath());
    store.WorkDaysSource = [w = *workDays] { return w; };
    // The store treats a missing file as an empty one; asked about a file, that is a mistake.
    const QFileInfo file(store.FileName());
    if (!file.isFile())
        throw EZTException(QStringLiteral("Error loading database file '%1'.").arg(store.FileName()),
                           QStringLiteral("The file does not exist."), 1);
    // The whole file becomes the store's tables at once, in a process that ends soon after.
    ZTUseLargeHeapPages(std::min<std::size_t>((std::size_t(64) << 20) + 8 * std::size_t(file.size()), std::size_t(1) << 30));
    store.Load();

    if (command == QLatin1String("ics"))
        return RemindersToIcs(store);
    if (command == QLatin1String("next"))
        return NextLines(store);
    QString out;
    const auto line = [&out](const QString &text) {
        out += text;
        out += QLatin1Char('\n');
    };
    if (command == QLatin1String("due")) {
        const TDateTime moment = FromQDateTime(now);
        TReminderList list;
        store.GetDue(list, options.CatchUp, TimeOf(moment), DateOf(moment));
        for (const auto &r : list) {
            const bool occurrence = r->OccurrenceDate != 0;
            line(r->Id + QLatin1Char('\t') + DayText(occurrence ? r->OccurrenceDate : r->Date) + QLatin1Char('\t')
                 + TimeText(occurrence ? r->OccurrenceTime : r->Time));
        }
    } else if (command == QLatin1String("occurs")) {
        std::lock_guard<std::recursive_mutex> guard(store.Lock());
        const TDateTime day = QDateToDateTime(first);
        TReminder row;
        for (int i = 0; i < store.MainRowCount(); ++i) {
            store.ReadMainRow(i, row);
            if (row.OccursOn(store, day))
                line(row.Id);
        }
    } else {
        // The calendar marks at most 62 days at a time.
        for (QDate s = first; s.isValid() && s <= last; s = s.addDays(TReminders::MarkCount)) {
            const QDate e = std::min(last, s.addDays(TReminders::MarkCount - 1));
            store.BuildMonthMarks(1, QDateToDateTime(s), QDateToDateTime(e));
            for (QDate d = s; d <= e; d = d.addDays(1))
                if (store.HasRemindersOn(1, QDateToDateTime(d)))
                    line(DayText(QDateToDateTime(d)));
        }
    }
    return out.toUtf8();
}

void WriteError(const QString &message, const QString &details)
{
    std::fputs(message.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    if (!details.isEmpty()) {
        std::fputs(details.toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // No application object: the tool uses no event loop, and building one costs more than
    // the rest of a small query. The user's locale still applies to the system's messages.
    std::setlocale(LC_ALL, "");
    int status = 1;
    try {
        QStringList args;
        for (int i = 1; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        const TOptions options = ParseArguments(args);
        if (options.Help) {
            std::fputs(Usage, stdout);
            status = 0;
        } else {
            const QByteArray out = Run(options);
            std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
            status = 0;
        }
    } catch (const EZTException &e) {
        WriteError(e.Message(), e.Details());
    } catch (const std::exception &e) {
        WriteError(QString::fromUtf8(e.what()), QString());
    }
    // Ended here, without taking the store and the libraries' state apart one by one.
    if (std::fflush(stdout) != 0)
        status = 1;
    std::fflush(stderr);
    std::_Exit(status);
}
