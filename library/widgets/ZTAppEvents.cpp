#include "ZTAppEvents.h"

#include "ZTExceptions.h"
#include "ZTMsgDetailsFrm.h"
#include "ZTMsgFrm.h"

#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <iostream>

TZTAppEvents::TZTAppEvents(const QString &title, std::uint8_t languageId, const QString &fontName, QObject *parent)
    : QObject(parent), title_(title), languageId_(languageId), fontName_(fontName), terminate_(&TZTAppEvents::DefaultTerminate)
{}

TZTAppEvents::~TZTAppEvents()
{
    Uninstall();
}

void TZTAppEvents::SetTerminate(TZTTerminate terminate)
{
    terminate_ = terminate ? std::move(terminate) : TZTTerminate(&TZTAppEvents::DefaultTerminate);
}

void TZTAppEvents::DefaultTerminate()
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

namespace {
// The object whose handler is installed, so that one object never removes another's.
TZTAppEvents *installedEvents = nullptr;
} // namespace

void TZTAppEvents::Install()
{
    ZTSetExceptionHandler([this](const std::exception_ptr &error) { aeEventsException(error); });
    installedEvents = this;
}

void TZTAppEvents::Uninstall()
{
    if (installedEvents != this)
        return;
    ZTSetExceptionHandler({});
    installedEvents = nullptr;
}

bool TZTAppEvents::Installed() const
{
    return installedEvents == this;
}

QWidget *TZTAppEvents::BringApplicationToFront()
{
    QWidget *window = QApplication::activeWindow();
    if (!window) {
        const auto tops = QApplication::topLevelWidgets();
        for (QWidget *top : tops) {
            if (top->isVisible() && !top->isMinimized() && top->isWindow() && !(top->windowType() == Qt::Popup)
                && !(top->windowType() == Qt::ToolTip)) {
                window = top;
                break;
            }
        }
    }
    if (!window)
        return nullptr;
    window->raise();
    window->activateWindow();
    return window;
}

void TZTAppEvents::aeEventsException(const std::exception_ptr &error)
{
    if (!error)
        return;
    // Windows exist on the user-interface thread only: an exception handed over on another
    // thread is shown from there, once that thread's event loop gets to it.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, error] { aeEventsException(error); }, Qt::QueuedConnection);
        return;
    }
    BringApplicationToFront();

    QString text;
    QString details;
    std::uint8_t messageType = ZTMsg::mtCritical;
    bool fatal = false;
    try {
        std::rethrow_exception(error);
    } catch (const EZTException &e) {
        text = e.Message();
        details = e.Details();
        switch (e.Severity()) {
        case EZTException::Fatal:
            messageType = ZTMsg::mtCritical;
            fatal = !text.isEmpty();
            break;
        case EZTException::Warning:
            messageType = ZTMsg::mtWarning;
            break;
        case EZTException::Information:
            messageType = ZTMsg::mtInformation;
            break;
        default:
            return; // another severity is never shown
        }
        if (text.isEmpty())
            return; // an action abandoned on purpose
    } catch (...) {
        text = QStringLiteral("Unexpected error.");
        details = ZTExceptionMessage(error);
        messageType = ZTMsg::mtCritical;
        fatal = true;
    }

    // The dialog runs outside the catch above, so the exception object is no longer held
    // through the nested event loop. Should showing fail, the decision to end still stands.
    try {
        ZTMessageDetails(text, details, title_, messageType, languageId_, fontName_, false);
    } catch (...) {
        std::fprintf(stderr, "%s\n%s\n", text.toLocal8Bit().constData(), details.toLocal8Bit().constData());
    }
    if (fatal)
        terminate_();
}

TZTGuardedApplication::TZTGuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}

TZTGuardedApplication::~TZTGuardedApplication() = default;

bool TZTGuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ZTHandleException(std::current_exception());
        return false;
    }
}
