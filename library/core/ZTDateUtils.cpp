#include "ZTDateUtils.h"

#include "ZTExceptions.h"

#include <cmath>

TZTTimeStamp ZTTimeStamp(TDateTime value)
{
    const std::int64_t total = std::llround(std::fabs(value) * double(ZTMSecsPerDay));
    TZTTimeStamp stamp;
    stamp.Day = total / ZTMSecsPerDay;
    stamp.MSec = total % ZTMSecsPerDay;
    if (value < 0)
        stamp.Day = -stamp.Day;
    return stamp;
}

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
constexpr std::int64_t UnixEpochDay = 25569;
} // namespace

std::int64_t ZTFloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

std::int64_t ZTCeilDiv(std::int64_t a, std::int64_t b)
{
    return -ZTFloorDiv(-a, b);
}

bool ZTIsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int ZTDaysInMonth(std::int64_t year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && ZTIsLeapYear(year)) ? 29 : days[month - 1];
}

std::int64_t ZTDaysFromCivil(std::int64_t year, int month, int day)
{
    // Years counted from 1 March, so the leap day ends a year (the algorithm std::chrono's
    // sys_days conversion uses).
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = ZTFloorDiv(year, 400);
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + UnixEpochDay;
}

TZTCivilDate ZTCivilFromDays(std::int64_t dayNumber)
{
    const std::int64_t z = dayNumber - UnixEpochDay + 719468;
    const std::int64_t era = ZTFloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
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
