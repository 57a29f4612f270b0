// The calendar panel: its parts and layout, the selection cycle, navigation, the month menu,
// the colour set and the controller's tables. The grids' painting, mouse, keys and
// accessibility live in ZTCalendarPanelGrid.cpp.

#include "ZTCalendarPanel.h"

#include "ZTClock.h"
#include "ZTExceptions.h"

#include <QAction>
#include <QBitmap>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMetaMethod>
#include <QPalette>
#include <QPixmap>
#include <QTextCharFormat>
#include <QToolButton>

#include <algorithm>

namespace {
const QString kInternalError = QStringLiteral("Internal error.");

constexpr int kTitleHeight = 30;
constexpr int kHolderWidth = 47;
constexpr int kButtonTop = 7;
constexpr QSize kButtonSize(20, 15);
constexpr QSize kGlyphSize(8, 6);
constexpr QSize kDefaultSize(399, 144);

// The navigation glyphs, 8 x 6, one text row per picture row ('X' = ink).
const char *const kPrev2[] = {"...X...X", "..XX..XX", ".XXX.XXX", ".XXX.XXX", "..XX..XX", "...X...X"};
const char *const kPrev1[] = {"....X...", "...XX...", "..XXX...", "..XXX...", "...XX...", "....X..."};
const char *const kNext1[] = {"...X....", "...XX...", "...XXX..", "...XXX..", "...XX...", "...X...."};
const char *const kNext2[] = {"X...X...", "XX..XX..", "XXX.XXX.", "XXX.XXX.", "XX..XX..", "X...X..."};

// A black glyph on a transparent ground, from a monochrome bitmap built of the rows.
QPixmap Glyph(const char *const *rows)
{
    uchar bits[kGlyphSize.height()];
    for (int y = 0; y < kGlyphSize.height(); ++y) {
        bits[y] = 0;
        for (int x = 0; x < kGlyphSize.width(); ++x)
            if (rows[y][x] == 'X')
                bits[y] |= uchar(1u << x);
    }
    const QBitmap mask = QBitmap::fromData(kGlyphSize, bits, QImage::Format_MonoLSB);
    QPixmap glyph(kGlyphSize);
    glyph.fill(Qt::black);
    glyph.setMask(mask);
    return glyph;
}

void SetBackground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

void SetForeground(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QFrame *Part(QWidget *parent, const char *name)
{
    auto *part = new QFrame(parent);
    part->setObjectName(QLatin1String(name));
    part->setFrameShape(QFrame::NoFrame);
    part->setAutoFillBackground(true);
    return part;
}

// The first day of the date's month and the last day of the month after it.
void ShownRange(const QDate &date, QDate &first, QDate &last)
{
    first = QDate(date.year(), date.month(), 1);
    const QDate next = first.addMonths(1);
    last = next.addDays(next.daysInMonth() - 1);
}
} // namespace

// ---- Colour set --------------------------------------------------------------------------------

TZTCalendarColors::TZTCalendarColors(TZTCalendarPanel *owner, QObject *parent)
    : QObject(parent), owner_(owner), colors_{clWindow, clWindowText, clActiveCaption, clWhite, clInactiveCaptionText}
{}

TColor TZTCalendarColors::ByIndex(int slot) const
{
    return slot >= 0 && slot < SlotCount ? colors_[slot] : clBlack;
}

void TZTCalendarColors::SetByIndex(int slot, TColor color)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    colors_[slot] = color;
    Apply(slot);
}

void TZTCalendarColors::ApplyAllColors()
{
    for (int slot = 0; slot < SlotCount; ++slot)
        Apply(slot);
}

void TZTCalendarColors::Assign(const QObject *source)
{
    if (const auto *other = qobject_cast<const TZTCalendarColors *>(source)) {
        colors_ = other->colors_;
        return;
    }
    const QString sourceName = source ? QString::fromLatin1(source->metaObject()->className()) : QStringLiteral("nil");
    throw EConvertError(
        QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, QString::fromLatin1(metaObject()->className())));
}

QColor TZTCalendarColors::Resolve(TColor color)
{
    return QColor::fromRgb(ZTColorToRgb(color));
}

void TZTCalendarColors::Apply(int slot)
{
    if (owner_)
        owner_->ApplyColor(slot, Resolve(colors_[slot]));
}

void ZTApplyPickerColors(QDateEdit *picker, const TZTCalendarColors &colors)
{
    QCalendarWidget *calendar = picker ? picker->calendarWidget() : nullptr;
    if (!calendar)
        return;
    const QColor back = TZTCalendarColors::Resolve(colors.BackColor());
    const QColor titleBack = TZTCalendarColors::Resolve(colors.TitleBackColor());
    QPalette palette = calendar->palette();
    palette.setColor(QPalette::Window, TZTCalendarColors::Resolve(clWindow));
    palette.setColor(QPalette::Base, back);
    palette.setColor(QPalette::AlternateBase, back);
    palette.setColor(QPalette::Text, TZTCalendarColors::Resolve(colors.TextColor()));
    // The calendar draws the days of the neighbouring months in the disabled text colour.
    palette.setColor(QPalette::Disabled, QPalette::Text, TZTCalendarColors::Resolve(colors.TrailingTextColor()));
    palette.setColor(QPalette::Highlight, titleBack);
    palette.setColor(QPalette::HighlightedText, TZTCalendarColors::Resolve(colors.TitleTextColor()));
    calendar->setPalette(palette);
    QTextCharFormat header;
    header.setForeground(titleBack);
    header.setBackground(back);
    calendar->setHeaderTextFormat(header);
    // No weekend colouring of its own: every day takes the colours above.
    for (int day = Qt::Monday; day <= Qt::Sunday; ++day)
        calendar->setWeekdayTextFormat(Qt::DayOfWeek(day), QTextCharFormat());
}

// ---- Controller ----------------------------------------------------------------------------------

TZTCalendarCtrl::TZTCalendarCtrl(TZTCalendarPanel *panel) : panel_(panel)
{
    for (auto &weeks : weekTable_)
        weeks.fill(-1);
}

void TZTCalendarCtrl::RegisterGrids(TZTCalendar *left, TZTCalendar *right)
{
    grids_ = {left, right};
}

TDateTime TZTCalendarCtrl::Day(int grid, int col, int row) const
{
    if (col < 1 || col >= ColCount || row < 1 || row >= RowCount)
        return 0;
    return dayTable_[grid & 1][row][col];
}

int TZTCalendarCtrl::Week(int grid, int row) const
{
    return row >= 1 && row < RowCount ? weekTable_[grid & 1][row] : -1;
}

bool TZTCalendarCtrl::InOwnMonth(int grid, TDateTime date) const
{
    if (date == 0)
        return false;
    const QDate day = DateTimeToQDate(date);
    const TZTShownMonth &month = shown_[grid & 1];
    return day.month() == month.Month && day.year() == month.Year;
}

QString TZTCalendarCtrl::CellText(int grid, int col, int row) const
{
    if (row == 0)
        return col >= 1 && col < ColCount ? QLocale::system().standaloneDayName(col, QLocale::ShortFormat) : QString();
    if (col == 0) {
        const int week = Week(grid, row);
        return week < 0 ? QString() : QString::number(week);
    }
    const TDateTime date = Day(grid, col, row);
    return date == 0 ? QString() : QString::number(DateTimeToQDate(date).day());
}

bool TZTCalendarCtrl::FindDay(int grid, TDateTime date, int &col, int &row) const
{
    const std::int64_t day = DayNumber(date);
    for (int r = 1; r < RowCount; ++r)
        for (int c = 1; c < ColCount; ++c) {
            const TDateTime cell = dayTable_[grid & 1][r][c];
            if (cell != 0 && DayNumber(cell) == day) {
                col = c;
                row = r;
                return true;
            }
        }
    return false;
}

bool TZTCalendarCtrl::SelectCell(int grid, int col, int row)
{
    if (filling_)
        return true;
    const TDateTime date = Day(grid, col, row);
    if (!InOwnMonth(grid, date))
        return false;
    return panel_->SelectDate(date);
}

void TZTCalendarCtrl::SetSelectedDate(TDateTime date)
{
    selected_ = date;
    const TZTCivilDate day = ZTCivilFromDays(DayNumber(date));
    shown_[0] = {day.Month, int(day.Year)};
    shown_[1] = day.Month == 12 ? TZTShownMonth{1, int(day.Year) + 1} : TZTShownMonth{day.Month + 1, int(day.Year)};
    Fill(0);
    Fill(1);
    panel_->UpdateTitles();
}

void TZTCalendarCtrl::Fill(int grid)
{
    const TZTShownMonth &month = shown_[grid];
    const std::int64_t first = ZTDaysFromCivil(month.Year, month.Month, 1);
    const std::int64_t last = first + ZTDaysInMonth(month.Year, month.Month) - 1;
    const std::int64_t selected = DayNumber(selected_);
    std::int64_t day = first + 1 - ZTIsoWeekday(first);
    for (int row = 1; row < RowCount; ++row) {
        const int week = ZTIsoWeek(day);
        bool anyShown = false;
        for (int col = 1; col < ColCount; ++col, ++day) {
            const bool shown = grid == 0 ? day <= last : day >= first;
            const TDateTime date = shown ? DayToDateTime(day) : 0;
            dayTable_[grid][row][col] = date;
            anyShown = anyShown || shown;
            if (grid == 0 && shown && day == selected && grids_[0]) {
                filling_ = true;
                grids_[0]->MoveCurrent(col, row);
                filling_ = false;
            }
        }
        weekTable_[grid][row] = anyShown ? week : -1;
    }
    if (TZTCalendar *widget = grids_[grid]) {
        widget->update();
        widget->NotifyAccessibleNames();
    }
}

// ---- Panel -------------------------------------------------------------------------------------------

TZTCalendarPanel::TZTCalendarPanel(QWidget *parent) : QWidget(parent)
{
    ctrl_ = std::make_unique<TZTCalendarCtrl>(this);
    colors_ = new TZTCalendarColors(this, this);
    colors_->setObjectName(QStringLiteral("Colors"));
    popMonths_ = new QMenu(this);
    popMonths_->setObjectName(QStringLiteral("popMonths"));
    connect(popMonths_, &QMenu::aboutToShow, this, &TZTCalendarPanel::popMonthsPopup);
    connect(popMonths_, &QMenu::triggered, this, &TZTCalendarPanel::popMonthsClick);

    CreateParts();
    resize(kDefaultSize);
    colors_->ApplyAllColors();
    SetSelectedDate(DateOf(ZTNow()));
}

TZTCalendarPanel::~TZTCalendarPanel()
{
    // The grids read the controller until they are gone, so they go before it does.
    delete pFrame_;
}

void TZTCalendarPanel::CreateParts()
{
    pFrame_ = Part(this, "pFrame");
    pFrame_->setFrameShape(QFrame::Box);
    pFrame_->setFrameShadow(QFrame::Plain);
    pFrame_->setLineWidth(1);
    SetForeground(pFrame_, TZTCalendarColors::Resolve(clWindowFrame));

    static const char *const halfNames[] = {"pLeft", "pRight"};
    static const char *const barNames[] = {"pLeftTitle", "pRightTitle"};
    static const char *const holderNames[] = {"pLeftButtons", "pRightButtons"};
    std::array<TZTCalendar *, 2> grids{};
    for (int k = 0; k < 2; ++k) {
        halves_[k] = Part(pFrame_, halfNames[k]);
        titleBars_[k] = Part(halves_[k], barNames[k]);
        titleBars_[k]->setContextMenuPolicy(Qt::CustomContextMenu);
        QFrame *bar = titleBars_[k];
        connect(bar, &QWidget::customContextMenuRequested, this,
                [this, bar](const QPoint &pos) { pTitleContextPopup(bar, pos); });
        holders_[k] = Part(titleBars_[k], holderNames[k]);
        titles_[k] = new QLabel(titleBars_[k]);
        titles_[k]->setObjectName(QStringLiteral("lblMonth%1").arg(k));
        titles_[k]->setAlignment(Qt::AlignCenter);
        titles_[k]->setAutoFillBackground(true);
        grids[k] = new TZTCalendar(this, ctrl_.get(), k, halves_[k]);
        grids[k]->setObjectName(QStringLiteral("Grid%1").arg(k));
    }
    buttons_[PrevYearButton] = CreateButton(holders_[0], "cmdPrevYear", 5, kPrev2);
    buttons_[PrevMonthButton] = CreateButton(holders_[0], "cmdPrevMonth", 27, kPrev1);
    buttons_[NextMonthButton] = CreateButton(holders_[1], "cmdNextMonth", 0, kNext1);
    buttons_[NextYearButton] = CreateButton(holders_[1], "cmdNextYear", 22, kNext2);
    SetPrevYearHint(QStringLiteral("Previous year"));
    SetPrevMonthHint(QStringLiteral("Previous month"));
    SetNextMonthHint(QStringLiteral("Next month"));
    SetNextYearHint(QStringLiteral("Next year"));
    connect(buttons_[PrevYearButton], &QToolButton::clicked, this, &TZTCalendarPanel::cmdPrevYearClick);
    connect(buttons_[PrevMonthButton], &QToolButton::clicked, this, &TZTCalendarPanel::cmdPrevMonthClick);
    connect(buttons_[NextMonthButton], &QToolButton::clicked, this, &TZTCalendarPanel::cmdNextMonthClick);
    connect(buttons_[NextYearButton], &QToolButton::clicked, this, &TZTCalendarPanel::cmdNextYearClick);

    ctrl_->RegisterGrids(grids[0], grids[1]);
    setFocusProxy(grids[0]);
    setTabOrder(grids[0], grids[1]);
}

QToolButton *TZTCalendarPanel::CreateButton(QWidget *holder, const char *name, int left, const char *const *glyph)
{
    auto *button = new QToolButton(holder);
    button->setObjectName(QLatin1String(name));
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(QIcon(Glyph(glyph)));
    button->setIconSize(kGlyphSize);
    button->setGeometry(QRect(QPoint(left, kButtonTop), kButtonSize));
    return button;
}

void TZTCalendarPanel::LayoutParts()
{
    pFrame_->setGeometry(rect());
    const QRect client = pFrame_->contentsRect();
    const int halfWidth = std::max(0, pFrame_->width() / 2 - 2);
    const int barHeight = std::min(kTitleHeight, std::max(0, client.height()));
    const int holderWidth = std::min(kHolderWidth, halfWidth);
    for (int k = 0; k < 2; ++k) {
        const int left = k == 0 ? client.left() : client.right() + 1 - halfWidth;
        halves_[k]->setGeometry(left, client.top(), halfWidth, std::max(0, client.height()));
        titleBars_[k]->setGeometry(0, 0, halfWidth, barHeight);
        holders_[k]->setGeometry(k == 0 ? 0 : halfWidth - holderWidth, 0, holderWidth, barHeight);
        titles_[k]->setGeometry(k == 0 ? holderWidth : 0, 0, halfWidth - holderWidth, barHeight);
        Grid(k)->setGeometry(0, barHeight, halfWidth, std::max(0, client.height() - barHeight));
    }
}

void TZTCalendarPanel::resizeEvent(QResizeEvent *event)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { LayoutParts(); });
    QWidget::resizeEvent(event);
}

void TZTCalendarPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { UpdateTitles(); });
    QWidget::changeEvent(event);
}

QSize TZTCalendarPanel::sizeHint() const
{
    return kDefaultSize;
}

QSize TZTCalendarPanel::minimumSizeHint() const
{
    return {2 * (kHolderWidth + 2) + 6, kTitleHeight + 2 + TZTCalendarCtrl::RowCount * 8};
}

QString TZTCalendarPanel::MonthTitle(int month, int year)
{
    return QLocale::system().standaloneMonthName(month, QLocale::LongFormat) + QLatin1Char(' ')
           + QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
}

void TZTCalendarPanel::UpdateTitles()
{
    QFont bold = font();
    bold.setBold(true);
    bold.setItalic(false);
    bold.setUnderline(false);
    bold.setStrikeOut(false);
    for (int k = 0; k < 2; ++k) {
        const TZTShownMonth month = ctrl_->ShownMonth(k);
        titles_[k]->setFont(bold);
        titles_[k]->setText(MonthTitle(month.Month, month.Year));
    }
}

void TZTCalendarPanel::ApplyColor(int slot, const QColor &color)
{
    switch (slot) {
    case TZTCalendarColors::BackSlot:
        for (int k = 0; k < 2; ++k) {
            SetBackground(halves_[k], color);
            SetBackground(Grid(k), color);
        }
        SetBackground(pFrame_, color);
        break;
    case TZTCalendarColors::TitleBackSlot:
        for (int k = 0; k < 2; ++k) {
            SetBackground(titleBars_[k], color);
            SetBackground(holders_[k], color);
            SetBackground(titles_[k], color);
        }
        SetBackground(pFrame_, color);
        break;
    case TZTCalendarColors::TitleTextSlot:
        for (QLabel *title : titles_)
            SetForeground(title, color);
        break;
    default: // text and trailing text are read while painting
        break;
    }
    for (int k = 0; k < 2; ++k)
        Grid(k)->update();
}

// ---- Selection -------------------------------------------------------------------------------------

TDateTime TZTCalendarPanel::SelectedDate() const
{
    return ctrl_->SelectedDate();
}

void TZTCalendarPanel::SetSelectedDate(TDateTime date)
{
    SelectDate(date);
}

bool TZTCalendarPanel::SelectDate(TDateTime date)
{
    const QDate day = DateTimeToQDate(date);
    if (!day.isValid())
        return false; // beyond the dates the calendar can show: nothing changes
    // Handlers are called through copies, so a handler may replace itself while it runs.
    if (onSelectDate_) {
        bool canSelect = true;
        const TZTOnSelectDateEvent handler = onSelectDate_;
        handler(this, date, canSelect);
        if (!canSelect)
            return false;
    }
    QDate first, last;
    ShownRange(day, first, last);
    // Exceptions of the host's receivers reach the caller (direct connections only).
    Q_EMIT OnUpdate(QDateToDateTime(first), QDateToDateTime(last));
    ctrl_->SetSelectedDate(date);
    Q_EMIT OnDateSelected(date);
    return true;
}

bool TZTCalendarPanel::DblClickWanted() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&TZTCalendarPanel::OnDblClickSelectedDate));
}

void TZTCalendarPanel::GoToToday()
{
    SetSelectedDate(DateOf(ZTNow()));
}

void TZTCalendarPanel::MoveMonths(int months)
{
    const TDateTime selected = SelectedDate();
    const QDate moved = DateTimeToQDate(selected).addMonths(months);
    if (moved.isValid())
        SetSelectedDate(ComposeDateTime(QDateToDateTime(moved), selected));
}

void TZTCalendarPanel::SelectMonth(int month)
{
    if (month < 1 || month > 12)
        return;
    const TDateTime selected = SelectedDate();
    const QDate day = DateTimeToQDate(selected);
    const QDate first(day.year(), month, 1);
    const QDate chosen(day.year(), month, std::min(day.day(), first.daysInMonth()));
    SetSelectedDate(ComposeDateTime(QDateToDateTime(chosen), selected));
}

void TZTCalendarPanel::SetOnGetMonthInfo(TZTOnGetMonthInfoEvent handler)
{
    ctrl_->OnGetMonthInfo = std::move(handler);
}

const TZTOnGetMonthInfoEvent &TZTCalendarPanel::OnGetMonthInfo() const
{
    return ctrl_->OnGetMonthInfo;
}

// ---- Hints ---------------------------------------------------------------------------------------------

QString TZTCalendarPanel::Hint(int index) const
{
    return index >= 0 && index < int(buttons_.size()) ? buttons_[index]->toolTip() : QString();
}

void TZTCalendarPanel::SetHint(int index, const QString &hint)
{
    if (index < 0 || index >= int(buttons_.size()))
        return;
    buttons_[index]->setToolTip(hint);
    buttons_[index]->setAccessibleName(hint);
}

// ---- Handlers ------------------------------------------------------------------------------------------

void TZTCalendarPanel::cmdPrevYearClick()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { MoveMonths(-12); });
}

void TZTCalendarPanel::cmdPrevMonthClick()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { MoveMonths(-1); });
}

void TZTCalendarPanel::cmdNextMonthClick()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { MoveMonths(1); });
}

void TZTCalendarPanel::cmdNextYearClick()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { MoveMonths(12); });
}

void TZTCalendarPanel::pTitleContextPopup(QWidget *bar, const QPoint &pos)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] { popMonths_->popup(bar->mapToGlobal(pos)); });
}

void TZTCalendarPanel::popMonthsPopup()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        popMonths_->clear();
        const QLocale locale = QLocale::system();
        for (int month = 1; month <= 12; ++month) {
            QString name = locale.standaloneMonthName(month, QLocale::LongFormat);
            name.replace(QLatin1Char('&'), QStringLiteral("&&"));
            popMonths_->addAction(name)->setData(month);
        }
    });
}

void TZTCalendarPanel::popMonthsClick(QAction *action)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] { SelectMonth(action->data().toInt()); });
}
