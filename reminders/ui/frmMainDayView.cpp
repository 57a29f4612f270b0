// The main window's day view: 48 half-hour rows for the selected date, coloured by the work
// week and the working hours, with one entry per reminder of that date in the slot of its
// time. Click selects, double click adds or edits, Ctrl-drag (or Ctrl+Up/Down) moves.
#include "frmMain.h"

#include "clsRepresentation.h"
#include "frmMainList.h"
#include "uMain.h"

#include "ZTCalendarPanel.h"
#include "ZTExceptions.h"
#include "ZTStrUtils.h"
#include "ZTSysUtilsGui.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace {
const QString kRemoveError = QStringLiteral("Error removing reminders' representations.");
const QString kSelectEntryError = QStringLiteral("Error setting selected reminder.");
const QString kSelectSlotError = QStringLiteral("Error setting selected panel.");
const QString kDragError = QStringLiteral("Drag & Drop error.");
const QString kResizeError = QStringLiteral("Resize error.");
const QString kSeriesPast =
    QStringLiteral("The reminder(s) for '%1' cannot be set because all the occurences are in the past.");
const QString kOneTimePast = QStringLiteral("The reminder for '%1' cannot be set because its time has passed.");
// The drag carries the entry's key under this type.
const QString kEntryMime = QStringLiteral("application/x-ventaro-entry");
constexpr const char *kSavedColour = "vntrSavedColour";

enum class TPart { None, HourLabel, SlotArea, Entry, Gap };

TPart PartOf(const QObject *object)
{
    const QString name = object->objectName();
    if (name == QLatin1String("Entry"))
        return TPart::Entry;
    if (name == QLatin1String("Gap"))
        return TPart::Gap;
    if (name.startsWith(QLatin1String("lblHour")))
        return TPart::HourLabel;
    if (name.startsWith(QLatin1String("pSlot")))
        return TPart::SlotArea;
    return TPart::None;
}

QColor Colour(TColor color)
{
    return QColor::fromRgb(ZTColorToRgb(color));
}

// Colouring a control that already has the colours costs nothing: a palette change spreads
// through the control and repaints it, and the day view recolours on every date selection.
void SetBackground(QWidget *widget, const QColor &colour)
{
    if (widget->palette().color(QPalette::Window) == colour)
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

void SetColours(QWidget *widget, const QColor &back, const QColor &text)
{
    const QPalette &current = widget->palette();
    if (current.color(QPalette::Window) == back && current.color(QPalette::WindowText) == text)
        return;
    QPalette palette = current;
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

int SlotOf(const QObject *object)
{
    return object->property(TRepresentation::SlotProperty).toInt();
}
} // namespace

// ---- Building and colouring ----

QFrame *TVNTRMain::SlotArea(int slot) const
{
    return slot >= 0 && slot < int(slotAreas_.size()) ? slotAreas_[std::size_t(slot)] : nullptr;
}

QFrame *TVNTRMain::SlotForTime(TDateTime time) const
{
    const int minute = MinuteOfDay(time);
    return SlotArea(2 * (minute / 60) + (minute % 60 >= 30 ? 1 : 0));
}

void TVNTRMain::BuildOrRecolourDayView(TDateTime date)
{
    if (!rows_.empty()) {
        if (rebuilding_ || !Options)
            return;
        for (int i = 0; i < SlotCount; ++i) {
            QFrame *area = slotAreas_[std::size_t(i)];
            ColourSlot(area, i, date);
            const QColor areaColour = area->palette().color(QPalette::Window);
            if (std::size_t(i) >= entryPool_.size())
                continue;
            for (int k = 0; k < usedEntries_[std::size_t(i)]; ++k) {
                const TSlotEntry &controls = entryPool_[std::size_t(i)][std::size_t(k)];
                const bool selected = controls.Entry == selectedEntry_;
                SetColours(controls.Entry, Colour(selected ? Options->ReminderSelectedBackColor : Options->ReminderBackColor),
                           Colour(selected ? Options->ReminderSelectedTextColor : Options->ReminderTextColor));
                SetBackground(controls.Gap, areaColour);
            }
        }
        return;
    }

    rows_.reserve(SlotCount);
    for (int i = 0; i < SlotCount; ++i) {
        auto *row = new QFrame(dayContent_);
        row->setObjectName(QStringLiteral("pRow%1").arg(i));
        row->setAutoFillBackground(true);
        if (Options)
            SetBackground(row, Colour(Options->PanelNonworkingColor));
        row->setGeometry(0, RowHeight * i, sbxClient_->viewport()->width(), RowHeight);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);

        auto *hour = new QLabel(TReminder::TimeCaption(SlotToTime(i)), row);
        hour->setObjectName(QStringLiteral("lblHour%1").arg(i));
        hour->setFixedWidth(HourLabelWidth);
        hour->setAutoFillBackground(true);
        hour->setAlignment(Qt::AlignCenter);
        QFont bold = hour->font();
        bold.setBold(true);
        hour->setFont(bold);
        if (Options)
            SetColours(hour, Colour(Options->PanelHourBackColor), Colour(Options->PanelHourTextColor));
        hour->setProperty(TRepresentation::SlotProperty, i);
        hour->setAcceptDrops(true);
        hour->installEventFilter(this);
        layout->addWidget(hour);

        auto *area = new QFrame(row);
        area->setObjectName(QStringLiteral("pSlot%1").arg(i));
        area->setFrameShape(QFrame::Box);
        area->setLineWidth(1);
        area->setAutoFillBackground(true);
        area->setFocusPolicy(Qt::ClickFocus);
        area->setProperty(TRepresentation::SlotProperty, i);
        area->setAcceptDrops(true);
        area->setAccessibleName(QStringLiteral("Slot ") + hour->text());
        area->setStatusTip(QStringLiteral("Double click to add a reminder at %1").arg(hour->text()));
        area->installEventFilter(this);
        auto *entries = new QHBoxLayout(area);
        entries->setContentsMargins(1, 1, 1, 1);
        entries->setSpacing(0);
        entries->addStretch(1);
        layout->addWidget(area, 1);

        rows_.push_back(row);
        hourLabels_.push_back(hour);
        slotAreas_.push_back(area);
        ColourSlot(area, i, date);
    }
    dayContent_->setFixedHeight(RowHeight * SlotCount);
    ScrollToSlot(Options ? Options->EndTime : 38);
}

void TVNTRMain::ColourSlot(QFrame *slotArea, int slot, TDateTime date)
{
    if (!Options)
        return;
    const TColor colour = Options->IsWorkingTime(date, slot) ? Options->PanelWorkingColor : Options->PanelNonworkingColor;
    if (slotArea == selectedSlot_) {
        // The selected slot keeps the selected colour; its own comes back when it is deselected.
        slotArea->setProperty(kSavedColour, ZTColorToRgb(colour));
        return;
    }
    SetBackground(slotArea, Colour(colour));
}

void TVNTRMain::PaintSlot(QFrame *slotArea, std::uint32_t rgb)
{
    if (rebuilding_)
        return;
    const QColor colour = QColor::fromRgb(rgb);
    SetBackground(slotArea, colour);
    const std::size_t slot = std::size_t(SlotOf(slotArea));
    if (slot < entryPool_.size())
        for (const TSlotEntry &controls : entryPool_[slot])
            SetBackground(controls.Gap, colour);
}

void TVNTRMain::ScrollToSlot(int slot)
{
    if (!sbxClient_ || slot < 0 || slot >= SlotCount)
        return;
    sbxClient_->ensureVisible(0, RowHeight * slot + RowHeight / 2, 0, RowHeight / 2 + 1);
}

void TVNTRMain::DayViewResize()
{
    ZTGuard(TZTRaise::PassThrough, kResizeError, [this] {
        const int width = sbxClient_->viewport()->width();
        dayContent_->setFixedWidth(width);
        for (QFrame *row : rows_)
            row->setFixedWidth(width);
        // Wider now: the entries that wait in a slot's overflow get their controls.
        const int capacity = EntryCapacity();
        for (std::size_t slot = 0; slot < overflow_.size(); ++slot) {
            auto &waiting = overflow_[slot];
            std::size_t taken = 0;
            while (taken < waiting.size() && usedEntries_[slot] < capacity) {
                MakeEntry(*waiting[taken].first, waiting[taken].second, int(slot));
                ++taken;
            }
            waiting.erase(waiting.begin(), waiting.begin() + std::ptrdiff_t(taken));
        }
    });
}

// ---- Entries ----

void TVNTRMain::ClearEntries()
{
    ZTRaising(TZTRaise::PassThrough, kRemoveError, [this] {
        // The selected entry goes back to the ordinary colours before it is put away, so that
        // it comes back unselected when it is reused.
        if (selectedEntry_ && Options)
            SetColours(selectedEntry_, Colour(Options->ReminderBackColor), Colour(Options->ReminderTextColor));
        selectedEntry_ = nullptr;
        rebuilding_ = true;
        struct TDone {
            bool &flag;
            ~TDone() { flag = false; }
        } done{rebuilding_};
        // The controls are hidden, not destroyed: a rebuild often runs from inside an event of
        // one of them (a double click that opened the edit dialog, a drop), and the next
        // rebuild uses them again.
        for (std::size_t slot = entryPool_.size(); slot-- > 0;) {
            std::vector<TSlotEntry> &pool = entryPool_[slot];
            for (int k = usedEntries_[slot]; k-- > 0;) {
                pool[std::size_t(k)].Entry->hide();
                pool[std::size_t(k)].Gap->hide();
                pool[std::size_t(k)].Entry->setProperty(TRepresentation::TagProperty, -1);
            }
            usedEntries_[slot] = 0;
            overflow_[slot].clear();
        }
    });
}

int TVNTRMain::EntryCapacity() const
{
    // The slot area is the row less its hour label; one more entry than fits whole, since the
    // last one shows in part.
    const int width = (sbxClient_ ? sbxClient_->viewport()->width() : 0) - HourLabelWidth - 2;
    return std::max(1, width / (EntryWidth + GapWidth) + 1);
}

void TVNTRMain::Place(const std::shared_ptr<TRepresentation> &representation, int key, QFrame *slotArea, bool always)
{
    const int slot = SlotOf(slotArea);
    if (entryPool_.size() != slotAreas_.size()) {
        entryPool_.resize(slotAreas_.size());
        usedEntries_.resize(slotAreas_.size(), 0);
        overflow_.resize(slotAreas_.size());
    }
    // Entries past the right edge could be neither seen nor reached: a crowded day of a large
    // store would otherwise make thousands of controls at every date selection.
    if (!always && usedEntries_[std::size_t(slot)] >= EntryCapacity()) {
        overflow_[std::size_t(slot)].emplace_back(representation, key);
        return;
    }
    MakeEntry(*representation, key, slot);
}

void TVNTRMain::MakeEntry(TRepresentation &representation, int key, int slot)
{
    QFrame *slotArea = slotAreas_[std::size_t(slot)];
    std::vector<TSlotEntry> &pool = entryPool_[std::size_t(slot)];
    int &used = usedEntries_[std::size_t(slot)];
    const QColor areaColour = slotArea->palette().color(QPalette::Window);
    if (used == int(pool.size())) {
        auto *entry = new QLabel(slotArea);
        entry->setObjectName(QStringLiteral("Entry"));
        entry->setFixedWidth(EntryWidth);
        entry->setFrameShape(QFrame::Box);
        entry->setAutoFillBackground(true);
        entry->setFocusPolicy(Qt::ClickFocus);
        entry->setTextFormat(Qt::PlainText);
        entry->setProperty(TRepresentation::SlotProperty, slot);
        entry->setAcceptDrops(true);
        entry->installEventFilter(this);
        if (Options)
            SetColours(entry, Colour(Options->ReminderBackColor), Colour(Options->ReminderTextColor));
        auto *gap = new QFrame(slotArea);
        gap->setObjectName(QStringLiteral("Gap"));
        gap->setFixedWidth(GapWidth);
        gap->setAutoFillBackground(true);
        gap->setProperty(TRepresentation::TagProperty, GapTag);
        gap->setProperty(TRepresentation::SlotProperty, slot);
        gap->setAcceptDrops(true);
        gap->installEventFilter(this);
        SetBackground(gap, areaColour);
        // Before the stretch at the end, which keeps the entries packed to the left.
        auto *layout = static_cast<QBoxLayout *>(slotArea->layout());
        layout->insertWidget(layout->count() - 1, entry);
        layout->insertWidget(layout->count() - 1, gap);
        pool.push_back({entry, gap});
    }
    const TSlotEntry &controls = pool[std::size_t(used++)];
    const TReminder &reminder = *representation.Reminder();
    const QString text = TRepresentation::EntryText(reminder);
    controls.Entry->setText(text);
    controls.Entry->setAccessibleName(text.trimmed());
    controls.Entry->setToolTip(reminder.ReminderMessage);
    controls.Entry->setProperty(TRepresentation::TagProperty, key);
    SetBackground(controls.Gap, areaColour);
    controls.Entry->show();
    controls.Gap->show();
    representation.Attach(controls.Entry, controls.Gap);
}

QList<QLabel *> TVNTRMain::EntriesIn(int slot) const
{
    QList<QLabel *> entries;
    if (slot < 0 || slot >= int(entryPool_.size()))
        return entries;
    for (int k = 0; k < usedEntries_[std::size_t(slot)]; ++k)
        entries.append(entryPool_[std::size_t(slot)][std::size_t(k)].Entry);
    return entries;
}

// ---- Selection ----

void TVNTRMain::SelectEntry(QLabel *entry)
{
    ZTRaising(TZTRaise::PassThrough, kSelectEntryError, [&] {
        if (selectedEntry_ && Options)
            SetColours(selectedEntry_, Colour(Options->ReminderBackColor), Colour(Options->ReminderTextColor));
        selectedEntry_ = entry;
        if (entry) {
            entry->setFocus(Qt::OtherFocusReason);
            if (Options)
                SetColours(entry, Colour(Options->ReminderSelectedBackColor), Colour(Options->ReminderSelectedTextColor));
        }
        UpdateActions();
    });
}

void TVNTRMain::SelectSlot(QFrame *slotArea)
{
    ZTRaising(TZTRaise::PassThrough, kSelectSlotError, [&] {
        if (selectedEntry_)
            SelectEntry(nullptr);
        if (selectedSlot_) {
            QFrame *old = selectedSlot_;
            selectedSlot_ = nullptr;
            PaintSlot(old, old->property(kSavedColour).toUInt());
        }
        selectedSlot_ = slotArea;
        if (slotArea) {
            slotArea->setFocus(Qt::OtherFocusReason);
            slotArea->setProperty(kSavedColour, slotArea->palette().color(QPalette::Window).rgba());
            if (Options)
                PaintSlot(slotArea, ZTColorToRgb(Options->PanelSelectedColor));
        }
        UpdateActions();
    });
}

// ---- Commands of the day view ----

void TVNTRMain::AddAtSlot(QFrame *slotArea)
{
    if (!slotArea || !Calendar_)
        return;
    AddReminderAt(SlotToTime(SlotOf(slotArea)), Calendar_->SelectedDate());
}

void TVNTRMain::DropEntry(QLabel *entry, int slot)
{
    ZTGuard(TZTRaise::PassThrough, kDragError, [&] {
        if (!entry || !Reminders || !Calendar_ || slot < 0 || slot >= SlotCount)
            return;
        const int key = entry->property(TRepresentation::TagProperty).toInt();
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

// ---- Events of the day view's controls ----

bool TVNTRMain::DayViewEvent(QWidget *widget, QEvent *event)
{
    const TPart part = PartOf(widget);
    if (part == TPart::None)
        return false;
    // The slot area a click on a label, a gap or an area itself stands for.
    const auto areaOf = [this](QWidget *w) { return SlotArea(SlotOf(w)); };
    // A double click (or Enter): edit the entry's reminder, or add one at the slot.
    const auto activate = [&] {
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [&] {
            if (part == TPart::Entry) {
                UpdateActions();
                if (auto *edit = findChild<QAction *>(QStringLiteral("actCalendarEditReminder")); edit && edit->isEnabled())
                    actCalendarEditReminderExecute();
            } else {
                AddAtSlot(areaOf(widget));
            }
        });
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing click."), [&] {
            if (part == TPart::Entry) {
                auto *entry = static_cast<QLabel *>(widget);
                ClearListSelection();
                if (ZTControlKeyDown()) {
                    // The drag belongs to the window, not to the entry: a drop rebuilds the
                    // day view, which releases the entry while the drag is still running.
                    auto *drag = new QDrag(this);
                    auto *mime = new QMimeData;
                    mime->setData(kEntryMime, QByteArray::number(entry->property(TRepresentation::TagProperty).toInt()));
                    drag->setMimeData(mime);
                    drag->setPixmap(entry->grab());
                    drag->exec(Qt::MoveAction);
                    return;
                }
                if (selectedSlot_)
                    SelectSlot(nullptr);
                SelectEntry(entry);
            } else {
                ClearListSelection();
                SelectSlot(areaOf(widget));
            }
        });
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        activate();
        return true;
    }
    case QEvent::ContextMenu:
        if (part == TPart::HourLabel)
            return false;
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [&] {
            UpdateActions();
            popPanels_->exec(static_cast<QContextMenuEvent *>(event)->globalPos());
        });
        return true;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        // Only hour labels and slot areas take a dropped entry; entries and gaps refuse it.
        if ((part == TPart::HourLabel || part == TPart::SlotArea) && drag->mimeData()->hasFormat(kEntryMime))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if ((part != TPart::HourLabel && part != TPart::SlotArea) || !drop->mimeData()->hasFormat(kEntryMime)) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        const int key = drop->mimeData()->data(kEntryMime).toInt();
        const int slot = SlotOf(widget);
        // The entry that was dragged, found by its key (it may be gone by now).
        QLabel *entry = nullptr;
        for (int i = 0; i < SlotCount && !entry; ++i)
            for (QLabel *label : EntriesIn(i))
                if (label->property(TRepresentation::TagProperty).toInt() == key)
                    entry = label;
        DropEntry(entry, slot);
        return true;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        if (part == TPart::Entry && ctrl && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            // The keyboard's way of dragging an entry by one slot.
            const int slot = SlotOf(widget) + (key->key() == Qt::Key_Up ? -1 : 1);
            DropEntry(static_cast<QLabel *>(widget), slot);
            return true;
        }
        if (!ctrl && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && part != TPart::HourLabel) {
            const int slot = SlotOf(widget) + (key->key() == Qt::Key_Up ? -1 : 1);
            if (QFrame *area = SlotArea(slot)) {
                ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing click."), [&] {
                    SelectSlot(area);
                    ScrollToSlot(slot);
                });
            }
            return true;
        }
        if (key->key() == Qt::Key_Right && part == TPart::SlotArea && !EntriesIn(SlotOf(widget)).isEmpty()) {
            ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing click."), [&] {
                SelectSlot(nullptr);
                SelectEntry(EntriesIn(SlotOf(widget)).first());
            });
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !ctrl) {
            activate();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
