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

void SetBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

void SetColours(QWidget *widget, const QColor &back, const QColor &text)
{
    QPalette palette = widget->palette();
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
            for (QObject *child : area->children()) {
                if (auto *entry = qobject_cast<QLabel *>(child); entry && PartOf(entry) == TPart::Entry) {
                    const bool selected = entry == selectedEntry_;
                    SetColours(entry, Colour(selected ? Options->ReminderSelectedBackColor : Options->ReminderBackColor),
                               Colour(selected ? Options->ReminderSelectedTextColor : Options->ReminderTextColor));
                } else if (auto *gap = qobject_cast<QFrame *>(child); gap && PartOf(gap) == TPart::Gap) {
                    SetBackground(gap, areaColour);
                }
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
    for (QObject *child : slotArea->children())
        if (auto *gap = qobject_cast<QFrame *>(child); gap && PartOf(gap) == TPart::Gap)
            SetBackground(gap, colour);
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
    });
}

// ---- Entries ----

void TVNTRMain::ClearEntries()
{
    ZTRaising(TZTRaise::PassThrough, kRemoveError, [this] {
        selectedEntry_ = nullptr;
        rebuilding_ = true;
        struct TDone {
            bool &flag;
            ~TDone() { flag = false; }
        } done{rebuilding_};
        for (auto it = slotAreas_.rbegin(); it != slotAreas_.rend(); ++it) {
            const QObjectList children = (*it)->children();
            for (auto child = children.rbegin(); child != children.rend(); ++child) {
                auto *widget = qobject_cast<QWidget *>(*child);
                if (!widget)
                    continue;
                const TPart part = PartOf(widget);
                if (part != TPart::Entry && part != TPart::Gap)
                    continue;
                // Out of the slot now; destroyed once the event that caused the rebuild (often
                // one of this very entry's own: a double click, a drop) has finished.
                widget->hide();
                (*it)->layout()->removeWidget(widget);
                widget->setObjectName(QString());
                widget->removeEventFilter(this);
                widget->deleteLater();
            }
        }
    });
}

void TVNTRMain::Place(TRepresentation &representation, int key, QFrame *slotArea)
{
    representation.Place(slotArea, key);
    QLabel *entry = representation.Entry();
    QFrame *gap = representation.Gap();
    if (Options) {
        SetColours(entry, Colour(Options->ReminderBackColor), Colour(Options->ReminderTextColor));
        SetBackground(gap, slotArea->palette().color(QPalette::Window));
    }
    entry->setAcceptDrops(true);
    gap->setAcceptDrops(true);
    entry->installEventFilter(this);
    gap->installEventFilter(this);
    entry->show();
    gap->show();
}

QList<QLabel *> TVNTRMain::EntriesIn(int slot) const
{
    QList<QLabel *> entries;
    QFrame *area = SlotArea(slot);
    if (!area)
        return entries;
    auto *layout = area->layout();
    for (int i = 0; i < layout->count(); ++i)
        if (auto *entry = qobject_cast<QLabel *>(layout->itemAt(i)->widget()); entry && PartOf(entry) == TPart::Entry)
            entries.append(entry);
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
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [&] {
            if (part == TPart::Entry) {
                UpdateActions();
                if (auto *edit = findChild<QAction *>(QStringLiteral("actCalendarEditReminder")); edit && edit->isEnabled())
                    actCalendarEditReminderExecute();
            } else {
                AddAtSlot(areaOf(widget));
            }
        });
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
        for (QFrame *area : slotAreas_)
            for (QObject *child : area->children())
                if (auto *label = qobject_cast<QLabel *>(child);
                    label && PartOf(label) == TPart::Entry && label->property(TRepresentation::TagProperty).toInt() == key)
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
            ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [&] {
                if (part == TPart::Entry) {
                    UpdateActions();
                    if (auto *edit = findChild<QAction *>(QStringLiteral("actCalendarEditReminder")); edit && edit->isEnabled())
                        actCalendarEditReminderExecute();
                } else {
                    AddAtSlot(areaOf(widget));
                }
            });
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}
