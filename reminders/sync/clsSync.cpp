#include "clsSync.h"

#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "clsRemindersIcs.h"
#include "clsSyncDav.h"
#include "clsSyncState.h"

#include <QCryptographicHash>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSet>
#include <QSslError>
#include <QTimer>
#include <QUuid>

#include <deque>
#include <mutex>
#include <optional>

using namespace syncdav;
using namespace syncstate;

namespace {

constexpr int TransferTimeoutMs = 30000;
constexpr int MultigetBatch = 100;
constexpr int ParallelUploads = 4;
constexpr int ConflictRetries = 3;

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
    bool New = false;      // PUT with If-None-Match: *
    QString Href;          // decoded path
    QString IfMatch;
    TVersion Version;      // what is sent (effective run flag)
    int Attempts = 0;
};

} // namespace

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
    QHash<QString, TJob> uploaded; // Id -> the job that succeeded (read back afterwards)
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
    void Send(const QByteArray &verb, const QUrl &url, const QByteArray &body, const QList<std::pair<QByteArray, QByteArray>> &headers,
              std::function<void(const TReply &)> done)
    {
        QNetworkRequest req(url);
        req.setTransferTimeout(TransferTimeoutMs);
        req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        if (!account.User.isEmpty() || !account.Password.isEmpty())
            req.setRawHeader("Authorization", "Basic " + (account.User + QLatin1Char(':') + account.Password).toUtf8().toBase64());
        if (!body.isEmpty())
            req.setRawHeader("Content-Type", "application/xml; charset=utf-8");
        for (const auto &[name, value] : headers)
            req.setRawHeader(name, value);
        ++outcome.Requests;
        if (requestHook)
            requestHook(verb, url);
        QNetworkReply *reply = nam.sendCustomRequest(req, verb, body);
        inFlight.insert(reply);
        auto tls = std::make_shared<QStringList>();
        QObject::connect(reply, &QNetworkReply::sslErrors, reply, [tls](const QList<QSslError> &errors) {
            for (const QSslError &e : errors)
                *tls << e.errorString();
        });
        QObject::connect(reply, &QNetworkReply::finished, q, [this, reply, tls, done = std::move(done)] {
            inFlight.remove(reply);
            reply->deleteLater();
            if (!running)
                return;
            if (aborted) {
                Fail(TSyncOutcome::Aborted, QStringLiteral("The sync was stopped."));
                return;
            }
            TReply r;
            r.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            r.Reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            r.Body = reply->readAll();
            r.Error = reply->error();
            r.ErrorText = reply->errorString();
            r.ETag = reply->rawHeader("ETag");
            r.Location = reply->rawHeader("Location");
            r.TlsErrors = *tls;
            done(r);
        });
    }

    // Fails the sync for an answer it cannot go on with; true when it did.
    bool FailOn(const TReply &r)
    {
        if (!r.TlsErrors.isEmpty() || r.Error == QNetworkReply::SslHandshakeFailedError) {
            Fail(TSyncOutcome::Tls, QStringLiteral("The calendar server's certificate could not be verified: %1.")
                                        .arg(r.TlsErrors.isEmpty() ? r.ErrorText : r.TlsErrors.join(QStringLiteral("; "))));
            return true;
        }
        if (r.Status == 0) {
            const QString why = r.Error == QNetworkReply::OperationCanceledError || r.Error == QNetworkReply::TimeoutError
                                    ? QStringLiteral("no answer within %1 seconds").arg(TransferTimeoutMs / 1000)
                                    : r.ErrorText;
            Fail(TSyncOutcome::Unreachable, QStringLiteral("Cannot reach the calendar server (%1).").arg(Scrub(why)));
            return true;
        }
        if (r.Status == 401) {
            Fail(TSyncOutcome::Credentials, QStringLiteral("The calendar server refused the user name or password."));
            return true;
        }
        return false;
    }

    void FailStatus(const TReply &r)
    {
        if (FailOn(r))
            return;
        if (r.Status == 403) {
            Fail(TSyncOutcome::Credentials, QStringLiteral("The calendar server does not let this user use the calendar."));
            return;
        }
        Fail(TSyncOutcome::Server, QStringLiteral("The calendar server answered %1 %2.").arg(r.Status).arg(r.Reason).trimmed().replace(QStringLiteral(" ."), QStringLiteral(".")));
    }

    // Error texts of Qt may hold the URL: never with its user info.
    QString Scrub(QString text) const
    {
        if (!account.Password.isEmpty())
            text.replace(account.Password, QStringLiteral("…"));
        return text;
    }

    void AbortReplies()
    {
        const QList<QNetworkReply *> replies = inFlight.values();
        inFlight.clear();
        for (QNetworkReply *r : replies)
            r->abort();
    }

    // ---- Start and end ------------------------------------------------------------------
    void Begin()
    {
        const QString scheme = account.Url.scheme().toLower();
        if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
            Fail(TSyncOutcome::Server, QStringLiteral("The calendar address must begin with https://."));
            return;
        }
        if (scheme == QLatin1String("http") && !IsLoopbackHost(account.Url.host())) {
            Fail(TSyncOutcome::Insecure, QStringLiteral("Plain http is accepted only for this computer's own address; use https."));
            return;
        }
        base = account.Url.adjusted(QUrl::RemoveUserInfo);
        const QString key = QString::fromLatin1(
            QCryptographicHash::hash((Printable(base) + QLatin1Char('\n') + account.User).toUtf8(), QCryptographicHash::Sha256).toHex());
        state = LoadState(q->StatePath());
        if (state.Account != key) {
            // Another server or user: a first sync, merged by Id.
            state = TState();
            state.Account = key;
        }
        if (!state.Collection.isEmpty()) {
            collection = QUrl(state.Collection);
            outcome.Collection = collection;
            Changes();
        } else {
            Discover();
        }
    }

    void Fail(TSyncOutcome::TFailure failure, const QString &message)
    {
        outcome.Failure = failure;
        outcome.Message = message;
        Finish();
    }

    void Finish()
    {
        if (!running)
            return;
        running = false;
        AbortReplies();
        const TSyncOutcome out = outcome;
        QTimer::singleShot(0, q, [q = QPointer<TSyncEngine>(q), out] {
            if (q)
                Q_EMIT q->Finished(out);
        });
    }

    // ---- Finding the calendar ---------------------------------------------------------------
    void Discover()
    {
        Send("PROPFIND", base, PropfindCollectionBody(), {{"Depth", "0"}}, [this](const TReply &r) {
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (ms.Ok && !ms.Responses.empty() && ms.Responses[0].Calendar) {
                UseCollection(AsCollection(base));
                return;
            }
            if (FailOn(r))
                return;
            if (ms.Ok && !ms.Responses.empty() && !ms.Responses[0].PrincipalHref.isEmpty()) {
                FindHome(base.resolved(QUrl(ms.Responses[0].PrincipalHref)));
                return;
            }
            WellKnown(base.resolved(QUrl(QStringLiteral("/.well-known/caldav"))), 0);
        });
    }

    void WellKnown(const QUrl &url, int hops)
    {
        Send("PROPFIND", url, PropfindPrincipalBody(), {{"Depth", "0"}}, [this, url, hops](const TReply &r) {
            if (FailOn(r))
                return;
            if (r.Status >= 300 && r.Status < 400 && !r.Location.isEmpty() && hops < 5) {
                const QUrl next = url.resolved(QUrl(QString::fromUtf8(r.Location)));
                if (next.scheme() != url.scheme() || next.host() != url.host()) {
                    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server sent the sync to another address (%1).").arg(Printable(next)));
                    return;
                }
                WellKnown(next, hops + 1);
                return;
            }
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok || ms.Responses.empty() || ms.Responses[0].PrincipalHref.isEmpty()) {
                if (r.Status == 207 || r.Status == 404)
                    Fail(TSyncOutcome::Server, QStringLiteral("No calendar was found at %1.").arg(Printable(base)));
                else
                    FailStatus(r);
                return;
            }
            FindHome(url.resolved(QUrl(ms.Responses[0].PrincipalHref)));
        });
    }

    void FindHome(const QUrl &principal)
    {
        Send("PROPFIND", principal, PropfindHomeBody(), {{"Depth", "0"}}, [this, principal](const TReply &r) {
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok || ms.Responses.empty() || ms.Responses[0].HomeHref.isEmpty()) {
                if (!FailOn(r))
                    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server did not say where this user's calendars are."));
                return;
            }
            ListHome(AsCollection(principal.resolved(QUrl(ms.Responses[0].HomeHref))));
        });
    }

    void ListHome(const QUrl &home)
    {
        Send("PROPFIND", home, PropfindCollectionBody(), {{"Depth", "1"}}, [this, home](const TReply &r) {
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok) {
                if (r.Status == 207)
                    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server's answer could not be read (%1).").arg(ms.Error));
                else
                    FailStatus(r);
                return;
            }
            for (const TDavResponse &c : ms.Responses) {
                if (c.Calendar && (c.Components.isEmpty() || c.Components.contains(QLatin1String("VEVENT")))) {
                    UseCollection(AsCollection(home.resolved(QUrl(c.Href))));
                    return;
                }
            }
            // No calendar yet: make one.
            const QUrl made = AsCollection(home.resolved(QUrl(QUuid::createUuid().toString(QUuid::WithoutBraces))));
            Send("MKCALENDAR", made, MkcalendarBody(QStringLiteral("Ventaro!")), {}, [this, made](const TReply &r2) {
                if (r2.Status == 201 || r2.Status == 200)
                    UseCollection(made);
                else
                    FailStatus(r2);
            });
        });
    }

    void UseCollection(const QUrl &url)
    {
        collection = url;
        outcome.Collection = url;
        if (state.Collection != url.toString()) {
            // Another collection than the state knows: its token and ETags mean nothing there.
            const QString account = state.Account;
            state = TState();
            state.Account = account;
            state.Collection = url.toString();
        }
        Changes();
    }

    // ---- What changed on the server --------------------------------------------------------
    void Changes()
    {
        const QString token = state.Token;
        Send("REPORT", collection, SyncCollectionBody(token), {}, [this, token](const TReply &r) {
            if (FailOn(r))
                return;
            if (r.Status == 404 && !rediscovered && state.Collection == collection.toString()) {
                // The remembered calendar is gone: find or make one again.
                rediscovered = true;
                const QString account = state.Account;
                state = TState();
                state.Account = account;
                Discover();
                return;
            }
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok || ms.SyncToken.isEmpty()) {
                // An expired token (403/409 valid-sync-token, 400 on some servers) or no support
                // for the report: the whole listing, compared with the state.
                if (r.Status == 207 || r.Status == 400 || r.Status == 403 || r.Status == 409 || r.Status == 412 || r.Status == 415 ||
                    r.Status == 501 || r.Status == 405) {
                    state.Token.clear();
                    Listing();
                } else {
                    FailStatus(r);
                }
                return;
            }
            fullListing = token.isEmpty();
            for (const TDavResponse &resp : ms.Responses) {
                const QString key = HrefKey(collection.resolved(QUrl(resp.Href)).toString());
                if (key == HrefKey(collection.toString()))
                    continue;
                if (resp.Status == 404)
                    goneHrefs.insert(key);
                else
                    candidates.insert(key, resp.ETag);
            }
            state.Token = ms.SyncToken;
            Fetch();
        });
    }

    void Listing()
    {
        Send("PROPFIND", collection, PropfindEtagBody(), {{"Depth", "1"}}, [this](const TReply &r) {
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok) {
                if (r.Status == 207)
                    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server's answer could not be read (%1).").arg(ms.Error));
                else
                    FailStatus(r);
                return;
            }
            fullListing = true;
            for (const TDavResponse &resp : ms.Responses) {
                if (resp.Collection || resp.Status != 200)
                    continue;
                candidates.insert(HrefKey(collection.resolved(QUrl(resp.Href)).toString()), resp.ETag);
            }
            Fetch();
        });
    }

    // ---- Fetching what changed ---------------------------------------------------------------
    void Fetch()
    {
        QHash<QString, QString> known; // href -> ETag the state holds
        for (auto it = state.Entries.cbegin(); it != state.Entries.cend(); ++it)
            known.insert(it->Href, it->ETag);
        for (auto it = state.Ignored.cbegin(); it != state.Ignored.cend(); ++it)
            known.insert(it.key(), it.value());
        if (fullListing)
            for (auto it = known.cbegin(); it != known.cend(); ++it)
                if (!candidates.contains(it.key()))
                    goneHrefs.insert(it.key());
        QStringList wanted;
        for (auto it = candidates.cbegin(); it != candidates.cend(); ++it) {
            const auto k = known.constFind(it.key());
            if (k != known.cend() && !it.value().isEmpty() && *k == it.value())
                continue; // what we have (our own upload of the last sync, for one)
            wanted << it.key();
        }
        FetchBatch(wanted, 0, [this] { MergeAll(); });
    }

    // Reads the resources (decoded paths) in batches; then goes on.
    void FetchBatch(const QStringList &hrefs, int from, std::function<void()> then)
    {
        if (from >= hrefs.size()) {
            then();
            return;
        }
        QStringList batch;
        for (int i = from; i < hrefs.size() && i < from + MultigetBatch; ++i)
            batch << QString::fromLatin1(QUrl::toPercentEncoding(hrefs[i], "/"));
        Send("REPORT", collection, MultigetBody(batch), {{"Depth", "1"}}, [this, hrefs, from, then = std::move(then)](const TReply &r) {
            const TMultistatus ms = r.Status == 207 ? ParseMultistatus(r.Body) : TMultistatus();
            if (!ms.Ok) {
                if (r.Status == 207)
                    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server's answer could not be read (%1).").arg(ms.Error));
                else
                    FailStatus(r);
                return;
            }
            for (const TDavResponse &resp : ms.Responses) {
                const QString key = HrefKey(collection.resolved(QUrl(resp.Href)).toString());
                if (resp.Status == 404) {
                    goneHrefs.insert(key);
                    fetched.remove(key);
                    continue;
                }
                if (resp.Status != 200)
                    continue;
                std::optional<TVersion> version;
                try {
                    TIcsReading reading = ReadIcs(resp.CalendarData, store.WorkDays());
                    if (!reading.Reminders.empty()) {
                        TIcsReminder &first = reading.Reminders.front();
                        version = TVersion{first.Row, first.Exclusions, first.ProgramOffered};
                    }
                } catch (const std::exception &) {
                    // Not a calendar we can read: left alone, and not read again while unchanged.
                }
                goneHrefs.remove(key);
                fetched.insert(key, {resp.ETag, version});
            }
            FetchBatch(hrefs, from + MultigetBatch, then);
        });
    }

    // ---- Merging ---------------------------------------------------------------------------
    std::optional<TVersion> LocalVersion(const QString &id) const
    {
        // The caller holds the store's lock.
        for (int i = 0; i < store.MainRowCount(); ++i) {
            TReminder row;
            store.ReadMainRow(i, row);
            if (row.Id == id)
                return Local(row);
        }
        return std::nullopt;
    }

    TVersion Local(const TReminder &row) const
    {
        TVersion v;
        v.Row = row;
        for (const TReminder *x : store.ExclusionsOf(row.Id))
            v.Exclusions.push_back(*x);
        return v;
    }

    // Puts one merge's outcome into the store; the caller holds the lock.
    void ApplyHere(const TMerge &m, const std::optional<TVersion> &local)
    {
        if (m.DeleteHere && local) {
            store.DeleteSeries(local->Row);
            ++outcome.DeletedHere;
            storeDirty = true;
        }
        if (m.ChangeHere) {
            const bool sameExclusions = local && HashExclusions(store, local->Exclusions) == HashExclusions(store, m.Result.Exclusions);
            if (local && sameExclusions) {
                store.Update(m.Here);
            } else {
                if (local || !store.ExclusionsOf(m.Here.Id).empty()) {
                    if (!local)
                        store.Add(m.Here);
                    store.DeleteSeries(m.Here);
                }
                store.Add(m.Here);
                for (const TReminder &x : m.Result.Exclusions)
                    store.AddExclusion(x);
            }
            ++outcome.Downloaded;
            storeDirty = true;
        }
        if (m.Conflict) {
            store.Add(m.ConflictCopy.Row);
            for (const TReminder &x : m.ConflictCopy.Exclusions)
                store.AddExclusion(x);
            ++outcome.Conflicts;
            storeDirty = true;
        }
        outcome.Silenced.insert(outcome.Silenced.end(), m.Silenced.begin(), m.Silenced.end());
    }

    // The state's entry for what is now on both sides (after a download or a merge without upload).
    void Record(const QString &id, const QString &href, const QString &etag, const TVersion &server, const std::optional<TVersion> &here)
    {
        TEntry e;
        e.Href = href;
        e.ETag = etag;
        e.ProgramOffered = server.ProgramOffered;
        e.Program = server.Row.ProgramLocation;
        e.Main = HashMain(store, Effective(server.Row, e.ProgramOffered, e.Program));
        e.Excl = HashExclusions(store, server.Exclusions);
        e.Active = server.Row.Active;
        e.Date = server.Row.Date;
        e.Time = server.Row.Time;
        if (here) {
            e.LocalMain = HashMain(store, Effective(here->Row, e.ProgramOffered, e.Program));
            e.LocalExcl = HashExclusions(store, here->Exclusions);
            e.Active = here->Row.Active;
        } else {
            e.LocalMain = e.Main;
            e.LocalExcl = e.Excl;
        }
        state.Entries.insert(id, e);
    }

    void QueueUpload(const QString &id, const TVersion &version, const TEntry *entry, bool serverGone)
    {
        TJob job;
        job.Id = id;
        job.Version = version;
        job.New = !entry || serverGone;
        job.Href = entry && !serverGone ? entry->Href : HrefKey(ResourceUrl(collection, id + QStringLiteral(".ics")).toString());
        if (!job.New)
            job.IfMatch = entry->ETag;
        jobs.push_back(job);
    }

    void MergeAll()
    {
        {
            std::lock_guard<std::recursive_mutex> guard(store.Lock());
            QHash<QString, TVersion> locals;
            for (int i = 0; i < store.MainRowCount(); ++i) {
                TReminder row;
                store.ReadMainRow(i, row);
                if (!locals.contains(row.Id))
                    locals.insert(row.Id, Local(row));
            }
            QHash<QString, QString> idOfHref;
            for (auto it = state.Entries.cbegin(); it != state.Entries.cend(); ++it)
                idOfHref.insert(it->Href, it.key());
            // The server's versions by Id.
            QHash<QString, std::pair<QString, const std::pair<QString, std::optional<TVersion>> *>> server;
            for (auto it = fetched.cbegin(); it != fetched.cend(); ++it) {
                if (!it->second) {
                    state.Ignored.insert(it.key(), it->first);
                    continue;
                }
                state.Ignored.remove(it.key());
                const QString id = it->second->Row.Id;
                if (!server.contains(id))
                    server.insert(id, {it.key(), &it.value()});
            }
            QSet<QString> goneIds;
            for (const QString &href : std::as_const(goneHrefs)) {
                state.Ignored.remove(href);
                if (idOfHref.contains(href))
                    goneIds.insert(idOfHref.value(href));
            }
            QSet<QString> ids;
            for (auto it = locals.cbegin(); it != locals.cend(); ++it)
                ids.insert(it.key());
            for (auto it = state.Entries.cbegin(); it != state.Entries.cend(); ++it)
                ids.insert(it.key());
            for (auto it = server.cbegin(); it != server.cend(); ++it)
                ids.insert(it.key());

            for (const QString &id : std::as_const(ids)) {
                const auto s = server.constFind(id);
                const TEntry *entry = state.Entries.contains(id) ? &state.Entries[id] : nullptr;
                // A resource of the same Id at another href than remembered: the remembered one is gone.
                const bool hasServer = s != server.cend();
                const TServer serverState = hasServer ? TServer::Changed : (goneIds.contains(id) || !entry) ? TServer::Gone : TServer::Unchanged;
                const auto l = locals.constFind(id);
                std::optional<TVersion> local;
                if (l != locals.cend())
                    local = *l;
                if (serverState == TServer::Unchanged && local && entry) {
                    // The common case: nothing changed there; a quick look whether anything did here.
                    const TReminder eff = Effective(local->Row, entry->ProgramOffered, entry->Program);
                    if (local->Row.Active == entry->Active && HashMain(store, eff) == entry->LocalMain &&
                        HashExclusions(store, local->Exclusions) == entry->LocalExcl)
                        continue;
                }
                const TVersion *serverVersion = hasServer ? &*s->second->second : nullptr;
                const TMerge m = Merge(store, entry, local ? &*local : nullptr, serverState, serverVersion);
                ApplyHere(m, local);
                if (m.Conflict)
                    QueueUpload(m.ConflictCopy.Row.Id, m.ConflictCopy, nullptr, true);
                if (m.DeleteHere || m.Forget) {
                    state.Entries.remove(id);
                    continue;
                }
                const std::optional<TVersion> after = m.ChangeHere ? std::optional<TVersion>(TVersion{m.Here, m.Result.Exclusions, false}) : local;
                if (m.DeleteThere) {
                    TJob job;
                    job.Id = id;
                    job.Delete = true;
                    job.Href = entry->Href;
                    job.IfMatch = entry->ETag;
                    jobs.push_back(job);
                    continue;
                }
                if (hasServer) {
                    Record(id, s.value().first, s.value().second->first, *serverVersion, after);
                    entry = &state.Entries[id];
                }
                if (m.Upload)
                    QueueUpload(id, m.Result, hasServer ? &state.Entries[id] : entry, serverState == TServer::Gone);
                else if (serverState == TServer::Gone)
                    state.Entries.remove(id);
            }
        }
        if (!SaveIfChanged())
            return;
        if (!WriteState())
            return;
        RunJobs();
    }

    bool SaveIfChanged()
    {
        if (!storeDirty)
            return true;
        outcome.StoreChanged = true;
        bool saved = false;
        QString why;
        try {
            saved = saveStore();
        } catch (const std::exception &e) {
            why = QString::fromUtf8(e.what());
        }
        if (!saved) {
            Fail(TSyncOutcome::Local, why.isEmpty() ? QStringLiteral("The reminders could not be saved.")
                                                    : QStringLiteral("The reminders could not be saved (%1).").arg(why));
            return false;
        }
        storeDirty = false;
        return true;
    }

    bool WriteState()
    {
        QString reason;
        if (!ZTWriteFileAtomic(q->StatePath(), FormatState(state), reason)) {
            Fail(TSyncOutcome::Local, QStringLiteral("The sync state could not be written (%1).").arg(reason));
            return false;
        }
        return true;
    }

    // ---- Uploads and deletions ---------------------------------------------------------------
    void RunJobs()
    {
        while (running && jobsRunning < ParallelUploads && !jobs.empty()) {
            TJob job = std::move(jobs.front());
            jobs.pop_front();
            ++jobsRunning;
            SendJob(std::move(job));
        }
        if (running && jobsRunning == 0 && jobs.empty())
            ReadBack();
    }

    void SendJob(TJob job)
    {
        const QUrl url = collection.resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(job.Href, "/"))));
        QList<std::pair<QByteArray, QByteArray>> headers;
        if (job.New)
            headers.append(std::pair<QByteArray, QByteArray>("If-None-Match", "*"));
        else
            headers.append(std::pair<QByteArray, QByteArray>("If-Match", job.IfMatch.toUtf8()));
        QByteArray body;
        if (!job.Delete) {
            headers.append(std::pair<QByteArray, QByteArray>("Content-Type", "text/calendar; charset=utf-8"));
            body = ReminderToIcs(job.Version.Row, job.Version.Exclusions, store.WorkDays());
        }
        Send(job.Delete ? "DELETE" : "PUT", url, body, headers, [this, job](const TReply &r) mutable {
            --jobsRunning;
            if (r.Status == 412 && job.Attempts < ConflictRetries) {
                ++job.Attempts;
                Refetch(std::move(job));
                return;
            }
            if (job.Delete && (r.Status / 100 == 2 || r.Status == 404)) {
                state.Entries.remove(job.Id);
                ++outcome.DeletedThere;
            } else if (!job.Delete && r.Status / 100 == 2) {
                uploaded.insert(job.Id, job);
                uploadETags.insert(job.Id, StrongETag(r.ETag));
                ++outcome.Uploaded;
            } else if (r.Status == 412) {
                // Changed there again and again: left for the next sync.
            } else {
                FailStatus(r);
                return;
            }
            RunJobs();
        });
    }

    // The server changed the resource since we read it: read it, merge again, try again.
    void Refetch(TJob job)
    {
        ++jobsRunning;
        const QString href = job.Href;
        fetched.clear();
        goneHrefs.clear();
        FetchBatch({href}, 0, [this, job = std::move(job), href]() mutable {
            --jobsRunning;
            std::lock_guard<std::recursive_mutex> guard(store.Lock());
            const auto f = fetched.constFind(href);
            const bool hasServer = f != fetched.cend() && f->second;
            if (f != fetched.cend() && !f->second) {
                // Someone else's resource took this name: ours goes under another.
                job.Href = HrefKey(ResourceUrl(collection, TReminder::NewId() + QStringLiteral(".ics")).toString());
                job.New = true;
                jobs.push_back(std::move(job));
                RunJobs();
                return;
            }
            const TEntry *entry = state.Entries.contains(job.Id) ? &state.Entries[job.Id] : nullptr;
            const std::optional<TVersion> local = LocalVersion(job.Id);
            const TMerge m = Merge(store, entry, local ? &*local : nullptr, hasServer ? TServer::Changed : TServer::Gone,
                                   hasServer ? &*f->second : nullptr);
            ApplyHere(m, local);
            if (m.Conflict)
                QueueUpload(m.ConflictCopy.Row.Id, m.ConflictCopy, nullptr, true);
            const std::optional<TVersion> after = m.ChangeHere ? std::optional<TVersion>(TVersion{m.Here, m.Result.Exclusions, false}) : local;
            if (m.DeleteHere || m.Forget) {
                state.Entries.remove(job.Id);
            } else if (m.DeleteThere) {
                job.Delete = true;
                job.IfMatch = f->first;
                jobs.push_back(std::move(job));
            } else {
                if (hasServer) {
                    Record(job.Id, href, f->first, *f->second, after);
                    entry = &state.Entries[job.Id];
                }
                if (m.Upload) {
                    job.Delete = false;
                    job.Version = m.Result;
                    job.New = !hasServer;
                    job.IfMatch = hasServer ? f->first : QString();
                    jobs.push_back(std::move(job));
                }
            }
            RunJobs();
        });
    }

    // Reads back what the server stored for every upload (servers rewrite bodies) and records it.
    void ReadBack()
    {
        QStringList hrefs;
        for (auto it = uploaded.cbegin(); it != uploaded.cend(); ++it)
            hrefs << it->Href;
        fetched.clear();
        goneHrefs.clear();
        FetchBatch(hrefs, 0, [this] {
            {
                std::lock_guard<std::recursive_mutex> guard(store.Lock());
                for (auto it = uploaded.cbegin(); it != uploaded.cend(); ++it) {
                    const TJob &job = it.value();
                    const auto f = fetched.constFind(job.Href);
                    const bool read = f != fetched.cend() && f->second && !f->first.isEmpty();
                    const TVersion &server = read ? *f->second : job.Version;
                    TEntry e;
                    e.Href = job.Href;
                    e.ETag = read ? f->first : uploadETags.value(job.Id);
                    e.ProgramOffered = read ? server.ProgramOffered : job.Version.Row.RunProgram;
                    e.Program = server.Row.ProgramLocation;
                    e.Main = HashMain(store, Effective(server.Row, e.ProgramOffered, e.Program));
                    e.Excl = HashExclusions(store, server.Exclusions);
                    // Here, what was sent counts as exchanged; what changed here since is taken next time.
                    e.LocalMain = HashMain(store, Effective(job.Version.Row, e.ProgramOffered, e.Program));
                    e.LocalExcl = HashExclusions(store, job.Version.Exclusions);
                    e.Active = job.Version.Row.Active;
                    e.Date = job.Version.Row.Date;
                    e.Time = job.Version.Row.Time;
                    state.Entries.insert(job.Id, e);
                }
            }
            uploaded.clear();
            if (!SaveIfChanged() || !WriteState())
                return;
            Finish();
        });
    }
};

TSyncEngine::TSyncEngine(TReminders &store, QObject *parent) : QObject(parent), d_(std::make_unique<TImpl>(this, store))
{
}

TSyncEngine::~TSyncEngine()
{
    d_->running = false;
    d_->AbortReplies();
}

void TSyncEngine::SetSaveStore(std::function<bool()> save)
{
    d_->saveStore = std::move(save);
}

void TSyncEngine::SetRequestHook(std::function<void(const QByteArray &, const QUrl &)> hook)
{
    d_->requestHook = std::move(hook);
}

QString TSyncEngine::StatePath() const
{
    return d_->store.FileName() + QStringLiteral(".sync");
}

bool TSyncEngine::Start(const TSyncAccount &account)
{
    if (d_->running)
        return false;
    TImpl &d = *d_;
    d.running = true;
    d.aborted = false;
    d.account = account;
    d.outcome = TSyncOutcome();
    d.collection = QUrl();
    d.rediscovered = false;
    d.candidates.clear();
    d.goneHrefs.clear();
    d.fetched.clear();
    d.fullListing = false;
    d.jobs.clear();
    d.jobsRunning = 0;
    d.uploaded.clear();
    d.uploadETags.clear();
    d.storeDirty = false;
    // Begins from the event loop, so that Finished always comes after Start returned.
    QTimer::singleShot(0, this, [this] {
        if (d_->running && !d_->aborted)
            d_->Begin();
        else if (d_->running)
            d_->Fail(TSyncOutcome::Aborted, QStringLiteral("The sync was stopped."));
    });
    return true;
}

bool TSyncEngine::Running() const
{
    return d_->running;
}

void TSyncEngine::Abort()
{
    if (!d_->running)
        return;
    d_->aborted = true;
    const QList<QNetworkReply *> replies = d_->inFlight.values();
    for (QNetworkReply *r : replies)
        r->abort();
}
