#include "frmMain.h"
#include "ui_frmMain.h"

#include "uMain.h"

#include "ZTAboutFrm2.h"
#include "ZTAppEvents.h"
#include "ZTExceptions.h"
#include "ZTMapi.h"
#include "ZTShellUtils.h"
#include "ZTTipOfTheDay.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QSessionManager>

#include <stdexcept>

TVNTRMain::TVNTRMain(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::TVNTRMain>())
{
    ui->setupUi(this);

    // The application-wide error display: every guarded handler of the program ends here.
    const QString title = ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle);
    const std::uint8_t languageId = ZTApplication ? ZTApplication->LanguageId : std::uint8_t(1);
    const QString fontName = ZTApplication ? ZTApplication->FontName : QStringLiteral("Tahoma");
    aeEvents_ = new TZTAppEvents(title, languageId, fontName, this);
    aeEvents_->setObjectName(QStringLiteral("aeEvents"));
    // A fatal error ends the program the way an orderly end does: the reminders and the
    // preferences are saved first, so changes a failed handler made in memory are kept.
    aeEvents_->SetTerminate([] {
        try {
            ShutDown();
        } catch (...) {
        }
        StartUpHooks().Terminate(1);
    });
    aeEvents_->Install();

    // The desktop session asks before it ends (log-off, shutdown): answer and save at once.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TVNTRMain::commitDataRequest);

    FormCreate();
}

TVNTRMain::~TVNTRMain()
{
    FormDestroy();
}

void TVNTRMain::FormCreate()
{
    firstScan_ = true;
    exitRequested_ = false;
    rebuilding_ = false;
    setWindowTitle(ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle));
    // Today label and tray icon, and the one-second timer that keeps them and the scans going.
    InitAlerting();
    // The Tip of the Day, when the preferences ask for it at start-up (not when the program
    // has been asked to end while it was starting).
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        if (Options && Options->ShowTips && !TerminationSignalReceived())
            ShowTips(false);
    });
}

void TVNTRMain::ShowTips(bool forced)
{
    if (!ZTApplication || !Options)
        return;
    Options->ShowTips = ShowTipOfTheDay(*ZTApplication, Options->ShowTips, forced);
    Options->Save();
}

void TVNTRMain::actHelpTipOfTheDayExecute()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] { ShowTips(true); });
}

void TVNTRMain::actHelpOnTheWebExecute()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [] {
        if (ZTApplication)
            OpenWebAddress(ZTApplication->WebAddresses->WebSite);
    });
}

void TVNTRMain::actHelpSendEmailExecute()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [] {
        if (ZTApplication)
            SendMailTo(*ZTApplication, ZTApplication->WebAddresses->SupportEmail);
    });
}

void TVNTRMain::actHelpAboutExecute()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [] {
        if (ZTApplication)
            ShowAboutBox(*ZTApplication, ZTApplication->FontName);
    });
}

void TVNTRMain::FormDestroy()
{
    // Saves and releases the store and the preferences; a no-op when the session's end has
    // done it already. A failure is shown by the error display, which still exists here.
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [] { ShutDown(); });
}

void TVNTRMain::CommitAndRefresh()
{
    ZTRaising(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        if (!Reminders)
            throw std::logic_error("The reminder store is not open.");
        Reminders->Save();
        RefreshViews();
    });
}

void TVNTRMain::RefreshViews()
{
    // ---- Refresh hook ----
    // Selecting the calendar's date again rebuilds the calendar marks, the all-reminders list
    // and the day view, then the quick calendar's marks when it is open. The calendar, the list
    // and the day view plug in here as they are added to the window; for now nothing shows
    // reminders, so there is nothing to redraw.
}

void TVNTRMain::closeEvent(QCloseEvent *event)
{
    bool minimize = false;
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [&] {
        minimize = Options && Options->CloseMinimizes && !exitRequested_;
    });
    if (minimize) {
        // The program lives on in the tray: closing only hides the window.
        event->ignore();
        hide();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TVNTRMain::RequestExit()
{
    exitRequested_ = true;
    close();
}

void TVNTRMain::SessionEndQuery()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Internal error."), [this] {
        exitRequested_ = true;
        ShutDown();
    });
    // The store and the preferences are gone now: the program ends rather than run on without
    // them, also when the session manager later cancels the log-off.
    QMetaObject::invokeMethod(this, &TVNTRMain::RequestExit, Qt::QueuedConnection);
}

void TVNTRMain::commitDataRequest(QSessionManager &manager)
{
    Q_UNUSED(manager);
    // No question is put to the user: the program may always end.
    SessionEndQuery();
}
