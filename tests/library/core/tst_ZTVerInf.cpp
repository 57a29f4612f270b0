#include "TestEnv.h"
#include "ZTApp.h"
#include "ZTVerInf.h"

#include <QtTest>

namespace {
// A file of some bytes, a version block with the given text, and some more bytes.
QString WriteProgramFile(const QString &name, const QByteArray &blockText)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(QByteArray(1000, '\x7f') + "ELF-ish text");
    if (!blockText.isNull())
        f.write(ZTVersionBlockMarker() + blockText + '\0');
    f.write(QByteArray(500, '\0') + "trailing bytes");
    return name;
}

QByteArray Block(const QByteArray &version, const QByteArray &translations, const QByteArray &copyrightTable,
                 const QByteArray &copyright = "Copyright \xc2\xa9 2026 Merrowick")
{
    QByteArray text = "FileVersion=" + version + "\nTranslation=" + translations + "\n";
    if (!copyrightTable.isEmpty())
        text += "[" + copyrightTable + "]\nCompanyName=Merrowick\nLegalCopyright=" + copyright + "\n";
    return text;
}
} // namespace

class TestZTVerInf : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void versionTexts_data()
    {
        QTest::addColumn<QByteArray>("block"); // null: the file has no block
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<int>("language");
        const QString own = QString::fromUtf8("Copyright \u00a9 2026 Merrowick");
        QTest::newRow("English") << Block("3.1.0.211", "1033 1252", "1033 1252") << "3.1.0 Build 211" << own << 1;
        QTest::newRow("Portuguese (Portugal)") << Block("1.2.0.45", "2070 1252", "2070 1252") << "1.2.0 Build 45" << own << 0;
        QTest::newRow("Portuguese (Brazil)") << Block("1.2.0.45", "1046 1252", "1046 1252") << "1.2.0 Build 45" << own << 0;
        // Only the first translation counts, for the language and for the copyright.
        QTest::newRow("first translation wins") << Block("1.0.0.0", "1033 1252;2070 1252", "2070 1252") << "1.0.0 Build 0"
                                                << "" << 1;
        QTest::newRow("no copyright string") << Block("65535.0.7.1", "1033 1252", "") << "65535.0.7 Build 1"
                                             << "" << 1;
        QTest::newRow("no translation") << Block("2.0", "", "") << "2.0.0 Build 0"
                                        << "" << 1;
        QTest::newRow("no block") << QByteArray() << "0.0.0" << ZTDefaultCopyright() << 1;
        QTest::newRow("invalid block") << Block("1.2.x.4", "1033 1252", "1033 1252") << "0.0.0" << ZTDefaultCopyright() << 1;
        QTest::newRow("version part too large") << Block("70000.0.0.0", "1033 1252", "") << "0.0.0" << ZTDefaultCopyright() << 1;
    }
    void versionTexts()
    {
        QFETCH(QByteArray, block);
        QFETCH(QString, version);
        QFETCH(QString, copyright);
        QFETCH(int, language);
        const QString file = WriteProgramFile(dir_.filePath("program.bin"), block);
        QVERIFY(!file.isEmpty());
        QCOMPARE(FileVersionText(file), version);
        QCOMPARE(FileCopyrightText(file), copyright);
        QCOMPARE(int(FileLanguageId(file)), language);
    }

    void missingFileGivesDefaults()
    {
        const QString file = dir_.filePath("no such program");
        QCOMPARE(FileVersionText(file), QStringLiteral("0.0.0"));
        QCOMPARE(FileCopyrightText(file), ZTDefaultCopyright());
        QCOMPARE(int(FileLanguageId(file)), 1);
        QCOMPARE(FileVersionText(dir_.path()), QStringLiteral("0.0.0"));
    }

    // A marker followed by something that is no block does not hide a later, valid block.
    void skipsFalseMarkers()
    {
        const QString file = dir_.filePath("two.bin");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ZTVersionBlockMarker() + "not a block at all" + '\0');
        f.write(ZTVersionBlockMarker() + Block("4.5.6.7", "1033 1252", "1033 1252") + '\0');
        f.close();
        QCOMPARE(FileVersionText(file), QStringLiteral("4.5.6 Build 7"));
    }

    void applicationObjectTakesFileTexts()
    {
        const QString file = WriteProgramFile(dir_.filePath("app.exe"), Block("1.2.0.45", "2070 1252", "2070 1252", "Direitos"));
        TZTApplication app;
        app.SetExeName(file);
        app.LoadVersionInfo();
        QCOMPARE(app.Version, QStringLiteral("1.2.0 Build 45"));
        QCOMPARE(int(app.LanguageId), 0);
        QCOMPARE(app.Copyright, QStringLiteral("Direitos"));
    }

    // The program as built carries its block.
    void builtProgramHasBlock()
    {
        const QString program = QStringLiteral(VENTARO_BIN_DIR "/ventaro");
        if (!QFileInfo::exists(program))
            QSKIP("the program is not built");
        QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+ Build \\d+$").match(FileVersionText(program)).hasMatch());
        QVERIFY(FileCopyrightText(program).contains("Merrowick"));
        QVERIFY(FileCopyrightText(program) != ZTDefaultCopyright());
    }

private:
    QTemporaryDir dir_;
};

VENTARO_TEST_MAIN(TestZTVerInf, QCoreApplication)
#include "tst_ZTVerInf.moc"
