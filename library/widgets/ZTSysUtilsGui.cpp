#include "ZTSysUtilsGui.h"

#include "ZTShellUtils.h"

#include <QDesktopServices>
#include <QGuiApplication>

bool ZTControlKeyDown()
{
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
}

void ZTUseDesktopServicesOpener()
{
    ZTSetShellOpener([](const QString &target) { return QDesktopServices::openUrl(ZTShellTargetUrl(target)); });
}
