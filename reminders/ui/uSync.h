#pragma once
// When the calendar sync runs, with which password, and what the user is told about it.
//
// TVNTRSync owns the sync engine of the running program. It runs a sync after start-up's load,
// a few seconds after every save, every SyncInterval minutes, after resume from suspend and on
// "Synchronize now"; never two at once (a request during a sync runs once that one ends). A
// failed sync is tried again after growing delays and never opens a box: the status text says
// what failed and when the next try is. The password comes from the password command when one
// is set, else from the desktop's keyring (Secret Service through QtKeychain); it is held only
// for the sync and never written to the settings, a log or a message.

#include "clsSync.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class QProcess;
class QTimer;
class TVNTROptions;

class TVNTRSync : public QObject {
    Q_OBJECT

public:
    TVNTRSync(TReminders &store, QObject *parent = nullptr);
    ~TVNTRSync() override;

    // The save the engine runs after it changed the store (true when it worked).
    void SetSaveStore(std::function<bool()> save);

    // Takes the sync settings: on or off, the interval. Turning it on syncs at once.
    void ApplyOptions(const TVNTROptions &options);
    bool Enabled() const { return enabled_; }

    // A sync now (start-up, resume, "Synchronize now"), or as soon as the running one ends.
    void SyncNow();
    // A sync a few seconds from now (after a save): changes made in a row travel together.
    void SyncSoon();
    bool Running() const;
    // Stops a running sync and every timer (the program quits).
    void Stop();

    // The last result in words ("Synchronized at 10:42." or what failed and when the next try
    // is); empty before the first sync.
    QString StatusText() const { return status_; }
    // Consecutive failed syncs, and the delay before the next try after that many.
    int Failures() const { return failures_; }
    static int RetryDelaySeconds(int failures);
    // The seconds a save waits before its sync.
    static constexpr int AfterSaveDelaySeconds = 5;

    // The engine (tests).
    TSyncEngine *Engine() const { return engine_; }

    // ---- Password ----
    // The keyring entry of an account: service "Ventaro!", key "user@url".
    static QString KeyringKey(const QString &user, const QString &url);
    // Stores the password in the keyring (asynchronously); done gets the failure in words, or
    // an empty text.
    static void StorePassword(const QString &user, const QString &url, const QString &password,
                              std::function<void(const QString &failure)> done = {});
    // Stores the password in the keyring and uses it for this account from now on in this
    // session, also while the keyring is unavailable.
    void UsePassword(const QString &user, const QString &url, const QString &password,
                     std::function<void(const QString &failure)> done = {});

Q_SIGNALS:
    // After every sync, with its outcome (the window refreshes its views, closes alerts for
    // occurrences dismissed elsewhere, tells about conflicts).
    void Finished(const TSyncOutcome &outcome);
    void StatusChanged(const QString &text);

private:
    void Begin();
    // The password arrived (or could not be found: failure says why).
    void WithPassword(const QString &password, const QString &failure);
    void EngineFinished(const TSyncOutcome &outcome);
    // A sync that ends before the engine starts (no password, no valid address): told like
    // one the engine ended.
    void FailBeforeSync(TSyncOutcome::TFailure failure, const QString &message);
    void SetStatus(const QString &text);
    void Fail(const QString &message);
    void ReadPasswordCommand();
    void ReadKeyring();

    TReminders &store_;
    TSyncEngine *engine_ = nullptr;
    QTimer *tInterval_ = nullptr;
    QTimer *tSoon_ = nullptr;
    QTimer *tRetry_ = nullptr;
    QProcess *passwordCommand_ = nullptr;
    bool enabled_ = false;
    // A sync is being prepared (password being read) or running.
    bool busy_ = false;
    // A request came while busy: one more sync when this one ends.
    bool again_ = false;
    int failures_ = 0;
    TSyncAccount account_;
    QString passwordCommandText_;
    // The password typed in this session, for the account of heldKey_.
    QString heldKey_;
    QString heldPassword_;
    bool passwordChanged_ = false;
    QString status_;
};
