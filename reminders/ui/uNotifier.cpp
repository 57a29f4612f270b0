#include "uNotifier.h"

#include "ZTRegUtils.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>

namespace {
// How long a call may take before it is given up (the service hangs): nothing waits for it.
constexpr int kCallTimeoutMs = 5000;
// Never expires by itself: the alert waits for its answer.
constexpr int kNeverExpires = 0;

QDBusMessage ServiceCall(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(TVNTRNotification::Service), QLatin1String(TVNTRNotification::Path),
                                          QLatin1String(TVNTRNotification::Interface), QLatin1String(method));
}

QString ApplicationName()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Ventaro!") : name;
}
} // namespace

TVNTRNotification::TVNTRNotification(const QDBusConnection &bus, QObject *parent) : QObject(parent), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    const QString service = QLatin1String(Service), path = QLatin1String(Path), interface = QLatin1String(Interface);
    bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this, SLOT(ServiceActionInvoked(uint, QString)));
    bus_.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                 SLOT(ServiceNotificationClosed(uint, uint)));
}

TVNTRNotification::~TVNTRNotification()
{
    if (state_ == TState::Shown) {
        SendClose(id_);
    } else if (notifyPending_) {
        // The id is still on its way, and this object's handler goes with it: a notification
        // that outlived its alert would offer buttons that answer nothing. A watcher of its
        // own withdraws it when the id comes.
        auto *watcher = new QDBusPendingCallWatcher(notifyCall_);
        QDBusConnection bus = bus_;
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [bus](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusPendingReply<uint> reply = *call;
            if (!reply.isError())
                SendClose(bus, reply.value());
        });
    }
}

QString TVNTRNotification::BodyFor(const QString &body, const QStringList &capabilities)
{
    // A service that reads markup would take "<" and "&" in a message for tags (or links).
    return capabilities.contains(QLatin1String("body-markup")) ? body.toHtmlEscaped() : body;
}

QVariantList TVNTRNotification::NotifyArguments(const QString &summary, const QString &body, const QStringList &capabilities)
{
    const QString appId = QString::fromUtf16(ZTDesktopAppId);
    QStringList actions;
    if (capabilities.contains(QLatin1String("actions")))
        actions = QStringList{QLatin1String(VNTRActionDefault), QStringLiteral("Show"),          QLatin1String(VNTRActionDismiss),
                              QStringLiteral("Dismiss"),        QLatin1String(VNTRActionSnooze), QStringLiteral("Snooze")};
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(UrgencyCritical));
    hints.insert(QStringLiteral("desktop-entry"), appId);
    // The alert plays its own sound.
    hints.insert(QStringLiteral("suppress-sound"), true);
    return {ApplicationName(), uint(0), appId, summary, BodyFor(body, capabilities), actions, hints, kNeverExpires};
}

void TVNTRNotification::Show(const QString &summary, const QString &body)
{
    if (state_ != TState::Idle)
        return;
    summary_ = summary;
    body_ = body;
    if (!bus_.isConnected()) {
        state_ = TState::Closed;
        return;
    }
    state_ = TState::Asking;
    // What the service can show decides the actions and the body's form; asked every time,
    // because the service may have been replaced since the last alert.
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ServiceCall("GetCapabilities"), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> reply = *call;
        if (state_ != TState::Asking)
            return;
        if (reply.isError()) {
            // No notification service: the alert window alone.
            state_ = TState::Closed;
            return;
        }
        Send(reply.value());
    });
}

void TVNTRNotification::Send(const QStringList &capabilities)
{
    QDBusMessage message = ServiceCall("Notify");
    message.setArguments(NotifyArguments(summary_, body_, capabilities));
    state_ = TState::Sending;
    notifyCall_ = bus_.asyncCall(message, kCallTimeoutMs);
    notifyPending_ = true;
    auto *watcher = new QDBusPendingCallWatcher(notifyCall_, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        notifyPending_ = false;
        const QDBusPendingReply<uint> reply = *call;
        const uint id = reply.isError() ? 0 : reply.value();
        if (state_ == TState::Sending) {
            state_ = id ? TState::Shown : TState::Closed;
            id_ = id;
        } else if (id) {
            // Answered while the notification was on its way.
            SendClose(id);
        }
    });
}

void TVNTRNotification::Close()
{
    const TState was = state_;
    state_ = TState::Closed;
    if (was == TState::Shown)
        SendClose(id_);
    id_ = 0;
    // While Notify is on its way, its handler sees Closed and withdraws the notification when
    // the id comes.
}

void TVNTRNotification::SendClose(uint id)
{
    SendClose(bus_, id);
}

void TVNTRNotification::SendClose(const QDBusConnection &bus, uint id)
{
    if (id == 0 || !bus.isConnected())
        return;
    QDBusMessage message = ServiceCall("CloseNotification");
    message.setArguments({id});
    bus.asyncCall(message, kCallTimeoutMs);
}

void TVNTRNotification::ServiceActionInvoked(uint id, const QString &key)
{
    if (state_ != TState::Shown || id != id_ || id == 0)
        return;
    Q_EMIT ActionInvoked(key);
}

void TVNTRNotification::ServiceNotificationClosed(uint id, uint)
{
    if (state_ != TState::Shown || id != id_ || id == 0)
        return;
    // Closed by the user or the service: the alert stays open, there is nothing to withdraw.
    state_ = TState::Closed;
    id_ = 0;
}
