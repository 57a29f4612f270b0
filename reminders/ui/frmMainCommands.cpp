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
const QString kActionsUpdateError = QStringLiteral("Internal Actions Update error.");
// CSV stays first, so the dialogs still start on it; iCalendar files are offered beside it.
const QString kExchangeFilter =
    QStringLiteral("Comma Separated Values (*.csv)|*.csv|iCalendar files (*.ics)|*.ics|All Files (*.*)|*.*");

// Whether a chosen export name asks for iCalendar (its extension), or an import file is one
// (its content, whatever its name).
bool IsIcsName(const QString &file)
{
    return file.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive)
           || file.endsWith(QLatin1String(".ical"), Qt::CaseInsensitive)
           || file.endsWith(QLatin1String(".ifb"), Qt::CaseInsensitive);
}

bool IsIcsFile(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) && LooksLikeIcs(f.read(64));
}
} // namespace

// ---- The action list ----

QAction *TVNTRMain::MakeAction(const char *name, const QString &caption, const QString &hint, void (TVNTRMain::*handler)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(hint);
    action->setToolTip(QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
}

void TVNTRMain::CreateActions()
{
    const auto image = [](QAction *action, int index) { action->setIcon(TVNTRMenuImages::Icon(index)); };
    const QString title = ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);

    MakeAction("actCalendar", QStringLiteral("&Calendar"), QStringLiteral("Calendar commands"), nullptr);
    MakeAction("actView", QStringLiteral("&View"), QStringLiteral("View commands"), nullptr);
    MakeAction("actHelp", QStringLiteral("&Help"), QStringLiteral("Help commands"), nullptr);

    QAction *a = MakeAction("actCalendarAddReminder", QStringLiteral("&Add Reminder..."), QStringLiteral("Add a new reminder"),
                            &TVNTRMain::actCalendarAddReminderExecute);
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    image(a, TVNTRMenuImages::Add);
    a = MakeAction("actCalendarEditReminder", QStringLiteral("&Edit Reminder..."), QStringLiteral("Edit selected reminder"),
                   &TVNTRMain::actCalendarEditReminderExecute);
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    image(a, TVNTRMenuImages::Edit);
    a = MakeAction("actCalendarRemoveReminder", QStringLiteral("&Remove Reminder"), QStringLiteral("Remove selected reminder"),
                   &TVNTRMain::actCalendarRemoveReminderExecute);
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    image(a, TVNTRMenuImages::Remove);
    MakeAction("actCalendarRemoveObsolete", QStringLiteral("Re&move Obsolete"), QStringLiteral("Remove all past reminders"),
               &TVNTRMain::actCalendarRemoveObsoleteExecute);
    MakeAction("actCalendarImport", QStringLiteral("&Import..."), QStringLiteral("Import reminders from a file"),
               &TVNTRMain::actCalendarImportExecute);
    MakeAction("actCalendarExport", QStringLiteral("E&xport..."), QStringLiteral("Export reminders to a file"),
               &TVNTRMain::actCalendarExportExecute);
    MakeAction("actCalendarBackup", QStringLiteral("&Backup..."), QStringLiteral("Backup current reminder data"),
               &TVNTRMain::actCalendarBackupExecute);
    MakeAction("actCalendarPreferences", QStringLiteral("&Preferences..."), QStringLiteral("Application preferences"),
               &TVNTRMain::actCalendarPreferencesExecute);
    MakeAction("actCalendarExit", QStringLiteral("E&xit"), QStringLiteral("Exit ") + title, &TVNTRMain::actCalendarExitExecute);
    MakeAction("actViewGoToToday", QStringLiteral("&Go To Today"), QStringLiteral("Go to today"),
               &TVNTRMain::actViewGoToTodayExecute);
    MakeAction("actViewJumpTo", QStringLiteral("&Jump To"), QStringLiteral("Jump to selected reminder"),
               &TVNTRMain::actViewJumpToExecute);
    a = MakeAction("actViewToolbar", QStringLiteral("&Toolbar"), QStringLiteral("Show/hide toolbar"), &TVNTRMain::actViewToolbarExecute);
    a->setCheckable(true);
    a = MakeAction("actViewStatusBar", QStringLiteral("&Status Bar"), QStringLiteral("Show/hide status bar"),
                   &TVNTRMain::actViewStatusBarExecute);
    a->setCheckable(true);
    a = MakeAction("actHelpContents", title + QStringLiteral(" &Help"), title + QStringLiteral(" help contents"),
                   &TVNTRMain::actHelpContentsExecute);
    a->setShortcut(QKeySequence(Qt::Key_F1));
    // F1 of the main window opens the contents; dialogs keep their own F1.
    a->setShortcutContext(Qt::WindowShortcut);
    image(a, TVNTRMenuImages::Help);
    MakeAction("actHelpTipOfTheDay", QStringLiteral("&Tip Of The Day"), QStringLiteral("Show the Tip of the Day dialog"),
               &TVNTRMain::actHelpTipOfTheDayExecute);
    MakeAction("actHelpOnTheWeb", QStringLiteral("Merrowick On The &Web"), QStringLiteral("Merrowick on the Web"),
               &TVNTRMain::actHelpOnTheWebExecute);
    MakeAction("actHelpSendEmail", QStringLiteral("&Send Email"), QStringLiteral("Send email to Merrowick"),
               &TVNTRMain::actHelpSendEmailExecute);
    MakeAction("actHelpAbout", QStringLiteral("&About..."), QStringLiteral("About ") + title, &TVNTRMain::actHelpAboutExecute);
    MakeAction("actTrayCalendar", QStringLiteral("&Quick Calendar"), QStringLiteral("Open Quick Calendar"),
               &TVNTRMain::actTrayCalendarExecute);
    MakeAction("actTrayManager", QStringLiteral("&Open Ventaro!"), QStringLiteral("Open ") + title + QStringLiteral(" main window"),
               &TVNTRMain::actTrayManagerExecute);
    MakeAction("actTrayAddReminder", QStringLiteral("&Add Reminder..."), QStringLiteral("Add a new reminder"),
               &TVNTRMain::actCalendarAddReminderExecute);
    MakeAction("actTrayHelp", QStringLiteral("&Help"), title + QStringLiteral(" help contents"), &TVNTRMain::actHelpContentsExecute);
    MakeAction("actTrayExit", QStringLiteral("E&xit"), QStringLiteral("Exit ") + title, &TVNTRMain::actCalendarExitExecute);
}

namespace {
QAction *Act(const QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void Fill(QWidget *target, const QWidget *window, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (!name) {
            auto *separator = new QAction(target);
            separator->setSeparator(true);
            target->addAction(separator);
        } else {
            target->addAction(Act(window, name));
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

    const auto menu = [this](const char *titleAction, const char *objectName) {
        QAction *title = Act(this, titleAction);
        QMenu *m = menuBar_->addMenu(title->text());
        m->setObjectName(QString::fromLatin1(objectName));
        m->menuAction()->setStatusTip(title->statusTip());
        return m;
    };
    QMenu *calendar = menu("actCalendar", "mnuCalendar");
    Fill(calendar, this,
         {"actCalendarAddReminder", "actCalendarEditReminder", "actCalendarRemoveReminder", nullptr, "actCalendarRemoveObsolete",
          nullptr, "actCalendarImport", "actCalendarExport", nullptr, "actCalendarBackup", nullptr, "actCalendarPreferences",
          nullptr, "actCalendarExit"});
    QMenu *view = menu("actView", "mnuView");
    Fill(view, this, {"actViewGoToToday", nullptr, "actViewJumpTo", nullptr, "actViewToolbar", "actViewStatusBar"});
    QMenu *help = menu("actHelp", "mnuHelp");
    Fill(help, this,
         {"actHelpContents", "actHelpTipOfTheDay", nullptr, "actHelpOnTheWeb", "actHelpSendEmail", nullptr, "actHelpAbout"});
    for (QMenu *m : {calendar, view})
        connect(m, &QMenu::aboutToShow, this, &TVNTRMain::UpdateActions);

    tbMain_ = new QToolBar(QStringLiteral("Standard Toolbar"), this);
    tbMain_->setObjectName(QStringLiteral("tbMain"));
    tbMain_->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    tbMain_->setIconSize(QSize(16, 16));
    Fill(tbMain_, this,
         {"actCalendarAddReminder", "actCalendarEditReminder", "actCalendarRemoveReminder", nullptr, "actViewGoToToday", nullptr,
          "actHelpContents"});
    addToolBar(Qt::TopToolBarArea, tbMain_);
    // The buttons a narrow window folds away are reached through this button of each bar.
    for (auto [bar, name] : {std::pair{tbMenu_, "More menus"}, std::pair{tbMain_, "More toolbar buttons"}})
        if (auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(QString::fromLatin1(name));

    popLists_ = new QMenu(this);
    popLists_->setObjectName(QStringLiteral("popLists"));
    Fill(popLists_, this, {"actCalendarAddReminder", "actCalendarEditReminder", "actCalendarRemoveReminder", nullptr, "actViewJumpTo"});
    popPanels_ = new QMenu(this);
    popPanels_->setObjectName(QStringLiteral("popPanels"));
    Fill(popPanels_, this, {"actCalendarAddReminder", "actCalendarEditReminder", "actCalendarRemoveReminder"});
    popCalendar_ = new QMenu(this);
    popCalendar_->setObjectName(QStringLiteral("popCalendar"));
    Fill(popCalendar_, this, {"actCalendarAddReminder", nullptr, "actViewGoToToday"});
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
        Act(this, "actCalendarEditReminder")->setEnabled(target);
        Act(this, "actCalendarRemoveReminder")->setEnabled(target);
        Act(this, "actViewJumpTo")->setEnabled(listSelection);
        // Hidden only when hidden on purpose: a hidden window still shows a check mark.
        Act(this, "actViewToolbar")->setChecked(!tbMain_->isHidden());
        Act(this, "actViewStatusBar")->setChecked(!statusBar()->isHidden());
        const bool quick = !ReminderDialogOpen;
        Act(this, "actTrayCalendar")->setEnabled(quick);
        Act(this, "actTrayAddReminder")->setEnabled(quick && quickCalendar_.isNull());
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
    ZTGuard(TZTRaise::PassThrough, kAddError, [this] {
        if (QFrame *slot = dayView_->SelectedSlot()) {
            AddAtSlot(dayView_->SlotOf(slot));
            return;
        }
        AddReminderAt(std::nullopt, Calendar_->SelectedDate());
    });
}

void TVNTRMain::actCalendarEditReminderExecute()
{
    ZTGuard(TZTRaise::PassThrough, kEditError, [this] {
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
    });
}

void TVNTRMain::actCalendarRemoveReminderExecute()
{
    ZTGuard(TZTRaise::PassThrough, kRemoveError, [this] {
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
    });
}

void TVNTRMain::actCalendarRemoveObsoleteExecute()
{
    ZTGuard(TZTRaise::PassThrough, kObsoleteError, [this] {
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
    });
}

// ---- Import, export, backup ----

void TVNTRMain::actCalendarImportExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        TZTFileDialogOptions options;
        options.Kind = TZTFileDialogOptions::Open;
        options.Title = QStringLiteral("Import Reminders...");
        options.Filter = kExchangeFilter;
        options.DefaultExt = QStringLiteral("csv");
        options.FileMustExist = true;
        options.PathMustExist = true;
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
    });
}

void TVNTRMain::actCalendarExportExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        TZTFileDialogOptions options;
        options.Kind = TZTFileDialogOptions::Save;
        options.Title = QStringLiteral("Export Reminders...");
        options.Filter = kExchangeFilter;
        options.DefaultExt = QStringLiteral("csv");
        options.OverwritePrompt = true;
        options.PathMustExist = true;
        const QString file = ZTExecuteFileDialog(this, options);
        if (file.isEmpty() || !Reminders)
            return;
        if (IsIcsName(file))
            ExportIcs(*Reminders, file);
        else
            Reminders->ExportCsv(file);
    });
}

void TVNTRMain::actCalendarBackupExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        TZTFileDialogOptions options;
        options.Kind = TZTFileDialogOptions::Save;
        options.Title = QStringLiteral("Backup Reminders...");
        options.Filter = QStringLiteral("Jotbell Backup Files (*.jbb)|*.jbb|All Files (*.*)|*.*");
        options.DefaultExt = QStringLiteral("jbb");
        options.OverwritePrompt = true;
        const QString file = ZTExecuteFileDialog(this, options);
        if (!file.isEmpty() && Reminders)
            Reminders->CopyDatabaseTo(file);
    });
}

// ---- Preferences, exit, view ----

void TVNTRMain::actCalendarPreferencesExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        ShowPreferencesDialog(this, [this] {
            ApplyPreferences();
            if (quickCalendar_)
                quickCalendar_->ApplyColours();
        });
    });
}

void TVNTRMain::actCalendarExitExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { RequestExit(); });
}

void TVNTRMain::actViewGoToTodayExecute()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing click."), [this] { Calendar_->GoToToday(); });
}

void TVNTRMain::actViewToolbarExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        tbMain_->setVisible(tbMain_->isHidden());
        UpdateActions();
    });
}

void TVNTRMain::actViewStatusBarExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        statusBar()->setVisible(statusBar()->isHidden());
        UpdateActions();
    });
}

// ---- Help ----

void TVNTRMain::actHelpContentsExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [] { ShowHelp(HelpContextContents); });
}

void TVNTRMain::actHelpTipOfTheDayExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { ShowTips(true); });
}

void TVNTRMain::actHelpOnTheWebExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [] {
        if (ZTApplication)
            OpenWebAddress(ZTApplication->WebAddresses->WebSite);
    });
}

void TVNTRMain::actHelpSendEmailExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [] {
        if (ZTApplication)
            SendMailTo(*ZTApplication, ZTApplication->WebAddresses->SupportEmail);
    });
}

void TVNTRMain::actHelpAboutExecute()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [] {
        if (ZTApplication)
            ShowAboutBox(*ZTApplication, ZTApplication->FontName);
    });
}
