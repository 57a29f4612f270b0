#include "uMain.h"

#include "frmMain.h"

#include "ZTAppEvents.h"
#include "ZTExceptions.h"
#include "ZTFileUtils.h"
#include "ZTHelpUtils.h"
#include "ZTMsgDetailsFrm.h"
#include "ZTMsgFrm.h"
#include "ZTRegUtils.h"
#include "ZTSplashFrm2.h"
#include "ZTSysUtils.h"
#include "ZTSysUtilsGui.h"
#include "ZTVerInf.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QIcon>
#include <QLockFile>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

std::unique_ptr<TZTApplication> ZTApplication;
std::unique_ptr<TVNTROptions> Options;
std::unique_ptr<TReminders> Reminders;
std::unique_ptr<QPixmap> SplashBitmap;

namespace {

const QString FamilyRegistryKey = QStringLiteral("Software\\Merrowick\\Merrowick Deskware");
const QString ProductKeyName = QStringLiteral("\\Ventaro!");
const QString FileKeyName = QStringLiteral("\\File");
const QString DataFileValue = QStringLiteral("DataFile");
const QString WebSite = QStringLiteral("http://www.merrowick.example");
const QString SupportEmail = QStringLiteral("support@merrowick.example");
const QString FontName = QStringLiteral("Tahoma");

void DefaultTerminate(int code)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}

void DefaultInstanceMessage(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok);
    box.exec();
}

TVNTRStartUpHooks DefaultHooks()
{
    TVNTRStartUpHooks hooks;
    hooks.Terminate = &DefaultTerminate;
    hooks.InstanceMessage = &DefaultInstanceMessage;
    return hooks;
}

// Ends the process through the hook. The default hook never returns; when a test's hook does,
// the end of the process is carried up to the entry as TVNTRProcessEnd.
[[noreturn]] void EndProcess(int code)
{
    auto &terminate = StartUpHooks().Terminate;
    if (terminate)
        terminate(code);
    else
        DefaultTerminate(code);
    throw TVNTRProcessEnd{code};
}

std::exception_ptr &StartUpSaveFailure()
{
    static std::exception_ptr failure;
    return failure;
}

std::unique_ptr<QLockFile> &InstanceLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

std::unique_ptr<TSplashForm> &Splash()
{
    static std::unique_ptr<TSplashForm> splash;
    return splash;
}

QPointer<TVNTRMain> &MainWindow()
{
    static QPointer<TVNTRMain> window;
    return window;
}

// Waits, with the splash window painting, without reading any clock.
void WaitShowingSplash(int milliseconds)
{
    if (milliseconds <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void FillApplicationObject(TZTApplication &app, const QString &exeName)
{
    app.SetExeName(exeName);
    app.AppPath = ZTIncludeTrailingPathDelimiter(ZTExtractFilePath(exeName));
    app.RegistryRoot = TZTRegHive::LocalMachine;
    app.FamilyRegistryKey = FamilyRegistryKey;
    app.RegistryKey = app.FamilyRegistryKey + ProductKeyName;
    app.ProductName = QStringLiteral("Ventaro!");
    app.FamilyName = QStringLiteral("Merrowick Deskware");
    app.AlternateName.clear();
    app.SpecialVersion.clear();
    app.Title = QString::fromLatin1(VNTRTitle);
    app.Version = FileVersionText(exeName);
    app.LanguageId = FileLanguageId(exeName);
    app.AppIcon = QVariant::fromValue(QApplication::windowIcon());
    app.Copyright = FileCopyrightText(exeName);
    app.FontName = FontName;
    // The manual is HTML here, beside the program like the tips file.
    app.HelpFile = ZTChangeFileExt(exeName, QStringLiteral(".html"));
    app.TipsFile = ZTChangeFileExt(exeName, QStringLiteral(".tip"));
    app.WebAddresses->WebSite = WebSite;
    app.WebAddresses->SupportEmail = SupportEmail;
    app.AccentColor = ZTRgb(58, 110, 165);
}

// ---- Termination signals -----------------------------------------------------------------------

int signalSockets[2] = {-1, -1};
volatile std::sig_atomic_t signalReceived = 0;
bool signalHandled = false;

extern "C" void TerminationSignalHandler(int)
{
    // Only async-signal-safe work here: one byte into the socket pair.
    const int savedErrno = errno;
    signalReceived = 1;
    if (signalSockets[0] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    }
    errno = savedErrno;
}

void TerminationSignalRead()
{
    // Both ends are non-blocking: the handler never waits, and this drains what is there.
    char buffer[16];
    while (::read(signalSockets[1], buffer, sizeof buffer) > 0) {
    }
    signalHandled = true;
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [] {
        if (TVNTRMain *window = MainWindow()) {
            // As at the end of the desktop session: the store and the preferences are saved
            // and released first, then the window closes. Dialogs still open when the loops
            // end (an alert, for one) find nothing left to change.
            window->SessionEndQuery();
            return;
        }
        // Start-up is still running: the dialog it waits on closes, and the program ends as
        // soon as its main window exists (VNTRRun).
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
}

} // namespace

TVNTRStartUpHooks &StartUpHooks()
{
    static TVNTRStartUpHooks hooks = DefaultHooks();
    return hooks;
}

void ResetStartUpHooks()
{
    StartUpHooks() = DefaultHooks();
}

// ---- Single instance ---------------------------------------------------------------------------------

QString SingleInstanceLockPath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        // A folder of this user's own in the temporary folder: a lock shared by all users would
        // let one user's program refuse another's. Taken only when it is ours and private.
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("ventaro-%1").arg(::getuid()));
        const QByteArray name = QFile::encodeName(folder);
        ::mkdir(name.constData(), 0700);
        struct stat info;
        if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
            || (info.st_mode & 077) != 0)
            return QString();
    }
    return QDir(folder).filePath(QStringLiteral("KESTO.lock"));
}

namespace {

// Whether a lock that another process seems to hold has an owner alive on this host. A lock
// whose content cannot be read (empty, garbage), that names another host, or whose process no
// longer runs is stale: nothing would ever remove it, and it would refuse every start.
bool LockOwnerAlive(QLockFile &lock)
{
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

void SingleInstanceCheck()
{
    if (InstanceLock())
        return; // this process holds it already
    const QString path = SingleInstanceLockPath();
    // The lock cannot be made at all (no private runtime folder): there is no way to tell
    // whether another instance runs, and refusing would keep the program from ever starting.
    if (path.isEmpty())
        return;
    auto lock = std::make_unique<QLockFile>(path);
    // Never stale by age: only a lock whose owner is gone is taken over.
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError && !LockOwnerAlive(*lock)) {
        lock->removeStaleLockFile();
        locked = lock->tryLock(0);
    }
    if (locked) {
        InstanceLock() = std::move(lock);
        return;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        const QString caption = ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);
        auto &message = StartUpHooks().InstanceMessage;
        if (message)
            message(QString::fromLatin1(VNTRMultipleInstances), caption);
        else
            DefaultInstanceMessage(QString::fromLatin1(VNTRMultipleInstances), caption);
        EndProcess(0);
    }
}

void ReleaseSingleInstanceLock()
{
    InstanceLock().reset();
}

// ---- Data file -----------------------------------------------------------------------------------------

QString DefaultDataFileName()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QStringLiteral("Merrowick/Ventaro!/")) + ZTCurrentUserName() + QStringLiteral(".dat");
}

// ---- Splash --------------------------------------------------------------------------------------------

std::unique_ptr<QPixmap> LoadSplashBitmap()
{
    try {
        Q_INIT_RESOURCE(resources);
        auto bitmap = std::make_unique<QPixmap>(QStringLiteral(":/images/splash.png"));
        if (bitmap->isNull())
            return nullptr;
        return bitmap;
    } catch (...) {
        return nullptr;
    }
}

void ShowSplash(const TZTApplication &application, const QPixmap *bitmap, const QColor &textColor)
{
    CloseSplash();
    auto form = std::make_unique<TSplashForm>();
    form->Prepare(application, bitmap, textColor);
    form->CenterOnScreen();
    form->show();
    form->repaint();
    Splash() = std::move(form);
    // No event loop runs yet: let the window appear now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CloseSplash()
{
    std::unique_ptr<TSplashForm> form = std::move(Splash());
    if (!form)
        return;
    form->close();
    form.reset();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TSplashForm *SplashForm()
{
    return Splash().get();
}

// ---- Start-up ------------------------------------------------------------------------------------------

void StartUp()
{
    // 1. One instance only.
    SingleInstanceCheck();

    // 2-3. The application object.
    ZTApplication = std::make_unique<TZTApplication>();
    const QString exeName = StartUpHooks().ExeName.isEmpty() ? QCoreApplication::applicationFilePath() : StartUpHooks().ExeName;
    FillApplicationObject(*ZTApplication, exeName);
    ZTSetHelpFile(ZTApplication->HelpFile);

    // 4. The title (the window captions and every message dialog carry it).
    QApplication::setApplicationDisplayName(ZTApplication->Title);

    // 5. The installation's record; a user who may not write there starts all the same.
    ZTRegWriteString(ZTApplication->RegistryRoot, ZTApplication->RegistryKey, QStringLiteral("Location"), ZTApplication->AppPath);
    ZTRegWriteString(ZTApplication->RegistryRoot, ZTApplication->RegistryKey, QStringLiteral("Version"), ZTApplication->Version);

    // 6. The splash window.
    SplashBitmap = LoadSplashBitmap();
    ShowSplash(*ZTApplication, SplashBitmap.get(), Qt::white);

    // 7. Nothing here logs in or connects to a database.
    ZTApplication->Database->InUse = false;
    ZTApplication->LoginInfo->InUse = false;

    // 8-11, closing the splash window however they end.
    try {
        // 8. The preferences.
        Options = std::make_unique<TVNTROptions>(ZTApplication->RegistryKey);
        Options->Load();

        // 9. The default sound (stored when the preferences are next saved).
        if (Options->DefaultSound.isEmpty())
            Options->DefaultSound = ZTApplication->AppPath + QStringLiteral("notify.wav");

        // 10. The database file.
        const QString fileKey = ZTApplication->RegistryKey + FileKeyName;
        QString dataFile = ZTRegReadString(TZTRegHive::CurrentUser, fileKey, DataFileValue, QString());
        // A folder, FIFO or device at the path is no database file: said as it is, once
        // (reading a FIFO would hang the start for good).
        if (const QString kind = ZTNonRegularFileKind(dataFile); !kind.isEmpty())
            throw EZTException(QStringLiteral("Error loading database file '%1'.").arg(dataFile),
                               QStringLiteral("The path is %1, not a file.").arg(kind), 1);
        if (dataFile.isEmpty()) {
            dataFile = DefaultDataFileName();
            ZTRegWriteString(TZTRegHive::CurrentUser, fileKey, DataFileValue, dataFile);
        } else if (!ZTFileExistsSafe(dataFile)) {
            ZTMessageDetails(QString::fromLatin1(VNTRDataFileNotFound), QString::fromLatin1(VNTRDataFileNotFoundDetails),
                             ZTApplication->Title, ZTMsg::mtWarning, ZTApplication->LanguageId, ZTApplication->FontName, false);
        }
        // The default folder is the program's own: it is made when missing. Any other folder
        // is the user's choice and is left as it is.
        const QString defaultFolder = ZTExtractFilePath(DefaultDataFileName());
        if (ZTExtractFilePath(dataFile) == defaultFolder)
            QDir().mkpath(defaultFolder);

        // 11. The store: loaded, and saved at once (current format, fresh backup).
        Reminders = std::make_unique<TReminders>(dataFile);
        Reminders->WorkDaysSource = [] { return Options ? Options->WorkDays : QStringLiteral("1111100"); };
        Reminders->Load();
        // A read-only or full disk must not keep the reminders from alerting: the program
        // starts, says once that changes cannot be saved, and tries again later.
        try {
            Reminders->Save();
        } catch (const EZTException &) {
            StartUpSaveFailure() = std::current_exception();
        }
        WaitShowingSplash(StartUpHooks().SplashMinimumMs);
    } catch (...) {
        CloseSplash();
        throw;
    }
    // 12.
    CloseSplash();
}

void ShowStartUpFailure(const std::exception_ptr &error)
{
    QString text;
    QString details;
    try {
        std::rethrow_exception(error);
    } catch (const EZTException &e) {
        text = e.Message();
        details = e.Details();
    } catch (...) {
        text = QString::fromLatin1(VNTRUnexpectedStartError);
        details = ZTExceptionMessage(error);
    }
    const QString title = ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);
    const std::uint8_t languageId = ZTApplication ? ZTApplication->LanguageId : ZTMsg::langEnglish;
    const QString fontName = ZTApplication ? ZTApplication->FontName : FontName;
    try {
        ZTMessageDetails(text, details, title, ZTMsg::mtCritical, languageId, fontName, true);
    } catch (...) {
        std::fprintf(stderr, "%s\n%s\n", text.toLocal8Bit().constData(), details.toLocal8Bit().constData());
    }
}

std::unique_ptr<TVNTRMain> VNTRStart(int &exitCode)
{
    exitCode = 0;
    try {
        std::exception_ptr failure;
        std::unique_ptr<TVNTRMain> window;
        try {
            StartUp();
            // Created hidden: the program lives in the notification area until the user opens it.
            window = std::make_unique<TVNTRMain>();
        } catch (const TVNTRProcessEnd &) {
            throw;
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure) {
            // Nothing is saved on this path: the store and the preferences stay as loaded.
            window.reset();
            ShowStartUpFailure(failure);
            ReleaseGlobals();
            QCoreApplication::processEvents();
            EndProcess(1);
        }
        MainWindow() = window.get();
        if (std::exception_ptr saveFailure = std::exchange(StartUpSaveFailure(), nullptr))
            window->StartUpSaveFailed(saveFailure);
        return window;
    } catch (const TVNTRProcessEnd &end) {
        exitCode = end.Code;
        return nullptr;
    }
}

int VNTRRun()
{
    QApplication::setApplicationName(QStringLiteral("ventaro"));
    // Desktops match the windows to the menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QString::fromUtf16(ZTDesktopAppId));
    QApplication::setApplicationDisplayName(QString::fromLatin1(VNTRTitle));
    QApplication::setQuitOnLastWindowClosed(false);
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/ventaro.png")));
    ZTUseDesktopServicesOpener();

    // From here on a termination signal ends the program through the orderly path.
    InstallTerminationSignals();
    int exitCode = 0;
    std::unique_ptr<TVNTRMain> window = VNTRStart(exitCode);
    if (!window)
        return exitCode;
    // A signal that came during start-up ends the program as soon as the loop runs.
    if (TerminationSignalReceived())
        QMetaObject::invokeMethod(window.get(), &TVNTRMain::SessionEndQuery, Qt::QueuedConnection);
    exitCode = QApplication::exec();
    // The destroy handler saves and releases the store and the preferences.
    window.reset();
    return exitCode;
}

// ---- Shutdown ------------------------------------------------------------------------------------------

void ShutDown()
{
    // Each object leaves its global before it is saved, so the step runs once even when the
    // save fails; the first failure is raised after everything has been released.
    std::exception_ptr failure;
    if (std::unique_ptr<TReminders> store = std::move(Reminders)) {
        try {
            // Never over a change another program made to the file: merged, or kept beside.
            store->SaveOrMerge();
            failure = store->TakeConflictWarning();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (std::unique_ptr<TVNTROptions> options = std::move(Options)) {
        try {
            options->Save();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    ReleaseGlobals();
    if (failure)
        std::rethrow_exception(failure);
}

void ReleaseGlobals()
{
    SplashBitmap.reset();
    ZTApplication.reset();
}

// ---- Termination signals -------------------------------------------------------------------------------

void InstallTerminationSignals()
{
    if (signalSockets[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        signalSockets[0] = signalSockets[1] = -1;
        return; // the default dispositions stay: the program still ends, without the final save
    }
    auto *notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { TerminationSignalRead(); });

    struct sigaction action = {};
    action.sa_handler = &TerminationSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool TerminationSignalReceived()
{
    return signalHandled;
}

void ForgetTerminationSignal()
{
    signalHandled = false;
    signalReceived = 0;
}
