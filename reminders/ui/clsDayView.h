#pragma once
// The day view: 48 half-hour rows for one date, coloured by the work week and the working hours,
// with one entry per reminder of that date in the slot of its time. It owns its rows, the entry
// controls (kept from one rebuild to the next and reused), the entries that wait for room, and
// the selection; what the user does with them it reports through signals, and the main window
// turns those into commands on the store.
//
// A rebuild: BeginRebuild, Place for each reminder of the date, EndRebuild. Controls that stay
// in use are only re-labelled; only the ones no longer needed are hidden.

#include "ZTDateUtils.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TRepresentation;
class QToolButton;

class TVNTRDayView : public QScrollArea {
    Q_OBJECT

public:
    static constexpr int SlotCount = 48;
    static constexpr int RowHeight = 20;
    static constexpr int HourLabelWidth = 80;
    static constexpr int EntryWidth = 200;
    static constexpr int GapWidth = 5;
    static constexpr int GapTag = -1000;

    explicit TVNTRDayView(QWidget *parent = nullptr);
    ~TVNTRDayView() override;

    // Makes the 48 rows the first time (scrolled to the end of the working hours once the view
    // is shown); afterwards recolours the slots and entries for the date and the preferences.
    void BuildOrRecolour(TDateTime date);

    // ---- Rebuild ----
    // Starts placing the entries of a new date: the selection is dropped, nothing is hidden yet.
    void BeginRebuild();
    // Shows the representation's entry in a slot. Only as many entries as the slot's visible
    // width can show get controls (and, when `always`, this one in any case); the others wait
    // in the slot's overflow, behind its "+N" marker, until the view grows wider.
    void Place(const std::shared_ptr<TRepresentation> &representation, int key, int slot, bool always = false);
    // Hides the controls this rebuild did not use. Runs also when the rebuild failed midway.
    void EndRebuild();

    // ---- Slots, entries, selection ----
    QFrame *SlotArea(int slot) const;
    // The slot of the half hour that holds the time (0 .. 47).
    static int SlotOfTime(TDateTime time);
    // The slot a control of the view stands for (-1 for anything else).
    int SlotOf(const QWidget *control) const;
    // The entries currently placed in a slot, left to right.
    QList<QLabel *> EntriesIn(int slot) const;
    // How many entries wait in a slot's overflow.
    int OverflowCount(int slot) const;
    // The "+N" marker of a slot (hidden when nothing waits).
    QToolButton *OverflowMarker(int slot) const;
    // Gives the waiting entry at `index` of a slot's overflow its control and selects it.
    QLabel *ShowOverflowEntry(int slot, int index);
    // The key a placed entry carries (-1 when none).
    static int KeyOf(const QLabel *entry);
    QLabel *EntryOfKey(int key) const;

    QFrame *SelectedSlot() const { return selectedSlot_; }
    QLabel *SelectedEntry() const { return selectedEntry_; }
    void SelectEntry(QLabel *entry);
    void SelectSlot(QFrame *slotArea);
    void ScrollToSlot(int slot);

Q_SIGNALS:
    // A double click or Enter on an entry, or on a slot (or its hour label).
    void EntryActivated(QLabel *entry);
    void SlotActivated(int slot);
    // An entry dropped on a slot, or moved there by Ctrl+Up/Down.
    void EntryMoved(QLabel *entry, int slot);
    // The selected entry or slot changed.
    void SelectionChanged();
    // A click in the view (the list loses its selection).
    void Pressed();
    // The context menu was asked for at a global position.
    void ContextMenuRequested(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class TPart { None, HourLabel, SlotArea, Entry, Gap };
    TPart PartOf(const QObject *object) const;
    bool ControlEvent(QWidget *widget, TPart part, QEvent *event);
    void MakeEntry(TRepresentation &representation, int key, int slot);
    int EntryCapacity() const;
    void ColourSlot(int slot, TDateTime date);
    void PaintSlot(QFrame *slotArea, std::uint32_t rgb);
    void UpdateOverflowMarker(int slot);
    void PlaceOverflowMarker(int slot);
    void OpenOverflow(int slot);
    void Relayout();

    QWidget *content_ = nullptr;
    std::vector<QFrame *> rows_;
    std::vector<QLabel *> hourLabels_;
    std::vector<QFrame *> slotAreas_;
    std::vector<QToolButton *> markers_;
    // The entry and gap controls of each slot, kept from one rebuild to the next and reused.
    // usedEntries_[i] of them stand in slot i now; shownEntries_[i] are visible (the ones past
    // the used count are hidden when the rebuild ends).
    struct TSlotEntry {
        QLabel *Entry;
        QFrame *Gap;
    };
    std::vector<std::vector<TSlotEntry>> entryPool_;
    std::vector<int> usedEntries_;
    std::vector<int> shownEntries_;
    // Per slot, the placed reminders beyond what its width shows, in placing order.
    std::vector<std::vector<std::pair<std::shared_ptr<TRepresentation>, int>>> overflow_;
    QPointer<QFrame> selectedSlot_;
    QPointer<QLabel> selectedEntry_;
    std::uint32_t selectedSlotColour_ = 0;
    bool rebuilding_ = false;
    // The scroll to the end of the working hours waits until the view is shown at its size.
    bool scrollPending_ = false;
};
