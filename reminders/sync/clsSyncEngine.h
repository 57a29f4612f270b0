#pragma once
// The sync engine's inside, shared by its files: the requests and the run (clsSync.cpp), the
// server's side (clsSyncServer.cpp: finding the calendar, what changed there, fetching), and the
// merge into the store with the uploads that follow (clsSyncApply.cpp).

#include "clsSync.h"
#include "clsSyncDav.h"
#include "clsSyncState.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>

#include <deque>
#include <functional>
#include <optional>

namespace syncengine {
using syncstate::TVersion;

inline constexpr int TransferTimeoutMs = 30000;
inline constexpr int MultigetBatch = 100;
inline constexpr int ParallelUploads = 4;
inline constexpr int ConflictRetries = 3;

struct TReply {
    int Status = 0;
    QByteArray Body;
    QNetworkReply::NetworkError Error = QNetworkReply::NoError;
    QString ErrorText;
    QString Reason; // the HTTP reason phrase
    QByteArray ETag;
    QByteArray Location;
    QStringList TlsErrors;
};

// One upload or deletion waiting to be sent.
struct TJob {
    QString Id;
    bool Delete = false;
    bool New = false; // PUT with If-None-Match: *
    QString Href;     // decoded path
    QString IfMatch;
    TVersion Version; // what is sent (effective run flag)
    int Attempts = 0;
};

} // namespace syncengine

using namespace syncengine;
using namespace syncstate;

struct TSyncEngine::TImpl {
    TSyncEngine *q = nullptr;
    TReminders &store;
    std::function<bool()> saveStore;
    std::function<void(const QByteArray &, const QUrl &)> requestHook;
    QNetworkAccessManager nam;

    bool running = false;
    bool aborted = false;
    TSyncAccount account;
    QUrl base; // the configured address, without user info
    TSyncOutcome outcome;
    TState state;
    QUrl collection;
    QSet<QNetworkReply *> inFlight;
    bool rediscovered = false;

    // Server changes of this sync.
    QHash<QString, QString> candidates; // href key -> ETag
    QSet<QString> goneHrefs;
    bool fullListing = false;
    QHash<QString, std::pair<QString, std::optional<TVersion>>> fetched; // href key -> (ETag, reminder)

    // Uploads.
    std::deque<TJob> jobs;
    int jobsRunning = 0;
    QHash<QString, TJob> uploaded;       // Id -> the job that succeeded (read back afterwards)
    QHash<QString, QString> uploadETags; // Id -> ETag from the PUT's answer
    bool storeDirty = false;
    TImpl(TSyncEngine *owner, TReminders &s) : q(owner), store(s)
    {
        saveStore = [this] {
            store.Save();
            return true;
        };
        nam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }

    // ---- Requests ------------------------------------------------------------------------
    void Send(const QByteArray &verb, const QUrl &url, const QByteArray &body,
              const QList<std::pair<QByteArray, QByteArray>> &headers, std::function<void(const TReply &)> done);

    // Fails the sync for an answer it cannot go on with; true when it did.
    bool FailOn(const TReply &r);
    void FailStatus(const TReply &r);
    // The multistatus answer of a request; false, the sync failed, for anything else.
    bool ReadMultistatus(const TReply &r, syncdav::TMultistatus &ms);

    // Error texts of Qt may hold the URL: never with its user info.
    QString Scrub(QString text) const;
    void AbortReplies();

    // ---- Start and end ------------------------------------------------------------------
    void Begin();
    void Fail(TSyncOutcome::TFailure failure, const QString &message);
    void Finish();

    // ---- Finding the calendar ---------------------------------------------------------------
    void Discover();
    void WellKnown(const QUrl &url, int hops);
    void FindHome(const QUrl &principal);
    void ListHome(const QUrl &home);
    void UseCollection(const QUrl &url);

    // ---- What changed on the server --------------------------------------------------------
    void Changes();
    void Listing();

    // ---- Fetching what changed ---------------------------------------------------------------
    void Fetch();

    // Reads the resources (decoded paths) in batches; then goes on.
    void FetchBatch(const QStringList &hrefs, int from, std::function<void()> then);

    // ---- Merging ---------------------------------------------------------------------------
    std::optional<TVersion> LocalVersion(const QString &id) const;
    TVersion Local(const TReminder &row) const;

    // Puts one merge's outcome into the store; the caller holds the lock.
    void ApplyHere(const TMerge &m, const std::optional<TVersion> &local);

    // The state's entry for what is now on both sides (after a download or a merge without upload).
    void Record(const QString &id, const QString &href, const QString &etag, const TVersion &server,
                const std::optional<TVersion> &here);
    void QueueUpload(const QString &id, const TVersion &version, const TEntry *entry, bool serverGone);
    void MergeAll();
    bool SaveIfChanged();
    bool WriteState();

    // ---- Uploads and deletions ---------------------------------------------------------------
    void RunJobs();
    void SendJob(TJob job);

    // The server changed the resource since we read it: read it, merge again, try again.
    void Refetch(TJob job);

    // Reads back what the server stored for every upload (servers rewrite bodies) and records it.
    void ReadBack();
};
