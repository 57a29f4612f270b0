// The main window's tray: the tray menu with its default item, the clicks on the icon, and
// the one quick calendar.
#include "frmMain.h"

#include "frmQuickCal.h"

#include "ZTExceptions.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {
const QString kInternalError = QStringLiteral("Internal error.");
} // namespace

void TVNTRMain::CreateTrayMenu()
{
    popTray_ = new QMenu(this);
    popTray_->setObjectName(QStringLiteral("popTray"));
    popTray_->addAction(act_.TrayCalendar);
    popTray_->addSeparator();
    popTray_->addAction(act_.TrayManager);
    popTray_->addSeparator();
    popTray_->addAction(act_.TrayAddReminder);
    popTray_->addSeparator();
    popTray_->addAction(act_.TrayHelp);
    popTray_->addSeparator();
    popTray_->addAction(act_.TrayExit);
    // The default item, drawn in bold.
    popTray_->setDefaultAction(act_.TrayCalendar);
    connect(popTray_, &QMenu::aboutToShow, this, &TVNTRMain::UpdateActions);
    if (!trayIcon_)
        return;
    trayIcon_->setContextMenu(popTray_);
    connect(trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A left click opens the quick calendar; the right button opens the menu by itself.
        if (reason != QSystemTrayIcon::Trigger)
            return;
        ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
            UpdateActions();
            if (act_.TrayCalendar->isEnabled())
                act_.TrayCalendar->trigger();
        });
    });
}

void TVNTRMain::actTrayCalendarExecute()
{
    OpenQuickCalendar();
}

void TVNTRMain::actTrayManagerExecute()
{
    ShowMainWindow(true);
}

void TVNTRMain::OpenQuickCalendar()
{
    if (quickCalendar_) {
        quickCalendar_->show();
        quickCalendar_->raise();
        quickCalendar_->activateWindow();
        return;
    }
    auto *quick = new TQuickCalendar(this, [this] { CommitAndRefresh(); });
    quickCalendar_ = quick;
    // Once it is gone, not while it is being destroyed (the reference still points at it then).
    connect(quick, &QObject::destroyed, this, &TVNTRMain::UpdateActions, Qt::QueuedConnection);
    // The screen whose panel holds the tray icon, else the primary one.
    QScreen *screen = nullptr;
    if (trayIcon_ && trayIcon_->geometry().isValid())
        screen = QGuiApplication::screenAt(trayIcon_->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        quick->PlaceOn(screen->availableGeometry());
    quick->show();
    quick->raise();
    quick->activateWindow();
    UpdateActions();
}

void TVNTRMain::ReleaseQuickCalendar()
{
    if (quickCalendar_)
        quickCalendar_->close();
}
