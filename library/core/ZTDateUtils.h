#pragma once
// TDateTime: days since 30 December 1899 (Julian day 2415019 is day 0); the fraction is the
// time of day. All conversions between TDateTime and Qt's date types go through here.
// Comparisons work on whole days and whole minutes, after rounding the value to the
// millisecond, never on raw floating-point equality.

#include <QDate>
#include <QDateTime>
#include <QTime>

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
TZTTimeStamp ZTTimeStamp(TDateTime value);

// Calendar day number of the value (days since 30 December 1899).
inline std::int64_t DayNumber(TDateTime value) { return ZTTimeStamp(value).Day; }
// Minute of the day, 0 .. 1439; seconds and milliseconds are dropped.
inline int MinuteOfDay(TDateTime value) { return int(ZTTimeStamp(value).MSec / 60000); }
// A moment at minute precision: day number * 1440 + minute of the day of the time value.
inline std::int64_t MinuteStamp(TDateTime date, TDateTime time)
{
    return DayNumber(date) * 1440 + MinuteOfDay(time);
}

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
