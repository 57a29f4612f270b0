#include "clsSyncEngine.h"

#include "ZTFileUtils.h"
#include "clsRemindersIcs.h"
#include "clsSyncDav.h"

#include <mutex>

using namespace syncdav;

std::optional<TVersion> TSyncEngine::TImpl::LocalVersion(const QString &id) const
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

TVersion TSyncEngine::TImpl::Local(const TReminder &row) const
{
    TVersion v;
    v.Row = row;
    for (const TReminder *x : store.ExclusionsOf(row.Id))
        v.Exclusions.push_back(*x);
    return v;
}

void TSyncEngine::TImpl::ApplyHere(const TMerge &m, const std::optional<TVersion> &local)
{
    if (m.DeleteHere && local) {
        store.DeleteSeries(local->Row);
        ++outcome.DeletedHere;
        storeDirty = true;
    }
    if (m.ChangeHere) {
        const bool sameExclusions =
            local && HashExclusions(store, local->Exclusions) == HashExclusions(store, m.Result.Exclusions);
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

void TSyncEngine::TImpl::Record(const QString &id, const QString &href, const QString &etag, const TVersion &server,
                                const std::optional<TVersion> &here)
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

void TSyncEngine::TImpl::QueueUpload(const QString &id, const TVersion &version, const TEntry *entry, bool serverGone)
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

void TSyncEngine::TImpl::MergeAll()
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
            const TServer serverState = hasServer                          ? TServer::Changed
                                        : (goneIds.contains(id) || !entry) ? TServer::Gone
                                                                           : TServer::Unchanged;
            const auto l = locals.constFind(id);
            std::optional<TVersion> local;
            if (l != locals.cend())
                local = *l;
            if (serverState == TServer::Unchanged && local && entry) {
                // The common case: nothing changed there; a quick look whether anything did here.
                const TReminder eff = Effective(local->Row, entry->ProgramOffered, entry->Program);
                if (local->Row.Active == entry->Active && HashMain(store, eff) == entry->LocalMain
                    && HashExclusions(store, local->Exclusions) == entry->LocalExcl)
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
            const std::optional<TVersion> after =
                m.ChangeHere ? std::optional<TVersion>(TVersion{m.Here, m.Result.Exclusions, false}) : local;
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

bool TSyncEngine::TImpl::SaveIfChanged()
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

bool TSyncEngine::TImpl::WriteState()
{
    QString reason;
    if (!ZTWriteFileAtomic(q->StatePath(), FormatState(state), reason)) {
        Fail(TSyncOutcome::Local, QStringLiteral("The sync state could not be written (%1).").arg(reason));
        return false;
    }
    return true;
}

void TSyncEngine::TImpl::RunJobs()
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

void TSyncEngine::TImpl::SendJob(TJob job)
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

void TSyncEngine::TImpl::Refetch(TJob job)
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
        const std::optional<TVersion> after =
            m.ChangeHere ? std::optional<TVersion>(TVersion{m.Here, m.Result.Exclusions, false}) : local;
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

void TSyncEngine::TImpl::ReadBack()
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
