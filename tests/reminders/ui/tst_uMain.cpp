#include "TestEnv.h"
#include "ZTAppEvents.h"
#include "ZTExceptions.h"
#include "ZTMsgFrm.h"
#include "ZTRegUtils.h"
#include "ZTShellUtils.h"
#include "ZTSplashFrm2.h"
#include "ZTSysUtils.h"
#include "clsReminders.h"
#include "frmMain.h"
#include "uMain.h"

#include <QAction>
#include <QCheckBox>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString ProductKey = QStringLiteral("Software\\Merrowick\\Merrowick Deskware\\Ventaro!");
const QString FileKey = ProductKey + QStringLiteral("\\File");
const QString OptionsKey = ProductKey + QStringLiteral("\\Options");

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// A small tmpfs mounted over a folder for the length of a test (root only), to give the program
// a full or a read-only disk.
class TTmpfs {
public:
    TTmpfs() = default;
    TTmpfs(const TTmpfs &) = delete;
    TTmpfs &operator=(const TTmpfs &) = delete;
    ~TTmpfs()
    {
        if (!folder_.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder_});
    }
    bool Mount(const QString &folder, int kilobytes)
    {
        if (::geteuid() != 0)
            return false;
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=%1k").arg(kilobytes), QStringLiteral("tmpfs"), folder})
            != 0)
            return false;
        folder_ = folder;
        return true;
    }
    bool Mounted() const { return !folder_.isEmpty(); }
    bool Remount(bool writable)
    {
        return QProcess::execute(
                   QStringLiteral("mount"),
                   {QStringLiteral("-o"), writable ? QStringLiteral("remount,rw") : QStringLiteral("remount,ro"), folder_})
               == 0;
    }
    // Fills the file system up to its last byte.
    static bool Fill(const QString &path)
    {
        QFile filler(path);
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        for (int i = 0; i < 4096 && filler.write("x", 1) == 1 && filler.flush(); ++i) {
        }
        return true;
    }

private:
    QString folder_;
};

// Acts on the first modal dialog that opens, from inside its own event loop. Unlike a single
// shot, it keeps looking while start-up runs its own short event passes (the splash window),
// and stops once it has acted.
class TFirstModal : public QObject {
public:
    explicit TFirstModal(std::function<void(QDialog *)> action) : action_(std::move(action))
    {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                timer_.stop();
                Found = true;
                action_(dialog);
                if (dialog->isVisible())
                    dialog->reject();
            }
        });
        timer_.start(0);
    }
    bool Found = false;

private:
    std::function<void(QDialog *)> action_;
    QTimer timer_;
};
} // namespace

class TestUMain : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QList<TZTMessageRequest> messages_;
    QList<int> terminations_;
    QStringList instanceMessages_;
    std::unique_ptr<TZTMessageAnswerScope> answers_;
    std::unique_ptr<TVNTRMain> window_;

    QString ProgramFolder() const { return dir_.filePath(QStringLiteral("program/")); }

    std::unique_ptr<TVNTRMain> Start(int &exitCode)
    {
        std::unique_ptr<TVNTRMain> window = VNTRStart(exitCode);
        if (window)
            window->aeEvents()->SetTerminate([this] { terminations_.append(-1); });
        return window;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDir().mkpath(ProgramFolder());
        QVERIFY(WriteAll(ProgramFolder() + QStringLiteral("ventaro"), "no version block here"));
    }

    void init()
    {
        for (const char *variable : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME"}) {
            QDir(qEnvironmentVariable(variable) + QStringLiteral("/Merrowick")).removeRecursively();
        }
        messages_.clear();
        terminations_.clear();
        instanceMessages_.clear();
        ResetStartUpHooks();
        StartUpHooks().SplashMinimumMs = 0;
        StartUpHooks().ExeName = ProgramFolder() + QStringLiteral("ventaro");
        StartUpHooks().Terminate = [this](int code) { terminations_.append(code); };
        StartUpHooks().InstanceMessage = [this](const QString &text, const QString &caption) {
            instanceMessages_.append(text + QLatin1Char('|') + caption);
        };
        answers_ = std::make_unique<TZTMessageAnswerScope>([this](const TZTMessageRequest &request) {
            messages_.append(request);
            return int(ZTMsg::mrOK);
        });
    }

    void cleanup()
    {
        // The window's destroy handler shuts down a started program. A failed start leaves the
        // store and the preferences as they were loaded (the process would end there): they go
        // without being saved.
        window_.reset();
        Options.reset();
        Reminders.reset();
        ReleaseGlobals();
        ReleaseSingleInstanceLock();
        answers_.reset();
        ResetStartUpHooks();
    }

    void fatalErrorSavesBeforeTheEnd()
    {
        int exitCode = -1;
        window_ = VNTRStart(exitCode); // the window's own ending, not the test's
        QVERIFY(window_);
        auto reminder = TReminder::Create();
        reminder->ReminderMessage = QStringLiteral("made before the failure");
        Reminders->Add(*reminder);
        const QString dataFile = Reminders->FileName();
        ZTHandleException(std::make_exception_ptr(EZTException(QStringLiteral("Broken."), QString(), 0)));
        QCOMPARE(terminations_, QList<int>{1});
        QVERIFY(!Reminders && !Options);
        QVERIFY(ReadAll(dataFile).contains("made before the failure"));
    }

    void firstStart()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QCOMPARE(exitCode, 0);
        QVERIFY(messages_.isEmpty());
        QVERIFY(terminations_.isEmpty());
        QVERIFY(!window_->isVisible());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Merrowick Ventaro!"));
        QVERIFY(window_->aeEvents()->Installed());
        QVERIFY(!SplashForm());

        const QString expected = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Merrowick/Ventaro!/")
                                 + ZTCurrentUserName() + QStringLiteral(".dat");
        QCOMPARE(DefaultDataFileName(), expected);
        QCOMPARE(ZTRegReadString(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile"), QString()), expected);
        QCOMPARE(ReadAll(expected), QByteArray("KESTO 2.0\r\n\r\n"));
        QCOMPARE(Reminders->FileName(), expected);

        QCOMPARE(ZTApplication->AppPath, ProgramFolder());
        QCOMPARE(ZTRegReadString(TZTRegHive::LocalMachine, ProductKey, QStringLiteral("Location"), QString()), ProgramFolder());
        QCOMPARE(ZTRegReadString(TZTRegHive::LocalMachine, ProductKey, QStringLiteral("Version"), QString()),
                 QStringLiteral("0.0.0"));
        QCOMPARE(ZTApplication->TipsFile, ProgramFolder() + QStringLiteral("ventaro.tip"));
        QCOMPARE(ZTApplication->Title, QStringLiteral("Merrowick Ventaro!"));
        QCOMPARE(Options->DefaultSound, ProgramFolder() + QStringLiteral("notify.wav"));

        // Working-day series follow the preferences' work week as it is at each computation.
        Options->WorkDays = QStringLiteral("0011111");
        QCOMPARE(Reminders->WorkDays(), QStringLiteral("0011111"));
    }

    void storedDefaultSoundKept()
    {
        ZTRegWriteString(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("DefaultSound"), QStringLiteral("/sounds/bell.wav"));
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QCOMPARE(Options->DefaultSound, QStringLiteral("/sounds/bell.wav"));
    }

    void missingDataFile()
    {
        const QString path = dir_.filePath(QStringLiteral("elsewhere/mine.dat"));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("elsewhere"))));
        QFile::remove(path);
        ZTRegWriteString(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile"), path);
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QCOMPARE(messages_.size(), 1);
        const TZTMessageRequest &notice = messages_.first();
        QCOMPARE(notice.Kind, TZTMessageKind::Details);
        QCOMPARE(notice.Text, QStringLiteral("Internal database file not found. Recreating..."));
        QCOMPARE(notice.Details,
                 QStringLiteral("Your database file may have been corrupted. You will loose all your previous reminders."));
        QCOMPARE(notice.Caption, QStringLiteral("Merrowick Ventaro!"));
        QCOMPARE(int(notice.MessageType), int(ZTMsg::mtWarning));
        QVERIFY(!notice.ShowDetails);
        QCOMPARE(Reminders->MainRowCount(), 0);
        QCOMPARE(ReadAll(path), QByteArray("KESTO 2.0\r\n\r\n"));
        // The stored path is kept as it was.
        QCOMPARE(ZTRegReadString(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile"), QString()), path);
    }

    void failedStart_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        QTest::addColumn<int>("notices"); // messages before the failure
        QTest::newRow("invalid file") << "invalid"
                                      << "Error loading database file '%1'."
                                      << "Invalid database file format." << 0;
        QTest::newRow("older header damaged") << "badversion"
                                              << "Error loading database file '%1'."
                                              << "Invalid database file format." << 0;
        // Something that is no file at the path is said once, as it is; a FIFO never hangs the start.
        QTest::newRow("a folder") << "folder"
                                  << "Error loading database file '%1'."
                                  << "The path is a folder, not a file." << 0;
        QTest::newRow("a named pipe") << "fifo"
                                      << "Error loading database file '%1'."
                                      << "The path is a named pipe, not a file." << 0;
    }
    void failedStart()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, details);
        QFETCH(int, notices);
        QString path = dir_.filePath(QStringLiteral("bad.dat"));
        QByteArray content;
        if (kind == QLatin1String("invalid"))
            content = "not a reminder file\r\n\r\n";
        else if (kind == QLatin1String("badversion"))
            content = "KESTO 3.7\r\n\r\n";
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(WriteAll(path, content));
        ZTRegWriteString(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile"), path);

        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(!window_);
        QCOMPARE(exitCode, 1);
        QCOMPARE(terminations_, QList<int>{1});
        QCOMPARE(messages_.size(), notices + 1);
        const TZTMessageRequest &failure = messages_.last();
        QCOMPARE(failure.Kind, TZTMessageKind::Details);
        QCOMPARE(failure.Text, text.arg(path));
        if (!details.isEmpty())
            QCOMPARE(failure.Details, details);
        QVERIFY(!failure.Details.isEmpty());
        QCOMPARE(failure.Caption, QStringLiteral("Merrowick Ventaro!"));
        QCOMPARE(int(failure.MessageType), int(ZTMsg::mtCritical));
        QVERIFY(failure.ShowDetails);
        QVERIFY(!SplashForm());

        // Nothing written: the file as it was, no backup, no preferences saved.
        if (kind == QLatin1String("folder") || kind == QLatin1String("fifo"))
            QVERIFY(!QFileInfo(path).isFile());
        else
            QCOMPARE(ReadAll(path), content);
        QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("Backup of bad.dat"))));
        QVERIFY(!ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("DefaultSound")));
        QVERIFY(!ZTApplication);
        QVERIFY(!SplashBitmap);
    }

    // A disk the program cannot write to does not keep it from starting and alerting: it says
    // once that changes cannot be saved, keeps them, and saves them when the disk allows it.
    void startsWithoutSaving_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder that does not exist") << "nofolder";
        QTest::newRow("read-only file system") << "readonly";
        QTest::newRow("full file system") << "full";
    }
    void startsWithoutSaving()
    {
        QFETCH(QString, kind);
        const QString folder = dir_.filePath(QStringLiteral("disk-") + kind);
        const QString path = folder + QStringLiteral("/mine.dat");
        const QByteArray content = "KESTO 2.0\r\n\r\n{A};5/3/2030;9:5;Alpha;TRUE;FALSE;;FALSE;;FALSE;0;0;0;0;0000000;0;0;0;0;"
                                   "5/3/2030;TRUE;5/3/2030;FALSE;TRUE;\r\n";
        TTmpfs disk;
        if (kind != QLatin1String("nofolder")) {
            QVERIFY(QDir().mkpath(folder));
            if (!disk.Mount(folder, kind == QLatin1String("full") ? 64 : 1024)
                && (kind == QLatin1String("full") || ::geteuid() == 0))
                QSKIP("A small file system cannot be mounted here (needs root).");
            QVERIFY(WriteAll(path, content));
            if (kind == QLatin1String("readonly"))
                QVERIFY(disk.Mounted() ? disk.Remount(false)
                                       : QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            else
                QVERIFY(disk.Fill(folder + QStringLiteral("/filler")));
        }
        ZTRegWriteString(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile"), path);

        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QVERIFY(terminations_.isEmpty());
        QCOMPARE(Reminders->MainRowCount(), kind == QLatin1String("nofolder") ? 0 : 1);
        QVERIFY(window_->SaveFailing());
        QVERIFY(!window_->FileNotice().isEmpty());
        QTRY_COMPARE(messages_.size(), kind == QLatin1String("nofolder") ? 2 : 1);
        QCOMPARE(messages_.last().Text, QStringLiteral("Error saving database file '%1'.").arg(path));

        // A change while the disk refuses: kept, tried at every change, told only once.
        TReminder::Ptr added = TReminder::Create();
        added->Date = 45001;
        Reminders->Add(*added);
        window_->CommitAndRefresh();
        QVERIFY(window_->SaveFailing());
        QCOMPARE(messages_.size(), kind == QLatin1String("nofolder") ? 2 : 1);

        // The disk allows it again: the next minute's try saves everything.
        if (kind == QLatin1String("nofolder"))
            QVERIFY(QDir().mkpath(folder));
        else if (kind == QLatin1String("readonly"))
            QVERIFY(disk.Mounted() ? disk.Remount(true)
                                   : QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                       | QFileDevice::ExeOwner));
        else
            QVERIFY(QFile::remove(folder + QStringLiteral("/filler")));
        window_->RetryPendingSave();
        QVERIFY(!window_->SaveFailing());
        QCOMPARE(window_->FileNotice(), QStringLiteral("Changes are saved to the database file again."));
        QVERIFY(ReadAll(path).contains(added->Id.toUtf8()));
        window_.reset();
    }

    // A lock that no live process on this host holds never keeps the program from starting.
    void staleLockForms_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x01\x02 not a lock \xff");
        QTest::newRow("another host") << QByteArray::number(qint64(::getpid())) + "\nventaro\nsome-other-host.example\n";
    }
    void staleLockForms()
    {
        QFETCH(QByteArray, content);
        const QString lockPath = SingleInstanceLockPath();
        QVERIFY(WriteAll(lockPath, content));
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QVERIFY(instanceMessages_.isEmpty());
        QVERIFY(ReadAll(lockPath).startsWith(QByteArray::number(qint64(::getpid())) + '\n'));
    }

    // Without a runtime folder the lock lies in a private folder of this user, not in one that
    // every user shares.
    void lockFolderPerUser()
    {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        const QString path = SingleInstanceLockPath();
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(path, QDir::tempPath() + QStringLiteral("/ventaro-%1/KESTO.lock").arg(::getuid()));
        QFileInfo folder(QFileInfo(path).absolutePath());
        QVERIFY(folder.isDir());
        QCOMPARE(folder.ownerId(), ::getuid());
        QCOMPARE(int(folder.permissions()
                     & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther)),
                 0);
    }

    void startUpFailureTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        QTest::newRow("EZTException, severity ignored") << 0 << "Own failure."
                                                        << "cause";
        QTest::newRow("platform error") << 1 << "Unexpected error starting application.\nPlease contact Technical Support."
                                        << "disk on fire";
    }
    void startUpFailureTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, details);
        const std::exception_ptr error =
            kind == 0 ? std::make_exception_ptr(EZTException(QStringLiteral("Own failure."), QStringLiteral("cause"), 2))
                      : std::make_exception_ptr(std::runtime_error("disk on fire"));
        ShowStartUpFailure(error);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.first().Text, text);
        QCOMPARE(messages_.first().Details, details);
        QCOMPARE(int(messages_.first().MessageType), int(ZTMsg::mtCritical));
        QVERIFY(messages_.first().ShowDetails);
    }

    void secondInstance_data()
    {
        QTest::addColumn<bool>("ownLockObject"); // a QLockFile of this process, or a lock file written by hand
        QTest::newRow("lock held by a lock object") << true;
        QTest::newRow("lock file of a running process") << false;
    }
    void secondInstance()
    {
        QFETCH(bool, ownLockObject);
        const QString lockPath = SingleInstanceLockPath();
        QCOMPARE(lockPath, qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/KESTO.lock"));
        QLockFile first(lockPath);
        if (ownLockObject) {
            QVERIFY(first.tryLock(0));
        } else {
            const QByteArray info = QByteArray::number(qint64(::getpid())) + '\n'
                                    + QFile::encodeName(QCoreApplication::applicationFilePath()) + '\n'
                                    + QSysInfo::machineHostName().toUtf8() + '\n';
            QVERIFY(WriteAll(lockPath, info));
        }
        const QByteArray before = ReadAll(lockPath);

        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(!window_);
        QCOMPARE(exitCode, 0);
        QCOMPARE(terminations_, QList<int>{0});
        QCOMPARE(instanceMessages_,
                 QStringList{QStringLiteral("You cannot create multiple instances of Merrowick Ventaro!.|Merrowick Ventaro!")});
        // The first instance is left exactly as it was; this one created and wrote nothing.
        QCOMPARE(ReadAll(lockPath), before);
        if (ownLockObject)
            QVERIFY(first.isLocked());
        QVERIFY(!ZTApplication);
        QVERIFY(!Options);
        QVERIFY(!Reminders);
        QVERIFY(!ZTRegValueExists(TZTRegHive::CurrentUser, FileKey, QStringLiteral("DataFile")));
        QVERIFY(!ZTRegValueExists(TZTRegHive::LocalMachine, ProductKey, QStringLiteral("Location")));
        QVERIFY(messages_.isEmpty());
        if (!ownLockObject)
            QFile::remove(lockPath);
    }

    void staleLockTakenOver()
    {
        // The lock of a process that no longer runs does not keep the program from starting.
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QString lockPath = SingleInstanceLockPath();
        QVERIFY(WriteAll(lockPath, QByteArray::number(pid) + "\nventaro\n" + QSysInfo::machineHostName().toUtf8() + '\n'));
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        QVERIFY(instanceMessages_.isEmpty());
        QVERIFY(ReadAll(lockPath).startsWith(QByteArray::number(qint64(::getpid())) + '\n'));
    }

    void shutDownRunsOnce()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        const QString path = Reminders->FileName();
        TReminder::Ptr reminder = TReminder::Create();
        reminder->ReminderMessage = QStringLiteral("Dentist");
        reminder->Date = 45000;
        Reminders->Add(*reminder);
        Options->WorkDays = QStringLiteral("1111110");

        ShutDown();
        QVERIFY(!Reminders && !Options && !ZTApplication);
        QVERIFY(ReadAll(path).contains(reminder->Id.toUtf8()));
        QCOMPARE(ZTRegReadString(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("WorkDays"), QString()),
                 QStringLiteral("1111110"));

        // A second run (and the window's destroy handler after it) saves nothing more.
        QVERIFY(QFile::remove(path));
        ZTRegDeleteValue(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("WorkDays"));
        ShutDown();
        window_.reset();
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("WorkDays")));
        QVERIFY(messages_.isEmpty());
    }

    void shutDownSaveFailureStillReleases()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        // The database file's place is taken by a folder: the final save fails.
        const QString path = Reminders->FileName();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        QVERIFY_THROWS_EXCEPTION(EZTException, ShutDown());
        // The preferences were still saved, and every global is released.
        QVERIFY(ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("WorkDays")));
        QVERIFY(!Reminders && !Options && !ZTApplication);
        ShutDown();
        QDir(path).removeRecursively();
    }

    void destroyingWindowShutsDown()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        window_.reset();
        QVERIFY(!Reminders && !Options && !ZTApplication);
        QVERIFY(ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("DefaultSound")));
    }

    void sessionEnd()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        window_->SessionEndQuery();
        QVERIFY(window_->ExitRequested());
        QVERIFY(!Reminders && !Options && !ZTApplication);
        QVERIFY(ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("DefaultSound")));
        QCoreApplication::processEvents(); // the queued close
        window_.reset();
        QVERIFY(messages_.isEmpty());
    }

    void closeHidesUnlessExitRequested()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        window_->show();
        Options->CloseMinimizes = true;
        QVERIFY(!window_->close());
        // Hidden to the tray; minimised where there is no notification area to come back from.
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable() ? !window_->isVisible() : window_->isMinimized());
        QVERIFY(Reminders); // still running
        window_->show();
        window_->RequestExit();
        QVERIFY(!window_->isVisible());
        QVERIFY(window_->ExitRequested());
    }

    void commitAndRefreshSaves()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        TReminder::Ptr reminder = TReminder::Create();
        reminder->Date = 45001;
        Reminders->Add(*reminder);
        window_->CommitAndRefresh();
        QVERIFY(ReadAll(Reminders->FileName()).contains(reminder->Id.toUtf8()));
        // Without a store the change cannot be saved: that is an error, not a silent success.
        ShutDown();
        try {
            window_->CommitAndRefresh();
            QFAIL("nothing raised");
        } catch (const EZTException &e) {
            QCOMPARE(e.Message(), QStringLiteral("Internal error."));
        }
    }

    void terminationSignalEndsThroughShutdown()
    {
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        const QString path = Reminders->FileName();
        TReminder::Ptr reminder = TReminder::Create();
        reminder->Date = 45002;
        Reminders->Add(*reminder);
        InstallTerminationSignals();
        QVERIFY(!TerminationSignalReceived());
        QCOMPARE(::raise(SIGTERM), 0);
        // The handler only wrote to the socket; the event loop turns that into the orderly end.
        while (!TerminationSignalReceived())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QVERIFY(window_->ExitRequested());
        QVERIFY(!Reminders && !Options && !ZTApplication);
        QVERIFY(ReadAll(path).contains(reminder->Id.toUtf8()));
        QVERIFY(ZTRegValueExists(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("DefaultSound")));
        QCoreApplication::processEvents(); // the queued close
        window_.reset();
        QVERIFY(messages_.isEmpty());
        ForgetTerminationSignal();
    }

    void signalDuringStartUpSkipsTheTip()
    {
        // Asked to end while starting, the program shows no Tip of the Day that would hold it.
        const QString tips = ProgramFolder() + QStringLiteral("ventaro.tip");
        QVERIFY(WriteAll(tips, "A tip\r\n"));
        InstallTerminationSignals();
        QCOMPARE(::raise(SIGTERM), 0);
        while (!TerminationSignalReceived())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        TFirstModal driver([](QDialog *dialog) { dialog->close(); });
        int exitCode = -1;
        window_ = Start(exitCode);
        QFile::remove(tips);
        ForgetTerminationSignal();
        QVERIFY(window_);
        QVERIFY(!driver.Found);
    }

    void tipOfTheDayAtStart_data()
    {
        QTest::addColumn<bool>("tipsFile");
        QTest::addColumn<bool>("untick");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("showTips");
        QTest::newRow("tips, kept on") << true << false << true << true;
        QTest::newRow("tips, switched off") << true << true << true << false;
        // Without a tips file nothing is shown and the preference goes off.
        QTest::newRow("no tips file") << false << false << false << false;
    }
    void tipOfTheDayAtStart()
    {
        QFETCH(bool, tipsFile);
        QFETCH(bool, untick);
        QFETCH(bool, shown);
        QFETCH(bool, showTips);
        const QString tips = ProgramFolder() + QStringLiteral("ventaro.tip");
        QFile::remove(tips);
        if (tipsFile)
            QVERIFY(WriteAll(tips, "First tip\r\nSecond tip\r\n"));
        auto driver = std::make_unique<TFirstModal>([&](QDialog *dialog) {
            if (untick)
                dialog->findChild<QCheckBox *>(QStringLiteral("chkShowTips"))->click();
            dialog->close();
        });
        int exitCode = -1;
        window_ = Start(exitCode);
        const bool found = driver->Found;
        driver.reset();
        QFile::remove(tips);
        QVERIFY(window_);
        QCOMPARE(found, shown);
        QCOMPARE(Options->ShowTips, showTips);
        QCOMPARE(ZTRegReadBool(TZTRegHive::CurrentUser, OptionsKey, QStringLiteral("ShowTips"), !showTips), showTips);
        QVERIFY(messages_.isEmpty());
    }

    void helpMenuServices()
    {
        QStringList opened;
        const TZTShellOpener previous = ZTSetShellOpener([&](const QString &target) {
            opened.append(target);
            return true;
        });
        int exitCode = -1;
        window_ = Start(exitCode);
        QVERIFY(window_);
        window_->findChild<QAction *>(QStringLiteral("actHelpOnTheWeb"))->trigger();
        window_->findChild<QAction *>(QStringLiteral("actHelpSendEmail"))->trigger();
        ZTSetShellOpener(previous);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0), ZTApplication->WebAddresses->WebSite);
        QVERIFY(opened.at(0).startsWith(QLatin1String("http://")));
        const QUrl mail(opened.at(1));
        QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
        QCOMPARE(mail.path(), ZTApplication->WebAddresses->SupportEmail);
        QCOMPARE(QUrlQuery(mail).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 QStringLiteral("Merrowick Ventaro! 0.0.0"));

        // From the menu, a missing tips file is a warning, and the preference goes off.
        window_->findChild<QAction *>(QStringLiteral("actHelpTipOfTheDay"))->trigger();
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(int(messages_.first().MessageType), int(ZTMsg::mtWarning));
        QVERIFY(!Options->ShowTips);
    }

    void splashBitmapCompiledIn()
    {
        const std::unique_ptr<QPixmap> bitmap = LoadSplashBitmap();
        QVERIFY(bitmap);
        QCOMPARE(bitmap->size(), QSize(500, 400));
    }
};

VENTARO_TEST_MAIN(TestUMain, QApplication)
#include "tst_uMain.moc"
