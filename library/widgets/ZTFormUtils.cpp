#include "ZTFormUtils.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QWidget *ZTDialogOwner()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const auto tops = QApplication::topLevelWidgets();
    for (QWidget *top : tops)
        if (top->isVisible() && top->inherits("QMainWindow"))
            return top;
    return nullptr;
}

void ZTCentreOnScreen(QWidget *window)
{
    QWidget *owner = window->parentWidget();
    QScreen *screen = owner && owner->screen() ? owner->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
