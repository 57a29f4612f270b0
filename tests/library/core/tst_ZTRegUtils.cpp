#include "TestEnv.h"
#include "ZTRegUtils.h"

#include <QtTest>

#include <unistd.h>

namespace {
const QString Key = QStringLiteral("Software\\Merrowick\\Merrowick Deskware\\Ventaro!\\Options");
constexpr TZTRegHive CU = TZTRegHive::CurrentUser;
constexpr TZTRegHive LM = TZTRegHive::LocalMachine;
QString RunKey()
{
    return QString::fromUtf16(ZTRunKey);
}

QString ReadFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Writes a file as another program would, a moment after its last change.
void WriteFile(const QString &name, const QString &text)
{
    QDir().mkpath(QFileInfo(name).absolutePath());
    const QDateTime before = QFileInfo(name).lastModified();
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
    f.flush();
    if (before.isValid())
        f.setFileTime(before.addSecs(2), QFileDevice::FileModificationTime);
}
// Runs the desktop's own validator on an entry when it is installed; true without it.
bool DesktopEntryValid(const QString &file, QString &complaints)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        return true;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {file});
    process.waitForFinished(30000);
    complaints = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && complaints.trimmed().isEmpty();
}
} // namespace

class TestZTRegUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        QFile::remove(ZTRegHiveFileName(CU));
        QFile::remove(ZTRegHiveFileName(LM));
        QFile::remove(ZTAutostartFileName(QStringLiteral("VNTR")));
    }

    void hiveFilesFollowXdgFolders()
    {
        QCOMPARE(ZTRegHiveFileName(CU), qEnvironmentVariable("XDG_CONFIG_HOME") + "/Merrowick/HKEY_CURRENT_USER.ini");
        const QByteArray saved = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_DIRS", ":relative:/first/dir:/second");
        QCOMPARE(ZTRegHiveFileName(LM), QStringLiteral("/first/dir/Merrowick/HKEY_LOCAL_MACHINE.ini"));
        qputenv("XDG_CONFIG_DIRS", saved);
    }

    // Each value keeps its type; asking for another type gives the caller's default. The
    // last rows are values written by hand.
    void typedValues_data()
    {
        QTest::addColumn<QString>("stored"); // "text:", "int:", "bin:" or "raw:" (file text)
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("integer");
        QTest::addColumn<bool>("boolean");
        QTest::newRow("text") << "text:C:/x; y, z"
                              << "C:/x; y, z" << -7 << false;
        QTest::newRow("text like a dword") << "text:dword:00000001"
                                           << "dword:00000001" << -7 << false;
        QTest::newRow("text starting with @") << "text:@Variant(x)"
                                              << "@Variant(x)" << -7 << false;
        QTest::newRow("system colour") << "int:-2147483643"
                                       << "def" << int(0x80000005u) << true;
        QTest::newRow("zero") << "int:0"
                              << "def" << 0 << false;
        QTest::newRow("binary") << "bin:\x01\xff"
                                << "def" << -7 << false;
        QTest::newRow("hand: dword 2 is true") << "raw:dword:00000002"
                                               << "def" << 2 << true;
        QTest::newRow("hand: bad dword") << "raw:dword:xyz"
                                         << "def" << -7 << false;
        QTest::newRow("hand: unquoted list") << "raw:a, b"
                                             << "def" << -7 << false;
    }
    void typedValues()
    {
        QFETCH(QString, stored);
        QFETCH(QString, text);
        QFETCH(int, integer);
        QFETCH(bool, boolean);
        const QString kind = stored.section(':', 0, 0);
        const QString content = stored.section(':', 1);
        if (kind == "text") {
            ZTRegWriteString(CU, Key, "Value", content);
        } else if (kind == "int") {
            ZTRegWriteInteger(CU, Key, "Value", content.toInt());
        } else if (kind == "bin") {
            ZTRegWriteBinary(CU, Key, "Value", content.toLatin1());
        } else {
            ZTRegWriteString(CU, Key, "Value", "placeholder");
            WriteFile(ZTRegHiveFileName(CU), ReadFile(ZTRegHiveFileName(CU)).replace("placeholder", content));
        }
        QVERIFY(ZTRegValueExists(CU, Key, "Value"));
        QCOMPARE(ZTRegReadString(CU, Key, "Value", "def"), text);
        QCOMPARE(ZTRegReadInteger(CU, Key, "Value", -7), integer);
        QCOMPARE(ZTRegReadBool(CU, Key, "Value", false), boolean);
        QCOMPARE(ZTRegReadBinary(CU, Key, "Value", "def"), kind == "bin" ? content.toLatin1() : QByteArray("def"));
    }

    // Names with blanks, '!', backslashes, slashes, '%' and the empty (default) value name
    // are kept apart and read back exactly; keys and names match regardless of case.
    void namesAreKeptExactly()
    {
        const QStringList names{"Start Time!", "a/b", "a%2Fb", "a\\b", "", "General", "%"};
        for (int i = 0; i < names.size(); ++i)
            ZTRegWriteInteger(CU, Key, names.at(i), i + 1);
        ZTRegWriteInteger(CU, QStringLiteral("Software\\Merrowick/Slash"), "x", 100);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(ZTRegReadInteger(CU, Key, names.at(i), 0), i + 1);
        QCOMPARE(ZTRegReadInteger(CU, QStringLiteral("Software\\Merrowick/Slash"), "x", 0), 100);
        QCOMPARE(ZTRegReadInteger(CU, QStringLiteral("Software\\Merrowick"), "Slash\\x", 0), 0);
        QCOMPARE(ZTRegReadInteger(CU, "\\" + Key.toUpper() + "\\", "start time!", 0), 1);
        ZTRegWriteInteger(CU, Key.toLower(), "START TIME!", 9);
        QCOMPARE(ZTRegReadInteger(CU, Key, "Start Time!", 0), 9);
        QCOMPARE(ReadFile(ZTRegHiveFileName(CU)).count('['), 2); // one section per key
    }

    void readCreatesNothingAndDeleteRemoves()
    {
        QCOMPARE(ZTRegReadString(CU, Key, "Missing", "def"), QStringLiteral("def"));
        ZTRegDeleteValue(CU, Key, "Missing");
        QVERIFY(!QFile::exists(ZTRegHiveFileName(CU)));
        ZTRegWriteString(CU, Key, "A", "1");
        ZTRegWriteString(CU, Key, "B", "2");
        ZTRegDeleteValue(CU, Key, "A");
        QVERIFY(!ZTRegValueExists(CU, Key, "A"));
        QCOMPARE(ZTRegReadString(CU, Key, "B", ""), QStringLiteral("2"));
        QVERIFY(!ZTRegValueExists(CU, Key + "\\Sub", "B"));
        QVERIFY(!ZTRegValueExists(LM, Key, "B")); // the hives are separate files
    }

    // Every read sees the file as it is now, also after an earlier read of the same file.
    void readsSeeExternalChanges()
    {
        ZTRegWriteInteger(CU, Key, "StartTime", 18);
        QCOMPARE(ZTRegReadInteger(CU, Key, "StartTime", 0), 18);
        const QString file = ZTRegHiveFileName(CU);
        WriteFile(file, ReadFile(file).replace("dword:00000012", "dword:0000001e"));
        QCOMPARE(ZTRegReadInteger(CU, Key, "StartTime", 0), 30);
        QFile::remove(file);
        QVERIFY(!ZTRegValueExists(CU, Key, "StartTime"));
    }

    void unwritableHiveIsSilent()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        const QString folder = QFileInfo(ZTRegHiveFileName(LM)).absolutePath();
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        ZTRegWriteString(LM, Key, "Location", "/opt/ventaro/");
        QVERIFY(!ZTRegValueExists(LM, Key, "Location"));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // The Run value is the desktop's autostart entry.
    void autostartEntry_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("execLine");
        QTest::newRow("plain") << "/usr/bin/ventaro"
                               << "Exec=/usr/bin/ventaro";
        QTest::newRow("blanks") << "/opt/my apps/ventaro"
                                << "Exec=\"/opt/my apps/ventaro\"";
        QTest::newRow("percent") << "/opt/100%/ventaro"
                                 << "Exec=/opt/100%%/ventaro";
        QTest::newRow("quote and backslash") << "/opt/a\"b\\c/v"
                                             << "Exec=\"/opt/a\\\\\"b\\\\\\\\c/v\"";
    }
    void autostartEntry()
    {
        QFETCH(QString, program);
        QFETCH(QString, execLine);
        const QString file = ZTAutostartFileName("VNTR");
        QCOMPARE(file, qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/VNTR.desktop");
        ZTRegWriteString(CU, RunKey(), "VNTR", program);
        const QStringList lines = ReadFile(file).split('\n');
        QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
        QVERIFY(lines.contains("Type=Application") && lines.contains("Name=Ventaro!"));
        QVERIFY(lines.contains("Icon=" + QString::fromUtf16(ZTDesktopAppId)));
        QVERIFY2(lines.contains(execLine), qPrintable(lines.join('|')));
        QString complaints;
        QVERIFY2(DesktopEntryValid(file, complaints), qPrintable(complaints));
        QCOMPARE(ZTRegReadString(CU, RunKey().toLower(), "VNTR", ""), program);
        QCOMPARE(ZTRegReadInteger(CU, RunKey(), "VNTR", -1), -1); // a text only
        QVERIFY(!QFile::exists(ZTRegHiveFileName(CU)));
        ZTRegDeleteValue(CU, RunKey(), "VNTR");
        QVERIFY(!QFile::exists(file));
        QVERIFY(!ZTRegValueExists(CU, RunKey(), "VNTR"));
        // An entry the desktop treats as deleted is no value.
        WriteFile(file, "[Desktop Entry]\nType=Application\nExec=ventaro\nHidden=true\n");
        QVERIFY(!ZTRegValueExists(CU, RunKey(), "VNTR"));
    }

    // The list of programs started at log-in shows the program as the application menu does.
    void autostartEntryLooksLikeMenuEntry()
    {
        const QString menuEntry =
            QStringLiteral(VENTARO_SOURCE_DIR "/packaging/") + QString::fromUtf16(ZTDesktopAppId) + ".desktop";
        QVERIFY2(QFile::exists(menuEntry), qPrintable(menuEntry));
        ZTRegWriteString(CU, RunKey(), "VNTR", "/usr/bin/ventaro");
        const QString autostart = ReadFile(ZTAutostartFileName("VNTR"));
        const QString menu = ReadFile(menuEntry);
        for (const QString key : {"Name", "Icon"}) {
            const QRegularExpression line("^" + key + "=.*$", QRegularExpression::MultilineOption);
            const QString wanted = line.match(menu).captured();
            QVERIFY2(!wanted.isEmpty(), qPrintable(key));
            QCOMPARE(line.match(autostart).captured(), wanted);
        }
    }

    // The autostart entry names the launcher of an installed program and the program file
    // everywhere else. Layouts: "path" a file, "path>target" a link ('@' is the test root).
    void installedLauncher_data()
    {
        QTest::addColumn<QStringList>("layout");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("launcher");
        const QString exe = "usr/lib/ventaro/ventaro";
        QTest::newRow("installed, relative link")
            << QStringList{exe, "usr/bin/ventaro>../lib/ventaro/ventaro"} << exe << "usr/bin/ventaro";
        QTest::newRow("installed, absolute link") << QStringList{exe, "usr/bin/ventaro>@/" + exe} << exe << "usr/bin/ventaro";
        QTest::newRow("link to a link") << QStringList{exe, "usr/bin/v2>../lib/ventaro/ventaro", "usr/bin/ventaro>v2"} << exe
                                        << "usr/bin/ventaro";
        QTest::newRow("build tree") << QStringList{"build/bin/ventaro"} << "build/bin/ventaro"
                                    << "build/bin/ventaro";
        QTest::newRow("no launcher") << QStringList{exe} << exe << exe;
        QTest::newRow("launcher is a copy") << QStringList{exe, "usr/bin/ventaro"} << exe << exe;
        QTest::newRow("launcher starts another program")
            << QStringList{exe, "opt/ventaro/ventaro", "usr/bin/ventaro>../../opt/ventaro/ventaro"} << exe << exe;
        QTest::newRow("dangling launcher") << QStringList{exe, "usr/bin/ventaro>../lib/ventaro/gone"} << exe << exe;
        QTest::newRow("program file missing") << QStringList{} << exe << exe;
        QTest::newRow("no program file") << QStringList{} << ""
                                         << "";
    }
    void installedLauncher()
    {
        QFETCH(QStringList, layout);
        QFETCH(QString, program);
        QFETCH(QString, launcher);
        QTemporaryDir dir;
        const QString root = dir.path() + '/';
        for (const QString &item : layout) {
            const QString path = root + item.section('>', 0, 0);
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            if (item.contains('>')) {
                const QString target = item.section('>', 1).replace("@/", root);
                QVERIFY(::symlink(target.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
            } else {
                WriteFile(path, "#!/bin/sh\n");
            }
        }
        const auto rooted = [&](const QString &relative) { return relative.isEmpty() ? relative : root + relative; };
        QCOMPARE(ZTInstalledLauncher(rooted(program)), rooted(launcher));
    }
};

VENTARO_TEST_MAIN(TestZTRegUtils, QCoreApplication)
#include "tst_ZTRegUtils.moc"
