#include "ZTHelpUtils.h"

#include "ZTExceptions.h"
#include "ZTHelpUtilsViewer.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {

const char *const kHelpContextProperty = "HelpContext";
const char *const kFormKeysProperty = "ZTFormKeys";

QString &RegisteredHelpFile()
{
    static QString path;
    return path;
}

TZTHelpDisplay &HelpDisplay()
{
    static TZTHelpDisplay display;
    return display;
}

void ViewerDisplay(const QString &helpFile, int context)
{
    TZTHelpViewer::Open(helpFile, context);
}

// Key preview for the windows that asked for it. Installed once on the application, so it
// sees a key event before the focused control of the window does. A press of Esc or F1 is
// taken away from the controls and remembered with its window; the matching release in the
// same window runs FormKeyUpCommon. A release whose press went elsewhere (a drop-down list
// that Esc closed, another window that Esc closed on its press) is swallowed, so one Esc never
// closes two windows.
class TZTFormKeys : public QObject {
public:
    explicit TZTFormKeys(QObject *parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType())
            return false;
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        if (key != Qt::Key_Escape && key != Qt::Key_F1)
            return false;
        QWidget *form = static_cast<QWidget *>(watched)->window();
        if (!form || !form->property(kFormKeysProperty).toBool())
            return false;

        if (type == QEvent::KeyPress) {
            if (!keyEvent->isAutoRepeat())
                pressed_.insert(key, form);
            return true;
        }
        if (keyEvent->isAutoRepeat())
            return true;
        const QPointer<QWidget> pressedIn = pressed_.take(key);
        if (pressedIn != form)
            return true;
        ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unexpected error."), [&] { FormKeyUpCommon(key, form); });
        return true;
    }

private:
    QHash<int, QPointer<QWidget>> pressed_;
};

} // namespace

QString ZTDefaultHelpFile()
{
    const QString exe = QCoreApplication::applicationFilePath();
    if (exe.isEmpty())
        return QString();
    const QFileInfo info(exe);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".html");
}

QString ZTHelpFile()
{
    const QString &path = RegisteredHelpFile();
    return path.isEmpty() ? ZTDefaultHelpFile() : path;
}

void ZTSetHelpFile(const QString &path)
{
    RegisteredHelpFile() = path;
}

void ZTSetHelpContext(QWidget *form, int context)
{
    if (form)
        form->setProperty(kHelpContextProperty, context);
}

int ZTHelpContext(const QWidget *form)
{
    if (!form)
        return HelpContextContents;
    bool ok = false;
    const int context = form->property(kHelpContextProperty).toInt(&ok);
    return ok ? context : HelpContextContents;
}

void ZTSetHelpDisplay(TZTHelpDisplay display)
{
    HelpDisplay() = std::move(display);
}

void ShowHelp(const QString &helpFile, int context)
{
    ZTRaising(TZTRaise::WrapAll, QStringLiteral("Unable to show help file '%1'.").arg(helpFile), [&] {
        // A directory of that name is no help file either.
        if (helpFile.isEmpty() || !QFileInfo(helpFile).isFile())
            return;
        const TZTHelpDisplay &display = HelpDisplay();
        if (display)
            display(helpFile, context);
        else
            ViewerDisplay(helpFile, context);
    });
}

void ShowHelp(int context)
{
    ShowHelp(ZTHelpFile(), context);
}

bool FormKeyUpCommon(int key, QWidget *form)
{
    if (!form)
        return false;
    switch (key) {
    case Qt::Key_Escape:
        form->close();
        return true;
    case Qt::Key_F1:
        ShowHelp(ZTHelpContext(form));
        return true;
    default:
        return false;
    }
}

void ZTInstallFormKeys(QWidget *form, int helpContext)
{
    if (!form)
        return;
    static QPointer<TZTFormKeys> filter;
    if (!filter && qApp) {
        filter = new TZTFormKeys(qApp);
        qApp->installEventFilter(filter);
    }
    form->setProperty(kFormKeysProperty, true);
    ZTSetHelpContext(form, helpContext);
}
