#pragma once
// Text forms of the stored fields, the day- and minute-precision comparisons, weekday
// strings, and the date, time-slot and list routines the windows share.
//
// Stored text forms never depend on the locale: dates are D/M/YYYY and times H:M without
// leading zeros. Displayed dates and times follow the system locale's short formats, and the
// short time format never shows seconds.

#include "ZTDateUtils.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>

// ---- Text forms -----------------------------------------------------------------------
QString DateToText(TDateTime d);
QString TimeToText(TDateTime t);
QString BoolToText(bool b);
QString IntToText(int n);
QString EscapeText(const QString &s);
// Raises EZTException "Invalid date string." (severity 1) without two "/", EConvertError for
// parts that are no number or form no date.
TDateTime TextToDate(const QString &s);
TDateTime TextToDateOr(const QString &s, TDateTime fallback);
// Raises EZTException "Invalid time string." (severity 1) without ":", EConvertError for an
// hour above 23, a minute above 59 or a part that is no number.
TDateTime TextToTime(const QString &s);
bool TextToBool(const QString &s);
// 0 for the empty text; raises EConvertError for a text that is no decimal integer.
int TextToInt(const QString &s);
QString UnescapeText(const QString &s);

// ---- Weekday strings: seven "0"/"1" characters, Monday (1) first, Sunday (7) last --------
bool IsWeekdaySet(int position, const QString &s);
void SetWeekday(int position, bool on, QString &s);
// ISO weekday of a date: Monday 1 .. Sunday 7.
int IsoWeekday(TDateTime d);

// ---- Comparisons ------------------------------------------------------------------------
// Day precision: only the calendar days of the values count.
bool SameDay(TDateTime a, TDateTime b);
bool DayBefore(TDateTime a, TDateTime b);     // a is an earlier day than b
bool DayOnOrBefore(TDateTime a, TDateTime b); // a is b's day or earlier
bool DayOnOrAfter(TDateTime a, TDateTime b);  // a is b's day or later
// Minute precision: the moment (calendar day of the date, hour and minute of the time).
bool SameMinute(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB);
bool MinuteBefore(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB);
bool MinuteOnOrBefore(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB);
bool MinuteOnOrAfter(TDateTime dateA, TDateTime timeA, TDateTime dateB, TDateTime timeB);
// Equal hour and minute of two time values.
bool SameTime(TDateTime a, TDateTime b);
// Whole days between the calendar days of a and b, never negative.
int DaysBetween(TDateTime a, TDateTime b);
// -1, 0 or 1 as a's calendar day is earlier than, equal to or later than b's.
int CompareDays(TDateTime a, TDateTime b);
// -1, 0 or 1 as a's hour and minute are earlier than, equal to or later than b's.
int CompareMinutes(TDateTime a, TDateTime b);

// ---- Date routines ----------------------------------------------------------------------
TDateTime LastDayOfMonth(TDateTime d);
TDateTime MondayOfWeek(TDateTime d);
// 23:50: a one-time reminder is shown on a day when its moment lies from 00:00 to 23:50.
TDateTime DayViewEndTime();
bool SameDate(TDateTime a, TDateTime b);
// True when b is an earlier calendar day than a.
bool DateBefore(TDateTime a, TDateTime b);

// ---- Locale-dependent texts ----------------------------------------------------------------
// The system locale's short date format ("ddddd") and short time format ("t", never seconds),
// as Qt format strings.
QString ShortDateFormat();
QString ShortTimeFormat();
QString ShortTimeFormat(const QLocale &locale);
QString ShortDateText(TDateTime d);
QString ShortTimeText(TDateTime t);
// Time-picker display pattern in the Delphi notation: "H:mm", "h:mm tt" or "tt h:mm".
QString TimePickerFormat();
QString TimePickerFormat(const QLocale &locale);
// The same pattern in Qt's notation ("H:mm", "h:mm AP", "AP h:mm") for QTimeEdit.
QString TimePickerQtFormat();

// ---- List and time-slot routines ------------------------------------------------------------
QString TimeSlotText(int hour, int minute);
void FillTimeSlots(QStringList &list);
TDateTime SlotToTime(int index);
void FillIntervals(QStringList &list);
void FillMonths(QStringList &list);

// ---- Text files of the database and of CSV exchange ------------------------------------------
// Files are written in UTF-8 with CR LF line ends and read through ZTDecodeText (UTF-8, or
// Windows-1252 for files carried over from the Windows product).
// Splits a text into its lines, as views into the text (which must outlive them): a carriage
// return, a line feed, or the pair each end a line; the end of the last line adds no empty line
// after it, and an empty text has no lines.
QList<QStringView> SplitTextLines(QStringView text);
// Reads a whole text file and decodes it as above. Raises std::runtime_error with the system's
// reason when the file cannot be read.
QString ReadTextFile(const QString &path);
