#include "clsSyncEngine.h"

#include "clsRemindersIcs.h"
#include "clsSyncDav.h"

#include <QUuid>

using namespace syncdav;

void TSyncEngine::TImpl::Discover()
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

void TSyncEngine::TImpl::WellKnown(const QUrl &url, int hops)
{
    Send("PROPFIND", url, PropfindPrincipalBody(), {{"Depth", "0"}}, [this, url, hops](const TReply &r) {
        if (FailOn(r))
            return;
        if (r.Status >= 300 && r.Status < 400 && !r.Location.isEmpty() && hops < 5) {
            const QUrl next = url.resolved(QUrl(QString::fromUtf8(r.Location)));
            if (next.scheme() != url.scheme() || next.host() != url.host()) {
                Fail(TSyncOutcome::Server,
                     QStringLiteral("The calendar server sent the sync to another address (%1).").arg(Printable(next)));
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

void TSyncEngine::TImpl::FindHome(const QUrl &principal)
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

void TSyncEngine::TImpl::ListHome(const QUrl &home)
{
    Send("PROPFIND", home, PropfindCollectionBody(), {{"Depth", "1"}}, [this, home](const TReply &r) {
        TMultistatus ms;
        if (!ReadMultistatus(r, ms))
            return;
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

void TSyncEngine::TImpl::UseCollection(const QUrl &url)
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

void TSyncEngine::TImpl::Changes()
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
            if (r.Status == 207 || r.Status == 400 || r.Status == 403 || r.Status == 409 || r.Status == 412 || r.Status == 415
                || r.Status == 501 || r.Status == 405) {
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

void TSyncEngine::TImpl::Listing()
{
    Send("PROPFIND", collection, PropfindEtagBody(), {{"Depth", "1"}}, [this](const TReply &r) {
        TMultistatus ms;
        if (!ReadMultistatus(r, ms))
            return;
        fullListing = true;
        for (const TDavResponse &resp : ms.Responses) {
            if (resp.Collection || resp.Status != 200)
                continue;
            candidates.insert(HrefKey(collection.resolved(QUrl(resp.Href)).toString()), resp.ETag);
        }
        Fetch();
    });
}

void TSyncEngine::TImpl::Fetch()
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

void TSyncEngine::TImpl::FetchBatch(const QStringList &hrefs, int from, std::function<void()> then)
{
    if (from >= hrefs.size()) {
        then();
        return;
    }
    QStringList batch;
    for (int i = from; i < hrefs.size() && i < from + MultigetBatch; ++i)
        batch << QString::fromLatin1(QUrl::toPercentEncoding(hrefs[i], "/"));
    Send("REPORT", collection, MultigetBody(batch), {{"Depth", "1"}},
         [this, hrefs, from, then = std::move(then)](const TReply &r) {
             TMultistatus ms;
             if (!ReadMultistatus(r, ms))
                 return;
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
