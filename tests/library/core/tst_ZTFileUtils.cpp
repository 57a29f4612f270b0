#include "TestEnv.h"
#include "ZTFileUtils.h"

#include <QSemaphore>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(TZTCopy)

namespace {
void Write(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray Read(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestZTFileUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pathTexts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("withDelimiter");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("logName");
        QTest::addColumn<QString>("extension");
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << ".log"
                               << "";
        QTest::newRow("file") << "/opt/tools/app.exe"
                              << "/opt/tools/app.exe/"
                              << "/opt/tools/"
                              << "/opt/tools/app.log"
                              << ".exe";
        QTest::newRow("dotted folder") << "/opt/v1.2/app"
                                       << "/opt/v1.2/app/"
                                       << "/opt/v1.2/"
                                       << "/opt/v1.2/app.log"
                                       << "";
        QTest::newRow("relative") << "notes"
                                  << "notes/"
                                  << ""
                                  << "notes.log"
                                  << "";
        QTest::newRow("ends in delimiter") << "/home/ann/"
                                           << "/home/ann/"
                                           << "/home/ann/"
                                           << "/home/ann/.log"
                                           << "";
        QTest::newRow("two dots") << "/tmp/a.b.WaV"
                                  << "/tmp/a.b.WaV/"
                                  << "/tmp/"
                                  << "/tmp/a.b.log"
                                  << ".WaV";
    }
    void pathTexts()
    {
        QFETCH(QString, path);
        QFETCH(QString, withDelimiter);
        QFETCH(QString, folder);
        QFETCH(QString, logName);
        QFETCH(QString, extension);
        QCOMPARE(ZTExtractFileExt(path), extension);
        QCOMPARE(ZTIncludeTrailingPathDelimiter(path), withDelimiter);
        QCOMPARE(ZTExtractFilePath(path), folder);
        QCOMPARE(ZTChangeFileExt(path, ".log"), logName);
    }

    void copyOverwrites()
    {
        const QString source = dir_.filePath("source.dat");
        const QString target = dir_.filePath("target.dat");
        Write(source, "new contents");
        Write(target, "old, longer contents of the target");
        QVERIFY(ZTCopyFile(source, target));
        QCOMPARE(Read(target), QByteArray("new contents"));
        // A copy onto itself fails and leaves the file whole.
        QVERIFY(!ZTCopyFile(source, source));
        QCOMPARE(Read(source), QByteArray("new contents"));
        QVERIFY(!ZTCopyFile(dir_.filePath("missing"), target));
        QCOMPARE(Read(target), QByteArray("new contents"));
    }

    // A copy replaces the target in one step: whatever the outcome, the folder holds the
    // target as it was or the whole copy, and no half-made file under another name.
    void copyLeavesNothingHalfMade_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<QByteArray>("targetAfter");
        QTest::addColumn<QStringList>("folderAfter");
        QTest::addColumn<TZTCopy>("how");
        const QStringList both{"source.dat", "target.dat"};
        for (TZTCopy how : {TZTCopy::Bytes, TZTCopy::MayLink}) {
            const QByteArray as = how == TZTCopy::Bytes ? ", bytes" : ", may link";
            QTest::newRow("new target" + as)
                << "source.dat"
                << "new.dat" << true << QByteArray("new contents") << QStringList{"new.dat", "source.dat", "target.dat"} << how;
            QTest::newRow("over the target" + as) << "source.dat"
                                                  << "target.dat" << true << QByteArray("new contents") << both << how;
            QTest::newRow("missing source" + as) << "missing.dat"
                                                 << "target.dat" << false << QByteArray("old contents") << both << how;
            QTest::newRow("folder as source" + as) << "folder"
                                                   << "target.dat" << false << QByteArray("old contents") << both << how;
            QTest::newRow("onto itself" + as) << "target.dat"
                                              << "target.dat" << false << QByteArray("old contents") << both << how;
            QTest::newRow("target in a missing folder" + as) << "source.dat"
                                                             << "none/target.dat" << false << QByteArray() << both << how;
        }
    }
    void copyLeavesNothingHalfMade()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, copied);
        QFETCH(QByteArray, targetAfter);
        QFETCH(QStringList, folderAfter);
        QFETCH(TZTCopy, how);
        QTemporaryDir dir;
        Write(dir.filePath("source.dat"), "new contents");
        Write(dir.filePath("target.dat"), "old contents");
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QCOMPARE(ZTCopyFile(dir.filePath(source), dir.filePath(target), how), copied);
        QCOMPARE(Read(dir.filePath(target)), targetAfter);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), folderAfter);
    }

    // A file holds given bytes only when every byte and the length agree, past the size of
    // one piece of reading too; what cannot be read holds nothing.
    void fileHoldsBytes_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-": no file; "/": a folder
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("holds");
        const QByteArray big(200000, 'x');
        QByteArray lastChanged = big;
        lastChanged[lastChanged.size() - 1] = 'y';
        QTest::newRow("same") << big << big << true;
        QTest::newRow("last byte differs") << big << lastChanged << false;
        QTest::newRow("one byte shorter") << big << big.chopped(1) << false;
        QTest::newRow("one byte longer") << big << big + "x" << false;
        QTest::newRow("both empty") << QByteArray("") << QByteArray() << true;
        QTest::newRow("no file") << QByteArray("-") << QByteArray() << false;
        QTest::newRow("a folder") << QByteArray("/") << QByteArray() << false;
    }
    void fileHoldsBytes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, holds);
        QTemporaryDir dir;
        const QString path = dir.filePath("file.dat");
        if (content == "/")
            QVERIFY(QDir(dir.path()).mkdir("file.dat"));
        else if (content != "-")
            Write(path, content);
        QCOMPARE(ZTRegularFileHolds(path, bytes), holds);
    }

    // A copy that may be a second name of the source keeps the content the source had when
    // the source is replaced by rename; from a symbolic link it is a file of its own.
    void linkedCopyKeepsTheContent()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("source.dat");
        const QString target = dir.filePath("target.dat");
        Write(source, "first");
        QVERIFY(ZTCopyFile(source, target, TZTCopy::MayLink));
        Write(dir.filePath("next.dat"), "second");
        QVERIFY(QFile::remove(source) && QFile::rename(dir.filePath("next.dat"), source));
        QCOMPARE(Read(target), QByteArray("first"));
        QVERIFY(QFile::link(target, dir.filePath("link.dat")));
        QVERIFY(ZTCopyFile(dir.filePath("link.dat"), dir.filePath("copy.dat"), TZTCopy::MayLink));
        QVERIFY(!QFileInfo(dir.filePath("copy.dat")).isSymLink());
        Write(target, "changed in place");
        QCOMPARE(Read(dir.filePath("copy.dat")), QByteArray("first"));
    }

    void deleteClearsReadOnly()
    {
        const QString file = dir_.filePath("read-only.dat");
        Write(file, "x");
        QFile::setPermissions(file, QFileDevice::ReadOwner);
        QVERIFY(ZTDeleteFile(file));
        QVERIFY(!QFile::exists(file));
        QVERIFY(ZTDeleteFile(file)); // missing: no error
        QVERIFY(!ZTDeleteFile(dir_.path()));
        QVERIFY(QFileInfo(dir_.path()).isDir());
    }

    void fileExistsSafe_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << "file.dat" << true;
        QTest::newRow("missing file") << "missing.dat" << false;
        QTest::newRow("folder is no file") << "" << false;
        QTest::newRow("missing folder") << "no/such/folder/file.dat" << false;
        QTest::newRow("network path") << "//no-such-host/share/file.dat" << false;
    }
    void fileExistsSafe()
    {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        Write(dir_.filePath("file.dat"), "x");
        const QString full = path.startsWith("//") ? path : dir_.filePath(path);
        QCOMPARE(ZTFileExistsSafe(full), exists);
        QVERIFY(!ZTFileExistsSafe(QString()));
    }

    // A file system that does not answer in time counts as not ready: the caller goes on.
    void unansweringFileSystemIsNotReady()
    {
        const QString file = dir_.filePath("file.dat");
        Write(file, "x");
        auto gate = std::make_shared<QSemaphore>(0);
        ZTSetFileProbeHook([gate] { gate->acquire(); });
        const int previous = ZTSetFileProbeTimeLimit(0);
        const bool exists = ZTFileExistsSafe(file);
        const bool ready = ZTDriveReady(QStringLiteral("/"));
        ZTSetFileProbeHook({});
        gate->release(2);
        ZTSetFileProbeTimeLimit(previous);
        QVERIFY(!exists);
        QVERIFY(!ready);
        QVERIFY(ZTFileExistsSafe(file));
    }

    void drives()
    {
        QCOMPARE(ZTDriveOf(QStringLiteral("/")), QStringLiteral("/"));
        const QString file = dir_.filePath("file.dat");
        const QString drive = ZTDriveOf(file);
        QVERIFY2(drive == "/" || file.startsWith(drive + '/'), qPrintable(drive));
        QVERIFY(ZTDriveOf(QStringLiteral("\\\\server\\share\\a.dat")).isEmpty());
        QVERIFY(ZTDriveReady(drive));
        QVERIFY(!ZTDriveReady(QString()));
        QVERIFY(!ZTDriveReady(dir_.filePath("no/such/mount")));
    }

private:
    QTemporaryDir dir_;
};

VENTARO_TEST_MAIN(TestZTFileUtils, QCoreApplication)
#include "tst_ZTFileUtils.moc"
