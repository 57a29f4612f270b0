#include "clsSyncState.h"

#include "ZTFileUtils.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace syncstate {

namespace {

constexpr int StateVersion = 1;

QString Hex(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex());
}

QByteArray Unhex(const QJsonValue &v)
{
    return QByteArray::fromHex(v.toString().toLatin1());
}

// Occurrences compare by the minute.
std::pair<qint64, qint64> KeyOf(const TReminder &r)
{
    return {qint64(std::llround(r.Date)), qint64(std::llround(r.Time * 1440.0))};
}

bool Moved(const TReminder &row, const TEntry &base)
{
    return std::llround(row.Date) != std::llround(base.Date)
           || std::llround(row.Time * 1440.0) != std::llround(base.Time * 1440.0);
}

// Exclusion rows of both: for an occurrence in both, the server's row.
std::vector<TReminder> Unite(const std::vector<TReminder> &server, const std::vector<TReminder> &local)
{
    std::map<std::pair<qint64, qint64>, TReminder> rows;
    for (const TReminder &r : local)
        rows[KeyOf(r)] = r;
    for (const TReminder &r : server)
        rows[KeyOf(r)] = r;
    std::vector<TReminder> out;
    out.reserve(rows.size());
    for (auto &[key, row] : rows)
        out.push_back(std::move(row));
    return out;
}

void WithId(std::vector<TReminder> &rows, const QString &id)
{
    for (TReminder &r : rows)
        r.Id = id;
}

} // namespace

TState LoadState(const QString &path)
{
    TState state;
    QByteArray bytes;
    QString reason;
    if (!ZTReadRegularFile(path, bytes, reason))
        return state;
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    if (root.value(QLatin1String("version")).toInt() != StateVersion)
        return state;
    state.Account = root.value(QLatin1String("account")).toString();
    state.Collection = root.value(QLatin1String("collection")).toString();
    state.Token = root.value(QLatin1String("token")).toString();
    const QJsonObject entries = root.value(QLatin1String("reminders")).toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        TEntry e;
        e.Href = o.value(QLatin1String("href")).toString();
        e.ETag = o.value(QLatin1String("etag")).toString();
        e.Main = Unhex(o.value(QLatin1String("main")));
        e.Excl = Unhex(o.value(QLatin1String("excl")));
        e.LocalMain = o.contains(QLatin1String("localMain")) ? Unhex(o.value(QLatin1String("localMain"))) : e.Main;
        e.LocalExcl = o.contains(QLatin1String("localExcl")) ? Unhex(o.value(QLatin1String("localExcl"))) : e.Excl;
        e.Active = o.value(QLatin1String("active")).toBool();
        e.Date = o.value(QLatin1String("date")).toDouble();
        e.Time = o.value(QLatin1String("time")).toDouble();
        e.ProgramOffered = o.value(QLatin1String("programOffered")).toBool();
        e.Program = o.value(QLatin1String("program")).toString();
        if (e.Href.isEmpty())
            continue;
        state.Entries.insert(it.key(), e);
    }
    const QJsonObject ignored = root.value(QLatin1String("ignored")).toObject();
    for (auto it = ignored.begin(); it != ignored.end(); ++it)
        state.Ignored.insert(it.key(), it.value().toString());
    return state;
}

QByteArray FormatState(const TState &state)
{
    QJsonObject root;
    root.insert(QLatin1String("version"), StateVersion);
    root.insert(QLatin1String("account"), state.Account);
    root.insert(QLatin1String("collection"), state.Collection);
    root.insert(QLatin1String("token"), state.Token);
    QJsonObject entries;
    for (auto it = state.Entries.begin(); it != state.Entries.end(); ++it) {
        const TEntry &e = it.value();
        QJsonObject o;
        o.insert(QLatin1String("href"), e.Href);
        o.insert(QLatin1String("etag"), e.ETag);
        o.insert(QLatin1String("main"), Hex(e.Main));
        o.insert(QLatin1String("excl"), Hex(e.Excl));
        if (e.LocalMain != e.Main)
            o.insert(QLatin1String("localMain"), Hex(e.LocalMain));
        if (e.LocalExcl != e.Excl)
            o.insert(QLatin1String("localExcl"), Hex(e.LocalExcl));
        o.insert(QLatin1String("active"), e.Active);
        o.insert(QLatin1String("date"), e.Date);
        o.insert(QLatin1String("time"), e.Time);
        if (e.ProgramOffered) {
            o.insert(QLatin1String("programOffered"), true);
            o.insert(QLatin1String("program"), e.Program);
        }
        entries.insert(it.key(), o);
    }
    root.insert(QLatin1String("reminders"), entries);
    QJsonObject ignored;
    for (auto it = state.Ignored.begin(); it != state.Ignored.end(); ++it)
        ignored.insert(it.key(), it.value());
    root.insert(QLatin1String("ignored"), ignored);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

TReminder Effective(const TReminder &row, bool offered, const QString &offeredProgram)
{
    TReminder r = row;
    r.RunProgram = row.RunProgram || (offered && row.ProgramLocation == offeredProgram);
    return r;
}

QByteArray HashMain(const TReminders &store, const TReminder &row)
{
    TReminder r = row;
    r.Active = true; // dismissal is merged on its own
    return QCryptographicHash::hash(store.FormatLine(r, true).toUtf8(), QCryptographicHash::Sha1);
}

QByteArray HashExclusions(const TReminders &store, const std::vector<TReminder> &rows)
{
    // Exclusion rows repeat their series' fields, which the series' own hash covers: an
    // occurrence is named by its series, its moment and whether it is dismissed or removed.
    QStringList lines;
    lines.reserve(qsizetype(rows.size()));
    for (const TReminder &r : rows) {
        TReminder x;
        x.Exclusion = true;
        x.Id = r.Id;
        x.Date = r.Date;
        x.Time = r.Time;
        x.Active = r.Active;
        x.RecurrenceWeeklyDays = QStringLiteral("0000000");
        lines << store.FormatLine(x, true);
    }
    lines.sort();
    return QCryptographicHash::hash(lines.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha1);
}

TMerge Merge(const TReminders &store, const TEntry *base, const TVersion *local, TServer serverState, const TVersion *server)
{
    TMerge m;
    const bool serverHas = serverState == TServer::Changed && server;
    if (!local && !serverHas) {
        // Gone on both sides, or gone here and unchanged there.
        if (base && serverState == TServer::Unchanged)
            m.DeleteThere = true;
        else
            m.Forget = true;
        return m;
    }
    // The offered program: the server's newest word, else what the state remembers.
    const bool offered = serverHas ? server->ProgramOffered : (base && base->ProgramOffered);
    const QString program = serverHas ? server->Row.ProgramLocation : (base ? base->Program : QString());

    TVersion L;
    if (local) {
        L = *local;
        L.Row = Effective(local->Row, offered, program);
    }
    if (!local) {
        // Here it was deleted (or never was): the server's change wins; a new ETag over the same
        // content is no change, and the deletion goes there.
        if (base && HashMain(store, Effective(server->Row, server->ProgramOffered, program)) == base->Main
            && HashExclusions(store, server->Exclusions) == base->Excl && server->Row.Active == base->Active) {
            m.DeleteThere = true;
            return m;
        }
        m.Result = *server;
        m.Result.Row.RunProgram = server->ProgramOffered;
        m.ChangeHere = true;
        m.Here = server->Row;
        m.Here.RunProgram = false;
        return m;
    }
    const QByteArray lMain = HashMain(store, L.Row);
    const QByteArray lExcl = HashExclusions(store, L.Exclusions);
    const bool lChanged = !base || lMain != base->LocalMain || lExcl != base->LocalExcl || L.Row.Active != base->Active;
    if (!serverHas) {
        m.Result = L;
        if (serverState == TServer::Gone && base && !lChanged) {
            m.DeleteHere = true;
            if (!L.Row.Recurring && L.Row.Active)
                m.Silenced.push_back({L.Row.Id, L.Row.Date, L.Row.Time});
            return m;
        }
        // Changed here (or new here, or a change that outlives the deletion there): upload.
        m.Upload = lChanged || serverState == TServer::Gone;
        m.Here = local->Row;
        return m;
    }

    TVersion S = *server;
    S.Row.RunProgram = server->ProgramOffered;
    const QByteArray sMain = HashMain(store, S.Row);
    const QByteArray sExcl = HashExclusions(store, S.Exclusions);
    const bool lm = !base || lMain != base->LocalMain;
    const bool lx = !base || lExcl != base->LocalExcl;
    const bool sm = !base || sMain != base->Main;
    const bool sx = !base || sExcl != base->Excl;

    TVersion M;
    if (lm && sm && lMain != sMain) {
        // Both changed the reminder's fields differently: theirs stays, ours becomes a copy.
        m.Conflict = true;
        M.Row = S.Row;
        m.ConflictCopy = L;
        m.ConflictCopy.Row.Id = TReminder::NewId();
        m.ConflictCopy.Row.ReminderMessage = QStringLiteral("(Conflict) ") + L.Row.ReminderMessage;
        m.ConflictCopy.Row.RunProgram = local->Row.RunProgram;
        WithId(m.ConflictCopy.Exclusions, m.ConflictCopy.Row.Id);
    } else {
        M.Row = lm ? L.Row : S.Row;
    }
    M.ProgramOffered = S.ProgramOffered;

    // Dismissal: a side that switched the reminder off (or on) since the base wins over one that
    // left it; both switched: off wins. A reminder moved to another moment on a side where it is
    // on is on again.
    bool active;
    if (!base) {
        active = L.Row.Active && S.Row.Active;
    } else {
        const bool la = L.Row.Active != base->Active;
        const bool sa = S.Row.Active != base->Active;
        active = la && sa ? (L.Row.Active && S.Row.Active) : la ? L.Row.Active : sa ? S.Row.Active : base->Active;
        if (!active && !m.Conflict) {
            if (S.Row.Active && sm && Moved(S.Row, *base) && !lm)
                active = true;
            if (L.Row.Active && lm && Moved(L.Row, *base) && !sm)
                active = true;
        }
    }
    if (m.Conflict)
        active = S.Row.Active && !(base && L.Row.Active != base->Active && !L.Row.Active && !Moved(S.Row, *base));
    M.Row.Active = active;

    // Exclusion rows: one side's change wins; both changed: united.
    if (lx && sx)
        M.Exclusions = Unite(S.Exclusions, L.Exclusions);
    else
        M.Exclusions = lx ? L.Exclusions : S.Exclusions;
    WithId(M.Exclusions, M.Row.Id);

    const QByteArray mMain = HashMain(store, M.Row);
    const QByteArray mExcl = HashExclusions(store, M.Exclusions);
    m.Result = M;
    m.Here = M.Row;
    // The run flag here stays as the user set it for this program; the server never switches it on.
    m.Here.RunProgram = local->Row.RunProgram && local->Row.ProgramLocation == M.Row.ProgramLocation;
    m.ChangeHere = mMain != lMain || mExcl != lExcl || M.Row.Active != L.Row.Active || m.Here.RunProgram != local->Row.RunProgram;
    m.Upload = mMain != sMain || mExcl != sExcl || M.Row.Active != S.Row.Active;

    // Occurrences that arrive silenced: an open alert for them here is closed.
    std::map<std::pair<qint64, qint64>, bool> here;
    for (const TReminder &r : L.Exclusions)
        here[KeyOf(r)] = true;
    for (const TReminder &r : M.Exclusions)
        if (!here.count(KeyOf(r)))
            m.Silenced.push_back({M.Row.Id, r.Date, r.Time});
    if (!M.Row.Recurring && L.Row.Active && !M.Row.Active)
        m.Silenced.push_back({M.Row.Id, L.Row.Date, L.Row.Time});
    return m;
}

} // namespace syncstate
