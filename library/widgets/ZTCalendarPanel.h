#pragma once
// The two-month calendar control. The left half shows the month of the selected date, the
// right half the month after it; each half has a title bar (month name and year, two
// navigation buttons, the month menu as context menu) and a day grid of seven weekday
// columns, Monday first, behind a column of ISO 8601 week numbers. The host marks days bold
// (OnGetMonthInfo, answered from marks it prepares in OnUpdate), and learns about selections
// (OnSelectDate may refuse one, OnDateSelected follows it) and double clicks on a day.
//
// Writing SelectedDate is the one way the selection changes, and it always runs the whole
// cycle: ask OnSelectDate, tell OnUpdate the range about to be shown, fill the day tables,
// set the titles, tell OnDateSelected. Hosts refresh the control by writing the date it
// already has.
//
// Parts, by object name (tests and the accessibility tree find them by these):
//   pFrame                         outer frame; its colour shows in the strip between the halves
//   pLeft, pRight                  the two halves
//   pLeftTitle, pRightTitle        title bars; their context menu is popMonths
//   pLeftButtons, pRightButtons    the button holders of the title bars
//   cmdPrevYear, cmdPrevMonth      navigation buttons of the left bar (QToolButton)
//   cmdNextMonth, cmdNextYear      navigation buttons of the right bar
//   lblMonth0, lblMonth1           month titles of the left and the right half
//   Grid0, Grid1                   the day grids (TZTCalendar), left and right
//   popMonths                      the month menu (QMenu), rebuilt each time it opens
//
// Keyboard (on a grid): the arrow keys move one day or one week, Home and End go to the first
// and last day of the grid's month, Page Up and Page Down move the selection by one month,
// Ctrl+Page Up and Ctrl+Page Down by one year; Enter on the left grid acts as a double click
// on its selected day. Every move of a grid's cell passes through the select-cell rule, so
// greyed and blank cells are never reached. A day chosen in the right grid moves the keyboard
// focus to the left grid, where that day is now shown selected.
//
// Accessibility: each grid is a list whose 42 items are its day cells, named with the full
// date (empty for a blank cell); the press action of an item acts as a click on the cell, and
// the show-menu action opens the host's PopupMenu. The buttons are named by their hints.

#include "ZTDateUtils.h"
#include "ZTSysUtils.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QDateEdit;
class QFrame;
class QLabel;
class QToolButton;
class TZTCalendar;
class TZTCalendarPanel;

using TZTOnGetMonthInfoEvent = std::function<void(TZTCalendarPanel *sender, TDateTime date, bool &bold)>;
using TZTOnSelectDateEvent = std::function<void(TZTCalendarPanel *sender, TDateTime date, bool &canSelect)>;

// ---- Colour set ------------------------------------------------------------------------------
// Five colours in the 32-bit form of the preferences (plain RGB or a system-colour reference,
// resolved with ZTColorToRgb when applied and when painting), addressed by slot:
//   0 BackColor          halves, outer frame, grids, cell backgrounds
//   1 TextColor          day numbers of a grid's own month
//   2 TitleBackColor     title bars, button holders, titles, outer frame, selected cell,
//                        weekday and week-number text
//   3 TitleTextColor     title text, selected cell text
//   4 TrailingTextColor  day numbers outside a grid's own month
// A set that belongs to a panel applies each colour to the panel's parts when it is written;
// a set without a panel only stores its values.
class TZTCalendarColors : public QObject {
    Q_OBJECT
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(quint32 TextColor READ TextColor WRITE SetTextColor)
    Q_PROPERTY(quint32 TitleBackColor READ TitleBackColor WRITE SetTitleBackColor)
    Q_PROPERTY(quint32 TitleTextColor READ TitleTextColor WRITE SetTitleTextColor)
    Q_PROPERTY(quint32 TrailingTextColor READ TrailingTextColor WRITE SetTrailingTextColor)

public:
    static constexpr int SlotCount = 5;
    enum TSlot { BackSlot = 0, TextSlot = 1, TitleBackSlot = 2, TitleTextSlot = 3, TrailingTextSlot = 4 };

    explicit TZTCalendarColors(TZTCalendarPanel *owner = nullptr, QObject *parent = nullptr);

    TColor BackColor() const { return colors_[BackSlot]; }
    TColor TextColor() const { return colors_[TextSlot]; }
    TColor TitleBackColor() const { return colors_[TitleBackSlot]; }
    TColor TitleTextColor() const { return colors_[TitleTextSlot]; }
    TColor TrailingTextColor() const { return colors_[TrailingTextSlot]; }
    void SetBackColor(TColor color) { SetByIndex(BackSlot, color); }
    void SetTextColor(TColor color) { SetByIndex(TextSlot, color); }
    void SetTitleBackColor(TColor color) { SetByIndex(TitleBackSlot, color); }
    void SetTitleTextColor(TColor color) { SetByIndex(TitleTextSlot, color); }
    void SetTrailingTextColor(TColor color) { SetByIndex(TrailingTextSlot, color); }

    // The colour of a slot; clBlack for a slot outside 0 .. 4.
    TColor ByIndex(int slot) const;
    // Stores the colour of a slot, applies it to the panel's parts and repaints both grids.
    // A slot outside 0 .. 4 is ignored.
    void SetByIndex(int slot, TColor color);
    // Applies slots 0 to 4 in order (so the outer frame ends in TitleBackColor).
    void ApplyAllColors();
    // Copies the five values of another colour set without applying them (ApplyAllColors
    // shows them). Any other source raises EConvertError "Cannot assign a %s to a %s".
    void Assign(const QObject *source);

    // A slot's colour resolved for painting.
    static QColor Resolve(TColor color);

private:
    void Apply(int slot);

    TZTCalendarPanel *owner_;
    std::array<TColor, SlotCount> colors_;
};

// Colours the drop-down month calendar of a date picker from a colour set: the calendar's own
// background the system window colour, the day area BackColor, day text TextColor, the
// navigation bar and the selected day TitleBackColor with TitleTextColor, weekday and
// week-number headers in TitleBackColor, days of the neighbouring months TrailingTextColor.
// Does nothing for a picker without a calendar pop-up.
void ZTApplyPickerColors(QDateEdit *picker, const TZTCalendarColors &colors);

// ---- Controller --------------------------------------------------------------------------------
// The month and year a grid shows.
struct TZTShownMonth {
    int Month = 0;
    int Year = 0;
};

// The tables behind both grids and the rules that work on them; the grids paint from here.
// Cells are addressed by grid index (0 left, 1 right), column (1 .. 7, Monday first) and row
// (1 .. 6); column 0 holds the week numbers and row 0 the weekday names.
class TZTCalendarCtrl {
public:
    static constexpr int ColCount = 8;
    static constexpr int RowCount = 7;

    explicit TZTCalendarCtrl(TZTCalendarPanel *panel);

    void RegisterGrids(TZTCalendar *left, TZTCalendar *right);
    TZTCalendar *Grid(int index) const { return grids_[index & 1]; }

    // The date of a day cell, 0 for a blank cell or a position outside the day cells.
    TDateTime Day(int grid, int col, int row) const;
    // The ISO week number of a row, -1 for a row without dates (or outside rows 1 .. 6).
    int Week(int grid, int row) const;
    TDateTime SelectedDate() const { return selected_; }
    TZTShownMonth ShownMonth(int grid) const { return shown_[grid & 1]; }
    // True while a fill moves the left grid's current cell onto the selected date.
    bool Filling() const { return filling_; }

    // Whether the date lies in the month the grid shows (a blank cell never does).
    bool InOwnMonth(int grid, TDateTime date) const;
    // The text of a cell: weekday name, week number, day of the month, or empty.
    QString CellText(int grid, int col, int row) const;
    // The cell of a grid that shows the date; false when none does.
    bool FindDay(int grid, TDateTime date, int &col, int &row) const;

    // Asked before a grid's current cell moves. While filling: allowed. Otherwise refused for
    // the weekday row, the week column, a blank cell and a date outside the grid's own month;
    // else the cell's date is written to SelectedDate, and the move is allowed when that
    // selection went through (a date OnSelectDate refuses leaves the current cell as it is).
    bool SelectCell(int grid, int col, int row);

    // The state part of the selection cycle: store the date, the two shown months, fill both
    // grids' tables (repainting each) and set the titles.
    void SetSelectedDate(TDateTime date);

    // A copy of the panel's handler, asked for every day cell painted.
    TZTOnGetMonthInfoEvent OnGetMonthInfo;

private:
    void Fill(int grid);

    TZTCalendarPanel *panel_;
    std::array<TZTCalendar *, 2> grids_{};
    // [grid][row][col]; row 0 and column 0 stay zero.
    std::array<std::array<std::array<TDateTime, ColCount>, RowCount>, 2> dayTable_{};
    // [grid][row]; row 0 unused.
    std::array<std::array<int, RowCount>, 2> weekTable_{};
    TDateTime selected_ = 0;
    std::array<TZTShownMonth, 2> shown_{};
    bool filling_ = false;
};

// ---- Day grid ------------------------------------------------------------------------------------
// One custom-painted widget for the 8 x 7 cells of a month; no child widgets.
class TZTCalendar : public QWidget {
    Q_OBJECT

public:
    TZTCalendar(TZTCalendarPanel *panel, TZTCalendarCtrl *ctrl, int index, QWidget *parent);

    int Index() const { return index_; }
    TZTCalendarPanel *Panel() const { return panel_; }
    // The current cell (the focused one; on the left grid the selected day).
    int Col() const { return col_; }
    int Row() const { return row_; }
    // Moves the current cell when the select-cell rule allows it; true when allowed.
    bool MoveCurrent(int col, int row);
    // Acts as a left click on a cell: the select-cell rule for a day cell.
    bool ClickCell(int col, int row);

    int ColWidth() const { return width() / TZTCalendarCtrl::ColCount; }
    int RowHeight() const { return height() / TZTCalendarCtrl::RowCount; }
    QRect CellRect(int col, int row) const;
    // The cell under a point of the widget; false outside the cells.
    bool CellAt(const QPoint &pos, int &col, int &row) const;
    // Full date text of a day cell (the accessible name); empty for a blank cell.
    QString CellName(int col, int row) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class TZTCalendarCtrl;
    void PaintCells(const QRect &area);
    // The font of the day names: the grid's, or a smaller one in which the widest name fits.
    QFont HeaderFont(const QFont &normal) const;
    bool HandleKey(const QKeyEvent *event);
    // Moves by whole days from the current cell, within the grid's cells.
    bool MoveBy(int days);
    // The double-click action on the left grid's cell: select, then tell the host.
    void DblClickCell(int col, int row);
    // After a move made by the user in the right grid: the focus goes to the left grid.
    void HandFocusToLeft();
    void NotifyAccessibleFocus();
    void NotifyAccessibleNames();

    TZTCalendarPanel *panel_;
    TZTCalendarCtrl *ctrl_;
    int index_;
    int col_ = 1;
    int row_ = 1;
};

// ---- Panel -----------------------------------------------------------------------------------------
class TZTCalendarPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString NextMonthHint READ NextMonthHint WRITE SetNextMonthHint)
    Q_PROPERTY(QString NextYearHint READ NextYearHint WRITE SetNextYearHint)
    Q_PROPERTY(QString PrevYearHint READ PrevYearHint WRITE SetPrevYearHint)
    Q_PROPERTY(QString PrevMonthHint READ PrevMonthHint WRITE SetPrevMonthHint)
    Q_PROPERTY(double SelectedDate READ SelectedDate WRITE SetSelectedDate)

public:
    // Hint indexes of the navigation buttons.
    enum THint { PrevYearButton = 0, PrevMonthButton = 1, NextMonthButton = 2, NextYearButton = 3 };

    explicit TZTCalendarPanel(QWidget *parent = nullptr);
    ~TZTCalendarPanel() override;

    // ---- Selection ----
    TDateTime SelectedDate() const;
    // The selection cycle, in full on every write (also of the date already selected).
    void SetSelectedDate(TDateTime date);
    // As SetSelectedDate; false when OnSelectDate refused the date (nothing changed then).
    bool SelectDate(TDateTime date);
    // SelectedDate = today (from the program's clock).
    void GoToToday();
    // The selected date moved by whole months (a missing day becomes the month's last day);
    // the four buttons move by -12, -1, +1 and +12.
    void MoveMonths(int months);
    // The selected date with its month replaced (the day clamped to the month's length).
    void SelectMonth(int month);

    // ---- Colours ----
    TZTCalendarColors &Colors() { return *colors_; }
    const TZTCalendarColors &Colors() const { return *colors_; }

    // ---- Navigation button hints (tool tip and accessible name) ----
    QString Hint(int index) const;
    void SetHint(int index, const QString &hint);
    QString PrevYearHint() const { return Hint(PrevYearButton); }
    QString PrevMonthHint() const { return Hint(PrevMonthButton); }
    QString NextMonthHint() const { return Hint(NextMonthButton); }
    QString NextYearHint() const { return Hint(NextYearButton); }
    void SetPrevYearHint(const QString &hint) { SetHint(PrevYearButton, hint); }
    void SetPrevMonthHint(const QString &hint) { SetHint(PrevMonthButton, hint); }
    void SetNextMonthHint(const QString &hint) { SetHint(NextMonthButton, hint); }
    void SetNextYearHint(const QString &hint) { SetHint(NextYearButton, hint); }

    // ---- The host's menu for right-clicks on the days (not owned) ----
    QMenu *PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu *menu) { popupMenu_ = menu; }

    // ---- The two questions to the host (answered through the out-parameter) ----
    void SetOnGetMonthInfo(TZTOnGetMonthInfoEvent handler);
    void SetOnSelectDate(TZTOnSelectDateEvent handler) { onSelectDate_ = std::move(handler); }
    const TZTOnGetMonthInfoEvent &OnGetMonthInfo() const;
    const TZTOnSelectDateEvent &OnSelectDate() const { return onSelectDate_; }
    // Whether anything listens to OnDblClickSelectedDate (Enter on a day is a double click
    // only then; otherwise the key goes on to the window).
    bool DblClickWanted() const;

Q_SIGNALS:
    // The range of days about to be shown (the host prepares its marks for OnGetMonthInfo).
    void OnUpdate(TDateTime startDate, TDateTime endDate);
    // A date was selected (after the days were filled).
    void OnDateSelected(TDateTime date);
    // A double click (or Enter) on a day of the left grid, after it was selected.
    void OnDblClickSelectedDate(TDateTime date);

public:
    // ---- Parts ----
    const TZTCalendarCtrl &Controller() const { return *ctrl_; }
    TZTCalendar *Grid(int index) const { return ctrl_->Grid(index); }
    // "mmmm yyyy": the locale's long month name and the four-digit year.
    static QString MonthTitle(int month, int year);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void cmdPrevYearClick();
    void cmdPrevMonthClick();
    void cmdNextMonthClick();
    void cmdNextYearClick();
    void popMonthsPopup();
    void popMonthsClick(QAction *action);

private:
    friend class TZTCalendarColors;
    friend class TZTCalendarCtrl;

    // ---- Building and layout ----
    void CreateParts();
    QToolButton *CreateButton(QWidget *holder, const char *name, int left, const char *const *glyph);
    void LayoutParts();
    void pTitleContextPopup(QWidget *bar, const QPoint &pos);
    // Sets the titles' texts and fonts from the shown months.
    void UpdateTitles();
    // Colours the parts of one slot (TZTCalendarColors::SetByIndex).
    void ApplyColor(int slot, const QColor &color);

    // ---- State ----
    std::unique_ptr<TZTCalendarCtrl> ctrl_;
    TZTCalendarColors *colors_ = nullptr;
    QMenu *popMonths_ = nullptr;
    QPointer<QMenu> popupMenu_;
    QFrame *pFrame_ = nullptr;
    std::array<QFrame *, 2> halves_{};
    std::array<QFrame *, 2> titleBars_{};
    std::array<QFrame *, 2> holders_{};
    std::array<QLabel *, 2> titles_{};
    std::array<QToolButton *, 4> buttons_{};

    TZTOnSelectDateEvent onSelectDate_;
};
