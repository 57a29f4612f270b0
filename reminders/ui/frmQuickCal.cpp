#include "frmQuickCal.h"
#include "ui_frmQuickCal.h"

#include "frmAddReminder.h"
#include "uCalendarColours.h"
#include "uMain.h"

#include "ZTCalendarPanel.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "clsReminders.h"

#include <cmath>

TQuickCalendar::TQuickCalendar(QWidget *owner, std::function<void()> commitAndRefresh)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint), ui(std::make_unique<Ui::TQuickCalendar>()),
      commitAndRefresh_(std::move(commitAndRefresh))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("QuickCalendar"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ClientWidth, ClientHeight);
    setWindowTitle(ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle));
    // Esc closes the window; F1 opens the help file at its contents.
    ZTInstallFormKeys(this, HelpContextContents);

    TZTCalendarPanel *calendar = ui->Calendar;
    calendar->SetPrevYearHint(QStringLiteral("Previous year"));
    calendar->SetPrevMonthHint(QStringLiteral("Previous month"));
    calendar->SetNextMonthHint(QStringLiteral("Next month"));
    calendar->SetNextYearHint(QStringLiteral("Next year"));
    connect(calendar, &TZTCalendarPanel::OnUpdate, this, [](TDateTime start, TDateTime end) {
        if (Reminders)
            Reminders->BuildMonthMarks(2, start, end);
    });
    calendar->SetOnGetMonthInfo(
        [](TZTCalendarPanel *, TDateTime date, bool &bold) { bold = Reminders && Reminders->HasRemindersOn(2, date); });
    connect(calendar, &TZTCalendarPanel::OnDblClickSelectedDate, this, &TQuickCalendar::CalendarDblClickSelectedDate);

    calendar->SetSelectedDate(DateOf(ZTNow()));
    ApplyColours();
}

TQuickCalendar::~TQuickCalendar() = default;

TZTCalendarPanel *TQuickCalendar::Calendar() const
{
    return ui->Calendar;
}

void TQuickCalendar::Refresh()
{
    ui->Calendar->SetSelectedDate(ui->Calendar->SelectedDate());
}

void TQuickCalendar::ApplyColours()
{
    ApplyCalendarColours(ui->Calendar);
    Refresh();
}

QPoint TQuickCalendar::Position(const QRect &availableGeometry, const QSize &frameSize)
{
    return {availableGeometry.x() + availableGeometry.width() - frameSize.width() - 10,
            availableGeometry.y() + availableGeometry.height() - frameSize.height() - 35};
}

void TQuickCalendar::PlaceOn(const QRect &availableGeometry)
{
    // The frame is known only once the window manager has decorated the window; until then
    // the client size stands for it.
    const QSize frame = frameGeometry().size().expandedTo(size());
    move(Position(availableGeometry, frame));
}

void TQuickCalendar::CalendarDblClickSelectedDate(TDateTime date)
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."), [&] {
        if (!Reminders)
            return;
        TReminder::Ptr reminder = TReminder::Create();
        if (!ShowAddReminderDialog(this, *reminder, std::nullopt, DateOf(date)) || !Reminders)
            return;
        Reminders->Add(*reminder);
        Refresh();
        if (commitAndRefresh_)
            commitAndRefresh_();
    });
}
