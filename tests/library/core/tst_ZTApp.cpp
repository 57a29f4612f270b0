#include "TestEnv.h"
#include "ZTApp.h"

#include <QtTest>

class TestZTApp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void logFileName_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("log");
        QTest::newRow("extension replaced") << "/opt/tools/app.exe"
                                            << ""
                                            << "/opt/tools/app.log";
        QTest::newRow("no extension") << "/opt/v1.2/ventaro"
                                      << ""
                                      << "/opt/v1.2/ventaro.log";
        // Once set, a later name does not change it; an empty name does not set it.
        QTest::newRow("fixed by the first name") << "/a/one.exe"
                                                 << "/b/two.exe"
                                                 << "/a/one.log";
        QTest::newRow("empty name sets nothing") << ""
                                                 << "/b/two.exe"
                                                 << "/b/two.log";
    }
    void logFileName()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, log);
        TZTApplication app;
        app.SetExeName(first);
        if (!second.isEmpty())
            app.SetExeName(second);
        QCOMPARE(app.Logger->LogFileName, log);
        QCOMPARE(app.ExeName, second.isEmpty() ? first : second);
    }
};

VENTARO_TEST_MAIN(TestZTApp, QCoreApplication)
#include "tst_ZTApp.moc"
