// The main window's list of all reminders: the model, the rebuild that also places the day
// view's entries, the selection kept exclusive with the day view, and Jump To.
#include "frmMainList.h"

#include "clsDayView.h"

#include "clsRepresentation.h"
#include "frmMain.h"
#include "uMain.h"
#include "uMenuImages.h"

#include "ZTCalendarPanel.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QFrame>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollArea>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString kListError = QStringLiteral("Error loading reminders lists.");
} // namespace

// ---- Model ----

TVNTRListModel::TVNTRListModel(QObject *parent) : QAbstractTableModel(parent) {}
TVNTRListModel::~TVNTRListModel() = default;

int TVNTRListModel::Compare(const TReminder &a, const TReminder &b)
{
    if (SameDay(a.Date, b.Date)) {
        if (const int byMinute = CompareMinutes(a.Time, b.Time))
            return byMinute;
        return a.ReminderMessage.localeAwareCompare(b.ReminderMessage);
    }
    return CompareDays(a.Date, b.Date);
}

void TVNTRListModel::Reset(std::vector<TVNTRListRow> rows)
{
    try {
        for (TVNTRListRow &row : rows) {
            row.SortDay = DayNumber(row.Representation->Reminder()->Date);
            row.SortMinute = MinuteOfDay(row.Representation->Reminder()->Time);
        }
        // The compare rule on the keys taken above; the messages only for equal moments.
        std::stable_sort(rows.begin(), rows.end(), [](const TVNTRListRow &x, const TVNTRListRow &y) {
            if (x.SortDay != y.SortDay)
                return x.SortDay < y.SortDay;
            if (x.SortMinute != y.SortMinute)
                return x.SortMinute < y.SortMinute;
            return x.Representation->Reminder()->ReminderMessage.localeAwareCompare(y.Representation->Reminder()->ReminderMessage)
                   < 0;
        });
    } catch (...) {
        throw ZTConvertException(TZTRaise::WrapAll, QStringLiteral("There was an error while comparing list items."),
                                 std::current_exception());
    }
    beginResetModel();
    rows_.swap(rows);
    endResetModel();
    // The old rows go now, after the view has let go of them.
}

int TVNTRListModel::PositionOfKey(int key) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Key == key)
            return int(i);
    return -1;
}

int TVNTRListModel::PositionOfId(const QString &id) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Representation->Reminder()->Id == id)
            return int(i);
    return -1;
}

std::shared_ptr<TReminder> TVNTRListModel::ReminderAt(int position) const
{
    if (position < 0 || position >= Count())
        return {};
    return rows_[std::size_t(position)].Representation->Reminder();
}

int TVNTRListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TVNTRListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TVNTRListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const TVNTRListRow &row = rows_[std::size_t(index.row())];
    const TReminder &reminder = *row.Representation->Reminder();
    // Texts are made when the view asks, for the rows it shows, not for every row of a rebuild.
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return index.column() == 0 ? TReminder::ListCaption(row.Shown, reminder.Time) : ZTFirstLine(reminder.ReminderMessage);
    case Qt::DecorationRole:
        if (index.column() == 0)
            return TVNTRMenuImages::Icon(reminder.Recurring ? TVNTRMenuImages::Recurring : TVNTRMenuImages::Add);
        return {};
    case Qt::ToolTipRole:
        return index.column() == 1 ? QVariant(reminder.ReminderMessage) : QVariant();
    default:
        return {};
    }
}

QVariant TVNTRListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Time") : QStringLiteral("Reminder");
}

// ---- Rebuild ----

void TVNTRMain::RebuildLists(TDateTime date)
{
    ZTRaising(TZTRaise::WrapAll, kListError, [&] {
        if (!Reminders)
            return;
        // No painting while the rows and entries change: the list and the day view are drawn
        // once, when the rebuild is over.
        lvAll_->setUpdatesEnabled(false);
        dayView_->widget()->setUpdatesEnabled(false);
        // The day view hides the controls this rebuild did not use once the new entries stand,
        // also when the rebuild fails midway.
        struct TResume {
            QWidget *list;
            TVNTRDayView *day;
            ~TResume()
            {
                try {
                    day->EndRebuild();
                } catch (...) {
                }
                day->widget()->setUpdatesEnabled(true);
                list->setUpdatesEnabled(true);
            }
        } resume{lvAll_, dayView_};

        listModel_->Clear();
        dayView_->BeginRebuild();

        TReminderList all;
        Reminders->GetAll(all);
        TVNTRNextCache &cache = *nextCache_;
        const std::int64_t minute = MinuteStamp(DateOf(ZTNow()), TimeOf(ZTNow()));
        const QString workDays = Reminders->WorkDays();
        if (cache.Store != Reminders.get() || cache.Changes != Reminders->ChangeCount() || cache.Minute != minute
            || cache.WorkDays != workDays || cache.Next.size() != std::size_t(all.Count())) {
            cache.Store = Reminders.get();
            cache.Changes = Reminders->ChangeCount();
            cache.Minute = minute;
            cache.WorkDays = workDays;
            cache.Next.assign(std::size_t(all.Count()), std::numeric_limits<TDateTime>::quiet_NaN());
        }
        std::vector<TVNTRListRow> rows;
        rows.reserve(std::size_t(all.Count()));
        QLabel *toSelect = nullptr;
        int slotToShow = -1;
        for (int k = 0; k < all.Count(); ++k) {
            const TReminder::Ptr &reminder = all.Items(k);
            TDateTime &next = cache.Next[std::size_t(k)];
            if (std::isnan(next))
                next = reminder->NextOccurrence(*Reminders);
            auto representation = std::make_shared<TRepresentation>(reminder);
            if (reminder->OccursOn(*Reminders, date)) {
                const int slot = TVNTRDayView::SlotOfTime(reminder->Time);
                const bool chosen = !reminderToSelect_.isEmpty() && reminder->Id == reminderToSelect_;
                dayView_->Place(representation, k, slot, chosen);
                if (chosen) {
                    toSelect = representation->Entry();
                    slotToShow = slot;
                }
            }
            rows.push_back({k, next != 0 ? next : reminder->Date, std::move(representation)});
        }
        listModel_->Reset(std::move(rows));
        if (toSelect) {
            dayView_->SelectSlot(nullptr);
            dayView_->SelectEntry(toSelect);
            dayView_->ScrollToSlot(slotToShow);
        }
        reminderToSelect_.clear();
    });
}

// ---- Selection ----

bool TVNTRMain::IsListActive() const
{
    return lvAll_ && lvAll_->hasFocus();
}

void TVNTRMain::ClearListSelection()
{
    if (lvAll_ && lvAll_->selectionModel())
        lvAll_->selectionModel()->clearSelection();
}

void TVNTRMain::lvAllSelectionChanged()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        if (lvAll_->selectionModel()->hasSelection()) {
            dayView_->SelectSlot(nullptr);
            dayView_->SelectEntry(nullptr);
        }
        UpdateActions();
    });
}

void TVNTRMain::lvAllDblClick(const QModelIndex &index)
{
    Q_UNUSED(index);
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error editing reminder."), [this] {
        UpdateActions();
        if (act_.CalendarEditReminder->isEnabled())
            act_.CalendarEditReminder->trigger();
    });
}

void TVNTRMain::actViewJumpToExecute()
{
    if (!IsListActive() || !lvAll_->selectionModel()->hasSelection())
        return;
    const int position = lvAll_->selectionModel()->selectedRows().value(0).row();
    std::shared_ptr<TReminder> reminder = listModel_->ReminderAt(position);
    if (!reminder || !Reminders)
        return;
    Reminders->Refresh(*reminder);
    reminderToSelect_ = reminder->Id;
    const TDateTime next = reminder->NextOccurrence(*Reminders);
    Calendar_->SetSelectedDate(next != 0 ? next : reminder->Date);
}
