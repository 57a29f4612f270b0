// The sync engine against a real calendar server (Radicale, started per test class), with two
// stores playing two machines.

#include "RadicaleServer.h"
#include "TestEnv.h"
#include "ZTClock.h"
#include "clsRemindersIcs.h"
#include "clsSync.h"
#include "uFunctions.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(TSyncOutcome)

namespace {

// One machine: its store in a folder of its own, and its engine.
struct TMachine {
    QTemporaryDir dir;
    std::unique_ptr<TReminders> store;
    std::unique_ptr<TSyncEngine> engine;

    TMachine()
    {
        store = std::make_unique<TReminders>(dir.path() + QStringLiteral("/reminders.dat"));
        engine = std::make_unique<TSyncEngine>(*store);
    }

    TSyncOutcome Sync(const QUrl &url, const QString &password = QString::fromLatin1(TRadicaleServer::Password))
    {
        QSignalSpy spy(engine.get(), &TSyncEngine::Finished);
        if (!engine->Start({url, QString::fromLatin1(TRadicaleServer::User), password}))
            return {};
        if (!spy.wait(120000))
            return {};
        return spy.at(0).at(0).value<TSyncOutcome>();
    }

    // Every main row, by Id.
    QHash<QString, TReminder> Rows()
    {
        QHash<QString, TReminder> rows;
        for (int i = 0; i < store->MainRowCount(); ++i) {
            TReminder r;
            store->ReadMainRow(i, r);
            rows.insert(r.Id, r);
        }
        return rows;
    }
    TReminder Row(const QString &id) { return Rows().value(id); }
    int Exclusions(const QString &id)
    {
        std::lock_guard<std::recursive_mutex> guard(store->Lock());
        return int(store->ExclusionsOf(id).size());
    }
};

TReminder OneTime(const QString &message)
{
    TReminder r;
    r.Id = TReminder::NewId();
    r.ReminderMessage = message;
    r.Active = true;
    r.Date = QDateToDateTime(QDate(2026, 3, 10));
    r.Time = EncodeTime(9, 30);
    r.RecurrenceStart = r.RecurrenceEndBy = r.Date;
    r.RecurrenceNoEnd = true;
    r.RecurrenceWeeklyDays = QStringLiteral("0000000");
    return r;
}

TReminder Daily(const QString &message)
{
    TReminder r = OneTime(message);
    r.Recurring = true;
    r.RecurrenceUnit = ruDaily;
    r.RecurrenceDailyType = dtEveryNDays;
    r.RecurrenceDailyEvery = 1;
    return r;
}

void Exclude(TReminders &store, const TReminder &series, int day)
{
    TReminder occurrence = series;
    occurrence.OccurrenceDate = QDateToDateTime(QDate(2026, 3, day));
    occurrence.OccurrenceTime = series.Time;
    std::lock_guard<std::recursive_mutex> guard(store.Lock());
    store.AddExclusion(*occurrence.MakeExclusion());
}

// What one machine does to the shared reminder before the next sync.
enum TChange { None, Message1, Message2, Dismiss, Move, Exclude12, Exclude14, DeleteIt, Sound };

void Apply(TMachine &m, const QString &id, TChange change)
{
    if (change == None)
        return;
    TReminder r = m.Row(id);
    std::lock_guard<std::recursive_mutex> guard(m.store->Lock());
    switch (change) {
    case Message1:
        r.ReminderMessage = QStringLiteral("Call the plumber");
        break;
    case Message2:
        r.ReminderMessage = QStringLiteral("Call the electrician");
        break;
    case Dismiss:
        r.Active = false;
        break;
    case Move:
        r.Date = QDateToDateTime(QDate(2026, 3, 20));
        break;
    case Exclude12:
        Exclude(*m.store, r, 12);
        return;
    case Exclude14:
        Exclude(*m.store, r, 14);
        return;
    case DeleteIt:
        m.store->DeleteSeries(r);
        return;
    case Sound:
        r.PlaySound = true;
        break;
    default:
        break;
    }
    m.store->Update(r);
}

} // namespace

class TestSync : public QObject {
    Q_OBJECT

    std::unique_ptr<TRadicaleServer> server_;
    int calendar_ = 0;

    // A fresh calendar collection for each test, so tests do not see each other's reminders.
    QUrl NewCalendar()
    {
        const QUrl url = server_->Url(QStringLiteral("/%1/cal%2/").arg(QLatin1String(TRadicaleServer::User)).arg(++calendar_));
        const auto made = server_->Request("MKCALENDAR", url);
        if (made.Status != 201)
            qWarning("MKCALENDAR answered %d", made.Status);
        return url;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<TSyncOutcome>();
        ZTPinClock(QDateTime(QDate(2026, 3, 1), QTime(8, 0)));
        if (!TRadicaleServer::Installed())
            QSKIP("radicale is not installed (Debian package radicale): the sync tests need a calendar server");
        server_ = std::make_unique<TRadicaleServer>();
        QString why;
        QVERIFY2(server_->Start(why), qPrintable(why));
    }

    // Three-way merge of one reminder changed on two machines.
    void merge_data()
    {
        QTest::addColumn<bool>("series");
        QTest::addColumn<int>("changeA");
        QTest::addColumn<int>("changeB");
        QTest::addColumn<int>("rows");        // main rows on each machine afterwards
        QTest::addColumn<QString>("message"); // of the reminder with the original Id ("" deleted)
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("exclusions");
        QTest::addColumn<int>("conflicts");
        QTest::addColumn<int>("silencedAtA"); // occurrences A is told arrived silenced

        const QString orig = QStringLiteral("Water the plants");
        const QString m1 = QStringLiteral("Call the plumber");
        QTest::newRow("changed on one side") << false << int(Message1) << int(None) << 1 << m1 << true << 0 << 0 << 0;
        QTest::newRow("same change on both") << false << int(Message1) << int(Message1) << 1 << m1 << true << 0 << 0 << 0;
        QTest::newRow("different changes: conflict copy")
            << false << int(Message2) << int(Message1) << 2 << m1 << true << 0 << 1 << 0;
        QTest::newRow("dismissed there, edited here")
            << false << int(Message1) << int(Dismiss) << 1 << m1 << false << 0 << 0 << 1;
        QTest::newRow("dismissed here, moved there") << false << int(Dismiss) << int(Move) << 1 << orig << true << 0 << 0 << 0;
        QTest::newRow("dismissals on both series united")
            << true << int(Exclude12) << int(Exclude14) << 1 << orig << true << 2 << 0 << 1;
        QTest::newRow("exclusion there, field change here")
            << true << int(Sound) << int(Exclude14) << 1 << orig << true << 1 << 0 << 1;
        QTest::newRow("deleted here, changed there") << false << int(DeleteIt) << int(Message1) << 1 << m1 << true << 0 << 0 << 0;
        QTest::newRow("changed here, deleted there") << false << int(Message1) << int(DeleteIt) << 1 << m1 << true << 0 << 0 << 0;
        QTest::newRow("deleted there, unchanged here")
            << false << int(None) << int(DeleteIt) << 0 << QString() << false << 0 << 0 << 1;
    }

    void merge()
    {
        QFETCH(bool, series);
        QFETCH(int, changeA);
        QFETCH(int, changeB);
        QFETCH(int, rows);
        QFETCH(QString, message);
        QFETCH(bool, active);
        QFETCH(int, exclusions);
        QFETCH(int, conflicts);
        QFETCH(int, silencedAtA);

        const QUrl url = NewCalendar();
        TMachine a, b;
        const TReminder r = series ? Daily(QStringLiteral("Water the plants")) : OneTime(QStringLiteral("Water the plants"));
        a.store->Add(r);
        QVERIFY(a.Sync(url).Ok());
        TSyncOutcome first = b.Sync(url);
        QVERIFY2(first.Ok(), qPrintable(first.Message));
        QCOMPARE(first.Downloaded, 1);
        QCOMPARE(b.Row(r.Id).ReminderMessage, r.ReminderMessage);

        Apply(a, r.Id, TChange(changeA));
        Apply(b, r.Id, TChange(changeB));
        const TSyncOutcome ob = b.Sync(url);
        QVERIFY2(ob.Ok(), qPrintable(ob.Message));
        const TSyncOutcome oa = a.Sync(url);
        QVERIFY2(oa.Ok(), qPrintable(oa.Message));
        const TSyncOutcome ob2 = b.Sync(url);
        QVERIFY2(ob2.Ok(), qPrintable(ob2.Message));
        QCOMPARE(oa.Conflicts + ob.Conflicts + ob2.Conflicts, conflicts);
        QCOMPARE(int(oa.Silenced.size()), silencedAtA);

        for (TMachine *m : {&a, &b}) {
            const auto all = m->Rows();
            QCOMPARE(all.size(), rows);
            if (message.isEmpty()) {
                QVERIFY(!all.contains(r.Id));
                continue;
            }
            const TReminder got = all.value(r.Id);
            QCOMPARE(got.ReminderMessage, message);
            QCOMPARE(got.Active, active);
            QCOMPARE(m->Exclusions(r.Id), exclusions);
            if (conflicts) {
                bool copy = false;
                for (const TReminder &x : all)
                    copy |= x.Id != r.Id && x.ReminderMessage == QStringLiteral("(Conflict) Call the electrician");
                QVERIFY2(copy, "our version is kept as a conflict copy on both machines");
            }
        }
        // Settled: one more round changes nothing on either side.
        const TSyncOutcome settled = a.Sync(url);
        QCOMPARE(settled.Uploaded + settled.Downloaded + settled.DeletedHere + settled.DeletedThere, 0);
    }

    // The server keeps a rewritten body; the next sync still sees no change, and is one request.
    void noChangeSyncIsOneRequest()
    {
        const QUrl url = NewCalendar();
        TMachine a;
        const TReminder r = Daily(QStringLiteral("Stand-up"));
        a.store->Add(r);
        Exclude(*a.store, r, 5);
        const TSyncOutcome first = a.Sync(url);
        QVERIFY2(first.Ok(), qPrintable(first.Message));
        QCOMPARE(first.Uploaded, 1);
        const QByteArray sent = ReminderToIcs(r, {}, a.store->WorkDays());
        const QByteArray stored =
            server_
                ->Request("GET", url.resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(r.Id + QStringLiteral(".ics"))))))
                .Body;
        QVERIFY2(!stored.isEmpty() && stored != sent, "the server stores another body than it was sent");
        for (int round = 0; round < 2; ++round) {
            const TSyncOutcome again = a.Sync(url);
            QVERIFY2(again.Ok(), qPrintable(again.Message));
            QCOMPARE(again.Requests, 1);
            QCOMPARE(again.Uploaded + again.Downloaded, 0);
            QVERIFY(!again.StoreChanged);
        }
    }

    // An expired sync token: the listing is compared with the state, to the same result.
    void expiredTokenFallsBackToListing()
    {
        const QUrl url = NewCalendar();
        TMachine a, b;
        const TReminder r = OneTime(QStringLiteral("Renew the passport"));
        a.store->Add(r);
        QVERIFY(a.Sync(url).Ok());
        QVERIFY(b.Sync(url).Ok());
        Apply(b, r.Id, Message1);
        QVERIFY(b.Sync(url).Ok());

        QFile state(a.engine->StatePath());
        QVERIFY(state.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(state.readAll()).object();
        state.close();
        QVERIFY(!root.value(QStringLiteral("token")).toString().isEmpty());
        root.insert(QStringLiteral("token"),
                    QStringLiteral("http://radicale.org/ns/sync/0000000000000000000000000000000000000000"));
        QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
        state.write(QJsonDocument(root).toJson());
        state.close();

        const TSyncOutcome o = a.Sync(url);
        QVERIFY2(o.Ok(), qPrintable(o.Message));
        QVERIFY(o.Requests >= 3); // the refused report, the listing, the fetch
        QCOMPARE(o.Downloaded, 1);
        QCOMPARE(a.Row(r.Id).ReminderMessage, QStringLiteral("Call the plumber"));
        QCOMPARE(a.Rows().size(), 1);
    }

    // The server changes between our reading and our upload: 412, read again, merge, retry.
    void uploadAfterServerChangedIsMerged()
    {
        const QUrl url = NewCalendar();
        TMachine a, b;
        const TReminder r = OneTime(QStringLiteral("Book the train"));
        a.store->Add(r);
        QVERIFY(a.Sync(url).Ok());
        QVERIFY(b.Sync(url).Ok());

        // Another client edits the message right before our upload.
        TReminder theirs = r;
        theirs.ReminderMessage = QStringLiteral("Book the train and the hotel");
        const QUrl resource = url.resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(r.Id + QStringLiteral(".ics")))));
        bool changed = false;
        a.engine->SetRequestHook([&](const QByteArray &verb, const QUrl &) {
            if (verb == "PUT" && !changed) {
                changed = true;
                const auto put = server_->Request("PUT", resource, ReminderToIcs(theirs, {}, a.store->WorkDays()),
                                                  {{"Content-Type", "text/calendar; charset=utf-8"}});
                QVERIFY(put.Status / 100 == 2);
            }
        });
        Apply(a, r.Id, Dismiss);
        const TSyncOutcome o = a.Sync(url);
        a.engine->SetRequestHook({});
        QVERIFY(changed);
        QVERIFY2(o.Ok(), qPrintable(o.Message));
        QCOMPARE(o.Conflicts, 0);
        QCOMPARE(a.Row(r.Id).ReminderMessage, theirs.ReminderMessage);
        QCOMPARE(a.Row(r.Id).Active, false);
        QVERIFY(b.Sync(url).Ok());
        QCOMPARE(b.Row(r.Id).ReminderMessage, theirs.ReminderMessage);
        QCOMPARE(b.Row(r.Id).Active, false);
    }

    // A program named by the server is kept but not switched on here, and is given back unchanged.
    void offeredProgramIsNotRunHere()
    {
        const QUrl url = NewCalendar();
        TMachine a;
        TReminder theirs = OneTime(QStringLiteral("Back up"));
        theirs.RunProgram = true;
        theirs.ProgramLocation = QStringLiteral("/usr/bin/touch");
        const QUrl resource =
            url.resolved(QUrl(QString::fromLatin1(QUrl::toPercentEncoding(theirs.Id + QStringLiteral(".ics")))));
        QCOMPARE(
            server_->Request("PUT", resource, ReminderToIcs(theirs, {}, a.store->WorkDays()), {{"Content-Type", "text/calendar"}})
                .Status,
            201);

        QVERIFY(a.Sync(url).Ok());
        QCOMPARE(a.Row(theirs.Id).ProgramLocation, theirs.ProgramLocation);
        QCOMPARE(a.Row(theirs.Id).RunProgram, false);

        auto offered = [&] {
            const TIcsReading read = ReadIcs(server_->Request("GET", resource).Body, a.store->WorkDays());
            return read.Reminders.size() == 1 && read.Reminders[0].ProgramOffered;
        };
        Apply(a, theirs.Id, Message1);
        TSyncOutcome o = a.Sync(url);
        QVERIFY2(o.Ok(), qPrintable(o.Message));
        QCOMPARE(o.Uploaded, 1);
        QVERIFY2(offered(), "the server's run flag goes back unchanged");
        QCOMPARE(a.Row(theirs.Id).RunProgram, false);

        // Another program here: the server's run flag no longer applies to it.
        TReminder here = a.Row(theirs.Id);
        here.ProgramLocation = QStringLiteral("/usr/bin/true");
        a.store->Update(here);
        QVERIFY(a.Sync(url).Ok());
        QVERIFY(!offered());
    }

    // Failures: nothing is half done, and the message says what failed without the password.
    void failures_data()
    {
        QTest::addColumn<QString>("target"); // "server", "closed" (a port nobody listens on), or a URL
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("requests"); // -1: any
        QTest::newRow("wrong password") << "server"
                                        << "wrong-Pa55" << int(TSyncOutcome::Credentials) << -1;
        QTest::newRow("closed port") << "closed" << QString::fromLatin1(TRadicaleServer::Password)
                                     << int(TSyncOutcome::Unreachable) << 1;
        QTest::newRow("https to a server without TLS")
            << "no-tls" << QString::fromLatin1(TRadicaleServer::Password) << int(TSyncOutcome::Tls) << 1;
        QTest::newRow("plain http elsewhere")
            << "http://192.0.2.7/dav/" << QString::fromLatin1(TRadicaleServer::Password) << int(TSyncOutcome::Insecure) << 0;
    }

    void failures()
    {
        QFETCH(QString, target);
        QFETCH(QString, password);
        QFETCH(int, failure);
        QFETCH(int, requests);
        QUrl url;
        if (target == QLatin1String("server")) {
            url = NewCalendar();
        } else if (target == QLatin1String("closed")) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
        } else if (target == QLatin1String("no-tls")) {
            // Answers plain HTTP to the TLS handshake.
            auto plain = new QTcpServer(this);
            QVERIFY(plain->listen(QHostAddress::LocalHost, 0));
            connect(plain, &QTcpServer::newConnection, plain, [plain] {
                while (QTcpSocket *socket = plain->nextPendingConnection())
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
            });
            url = QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(plain->serverPort()));
        } else {
            url = QUrl(target);
        }
        TMachine a;
        a.store->Add(OneTime(QStringLiteral("Pay the rent")));
        const TSyncOutcome o = a.Sync(url, password);
        QCOMPARE(int(o.Failure), failure);
        QVERIFY(!o.Message.isEmpty());
        QVERIFY(!o.Message.contains(password));
        if (requests >= 0)
            QCOMPARE(o.Requests, requests);
        QVERIFY(!QFile::exists(a.engine->StatePath()));
        QVERIFY(!a.engine->Running());
    }

    // A store that cannot be saved: the state is not written, so nothing counts as exchanged.
    void failedSaveKeepsTheState()
    {
        const QUrl url = NewCalendar();
        TMachine a, b;
        a.store->Add(OneTime(QStringLiteral("Feed the cat")));
        QVERIFY(a.Sync(url).Ok());
        b.engine->SetSaveStore([] { return false; });
        const TSyncOutcome o = b.Sync(url);
        QCOMPARE(o.Failure, TSyncOutcome::Local);
        QVERIFY(!QFile::exists(b.engine->StatePath()));
        b.engine->SetSaveStore([&] {
            b.store->Save();
            return true;
        });
        const TSyncOutcome retry = b.Sync(url);
        QVERIFY2(retry.Ok(), qPrintable(retry.Message));
        QCOMPARE(b.Rows().size(), 1);
        QCOMPARE(retry.Uploaded, 0); // taken by Id, not uploaded again as a new reminder
    }

    // Another address for the same calendar starts over: merged by Id, nothing sent twice.
    void newAddressMergesById()
    {
        const QUrl url = NewCalendar();
        TMachine a;
        a.store->Add(OneTime(QStringLiteral("Return the books")));
        a.store->Add(Daily(QStringLiteral("Take the pills")));
        QVERIFY(a.Sync(url).Ok());
        QUrl spelled = url;
        spelled.setPath(url.path().chopped(1)); // without the trailing slash
        const TSyncOutcome o = a.Sync(spelled);
        QVERIFY2(o.Ok(), qPrintable(o.Message));
        QCOMPARE(o.Uploaded + o.Downloaded + o.Conflicts, 0);
        QCOMPARE(a.Rows().size(), 2);
        const auto listing = server_->Request("PROPFIND", url, {}, {{"Depth", "1"}});
        QCOMPARE(listing.Body.count(".ics</"), 2);
    }

    // Abort ends the sync with one Finished, and a second Start waits for the first to end.
    void abortEndsOnce()
    {
        const QUrl url = NewCalendar();
        TMachine a;
        a.store->Add(OneTime(QStringLiteral("Lock the door")));
        QSignalSpy spy(a.engine.get(), &TSyncEngine::Finished);
        const TSyncAccount account{url, QString::fromLatin1(TRadicaleServer::User),
                                   QString::fromLatin1(TRadicaleServer::Password)};
        QVERIFY(a.engine->Start(account));
        QVERIFY(!a.engine->Start(account));
        a.engine->Abort();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.at(0).at(0).value<TSyncOutcome>().Failure, TSyncOutcome::Aborted);
        QVERIFY(a.Sync(url).Ok());
        QCOMPARE(spy.size(), 2); // the aborted sync's one Finished, and the next sync's
    }

    // Found from the server's address: the calendar home, and a calendar made there when none.
    void discoveryMakesACalendar()
    {
        TRadicaleServer empty; // a server with no calendar yet
        QString why;
        QVERIFY2(empty.Start(why), qPrintable(why));
        TMachine a;
        a.store->Add(OneTime(QStringLiteral("Dentist")));
        const TSyncOutcome o = a.Sync(empty.Url());
        QVERIFY2(o.Ok(), qPrintable(o.Message));
        QVERIFY(o.Collection.path().startsWith(QStringLiteral("/%1/").arg(QLatin1String(TRadicaleServer::User))));
        QCOMPARE(o.Uploaded, 1);
        TMachine b;
        const TSyncOutcome ob = b.Sync(empty.Url());
        QVERIFY2(ob.Ok(), qPrintable(ob.Message));
        QCOMPARE(ob.Collection, o.Collection);
        QCOMPARE(b.Rows().size(), 1);
    }
};

VENTARO_TEST_MAIN(TestSync, QCoreApplication)
#include "tst_clsSync.moc"
