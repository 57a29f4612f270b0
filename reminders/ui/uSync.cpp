#include "uSync.h"

#include "ZTClock.h"
#include "clsOptions.h"
#include "uFunctions.h"

#include <QProcess>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <algorithm>
#include <iterator>

namespace {
const QString kKeyringService = QStringLiteral("Ventaro!");
// A password command that has not answered by then is stopped.
constexpr int PasswordCommandMs = 30000;

QString TimeText(const QDateTime &moment)
{
    return ShortTimeText(QTimeToDateTime(moment.time()));
}
} // namespace

TVNTRSync::TVNTRSync(TReminders &store, QObject *parent) : QObject(parent), store_(store)
{
    engine_ = new TSyncEngine(store, this);
    engine_->setObjectName(QStringLiteral("SyncEngine"));
    connect(engine_, &TSyncEngine::Finished, this, &TVNTRSync::EngineFinished);

    tInterval_ = new QTimer(this);
    tInterval_->setObjectName(QStringLiteral("tSyncInterval"));
    connect(tInterval_, &QTimer::timeout, this, [this] {
        // While failing, the growing delay decides when the next try is.
        if (failures_ == 0)
            SyncNow();
    });
    tSoon_ = new QTimer(this);
    tSoon_->setObjectName(QStringLiteral("tSyncSoon"));
    tSoon_->setSingleShot(true);
    tSoon_->setInterval(AfterSaveDelaySeconds * 1000);
    connect(tSoon_, &QTimer::timeout, this, &TVNTRSync::SyncNow);
    tRetry_ = new QTimer(this);
    tRetry_->setObjectName(QStringLiteral("tSyncRetry"));
    tRetry_->setSingleShot(true);
    connect(tRetry_, &QTimer::timeout, this, &TVNTRSync::SyncNow);
}

TVNTRSync::~TVNTRSync()
{
    Stop();
}

void TVNTRSync::SetSaveStore(std::function<bool()> save)
{
    engine_->SetSaveStore(std::move(save));
}

void TVNTRSync::ApplyOptions(const TVNTROptions &options)
{
    const bool wasEnabled = enabled_;
    const TSyncAccount before = account_;
    enabled_ = options.SyncEnabled && !options.SyncUrl.trimmed().isEmpty();
    account_.Url = QUrl(options.SyncUrl.trimmed());
    account_.User = options.SyncUser;
    passwordCommandText_ = options.SyncPasswordCommand;
    const int minutes = std::clamp<int>(options.SyncInterval, 1, 24 * 60);
    tInterval_->setInterval(minutes * 60 * 1000);
    if (!enabled_) {
        tInterval_->stop();
        tSoon_->stop();
        tRetry_->stop();
        again_ = false;
        if (wasEnabled)
            SetStatus(QString());
        return;
    }
    if (!tInterval_->isActive())
        tInterval_->start();
    // Another server or account, or sync just turned on: the delays of the old one no longer
    // apply, and the new settings are tried at once.
    if (!wasEnabled || before.Url != account_.Url || before.User != account_.User || passwordChanged_) {
        passwordChanged_ = false;
        failures_ = 0;
        tRetry_->stop();
        SyncNow();
    }
}

void TVNTRSync::SyncNow()
{
    if (!enabled_)
        return;
    tSoon_->stop();
    if (busy_) {
        again_ = true;
        return;
    }
    Begin();
}

void TVNTRSync::SyncSoon()
{
    if (!enabled_ || failures_ > 0)
        return;
    if (busy_) {
        again_ = true;
        return;
    }
    tSoon_->start();
}

bool TVNTRSync::Running() const
{
    return busy_;
}

void TVNTRSync::Stop()
{
    enabled_ = false;
    again_ = false;
    if (tInterval_) {
        tInterval_->stop();
        tSoon_->stop();
        tRetry_->stop();
    }
    if (passwordCommand_) {
        passwordCommand_->disconnect(this);
        passwordCommand_->kill();
        passwordCommand_->waitForFinished(1000);
        passwordCommand_->deleteLater();
        passwordCommand_ = nullptr;
    }
    // The program is going: what the engine says on its way out reaches no one.
    if (engine_ && engine_->Running()) {
        engine_->disconnect(this);
        engine_->Abort();
    }
    busy_ = false;
}

int TVNTRSync::RetryDelaySeconds(int failures)
{
    // One minute, then longer each time, up to an hour.
    static constexpr int delays[] = {60, 120, 300, 600, 1800, 3600};
    const int index = std::clamp(failures, 1, int(std::size(delays))) - 1;
    return delays[index];
}

void TVNTRSync::Begin()
{
    busy_ = true;
    tRetry_->stop();
    if (!account_.Url.isValid() || account_.Url.scheme().isEmpty() || account_.Url.host().isEmpty()) {
        FailBeforeSync(TSyncOutcome::Local, QStringLiteral("The calendar server's address is not a web address."));
        return;
    }
    if (account_.User.isEmpty())
        WithPassword(QString(), QString());
    else if (!passwordCommandText_.trimmed().isEmpty())
        ReadPasswordCommand();
    else if (!heldKey_.isEmpty() && heldKey_ == KeyringKey(account_.User, account_.Url.toString()))
        WithPassword(heldPassword_, QString());
    else
        ReadKeyring();
}

void TVNTRSync::ReadPasswordCommand()
{
    // The command the user set on this machine, run by the shell like a mail program's.
    passwordCommand_ = new QProcess(this);
    passwordCommand_->setObjectName(QStringLiteral("SyncPasswordCommand"));
    passwordCommand_->setProcessChannelMode(QProcess::SeparateChannels);
    passwordCommand_->setStandardInputFile(QProcess::nullDevice());
    QProcess *process = passwordCommand_;
    auto *deadline = new QTimer(process);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, process, [process] { process->kill(); });
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus status) {
        const QByteArray output = process->readAllStandardOutput();
        process->deleteLater();
        passwordCommand_ = nullptr;
        if (status != QProcess::NormalExit || code != 0) {
            WithPassword(QString(), status == QProcess::NormalExit
                                        ? QStringLiteral("The password command failed (exit status %1).").arg(code)
                                        : QStringLiteral("The password command did not finish."));
            return;
        }
        QString first = QString::fromUtf8(output.left(output.indexOf('\n') < 0 ? output.size() : output.indexOf('\n')));
        if (first.endsWith(QLatin1Char('\r')))
            first.chop(1);
        WithPassword(first, first.isEmpty() ? QStringLiteral("The password command gave no password.") : QString());
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        passwordCommand_ = nullptr;
        WithPassword(QString(), QStringLiteral("The password command could not be started."));
    });
    deadline->start(PasswordCommandMs);
    process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), passwordCommandText_});
}

void TVNTRSync::ReadKeyring()
{
    auto *job = new QKeychain::ReadPasswordJob(kKeyringService, this);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(KeyringKey(account_.User, account_.Url.toString()));
    connect(job, &QKeychain::Job::finished, this, [this, job](QKeychain::Job *) {
        switch (job->error()) {
        case QKeychain::NoError:
            WithPassword(job->textData(), QString());
            break;
        case QKeychain::EntryNotFound:
            WithPassword(QString(), QStringLiteral("No password is stored for the calendar account; enter it on the "
                                                   "Synchronize tab of the preferences."));
            break;
        case QKeychain::NoBackendAvailable:
            WithPassword(QString(), QStringLiteral("The desktop has no keyring for the calendar password; set a password "
                                                   "command on the Synchronize tab of the preferences."));
            break;
        default:
            WithPassword(QString(), QStringLiteral("The calendar password could not be read from the keyring."));
            break;
        }
    });
    job->start();
}

void TVNTRSync::WithPassword(const QString &password, const QString &failure)
{
    if (!enabled_) {
        busy_ = false;
        return;
    }
    if (!failure.isEmpty()) {
        FailBeforeSync(TSyncOutcome::Credentials, failure);
        return;
    }
    TSyncAccount account = account_;
    account.Password = password;
    if (!engine_->Start(account))
        FailBeforeSync(TSyncOutcome::Local, QStringLiteral("A sync is already running."));
}

void TVNTRSync::FailBeforeSync(TSyncOutcome::TFailure failure, const QString &message)
{
    TSyncOutcome outcome;
    outcome.Failure = failure;
    outcome.Message = message;
    EngineFinished(outcome);
}

void TVNTRSync::EngineFinished(const TSyncOutcome &outcome)
{
    busy_ = false;
    if (outcome.Ok()) {
        failures_ = 0;
        SetStatus(QStringLiteral("Synchronized at %1.").arg(TimeText(ZTNowDateTime())));
    } else {
        // Reported and tried again later; the outcome still goes to the window (a sync that
        // failed half-way may have taken in some reminders).
        Fail(outcome.Message.isEmpty() ? QStringLiteral("The sync failed.") : outcome.Message);
    }
    Q_EMIT Finished(outcome);
    if (again_ && enabled_ && failures_ == 0) {
        again_ = false;
        SyncNow();
    }
}

void TVNTRSync::Fail(const QString &message)
{
    busy_ = false;
    again_ = false;
    ++failures_;
    const int delay = RetryDelaySeconds(failures_);
    if (enabled_)
        tRetry_->start(delay * 1000);
    SetStatus(QStringLiteral("Sync failed at %1: %2 Next try at %3.")
                  .arg(TimeText(ZTNowDateTime()), message, TimeText(ZTNowDateTime().addSecs(delay))));
}

void TVNTRSync::SetStatus(const QString &text)
{
    if (status_ == text)
        return;
    status_ = text;
    Q_EMIT StatusChanged(text);
}

void TVNTRSync::UsePassword(const QString &user, const QString &url, const QString &password,
                            std::function<void(const QString &failure)> done)
{
    heldKey_ = KeyringKey(user, QUrl(url.trimmed()).toString());
    heldPassword_ = password;
    // The next settings applied try it at once.
    passwordChanged_ = true;
    StorePassword(user, url, password, std::move(done));
}

QString TVNTRSync::KeyringKey(const QString &user, const QString &url)
{
    return user + QLatin1Char('@') + url.trimmed();
}

void TVNTRSync::StorePassword(const QString &user, const QString &url, const QString &password,
                              std::function<void(const QString &failure)> done)
{
    auto *job = new QKeychain::WritePasswordJob(kKeyringService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(KeyringKey(user, QUrl(url.trimmed()).toString()));
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done = std::move(done)](QKeychain::Job *) {
        if (!done)
            return;
        done(job->error() == QKeychain::NoError ? QString()
             : job->error() == QKeychain::NoBackendAvailable
                 ? QStringLiteral("The desktop has no keyring to keep the calendar password in; set a password command "
                                  "instead.")
                 : QStringLiteral("The calendar password could not be stored in the keyring."));
    });
    job->start();
}
