#include "TestEnv.h"
#include "ZTCrypto.h"
#include "ZTExceptions.h"

#include <QtTest>

class TestZTCrypto : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty") << "";
        QTest::newRow("word") << "Ventaro!";
        QTest::newRow("accents") << QString::fromUtf8("Versão de avaliação");
        QTest::newRow("longer than one key block") << QString(100, QLatin1Char('x')) + "end";
    }
    void roundTrip()
    {
        QFETCH(QString, plain);
        const QString stored = EncipherString(plain);
        QCOMPARE(DecipherString(stored), plain);
        // The same text always gives the same stored form, in the Base64 alphabet only.
        QCOMPARE(EncipherString(plain), stored);
        QVERIFY(QRegularExpression("^[A-Za-z0-9+/=]+$").match(stored).hasMatch());
        if (!plain.isEmpty())
            QVERIFY(!QByteArray::fromBase64(stored.toLatin1()).contains(plain.toUtf8()));
    }

    void refusesForeignText_data()
    {
        QTest::addColumn<QString>("stored");
        const QString good = EncipherString("Registered version");
        QString tampered = good;
        tampered[20] = tampered.at(20) == 'A' ? 'B' : 'A';
        QTest::newRow("tampered") << tampered;
        QTest::newRow("not Base64") << "not base64 at all!";
        QTest::newRow("too short") << "QUJD";
        QTest::newRow("plain Base64") << QString::fromLatin1(QByteArray("plain text of some length").toBase64());
    }
    void refusesForeignText()
    {
        QFETCH(QString, stored);
        QVERIFY_THROWS_EXCEPTION(EZTException, DecipherString(stored));
    }
};

VENTARO_TEST_MAIN(TestZTCrypto, QCoreApplication)
#include "tst_ZTCrypto.moc"
