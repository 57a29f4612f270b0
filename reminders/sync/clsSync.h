#pragma once
// Synchronization of the reminder store with a CalDAV calendar collection (RFC 4791, RFC 6578).
//
// Every reminder of the main table is one calendar resource "<Id>.ics" holding one VEVENT in the
// iCalendar mapping (clsRemindersIcs.h); a series' exclusion rows travel inside it. What was last
// exchanged with the server is kept beside the database in "<database file>.sync", written
// atomically like the database: the collection's URL, its sync token, and per reminder its href,
// ETag and the hashes of what was last exchanged (the base of the three-way merge).
//
// The engine runs on the thread of the store's owner without blocking it: every request is
// asynchronous (Qt Network), and the store is read and changed under its lock only between
// requests, never across one. The user may change the store while a sync runs; what changed
// after the sync read it is taken by the next sync.

#include "clsReminders.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

// Where and as whom to synchronize. The password is held in memory only for the sync.
struct TSyncAccount {
    // The calendar collection, or the server's address from which the calendar home is found
    // (/.well-known/caldav, current-user-principal, calendar-home-set). Plain http is accepted
    // only for loopback addresses.
    QUrl Url;
    QString User;
    QString Password;
};

// An occurrence that arrived dismissed or removed from the server: an open alert for it here
// is closed.
struct TSyncSilenced {
    QString Id;
    TDateTime Date = 0;
    TDateTime Time = 0;
};

struct TSyncOutcome {
    enum TFailure {
        None,
        Unreachable, // no connection, name not found, timeout
        Credentials, // 401/403: wrong user or password
        Tls,         // the certificate or the TLS handshake failed
        Insecure,    // plain http to an address that is not loopback
        Server,      // any other answer the sync cannot go on with (5xx, unexpected 4xx, bad XML)
        Local,       // the store could not be saved or the state file written
        Aborted,     // stopped by Abort
    };
    TFailure Failure = None;
    // What failed, in words for the status bar (e.g. "The server refused the user name or
    // password."); empty on success. Never holds the password or the user's credentials.
    QString Message;

    int Uploaded = 0;   // reminders created or changed on the server
    int Downloaded = 0; // reminders created or changed here
    int DeletedHere = 0;
    int DeletedThere = 0;
    // Reminders changed on both sides: the server's version stays, ours is kept as a new
    // reminder whose message starts with "(Conflict) ".
    int Conflicts = 0;
    // Whether rows of the store were added, changed or removed by the sync: the views show them.
    bool StoreChanged = false;
    std::vector<TSyncSilenced> Silenced;
    // HTTP requests made by this sync (a no-change sync with a sync token makes one).
    int Requests = 0;
    // The calendar collection used (after discovery).
    QUrl Collection;

    bool Ok() const { return Failure == None; }
};

class TSyncEngine : public QObject {
    Q_OBJECT

public:
    explicit TSyncEngine(TReminders &store, QObject *parent = nullptr);
    ~TSyncEngine() override;

    // Saves the store after the sync changed it and before the state file records the exchange;
    // false when the save failed (the state then stays as it was, so nothing is taken for
    // deleted on the next sync). By default the store's own Save.
    void SetSaveStore(std::function<bool()> save);

    // Called before each request is sent, with its method and address (tests change the server
    // between two requests of one sync through it).
    void SetRequestHook(std::function<void(const QByteArray &verb, const QUrl &url)> hook);

    // "<database file>.sync".
    QString StatePath() const;

    // Starts a sync and returns at once; Finished is emitted when it ends (always exactly once
    // per accepted start). False, and nothing started, while a sync is running.
    bool Start(const TSyncAccount &account);
    bool Running() const;
    // Stops a running sync at the next request boundary (Finished then reports it as failed
    // with nothing half-applied); used when the program quits.
    void Abort();

Q_SIGNALS:
    void Finished(const TSyncOutcome &outcome);

private:
    struct TImpl;
    std::unique_ptr<TImpl> d_;
};
