#pragma once
// The rows of the kill-during-save test, shared by the test and its child process: row i has
// a message that names i and carries a filler only row i has, so a row cut short or taken from
// another row is seen at once.

#include "clsReminders.h"
#include "uFunctions.h"

#include <QString>

inline QString KillSaveMessage(int i)
{
    QString filler;
    for (int k = 0; k < 60 + i % 90; ++k)
        filler += QChar(u'a' + (i * 7 + k) % 26);
    // A separator and a line break, so the escapes are part of what must survive.
    return QStringLiteral("Reminder %1; %2\r\n%3").arg(i).arg(filler.left(30), filler.mid(30));
}

inline TReminder KillSaveRow(int i)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.ReminderMessage = KillSaveMessage(i);
    r.Date = EncodeDate(2026, 1 + i % 12, 1 + i % 28);
    r.Time = EncodeTime(i % 24, (i * 5) % 60);
    r.Active = true;
    r.PlaySound = i % 2 == 0;
    r.SoundFile = QStringLiteral("/usr/share/sounds/bell %1.wav").arg(i % 5);
    if (i % 3 == 0) {
        r.Recurring = true;
        r.RecurrenceUnit = ruWeekly;
        r.RecurrenceWeeklyEvery = 1 + i % 4;
        r.RecurrenceWeeklyDays = QStringLiteral("1010100");
        r.RecurrenceStart = r.Date;
        r.RecurrenceNoEnd = true;
    }
    return r;
}
