// The day grids of the calendar panel: painting from the controller's tables, the select-cell
// rule for mouse and keys, the double click of the left grid, the host's context menu, and the
// accessibility tree (a list of day cells named with their full dates).

#include "ZTCalendarPanel.h"

#include "ZTClock.h"
#include "ZTExceptions.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {
const QString kInternalError = QStringLiteral("Internal error.");

constexpr int kDayCols = TZTCalendarCtrl::ColCount - 1;
constexpr int kDayRows = TZTCalendarCtrl::RowCount - 1;
constexpr int kDayCells = kDayCols * kDayRows;

int CellIndex(int col, int row)
{
    return (row - 1) * kDayCols + (col - 1);
}

// ---- Accessibility ----

// One day cell: a list item named with the cell's full date.
class TZTCalendarCellAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TZTCalendarCellAccessible(TZTCalendar *grid, int index) : grid_(grid), col_(index % kDayCols + 1), row_(index / kDayCols + 1)
    {}

    bool isValid() const override { return !grid_.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        QAccessibleInterface *owner = parent();
        return owner ? owner->window() : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(grid_.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && grid_ ? grid_->CellName(col_, row_) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!grid_)
            return {};
        const QRect cell = grid_->CellRect(col_, row_);
        return {grid_->mapToGlobal(cell.topLeft()), cell.size()};
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!grid_)
            return state;
        const TZTCalendarCtrl &ctrl = grid_->Panel()->Controller();
        const bool selectable = ctrl.InOwnMonth(grid_->Index(), ctrl.Day(grid_->Index(), col_, row_));
        const bool current = grid_->Col() == col_ && grid_->Row() == row_;
        state.focusable = true;
        state.selectable = selectable;
        state.disabled = !selectable;
        state.selected = grid_->Index() == 0 && current;
        state.focused = current && grid_->hasFocus();
        state.invisible = !grid_->isVisible();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        QStringList names{pressAction()};
        if (grid_ && grid_->Panel()->PopupMenu())
            names << showMenuAction();
        return names;
    }
    void doAction(const QString &name) override
    {
        ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
            if (!grid_)
                return;
            if (name == pressAction()) {
                grid_->ClickCell(col_, row_);
            } else if (name == showMenuAction()) {
                if (QMenu *menu = grid_->Panel()->PopupMenu())
                    menu->popup(grid_->mapToGlobal(grid_->CellRect(col_, row_).center()));
            }
        });
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

    int Index() const { return CellIndex(col_, row_); }
    const TZTCalendar *Grid() const { return grid_.data(); }

private:
    QPointer<TZTCalendar> grid_;
    int col_;
    int row_;
};

// A grid: a list of its 42 day cells, named with its month title.
class TZTCalendarAccessible : public QAccessibleWidget {
public:
    explicit TZTCalendarAccessible(TZTCalendar *grid) : QAccessibleWidget(grid, QAccessible::List) {}
    ~TZTCalendarAccessible() override
    {
        for (QAccessible::Id id : cellIds_)
            if (id)
                QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return kDayCells; }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= kDayCells)
            return nullptr;
        if (!cellIds_[index])
            cellIds_[index] = QAccessible::registerAccessibleInterface(new TZTCalendarCellAccessible(Grid(), index));
        return QAccessible::accessibleInterface(cellIds_[index]);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *cell = dynamic_cast<const TZTCalendarCellAccessible *>(child);
        return cell && cell->Grid() == Grid() ? cell->Index() : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        int col = 0;
        int row = 0;
        if (!Grid()->CellAt(Grid()->mapFromGlobal(QPoint(x, y)), col, row) || col < 1 || row < 1)
            return nullptr;
        return child(CellIndex(col, row));
    }
    QAccessibleInterface *focusChild() const override
    {
        return Grid()->hasFocus() ? child(CellIndex(Grid()->Col(), Grid()->Row())) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) {
            const TZTShownMonth month = Grid()->Panel()->Controller().ShownMonth(Grid()->Index());
            text = TZTCalendarPanel::MonthTitle(month.Month, month.Year);
        }
        return text;
    }

private:
    TZTCalendar *Grid() const { return static_cast<TZTCalendar *>(widget()); }

    mutable std::array<QAccessible::Id, kDayCells> cellIds_{};
};

QAccessibleInterface *CalendarAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TZTCalendar"))
        if (auto *grid = qobject_cast<TZTCalendar *>(object))
            return new TZTCalendarAccessible(grid);
    return nullptr;
}
} // namespace

// ---- Grid ------------------------------------------------------------------------------------------

TZTCalendar::TZTCalendar(TZTCalendarPanel *panel, TZTCalendarCtrl *ctrl, int index, QWidget *parent)
    : QWidget(parent), panel_(panel), ctrl_(ctrl), index_(index)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(CalendarAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TZTCalendar::sizeHint() const
{
    return {197, 112};
}

QSize TZTCalendar::minimumSizeHint() const
{
    return {TZTCalendarCtrl::ColCount * 10, TZTCalendarCtrl::RowCount * 8};
}

QRect TZTCalendar::CellRect(int col, int row) const
{
    return {col * ColWidth(), row * RowHeight(), ColWidth(), RowHeight()};
}

bool TZTCalendar::CellAt(const QPoint &pos, int &col, int &row) const
{
    const int width = ColWidth();
    const int height = RowHeight();
    if (width <= 0 || height <= 0 || pos.x() < 0 || pos.y() < 0)
        return false;
    col = pos.x() / width;
    row = pos.y() / height;
    return col < TZTCalendarCtrl::ColCount && row < TZTCalendarCtrl::RowCount;
}

QString TZTCalendar::CellName(int col, int row) const
{
    const TDateTime date = ctrl_->Day(index_, col, row);
    return date == 0 ? QString() : QLocale::system().toString(DateTimeToQDate(date), QLocale::LongFormat);
}

bool TZTCalendar::MoveCurrent(int col, int row)
{
    if (col < 0 || col >= TZTCalendarCtrl::ColCount || row < 0 || row >= TZTCalendarCtrl::RowCount)
        return false;
    if (!ctrl_->SelectCell(index_, col, row))
        return false;
    if (col != col_ || row != row_) {
        col_ = col;
        row_ = row;
        update();
        NotifyAccessibleFocus();
    }
    return true;
}

bool TZTCalendar::ClickCell(int col, int row)
{
    return MoveCurrent(col, row);
}

bool TZTCalendar::MoveBy(int days)
{
    const int target = CellIndex(col_, row_) + days;
    if (target < 0 || target >= kDayCells)
        return false;
    return MoveCurrent(target % kDayCols + 1, target / kDayCols + 1);
}

void TZTCalendar::DblClickCell(int col, int row)
{
    if (index_ != 0 || !panel_->DblClickWanted())
        return;
    if (col < 1 || row < 1 || !MoveCurrent(col, row))
        return;
    Q_EMIT panel_->OnDblClickSelectedDate(panel_->SelectedDate());
}

void TZTCalendar::HandFocusToLeft()
{
    if (index_ == 1 && hasFocus())
        if (TZTCalendar *left = ctrl_->Grid(0))
            left->setFocus(Qt::OtherFocusReason);
}

// ---- Painting ----

QFont TZTCalendar::HeaderFont(const QFont &normal) const
{
    // When the widest day name does not fit its column (a wide font, long names), all names
    // are drawn in one smaller size in which it fits, so that they never run into each other.
    const QFontMetricsF metrics(normal, this);
    qreal widest = 0;
    int narrowest = width();
    for (int col = 1; col < TZTCalendarCtrl::ColCount; ++col) {
        widest = qMax(widest, metrics.horizontalAdvance(ctrl_->CellText(index_, col, 0)));
        narrowest = qMin(narrowest, CellRect(col, 0).width());
    }
    if (widest <= narrowest - 2)
        return normal;
    QFont fitted = normal;
    const qreal scale = qMax(1, narrowest - 4) / widest;
    if (normal.pointSizeF() > 0)
        fitted.setPointSizeF(qMax(qreal(5), normal.pointSizeF() * scale));
    else
        fitted.setPixelSize(qMax(5, int(normal.pixelSize() * scale)));
    return fitted;
}

void TZTCalendar::paintEvent(QPaintEvent *event)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] { PaintCells(event->rect()); });
}

void TZTCalendar::PaintCells(const QRect &area)
{
    const TZTCalendarColors &colors = panel_->Colors();
    const QColor back = TZTCalendarColors::Resolve(colors.BackColor());
    const QColor text = TZTCalendarColors::Resolve(colors.TextColor());
    const QColor titleBack = TZTCalendarColors::Resolve(colors.TitleBackColor());
    const QColor titleText = TZTCalendarColors::Resolve(colors.TitleTextColor());
    const QColor trailing = TZTCalendarColors::Resolve(colors.TrailingTextColor());
    const QColor todayText(255, 0, 0);

    QFont normal = font();
    normal.setBold(false);
    normal.setItalic(false);
    normal.setUnderline(false);
    normal.setStrikeOut(false);
    QFont bold = normal;
    bold.setBold(true);
    const QFontMetrics normalMetrics(normal, this);
    const QFontMetrics boldMetrics(bold, this);
    const QFont header = HeaderFont(normal);
    const QFontMetricsF headerMetrics(header, this);
    const std::int64_t today = DayNumber(ZTNow());
    const TZTOnGetMonthInfoEvent &monthInfo = ctrl_->OnGetMonthInfo;

    QPainter painter(this);
    // The strip beyond the last column and row shows the grid's own colour.
    painter.fillRect(area, back);
    for (int row = 0; row < TZTCalendarCtrl::RowCount; ++row) {
        for (int col = 0; col < TZTCalendarCtrl::ColCount; ++col) {
            const QRect cell = CellRect(col, row);
            if (!cell.intersects(area))
                continue;
            QColor background = back;
            QColor foreground = titleBack;
            bool isBold = false;
            if (row > 0 && col > 0) {
                const TDateTime date = ctrl_->Day(index_, col, row);
                if (index_ == 0 && col == col_ && row == row_) {
                    background = titleBack;
                    foreground = titleText;
                } else {
                    foreground = ctrl_->InOwnMonth(index_, date) ? text : trailing;
                }
                if (monthInfo)
                    monthInfo(panel_, date, isBold);
                if (date != 0 && DayNumber(date) == today)
                    foreground = todayText;
            }
            painter.setClipping(false);
            painter.fillRect(cell, background);
            const QString label = ctrl_->CellText(index_, col, row);
            if (label.isEmpty())
                continue;
            painter.setClipRect(cell);
            painter.setPen(foreground);
            if (row == 0 && col > 0) {
                painter.setFont(header);
                const qreal x = cell.left() + (cell.width() - headerMetrics.horizontalAdvance(label)) / 2;
                const qreal y = cell.top() + (cell.height() - headerMetrics.height()) / 2;
                painter.drawText(QPointF(x, y + headerMetrics.ascent()), label);
                continue;
            }
            const QFontMetrics &metrics = isBold ? boldMetrics : normalMetrics;
            painter.setFont(isBold ? bold : normal);
            const int x = cell.left() + (cell.width() - metrics.horizontalAdvance(label)) / 2;
            const int y = cell.top() + (cell.height() - metrics.height()) / 2;
            painter.drawText(x, y + metrics.ascent(), label);
        }
    }
    if (hasFocus() && col_ > 0 && row_ > 0) {
        const QRect cell = CellRect(col_, row_);
        painter.setClipping(false);
        painter.setPen(QPen(index_ == 0 ? titleText : text, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(1, 1, -2, -2));
    }
}

// ---- Mouse, keys, menu, focus ----

void TZTCalendar::mousePressEvent(QMouseEvent *event)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
        int col = 0;
        int row = 0;
        if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), col, row) && ClickCell(col, row))
            HandFocusToLeft();
    });
}

void TZTCalendar::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click has selected the day already; only the left grid answers the second.
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
        int col = 0;
        int row = 0;
        if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), col, row))
            DblClickCell(col, row);
    });
}

void TZTCalendar::keyPressEvent(QKeyEvent *event)
{
    bool handled = false;
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] { handled = HandleKey(event); });
    if (!handled)
        event->ignore();
}

bool TZTCalendar::HandleKey(const QKeyEvent *event)
{
    const bool ctrlKey = event->modifiers().testFlag(Qt::ControlModifier);
    bool moved = false;
    switch (event->key()) {
    case Qt::Key_Left:
        moved = MoveBy(-1);
        break;
    case Qt::Key_Right:
        moved = MoveBy(1);
        break;
    case Qt::Key_Up:
        moved = MoveBy(-kDayCols);
        break;
    case Qt::Key_Down:
        moved = MoveBy(kDayCols);
        break;
    case Qt::Key_Home:
    case Qt::Key_End: {
        const TZTShownMonth month = ctrl_->ShownMonth(index_);
        const QDate first(month.Year, month.Month, 1);
        const QDate target = event->key() == Qt::Key_Home ? first : first.addDays(first.daysInMonth() - 1);
        int col = 0;
        int row = 0;
        if (ctrl_->FindDay(index_, QDateToDateTime(target), col, row))
            moved = MoveCurrent(col, row);
        break;
    }
    case Qt::Key_PageUp:
        panel_->MoveMonths(ctrlKey ? -12 : -1);
        return true;
    case Qt::Key_PageDown:
        panel_->MoveMonths(ctrlKey ? 12 : 1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (index_ != 0 || !panel_->DblClickWanted())
            return false;
        DblClickCell(col_, row_);
        return true;
    default:
        return false;
    }
    if (moved)
        HandFocusToLeft();
    return true;
}

void TZTCalendar::contextMenuEvent(QContextMenuEvent *event)
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
        QMenu *menu = panel_->PopupMenu();
        if (!menu) {
            event->ignore();
            return;
        }
        const QPoint at =
            event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : mapToGlobal(CellRect(col_, row_).center());
        menu->popup(at);
        event->accept();
    });
}

void TZTCalendar::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
    NotifyAccessibleFocus();
}

void TZTCalendar::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

// ---- Accessibility events ----

void TZTCalendar::NotifyAccessibleFocus()
{
    if (!QAccessible::isActive() || !hasFocus() || col_ < 1 || row_ < 1)
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(CellIndex(col_, row_));
    QAccessible::updateAccessibility(&event);
}

void TZTCalendar::NotifyAccessibleNames()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(this);
    if (!grid)
        return;
    QAccessibleEvent gridName(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&gridName);
    for (int i = 0; i < kDayCells; ++i)
        if (QAccessibleInterface *cell = grid->child(i)) {
            QAccessibleEvent cellName(cell, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&cellName);
        }
}
