#include "frmMain.h"
#include "ui_frmMain.h"

#include "clsDayView.h"
#include "frmAddReminder.h"
#include "frmMainList.h"
#include "frmQuickCal.h"
#include "uCalendarColours.h"
#include "uMain.h"
#include "uPlayer.h"
#include "uTrayImages.h"

#include "ZTAppEvents.h"
#include "ZTCalendarPanel.h"
#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTRegUtils.h"
#include "ZTStrUtils.h"
#include "ZTTipOfTheDay.h"
#include "clsReminders.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QScrollArea>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
const QString kInternalError = QStringLiteral("Internal error.");
const QString kDateCaptionError = QStringLiteral("Error setting the current date.");

// The "Time" column is 130 pixels wide, or wider when the locale's date and time captions
// need more room in the list's font (with the row icon and the cell margins), so that no
// caption is cut short. The widest is looked for over the months of one year, at a two-digit
// day and a late two-digit hour.
int TimeColumnWidth(const QTreeView &list)
{
    const QFontMetrics metrics(list.font());
    const int year = ZTNowDateTime().date().year();
    int widest = 0;
    for (int month = 1; month <= 12; ++month)
        widest =
            std::max(widest, metrics.horizontalAdvance(TReminder::ListCaption(EncodeDate(year, month, 28), EncodeTime(23, 58))));
    const int margins = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + 8;
    return std::max(130, widest + list.iconSize().width() + margins);
}
} // namespace

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

    CreateActions();
    CreateMenus();
    BuildLayout();
    ConnectDayView();
    FormCreate();
}

TVNTRMain::~TVNTRMain()
{
    // The children go with the window: nothing they signal on the way may reach back into it.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    disconnect(&ReminderDialogNotifier(), nullptr, this, nullptr);
    delete quickCalendar_.data();
    if (lvAll_)
        lvAll_->setModel(nullptr);
    FormDestroy();
}

// ---- Layout ----

namespace {
// The date caption: never wider than the column it stands in. A long date (a long weekday and
// month name, a locale's long format) is shortened with "..." instead of widening the column and
// pushing the calendar and the list off the window; the whole date is its tooltip.
class TDateCaption : public QLabel {
public:
    using QLabel::QLabel;
    void SetCaption(const QString &caption)
    {
        caption_ = caption;
        setToolTip(caption);
        setAccessibleName(caption);
        Fit();
    }
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }
    QSize sizeHint() const override { return QSize(0, QLabel::sizeHint().height()); }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        Fit();
    }

private:
    void Fit()
    {
        const int room = contentsRect().width() - 2 * margin() - 4;
        const QString shown = fontMetrics().elidedText(caption_, Qt::ElideRight, std::max(0, room));
        if (text() != shown)
            setText(shown);
    }
    QString caption_;
};
} // namespace

void TVNTRMain::BuildLayout()
{
    auto *central = ui->centralWidget;
    auto *columns = new QHBoxLayout(central);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    // Left: the date caption and the day view.
    auto *left = new QVBoxLayout;
    left->setSpacing(0);
    pDate_ = new TDateCaption(central);
    pDate_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    pDate_->setObjectName(QStringLiteral("pDate"));
    pDate_->setFixedHeight(25);
    pDate_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pDate_->setAlignment(Qt::AlignCenter);
    QFont bold = pDate_->font();
    bold.setBold(true);
    pDate_->setFont(bold);
    left->addWidget(pDate_);
    dayView_ = new TVNTRDayView(central);
    left->addWidget(dayView_, 1);
    columns->addLayout(left, 1);

    // Right: the calendar with today's information, the divider and the list.
    auto *right = new QWidget(central);
    right->setObjectName(QStringLiteral("pRight"));
    right->setFixedWidth(403);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(2, 0, 2, 0);
    rightLayout->setSpacing(0);
    auto *pCalendar = new QWidget(right);
    pCalendar->setObjectName(QStringLiteral("pCalendar"));
    auto *calendarLayout = new QVBoxLayout(pCalendar);
    calendarLayout->setContentsMargins(0, 0, 0, 0);
    calendarLayout->setSpacing(0);
    Calendar_ = new TZTCalendarPanel(pCalendar);
    Calendar_->setObjectName(QStringLiteral("Calendar"));
    Calendar_->setFixedHeight(144);
    Calendar_->SetPopupMenu(popCalendar_);
    calendarLayout->addWidget(Calendar_);
    auto *pInfo = new QWidget(pCalendar);
    pInfo->setObjectName(QStringLiteral("pInfo"));
    auto *infoLayout = new QHBoxLayout(pInfo);
    infoLayout->setContentsMargins(4, 2, 4, 2);
    imgToday_ = new QLabel(pInfo);
    imgToday_->setObjectName(QStringLiteral("imgToday"));
    imgToday_->setPixmap(VNTRDrawTrayImage(ZTNowDateTime().date().day(), 16));
    infoLayout->addWidget(imgToday_);
    lblToday_ = new QLabel(pInfo);
    lblToday_->setObjectName(QStringLiteral("lblToday"));
    infoLayout->addWidget(lblToday_, 1);
    lblClock_ = new QLabel(pInfo);
    lblClock_->setObjectName(QStringLiteral("lblClock"));
    lblClock_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    infoLayout->addWidget(lblClock_);
    calendarLayout->addWidget(pInfo);
    rightLayout->addWidget(pCalendar);
    auto *pDivider = new QWidget(right);
    pDivider->setObjectName(QStringLiteral("pDivider"));
    pDivider->setFixedHeight(5);
    rightLayout->addWidget(pDivider);

    pcReminders_ = new QTabWidget(right);
    pcReminders_->setObjectName(QStringLiteral("pcReminders"));
    auto *tsAll = new QWidget;
    tsAll->setObjectName(QStringLiteral("tsAll"));
    auto *allLayout = new QVBoxLayout(tsAll);
    allLayout->setContentsMargins(0, 0, 0, 0);
    lvAll_ = new QTreeView(tsAll);
    lvAll_->setObjectName(QStringLiteral("lvAll"));
    lvAll_->setAccessibleName(QStringLiteral("All Reminders"));
    lvAll_->setRootIsDecorated(false);
    lvAll_->setItemsExpandable(false);
    lvAll_->setUniformRowHeights(true);
    lvAll_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAll_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvAll_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvAll_->setIconSize(QSize(16, 16));
    lvAll_->setContextMenuPolicy(Qt::CustomContextMenu);
    listModel_ = std::make_unique<TVNTRListModel>();
    nextCache_ = std::make_unique<TVNTRNextCache>();
    lvAll_->setModel(listModel_.get());
    lvAll_->header()->setStretchLastSection(true);
    lvAll_->header()->setSectionsMovable(false);
    lvAll_->setColumnWidth(0, TimeColumnWidth(*lvAll_));
    lvAll_->setColumnWidth(1, 240);
    allLayout->addWidget(lvAll_);
    pcReminders_->addTab(tsAll, QStringLiteral(" &All Reminders "));
    rightLayout->addWidget(pcReminders_, 1);
    columns->addWidget(right);

    connect(lvAll_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TVNTRMain::lvAllSelectionChanged);
    connect(lvAll_, &QAbstractItemView::doubleClicked, this, &TVNTRMain::lvAllDblClick);
    connect(lvAll_, &QAbstractItemView::activated, this, [this](const QModelIndex &index) {
        // Enter on a row edits it, as a double click does.
        if (QGuiApplication::mouseButtons() == Qt::NoButton)
            lvAllDblClick(index);
    });
    connect(lvAll_, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
            UpdateActions();
            popLists_->exec(lvAll_->viewport()->mapToGlobal(at));
        });
    });
    // The list's rows reset with every rebuild: the model keeps the selection model in step.
    connect(listModel_.get(), &QAbstractItemModel::modelReset, this, &TVNTRMain::UpdateActions);
    connect(qApp, &QApplication::focusChanged, this, [this] { UpdateActions(); });
    // An editing dialog open or closed changes what the tray offers.
    connect(&ReminderDialogNotifier(), &TReminderDialogNotifier::OpenChanged, this, [this] { UpdateActions(); });

    connect(Calendar_, &TZTCalendarPanel::OnDateSelected, this, &TVNTRMain::CalendarDateSelected);
    connect(Calendar_, &TZTCalendarPanel::OnDblClickSelectedDate, this, &TVNTRMain::CalendarDblClickSelectedDate);
    connect(Calendar_, &TZTCalendarPanel::OnUpdate, this, &TVNTRMain::CalendarUpdate);
    Calendar_->SetOnGetMonthInfo(
        [this](TZTCalendarPanel *, TDateTime date, bool &boldDay) { boldDay = CalendarGetMonthInfo(date); });

    statusBar()->setObjectName(QStringLiteral("sbMain"));
    resize(619, 547);
    setMinimumSize(600, 400);
}

// ---- Creation and destruction ----

void TVNTRMain::FormCreate()
{
    firstScan_ = true;
    exitRequested_ = false;
    setWindowTitle(ZTApplication ? ZTApplication->Title : QString::fromLatin1(VNTRTitle));
    const TDateTime today = DateOf(ZTNow());
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
        SetDateCaption(true, today);
        // Today label and tray icon, and the one-second timer that keeps them and the scans going.
        InitAlerting();
        CreateTrayMenu();
        Calendar_->SetSelectedDate(today);
        pcReminders_->setCurrentIndex(0);
        dayView_->SelectSlot(nullptr);
        ApplyPreferences();
        WatchDatabaseFile();
        InitSync();
    });
    UpdateActions();
    // The Tip of the Day, when the preferences ask for it at start-up (not when the program
    // has been asked to end while it was starting).
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
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

void TVNTRMain::FormDestroy()
{
    // Saves and releases the store and the preferences; a no-op when the session's end has
    // done it already. A failure is shown by the error display, which still exists here.
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        StopSync();
        ShutDown();
    });
}

// ---- Commit and refresh, preferences, the date caption ----

void TVNTRMain::CommitAndRefresh()
{
    ZTRaising(TZTRaise::PassThrough, kInternalError, [this] {
        if (!Reminders)
            throw std::logic_error("The reminder store is not open.");
        // Or takes in the file another program changed, when nothing of ours is unsaved.
        SaveDatabaseFile();
        // Selecting the date again rebuilds the marks, the list and the day view.
        Calendar_->SetSelectedDate(Calendar_->SelectedDate());
        if (quickCalendar_)
            quickCalendar_->Refresh();
        ReportDatabaseConflict();
    });
}

void TVNTRMain::ApplyPreferences()
{
    ZTRaising(TZTRaise::PassThrough, kInternalError, [this] {
        if (!Options)
            return;
        ApplyCalendarColours(Calendar_);
        if (player_)
            player_->SetFileName(Options->DefaultSound);
        dayView_->BuildOrRecolour(Calendar_->SelectedDate());
        Calendar_->SetSelectedDate(Calendar_->SelectedDate());
        ApplySyncOptions();
    });
}

void TVNTRMain::SetDateCaption(bool showDayView, TDateTime date)
{
    ZTRaising(TZTRaise::PassThrough, kDateCaptionError, [&] {
        static_cast<TDateCaption *>(pDate_)->SetCaption(
            ZTCapitalize(QLocale::system().toString(DateTimeToQDate(date), QLocale::LongFormat)));
        if (showDayView)
            dayView_->BuildOrRecolour(date);
    });
}

void TVNTRMain::CalendarDateSelected(TDateTime date)
{
    ZTRaising(TZTRaise::PassThrough, QStringLiteral("Error processing click."), [&] {
        RebuildLists(date);
        SetDateCaption(true, date);
    });
}

void TVNTRMain::CalendarDblClickSelectedDate(TDateTime date)
{
    ZTGuard(TZTRaise::PassThrough, QStringLiteral("Error processing double click."),
            [&] { AddReminderAt(std::nullopt, DateOf(date)); });
}

void TVNTRMain::CalendarUpdate(TDateTime startDate, TDateTime endDate)
{
    if (Reminders)
        Reminders->BuildMonthMarks(1, startDate, endDate);
}

bool TVNTRMain::CalendarGetMonthInfo(TDateTime date)
{
    return Reminders && Reminders->HasRemindersOn(1, date);
}

// ---- Showing, hiding, closing ----

void TVNTRMain::ShowMainWindow(bool bringToFront)
{
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (bringToFront) {
        raise();
        activateWindow();
    }
}

void TVNTRMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (storageRestored_)
        return;
    storageRestored_ = true;
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { RestoreFormStorage(); });
}

void TVNTRMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        // Minimised, the program shows only its tray icon.
        QMetaObject::invokeMethod(
            this, [this] { ZTGuard(TZTRaise::PassThrough, kInternalError, [this] { aeEventsMinimize(); }); },
            Qt::QueuedConnection);
}

void TVNTRMain::aeEventsMinimize()
{
    ReleaseQuickCalendar();
    if (isMinimized() && QSystemTrayIcon::isSystemTrayAvailable())
        hide();
}

void TVNTRMain::closeEvent(QCloseEvent *event)
{
    bool minimize = false;
    ZTGuard(TZTRaise::PassThrough, kInternalError, [&] {
        minimize = Options && Options->CloseMinimizes && !exitRequested_;
        SaveFormStorage();
    });
    if (minimize) {
        // The program lives on in the tray: closing only hides the window. Without a
        // notification area (a Wayland desktop without one) a hidden window could never be
        // reached again, and a new start is refused as a second instance: it is minimised.
        event->ignore();
        ReleaseQuickCalendar();
        if (QSystemTrayIcon::isSystemTrayAvailable())
            hide();
        else
            showMinimized();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TVNTRMain::RequestExit()
{
    exitRequested_ = true;
    ReleaseQuickCalendar();
    close();
}

void TVNTRMain::SessionEndQuery()
{
    ZTGuard(TZTRaise::PassThrough, kInternalError, [this] {
        exitRequested_ = true;
        SaveFormStorage();
        StopSync();
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

// ---- Form storage ----

QString TVNTRMain::StorageKey() const
{
    const QString key =
        ZTApplication ? ZTApplication->RegistryKey : QString::fromUtf16(u"Software\\Merrowick\\Merrowick Deskware\\Ventaro!");
    return key + QStringLiteral("\\Storage");
}

void TVNTRMain::RestoreFormStorage()
{
    if (!Options || !Options->SaveWindow) {
        if (const QScreen *screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        return;
    }
    const QString key = StorageKey();
    const QByteArray geometry = ZTRegReadBinary(TZTRegHive::CurrentUser, key, QStringLiteral("Geometry"), {});
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = ZTRegReadBinary(TZTRegHive::CurrentUser, key, QStringLiteral("Docks"), {});
    if (!state.isEmpty())
        restoreState(state);
    tbMain_->setVisible(ZTRegReadBool(TZTRegHive::CurrentUser, key, QStringLiteral("tbMain.Visible"), true));
    statusBar()->setVisible(ZTRegReadBool(TZTRegHive::CurrentUser, key, QStringLiteral("sbMain.Visible"), true));
    tbMenu_->setVisible(true);
    UpdateActions();
}

void TVNTRMain::SaveFormStorage()
{
    // Only a window that has been shown has a placement worth keeping.
    if (!Options || !Options->SaveWindow || !storageRestored_)
        return;
    const QString key = StorageKey();
    ZTRegWriteBinary(TZTRegHive::CurrentUser, key, QStringLiteral("Geometry"), saveGeometry());
    ZTRegWriteBinary(TZTRegHive::CurrentUser, key, QStringLiteral("Docks"), saveState());
    ZTRegWriteBool(TZTRegHive::CurrentUser, key, QStringLiteral("tbMain.Visible"), !tbMain_->isHidden());
    ZTRegWriteBool(TZTRegHive::CurrentUser, key, QStringLiteral("sbMain.Visible"), !statusBar()->isHidden());
}
