#pragma once
// TDateTime: days since 30 December 1899 (Julian day 2415019 is day 0); the fraction is the
// time of day. All conversions between TDateTime and Qt's date types go through here.
// Comparisons work on whole days and whole minutes, after rounding the value to the
// millisecond, never on raw floating-point equality.

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <cstdint>

using TDateTime = double;

inline constexpr std::int64_t ZTJulianDayZero = 2415019;
inline constexpr std::int64_t ZTMSecsPerDay = 86400000;

// The value split into whole days and milliseconds of the day (0 .. 86399999). For negative
// values the day count is negative and the time of day is the absolute fraction.
struct TZTTimeStamp {
    std::int64_t Day = 0;
    std::int64_t MSec = 0;
};
// Inline with the civil-day arithmetic below: the file's load and save and the recurrence
// engine call these for every row.
inline TZTTimeStamp ZTTimeStamp(TDateTime value)
{
    // Rounded to the millisecond, halves away from zero (as llround). The fraction of a
    // non-negative double below 2^63 is exact, so the comparison with 0.5 decides as llround
    // does; anything else goes to llround itself.
    const double scaled = std::fabs(value) * double(ZTMSecsPerDay);
    std::int64_t total;
    if (scaled < 9.0e18) {
        total = std::int64_t(scaled);
        if (scaled - double(total) >= 0.5)
            ++total;
    } else {
        total = std::llround(scaled);
    }
    TZTTimeStamp stamp;
    stamp.Day = total / ZTMSecsPerDay;
    stamp.MSec = total % ZTMSecsPerDay;
    if (value < 0)
        stamp.Day = -stamp.Day;
    return stamp;
}

// Calendar day number of the value (days since 30 December 1899).
inline std::int64_t DayNumber(TDateTime value)
{
    return ZTTimeStamp(value).Day;
}
// Minute of the day, 0 .. 1439; seconds and milliseconds are dropped.
inline int MinuteOfDay(TDateTime value)
{
    return int(ZTTimeStamp(value).MSec / 60000);
}
// A moment at minute precision: day number * 1440 + minute of the day of the time value.
inline std::int64_t MinuteStamp(TDateTime date, TDateTime time)
{
    return DayNumber(date) * 1440 + MinuteOfDay(time);
}

// ---- Civil-day arithmetic on day numbers -----------------------------------------------------
// The proleptic Gregorian calendar (the one QDate and std::chrono use) in integer arithmetic on
// day numbers, with years as 64-bit integers: the recurrence engine computes years far outside
// the range of std::chrono::year before it clamps them, and the database file parses dates by
// integer arithmetic alone. Every part of the program uses these; none has its own.
struct TZTCivilDate {
    std::int64_t Year = 0;
    int Month = 0; // 1 .. 12
    int Day = 0;   // 1 .. 31
};
// Division rounding towards minus infinity, and towards plus infinity (b > 0).
constexpr std::int64_t ZTFloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
std::int64_t ZTCeilDiv(std::int64_t a, std::int64_t b);

constexpr bool ZTIsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int ZTDaysInMonth(std::int64_t year, int month)
{
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && ZTIsLeapYear(year)) ? 29 : days[month - 1];
}

// Day number of 1 January 1970.
inline constexpr std::int64_t ZTUnixEpochDay = 25569;

constexpr std::int64_t ZTDaysFromCivil(std::int64_t year, int month, int day)
{
    // Years counted from 1 March, so the leap day ends a year (the algorithm std::chrono's
    // sys_days conversion uses).
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = ZTFloorDiv(year, 400);
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + ZTUnixEpochDay;
}

constexpr TZTCivilDate ZTCivilFromDays(std::int64_t dayNumber)
{
    const std::int64_t z = dayNumber - ZTUnixEpochDay + 719468;
    const std::int64_t era = ZTFloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}
// ISO weekday: 1 = Monday .. 7 = Sunday.
int ZTIsoWeekday(std::int64_t dayNumber);
// ISO 8601 week number (1 .. 53) of the day; `weekYear` receives the year the week belongs to.
int ZTIsoWeek(std::int64_t dayNumber, std::int64_t *weekYear = nullptr);

// Builds a date; raises EConvertError when year, month and day form no date.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime &result);
// Builds a time of day; raises EConvertError when out of range.
TDateTime EncodeTime(int hour, int minute, int second = 0, int msec = 0);
void DecodeDate(TDateTime value, int &year, int &month, int &day);
void DecodeTime(TDateTime value, int &hour, int &minute, int &second, int &msec);

TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);
// The day of `date` with the time of day of `time`.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
TDateTime DayToDateTime(std::int64_t day);

QDate DateTimeToQDate(TDateTime value);
TDateTime QDateToDateTime(const QDate &date);
QTime DateTimeToQTime(TDateTime value);
TDateTime QTimeToDateTime(const QTime &time);
QDateTime DateTimeToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime &moment);
