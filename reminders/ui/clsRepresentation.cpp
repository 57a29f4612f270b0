#include "clsRepresentation.h"

#include "clsReminders.h"

#include "ZTStrUtils.h"

TRepresentation::TRepresentation(std::shared_ptr<TReminder> reminder) : reminder_(std::move(reminder)) {}

QString TRepresentation::EntryText(const TReminder &reminder)
{
    return QLatin1Char(' ') + TReminder::TimeCaption(reminder.Time)
           + (reminder.Recurring ? QStringLiteral(" - (R) - ") : QStringLiteral(" - ")) + ZTFirstLine(reminder.ReminderMessage);
}
