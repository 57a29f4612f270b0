#include "ZTFormUtils.h"

#include <QApplication>
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
