#include "clsRepresentation.h"

#include "clsReminders.h"
#include "frmMain.h"

#include "ZTStrUtils.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>

TRepresentation::TRepresentation(std::shared_ptr<TReminder> reminder) : reminder_(std::move(reminder)) {}

QString TRepresentation::EntryText(const TReminder &reminder)
{
    return QLatin1Char(' ') + TReminder::TimeCaption(reminder.Time) +
           (reminder.Recurring ? QStringLiteral(" - (R) - ") : QStringLiteral(" - ")) +
           ZTFirstLine(reminder.ReminderMessage);
}

void TRepresentation::Place(QFrame *slotArea, int key)
{
    auto *layout = qobject_cast<QBoxLayout *>(slotArea->layout());
    auto *entry = new QLabel(EntryText(*reminder_), slotArea);
    entry->setObjectName(QStringLiteral("Entry"));
    entry->setFixedWidth(TVNTRMain::EntryWidth);
    entry->setFrameShape(QFrame::Box);
    entry->setAutoFillBackground(true);
    entry->setFocusPolicy(Qt::ClickFocus);
    entry->setProperty(TagProperty, key);
    entry->setProperty(SlotProperty, slotArea->property(SlotProperty));
    entry->setTextFormat(Qt::PlainText);
    entry->setAccessibleName(entry->text().trimmed());
    entry->setToolTip(reminder_->ReminderMessage);

    auto *gap = new QFrame(slotArea);
    gap->setObjectName(QStringLiteral("Gap"));
    gap->setFixedWidth(TVNTRMain::GapWidth);
    gap->setAutoFillBackground(true);
    gap->setPalette(slotArea->palette());
    gap->setProperty(TagProperty, TVNTRMain::GapTag);
    gap->setProperty(SlotProperty, slotArea->property(SlotProperty));

    // The stretch at the end keeps the entries packed to the left.
    const int at = layout ? layout->count() - 1 : 0;
    if (layout) {
        layout->insertWidget(at, entry);
        layout->insertWidget(at + 1, gap);
    }
    entry_ = entry;
    gap_ = gap;
}
