// The main window's actions: captions, shortcuts, hints and pictures, the menus, the toolbar
// and the context menus they appear in, the one enabling function, and every command.
#include "frmMain.h"

#include "clsDayView.h"

#include "clsRepresentation.h"
#include "frmAddReminder.h"
#include "frmMainList.h"
#include "frmOptions.h"
#include "frmQuickCal.h"
#include "frmRecurring.h"
#include "uMain.h"
#include "uMenuImages.h"

#include "ZTAboutFrm2.h"
#include "ZTCalendarPanel.h"
#include "ZTExceptions.h"
#include "ZTFileDialogs.h"
#include "ZTHelpUtils.h"
#include "ZTMapi.h"
#include "ZTShellUtils.h"
#include "ZTStrUtils.h"
#include "clsReminders.h"
#include "clsRemindersIcs.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <cmath>

namespace {
const QString kAddError = QStringLiteral("Error adding reminder.");
const QString kEditError = QStringLiteral("Error editing reminder.");
const QString kRemoveError = QStringLiteral("Error removing reminder.");
const QString kObsoleteError = QStringLiteral("Error deleting obsolete reminders.");
const QString kInternalError = QStringLiteral("Internal error.");
const QString kClickError = QStringLiteral("Error processing click.");
const QString kJumpError = QStringLiteral("Error jumping to reminder.");
const QString kActionsUpdateError = QStringLiteral("Internal Actions Update error.");
// CSV stays first, so the dialogs still start on it; iCalendar files are offered beside it.
const QString kExchangeFilter =
    QStringLiteral("Comma Separated Values (*.csv)|*.csv|iCalendar files (*.ics)|*.ics|All Files (*.*)|*.*");

// Whether a chosen export name asks for iCalendar (its extension), or an import file is one
// (its content, whatever its name).
bool IsIcsName(const QString &file)
{
    return file.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive) || file.endsWith(QLatin1String(".ical"), Qt::CaseInsensitive)
           || file.endsWith(QLatin1String(".ifb"), Qt::CaseInsensitive);
}

// The Import and Export dialogs: CSV or iCalendar files, CSV by default, in a folder that exists.
TZTFileDialogOptions ExchangeDialog(TZTFileDialogOptions::TKind kind, const QString &title)
{
    TZTFileDialogOptions options;
    options.Kind = kind;
    options.Title = title;
    options.Filter = kExchangeFilter;
    options.DefaultExt = QStringLiteral("csv");
    options.PathMustExist = true;
    return options;
}

bool IsIcsFile(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) && LooksLikeIcs(f.read(64));
}
} // namespace

// ---- The action list ----

QAction *TVNTRMain::MakeAction(const char *name, const QString &caption, const QString &hint, void (TVNTRMain::*handler)(),
                               const QString &failure)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(hint);
    action->setToolTip(QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    if (handler) {
        // Each command's failure is shown with its own message; nothing escapes to the loop.
        const QString message = failure.isEmpty() ? kInternalError : failure;
        connect(action, &QAction::triggered, this,
                [this, handler, message] { ZTGuard(TZTRaise::PassThrough, message, [&] { (this->*handler)(); }); });
    }
    return action;
}

void TVNTRMain::CreateActions()
{
    const auto image = [](QAction *action, int index) { action->setIcon(TVNTRMenuImages::Icon(index)); };
    const QString title = ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);

    act_.Calendar = MakeAction("actCalendar", QStringLiteral("&Calendar"), QStringLiteral("Calendar commands"), nullptr);
    act_.View = MakeAction("actView", QStringLiteral("&View"), QStringLiteral("View commands"), nullptr);
    act_.Help = MakeAction("actHelp", QStringLiteral("&Help"), QStringLiteral("Help commands"), nullptr);

    act_.CalendarAddReminder =
        MakeAction("actCalendarAddReminder", QStringLiteral("&Add Reminder..."), QStringLiteral("Add a new reminder"),
                   &TVNTRMain::actCalendarAddReminderExecute, kAddError);
    act_.CalendarAddReminder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    image(act_.CalendarAddReminder, TVNTRMenuImages::Add);
    act_.CalendarEditReminder =
        MakeAction("actCalendarEditReminder", QStringLiteral("&Edit Reminder..."), QStringLiteral("Edit selected reminder"),
                   &TVNTRMain::actCalendarEditReminderExecute, kEditError);
    act_.CalendarEditReminder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    image(act_.CalendarEditReminder, TVNTRMenuImages::Edit);
    act_.CalendarRemoveReminder =
        MakeAction("actCalendarRemoveReminder", QStringLiteral("&Remove Reminder"), QStringLiteral("Remove selected reminder"),
                   &TVNTRMain::actCalendarRemoveReminderExecute, kRemoveError);
    act_.CalendarRemoveReminder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    image(act_.CalendarRemoveReminder, TVNTRMenuImages::Remove);
    act_.CalendarRemoveObsolete =
        MakeAction("actCalendarRemoveObsolete", QStringLiteral("Re&move Obsolete"), QStringLiteral("Remove all past reminders"),
                   &TVNTRMain::actCalendarRemoveObsoleteExecute, kObsoleteError);
    act_.CalendarImport = MakeAction("actCalendarImport", QStringLiteral("&Import..."),
                                     QStringLiteral("Import reminders from a file"), &TVNTRMain::actCalendarImportExecute);
    act_.CalendarExport = MakeAction("actCalendarExport", QStringLiteral("E&xport..."),
                                     QStringLiteral("Export reminders to a file"), &TVNTRMain::actCalendarExportExecute);
    act_.CalendarBackup = MakeAction("actCalendarBackup", QStringLiteral("&Backup..."),
                                     QStringLiteral("Backup current reminder data"), &TVNTRMain::actCalendarBackupExecute);
    act_.CalendarPreferences = MakeAction("actCalendarPreferences", QStringLiteral("&Preferences..."),
                                          QStringLiteral("Application preferences"), &TVNTRMain::actCalendarPreferencesExecute);
    act_.CalendarExit = MakeAction("actCalendarExit", QStringLiteral("E&xit"), QStringLiteral("Exit ") + title,
                                   &TVNTRMain::actCalendarExitExecute);
    act_.ViewGoToToday = MakeAction("actViewGoToToday", QStringLiteral("&Go To Today"), QStringLiteral("Go to today"),
                                    &TVNTRMain::actViewGoToTodayExecute, kClickError);
    act_.ViewJumpTo = MakeAction("actViewJumpTo", QStringLiteral("&Jump To"), QStringLiteral("Jump to selected reminder"),
                                 &TVNTRMain::actViewJumpToExecute, kJumpError);
    act_.ViewToolbar = MakeAction("actViewToolbar", QStringLiteral("&Toolbar"), QStringLiteral("Show/hide toolbar"),
                                  &TVNTRMain::actViewToolbarExecute);
    act_.ViewToolbar->setCheckable(true);
    act_.ViewStatusBar = MakeAction("actViewStatusBar", QStringLiteral("&Status Bar"), QStringLiteral("Show/hide status bar"),
                                    &TVNTRMain::actViewStatusBarExecute);
    act_.ViewStatusBar->setCheckable(true);
    act_.HelpContents = MakeAction("actHelpContents", title + QStringLiteral(" &Help"), title + QStringLiteral(" help contents"),
                                   &TVNTRMain::actHelpContentsExecute);
    act_.HelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    // F1 of the main window opens the contents; dialogs keep their own F1.
    act_.HelpContents->setShortcutContext(Qt::WindowShortcut);
    image(act_.HelpContents, TVNTRMenuImages::Help);
    act_.HelpTipOfTheDay = MakeAction("actHelpTipOfTheDay", QStringLiteral("&Tip Of The Day"),
                                      QStringLiteral("Show the Tip of the Day dialog"), &TVNTRMain::actHelpTipOfTheDayExecute);
    act_.HelpOnTheWeb = MakeAction("actHelpOnTheWeb", QStringLiteral("Merrowick On The &Web"),
                                   QStringLiteral("Merrowick on the Web"), &TVNTRMain::actHelpOnTheWebExecute);
    act_.HelpSendEmail = MakeAction("actHelpSendEmail", QStringLiteral("&Send Email"), QStringLiteral("Send email to Merrowick"),
                                    &TVNTRMain::actHelpSendEmailExecute);
    act_.HelpAbout = MakeAction("actHelpAbout", QStringLiteral("&About..."), QStringLiteral("About ") + title,
                                &TVNTRMain::actHelpAboutExecute);
    act_.TrayCalendar = MakeAction("actTrayCalendar", QStringLiteral("&Quick Calendar"), QStringLiteral("Open Quick Calendar"),
                                   &TVNTRMain::actTrayCalendarExecute);
    act_.TrayManager =
        MakeAction("actTrayManager", QStringLiteral("&Open Ventaro!"),
                   QStringLiteral("Open ") + title + QStringLiteral(" main window"), &TVNTRMain::actTrayManagerExecute);
    act_.TrayAddReminder = MakeAction("actTrayAddReminder", QStringLiteral("&Add Reminder..."),
                                      QStringLiteral("Add a new reminder"), &TVNTRMain::actCalendarAddReminderExecute, kAddError);
    act_.TrayHelp = MakeAction("actTrayHelp", QStringLiteral("&Help"), title + QStringLiteral(" help contents"),
                               &TVNTRMain::actHelpContentsExecute);
    act_.TrayExit =
        MakeAction("actTrayExit", QStringLiteral("E&xit"), QStringLiteral("Exit ") + title, &TVNTRMain::actCalendarExitExecute);
}

namespace {
// Adds the actions to a menu or bar; nullptr stands for a separator.
void Fill(QWidget *target, std::initializer_list<QAction *> actions)
{
    for (QAction *action : actions) {
        if (!action) {
            auto *separator = new QAction(target);
            separator->setSeparator(true);
            target->addAction(separator);
        } else {
            target->addAction(action);
        }
    }
}
} // namespace

void TVNTRMain::CreateMenus()
{
    // The menu bar is a tool bar of its own, so it can move to the bottom or float like the
    // toolbar; its menus keep their Alt shortcuts wherever it stands.
    tbMenu_ = new QToolBar(QStringLiteral("Standard Menu"), this);
    tbMenu_->setObjectName(QStringLiteral("tbMenu"));
    tbMenu_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    // The menu bar cannot be hidden.
    tbMenu_->toggleViewAction()->setEnabled(false);
    tbMenu_->toggleViewAction()->setVisible(false);
    menuBar_ = new QMenuBar(tbMenu_);
    menuBar_->setObjectName(QStringLiteral("mnuMain"));
    menuBar_->setNativeMenuBar(false);
    tbMenu_->addWidget(menuBar_);
    addToolBar(Qt::TopToolBarArea, tbMenu_);
    addToolBarBreak(Qt::TopToolBarArea);

    const auto menu = [this](QAction *title, const char *objectName) {
        QMenu *m = menuBar_->addMenu(title->text());
        m->setObjectName(QString::fromLatin1(objectName));
        m->menuAction()->setStatusTip(title->statusTip());
        return m;
    };
    QMenu *calendar = menu(act_.Calendar, "mnuCalendar");
    Fill(calendar, {act_.CalendarAddReminder, act_.CalendarEditReminder, act_.CalendarRemoveReminder, nullptr,
                    act_.CalendarRemoveObsolete, nullptr, act_.CalendarImport, act_.CalendarExport, nullptr, act_.CalendarBackup,
                    nullptr, act_.CalendarPreferences, nullptr, act_.CalendarExit});
    QMenu *view = menu(act_.View, "mnuView");
    Fill(view, {act_.ViewGoToToday, nullptr, act_.ViewJumpTo, nullptr, act_.ViewToolbar, act_.ViewStatusBar});
    QMenu *help = menu(act_.Help, "mnuHelp");
    Fill(help,
         {act_.HelpContents, act_.HelpTipOfTheDay, nullptr, act_.HelpOnTheWeb, act_.HelpSendEmail, nullptr, act_.HelpAbout});
    for (QMenu *m : {calendar, view})
        connect(m, &QMenu::aboutToShow, this, &TVNTRMain::UpdateActions);

    tbMain_ = new QToolBar(QStringLiteral("Standard Toolbar"), this);
    tbMain_->setObjectName(QStringLiteral("tbMain"));
    tbMain_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    tbMain_->setIconSize(QSize(16, 16));
    Fill(tbMain_, {act_.CalendarAddReminder, act_.CalendarEditReminder, act_.CalendarRemoveReminder, nullptr, act_.ViewGoToToday,
                   nullptr, act_.HelpContents});
    addToolBar(Qt::TopToolBarArea, tbMain_);
    // The buttons a narrow window folds away are reached through this button of each bar.
    for (auto [bar, name] : {std::pair{tbMenu_, "More menus"}, std::pair{tbMain_, "More toolbar buttons"}})
        if (auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(QString::fromLatin1(name));

    popLists_ = new QMenu(this);
    popLists_->setObjectName(QStringLiteral("popLists"));
    Fill(popLists_, {act_.CalendarAddReminder, act_.CalendarEditReminder, act_.CalendarRemoveReminder, nullptr, act_.ViewJumpTo});
    popPanels_ = new QMenu(this);
    popPanels_->setObjectName(QStringLiteral("popPanels"));
    Fill(popPanels_, {act_.CalendarAddReminder, act_.CalendarEditReminder, act_.CalendarRemoveReminder});
    popCalendar_ = new QMenu(this);
    popCalendar_->setObjectName(QStringLiteral("popCalendar"));
    Fill(popCalendar_, {act_.CalendarAddReminder, nullptr, act_.ViewGoToToday});
    for (QMenu *m : {popLists_, popPanels_, popCalendar_})
        connect(m, &QMenu::aboutToShow, this, &TVNTRMain::UpdateActions);
}

// ---- Enabling ----

void TVNTRMain::UpdateActions()
{
    ZTGuard(TZTRaise::WrapAll, kActionsUpdateError, [this] {
        if (!lvAll_)
            return;
        const bool listSelection = IsListActive() && lvAll_->selectionModel()->hasSelection();
        const bool target = listSelection || dayView_->SelectedEntry();
        act_.CalendarEditReminder->setEnabled(target);
        act_.CalendarRemoveReminder->setEnabled(target);
        act_.ViewJumpTo->setEnabled(listSelection);
        // Hidden only when hidden on purpose: a hidden window still shows a check mark.
        act_.ViewToolbar->setChecked(!tbMain_->isHidden());
        act_.ViewStatusBar->setChecked(!statusBar()->isHidden());
        const bool quick = !ReminderDialogOpen;
        act_.TrayCalendar->setEnabled(quick);
        act_.TrayAddReminder->setEnabled(quick && quickCalendar_.isNull());
    });
}

// ---- The reminder in question ----

std::optional<TVNTRMain::TTarget> TVNTRMain::ReminderInQuestion()
{
    TTarget target;
    if (IsListActive()) {
        const QModelIndexList rows = lvAll_->selectionModel()->selectedRows();
        if (rows.isEmpty())
            return std::nullopt;
        target.Reminder = listModel_->ReminderAt(rows.first().row());
    } else {
        if (!dayView_->SelectedEntry())
            return std::nullopt;
        const int key = TVNTRDayView::KeyOf(dayView_->SelectedEntry());
        if (key < 0 || key >= listModel_->Count())
            return std::nullopt;
        target.Reminder = listModel_->ReminderAt(listModel_->PositionOfKey(key));
        target.FromDayView = true;
    }
    if (!target.Reminder || !Reminders)
        return std::nullopt;
    Reminders->Refresh(*target.Reminder);
    return target;
}

// ---- Add, edit, remove ----

void TVNTRMain::AddReminderAt(std::optional<TDateTime> time, TDateTime date)
{
    if (!Reminders)
        return;
    TReminder::Ptr reminder = TReminder::Create();
    const bool confirmed = ShowAddReminderDialog(this, *reminder, time, date);
    if (!confirmed || !Reminders)
        return;
    Reminders->Add(*reminder);
    const TDateTime next = reminder->NextOccurrence(*Reminders);
    if (next != 0)
        Calendar_->SetSelectedDate(next);
    // Remembered after the date is shown, so the rebuild of commit and refresh (not the one of
    // the date change) selects the new entry and it stays selected.
    reminderToSelect_ = reminder->Id;
    CommitAndRefresh();
}

void TVNTRMain::actCalendarAddReminderExecute()
{
    if (QFrame *slot = dayView_->SelectedSlot()) {
        AddAtSlot(dayView_->SlotOf(slot));
        return;
    }
    AddReminderAt(std::nullopt, Calendar_->SelectedDate());
}

void TVNTRMain::actCalendarEditReminderExecute()
{
    const std::optional<TTarget> target = ReminderInQuestion();
    if (!target)
        return;
    TReminder &reminder = *target->Reminder;
    if (!reminder.Recurring) {
        const bool ok = ShowEditReminderDialog(this, reminder, true);
        if (ok && Reminders) {
            Reminders->Update(reminder);
            reminderToSelect_ = reminder.Id;
            CommitAndRefresh();
        }
        return;
    }
    bool series = false;
    if (target->FromDayView) {
        if (!AskOpenOccurrenceOrSeries(this, ZTFirstLine(reminder.ReminderMessage), series))
            return;
    } else {
        series = true;
    }
    if (series) {
        const bool ok = ShowEditReminderDialog(this, reminder, false);
        if (ok && Reminders) {
            Reminders->UpdateSeries(reminder);
            reminderToSelect_ = reminder.Id;
        }
        if (ok || target->FromDayView)
            CommitAndRefresh();
        return;
    }
    const TDateTime day = DateOf(Calendar_->SelectedDate());
    TReminder::Ptr copy = reminder.MakeOneTimeCopy();
    copy->Date = day;
    const bool ok = ShowEditReminderDialog(this, *copy, false);
    if (ok && Reminders) {
        reminder.OccurrenceDate = day;
        reminder.OccurrenceTime = reminder.Time;
        Reminders->AddExclusion(*reminder.MakeExclusion());
        Reminders->Add(*copy);
        reminderToSelect_ = copy->Id;
    }
    CommitAndRefresh();
}

void TVNTRMain::actCalendarRemoveReminderExecute()
{
    const std::optional<TTarget> target = ReminderInQuestion();
    if (!target)
        return;
    TReminder &reminder = *target->Reminder;
    if (!reminder.Recurring) {
        Reminders->Delete(reminder);
    } else if (!target->FromDayView) {
        Reminders->DeleteSeries(reminder);
    } else {
        bool series = false;
        if (!AskDeleteOccurrenceOrSeries(this, ZTFirstLine(reminder.ReminderMessage), series))
            return;
        if (!Reminders)
            return;
        if (series) {
            Reminders->DeleteSeries(reminder);
        } else {
            reminder.OccurrenceDate = DateOf(Calendar_->SelectedDate());
            reminder.OccurrenceTime = reminder.Time;
            Reminders->AddExclusion(*reminder.MakeExclusion());
        }
    }
    CommitAndRefresh();
}

void TVNTRMain::actCalendarRemoveObsoleteExecute()
{
    if (!Reminders)
        return;
    TReminderList obsolete;
    const bool changed = Reminders->CollectObsolete(obsolete);
    if (!changed && obsolete.Count() == 0)
        throw EZTException(QStringLiteral("There are no obsolete reminders to delete."), QString(), 2);
    for (const TReminder::Ptr &reminder : obsolete)
        Reminders->Delete(*reminder);
    CommitAndRefresh();
    throw EZTException(QStringLiteral("Obsolete reminders removed with success."), QString(), 2);
}

// ---- Import, export, backup ----

void TVNTRMain::actCalendarImportExecute()
{
    TZTFileDialogOptions options = ExchangeDialog(TZTFileDialogOptions::Open, QStringLiteral("Import Reminders..."));
    options.FileMustExist = true;
    const QString file = ZTExecuteFileDialog(this, options);
    if (file.isEmpty() || !Reminders)
        return;
    try {
        if (IsIcsFile(file))
            ImportIcs(*Reminders, file);
        else
            Reminders->ImportCsv(file);
    } catch (const EZTException &outcome) {
        // The import tells its count as information: the new reminders are shown first.
        if (outcome.Severity() == EZTException::Information)
            CommitAndRefresh();
        throw;
    }
}

void TVNTRMain::actCalendarExportExecute()
{
    TZTFileDialogOptions options = ExchangeDialog(TZTFileDialogOptions::Save, QStringLiteral("Export Reminders..."));
    options.OverwritePrompt = true;
    const QString file = ZTExecuteFileDialog(this, options);
    if (file.isEmpty() || !Reminders)
        return;
    if (IsIcsName(file))
        ExportIcs(*Reminders, file);
    else
        Reminders->ExportCsv(file);
}

void TVNTRMain::actCalendarBackupExecute()
{
    TZTFileDialogOptions options;
    options.Kind = TZTFileDialogOptions::Save;
    options.Title = QStringLiteral("Backup Reminders...");
    options.Filter = QStringLiteral("Jotbell Backup Files (*.jbb)|*.jbb|All Files (*.*)|*.*");
    options.DefaultExt = QStringLiteral("jbb");
    options.OverwritePrompt = true;
    const QString file = ZTExecuteFileDialog(this, options);
    if (!file.isEmpty() && Reminders)
        Reminders->CopyDatabaseTo(file);
}

// ---- Preferences, exit, view ----

void TVNTRMain::actCalendarPreferencesExecute()
{
    ShowPreferencesDialog(
        this,
        [this] {
            ApplyPreferences();
            if (quickCalendar_)
                quickCalendar_->ApplyColours();
        },
        sync_);
}

void TVNTRMain::actCalendarExitExecute()
{
    RequestExit();
}

void TVNTRMain::actViewGoToTodayExecute()
{
    Calendar_->GoToToday();
}

void TVNTRMain::actViewToolbarExecute()
{
    tbMain_->setVisible(tbMain_->isHidden());
    UpdateActions();
}

void TVNTRMain::actViewStatusBarExecute()
{
    statusBar()->setVisible(statusBar()->isHidden());
    UpdateActions();
}

// ---- Help ----

void TVNTRMain::actHelpContentsExecute()
{
    ShowHelp(HelpContextContents);
}

void TVNTRMain::actHelpTipOfTheDayExecute()
{
    ShowTips(true);
}

void TVNTRMain::actHelpOnTheWebExecute()
{
    if (ZTApplication)
        OpenWebAddress(ZTApplication->WebAddresses->WebSite);
}

void TVNTRMain::actHelpSendEmailExecute()
{
    if (ZTApplication)
        SendMailTo(*ZTApplication, ZTApplication->WebAddresses->SupportEmail);
}

void TVNTRMain::actHelpAboutExecute()
{
    if (ZTApplication)
        ShowAboutBox(*ZTApplication, ZTApplication->FontName);
}
