// The day view: 48 half-hour rows for the selected date, coloured by the work week and the
// working hours, with one entry per reminder of that date in the slot of its time. Click
// selects, double click or Enter activates, Ctrl-drag (or Ctrl+Up/Down) moves.
#include "clsDayView.h"

#include "clsRepresentation.h"
#include "uMain.h"

#include "ZTExceptions.h"
#include "ZTSysUtilsGui.h"
#include "clsReminders.h"
#include "uFunctions.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>

namespace {
const QString kRemoveError = QStringLiteral("Error removing reminders' representations.");
const QString kSelectEntryError = QStringLiteral("Error setting selected reminder.");
const QString kSelectSlotError = QStringLiteral("Error setting selected panel.");
const QString kResizeError = QStringLiteral("Resize error.");
const QString kClickError = QStringLiteral("Error processing click.");
// The drag carries the entry's key under this type.
const QString kEntryMime = QStringLiteral("application/x-ventaro-entry");

// The view's controls, told apart by their type rather than by their names.
class THourLabel : public QLabel {
public:
    using QLabel::QLabel;
};
class TSlotArea : public QFrame {
public:
    using QFrame::QFrame;
};
class TEntry : public QLabel {
public:
    using QLabel::QLabel;
};
class TGap : public QFrame {
public:
    using QFrame::QFrame;
};

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

// A slot area's colour, with its one-pixel raised edge in lighter and darker shades of it.
void SetSlotColour(QWidget *area, const QColor &colour)
{
    if (area->palette().color(QPalette::Window) == colour)
        return;
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Light, colour.lighter(125));
    palette.setColor(QPalette::Dark, colour.darker(125));
    area->setPalette(palette);
}

void SetEntryColours(QWidget *entry, bool selected)
{
    if (Options)
        SetColours(entry, Colour(selected ? Options->ReminderSelectedBackColor : Options->ReminderBackColor),
                   Colour(selected ? Options->ReminderSelectedTextColor : Options->ReminderTextColor));
}
} // namespace

TVNTRDayView::TVNTRDayView(QWidget *parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("sbxClient"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWidgetResizable(false);
    setAccessibleName(QStringLiteral("Day view"));
    content_ = new QWidget;
    content_->setObjectName(QStringLiteral("DayView"));
    content_->setFixedHeight(RowHeight * SlotCount);
    setWidget(content_);
    entryPool_.resize(SlotCount);
    usedEntries_.assign(SlotCount, 0);
    shownEntries_.assign(SlotCount, 0);
    overflow_.resize(SlotCount);
}

TVNTRDayView::~TVNTRDayView() = default;

// ---- Building and colouring ----

QFrame *TVNTRDayView::SlotArea(int slot) const
{
    return slot >= 0 && slot < int(slotAreas_.size()) ? slotAreas_[std::size_t(slot)] : nullptr;
}

int TVNTRDayView::SlotOfTime(TDateTime time)
{
    const int minute = MinuteOfDay(time);
    return 2 * (minute / 60) + (minute % 60 >= 30 ? 1 : 0);
}

int TVNTRDayView::SlotOf(const QWidget *control) const
{
    return control ? control->property(TRepresentation::SlotProperty).toInt() : -1;
}

void TVNTRDayView::BuildOrRecolour(TDateTime date)
{
    if (!rows_.empty()) {
        if (rebuilding_ || !Options)
            return;
        for (int i = 0; i < SlotCount; ++i) {
            ColourSlot(i, date);
            const QColor areaColour = slotAreas_[std::size_t(i)]->palette().color(QPalette::Window);
            for (int k = 0; k < usedEntries_[std::size_t(i)]; ++k) {
                const TSlotEntry &controls = entryPool_[std::size_t(i)][std::size_t(k)];
                SetEntryColours(controls.Entry, controls.Entry == selectedEntry_);
                SetBackground(controls.Gap, areaColour);
            }
        }
        return;
    }

    rows_.reserve(SlotCount);
    for (int i = 0; i < SlotCount; ++i) {
        auto *row = new QFrame(content_);
        row->setObjectName(QStringLiteral("pRow%1").arg(i));
        row->setAutoFillBackground(true);
        if (Options)
            SetBackground(row, Colour(Options->PanelNonworkingColor));
        row->setGeometry(0, RowHeight * i, viewport()->width(), RowHeight);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);

        auto *hour = new THourLabel(TReminder::TimeCaption(SlotToTime(i)), row);
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

        // The slot's border is one pixel in shades of the slot's own colour (a raised panel
        // edge), not a black box around every half hour.
        auto *area = new TSlotArea(row);
        area->setObjectName(QStringLiteral("pSlot%1").arg(i));
        area->setFrameShape(QFrame::Panel);
        area->setFrameShadow(QFrame::Raised);
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
        // The sign that entries wait for room: "+N" over the slot's right end, which lists them.
        auto *marker = new QToolButton(area);
        marker->setObjectName(QStringLiteral("btnMore%1").arg(i));
        marker->setFocusPolicy(Qt::StrongFocus);
        // Drawn solid over the entries it stands beside, so it cannot be taken for their text.
        marker->setStyleSheet(QStringLiteral("QToolButton { background: palette(highlight); color: palette(highlighted-text);"
                                             " border: 1px solid palette(dark); border-radius: 3px; padding: 0 3px; margin: 0;"
                                             " font-weight: bold; }"));
        marker->hide();
        marker->installEventFilter(this);
        marker->setProperty(TRepresentation::SlotProperty, i);
        connect(marker, &QToolButton::clicked, this,
                [this, i] { ZTGuard(TZTRaise::PassThrough, kClickError, [&] { OpenOverflow(i); }); });
        layout->addWidget(area, 1);

        rows_.push_back(row);
        hourLabels_.push_back(hour);
        slotAreas_.push_back(area);
        markers_.push_back(marker);
        ColourSlot(i, date);
    }
    content_->setFixedHeight(RowHeight * SlotCount);
    // Scrolled once the view is shown at its real size; scrolling a hidden, tiny view would
    // take it far past the working hours.
    scrollPending_ = true;
    if (isVisible())
        showEvent(nullptr);
}

void TVNTRDayView::showEvent(QShowEvent *event)
{
    if (event)
        QScrollArea::showEvent(event);
    if (!scrollPending_ || rows_.empty())
        return;
    scrollPending_ = false;
    ScrollToSlot(Options ? Options->EndTime : 38);
}

void TVNTRDayView::ColourSlot(int slot, TDateTime date)
{
    if (!Options)
        return;
    QFrame *area = slotAreas_[std::size_t(slot)];
    const TColor colour = Options->IsWorkingTime(date, slot) ? Options->PanelWorkingColor : Options->PanelNonworkingColor;
    if (area == selectedSlot_) {
        // The selected slot keeps the selected colour; its own comes back when it is deselected.
        selectedSlotColour_ = ZTColorToRgb(colour);
        return;
    }
    SetSlotColour(area, Colour(colour));
}

void TVNTRDayView::PaintSlot(QFrame *slotArea, std::uint32_t rgb)
{
    if (rebuilding_)
        return;
    const QColor colour = QColor::fromRgb(rgb);
    SetSlotColour(slotArea, colour);
    const int slot = SlotOf(slotArea);
    if (slot >= 0 && slot < SlotCount)
        for (const TSlotEntry &controls : entryPool_[std::size_t(slot)])
            SetBackground(controls.Gap, colour);
}

void TVNTRDayView::ScrollToSlot(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    ensureVisible(0, RowHeight * slot + RowHeight / 2, 0, RowHeight / 2 + 1);
}

void TVNTRDayView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    ZTGuard(TZTRaise::PassThrough, kResizeError, [this] { Relayout(); });
}

void TVNTRDayView::Relayout()
{
    const int width = viewport()->width();
    content_->setFixedWidth(width);
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
        if (taken > 0)
            UpdateOverflowMarker(int(slot));
        else
            PlaceOverflowMarker(int(slot));
    }
}

// ---- Rebuild ----

void TVNTRDayView::BeginRebuild()
{
    ZTRaising(TZTRaise::PassThrough, kRemoveError, [this] {
        // The selected entry goes back to the ordinary colours: whatever it shows next comes
        // unselected.
        if (selectedEntry_)
            SetEntryColours(selectedEntry_, false);
        selectedEntry_ = nullptr;
        // The controls stay as they are (shown, with their old texts) until they are labelled
        // anew or, at the end, hidden: a rebuild often runs from inside an event of one of
        // them (a double click that opened the edit dialog, a drop), and hiding and showing
        // every reused control would post two events each for nothing.
        for (std::size_t slot = 0; slot < entryPool_.size(); ++slot) {
            usedEntries_[slot] = 0;
            overflow_[slot].clear();
        }
    });
}

void TVNTRDayView::EndRebuild()
{
    ZTRaising(TZTRaise::PassThrough, kRemoveError, [this] {
        for (std::size_t slot = 0; slot < entryPool_.size(); ++slot) {
            std::vector<TSlotEntry> &pool = entryPool_[slot];
            for (int k = usedEntries_[slot]; k < shownEntries_[slot]; ++k) {
                pool[std::size_t(k)].Entry->hide();
                pool[std::size_t(k)].Gap->hide();
                pool[std::size_t(k)].Entry->setProperty(TRepresentation::TagProperty, -1);
            }
            shownEntries_[slot] = usedEntries_[slot];
            if (slot < markers_.size())
                UpdateOverflowMarker(int(slot));
        }
    });
}

int TVNTRDayView::EntryCapacity() const
{
    // The slot area is the row less its hour label; one more entry than fits whole, since the
    // last one shows in part.
    const int width = viewport()->width() - HourLabelWidth - 2;
    return std::max(1, width / (EntryWidth + GapWidth) + 1);
}

void TVNTRDayView::Place(const std::shared_ptr<TRepresentation> &representation, int key, int slot, bool always)
{
    if (slot < 0 || slot >= int(slotAreas_.size()))
        return;
    // Entries past the right edge could be neither seen nor reached: a crowded day of a large
    // store would otherwise make thousands of controls at every date selection.
    if (!always && usedEntries_[std::size_t(slot)] >= EntryCapacity()) {
        overflow_[std::size_t(slot)].emplace_back(representation, key);
        return;
    }
    MakeEntry(*representation, key, slot);
}

void TVNTRDayView::MakeEntry(TRepresentation &representation, int key, int slot)
{
    QFrame *slotArea = slotAreas_[std::size_t(slot)];
    std::vector<TSlotEntry> &pool = entryPool_[std::size_t(slot)];
    int &used = usedEntries_[std::size_t(slot)];
    const QColor areaColour = slotArea->palette().color(QPalette::Window);
    if (used == int(pool.size())) {
        auto *entry = new TEntry(slotArea);
        entry->setObjectName(QStringLiteral("Entry"));
        entry->setFixedWidth(EntryWidth);
        entry->setFrameShape(QFrame::Box);
        entry->setAutoFillBackground(true);
        entry->setFocusPolicy(Qt::ClickFocus);
        entry->setTextFormat(Qt::PlainText);
        entry->setProperty(TRepresentation::SlotProperty, slot);
        entry->setAcceptDrops(true);
        entry->installEventFilter(this);
        entry->hide();
        SetEntryColours(entry, false);
        auto *gap = new TGap(slotArea);
        gap->setObjectName(QStringLiteral("Gap"));
        gap->setFixedWidth(GapWidth);
        gap->setAutoFillBackground(true);
        gap->setProperty(TRepresentation::TagProperty, GapTag);
        gap->setProperty(TRepresentation::SlotProperty, slot);
        gap->setAcceptDrops(true);
        gap->installEventFilter(this);
        gap->hide();
        SetBackground(gap, areaColour);
        // Before the stretch at the end, which keeps the entries packed left.
        auto *layout = static_cast<QBoxLayout *>(slotArea->layout());
        layout->insertWidget(layout->count() - 1, entry);
        layout->insertWidget(layout->count() - 1, gap);
        pool.push_back({entry, gap});
    }
    const TSlotEntry &controls = pool[std::size_t(used++)];
    const TReminder &reminder = *representation.Reminder();
    const QString text = TRepresentation::EntryText(reminder);
    if (controls.Entry->text() != text) {
        controls.Entry->setText(text);
        controls.Entry->setAccessibleName(text.trimmed());
    }
    if (controls.Entry->toolTip() != reminder.ReminderMessage)
        controls.Entry->setToolTip(reminder.ReminderMessage);
    controls.Entry->setProperty(TRepresentation::TagProperty, key);
    SetBackground(controls.Gap, areaColour);
    // Shown only when it becomes visible: a reused control that stands already stays as it is.
    if (controls.Entry->isHidden())
        controls.Entry->show();
    if (controls.Gap->isHidden())
        controls.Gap->show();
    shownEntries_[std::size_t(slot)] = std::max(shownEntries_[std::size_t(slot)], used);
    representation.Attach(controls.Entry, controls.Gap);
}

QList<QLabel *> TVNTRDayView::EntriesIn(int slot) const
{
    QList<QLabel *> entries;
    if (slot < 0 || slot >= int(entryPool_.size()))
        return entries;
    for (int k = 0; k < usedEntries_[std::size_t(slot)]; ++k)
        entries.append(entryPool_[std::size_t(slot)][std::size_t(k)].Entry);
    return entries;
}

int TVNTRDayView::KeyOf(const QLabel *entry)
{
    return entry ? entry->property(TRepresentation::TagProperty).toInt() : -1;
}

QLabel *TVNTRDayView::EntryOfKey(int key) const
{
    for (int slot = 0; slot < int(entryPool_.size()); ++slot)
        for (QLabel *entry : EntriesIn(slot))
            if (KeyOf(entry) == key)
                return entry;
    return nullptr;
}

// ---- Entries waiting for room ----

int TVNTRDayView::OverflowCount(int slot) const
{
    return slot >= 0 && slot < int(overflow_.size()) ? int(overflow_[std::size_t(slot)].size()) : 0;
}

QToolButton *TVNTRDayView::OverflowMarker(int slot) const
{
    return slot >= 0 && slot < int(markers_.size()) ? markers_[std::size_t(slot)] : nullptr;
}

void TVNTRDayView::UpdateOverflowMarker(int slot)
{
    QToolButton *marker = OverflowMarker(slot);
    if (!marker)
        return;
    const int waiting = OverflowCount(slot);
    if (waiting == 0) {
        if (!marker->isHidden())
            marker->hide();
        return;
    }
    marker->setText(QStringLiteral("+%1").arg(waiting));
    marker->setAccessibleName(QStringLiteral("%1 more reminders at %2").arg(waiting).arg(hourLabels_[std::size_t(slot)]->text()));
    marker->setToolTip(marker->accessibleName());
    if (marker->isHidden())
        marker->show();
    PlaceOverflowMarker(slot);
}

void TVNTRDayView::PlaceOverflowMarker(int slot)
{
    QToolButton *marker = OverflowMarker(slot);
    if (!marker || marker->isHidden())
        return;
    // Over the right end of the slot, where the entries run out of sight.
    marker->setFixedSize(marker->sizeHint().width(), RowHeight - 4);
    marker->move(std::max(0, viewport()->width() - HourLabelWidth - marker->width() - 3), 2);
    marker->raise();
}

void TVNTRDayView::OpenOverflow(int slot)
{
    if (OverflowCount(slot) == 0)
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("popMore"));
    const auto &waiting = overflow_[std::size_t(slot)];
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        QAction *item = menu.addAction(TRepresentation::EntryText(*waiting[i].first->Reminder()).trimmed());
        item->setData(int(i));
    }
    QToolButton *marker = OverflowMarker(slot);
    QAction *chosen = menu.exec(marker->mapToGlobal(QPoint(0, marker->height())));
    if (chosen)
        ShowOverflowEntry(slot, chosen->data().toInt());
}

QLabel *TVNTRDayView::ShowOverflowEntry(int slot, int index)
{
    if (index < 0 || index >= OverflowCount(slot))
        return nullptr;
    auto &waiting = overflow_[std::size_t(slot)];
    const auto [representation, key] = waiting[std::size_t(index)];
    waiting.erase(waiting.begin() + index);
    MakeEntry(*representation, key, slot);
    UpdateOverflowMarker(slot);
    QLabel *entry = representation->Entry();
    SelectSlot(nullptr);
    SelectEntry(entry);
    ensureWidgetVisible(entry);
    return entry;
}

// ---- Selection ----

void TVNTRDayView::SelectEntry(QLabel *entry)
{
    ZTRaising(TZTRaise::PassThrough, kSelectEntryError, [&] {
        if (selectedEntry_)
            SetEntryColours(selectedEntry_, false);
        selectedEntry_ = entry;
        if (entry) {
            entry->setFocus(Qt::OtherFocusReason);
            SetEntryColours(entry, true);
        }
        Q_EMIT SelectionChanged();
    });
}

void TVNTRDayView::SelectSlot(QFrame *slotArea)
{
    ZTRaising(TZTRaise::PassThrough, kSelectSlotError, [&] {
        if (selectedEntry_)
            SelectEntry(nullptr);
        if (selectedSlot_) {
            QFrame *old = selectedSlot_;
            selectedSlot_ = nullptr;
            PaintSlot(old, selectedSlotColour_);
        }
        selectedSlot_ = slotArea;
        if (slotArea) {
            slotArea->setFocus(Qt::OtherFocusReason);
            selectedSlotColour_ = slotArea->palette().color(QPalette::Window).rgba();
            if (Options)
                PaintSlot(slotArea, ZTColorToRgb(Options->PanelSelectedColor));
        }
        Q_EMIT SelectionChanged();
    });
}

// ---- Events of the view's controls ----

TVNTRDayView::TPart TVNTRDayView::PartOf(const QObject *object) const
{
    if (dynamic_cast<const TEntry *>(object))
        return TPart::Entry;
    if (dynamic_cast<const TGap *>(object))
        return TPart::Gap;
    if (dynamic_cast<const THourLabel *>(object))
        return TPart::HourLabel;
    if (dynamic_cast<const TSlotArea *>(object))
        return TPart::SlotArea;
    return TPart::None;
}

bool TVNTRDayView::eventFilter(QObject *watched, QEvent *event)
{
    const TPart part = PartOf(watched);
    if (part == TPart::None) {
        // Enter on a "+N" marker lists the entries that wait, as a click does.
        if (auto *marker = qobject_cast<QToolButton *>(watched); marker && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                marker->click();
                return true;
            }
        }
        return QScrollArea::eventFilter(watched, event);
    }
    return ControlEvent(static_cast<QWidget *>(watched), part, event);
}

bool TVNTRDayView::ControlEvent(QWidget *widget, TPart part, QEvent *event)
{
    const int slot = SlotOf(widget);
    // A double click (or Enter): the entry, or the slot a label, a gap or an area stands for.
    const auto activate = [&] {
        if (part == TPart::Entry)
            Q_EMIT EntryActivated(static_cast<QLabel *>(widget));
        else
            Q_EMIT SlotActivated(slot);
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        ZTGuard(TZTRaise::PassThrough, kClickError, [&] {
            Q_EMIT Pressed();
            if (part == TPart::Entry) {
                auto *entry = static_cast<QLabel *>(widget);
                if (ZTControlKeyDown()) {
                    // The drag belongs to the view, not to the entry: a drop rebuilds the
                    // entries, and the entry may be reused while the drag is still running.
                    auto *drag = new QDrag(this);
                    auto *mime = new QMimeData;
                    mime->setData(kEntryMime, QByteArray::number(KeyOf(entry)));
                    drag->setMimeData(mime);
                    drag->setPixmap(entry->grab());
                    drag->exec(Qt::MoveAction);
                    return;
                }
                if (selectedSlot_)
                    SelectSlot(nullptr);
                SelectEntry(entry);
            } else {
                SelectSlot(SlotArea(slot));
            }
        });
        return true;
    }
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        activate();
        return true;
    case QEvent::ContextMenu:
        if (part == TPart::HourLabel)
            return false;
        Q_EMIT ContextMenuRequested(static_cast<QContextMenuEvent *>(event)->globalPos());
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
        // The entry that was dragged, found by its key (it may be gone by now).
        Q_EMIT EntryMoved(EntryOfKey(drop->mimeData()->data(kEntryMime).toInt()), slot);
        return true;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        const bool vertical = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
        const int next = slot + (key->key() == Qt::Key_Up ? -1 : 1);
        if (part == TPart::Entry && ctrl && vertical) {
            // The keyboard's way of dragging an entry by one slot.
            Q_EMIT EntryMoved(static_cast<QLabel *>(widget), next);
            return true;
        }
        if (!ctrl && vertical && part != TPart::HourLabel) {
            if (QFrame *area = SlotArea(next)) {
                ZTGuard(TZTRaise::PassThrough, kClickError, [&] {
                    SelectSlot(area);
                    ScrollToSlot(next);
                });
            }
            return true;
        }
        if (key->key() == Qt::Key_Right && part == TPart::SlotArea && !EntriesIn(slot).isEmpty()) {
            ZTGuard(TZTRaise::PassThrough, kClickError, [&] {
                SelectSlot(nullptr);
                SelectEntry(EntriesIn(slot).first());
            });
            return true;
        }
        // Right past the last entry of a crowded slot: its "+N" marker, which Enter opens.
        if (key->key() == Qt::Key_Right && part == TPart::Entry && EntriesIn(slot).endsWith(static_cast<QLabel *>(widget))
            && OverflowCount(slot) > 0) {
            OverflowMarker(slot)->setFocus(Qt::TabFocusReason);
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
