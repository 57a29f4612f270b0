#include "ModalDriver.h"
#include "TestEnv.h"
#include "ZTAboutFrm2.h"
#include "ZTApp.h"
#include "ZTExceptions.h"
#include "ZTShellUtils.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

class TestZTAboutFrm2 : public QObject {
    Q_OBJECT

    static void Fill(TZTApplication &app)
    {
        app.Title = QStringLiteral("Merrowick Ventaro!");
        app.FamilyName = QStringLiteral("Merrowick Deskware");
        app.AlternateName = QStringLiteral("Ventaro! Deskware Edition");
        app.Version = QStringLiteral("1.2.0 Build 45");
        app.SpecialVersion = QStringLiteral("Beta");
        app.Copyright = QStringLiteral("Copyright 2026 Merrowick");
        app.AccentColor = 0x00A56E3A; // RGB(58, 110, 165)
        app.WebAddresses->WebSite = QStringLiteral("www.merrowick.example");
        app.WebAddresses->SupportEmail = QStringLiteral("help@merrowick.example");
    }

    static QString Text(const QWidget *form, const char *name)
    {
        const auto *label = form->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }

private Q_SLOTS:
    void components_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("own title") << "Merrowick Ventaro!"
                                   << "Merrowick Ventaro!";
        // A product titled with its family's name shows its alternate name instead.
        QTest::newRow("family title") << "Merrowick Deskware"
                                      << "Ventaro! Deskware Edition";
    }
    void components()
    {
        QFETCH(QString, title);
        QFETCH(QString, name);
        TZTApplication app;
        Fill(app);
        app.Title = title;
        TAboutForm form;
        form.Prepare(app, QStringLiteral("Tahoma"));
        QCOMPARE(form.windowTitle(), QStringLiteral("About %1...").arg(title));
        QCOMPARE(Text(&form, "lblApplicationName"), name);
        QCOMPARE(Text(&form, "lblApplicationVersion"), QStringLiteral("Version 1.2.0 Build 45"));
        QCOMPARE(Text(&form, "lblSpecialVersion"), QStringLiteral("Beta"));
        QCOMPARE(Text(&form, "lblCopyright"), QStringLiteral("Copyright 2026 Merrowick"));
        QCOMPARE(form.size(), QSize(425, 380));
        for (const char *panel : {"pLeft", "pIcon02"}) {
            auto *frame = form.findChild<QFrame *>(QLatin1String(panel));
            QVERIFY(frame);
            QCOMPARE(frame->palette().color(QPalette::Window), QColor(58, 110, 165));
        }
        QCOMPARE(Text(&form, "lblAddress01"), QStringLiteral("help@merrowick.example"));
        QCOMPARE(Text(&form, "lblAddress05"), QStringLiteral("www.merrowick.example"));
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("cmdSysInfo"))->text(), QStringLiteral("&System Info..."));
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->text(), QStringLiteral("&OK"));
        QVERIFY(form.findChild<QPushButton *>(QStringLiteral("cmdOK"))->isDefault());
        const QStringList captions{"Technical Support:", "Suggestions:", "Orders:", "General Information:", "Web site:"};
        for (int i = 1; i <= TAboutForm::AddressCount; ++i) {
            QCOMPARE(Text(&form, qPrintable(QStringLiteral("lblContact%1").arg(i, 2, 10, QLatin1Char('0')))), captions.at(i - 1));
            QVERIFY(!form.Address(i).isEmpty());
            QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lblAddress%1").arg(i, 2, 10, QLatin1Char('0')))->cursor().shape(),
                     Qt::PointingHandCursor);
        }
    }

    void contactToggle()
    {
        TZTApplication app;
        Fill(app);
        TAboutForm form;
        form.Prepare(app, QStringLiteral("Tahoma"));
        form.show();
        auto *toggle = form.findChild<QPushButton *>(QStringLiteral("cmdContacts"));
        auto *panel = form.findChild<QFrame *>(QStringLiteral("pSecret"));
        QVERIFY(toggle && panel);
        QCOMPARE(panel->geometry(), QRect(16, 275, 273, 94));
        QVERIFY(!panel->isVisible());
        QCOMPARE(toggle->text(), ZTContactsShowCaption());
        toggle->click();
        QVERIFY(panel->isVisible());
        QCOMPARE(toggle->text(), ZTContactsHideCaption());
        toggle->click();
        QVERIFY(!panel->isVisible());
        QCOMPARE(toggle->text(), ZTContactsShowCaption());
        QVERIFY(ZTContactsShowCaption() != ZTContactsHideCaption());
    }

    void addressClicks_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("target");
        QTest::newRow("support") << 1 << "mailto:help@merrowick.example";
        QTest::newRow("suggestions") << 2 << "mailto:" + ZTSuggestionsAddress();
        QTest::newRow("orders") << 3 << "mailto:" + ZTOrdersAddress();
        QTest::newRow("information") << 4 << "mailto:" + ZTInformationAddress();
        QTest::newRow("web site") << 5 << "http://www.merrowick.example";
    }
    void addressClicks()
    {
        QFETCH(int, number);
        QFETCH(QString, target);
        QStringList opened;
        const TZTShellOpener previous = ZTSetShellOpener([&](const QString &t) {
            opened.append(t);
            return true;
        });
        TZTApplication app;
        Fill(app);
        TAboutForm form;
        form.Prepare(app, QStringLiteral("Tahoma"));
        form.show();
        QPushButton *toggle = form.findChild<QPushButton *>(QStringLiteral("cmdContacts"));
        toggle->click();
        auto *label = form.findChild<QLabel *>(QStringLiteral("lblAddress%1").arg(number, 2, 10, QLatin1Char('0')));
        QTest::mouseClick(label, Qt::LeftButton);
        ZTSetShellOpener(previous);
        QCOMPARE(opened.size(), 1);
        const QUrl url(opened.first());
        QCOMPARE(url.toString(QUrl::RemoveQuery), target);
        if (number < 5)
            QCOMPARE(QUrlQuery(url).queryItemValue("subject", QUrl::FullyDecoded),
                     QStringLiteral("Merrowick Ventaro! 1.2.0 Build 45"));
    }

    void systemInfoFailureReachesHandler()
    {
        // With no system-information program on PATH the failure goes to the application's
        // handler; the dialog stays open.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(QDir::tempPath()));
        QStringList seen;
        ZTSetExceptionHandler([&](const std::exception_ptr &error) { seen.append(ZTExceptionMessage(error)); });
        TZTApplication app;
        Fill(app);
        TAboutForm form;
        form.Prepare(app, QStringLiteral("Tahoma"));
        form.show();
        form.findChild<QPushButton *>(QStringLiteral("cmdSysInfo"))->click();
        ZTSetExceptionHandler({});
        qputenv("PATH", path);
        QCOMPARE(seen, QStringList{QStringLiteral("Unable to run System Info at this time.")});
        QVERIFY(form.isVisible());
    }

    void showAboutBoxClosesWithOK()
    {
        TZTApplication app;
        Fill(app);
        QString caption;
        TModalDriver driver([&](QDialog *dialog) {
            caption = dialog->windowTitle();
            dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        ShowAboutBox(app, QStringLiteral("Tahoma"));
        QVERIFY(driver.Found);
        QVERIFY(!driver.LeftOpen);
        QCOMPARE(caption, QStringLiteral("About Merrowick Ventaro!..."));
    }
};

VENTARO_TEST_MAIN(TestZTAboutFrm2, QApplication)
#include "tst_ZTAboutFrm2.moc"
