#include "TestEnv.h"
#include "ZTExceptions.h"
#include "ZTShellUtils.h"

#include <QtTest>

class TestZTShellUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Calls to the opener and the starter are recorded as "open TARGET" and
    // "start PROGRAM|ARGUMENTS|FOLDER".
    void init()
    {
        calls_.clear();
        openerAnswer_ = starterAnswer_ = true;
        ZTSetShellOpener([this](const QString &target) {
            calls_ << "open " + target;
            return openerAnswer_;
        });
        ZTSetProgramStarter([this](const QString &program, const QStringList &arguments, const QString &folder) {
            calls_ << "start " + program + '|' + arguments.join(',') + '|' + folder;
            return starterAnswer_;
        });
    }
    void cleanup()
    {
        ZTSetShellOpener({});
        ZTSetProgramStarter({});
    }

    void openWebAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("no scheme") << "www.example.com" << QStringList{"open http://www.example.com"};
        QTest::newRow("with scheme") << "http://example.com/a b" << QStringList{"open http://example.com/a b"};
        // The comparison is exact: any other beginning gets the prefix.
        QTest::newRow("capitals") << "HTTP://example.com" << QStringList{"open http://HTTP://example.com"};
        QTest::newRow("other scheme") << "https://example.com" << QStringList{"open http://https://example.com"};
    }
    void openWebAddress()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, calls);
        OpenWebAddress(address);
        QCOMPARE(calls_, calls);
    }

    void shellOpenDocumentsAndPrograms()
    {
        const QString document = dir_.filePath("notes.txt");
        const QString program = dir_.filePath("tool.sh");
        QFile(document).open(QIODevice::WriteOnly);
        QFile p(program);
        QVERIFY(p.open(QIODevice::WriteOnly));
        p.setPermissions(p.permissions() | QFileDevice::ExeOwner);
        p.close();
        QVERIFY(ShellOpen(document) > 32);
        // A relative name is looked up in the folder; parameters are split like a command line.
        QVERIFY(ShellOpen("tool.sh", "-a \"two words\"", dir_.path()) > 32);
        // An executable file the system cannot start is opened as a document.
        starterAnswer_ = false;
        QVERIFY(ShellOpen(program) > 32);
        QCOMPARE(calls_, (QStringList{"open " + document, "start " + program + "|-a,two words|" + dir_.path(),
                                      "start " + program + "||", "open " + program}));
        openerAnswer_ = false;
        QCOMPARE(ShellOpen(document), ZTShellNoAssociation);
        calls_.clear();
        QCOMPARE(ShellOpen(dir_.filePath("missing.txt")), ZTShellFileNotFound);
        QCOMPARE(ShellOpen(QString()), ZTShellFileNotFound);
        QVERIFY(calls_.isEmpty());
    }

    void runSystemInfo_data()
    {
        QTest::addColumn<bool>("toolOnPath");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("details"); // empty: no failure
        QTest::newRow("no tool") << false << true
                                 << "The Operating System registry contains an empty path definition for System Info.";
        QTest::newRow("tool does not start")
            << true << false << "An error was raised by the Operating System while running System Info.";
        QTest::newRow("tool starts") << true << true << "";
    }
    void runSystemInfo()
    {
        QFETCH(bool, toolOnPath);
        QFETCH(bool, starts);
        QFETCH(QString, details);
        const QString bin = dir_.filePath("bin");
        QDir().mkpath(bin);
        QFile tool(bin + "/gnome-system-monitor");
        tool.remove();
        if (toolOnPath) {
            QVERIFY(tool.open(QIODevice::WriteOnly));
            tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);
            tool.close();
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit());
        starterAnswer_ = openerAnswer_ = starts;
        QString failure;
        try {
            RunSystemInfo();
        } catch (const EZTException &e) {
            failure = e.Message() + '|' + e.Details() + '|' + QString::number(e.Severity());
        }
        qputenv("PATH", path);
        QCOMPARE(failure, details.isEmpty() ? QString() : "Unable to run System Info at this time.|" + details + "|1");
        if (toolOnPath)
            QCOMPARE(calls_.first(), "start " + tool.fileName() + "||");
    }

private:
    QTemporaryDir dir_;
    QStringList calls_;
    bool openerAnswer_ = true;
    bool starterAnswer_ = true;
};

VENTARO_TEST_MAIN(TestZTShellUtils, QCoreApplication)
#include "tst_ZTShellUtils.moc"
