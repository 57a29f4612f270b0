#pragma once
// Answers a modal dialog from inside its own event loop: a zero-time single shot runs once the
// dialog's loop is running and acts on QApplication::activeModalWidget(). When the action
// leaves the dialog open it is closed by force and LeftOpen tells, so a faulty dialog fails
// the test instead of hanging it. Nothing here waits on a clock.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

class TModalDriver {
public:
    explicit TModalDriver(std::function<void(QDialog *)> action) : action_(std::move(action))
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Act(); });
        timer_.start(0);
    }

    bool Found = false;    // a modal dialog was open when the action ran
    bool LeftOpen = false; // the action did not close it

private:
    void Act()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            const auto tops = QApplication::topLevelWidgets();
            for (QWidget *top : tops)
                if (auto *d = qobject_cast<QDialog *>(top); d && d->isVisible())
                    d->reject();
            return;
        }
        Found = true;
        // The platform's activation of the new window may still be queued; deliver it, so
        // that the keyboard focus is where a person would find it.
        if (!dialog->isActiveWindow()) {
            dialog->activateWindow();
            QCoreApplication::processEvents();
        }
        action_(dialog);
        if (dialog->isVisible()) {
            LeftOpen = true;
            dialog->reject();
        }
    }

    std::function<void(QDialog *)> action_;
    QTimer timer_; // destroyed with the driver, so it never acts on a later test's dialog
};
