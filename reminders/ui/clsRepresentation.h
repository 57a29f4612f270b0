#pragma once
// One reminder as the main window shows it: a row of the list of all reminders and, when the
// reminder falls on the selected date, an entry (with its gap) in a slot of the day view.
// An entry's tag is the key of its row; a gap's tag is the day view's GapTag.

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QString>

#include <memory>

class TReminder;

class TRepresentation {
public:
    // Takes the reminder over; a command that copied the pointer keeps it valid after the
    // representation is gone.
    explicit TRepresentation(std::shared_ptr<TReminder> reminder);

    const std::shared_ptr<TReminder> &Reminder() const { return reminder_; }
    // The entry and the gap while placed in a slot (nullptr otherwise, or once released).
    QLabel *Entry() const { return entry_; }
    QFrame *Gap() const { return gap_; }

    // The entry and gap controls that show the reminder in the day view (the day view owns
    // and reuses them); none while the reminder is not placed.
    void Attach(QLabel *entry, QFrame *gap)
    {
        entry_ = entry;
        gap_ = gap;
    }

    // The entry's text: a blank, the time in the short time format, " - (R) - " for a recurring
    // reminder or " - " for a one-time one, then the first line of the message.
    static QString EntryText(const TReminder &reminder);

    // Dynamic property names the day view's controls carry: the tag (an entry's key, GapTag
    // for a gap) and the slot index of hour labels and slot areas.
    static constexpr const char *TagProperty = "vntrTag";
    static constexpr const char *SlotProperty = "vntrSlot";

private:
    std::shared_ptr<TReminder> reminder_;
    QPointer<QLabel> entry_;
    QPointer<QFrame> gap_;
};
