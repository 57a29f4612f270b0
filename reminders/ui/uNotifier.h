#pragma once
// One desktop notification that goes with an alert, through the desktop's notification
// service (org.freedesktop.Notifications on the session bus). It carries the alert's caption
// and message and, where the service can show buttons, the actions Dismiss and Snooze; the
// alert window listens for them and answers as its own buttons do.
//
// Every call to the service is asynchronous: the user-interface thread never waits for it.
// Without a service on the bus (or without a bus) nothing is shown and nothing fails.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The action keys the notification offers; "default" is the click on the notification itself.
inline constexpr char VNTRActionDefault[] = "default";
inline constexpr char VNTRActionDismiss[] = "dismiss";
inline constexpr char VNTRActionSnooze[] = "snooze";

class TVNTRNotification : public QObject {
    Q_OBJECT

public:
    static constexpr char Service[] = "org.freedesktop.Notifications";
    static constexpr char Path[] = "/org/freedesktop/Notifications";
    static constexpr char Interface[] = "org.freedesktop.Notifications";
    // Critical: the notification stays until it is answered or closed.
    static constexpr unsigned char UrgencyCritical = 2;

    // The notification talks to the service on bus (the session bus in the program).
    explicit TVNTRNotification(const QDBusConnection &bus, QObject *parent = nullptr);
    // A notification still shown (or still on its way) is withdrawn.
    ~TVNTRNotification() override;

    // Asks the service what it can show, then sends the notification: summary as given, body
    // as plain text (escaped where the service reads markup), the actions when it shows them.
    // Once per object; later calls do nothing.
    void Show(const QString &summary, const QString &body);
    // Withdraws the notification: at once when the service has given its id, else as soon as it
    // does. After Close no action is reported any more.
    void Close();

    // The service's id of the notification; 0 until it is shown, and after it has gone.
    uint Id() const { return id_; }
    // Whether the service is working on the notification and its id has not come yet.
    bool IdPending() const { return state_ == TState::Sending; }
    // Whether the notification is (about to be) on screen: shown and neither closed by us nor
    // reported closed by the service.
    bool IsOpen() const { return state_ == TState::Asking || state_ == TState::Sending || state_ == TState::Shown; }

    // The arguments of the Notify call for a service with the given capabilities (in the
    // order of the call: app name, replaces id, icon, summary, body, actions, hints, timeout).
    static QVariantList NotifyArguments(const QString &summary, const QString &body, const QStringList &capabilities);
    // The body as the service reads it: markup characters escaped when it reads markup.
    static QString BodyFor(const QString &body, const QStringList &capabilities);

Q_SIGNALS:
    // The user chose an action of this notification (one of the VNTRAction keys).
    void ActionInvoked(const QString &key);

private Q_SLOTS:
    void ServiceActionInvoked(uint id, const QString &key);
    void ServiceNotificationClosed(uint id, uint reason);

private:
    enum class TState { Idle, Asking, Sending, Shown, Closed };

    void Send(const QStringList &capabilities);
    void SendClose(uint id);
    static void SendClose(const QDBusConnection &bus, uint id);

    QDBusConnection bus_;
    // The Notify call while its id is on the way.
    QDBusPendingCall notifyCall_ = QDBusPendingCall::fromCompletedCall(QDBusMessage());
    // Whether this object has not yet handled the answer to Notify (closed or not).
    bool notifyPending_ = false;
    TState state_ = TState::Idle;
    uint id_ = 0;
    QString summary_;
    QString body_;
};
