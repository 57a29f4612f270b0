#pragma once
// The program's main window. Start-up creates it hidden once the preferences and the reminder
// store are loaded; it lives until the program ends, owns the application-wide error display
// and runs the orderly shutdown when it is destroyed or when the desktop session ends.

#include <QMainWindow>

#include <memory>

class TZTAppEvents;
class QSessionManager;

namespace Ui {
class TVNTRMain;
}

class TVNTRMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TVNTRMain(QWidget *parent = nullptr);
    ~TVNTRMain() override;

    // Saves the whole store to the database file, then redraws every view that shows
    // reminders. Every change of reminders ends here.
    void CommitAndRefresh();

    // The application-wide error display this window owns and has installed.
    TZTAppEvents *aeEvents() const { return aeEvents_; }

    // Set by the Exit commands and when the desktop session ends: lets the window really close.
    bool ExitRequested() const { return exitRequested_; }
    void SetExitRequested(bool value) { exitRequested_ = value; }

    // The session manager asks whether the program may end (log-off or system shutdown): the
    // answer is yes, and the store and the preferences are saved and released at once.
    void SessionEndQuery();

    // Sets the exit-requested flag and closes the window, which ends the program (the Exit
    // commands, the end of the session and the termination signals come here).
    void RequestExit();

    // The Help menu's services: the Tip of the Day (forced; the choice is stored in ShowTips
    // and the preferences saved), the product's web site, a mail to technical support, and the
    // About dialog. The menu's actions run these.
    void actHelpTipOfTheDayExecute();
    void actHelpOnTheWebExecute();
    void actHelpSendEmailExecute();
    void actHelpAboutExecute();

protected:
    // With CloseMinimizes on and no exit requested, closing only hides the window to the tray;
    // otherwise the window closes and the message loop ends.
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormDestroy();
    void commitDataRequest(QSessionManager &manager);
    // Redraws the views that show reminders (the second half of CommitAndRefresh).
    void RefreshViews();
    // Shows the Tip of the Day, stores the show-at-start-up choice and saves the preferences.
    void ShowTips(bool forced);

    std::unique_ptr<Ui::TVNTRMain> ui;
    TZTAppEvents *aeEvents_ = nullptr;

    bool firstScan_ = true;
    bool exitRequested_ = false;
    bool rebuilding_ = false;

    // ---- Alerting ----
public:
    // The one-second timer that drives the today information, the clock and the due scan. It
    // runs for the whole life of the window, also while an alert is open.
    class QTimer *tOnSecond = nullptr;
    // The tray icon: today's day of the month as its picture, title and clock as its hint.
    class QSystemTrayIcon *TrayIcon = nullptr;
    // The WAV player all alerts share.
    class IVNTRPlayer *Player = nullptr;
    // The tick's schedule, the scanner and the tray images (frmMainAlerts.h).
    class TVNTRAlerting *Alerting = nullptr;

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
    // ---- end Alerting ----
};
