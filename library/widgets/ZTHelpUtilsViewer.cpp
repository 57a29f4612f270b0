#include "ZTHelpUtilsViewer.h"

#include "ZTExceptions.h"
#include "ZTHelpUtils.h"
#include "ui_ZTHelpUtilsViewer.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>

#include <stdexcept>

QPointer<TZTHelpViewer> TZTHelpViewer::instance_;

TZTHelpViewer::TZTHelpViewer() : QWidget(nullptr, Qt::Window), ui_(std::make_unique<Ui::TZTHelpViewer>())
{
    ui_->setupUi(this);
    // Closing help never ends the program, even when no other window is shown.
    setAttribute(Qt::WA_QuitOnClose, false);
    ui_->cmdBack->setEnabled(false);
    ui_->cmdForward->setEnabled(false);

    connect(ui_->cmdBack, &QPushButton::clicked, this, &TZTHelpViewer::cmdBackClick);
    connect(ui_->cmdForward, &QPushButton::clicked, this, &TZTHelpViewer::cmdForwardClick);
    connect(ui_->cmdContents, &QPushButton::clicked, this, &TZTHelpViewer::cmdContentsClick);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &TZTHelpViewer::cmdCloseClick);
    connect(ui_->txtHelp, &QTextBrowser::backwardAvailable, ui_->cmdBack, &QWidget::setEnabled);
    connect(ui_->txtHelp, &QTextBrowser::forwardAvailable, ui_->cmdForward, &QWidget::setEnabled);
    connect(ui_->txtHelp, &QTextBrowser::sourceChanged, this, &TZTHelpViewer::txtHelpSourceChanged);

    // Esc hides the viewer, F1 goes back to the table of contents.
    ZTInstallFormKeys(this, HelpContextContents);

    // The one viewer outlives every window that opened it; it goes when the program ends.
    if (qApp)
        connect(qApp, &QCoreApplication::aboutToQuit, this, &QObject::deleteLater);
}

TZTHelpViewer::~TZTHelpViewer() = default;

TZTHelpViewer *TZTHelpViewer::Instance()
{
    return instance_.data();
}

TZTHelpViewer *TZTHelpViewer::Open(const QString &helpFile, int context)
{
    // The browser shows an empty page for a file it cannot read; say why instead.
    QFile probe(helpFile);
    if (!probe.open(QIODevice::ReadOnly))
        throw std::runtime_error(probe.errorString().toStdString());
    probe.close();

    TZTHelpViewer *viewer = instance_.data();
    if (!viewer) {
        viewer = new TZTHelpViewer();
        instance_ = viewer;
    }
    viewer->ShowTopic(helpFile, context);
    viewer->StayUsableOverModalWindow();
    if (viewer->isMinimized())
        viewer->showNormal();
    else
        viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

void TZTHelpViewer::ShowTopic(const QString &helpFile, int context)
{
    const QString absolute = QFileInfo(helpFile).absoluteFilePath();
    if (absolute != helpFile_) {
        helpFile_ = absolute;
        ui_->txtHelp->clearHistory();
    }
    QUrl url = QUrl::fromLocalFile(absolute);
    url.setFragment(QString::number(context));
    ui_->txtHelp->setSource(url);
    UpdateCaption();
}

QString TZTHelpViewer::CurrentAnchor() const
{
    return ui_->txtHelp->source().fragment();
}

QUrl TZTHelpViewer::CurrentSource() const
{
    return ui_->txtHelp->source();
}

// Help is mostly asked for from modal dialogs, which block every other window of the
// program. Made a transient of the modal window, the viewer stays usable (scrolling, links,
// buttons) while that dialog is open, and stands above it.
void TZTHelpViewer::StayUsableOverModalWindow()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal)
        modal = modal->window();
    if (modal == this)
        modal = nullptr;
    if (modal == owner_.data() && windowHandle()
        && windowHandle()->transientParent() == (modal ? modal->windowHandle() : nullptr))
        return;
    LeaveOwner();
    winId(); // the platform window must exist to carry a transient parent
    if (modal) {
        modal->winId();
        owner_ = modal;
        modal->installEventFilter(this);
        windowHandle()->setTransientParent(modal->windowHandle());
    }
}

void TZTHelpViewer::LeaveOwner()
{
    if (owner_)
        owner_->removeEventFilter(this);
    owner_.clear();
    if (windowHandle())
        windowHandle()->setTransientParent(nullptr);
}

bool TZTHelpViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == owner_.data() && event->type() == QEvent::Hide) {
        // The dialog that opened help is going away: the viewer stays open on its own, or,
        // when that dialog was itself opened from another modal dialog, above that one.
        LeaveOwner();
        QTimer::singleShot(0, this, [this] {
            if (isVisible())
                StayUsableOverModalWindow();
        });
    }
    return QWidget::eventFilter(watched, event);
}

void TZTHelpViewer::UpdateCaption()
{
    QString title = ui_->txtHelp->documentTitle().trimmed();
    if (title.isEmpty())
        title = QFileInfo(helpFile_).fileName();
    setWindowTitle(title);
}

void TZTHelpViewer::cmdBackClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unexpected error."), [&] { ui_->txtHelp->backward(); });
}

void TZTHelpViewer::cmdForwardClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unexpected error."), [&] { ui_->txtHelp->forward(); });
}

void TZTHelpViewer::cmdContentsClick()
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Unable to show help file '%1'.").arg(helpFile_),
            [&] { ShowTopic(helpFile_, HelpContextContents); });
}

void TZTHelpViewer::cmdCloseClick()
{
    close();
}

void TZTHelpViewer::txtHelpSourceChanged(const QUrl &)
{
    UpdateCaption();
}
