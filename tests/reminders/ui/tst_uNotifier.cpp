// The desktop notification that goes with an alert, against a fake notification service
// (python3-dbusmock's notification_daemon template) on a private session bus that this test
// starts itself. The program's own session-bus connection is pointed at that bus before anything
// opens it; nothing here reaches the desktop of the person running the test.
#include "FakePlayer.h"
#include "ProgramFixture.h"
#include "TestEnv.h"

#include "../../library/widgets/ModalDriver.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "clsOptions.h"
#include "clsReminders.h"
#include "frmMainAlerts.h"
#include "frmReminder.h"
#include "uFunctions.h"
#include "uMain.h"
#include "uNotifier.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace {
constexpr int kDeadlineMs = 15000;
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

QString Service()
{
    return QLatin1String(TVNTRNotification::Service);
}
QString Path()
{
    return QLatin1String(TVNTRNotification::Path);
}
QString Interface()
{
    return QLatin1String(TVNTRNotification::Interface);
}

// A bus of this test's own: no service files, so nothing is started on demand.
class TPrivateBus {
public:
    // Returns an empty string when it runs, else why not.
    QString Start(const QString &folder)
    {
        const QString config = folder + QStringLiteral("/bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write %1").arg(config);
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(folder)
                       .toUtf8());
        file.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(kDeadlineMs))
            return QStringLiteral("dbus-daemon cannot be started (%1)").arg(daemon_.errorString());
        QByteArray address;
        while (!address.contains('\n') && daemon_.waitForReadyRead(kDeadlineMs))
            address += daemon_.readAllStandardOutput();
        Address = QString::fromLocal8Bit(address).trimmed();
        return Address.isEmpty() ? QStringLiteral("dbus-daemon gave no address") : QString();
    }
    ~TPrivateBus()
    {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QString Address;

private:
    QProcess daemon_;
};

// The interpreter that has the dbusmock module, or "".
QString MockPython()
{
    for (const QString &python : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")})
        if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) == 0)
            return python;
    return QString();
}

// One recorded call of the fake service: its arguments.
using TCall = QVariantList;

QDBusMessage MockCall(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service(), Path(), kMockInterface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, kDeadlineMs);
}

// The calls of a method the fake service has received, in order.
QList<TCall> Calls(const QString &method)
{
    QList<TCall> calls;
    const QDBusMessage reply = MockCall(QStringLiteral("GetMethodCalls"), {method});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return calls;
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        quint64 stamp = 0;
        TCall arguments;
        list.beginStructure();
        list >> stamp >> arguments;
        list.endStructure();
        calls << arguments;
    }
    list.endArray();
    return calls;
}

// The service sends one of its signals.
void Emit(const QString &name, const QString &signature, const QVariantList &arguments)
{
    MockCall(QStringLiteral("EmitSignal"), {Interface(), name, signature, QVariant::fromValue(arguments)});
}

// Puts other code in place of a method of the fake service.
void Replace(const QString &method, const QString &in, const QString &out, const QString &code)
{
    MockCall(QStringLiteral("AddMethod"), {Interface(), method, in, out, code});
}

QDateTime Moment(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// The store's rows as a short text, ordered: one-time rows with their minute, series, and the
// number of exclusion records.
QString Describe(TReminders &store)
{
    QStringList rows;
    TReminder row;
    for (int i = 0; i < store.MainRowCount(); ++i) {
        store.ReadMainRow(i, row);
        rows << (row.Recurring
                     ? QStringLiteral("series")
                     : QStringLiteral("once ") + DateTimeToQDateTime(row.Time).time().toString(QStringLiteral("HH:mm")));
    }
    rows.sort();
    if (store.ExclusionRowCount() > 0)
        rows << QStringLiteral("%1 exclusions").arg(store.ExclusionRowCount());
    return rows.join(QStringLiteral(", "));
}
} // namespace

class TestUNotifier : public QObject {
    Q_OBJECT

private:
    TProgramFixture fixture_; // errors as "message|details"
    TPrivateBus bus_;
    QString busProblem_;
    QString python_;
    QProcess mock_;
    TFakePlayer player_;

    QString DataFile() const { return fixture_.DataFile(); }

    bool StartMock()
    {
        mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_.start(python_, {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                              QStringLiteral("notification_daemon"), QStringLiteral("-p"),
                              QStringLiteral(R"({"capabilities": "actions body body-markup icon-static"})")});
        return mock_.waitForStarted(kDeadlineMs)
               && QTest::qWaitFor(
                   [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(Service()).value(); }, kDeadlineMs);
    }

    void StopMock()
    {
        mock_.kill();
        mock_.waitForFinished(kDeadlineMs);
        QVERIFY(QTest::qWaitFor([] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(Service()).value(); },
                                kDeadlineMs));
    }

    // A scanner over the globals whose commit saves the file, as the main window's does.
    void Wire(TVNTRDueScanner &scanner)
    {
        TVNTRDueScanner::THooks hooks;
        hooks.Store = [] { return Reminders.get(); };
        hooks.Options = [] { return Options.get(); };
        hooks.Player = &player_;
        hooks.Commit = [] { Reminders->Save(); };
        scanner.SetHooks(std::move(hooks));
    }

    // The file as the next start would read it.
    QString FileContent() const
    {
        TReminders stored(DataFile());
        stored.Load();
        return Describe(stored);
    }

private Q_SLOTS:
    void initTestCase()
    {
        busProblem_ = bus_.Start(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        if (busProblem_.isEmpty()) {
            // Before anything in this process has opened the session bus.
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.Address.toLocal8Bit());
            if (!QDBusConnection::sessionBus().isConnected())
                busProblem_ = QStringLiteral("the session bus was opened before the test pointed it at its own");
        }
        python_ = MockPython();
    }

    void init()
    {
        if (!busProblem_.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no private session bus: ") + busProblem_));
        if (python_.isEmpty())
            QSKIP("python3-dbusmock is not installed: there is no fake notification service to talk to");
        QVERIFY2(StartMock(), "the fake notification service did not start");
        fixture_.Start();
        Options->DefaultReminder = 1; // 10 minutes
        player_ = TFakePlayer();
        fixture_.CatchErrors(true);
    }

    void cleanup()
    {
        VNTRSetAlertAnswerer({});
        fixture_.Stop();
        mock_.kill();
        mock_.waitForFinished(kDeadlineMs);
    }

    // Without the actions capability the notification has no buttons, and without body markup
    // the message goes as it is.
    void plainService()
    {
        const QVariantList args =
            TVNTRNotification::NotifyArguments(QStringLiteral("Reminder"), QStringLiteral("<b> & c"), {QStringLiteral("body")});
        QCOMPARE(args.value(4).toString(), QStringLiteral("<b> & c"));
        QCOMPARE(args.value(5).toStringList(), QStringList());
    }

    // Each alert sends one notification; acting on it answers the alert as the window's buttons
    // do (the store and the file), and the window's own answer withdraws it.
    void alertAnsweredThroughNotification_data()
    {
        QTest::addColumn<bool>("series");
        QTest::addColumn<bool>("showNotification");
        // What the test does while the alert is open: actions of the notification, "closed" (the
        // user closes the notification), "window:Dismiss" or "window:Snooze" (its button).
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withdrawn");
        QTest::newRow("dismiss") << false << true << QStringList{"dismiss"} << "" << true;
        QTest::newRow("snooze") << false << true << QStringList{"snooze"} << "once 10:10" << true;
        QTest::newRow("snooze a series with missed occurrences")
            << true << true << QStringList{"snooze"} << "once 10:10, series, 3 exclusions" << true;
        QTest::newRow("click brings the window, which stays")
            << false << true << QStringList{"default", "window:Snooze"} << "once 10:10" << true;
        QTest::newRow("window answers") << false << true << QStringList{"window:Dismiss"} << "" << true;
        QTest::newRow("closed by the user, the alert stays")
            << false << true << QStringList{"closed", "window:Snooze"} << "once 10:10" << false;
        QTest::newRow("preference off") << false << false << QStringList{"window:Dismiss"} << "" << false;
    }
    void alertAnsweredThroughNotification()
    {
        QFETCH(bool, series);
        QFETCH(bool, showNotification);
        QFETCH(QStringList, steps);
        QFETCH(QString, file);
        QFETCH(bool, withdrawn);

        const QDateTime now = Moment(2024, 3, 4, 10, 0, 30);
        ZTPinClock(now);
        Options->ShowNotification = showNotification;
        auto reminder = TReminder::Create();
        reminder->Date = QDateToDateTime(now.date());
        reminder->Time = EncodeTime(10, 0);
        reminder->ReminderMessage = QStringLiteral("Water the <plants> & herbs");
        reminder->Active = true;
        reminder->RecurrenceWeeklyDays = QStringLiteral("0000000");
        if (series) {
            reminder->Recurring = true;
            reminder->RecurrenceUnit = ruDaily;
            reminder->RecurrenceDailyType = dtEveryNDays;
            reminder->RecurrenceDailyEvery = 1;
            reminder->RecurrenceStart = QDateToDateTime(now.date().addDays(-2));
            reminder->RecurrenceNoEnd = true;
        }
        Reminders->Add(*reminder);

        QString body;
        uint id = 0;
        bool stayedOpen = true;
        TModalDriver driver([&](QDialog *window) {
            auto *dialog = qobject_cast<TReminderDlg *>(window);
            QVERIFY(dialog);
            if (showNotification) {
                QVERIFY(QTest::qWaitFor([&] { return dialog->Notification()->Id() != 0; }, kDeadlineMs));
                const QList<TCall> notes = Calls(QStringLiteral("Notify"));
                QCOMPARE(notes.size(), 1);
                QCOMPARE(notes[0].value(3).toString(), dialog->windowTitle());
                body = notes[0].value(4).toString();
                QCOMPARE(qdbus_cast<QStringList>(notes[0].value(5)),
                         QStringList({"default", "Show", "dismiss", "Dismiss", "snooze", "Snooze"}));
                const QVariantMap hints = qdbus_cast<QVariantMap>(notes[0].value(6));
                QCOMPARE(hints.value("urgency").metaType(), QMetaType::fromType<uchar>());
                QCOMPARE(hints.value("urgency").value<uchar>(), uchar(2));
                QCOMPARE(hints.value("suppress-sound"), QVariant(true));
                id = dialog->Notification()->Id();
            } else {
                QVERIFY(!dialog->Notification());
            }
            for (const QString &step : steps) {
                if (step.startsWith(QLatin1String("window:"))) {
                    dialog->findChild<QPushButton *>(QStringLiteral("cmd") + step.mid(7))->click();
                } else if (step == QLatin1String("closed")) {
                    Emit(QStringLiteral("NotificationClosed"), QStringLiteral("uu"), {id, 2u});
                    QVERIFY(QTest::qWaitFor([&] { return !dialog->Notification()->IsOpen(); }, kDeadlineMs));
                } else {
                    Emit(QStringLiteral("ActionInvoked"), QStringLiteral("us"), {id, step});
                    if (step == QLatin1String("default")) {
                        // The next call's reply comes after the signal: by then it has been handled.
                        Calls(QStringLiteral("Notify"));
                        QCoreApplication::processEvents();
                        stayedOpen = dialog->isVisible();
                    }
                }
            }
            QVERIFY(QTest::qWaitFor([&] { return !dialog->isVisible(); }, kDeadlineMs));
        });

        TVNTRDueScanner scanner;
        Wire(scanner);
        QCOMPARE(scanner.Scan(series, FromQDateTime(now)), 1);
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QVERIFY(stayedOpen);
        QCOMPARE(fixture_.Errors, QStringList());
        QCOMPARE(FileContent(), file);
        if (showNotification)
            QCOMPARE(body, series ? QStringLiteral("Water the &lt;plants&gt; &amp; herbs\nand 2 earlier occurrences")
                                  : QStringLiteral("Water the &lt;plants&gt; &amp; herbs"));
        // A call of ours made before this one has reached the service before it.
        const QList<TCall> closes = Calls(QStringLiteral("CloseNotification"));
        QCOMPARE(closes.size(), withdrawn ? 1 : 0);
        if (withdrawn)
            QCOMPARE(closes[0].value(0).toUInt(), id);
        QCOMPARE(Calls(QStringLiteral("Notify")).size(), showNotification ? 1 : 0);
    }

    // Answered while the service is still working on the notification: it is withdrawn as
    // soon as its id comes, also when the alert window has gone by then.
    void answeredBeforeTheIdCame_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("released");
        QTest::newRow("closed") << true << false;
        QTest::newRow("released") << false << true;
        // The alert window: answered, then released at once.
        QTest::newRow("closed and released") << true << true;
    }
    void answeredBeforeTheIdCame()
    {
        QFETCH(bool, closed);
        QFETCH(bool, released);
        Replace(QStringLiteral("Notify"), QStringLiteral("susssasa{sv}i"), QStringLiteral("u"),
                QStringLiteral("import time; time.sleep(0.3); ret = 41"));
        auto notice = std::make_unique<TVNTRNotification>(QDBusConnection::sessionBus());
        notice->Show(QStringLiteral("Reminder"), QStringLiteral("Soon"));
        QVERIFY(QTest::qWaitFor([&] { return notice->IdPending(); }, kDeadlineMs));
        if (closed)
            notice->Close();
        if (released)
            notice.reset();
        QVERIFY(QTest::qWaitFor([] { return !Calls(QStringLiteral("CloseNotification")).isEmpty(); }, kDeadlineMs));
        QCOMPARE(Calls(QStringLiteral("CloseNotification")).value(0).value(0).toUInt(), 41u);
        if (notice)
            QCOMPARE(notice->Id(), 0u);
    }

    // Without a notification service, or without a bus, the alert goes on as without the
    // preference, and nothing is reported.
    void withoutService_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::newRow("no service on the bus") << true;
        QTest::newRow("no bus") << false;
    }
    void withoutService()
    {
        QFETCH(bool, bus);
        StopMock();
        const QDBusConnection connection =
            bus ? QDBusConnection::sessionBus()
                : QDBusConnection::connectToBus(QStringLiteral("unix:path=") + fixture_.Path(QStringLiteral("none")),
                                                QStringLiteral("none"));
        TReminderDlg dialog;
        TReminder reminder;
        reminder.ReminderMessage = QStringLiteral("Stretch");
        dialog.Prepare(reminder, 0, 0);
        dialog.ShowNotification(connection);
        QVERIFY(QTest::qWaitFor([&] { return !dialog.Notification()->IsOpen(); }, kDeadlineMs));
        dialog.findChild<QPushButton *>(QStringLiteral("cmdSnooze"))->click();
        QVERIFY(dialog.Snoozed());
        QCOMPARE(fixture_.Errors, QStringList());
    }
};

VENTARO_TEST_MAIN(TestUNotifier, QApplication)
#include "tst_uNotifier.moc"
