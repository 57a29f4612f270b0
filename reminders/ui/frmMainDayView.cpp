// The main window's side of the day view: what the view reports becomes a command on the
// store (add at a slot, edit an entry's reminder, move it to another slot).
#include "frmMain.h"

#include "clsDayView.h"
#include "clsRepresentation.h"
#include "frmMainList.h"
#include "uMain.h"

#include "ZTCalendarPanel.h"
#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace {
const QString kDragError = QStringLiteral("Drag & Drop error.");
const QString kSeriesPast = QStringLiteral("The reminder(s) for '%1' cannot be set because all the occurences are in the past.");
const QString kOneTimePast = QStringLiteral("The reminder for '%1' cannot be set because its time has passed.");
} // namespace

void TVNTRMain::ConnectDayView()
{
    connect(dayView_, &TVNTRDayView::EntryActivated, this, &TVNTRMain::DayViewEntryActivated);
    connect(dayView_, &TVNTRDayView::SlotActivated, this, [this](int slot) {
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [&] { AddAtSlot(slot); });
    });
    connect(dayView_, &TVNTRDayView::EntryMoved, this, &TVNTRMain::DropEntry);
    connect(dayView_, &TVNTRDayView::SelectionChanged, this, &TVNTRMain::UpdateActions);
    connect(dayView_, &TVNTRDayView::Pressed, this, &TVNTRMain::ClearListSelection);
    connect(dayView_, &TVNTRDayView::ContextMenuRequested, this, [this](const QPoint &position) {
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [&] {
            UpdateActions();
            popPanels_->exec(position);
        });
    });
}

void TVNTRMain::DayViewEntryActivated(QLabel *entry)
{
    Q_UNUSED(entry); // the selected entry, which Edit acts on
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [this] {
        UpdateActions();
        if (act_.CalendarEditReminder->isEnabled())
            act_.CalendarEditReminder->trigger();
    });
}

void TVNTRMain::AddAtSlot(int slot)
{
    if (slot < 0 || slot >= TVNTRDayView::SlotCount || !Calendar_)
        return;
    AddReminderAt(SlotToTime(slot), Calendar_->SelectedDate());
}

void TVNTRMain::DropEntry(QLabel *entry, int slot)
{
    ZTGuard(TZTRaise::PassThrough, kDragError, [&] {
        if (!entry || !Reminders || !Calendar_ || slot < 0 || slot >= TVNTRDayView::SlotCount)
            return;
        const int key = TVNTRDayView::KeyOf(entry);
        if (key < 0 || key >= listModel_->Count())
            return;
        const int position = listModel_->PositionOfKey(key);
        if (position < 0)
            return;
        std::shared_ptr<TReminder> reminder = listModel_->ReminderAt(position);
        Reminders->Refresh(*reminder);
        const TDateTime newTime = SlotToTime(slot);
        const TDateTime day = Calendar_->SelectedDate();
        TReminder::Ptr copy = reminder->MakeOneTimeCopy();
        if (reminder->Recurring) {
            copy->Date = DateOf(day);
            copy->Time = newTime;
            if (copy->NextOccurrence(*Reminders) == 0)
                throw EZTException(kSeriesPast.arg(ZTFirstLine(reminder->ReminderMessage)), QString(), 2);
            reminder->OccurrenceDate = DateOf(day);
            reminder->OccurrenceTime = reminder->Time;
            Reminders->AddExclusion(*reminder->MakeExclusion());
            Reminders->Add(*copy);
            reminderToSelect_ = copy->Id;
        } else {
            copy->Time = newTime;
            if (copy->NextOccurrence(*Reminders) == 0)
                throw EZTException(kOneTimePast.arg(ZTFirstLine(reminder->ReminderMessage)), QString(), 2);
            reminder->Time = newTime;
            Reminders->Update(*reminder);
        }
        CommitAndRefresh();
    });
}
