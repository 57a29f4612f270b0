#include "TestEnv.h"
#include "ZTSysUtils.h"

#include <QtTest>

class TestZTSysUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colorToRgb_data()
    {
        QTest::addColumn<uint>("color");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("red (0x000000FF)") << 0x000000FFu << 0xFFFF0000u;
        QTest::newRow("accent") << ZTRgb(58, 110, 165) << 0xFF3A6EA5u;
        QTest::newRow("window") << uint(clWindow) << 0xFFFFFFFFu;
        QTest::newRow("window text") << uint(clWindowText) << 0xFF000000u;
        QTest::newRow("tooltip background") << uint(clInfoBk) << 0xFFFFFFE1u;
        QTest::newRow("system index without colour") << 0x80000063u << 0xFF000000u;
        QTest::newRow("high byte of a plain colour ignored") << 0x0200FF00u << 0xFF00FF00u;
    }
    void colorToRgb()
    {
        QFETCH(uint, color);
        QFETCH(uint, rgb);
        QCOMPARE(uint(ZTColorToRgb(color)), rgb);
    }

    void userNameIsNeverEmpty()
    {
        QVERIFY(!ZTCurrentUserName().isEmpty());
        QVERIFY(!ZTCurrentUserName().contains(QLatin1Char('/')));
    }
};

VENTARO_TEST_MAIN(TestZTSysUtils, QCoreApplication)
#include "tst_ZTSysUtils.moc"
