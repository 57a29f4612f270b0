#pragma once
// Program start-up and orderly shutdown, the single-instance lock and the three process-wide
// objects every window reaches: the application object, the preferences and the reminder store.

#include "ZTApp.h"
#include "clsOptions.h"
#include "clsReminders.h"

#include <QColor>
#include <QPixmap>
#include <QString>

#include <functional>
#include <memory>

class TSplashForm;
class TVNTRMain;

// ---- The process-wide objects ----------------------------------------------------------------
// Created by StartUp, freed by ShutDown (store, options) and ReleaseGlobals (application object,
// splash picture). Each release tests and clears its global, so releasing twice is harmless.
extern std::unique_ptr<TZTApplication> ZTApplication;
extern std::unique_ptr<TVNTROptions> Options;
extern std::unique_ptr<TReminders> Reminders;
extern std::unique_ptr<QPixmap> SplashBitmap;

// ---- Texts ----------------------------------------------------------------------------------------
inline constexpr char VNTRTitle[] = "Merrowick Ventaro!";
inline constexpr char VNTRMultipleInstances[] = "You cannot create multiple instances of Merrowick Ventaro!.";
inline constexpr char VNTRDataFileNotFound[] = "Internal database file not found. Recreating...";
inline constexpr char VNTRDataFileNotFoundDetails[] =
    "Your database file may have been corrupted. You will loose all your previous reminders.";
inline constexpr char VNTRUnexpectedStartError[] = "Unexpected error starting application.\nPlease contact Technical Support.";

// ---- Hooks that tests (and only tests) change -----------------------------------------------------
struct TVNTRStartUpHooks {
    // Ends the process at once with the given code (second instance, failed start). The
    // default flushes the standard streams and exits without running anything else.
    std::function<void(int code)> Terminate;
    // Shows the platform's information box of a second start (text, caption). The default is
    // a QMessageBox with one OK button; tests capture the call.
    std::function<void(const QString &text, const QString &caption)> InstanceMessage;
    // The program file (ExeName); empty means the running executable.
    QString ExeName;
    // How long the splash window stays up after the store is loaded, in milliseconds.
    int SplashMinimumMs = 1500;
};
TVNTRStartUpHooks &StartUpHooks();
// Puts every hook back to its default.
void ResetStartUpHooks();

// ---- Start-up ---------------------------------------------------------------------------------------
// The end of the process, carried up to the entry when a test's Terminate hook returns
// (the default hook never does). Not an exception of the program: no guard converts it.
struct TVNTRProcessEnd {
    int Code = 0;
};

// The program once the application object exists: start-up, the hidden main window, the
// termination signals and the message loop; when the loop ends, the main window is destroyed
// (which runs ShutDown). Returns the process exit code.
int VNTRRun();
// Start-up and the hidden main window, without the message loop. A failed start is shown,
// the globals are released and the process ends through StartUpHooks().Terminate; when that
// returns (tests), the result is nullptr and exitCode holds the code (0 second instance,
// 1 failure).
std::unique_ptr<TVNTRMain> VNTRStart(int &exitCode);

// Steps 1 to 12 of start-up; raises what its steps raise (the caller reports it).
void StartUp();
// Shows a start-up failure in the critical details dialog, details expanded.
void ShowStartUpFailure(const std::exception_ptr &error);

// Refuses a second instance: when another process holds the lock "KESTO", shows the notice and
// ends the process through StartUpHooks().Terminate. The lock is kept until the process ends; a
// lock left behind by a process that no longer runs is taken over.
void SingleInstanceCheck();
// The lock file's path: $XDG_RUNTIME_DIR (or, when unset, a private folder of this user in the
// temporary folder) + "/KESTO.lock"; empty when no private folder can be had.
QString SingleInstanceLockPath();
// Drops this process's lock (tests that run start-up more than once).
void ReleaseSingleInstanceLock();

// The default database file: $XDG_DATA_HOME/Merrowick/Ventaro!/ + user name + ".dat".
QString DefaultDataFileName();

// The splash picture compiled into the program, or nothing when it cannot be loaded.
std::unique_ptr<QPixmap> LoadSplashBitmap();
// Creates and shows the splash window, painted at once; copyright and notice in textColor.
void ShowSplash(const TZTApplication &application, const QPixmap *bitmap, const QColor &textColor);
// Closes and releases the splash window (nothing when none is open).
void CloseSplash();
// The open splash window, or nullptr.
TSplashForm *SplashForm();

// ---- Shutdown ------------------------------------------------------------------------------------------
// Saves and frees the store, saves and frees the preferences, then ReleaseGlobals. Each step
// runs only when its object exists, so a second call does nothing.
void ShutDown();
// Frees the splash picture and the application object.
void ReleaseGlobals();

// Ends the program through the orderly path when the process is asked to stop (SIGTERM, SIGINT,
// SIGHUP): the signal handler only writes a byte to a socket pair; the event loop reads it and
// ends the program as at the end of the desktop session (TVNTRMain::SessionEndQuery: save and
// release the store and the preferences, then close the main window), so the final save always
// runs before anything else can change. A signal that
// comes while start-up still runs closes the dialog it waits on (if any), and the program ends
// as soon as its main window exists.
void InstallTerminationSignals();
// Whether a termination signal has been received (and handled) since start.
bool TerminationSignalReceived();
// Forgets a received termination signal (tests that go on after one).
void ForgetTerminationSignal();
