#include "ModalDriver.h"
#include "TestEnv.h"
#include "ZTAppEvents.h"
#include "ZTExceptions.h"
#include "ZTMsgFrm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest>

#include <stdexcept>

namespace {
enum TRaise { raiseEZT, raisePlatform, raiseUnknown };

// An object whose event handler lets an exception escape, as an unguarded handler would.
class TThrowingObject : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("escaped from a handler");
        return QObject::event(event);
    }
};

// Records what the handler shows and whether (and when) it ends the program.
struct TWatch {
    QList<TZTMessageRequest> shown;
    int terminated = 0;
    int terminatedWhileShowing = 0;
    bool onGuiThread = true;
    std::unique_ptr<TZTAppEvents> events;

    explicit TWatch(std::uint8_t language = 1)
        : events(std::make_unique<TZTAppEvents>(QStringLiteral("Merrowick Ventaro!"), language, QStringLiteral("Tahoma")))
    {
        events->SetTerminate([this] { ++terminated; });
        ZTSetMessageAnswerer([this](const TZTMessageRequest &r) {
            shown << r;
            terminatedWhileShowing += terminated;
            onGuiThread = onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
            return 0;
        });
    }
};
} // namespace

class TestZTAppEvents : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        ZTSetMessageAnswerer({});
        ZTSetExceptionHandler({});
    }

    // The decision by severity; the program ends only after the dialog was closed.
    void decision_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("text"); // empty: nothing shown
        QTest::addColumn<QString>("shownDetails");
        QTest::addColumn<int>("messageType");
        QTest::addColumn<bool>("ends");
        QTest::newRow("fatal") << int(raiseEZT) << "State lost."
                               << "inner" << 0 << "State lost."
                               << "inner" << 0 << true;
        QTest::newRow("warning") << int(raiseEZT) << "Error saving."
                                 << "disk full" << 1 << "Error saving."
                                 << "disk full" << 1 << false;
        QTest::newRow("information") << int(raiseEZT) << "Done."
                                     << "" << 2 << "Done."
                                     << "" << 2 << false;
        QTest::newRow("severity 3 silent") << int(raiseEZT) << "Odd."
                                           << "" << 3 << ""
                                           << "" << 0 << false;
        QTest::newRow("severity 255 silent") << int(raiseEZT) << "Odd."
                                             << "x" << 255 << ""
                                             << "" << 0 << false;
        QTest::newRow("empty message silent") << int(raiseEZT) << ""
                                              << "x" << 1 << ""
                                              << "" << 0 << false;
        QTest::newRow("empty fatal silent") << int(raiseEZT) << ""
                                            << "" << 0 << ""
                                            << "" << 0 << false;
        QTest::newRow("platform error") << int(raisePlatform) << "bad file"
                                        << "" << 1 << "Unexpected error."
                                        << "bad file" << 0 << true;
        QTest::newRow("anything else") << int(raiseUnknown) << ""
                                       << "" << 1 << "Unexpected error."
                                       << "Unknown error." << 0 << true;
    }
    void decision()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(int, severity);
        QFETCH(QString, text);
        QFETCH(QString, shownDetails);
        QFETCH(int, messageType);
        QFETCH(bool, ends);
        std::exception_ptr error;
        if (kind == raiseEZT)
            error = std::make_exception_ptr(EZTException(message, details, std::uint8_t(severity)));
        else if (kind == raisePlatform)
            error = std::make_exception_ptr(std::runtime_error(message.toStdString()));
        else
            error = std::make_exception_ptr(42);

        TWatch watch(0);
        watch.events->aeEventsException(error);
        QCOMPARE(watch.shown.size(), text.isEmpty() ? 0 : 1);
        QCOMPARE(watch.terminated, ends ? 1 : 0);
        QCOMPARE(watch.terminatedWhileShowing, 0);
        if (text.isEmpty())
            return;
        const TZTMessageRequest &r = watch.shown.first();
        QCOMPARE(int(r.Kind), int(TZTMessageKind::Details));
        QCOMPARE(r.Text, text);
        QCOMPARE(r.Details, shownDetails);
        QCOMPARE(int(r.MessageType), messageType);
        QCOMPARE(r.Caption, QStringLiteral("Merrowick Ventaro!"));
        QCOMPARE(int(r.LanguageId), 0);
        QCOMPARE(r.FontName, QStringLiteral("Tahoma"));
        QVERIFY(!r.ShowDetails);
    }

    // How exceptions reach the installed handler: from a guard, through the application's
    // notify (sent and posted events), and from a worker thread, shown on the GUI thread.
    void routes_data()
    {
        QTest::addColumn<int>("route");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        QTest::addColumn<bool>("ends");
        QTest::newRow("guard") << 0 << "Internal timer error."
                               << "write failed" << false;
        QTest::newRow("notify, sent") << 1 << "Unexpected error."
                                      << "escaped from a handler" << true;
        QTest::newRow("notify, posted") << 2 << "Unexpected error."
                                        << "escaped from a handler" << true;
        QTest::newRow("worker thread") << 3 << "Internal timer error."
                                       << "write failed" << false;
    }
    void routes()
    {
        QFETCH(int, route);
        QFETCH(QString, text);
        QFETCH(QString, details);
        QFETCH(bool, ends);
        QVERIFY(qobject_cast<TZTGuardedApplication *>(QCoreApplication::instance()));
        TWatch watch;
        watch.events->Install();
        const auto guarded = [] {
            ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal timer error."),
                    [] { throw std::runtime_error("write failed"); });
        };
        TThrowingObject target;
        QEvent event(QEvent::User);
        switch (route) {
        case 0:
            guarded();
            break;
        case 1:
            QCoreApplication::sendEvent(&target, &event);
            break;
        case 2:
            QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
            QCoreApplication::sendPostedEvents(&target, QEvent::User);
            break;
        case 3: {
            std::unique_ptr<QThread> worker(QThread::create(guarded));
            worker->start();
            worker->wait();
            QCOMPARE(watch.shown.size(), 0);
            QCoreApplication::sendPostedEvents();
            break;
        }
        }
        QCOMPARE(watch.shown.size(), 1);
        QVERIFY(watch.onGuiThread);
        QCOMPARE(watch.shown[0].Text, text);
        QCOMPARE(watch.shown[0].Details, details);
        QCOMPARE(watch.terminated, ends ? 1 : 0);
    }

    // On the real dialog: a warning with its details lets the program go on; a fatal error
    // shows the critical icon and ends the program once OK is pressed, not before.
    void realDialog_data()
    {
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("icon");
        QTest::newRow("warning") << 1 << "imgWarning";
        QTest::newRow("fatal") << 0 << "imgCritical";
    }
    void realDialog()
    {
        QFETCH(int, severity);
        QFETCH(QString, icon);
        TZTAppEvents events(QStringLiteral("Merrowick Ventaro!"), 1, QStringLiteral("Tahoma"));
        int terminated = 0;
        events.SetTerminate([&] { ++terminated; });
        QStringList seen;
        TModalDriver driver([&](QDialog *dialog) {
            seen << QString::number(terminated) << dialog->windowTitle()
                 << dialog->findChild<QLabel *>(QStringLiteral("lblErrorMsg"))->text();
            for (const char *name : {"imgCritical", "imgWarning", "imgInformation"})
                if (dialog->findChild<QLabel *>(QLatin1String(name))->isVisible())
                    seen << QLatin1String(name);
            auto *details = dialog->findChild<QPushButton *>(QStringLiteral("cmdDetails"));
            seen << details->text();
            QTest::mouseClick(details, Qt::LeftButton);
            seen << dialog->findChild<QPlainTextEdit *>(QStringLiteral("txtErrorDetails"))->toPlainText();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
        });
        events.aeEventsException(std::make_exception_ptr(
            EZTException(QStringLiteral("Error exporting reminders."), QStringLiteral("disk full"), std::uint8_t(severity))));
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QCOMPARE(seen, (QStringList{"0", "Merrowick Ventaro!", "Error exporting reminders.", icon, "&Details >>", "disk full"}));
        QCOMPARE(terminated, severity == 0 ? 1 : 0);
    }

    // A fatal error still ends the program when the dialog itself cannot be shown.
    void fatalEndsEvenWhenDisplayFails()
    {
        TZTAppEvents events(QStringLiteral("Merrowick Ventaro!"), 7 /* no such language */, QString());
        int terminated = 0;
        events.SetTerminate([&] { ++terminated; });
        TModalDriver driver([](QDialog *) {});
        events.aeEventsException(std::make_exception_ptr(std::runtime_error("boom")));
        QVERIFY(!driver.Found);
        QCOMPARE(terminated, 1);
    }

    // The application comes to the front: no window while it lives in the tray alone, else
    // the active or first visible window, before the dialog shows.
    void bringToFront()
    {
        QCOMPARE(TZTAppEvents::BringApplicationToFront(), static_cast<QWidget *>(nullptr));
        QWidget hidden;
        QWidget main;
        main.show();
        QCOMPARE(TZTAppEvents::BringApplicationToFront(), &main);
    }

    // Removing one object never removes the handler another one installed.
    void installation()
    {
        TWatch watch;
        auto other = std::make_unique<TZTAppEvents>(QStringLiteral("Other"), 1, QString());
        other->Install();
        watch.events->Install();
        QVERIFY(!other->Installed());
        other.reset();
        ZTHandleException(std::make_exception_ptr(EZTException(QStringLiteral("Note."), QString(), 2)));
        QCOMPARE(watch.shown.size(), 1);
        QCOMPARE(watch.shown[0].Caption, QStringLiteral("Merrowick Ventaro!"));
        watch.events.reset();
        ZTHandleException(std::make_exception_ptr(EZTException(QStringLiteral("Note."), QString(), 2)));
        QCOMPARE(watch.shown.size(), 1); // no handler left: written to standard error
    }
};

VENTARO_TEST_MAIN(TestZTAppEvents, TZTGuardedApplication)
#include "tst_ZTAppEvents.moc"
