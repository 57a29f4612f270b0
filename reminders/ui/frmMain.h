#pragma once
// The program's main window. Start-up creates it hidden once the preferences and the reminder
// store are loaded; it lives until the program ends, owns the application-wide error display
// and runs the orderly shutdown when it is destroyed or when the desktop session ends.
//
// Its concerns live in files of their own: frmMain.cpp (creation, layout, commit and refresh,
// preferences, form storage, closing), frmMainCommands.cpp (the actions and their handlers),
// frmMainDayView.cpp (the 48 half-hour slots), frmMainList.cpp (the list of all reminders),
// frmMainAlerts.cpp (timer, scan, tray icon) and frmMainTray.cpp (tray menu, quick calendar).

#include "ZTDateUtils.h"

#include "frmQuickCal.h"

#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TZTAppEvents;
class TZTCalendarPanel;
class TReminder;
class TRepresentation;
class TVNTRListModel;
class TVNTRDayView;
class TVNTRSync;
struct TSyncOutcome;
struct TSyncSilenced;
class QAction;
class QMenu;
class QMenuBar;
class QModelIndex;
class QScrollArea;
class QSessionManager;
class QTabWidget;
class QToolBar;
class QTreeView;

namespace Ui {
class TVNTRMain;
}

class TVNTRMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TVNTRMain(QWidget *parent = nullptr);
    ~TVNTRMain() override;

    // ---- Operations other windows call ----
    // Saves the whole store to the database file, then selects the calendar's date again,
    // which rebuilds the marks, the list and the day view (and refreshes the quick calendar).
    // Every change of reminders ends here.
    void CommitAndRefresh();
    // Takes the preferences into the open views: calendar colours, default sound, day-view
    // colours, then selects the calendar's date again.
    void ApplyPreferences();
    // Shows the window (restored when minimised); brings it to the front when asked.
    void ShowMainWindow(bool bringToFront);
    // The date caption above the day view (long date, first letter upper case); builds or
    // recolours the day view for the date when asked.
    void SetDateCaption(bool showDayView, TDateTime date);

    // The application-wide error display this window owns and has installed.
    TZTAppEvents *aeEvents() const { return aeEvents_; }

    // Set by the Exit commands and when the desktop session ends: lets the window really close.
    bool ExitRequested() const { return exitRequested_; }
    void SetExitRequested(bool value) { exitRequested_ = value; }

    // The session manager asks whether the program may end (log-off or system shutdown): the
    // answer is yes, the window placement is stored, and the store and the preferences are
    // saved and released at once.
    void SessionEndQuery();

    // Sets the exit-requested flag and closes the window, which ends the program (the Exit
    // commands, the end of the session and the termination signals come here).
    void RequestExit();

    // Applies every enabling rule of the actions at once (focus, selections, an open editing
    // dialog or quick calendar decide).
    void UpdateActions();

    // The main calendar, the list and the day view (for the quick calendar, the preferences
    // dialog and tests).
    TZTCalendarPanel *Calendar() const { return Calendar_; }
    QTreeView *lvAll() const { return lvAll_; }
    TVNTRListModel *ListModel() const { return listModel_.get(); }
    // The open quick calendar, or nullptr.
    TQuickCalendar *QuickCalendar() const { return quickCalendar_; }

    // ---- Day view ----
    TVNTRDayView *DayView() const { return dayView_; }
    // Opens the add dialog at the slot's start time on the selected date; adds on OK.
    void AddAtSlot(int slot);
    // Moves the reminder of an entry to the start of a slot of the same day (a drop, or
    // Ctrl+Up/Down on the selected entry).
    void DropEntry(QLabel *entry, int slot);

    // ---- List ----
    // Refills the list and places the day-view entries of the date.
    void RebuildLists(TDateTime date);

    // ---- Commands (every menu, toolbar button, context menu and shortcut runs one, through
    // its action) ----
private Q_SLOTS:
    void actCalendarAddReminderExecute();
    void actCalendarEditReminderExecute();
    void actCalendarRemoveReminderExecute();
    void actCalendarRemoveObsoleteExecute();
    void actCalendarImportExecute();
    void actCalendarExportExecute();
    void actCalendarBackupExecute();
    void actCalendarPreferencesExecute();
    void actCalendarExitExecute();
    void actViewGoToTodayExecute();
    void actViewJumpToExecute();
    void actViewToolbarExecute();
    void actViewStatusBarExecute();
    void actHelpContentsExecute();
    void actHelpTipOfTheDayExecute();
    void actHelpOnTheWebExecute();
    void actHelpSendEmailExecute();
    void actHelpAboutExecute();
    void actTrayCalendarExecute();
    void actTrayManagerExecute();

protected:
    // With CloseMinimizes on and no exit requested, closing only hides the window to the tray;
    // otherwise the window closes and the message loop ends.
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // ---- Creation, storage, shutdown ----
    void FormCreate();
    void FormDestroy();
    void BuildLayout();
    void commitDataRequest(QSessionManager &manager);
    // Shows the Tip of the Day, stores the show-at-start-up choice and saves the preferences.
    void ShowTips(bool forced);
    QString StorageKey() const;
    void RestoreFormStorage();
    void SaveFormStorage();
    void aeEventsMinimize();

    // ---- Actions ----
    void CreateActions();
    void CreateMenus();
    // A new action named `name`, whose trigger runs the handler inside the one guard with the
    // handler's own failure message.
    QAction *MakeAction(const char *name, const QString &caption, const QString &hint, void (TVNTRMain::*handler)() = nullptr,
                        const QString &failure = QString());
    // The reminder Edit and Remove act on: from the focused list's selected row, or else from
    // the selected day-view entry; re-read from the store. Empty when there is none.
    struct TTarget {
        std::shared_ptr<TReminder> Reminder;
        bool FromDayView = false;
    };
    std::optional<TTarget> ReminderInQuestion();
    // Adds a reminder from the add dialog: preset time (none) and date; on OK add, remember,
    // select its next occurrence, commit and refresh.
    void AddReminderAt(std::optional<TDateTime> time, TDateTime date);
    void CalendarDateSelected(TDateTime date);
    void CalendarDblClickSelectedDate(TDateTime date);
    void CalendarUpdate(TDateTime startDate, TDateTime endDate);
    bool CalendarGetMonthInfo(TDateTime date);

    // ---- Day view ----
    // Wires the day view's signals to the commands.
    void ConnectDayView();
    void DayViewEntryActivated(QLabel *entry);
    bool IsListActive() const;
    void ClearListSelection();

    // ---- List ----
    void lvAllSelectionChanged();
    void lvAllDblClick(const QModelIndex &index);

    // ---- Tray and quick calendar ----
    void CreateTrayMenu();
    void OpenQuickCalendar();
    void ReleaseQuickCalendar();

    std::unique_ptr<Ui::TVNTRMain> ui;
    // Every action of the window, created once by CreateActions; the object names are "act"
    // followed by the member's name. The three title actions give the menus their captions.
    struct TActions {
        QAction *Calendar = nullptr;
        QAction *View = nullptr;
        QAction *Help = nullptr;
        QAction *CalendarAddReminder = nullptr;
        QAction *CalendarEditReminder = nullptr;
        QAction *CalendarRemoveReminder = nullptr;
        QAction *CalendarRemoveObsolete = nullptr;
        QAction *CalendarImport = nullptr;
        QAction *CalendarExport = nullptr;
        QAction *CalendarBackup = nullptr;
        QAction *CalendarPreferences = nullptr;
        QAction *CalendarExit = nullptr;
        QAction *ViewGoToToday = nullptr;
        QAction *ViewJumpTo = nullptr;
        QAction *ViewToolbar = nullptr;
        QAction *ViewStatusBar = nullptr;
        QAction *HelpContents = nullptr;
        QAction *HelpTipOfTheDay = nullptr;
        QAction *HelpOnTheWeb = nullptr;
        QAction *HelpSendEmail = nullptr;
        QAction *HelpAbout = nullptr;
        QAction *TrayCalendar = nullptr;
        QAction *TrayManager = nullptr;
        QAction *TrayAddReminder = nullptr;
        QAction *TrayHelp = nullptr;
        QAction *TrayExit = nullptr;
    } act_;
    TZTAppEvents *aeEvents_ = nullptr;

    bool firstScan_ = true;
    bool exitRequested_ = false;
    bool storageRestored_ = false;

    // Layout
    QToolBar *tbMenu_ = nullptr;
    QMenuBar *menuBar_ = nullptr;
    QToolBar *tbMain_ = nullptr;
    TZTCalendarPanel *Calendar_ = nullptr;
    QLabel *pDate_ = nullptr;
    // Today's picture and text, and the clock, under the calendar.
    QLabel *imgToday_ = nullptr;
    QLabel *lblToday_ = nullptr;
    QLabel *lblClock_ = nullptr;
    TVNTRDayView *dayView_ = nullptr;
    QTabWidget *pcReminders_ = nullptr;
    QTreeView *lvAll_ = nullptr;
    std::unique_ptr<TVNTRListModel> listModel_;
    std::unique_ptr<struct TVNTRNextCache> nextCache_;
    QMenu *popLists_ = nullptr;
    QMenu *popPanels_ = nullptr;
    QMenu *popCalendar_ = nullptr;
    QMenu *popTray_ = nullptr;

    // The Id of the reminder whose entry the next rebuild selects and scrolls into view.
    QString reminderToSelect_;

    QPointer<TQuickCalendar> quickCalendar_;

    // ---- Alerting ----
public:
    // The one-second timer that drives the today information, the clock and the due scan. It
    // runs for the whole life of the window, also while an alert is open.
    class QTimer *OnSecondTimer() const { return tOnSecond_; }
    // The tray icon: today's day of the month as its picture, title and clock as its hint.
    class QSystemTrayIcon *TrayIcon() const { return trayIcon_; }
    // The WAV player all alerts share.
    class IVNTRPlayer *Player() const { return player_; }
    // The tick's schedule, the scanner and the tray images (frmMainAlerts.h).
    class TVNTRAlerting *Alerting() const { return alerting_; }

    // Creates the timer, the tray icon and the player, runs the today refresh and starts the
    // timer. FormCreate calls it once.
    void InitAlerting();
    // Today label and tray icon for the current date.
    void TodayRefresh();
    // Clock label and tray hint for the current moment.
    void ClockRefresh();
    // Finds and handles the reminders due at now (a TDateTime).
    void Scan(bool catchUp, double now);
    // Puts another player in place of the window's own (tests); nullptr restores it.
    void SetPlayer(class IVNTRPlayer *player);

private Q_SLOTS:
    void tOnSecondTimer();
    // The login manager's PrepareForSleep: false when the system has just resumed.
    void LoginPrepareForSleep(bool sleeping);

private:
    void RunTick(bool resume);
    void TodayRefreshAt(const class QDateTime &now);
    void ClockRefreshAt(const class QDateTime &now);
    QTimer *tOnSecond_ = nullptr;
    QSystemTrayIcon *trayIcon_ = nullptr;
    IVNTRPlayer *player_ = nullptr;
    TVNTRAlerting *alerting_ = nullptr;
    // ---- end Alerting ----

    // ---- Outside edits of the database file, and saves that fail ----
public:
    // When another program changed the database file: merges its rows with ours (see
    // TReminders::SaveOrMerge) and refreshes the views. Runs when the watcher reports a change,
    // once it has settled.
    void CheckDatabaseFile();
    // The notice about the file shown in the status bar and the tray hint (empty when none).
    QString FileNotice() const { return fileNotice_; }
    // Whether the last save failed; the changes stay in memory and are saved at the next change
    // or minute.
    bool SaveFailing() const { return saveFailing_; }
    // Saves what a failed save left unsaved (each minute's scan runs it).
    void RetryPendingSave();
    // The start-up could not save: told once, and retried like any failed save.
    void StartUpSaveFailed(const std::exception_ptr &failure);
    // Shows the messages of the watch and the saves that waited while an alert was on screen.
    void ShowPendingFileMessages();

private Q_SLOTS:
    // The file or its folder changed (also by our own saves): the check runs once the other
    // program has finished writing.
    void fswDatabaseChanged();

private:
    // Watches the file and its folder; puts the watch on the file again after it was replaced.
    void WatchDatabaseFile();
    // The save of commit and refresh (see CheckDatabaseFile), then the watch renewed. A save
    // that fails is told once; the changes stay in memory.
    void SaveDatabaseFile();
    // Hands the warning of a conflict copy the last save kept to the error display, once.
    void ReportDatabaseConflict();
    void SetFileNotice(const QString &text);
    // A message of the watch or the saves: shown now, or when no alert is on screen any more.
    void ShowFileMessage(const std::exception_ptr &message);
    bool AlertOnScreen() const;
    std::vector<std::exception_ptr> pendingFileMessages_;
    QString fileNotice_;
    QLabel *lblFileNotice_ = nullptr;
    bool saveFailing_ = false;
    class QFileSystemWatcher *fswDatabase_ = nullptr;
    class QTimer *tDatabaseSettle_ = nullptr;

    // ---- Calendar sync (frmMainSync.cpp) ----
public:
    // The sync of the running program (nullptr without a store).
    TVNTRSync *Sync() const { return sync_; }
    // The start-up catch-up waits this long at most for the first sync.
    static constexpr int StartUpSyncWaitMs = 5000;
    // Whether the start-up catch-up is waiting for the first sync.
    bool FirstScanHeld() const { return holdFirstScan_; }
    // Takes the sync settings of the preferences.
    void ApplySyncOptions();
    // The last sync's result and failure, as the tray hint shows it (empty when none).
    QString SyncNotice() const { return syncNotice_; }

private:
    void InitSync();
    void StopSync();
    // The start-up catch-up stops waiting (the first sync ended, or took too long).
    void ReleaseFirstScan();
    // A save of ours: the sync follows a few seconds later.
    void SyncSoonAfterSave();
    void SyncFinished(const TSyncOutcome &outcome);
    void SyncStatusChanged(const QString &text);
    void SetSyncNotice(const QString &text);
    // Closes the open alerts of occurrences that arrived dismissed.
    void CloseSilencedAlerts(const std::vector<TSyncSilenced> &silenced);
    TVNTRSync *sync_ = nullptr;
    class QTimer *tStartUpSync_ = nullptr;
    QLabel *lblSyncStatus_ = nullptr;
    QString syncNotice_;
    bool holdFirstScan_ = false;
    bool savingForSync_ = false;
};
