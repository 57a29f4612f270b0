#include "clsSync.h"

#include "clsSyncDav.h"
#include "clsSyncEngine.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QSslError>
#include <QTimer>

using namespace syncdav;

void TSyncEngine::TImpl::Send(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                              const QList<std::pair<QByteArray, QByteArray>> &headers, std::function<void(const TReply &)> done)
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

bool TSyncEngine::TImpl::FailOn(const TReply &r)
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

void TSyncEngine::TImpl::FailStatus(const TReply &r)
{
    if (FailOn(r))
        return;
    if (r.Status == 403) {
        Fail(TSyncOutcome::Credentials, QStringLiteral("The calendar server does not let this user use the calendar."));
        return;
    }
    Fail(TSyncOutcome::Server, QStringLiteral("The calendar server answered %1 %2.")
                                   .arg(r.Status)
                                   .arg(r.Reason)
                                   .trimmed()
                                   .replace(QStringLiteral(" ."), QStringLiteral(".")));
}

bool TSyncEngine::TImpl::ReadMultistatus(const TReply &r, TMultistatus &ms)
{
    if (r.Status != 207) {
        FailStatus(r);
        return false;
    }
    ms = ParseMultistatus(r.Body);
    if (!ms.Ok)
        Fail(TSyncOutcome::Server, QStringLiteral("The calendar server's answer could not be read (%1).").arg(ms.Error));
    return ms.Ok;
}

QString TSyncEngine::TImpl::Scrub(QString text) const
{
    if (!account.Password.isEmpty())
        text.replace(account.Password, QStringLiteral("…"));
    return text;
}

void TSyncEngine::TImpl::AbortReplies()
{
    const QList<QNetworkReply *> replies = inFlight.values();
    inFlight.clear();
    for (QNetworkReply *r : replies)
        r->abort();
}

void TSyncEngine::TImpl::Begin()
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
        QCryptographicHash::hash((Printable(base) + QLatin1Char('\n') + account.User).toUtf8(), QCryptographicHash::Sha256)
            .toHex());
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

void TSyncEngine::TImpl::Fail(TSyncOutcome::TFailure failure, const QString &message)
{
    outcome.Failure = failure;
    outcome.Message = message;
    Finish();
}

void TSyncEngine::TImpl::Finish()
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

TSyncEngine::TSyncEngine(TReminders &store, QObject *parent) : QObject(parent), d_(std::make_unique<TImpl>(this, store)) {}

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
