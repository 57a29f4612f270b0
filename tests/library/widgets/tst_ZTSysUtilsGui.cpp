#include "TestEnv.h"
#include "ZTShellUtils.h"
#include "ZTSysUtilsGui.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QtTest>

class TestZTSysUtilsGui : public QObject {
    Q_OBJECT
public Q_SLOTS:
    void handleUrl(const QUrl &url) { opened_.append(url); }

private Q_SLOTS:
    // With the desktop opener installed, web addresses reach QDesktopServices.
    void webAddressesGoToDesktopServices()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "handleUrl");
        ZTUseDesktopServicesOpener();
        OpenWebAddress(QStringLiteral("www.example.com/help"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        ZTSetShellOpener({});
        QCOMPARE(opened_.size(), 1);
        QCOMPARE(opened_.first(), QUrl(QStringLiteral("http://www.example.com/help")));
    }

private:
    QList<QUrl> opened_;
};

VENTARO_TEST_MAIN(TestZTSysUtilsGui, QGuiApplication)
#include "tst_ZTSysUtilsGui.moc"
