#pragma once
// Reminders in iCalendar (RFC 5545), through libical.
//
// Every reminder of the main table travels as one VEVENT whose UID is the reminder's Id: its
// moment as DTSTART in the local wall-clock time (with the local zone's TZID and VTIMEZONE), a
// display VALARM at the start, SUMMARY the message's first line and DESCRIPTION the whole
// message. A series carries an RRULE that another calendar program expands to the same days,
// its first occurrence as DTSTART, its removed occurrences as EXDATE and its dismissed ones as
// the alarm's ACKNOWLEDGED. X-VENTARO-... properties carry what iCalendar has no word for (sound,
// program, every exclusion row, the stored recurrence fields), so that an exported store imports
// back row for row. They are taken only while the standard properties still say what they said
// when written; an event changed by another program is read from its standard properties.
//
// Reading takes what other programs write: UTC, zoned and floating times, all-day events, alarms
// before or after the start, COUNT, EXDATE, moved occurrences (RECURRENCE-ID) and to-dos with a
// due time. An event whose rule this program cannot keep is skipped whole, with the reason.
// A program to run never comes in switched on: see TIcsReminder::ProgramOffered.

#include "clsReminders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// One reminder as read from a calendar file: its main-table row and its exclusion rows.
struct TIcsReminder {
    TReminder Row;
    std::vector<TReminder> Exclusions;
    // The file asked for "Run a program" (the path is kept in Row.ProgramLocation); Row.RunProgram
    // is always false as read, and only the user on this machine turns it on.
    bool ProgramOffered = false;
};

struct TIcsReading {
    // In file order; the one-time reminder of a moved occurrence follows its series.
    std::vector<TIcsReminder> Reminders;
    // One line per event left out: its summary and why.
    QStringList Skipped;
};

// An all-day event without an alarm comes due at this time of its day.
inline constexpr int IcsAllDayHour = 9;

// The whole store as one VCALENDAR in UTF-8 with CR LF line ends. Exclusion rows whose series
// is not in the main table belong to no event and are left out.
QByteArray RemindersToIcs(TReminders &store);
// One reminder with its exclusion rows as a VCALENDAR; working-day series are written with the
// given work week (Monday first).
QByteArray ReminderToIcs(const TReminder &row, const std::vector<TReminder> &exclusions, const QString &workDays);

// Reads a calendar file (UTF-8). A file that does not parse raises EZTException (severity 1)
// whose details say on which line it failed; nothing is read from it then. workDays is the work
// week that an exported working-day series follows again.
TIcsReading ReadIcs(const QByteArray &utf8, const QString &workDays);

// Whether the bytes begin like a calendar file (BEGIN:VCALENDAR after an optional BOM and blanks).
bool LooksLikeIcs(const QByteArray &bytes);

// The commands' calls, which always end by raising an EZTException like the CSV exchange: the
// outcome notice (severity 2) or the failure. Import adds each reminder, or replaces the one
// with the same Id (UID) together with its exclusion rows; "Run a program" stays on only for a
// reminder already here with it on for the same program.
void ExportIcs(TReminders &store, const QString &path);
void ImportIcs(TReminders &store, const QString &path);
