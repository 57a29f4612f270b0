#include "uFunctions.h"

#include "ZTExceptions.h"
#include "ZTStrUtils.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cstdlib>
#include <stdexcept>

namespace {

// Reads a decimal integer as the platform's conversion routine does: optional sign, digits,
// surrounding blanks allowed; anything else is a conversion error.
int StrToInt(const QString &s)
{
    bool ok = false;
    const int value = s.trimmed().toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(s));
    return value;
}

} // namespace

// ---- Text forms -----------------------------------------------------------------------

QString DateToText(TDateTime d)
{
    int y = 0, m = 0, day = 0;
    DecodeDate(d, y, m, day);
    return QStringLiteral("%1/%2/%3").arg(day).arg(m).arg(y);
}

QString TimeToText(TDateTime t)
{
    int h = 0, m = 0, s = 0, ms = 0;
    DecodeTime(t, h, m, s, ms);
    return QStringLiteral("%1:%2").arg(h).arg(m);
}

QString BoolToText(bool b)
{
    return b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString IntToText(int n)
{
    return QString::number(n);
}

QString EscapeText(const QString &s)
{
    QString r = s;
    r.remove(QChar(13));
    r.replace(QChar(10), QStringLiteral("{$}"));
    r.replace(QChar(';'), QStringLiteral("{#}"));
    return r;
}

TDateTime TextToDate(const QString &s)
{
    const int first = s.indexOf(QLatin1Char('/'));
    if (first < 0)
        throw EZTException(QStringLiteral("Invalid date string."), QString(), 1);
    const int day = StrToInt(s.left(first));
    const QString rest = s.mid(first + 1);
    const int second = rest.indexOf(QLatin1Char('/'));
    if (second < 0)
        throw EZTException(QStringLiteral("Invalid date string."), QString(), 1);
    const int month = StrToInt(rest.left(second));
    const int year = StrToInt(rest.mid(second + 1));
    return EncodeDate(year, month, day);
}

TDateTime TextToDateOr(const QString &s, TDateTime fallback)
{
    return s.isEmpty() ? fallback : TextToDate(s);
}

TDateTime TextToTime(const QString &s)
{
    const int colon = s.indexOf(QLatin1Char(':'));
    if (colon < 0)
        throw EZTException(QStringLiteral("Invalid time string."), QString(), 1);
    const int hour = StrToInt(s.left(colon));
    const int minute = StrToInt(s.mid(colon + 1));
    return EncodeTime(hour, minute, 0, 0);
}

bool TextToBool(const QString &s)
{
    return s == QLatin1String("TRUE");
}

int TextToInt(const QString &s)
{
    return s.isEmpty() ? 0 : StrToInt(s);
}

QString UnescapeText(const QString &s)
{
    QString r = s;
    r.replace(QStringLiteral("{$}"), QStringLiteral("\r\n"));
    r.replace(QStringLiteral("{#}"), QStringLiteral(";"));
    return r;
}

// ---- Weekday strings --------------------------------------------------------------------

bool IsWeekdaySet(int position, const QString &s)
{
    return position >= 1 && s.size() >= position && s.at(position - 1) == QLatin1Char('1');
}

void SetWeekday(int position, bool on, QString &s)
{
    if (position >= 1 && s.size() >= position)
        s[position - 1] = on ? QLatin1Char('1') : QLatin1Char('0');
}

int IsoWeekday(TDateTime d)
{
    return ZTIsoWeekday(DayNumber(d));
}

// ---- Comparisons ------------------------------------------------------------------------

bool SameDay(TDateTime a, TDateTime b)
{
    return DayNumber(a) == DayNumber(b);
}
bool DayBefore(TDateTime a, TDateTime b)
{
    return DayNumber(a) < DayNumber(b);
}
bool DayOnOrBefore(TDateTime a, TDateTime b)
{
    return DayNumber(a) <= DayNumber(b);
}
bool DayOnOrAfter(TDateTime a, TDateTime b)
{
    return DayNumber(a) >= DayNumber(b);
}

bool SameMinute(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB)
{
    return MinuteStamp(dateA, timeA) == MinuteStamp(dateB, timeB);
}

bool MinuteBefore(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB)
{
    return MinuteStamp(dateA, timeA) < MinuteStamp(dateB, timeB);
}

bool MinuteOnOrBefore(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB)
{
    return MinuteStamp(dateA, timeA) <= MinuteStamp(dateB, timeB);
}

bool MinuteOnOrAfter(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB)
{
    return MinuteStamp(dateA, timeA) >= MinuteStamp(dateB, timeB);
}

bool SameTime(TDateTime a, TDateTime b)
{
    return MinuteOfDay(a) == MinuteOfDay(b);
}

int DaysBetween(TDateTime a, TDateTime b)
{
    return int(std::llabs(DayNumber(a) - DayNumber(b)));
}

int CompareDays(TDateTime a, TDateTime b)
{
    const auto x = DayNumber(a), y = DayNumber(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

int CompareMinutes(TDateTime a, TDateTime b)
{
    const int x = MinuteOfDay(a), y = MinuteOfDay(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// ---- Date routines ----------------------------------------------------------------------

TDateTime LastDayOfMonth(TDateTime d)
{
    const QDate q = DateTimeToQDate(d);
    return QDateToDateTime(QDate(q.year(), q.month(), q.daysInMonth()));
}

TDateTime MondayOfWeek(TDateTime d)
{
    return double(DayNumber(d) - (IsoWeekday(d) - 1));
}

TDateTime DayViewEndTime()
{
    return EncodeTime(23, 50, 0, 0);
}

bool SameDate(TDateTime a, TDateTime b)
{
    return SameDay(a, b);
}
bool DateBefore(TDateTime a, TDateTime b)
{
    return DayNumber(b) < DayNumber(a);
}

// ---- Locale-dependent texts ----------------------------------------------------------------

QString ShortDateFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

QString ShortTimeFormat()
{
    return ShortTimeFormat(QLocale::system());
}

QString ShortTimeFormat(const QLocale &locale)
{
    // Drop the seconds (and any fraction) with the separator before them, whatever the locale.
    // Captions of whole lists are formatted one after another: the last answer is kept.
    const QString full = locale.timeFormat(QLocale::ShortFormat);
    static QString lastFull;
    static QString lastShort;
    if (full == lastFull && !lastShort.isEmpty())
        return lastShort;
    QString f = full;
    static const QRegularExpression seconds(QStringLiteral("[^hHmMaApP]?s+(\\.z+)?"));
    f.remove(seconds);
    if (f.isEmpty())
        f = QStringLiteral("HH:mm");
    lastFull = full;
    lastShort = f.trimmed();
    return lastShort;
}

QString ShortDateText(TDateTime d)
{
    return QLocale::system().toString(DateTimeToQDate(d), ShortDateFormat());
}

QString ShortTimeText(TDateTime t)
{
    return QLocale::system().toString(DateTimeToQTime(t), ShortTimeFormat());
}

namespace {
// Whether the locale uses the 12-hour clock, and whether the AM/PM designator stands before
// the hour. A format that cannot be read counts as the 12-hour clock with the designator after.
void LocaleClock(const QLocale &locale, bool &twelveHour, bool &designatorFirst)
{
    const QString f = locale.timeFormat(QLocale::ShortFormat);
    const int ap = f.indexOf(QRegularExpression(QStringLiteral("[aA]")));
    const int hour = f.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    twelveHour = f.isEmpty() || ap >= 0;
    designatorFirst = ap >= 0 && hour >= 0 && ap < hour;
}
} // namespace

QString TimePickerFormat()
{
    return TimePickerFormat(QLocale::system());
}

QString TimePickerFormat(const QLocale &locale)
{
    bool twelve = false, first = false;
    LocaleClock(locale, twelve, first);
    if (!twelve)
        return QStringLiteral("H:mm");
    return first ? QStringLiteral("tt h:mm") : QStringLiteral("h:mm tt");
}

QString TimePickerQtFormat()
{
    QString f = TimePickerFormat();
    f.replace(QStringLiteral("tt"), QStringLiteral("AP"));
    return f;
}

// ---- List and time-slot routines ------------------------------------------------------------

QString TimeSlotText(int hour, int minute)
{
    return ShortTimeText(EncodeTime(hour, minute, 0, 0));
}

void FillTimeSlots(QStringList &list)
{
    list.clear();
    for (int h = 0; h < 24; ++h) {
        list.append(TimeSlotText(h, 0));
        list.append(TimeSlotText(h, 30));
    }
}

TDateTime SlotToTime(int index)
{
    return EncodeTime(index / 2, (index % 2) ? 30 : 0, 0, 0);
}

void FillIntervals(QStringList &list)
{
    list = QStringList{QStringLiteral("Once"), QStringLiteral("Daily"), QStringLiteral("Weekly"), QStringLiteral("Monthly"),
                       QStringLiteral("Yearly")};
}

void FillMonths(QStringList &list)
{
    list = QStringList{QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
                       QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
                       QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
                       QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
}

// ---- Text files of the database and of CSV exchange ------------------------------------------

QList<QStringView> SplitTextLines(QStringView text)
{
    QList<QStringView> lines;
    const qsizetype n = text.size();
    // The next carriage return and line feed, each searched again only once passed.
    qsizetype cr = text.indexOf(QLatin1Char('\r'));
    qsizetype lf = text.indexOf(QLatin1Char('\n'));
    qsizetype start = 0;
    while (start < n) {
        if (cr >= 0 && cr < start)
            cr = text.indexOf(QLatin1Char('\r'), start);
        if (lf >= 0 && lf < start)
            lf = text.indexOf(QLatin1Char('\n'), start);
        if (cr < 0 && lf < 0) {
            lines.append(text.mid(start));
            break;
        }
        const qsizetype end = (cr < 0) ? lf : (lf < 0 ? cr : qMin(cr, lf));
        lines.append(text.mid(start, end - start));
        start = end + ((end == cr && lf == end + 1) ? 2 : 1);
    }
    return lines;
}

QString ReadTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(file.errorString().toStdString());
    return ZTDecodeText(bytes);
}
