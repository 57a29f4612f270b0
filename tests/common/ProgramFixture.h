#pragma once
// The program's globals for a GUI test: a pinned clock, the application object, the preferences
// and a store in a throwaway folder, and the errors the application-wide handler receives.
// Set up by Start (in a test's init), released in the right order by Stop (in its cleanup, after
// the window), so no test leaves a global behind for the next.

#include "ZTApp.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "uMain.h"

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class TProgramFixture {
public:
    // The store's file in the throwaway folder.
    QString DataFile() const { return dir_ ? dir_->filePath(QStringLiteral("reminders.dat")) : QString(); }
    QString Path(const QString &name) const { return dir_ ? dir_->filePath(name) : QString(); }
    QString Folder() const { return dir_ ? dir_->path() : QString(); }
    // Messages of every exception handed to the application-wide handler since Start.
    QStringList Errors;

    // Pins the clock at `now` (when valid) and makes the globals: the application object (the
    // product's title and key), the preferences (no tips at start, the work week as the store's),
    // and an empty store on DataFile().
    void Start(const QDateTime &now = QDateTime())
    {
        dir_ = std::make_unique<QTemporaryDir>();
        if (now.isValid())
            ZTPinClock(now);
        ZTApplication = std::make_unique<TZTApplication>();
        ZTApplication->Title = QStringLiteral("Merrowick Ventaro!");
        ZTApplication->RegistryKey = QStringLiteral("Software\\Merrowick\\Merrowick Deskware\\Ventaro!");
        Options = std::make_unique<TVNTROptions>();
        Options->ShowTips = false;
        Reminders = std::make_unique<TReminders>(DataFile());
        Reminders->WorkDaysSource = [] { return Options ? Options->WorkDays : QString(); };
        Errors.clear();
    }

    // Collects what reaches the application-wide handler in Errors (after the main window is
    // made: it installs its own error display): the message, or "message|details".
    void CatchErrors(bool withDetails = false)
    {
        ZTSetExceptionHandler([this, withDetails](const std::exception_ptr &error) {
            try {
                std::rethrow_exception(error);
            } catch (const EZTException &e) {
                Errors << (withDetails ? e.Message() + QLatin1Char('|') + e.Details() : e.Message());
            } catch (...) {
                Errors << (withDetails ? QStringLiteral("not an EZTException") : ZTExceptionMessage(error));
            }
        });
    }

    // Releases everything Start made, the window first (the caller resets it before).
    void Stop()
    {
        ZTSetExceptionHandler({});
        ZTResetClock();
        Reminders.reset();
        Options.reset();
        ZTApplication.reset();
        dir_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};
