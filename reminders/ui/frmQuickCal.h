#pragma once
// The quick calendar: a small tool window that stays on top in the bottom-right corner of the
// screen, with a two-month calendar marking the days that have reminders. Double clicking a
// day adds a reminder for it. At most one exists; it releases itself when it is closed.

#include "ZTDateUtils.h"

#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

class TZTCalendarPanel;

namespace Ui {
class TQuickCalendar;
}

class TQuickCalendar : public QWidget {
    Q_OBJECT

public:
    static constexpr int ClientWidth = 379;
    static constexpr int ClientHeight = 149;

    // commitAndRefresh is the main window's step that saves the store and refreshes every view.
    TQuickCalendar(QWidget *owner, std::function<void()> commitAndRefresh);
    ~TQuickCalendar() override;

    // Selects its date again, which rebuilds its day marks.
    void Refresh();
    // Takes the calendar colours of the preferences, then refreshes.
    void ApplyColours();
    // Places the window by the bottom-right rule on the screen whose tray holds the icon.
    void PlaceOn(const QRect &availableGeometry);
    // The top-left corner of a window of frameSize by that rule: 10 pixels from the right edge
    // and 35 from the bottom of the area.
    static QPoint Position(const QRect &availableGeometry, const QSize &frameSize);

    TZTCalendarPanel *Calendar() const;

private:
    void CalendarDblClickSelectedDate(TDateTime date);

    std::unique_ptr<Ui::TQuickCalendar> ui;
    std::function<void()> commitAndRefresh_;
};
