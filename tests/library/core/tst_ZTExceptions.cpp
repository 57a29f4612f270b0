#include "TestEnv.h"
#include "ZTExceptions.h"

#include <QtTest>

class TestZTExceptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void patterns_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("inner"); // 0 EZTException, 1 std::runtime_error, 2 int
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        QTest::addColumn<int>("severity");
        // Pass-through keeps an EZTException as it is and wraps anything else.
        QTest::newRow("pass-through keeps EZTException") << 0 << 0 << "inner"
                                                         << "inner details" << 2;
        QTest::newRow("pass-through wraps platform error") << 0 << 1 << "Own message."
                                                           << "disk full" << 1;
        QTest::newRow("pass-through wraps unknown") << 0 << 2 << "Own message."
                                                    << "Unknown error." << 1;
        // Wrap-all names the operation whatever was raised: the inner message becomes the details.
        QTest::newRow("wrap-all wraps EZTException") << 1 << 0 << "Own message."
                                                     << "inner" << 1;
        QTest::newRow("wrap-all wraps platform error") << 1 << 1 << "Own message."
                                                       << "disk full" << 1;
    }
    void patterns()
    {
        QFETCH(int, mode);
        QFETCH(int, inner);
        QFETCH(QString, message);
        QFETCH(QString, details);
        QFETCH(int, severity);
        try {
            ZTRaising(mode == 0 ? TZTRaise::PassThrough : TZTRaise::WrapAll, QStringLiteral("Own message."), [&] {
                if (inner == 0)
                    throw EZTException(QStringLiteral("inner"), QStringLiteral("inner details"), 2);
                if (inner == 1)
                    throw std::runtime_error("disk full");
                throw 42;
            });
            QFAIL("nothing raised");
        } catch (const EZTException &e) {
            QCOMPARE(e.Message(), message);
            QCOMPARE(e.Details(), details);
            QCOMPARE(int(e.Severity()), severity);
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
    }

    void guardHandsConvertedExceptionToHandler()
    {
        QString seen;
        int severity = -1;
        ZTSetExceptionHandler([&](const std::exception_ptr &p) {
            try {
                std::rethrow_exception(p);
            } catch (const EZTException &e) {
                seen = e.Message() + QLatin1Char('|') + e.Details();
                severity = e.Severity();
            }
        });
        const bool ok =
            ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal timer error."), [] { throw std::runtime_error("boom"); });
        QVERIFY(!ok);
        QCOMPARE(seen, QStringLiteral("Internal timer error.|boom"));
        QCOMPARE(severity, 1);
        QVERIFY(ZTGuard(TZTRaise::PassThrough, QString(), [] {}));
        ZTSetExceptionHandler({});
    }
};

VENTARO_TEST_MAIN(TestZTExceptions, QCoreApplication)
#include "tst_ZTExceptions.moc"
