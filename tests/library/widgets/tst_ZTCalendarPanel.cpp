#include "TestEnv.h"
#include "ZTCalendarPanel.h"
#include "ZTClock.h"
#include "ZTExceptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QTextCharFormat>
#include <QToolButton>
#include <QtTest>

#include <stdexcept>

namespace {
TDateTime D(const QDate &date)
{
    return QDateToDateTime(date);
}

QDate Q(TDateTime date)
{
    return DateTimeToQDate(date);
}

// A grid's tables as text, one row per week: "week:cells", '.' a blank cell, '*' a day
// outside the grid's own month, '-' a row without a week number.
QString GridText(const TZTCalendarPanel &panel, int grid)
{
    const TZTCalendarCtrl &ctrl = panel.Controller();
    QStringList rows;
    for (int row = 1; row <= 6; ++row) {
        QStringList cells;
        for (int col = 1; col <= 7; ++col) {
            const TDateTime date = ctrl.Day(grid, col, row);
            cells << (date == 0
                          ? QStringLiteral(".")
                          : (ctrl.InOwnMonth(grid, date) ? QString() : QStringLiteral("*")) + QString::number(Q(date).day()));
        }
        const int week = ctrl.Week(grid, row);
        rows << (week < 0 ? QStringLiteral("-") : QString::number(week)) + QLatin1Char(':') + cells.join(' ');
    }
    return rows.join('|');
}

QString Title(int month, int year)
{
    return QLocale::system().standaloneMonthName(month, QLocale::LongFormat) + QLatin1Char(' ') + QString::number(year);
}

TZTCalendar *Grid(TZTCalendarPanel &panel, int index)
{
    return panel.findChild<TZTCalendar *>(QStringLiteral("Grid%1").arg(index));
}

// The colour in the cell farthest from the cell's background: the ink of its text.
QColor Ink(const QImage &image, const QRect &cell, const QColor &background)
{
    QColor ink = background;
    int best = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - background.red()) + std::abs(c.green() - background.green())
                                 + std::abs(c.blue() - background.blue());
            if (distance > best) {
                best = distance;
                ink = c;
            }
        }
    return ink;
}

int InkCount(const QImage &image, const QRect &cell, const QColor &background)
{
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            count += image.pixelColor(x, y) != background;
    return count;
}

bool Near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

const QDate kToday(2024, 1, 31);
} // namespace

class TestZTCalendarPanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        ZTPinClock(QDateTime(kToday, QTime(9, 30)));
        ZTSetExceptionHandler([this](const std::exception_ptr &error) { errors_ << ZTExceptionMessage(error); });
    }
    void init() { errors_.clear(); }
    void cleanup() { QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join(';'))); }

    // A new panel shows today, with the default hints and the default size.
    void construction()
    {
        TZTCalendarPanel panel;
        QCOMPARE(Q(panel.SelectedDate()), kToday);
        QCOMPARE(panel.size(), QSize(399, 144));
        const char *names[] = {"cmdPrevYear", "cmdPrevMonth", "cmdNextMonth", "cmdNextYear"};
        const char *hints[] = {"Previous year", "Previous month", "Next month", "Next year"};
        for (int i = 0; i < 4; ++i) {
            auto *button = panel.findChild<QToolButton *>(QLatin1String(names[i]));
            QVERIFY(button);
            QCOMPARE(button->accessibleName(), QLatin1String(hints[i]));
            QCOMPARE(panel.Hint(i), QLatin1String(hints[i]));
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        }
        panel.SetNextYearHint(QStringLiteral("Ano seguinte"));
        QCOMPARE(panel.findChild<QToolButton *>("cmdNextYear")->accessibleName(), QStringLiteral("Ano seguinte"));
        QCOMPARE(panel.NextYearHint(), QStringLiteral("Ano seguinte"));
        // The titles follow the panel's font, always bold.
        QFont large = panel.font();
        large.setPointSize(15);
        panel.setFont(large);
        QCOMPARE(panel.findChild<QLabel *>("lblMonth1")->font().pointSize(), 15);
        QVERIFY(panel.findChild<QLabel *>("lblMonth1")->font().bold());
    }

    void grids_data()
    {
        QTest::addColumn<QDate>("selected");
        QTest::addColumn<int>("grid");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("cells");
        const QDate jan31(2024, 1, 31);
        QTest::newRow("31 January 2024, left")
            << jan31 << 0 << Title(1, 2024)
            << "1:1 2 3 4 5 6 7|2:8 9 10 11 12 13 14|3:15 16 17 18 19 20 21|4:22 23 24 25 26 27 28"
               "|5:29 30 31 . . . .|-:. . . . . . .";
        QTest::newRow("31 January 2024, right")
            << jan31 << 1 << Title(2, 2024)
            << "5:. . . 1 2 3 4|6:5 6 7 8 9 10 11|7:12 13 14 15 16 17 18|8:19 20 21 22 23 24 25"
               "|9:26 27 28 29 *1 *2 *3|10:*4 *5 *6 *7 *8 *9 *10";
        QTest::newRow("month starting on Monday, five rows")
            << QDate(2024, 4, 10) << 0 << Title(4, 2024)
            << "14:1 2 3 4 5 6 7|15:8 9 10 11 12 13 14|16:15 16 17 18 19 20 21|17:22 23 24 25 26 27 28"
               "|18:29 30 . . . . .|-:. . . . . . .";
        QTest::newRow("four-row February") << QDate(2021, 2, 1) << 0 << Title(2, 2021)
                                           << "5:1 2 3 4 5 6 7|6:8 9 10 11 12 13 14|7:15 16 17 18 19 20 21|8:22 23 24 25 26 27 28"
                                              "|-:. . . . . . .|-:. . . . . . .";
        QTest::newRow("week of 29 December 2025, left")
            << QDate(2025, 12, 15) << 0 << Title(12, 2025)
            << "49:1 2 3 4 5 6 7|50:8 9 10 11 12 13 14|51:15 16 17 18 19 20 21|52:22 23 24 25 26 27 28"
               "|1:29 30 31 . . . .|-:. . . . . . .";
        QTest::newRow("week of 29 December 2025, right")
            << QDate(2025, 12, 15) << 1 << Title(1, 2026)
            << "1:. . . 1 2 3 4|2:5 6 7 8 9 10 11|3:12 13 14 15 16 17 18|4:19 20 21 22 23 24 25"
               "|5:26 27 28 29 30 31 *1|6:*2 *3 *4 *5 *6 *7 *8";
        QTest::newRow("week 53 before January 2021")
            << QDate(2021, 1, 1) << 0 << Title(1, 2021)
            << "53:*28 *29 *30 *31 1 2 3|1:4 5 6 7 8 9 10|2:11 12 13 14 15 16 17|3:18 19 20 21 22 23 24"
               "|4:25 26 27 28 29 30 31|-:. . . . . . .";
        QTest::newRow("December: the right grid is January of the next year")
            << QDate(2024, 12, 31) << 1 << Title(1, 2025)
            << "1:. . 1 2 3 4 5|2:6 7 8 9 10 11 12|3:13 14 15 16 17 18 19|4:20 21 22 23 24 25 26"
               "|5:27 28 29 30 31 *1 *2|6:*3 *4 *5 *6 *7 *8 *9";
    }
    void grids()
    {
        QFETCH(QDate, selected);
        QFETCH(int, grid);
        QFETCH(QString, title);
        QFETCH(QString, cells);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(selected));
        QCOMPARE(GridText(panel, grid), cells);
        auto *label = panel.findChild<QLabel *>(QStringLiteral("lblMonth%1").arg(grid));
        QCOMPARE(label->text(), title);
        QVERIFY(label->font().bold());
        // The left grid's current cell, drawn selected, is the selected day.
        TZTCalendar *left = Grid(panel, 0);
        QCOMPARE(Q(panel.Controller().Day(0, left->Col(), left->Row())), selected);
    }

    // Every write runs the whole cycle, in order; a refused date changes and fires nothing.
    void cycle_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("target");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("log");
        QTest::newRow("new date") << QDate(2024, 3, 15) << QDate(2024, 12, 31) << false
                                  << "select 2024-12-31|update 2024-12-01 2025-01-31|selected 2024-12-31";
        QTest::newRow("same date again") << QDate(2024, 3, 15) << QDate(2024, 3, 15) << false
                                         << "select 2024-03-15|update 2024-03-01 2024-04-30|selected 2024-03-15";
        QTest::newRow("leap February range") << QDate(2024, 3, 1) << QDate(2024, 1, 10) << false
                                             << "select 2024-01-10|update 2024-01-01 2024-02-29|selected 2024-01-10";
        QTest::newRow("refused") << QDate(2024, 3, 15) << QDate(2024, 5, 2) << true << "select 2024-05-02";
    }
    void cycle()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, target);
        QFETCH(bool, refuse);
        QFETCH(QString, log);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(start));
        panel.show();
        QCoreApplication::processEvents();
        const QString before = GridText(panel, 0) + GridText(panel, 1);
        const QString titleBefore = panel.findChild<QLabel *>("lblMonth0")->text();

        QStringList events;
        const auto iso = [](TDateTime d) { return Q(d).toString(Qt::ISODate); };
        panel.SetOnSelectDate([&](TZTCalendarPanel *sender, TDateTime d, bool &canSelect) {
            QCOMPARE(sender, &panel);
            QVERIFY(canSelect);
            events << "select " + iso(d);
            canSelect = !refuse;
        });
        QObject::connect(&panel, &TZTCalendarPanel::OnUpdate,
                         [&](TDateTime s, TDateTime e) { events << "update " + iso(s) + ' ' + iso(e); });
        QObject::connect(&panel, &TZTCalendarPanel::OnDateSelected, [&](TDateTime d) { events << "selected " + iso(d); });
        int paints = 0;
        TZTCalendar *left = Grid(panel, 0);
        struct TPaintCounter : QObject {
            int *count;
            explicit TPaintCounter(int *c) : count(c) {}
            bool eventFilter(QObject *, QEvent *e) override
            {
                *count += e->type() == QEvent::Paint;
                return false;
            }
        } filter(&paints);
        left->installEventFilter(&filter);

        panel.SetSelectedDate(D(target));
        QCoreApplication::processEvents();
        QCOMPARE(events.join('|'), log);
        QCOMPARE(Q(panel.SelectedDate()), refuse ? start : target);
        QCOMPARE(paints > 0, !refuse);
        if (refuse) {
            QCOMPARE(GridText(panel, 0) + GridText(panel, 1), before);
            QCOMPARE(panel.findChild<QLabel *>("lblMonth0")->text(), titleBefore);
        }
    }

    void navigation_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("next month from 31 May") << QDate(2024, 5, 31) << "cmdNextMonth" << QDate(2024, 6, 30);
        QTest::newRow("previous year from 29 February") << QDate(2024, 2, 29) << "cmdPrevYear" << QDate(2023, 2, 28);
        QTest::newRow("next year from 29 February") << QDate(2024, 2, 29) << "cmdNextYear" << QDate(2025, 2, 28);
        QTest::newRow("previous month into a leap February") << QDate(2024, 3, 31) << "cmdPrevMonth" << QDate(2024, 2, 29);
        QTest::newRow("previous month into a short February") << QDate(2023, 3, 31) << "cmdPrevMonth" << QDate(2023, 2, 28);
        QTest::newRow("next month across the year end") << QDate(2024, 12, 31) << "cmdNextMonth" << QDate(2025, 1, 31);
        QTest::newRow("previous month across the year start") << QDate(2024, 1, 15) << "cmdPrevMonth" << QDate(2023, 12, 15);
    }
    void navigation()
    {
        QFETCH(QDate, start);
        QFETCH(QString, button);
        QFETCH(QDate, expected);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(start) + 0.5);
        panel.show();
        auto *cmd = panel.findChild<QToolButton *>(button);
        QVERIFY(cmd);
        QTest::mouseClick(cmd, Qt::LeftButton);
        QCOMPARE(Q(panel.SelectedDate()), expected);
        QCOMPARE(MinuteOfDay(panel.SelectedDate()), 12 * 60); // the time of day stays
        QCOMPARE(panel.findChild<QLabel *>("lblMonth0")->text(), Title(expected.month(), expected.year()));
    }

    // The month menu of either title bar: twelve month names; the day is kept or clamped.
    void monthMenu_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("month");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("February from 30 January, leap year") << QDate(2024, 1, 30) << "pLeftTitle" << 2 << QDate(2024, 2, 29);
        QTest::newRow("February from 30 January, right bar") << QDate(2023, 1, 30) << "pRightTitle" << 2 << QDate(2023, 2, 28);
        QTest::newRow("April from 31 August") << QDate(2024, 8, 31) << "pLeftTitle" << 4 << QDate(2024, 4, 30);
        QTest::newRow("December keeps the year") << QDate(2024, 3, 15) << "pRightTitle" << 12 << QDate(2024, 12, 15);
    }
    void monthMenu()
    {
        QFETCH(QDate, start);
        QFETCH(QString, bar);
        QFETCH(int, month);
        QFETCH(QDate, expected);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(start));
        panel.show();
        QWidget *title = panel.findChild<QWidget *>(bar);
        auto *menu = panel.findChild<QMenu *>("popMonths");
        QVERIFY(title && menu);
        for (int round = 0; round < 2; ++round) { // rebuilt, not added to, on every opening
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(60, 10), title->mapToGlobal(QPoint(60, 10)));
            QApplication::sendEvent(title, &event);
            QVERIFY(menu->isVisible());
            QCOMPARE(menu->actions().size(), 12);
            menu->hide();
        }
        const QList<QAction *> items = menu->actions();
        for (int m = 1; m <= 12; ++m) {
            QCOMPARE(items[m - 1]->text(), QLocale::system().standaloneMonthName(m, QLocale::LongFormat));
            QCOMPARE(items[m - 1]->data().toInt(), m);
        }
        items[month - 1]->trigger();
        QCOMPARE(Q(panel.SelectedDate()), expected);
    }

    // The select-cell rule, by mouse and by the accessibility tree's press action.
    void clicks_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<int>("grid");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QDate>("expected");
        const struct {
            const char *name;
            QDate start;
            int grid, col, row;
            bool refuse;
            QDate expected;
        } rows[] = {
            {"day of the left month", {2024, 1, 31}, 0, 3, 2, false, {2024, 1, 10}},
            {"greyed previous-month day", {2021, 1, 31}, 0, 1, 1, false, {2021, 1, 31}},
            {"blank cell after the left month", {2024, 1, 31}, 0, 5, 5, false, {2024, 1, 31}},
            {"weekday header", {2024, 1, 31}, 0, 3, 0, false, {2024, 1, 31}},
            {"week number", {2024, 1, 31}, 0, 0, 2, false, {2024, 1, 31}},
            {"day of the right month shifts the months", {2024, 1, 31}, 1, 4, 3, false, {2024, 2, 15}},
            {"blank cell before the right month", {2024, 1, 31}, 1, 1, 1, false, {2024, 1, 31}},
            {"trailing next-month day", {2024, 1, 31}, 1, 5, 5, false, {2024, 1, 31}},
            {"refused by the host", {2024, 1, 31}, 1, 4, 3, true, {2024, 1, 31}},
        };
        for (const auto &r : rows) {
            QTest::newRow(qPrintable(QStringLiteral("%1, mouse").arg(r.name)))
                << r.start << r.grid << r.col << r.row << r.refuse << r.expected;
            if (r.col > 0 && r.row > 0) // the tree holds the day cells only
                QTest::newRow(qPrintable(QStringLiteral("%1, accessible").arg(r.name)))
                    << r.start << r.grid << r.col << r.row << r.refuse << r.expected;
        }
    }
    void clicks()
    {
        QFETCH(QDate, start);
        QFETCH(int, grid);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(bool, refuse);
        QFETCH(QDate, expected);
        const bool accessible = QString::fromLatin1(QTest::currentDataTag()).endsWith("accessible");
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(start));
        panel.SetOnSelectDate([&](TZTCalendarPanel *, TDateTime, bool &canSelect) { canSelect = !refuse; });
        panel.show();
        TZTCalendar *target = Grid(panel, grid);
        TZTCalendar *left = Grid(panel, 0);
        const QPoint cellBefore(left->Col(), left->Row());
        if (accessible) {
            QAccessibleInterface *list = QAccessible::queryAccessibleInterface(target);
            QAccessibleInterface *cell = list->child((row - 1) * 7 + col - 1);
            QVERIFY(cell && cell->actionInterface());
            cell->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        } else {
            QTest::mouseClick(target, Qt::LeftButton, {}, target->CellRect(col, row).center());
        }
        QCOMPARE(Q(panel.SelectedDate()), expected);
        QCOMPARE(panel.Controller().ShownMonth(0).Month, expected.month());
        if (Q(panel.SelectedDate()) == start)
            QCOMPARE(QPoint(left->Col(), left->Row()), cellBefore);
        else
            QCOMPARE(Q(panel.Controller().Day(0, left->Col(), left->Row())), expected);
    }

    // A double click reports the selected day on the left grid only.
    void doubleClick_data()
    {
        QTest::addColumn<int>("grid");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QDate>("selected");
        QTest::newRow("left grid day") << 0 << 3 << 2 << "2024-01-10" << QDate(2024, 1, 10);
        QTest::newRow("left grid header") << 0 << 3 << 0 << "" << QDate(2024, 1, 31);
        QTest::newRow("right grid: one shift, no report") << 1 << 4 << 3 << "" << QDate(2024, 2, 15);
    }
    void doubleClick()
    {
        QFETCH(int, grid);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(QString, reported);
        QFETCH(QDate, selected);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 31}));
        QStringList reports;
        QObject::connect(&panel, &TZTCalendarPanel::OnDblClickSelectedDate,
                         [&](TDateTime d) { reports << Q(d).toString(Qt::ISODate); });
        panel.show();
        TZTCalendar *target = Grid(panel, grid);
        // A widget sees a double click as a click followed by the double-click event.
        const QPoint at = target->CellRect(col, row).center();
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, at);
        QCOMPARE(reports.join(','), reported);
        QCOMPARE(Q(panel.SelectedDate()), selected);
    }

    void keys_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<int>("grid");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QDate>("expected");
        const int none = Qt::NoModifier;
        QTest::newRow("right") << QDate(2024, 1, 10) << 0 << int(Qt::Key_Right) << none << QDate(2024, 1, 11);
        QTest::newRow("left wraps to the previous week")
            << QDate(2024, 1, 8) << 0 << int(Qt::Key_Left) << none << QDate(2024, 1, 7);
        QTest::newRow("down") << QDate(2024, 1, 10) << 0 << int(Qt::Key_Down) << none << QDate(2024, 1, 17);
        QTest::newRow("up stops at the first row") << QDate(2024, 1, 3) << 0 << int(Qt::Key_Up) << none << QDate(2024, 1, 3);
        QTest::newRow("left stops before a greyed day")
            << QDate(2024, 2, 1) << 0 << int(Qt::Key_Left) << none << QDate(2024, 2, 1);
        QTest::newRow("right stops at the month end")
            << QDate(2024, 1, 31) << 0 << int(Qt::Key_Right) << none << QDate(2024, 1, 31);
        QTest::newRow("home") << QDate(2024, 1, 17) << 0 << int(Qt::Key_Home) << none << QDate(2024, 1, 1);
        QTest::newRow("end") << QDate(2024, 2, 7) << 0 << int(Qt::Key_End) << none << QDate(2024, 2, 29);
        QTest::newRow("page down") << QDate(2024, 1, 31) << 0 << int(Qt::Key_PageDown) << none << QDate(2024, 2, 29);
        QTest::newRow("page up") << QDate(2024, 3, 31) << 0 << int(Qt::Key_PageUp) << none << QDate(2024, 2, 29);
        QTest::newRow("ctrl+page up") << QDate(2024, 2, 29) << 0 << int(Qt::Key_PageUp) << int(Qt::ControlModifier)
                                      << QDate(2023, 2, 28);
        QTest::newRow("down in the right grid") << QDate(2024, 1, 31) << 1 << int(Qt::Key_Down) << none << QDate(2024, 2, 5);
    }
    void keys()
    {
        QFETCH(QDate, start);
        QFETCH(int, grid);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QDate, expected);
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D(start));
        panel.show();
        panel.activateWindow();
        QCoreApplication::processEvents();
        Grid(panel, grid)->setFocus();
        QTest::keyClick(Grid(panel, grid), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Q(panel.SelectedDate()), expected);
        if (grid == 1) // the chosen day is shown selected on the left, and the focus follows it
            QCOMPARE(QApplication::focusWidget(), Grid(panel, 0));
    }

    // Enter on the left grid reports its selected day as a double click does.
    void enterReportsSelectedDay()
    {
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 12}));
        QStringList reports;
        QObject::connect(&panel, &TZTCalendarPanel::OnDblClickSelectedDate,
                         [&](TDateTime d) { reports << Q(d).toString(Qt::ISODate); });
        QTest::keyClick(Grid(panel, 0), Qt::Key_Return);
        QTest::keyClick(Grid(panel, 1), Qt::Key_Return);
        QCOMPARE(reports, QStringList{"2024-01-12"});
    }

    // Cell colours in their order; today (31 January 2024) red over everything.
    void painting_data()
    {
        QTest::addColumn<QDate>("selected");
        QTest::addColumn<int>("grid");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("background"); // colour slot
        QTest::addColumn<int>("text");       // colour slot, or -1 for today's red
        QTest::newRow("selected cell") << QDate(2024, 1, 10) << 0 << 3 << 2 << 2 << 3;
        QTest::newRow("own month day") << QDate(2024, 1, 10) << 0 << 4 << 2 << 0 << 1;
        QTest::newRow("weekday header") << QDate(2024, 1, 10) << 0 << 2 << 0 << 0 << 2;
        QTest::newRow("week number") << QDate(2024, 1, 10) << 1 << 0 << 3 << 0 << 2;
        QTest::newRow("greyed previous-month day") << QDate(2024, 2, 10) << 0 << 1 << 1 << 0 << 4;
        QTest::newRow("trailing day of the right grid") << QDate(2023, 12, 10) << 1 << 1 << 6 << 0 << 4;
        QTest::newRow("today on a greyed day") << QDate(2024, 2, 10) << 0 << 3 << 1 << 0 << -1;
        QTest::newRow("today on the selected cell") << QDate(2024, 1, 31) << 0 << 3 << 5 << 2 << -1;
        QTest::newRow("today in the right grid") << QDate(2023, 12, 5) << 1 << 3 << 5 << 0 << -1;
    }
    void painting()
    {
        QFETCH(QDate, selected);
        QFETCH(int, grid);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(int, background);
        QFETCH(int, text);
        TZTCalendarPanel panel;
        const TColor colours[] = {clWhite, clBlue, ZTRgb(0, 128, 0), ZTRgb(255, 255, 0), ZTRgb(128, 0, 128)};
        for (int slot = 0; slot < 5; ++slot)
            panel.Colors().SetByIndex(slot, colours[slot]);
        panel.SetSelectedDate(D(selected));
        TZTCalendar *target = Grid(panel, grid);
        const QImage image = target->grab().toImage();
        const QRect cell = target->CellRect(col, row);
        const QColor back = TZTCalendarColors::Resolve(colours[background]);
        QCOMPARE(image.pixelColor(cell.topLeft() + QPoint(1, 1)), back);
        const QColor expected = text < 0 ? QColor(255, 0, 0) : TZTCalendarColors::Resolve(colours[text]);
        const QColor ink = Ink(image, cell, back);
        QVERIFY2(Near(ink, expected), qPrintable(ink.name() + " instead of " + expected.name()));
    }

    // Day names never run into each other: at the control's usual size, whatever the font,
    // the outermost pixel columns of every name cell stay blank.
    void dayNamesKeepApart_data()
    {
        QTest::addColumn<int>("pointSize");
        QTest::newRow("small font") << 7;
        QTest::newRow("desktop font") << 9;
        QTest::newRow("large font") << 14;
        QTest::newRow("huge font") << 24;
    }
    void dayNamesKeepApart()
    {
        QFETCH(int, pointSize);
        TZTCalendarPanel panel;
        QFont font = panel.font();
        font.setPointSize(pointSize);
        panel.setFont(font);
        panel.resize(399, 144);
        panel.SetSelectedDate(D({2024, 1, 10}));
        const QColor back = TZTCalendarColors::Resolve(panel.Colors().BackColor());
        for (int index = 0; index < 2; ++index) {
            TZTCalendar *grid = Grid(panel, index);
            const QImage image = grid->grab().toImage();
            for (int col = 1; col < TZTCalendarCtrl::ColCount; ++col) {
                const QRect cell = grid->CellRect(col, 0);
                QVERIFY(InkCount(image, cell, back) > 0);
                for (const int x : {cell.left(), cell.right()})
                    QVERIFY2(InkCount(image, QRect(x, cell.top(), 1, cell.height()), back) == 0,
                             qPrintable(QStringLiteral("grid %1, column %2, x %3").arg(index).arg(col).arg(x)));
            }
        }
    }

    // The right grid keeps a current cell for the keyboard but never paints it selected.
    void rightGridPaintsNoSelection()
    {
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 5}));
        TZTCalendar *right = Grid(panel, 1);
        QTest::mouseClick(right, Qt::LeftButton, {}, right->CellRect(3, 3).center()); // 14 February
        QCOMPARE(Q(panel.SelectedDate()), QDate(2024, 2, 14));
        QCOMPARE(QPoint(right->Col(), right->Row()), QPoint(3, 3));
        const QImage image = right->grab().toImage();
        QCOMPARE(image.pixelColor(right->CellRect(3, 3).topLeft() + QPoint(1, 1)),
                 TZTCalendarColors::Resolve(panel.Colors().BackColor()));
    }

    // Bold comes from OnGetMonthInfo, asked for every day cell while painting only.
    void monthInfo()
    {
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 10}));
        QList<TDateTime> asked;
        bool boldAnswer = false;
        panel.SetOnGetMonthInfo([&](TZTCalendarPanel *, TDateTime d, bool &bold) {
            QVERIFY(!bold);
            asked << d;
            bold = boldAnswer && Q(d) == QDate(2024, 1, 18);
        });
        panel.SetSelectedDate(D({2024, 1, 10}));
        QVERIFY(asked.isEmpty());
        TZTCalendar *left = Grid(panel, 0);
        const QImage normal = left->grab().toImage();
        QCOMPARE(asked.size(), 42);
        QCOMPARE(asked.count(0.0), 11); // blank cells are asked with date zero
        boldAnswer = true;
        const QImage bold = left->grab().toImage();
        const QColor back = TZTCalendarColors::Resolve(panel.Colors().BackColor());
        const QRect cell = left->CellRect(4, 3); // Thursday 18 January
        QVERIFY(InkCount(bold, cell, back) > InkCount(normal, cell, back));
        const QRect other = left->CellRect(5, 3);
        QCOMPARE(InkCount(bold, other, back), InkCount(normal, other, back));
    }

    // What each colour slot colours; system colour references are resolved.
    void colours_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<uint>("colour");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<int>("role");
        const QStringList back{"pLeft", "pRight", "Grid0", "Grid1", "pFrame"};
        const QStringList titleBack{"pLeftTitle", "pRightTitle", "pLeftButtons", "pRightButtons",
                                    "lblMonth0",  "lblMonth1",   "pFrame"};
        QTest::newRow("0 BackColor") << 0 << uint(ZTRgb(10, 20, 30)) << back << int(QPalette::Window);
        QTest::newRow("0 BackColor as system colour") << 0 << uint(clInfoBk) << back << int(QPalette::Window);
        QTest::newRow("2 TitleBackColor") << 2 << uint(ZTRgb(40, 50, 60)) << titleBack << int(QPalette::Window);
        QTest::newRow("3 TitleTextColor") << 3 << uint(clRed) << QStringList{"lblMonth0", "lblMonth1"}
                                          << int(QPalette::WindowText);
        QTest::newRow("1 TextColor: stored only") << 1 << uint(ZTRgb(1, 2, 3)) << QStringList{} << int(QPalette::Window);
        QTest::newRow("4 TrailingTextColor: stored only") << 4 << uint(ZTRgb(4, 5, 6)) << QStringList{} << int(QPalette::Window);
    }
    void colours()
    {
        QFETCH(int, slot);
        QFETCH(uint, colour);
        QFETCH(QStringList, parts);
        QFETCH(int, role);
        TZTCalendarPanel panel;
        QWidget *frame = panel.findChild<QWidget *>("pFrame");
        const QColor frameBefore = frame->palette().color(QPalette::Window);
        panel.Colors().SetByIndex(slot, colour);
        QCOMPARE(panel.Colors().ByIndex(slot), TColor(colour));
        QCOMPARE(panel.Colors()
                     .property(QList<const char *>{"BackColor", "TextColor", "TitleBackColor", "TitleTextColor",
                                                   "TrailingTextColor"}[slot])
                     .toUInt(),
                 colour);
        const QColor expected = QColor::fromRgb(ZTColorToRgb(colour));
        for (const QString &name : parts) {
            QWidget *part = panel.findChild<QWidget *>(name);
            QVERIFY2(part, qPrintable(name));
            QCOMPARE(part->palette().color(QPalette::ColorRole(role)), expected);
        }
        if (parts.isEmpty())
            QCOMPARE(frame->palette().color(QPalette::Window), frameBefore);
    }

    // Assign copies the values without showing them; ApplyAllColors shows them, the frame last
    // in TitleBackColor. Other sources are refused.
    void assign()
    {
        TZTCalendarPanel panel;
        TZTCalendarColors source;
        for (int slot = 0; slot < 5; ++slot)
            source.SetByIndex(slot, ZTRgb(10 * slot, 20, 30));
        QWidget *frame = panel.findChild<QWidget *>("pFrame");
        const QColor frameBefore = frame->palette().color(QPalette::Window);
        panel.Colors().Assign(&source);
        for (int slot = 0; slot < 5; ++slot)
            QCOMPARE(panel.Colors().ByIndex(slot), source.ByIndex(slot));
        QCOMPARE(frame->palette().color(QPalette::Window), frameBefore);
        panel.Colors().ApplyAllColors();
        QCOMPARE(frame->palette().color(QPalette::Window), TZTCalendarColors::Resolve(source.TitleBackColor()));
        QCOMPARE(panel.findChild<QWidget *>("pLeft")->palette().color(QPalette::Window),
                 TZTCalendarColors::Resolve(source.BackColor()));

        QObject other;
        const std::pair<const QObject *, QString> refused[] = {
            {&other, "Cannot assign a QObject to a TZTCalendarColors"},
            {nullptr, "Cannot assign a nil to a TZTCalendarColors"},
        };
        for (const auto &[object, message] : refused) {
            try {
                panel.Colors().Assign(object);
                QFAIL("no error");
            } catch (const EConvertError &e) {
                QCOMPARE(QString::fromUtf8(e.what()), message);
            }
        }
    }

    // Layout: halves of frame width div 2 - 2 at both edges, 30-pixel title bars, grids below.
    void layout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("main window") << QSize(399, 144);
        QTest::newRow("quick calendar") << QSize(379, 149);
        QTest::newRow("enlarged") << QSize(800, 350);
    }
    void layout()
    {
        QFETCH(QSize, size);
        TZTCalendarPanel panel;
        panel.resize(size);
        panel.show();
        QWidget *leftHalf = panel.findChild<QWidget *>("pLeft");
        QWidget *rightHalf = panel.findChild<QWidget *>("pRight");
        const int half = size.width() / 2 - 2;
        QCOMPARE(leftHalf->geometry(), QRect(1, 1, half, size.height() - 2));
        QCOMPARE(rightHalf->geometry(), QRect(size.width() - 1 - half, 1, half, size.height() - 2));
        QCOMPARE(panel.findChild<QWidget *>("pRightTitle")->geometry(), QRect(0, 0, half, 30));
        QCOMPARE(panel.findChild<QWidget *>("pRightButtons")->geometry(), QRect(half - 47, 0, 47, 30));
        QCOMPARE(panel.findChild<QWidget *>("cmdNextYear")->geometry(), QRect(22, 7, 20, 15));
        TZTCalendar *grid = Grid(panel, 1);
        QCOMPARE(grid->geometry(), QRect(0, 30, half, size.height() - 32));
        QCOMPARE(grid->ColWidth(), half / 8);
        QCOMPARE(grid->RowHeight(), (size.height() - 32) / 7);
    }

    // The accessibility tree: day cells named with their full dates.
    void accessibleNames()
    {
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 31}));
        QAccessibleInterface *right = QAccessible::queryAccessibleInterface(Grid(panel, 1));
        QCOMPARE(right->childCount(), 42);
        QCOMPARE(right->text(QAccessible::Name), Title(2, 2024));
        QAccessibleInterface *first = right->child(3); // Thursday 1 February
        QCOMPARE(first->text(QAccessible::Name), QLocale::system().toString(QDate(2024, 2, 1), QLocale::LongFormat));
        QCOMPARE(right->indexOfChild(first), 3);
        QCOMPARE(first->parent(), right);
        QVERIFY(right->child(0)->text(QAccessible::Name).isEmpty());
        QVERIFY(right->child(0)->state().disabled);
        QVERIFY(!first->state().disabled);
        QAccessibleInterface *left = QAccessible::queryAccessibleInterface(Grid(panel, 0));
        QVERIFY(left->child(30)->state().selected); // 31 January
        QVERIFY(!left->child(29)->state().selected);
    }

    // Exceptions of the host's handlers reach the caller of SetSelectedDate, while the
    // control's own event handlers keep them from crossing the event loop.
    void handlerExceptions()
    {
        TZTCalendarPanel panel;
        panel.SetSelectedDate(D({2024, 1, 31}));
        QObject::connect(&panel, &TZTCalendarPanel::OnDateSelected, [](TDateTime) { throw std::runtime_error("host failed"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, panel.SetSelectedDate(D({2024, 1, 2})));
        panel.show();
        QTest::mouseClick(panel.findChild<QToolButton *>("cmdNextMonth"), Qt::LeftButton);
        QCOMPARE(errors_, QStringList{"Internal error."});
        errors_.clear();
    }

    // The drop-down calendar of a date picker takes the five colours.
    void pickerColours()
    {
        TZTCalendarColors colors;
        const TColor values[] = {ZTRgb(250, 250, 200), ZTRgb(0, 0, 90), ZTRgb(0, 90, 0), ZTRgb(255, 255, 0),
                                 ZTRgb(120, 120, 120)};
        for (int slot = 0; slot < 5; ++slot)
            colors.SetByIndex(slot, values[slot]);
        QDateEdit plain;
        ZTApplyPickerColors(&plain, colors); // no pop-up: nothing to colour
        ZTApplyPickerColors(nullptr, colors);
        QDateEdit picker;
        picker.setCalendarPopup(true);
        ZTApplyPickerColors(&picker, colors);
        QCalendarWidget *calendar = picker.calendarWidget();
        const QPalette palette = calendar->palette();
        const auto rgb = [](TColor c) { return TZTCalendarColors::Resolve(c); };
        QCOMPARE(palette.color(QPalette::Window), rgb(clWindow));
        QCOMPARE(palette.color(QPalette::Base), rgb(values[0]));
        QCOMPARE(palette.color(QPalette::Active, QPalette::Text), rgb(values[1]));
        QCOMPARE(palette.color(QPalette::Highlight), rgb(values[2]));
        QCOMPARE(palette.color(QPalette::HighlightedText), rgb(values[3]));
        QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text), rgb(values[4]));
        QCOMPARE(calendar->headerTextFormat().foreground().color(), rgb(values[2]));
        QVERIFY(!calendar->weekdayTextFormat(Qt::Sunday).hasProperty(QTextFormat::ForegroundBrush));
    }

private:
    QStringList errors_;
};

VENTARO_TEST_MAIN(TestZTCalendarPanel, QApplication)
#include "tst_ZTCalendarPanel.moc"
