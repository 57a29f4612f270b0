#include "ZTDateUtils.h"

#include "ZTExceptions.h"

#include <cmath>

bool TryEncodeDate(int year, int month, int day, TDateTime &result)
{
    if (year < 1 || year > 9999)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    result = QDateToDateTime(date);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return double(((hour * 60 + minute) * 60 + second) * 1000 + msec) / double(ZTMSecsPerDay);
}

void DecodeDate(TDateTime value, int &year, int &month, int &day)
{
    DateTimeToQDate(value).getDate(&year, &month, &day);
}

void DecodeTime(TDateTime value, int &hour, int &minute, int &second, int &msec)
{
    std::int64_t ms = ZTTimeStamp(value).MSec;
    hour = int(ms / 3600000);
    ms %= 3600000;
    minute = int(ms / 60000);
    ms %= 60000;
    second = int(ms / 1000);
    msec = int(ms % 1000);
}

TDateTime DateOf(TDateTime value)
{
    return double(DayNumber(value));
}

TDateTime TimeOf(TDateTime value)
{
    return double(ZTTimeStamp(value).MSec) / double(ZTMSecsPerDay);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time)
{
    const std::int64_t day = DayNumber(date);
    const double fraction = TimeOf(time);
    return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

TDateTime DayToDateTime(std::int64_t day)
{
    return double(day);
}

QDate DateTimeToQDate(TDateTime value)
{
    return QDate::fromJulianDay(DayNumber(value) + ZTJulianDayZero);
}

TDateTime QDateToDateTime(const QDate &date)
{
    if (!date.isValid())
        return 0;
    return double(date.toJulianDay() - ZTJulianDayZero);
}

QTime DateTimeToQTime(TDateTime value)
{
    return QTime::fromMSecsSinceStartOfDay(int(ZTTimeStamp(value).MSec));
}

TDateTime QTimeToDateTime(const QTime &time)
{
    if (!time.isValid())
        return 0;
    return double(time.msecsSinceStartOfDay()) / double(ZTMSecsPerDay);
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    return QDateTime(DateTimeToQDate(value), DateTimeToQTime(value));
}

TDateTime FromQDateTime(const QDateTime &moment)
{
    return ComposeDateTime(QDateToDateTime(moment.date()), QTimeToDateTime(moment.time()));
}

// ---- Civil-day arithmetic ----------------------------------------------------------------------

namespace {
// Day numbers count from 30 December 1899; 1 January 1970 is day 25569.
} // namespace

std::int64_t ZTCeilDiv(std::int64_t a, std::int64_t b)
{
    return -ZTFloorDiv(-a, b);
}

int ZTIsoWeekday(std::int64_t dayNumber)
{
    // Day 0 (30 December 1899) was a Saturday.
    return int(((dayNumber + 5) % 7 + 7) % 7) + 1;
}

int ZTIsoWeek(std::int64_t dayNumber, std::int64_t *weekYear)
{
    // The week belongs to the year of its Thursday.
    const std::int64_t thursday = dayNumber - ZTIsoWeekday(dayNumber) + 4;
    const std::int64_t year = ZTCivilFromDays(thursday).Year;
    if (weekYear)
        *weekYear = year;
    return int((thursday - ZTDaysFromCivil(year, 1, 1)) / 7 + 1);
}
