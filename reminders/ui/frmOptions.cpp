#include "frmOptions.h"

#include "ui_frmOptions.h"

#include "ZTColorBox.h"
#include "ZTExceptions.h"
#include "ZTFileEdit.h"
#include "ZTFileUtils.h"
#include "ZTFormUtils.h"
#include "ZTHelpUtils.h"
#include "ZTRegUtils.h"
#include "clsOptions.h"
#include "frmReminder.h"
#include "uFunctions.h"
#include "uMain.h"
#include "uSync.h"

#include "clsSyncDav.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTabBar>
#include <QUrl>

#include <array>

bool PreferencesOpen = false;

namespace {
TOptionsAnswerer &Answerer()
{
    static TOptionsAnswerer answerer;
    return answerer;
}

// The dialog while it exists, so that a second Preferences command brings it to the front.
QPointer<TOptionsDlg> &OpenDialog()
{
    static QPointer<TOptionsDlg> dialog;
    return dialog;
}

const QString kFailure = QStringLiteral("Unexpected error.");
const QString kSoundMissing = QStringLiteral("You must specify the reminder sound file location.");
const QString kSoundNotFound = QStringLiteral("Default reminder sound file does not exist.");
const QString kSoundNotWav = QStringLiteral("Default reminder sound file must be a WAV file (extension .wav).");
const QString kStartAfterEnd = QStringLiteral("Start Time must be lower than End Time.");
const QString kSyncUrlMissing = QStringLiteral("You must specify the calendar server's address.");
const QString kSyncUrlInvalid = QStringLiteral("The calendar server's address must begin with https://.");
const QString kSyncPlainHttp =
    QStringLiteral("Plain http is accepted only for this computer's own address; use https for the calendar server.");

// One colour box, the option it shows, and the tab whose "Use Default" button resets it.
struct TColorField {
    TZTColorBox *Ui::TOptionsDlg::*Box;
    TColor TVNTROptions::*Field;
    int Tab;
};

constexpr TColorField kColorFields[] = {
    {&Ui::TOptionsDlg::cbBackColor, &TVNTROptions::BackColor, 1},
    {&Ui::TOptionsDlg::cbTextColor, &TVNTROptions::TextColor, 1},
    {&Ui::TOptionsDlg::cbTitleBackColor, &TVNTROptions::TitleBackColor, 1},
    {&Ui::TOptionsDlg::cbTitleTextColor, &TVNTROptions::TitleTextColor, 1},
    {&Ui::TOptionsDlg::cbTrailingTextColor, &TVNTROptions::TrailingTextColor, 1},
    {&Ui::TOptionsDlg::cbPanelWorkingColor, &TVNTROptions::PanelWorkingColor, 2},
    {&Ui::TOptionsDlg::cbPanelNonworkingColor, &TVNTROptions::PanelNonworkingColor, 2},
    {&Ui::TOptionsDlg::cbPanelSelectedColor, &TVNTROptions::PanelSelectedColor, 2},
    {&Ui::TOptionsDlg::cbPanelHourBackColor, &TVNTROptions::PanelHourBackColor, 2},
    {&Ui::TOptionsDlg::cbPanelHourTextColor, &TVNTROptions::PanelHourTextColor, 2},
    {&Ui::TOptionsDlg::cbReminderBackColor, &TVNTROptions::ReminderBackColor, 3},
    {&Ui::TOptionsDlg::cbReminderTextColor, &TVNTROptions::ReminderTextColor, 3},
    {&Ui::TOptionsDlg::cbReminderSelectedBackColor, &TVNTROptions::ReminderSelectedBackColor, 3},
    {&Ui::TOptionsDlg::cbReminderSelectedTextColor, &TVNTROptions::ReminderSelectedTextColor, 3},
};

std::array<QCheckBox *, 7> DayBoxes(const Ui::TOptionsDlg &ui)
{
    return {ui.chkDay1, ui.chkDay2, ui.chkDay3, ui.chkDay4, ui.chkDay5, ui.chkDay6, ui.chkDay7};
}

// Selects a list position; a value outside the list selects nothing.
void SelectIndex(QComboBox *list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

// The list's position, or the field's current value when nothing is selected: a stored value
// outside the list stays as it is instead of becoming -1, which would mean something else.
std::int32_t IndexOr(const QComboBox *list, std::int32_t current)
{
    return list->currentIndex() >= 0 ? list->currentIndex() : current;
}

// The text a screen reader says for a caption: without the accelerator mark and a final colon.
QString SpokenCaption(QString caption)
{
    caption.remove(QLatin1Char('&'));
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption.trimmed();
}

// The running program file, which the autostart entry starts.
QString ProgramPath()
{
    if (ZTApplication && !ZTApplication->ExeName.isEmpty())
        return ZTApplication->ExeName;
    return QCoreApplication::applicationFilePath();
}
} // namespace

void VNTRSetOptionsAnswerer(TOptionsAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

TOptionsDlg::TOptionsDlg(QWidget *parent, std::function<void()> applied)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TOptionsDlg>()), applied_(std::move(applied))
{
    ui->setupUi(this);
    FitToFont();
    ui->cbDefaultSnoozing->addItems(TReminderDlg::SnoozeTexts());

    TZTFileDialogOptions &browse = ui->txtDefaultSoundFile->DialogOptions();
    browse.Kind = TZTFileDialogOptions::Open;
    browse.Title = QStringLiteral("Browse for Default Reminder Sound...");
    browse.Filter = QStringLiteral("WAV files (*.wav)|*.wav");
    browse.DefaultExt = QStringLiteral("wav");
    browse.FileMustExist = true;
    browse.PathMustExist = true;

    NameControls();
    ZTInstallFormKeys(this, HelpContext);
    connect(ui->cmdOK, &QPushButton::clicked, this, &TOptionsDlg::cmdOKClick);
    connect(ui->cmdApply, &QPushButton::clicked, this, &TOptionsDlg::cmdApplyClick);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &TOptionsDlg::cmdCancelClick);
    connect(ui->cmdDefault1, &QPushButton::clicked, this, &TOptionsDlg::cmdDefault1Click);
    connect(ui->cmdDefault2, &QPushButton::clicked, this, &TOptionsDlg::cmdDefault2Click);
    connect(ui->cmdDefault3, &QPushButton::clicked, this, &TOptionsDlg::cmdDefault3Click);
    connect(ui->cmdSyncNow, &QPushButton::clicked, this, &TOptionsDlg::cmdSyncNowClick);
    connect(ui->chkSyncEnabled, &QCheckBox::toggled, this, &TOptionsDlg::chkSyncEnabledClick);
}

void TOptionsDlg::SetSync(TVNTRSync *sync)
{
    sync_ = sync;
    ui->lblSyncResult->setText(sync ? sync->StatusText() : QString());
    if (sync)
        connect(sync, &TVNTRSync::StatusChanged, ui->lblSyncResult, &QLabel::setText);
    chkSyncEnabledClick();
}

TOptionsDlg::~TOptionsDlg() = default;

void TOptionsDlg::FitToFont()
{
    // The layout is made for a narrow 8-point face; where the desktop's face is wider, the
    // dialog grows by what the five tab captions need, so that none hides behind scroll arrows.
    const int need = ui->pcOptions->tabBar()->sizeHint().width() + 8 - ui->pcOptions->width();
    const int grow = need > 0 ? need : 0;
    if (grow > 0) {
        ui->pcOptions->resize(ui->pcOptions->width() + grow, ui->pcOptions->height());
        const auto groups = ui->pcOptions->findChildren<QGroupBox *>();
        for (QGroupBox *group : groups)
            group->resize(group->width() + grow, group->height());
        for (QWidget *button : {ui->cmdDefault1, ui->cmdDefault2, ui->cmdDefault3, ui->cmdOK, ui->cmdCancel, ui->cmdApply})
            button->move(button->x() + grow, button->y());
    }
    setFixedSize(434 + grow, 330);
}

void TOptionsDlg::NameControls()
{
    const auto buttons = findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons)
        if (button->accessibleName().isEmpty() && !button->text().isEmpty())
            button->setAccessibleName(SpokenCaption(button->text()));
    const auto labels = findChildren<QLabel *>();
    for (QLabel *label : labels)
        if (QWidget *buddy = label->buddy())
            buddy->setAccessibleName(SpokenCaption(label->text()));
    ui->txtDefaultSoundFile->Edit()->setAccessibleName(ui->txtDefaultSoundFile->accessibleName());
}

void TOptionsDlg::LoadControls(const TVNTROptions &options)
{
    ui->pcOptions->setCurrentIndex(0);
    QStringList times;
    FillTimeSlots(times);
    for (QComboBox *list : {ui->cbStartTime, ui->cbEndTime}) {
        list->clear();
        list->addItems(times);
    }

    ui->chkCloseMinimizes->setChecked(options.CloseMinimizes);
    ui->chkSaveWindow->setChecked(options.SaveWindow);
    ui->chkShowNotification->setChecked(options.ShowNotification);
    ui->chkAutoStartup->setChecked(options.AutoStartup);
    ui->txtDefaultSoundFile->SetFileName(options.DefaultSound);

    const auto days = DayBoxes(*ui);
    for (int day = 1; day <= 7; ++day)
        days[day - 1]->setChecked(IsWeekdaySet(day, options.WorkDays));
    SelectIndex(ui->cbStartTime, options.StartTime);
    SelectIndex(ui->cbEndTime, options.EndTime);
    SelectIndex(ui->cbDefaultSnoozing, options.DefaultReminder);
    ui->chkDeleteAfterDismiss->setChecked(options.DeleteAfterDismiss);

    for (const TColorField &field : kColorFields)
        ((*ui).*field.Box)->SetSelected(options.*field.Field);

    ui->chkSyncEnabled->setChecked(options.SyncEnabled);
    ui->txtSyncUrl->setText(options.SyncUrl);
    ui->txtSyncUser->setText(options.SyncUser);
    ui->txtSyncPassword->clear();
    ui->txtSyncPasswordCommand->setText(options.SyncPasswordCommand);
    ui->spnSyncInterval->setValue(options.SyncInterval);
    chkSyncEnabledClick();
}

void TOptionsDlg::Validate() const
{
    const QString sound = ui->txtDefaultSoundFile->FileName();
    if (sound.isEmpty())
        throw EZTException(kSoundMissing, QString(), EZTException::Information);
    if (!ZTFileExistsSafe(sound))
        throw EZTException(kSoundNotFound, QString(), EZTException::Information);
    if (ZTExtractFileExt(sound).toUpper() != QLatin1String(".WAV"))
        throw EZTException(kSoundNotWav, QString(), EZTException::Information);
    // An empty list keeps its stored value (see WriteOptions), so there is nothing to compare.
    const int start = ui->cbStartTime->currentIndex();
    const int end = ui->cbEndTime->currentIndex();
    if (start >= 0 && end >= 0 && end < start)
        throw EZTException(kStartAfterEnd, QString(), EZTException::Information);
    if (ui->chkSyncEnabled->isChecked()) {
        const QString address = ui->txtSyncUrl->text().trimmed();
        if (address.isEmpty())
            throw EZTException(kSyncUrlMissing, QString(), EZTException::Information);
        const QUrl url(address, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
            throw EZTException(kSyncUrlInvalid, QString(), EZTException::Information);
        if (scheme == QLatin1String("http") && !syncdav::IsLoopbackHost(url.host()))
            throw EZTException(kSyncPlainHttp, QString(), EZTException::Information);
    }
}

void TOptionsDlg::WriteOptions(TVNTROptions &options) const
{
    options.CloseMinimizes = ui->chkCloseMinimizes->isChecked();
    options.SaveWindow = ui->chkSaveWindow->isChecked();
    options.ShowNotification = ui->chkShowNotification->isChecked();
    options.AutoStartup = ui->chkAutoStartup->isChecked();
    options.DefaultSound = ui->txtDefaultSoundFile->FileName();
    // Positions beyond the length of a short work-week string stay as they are.
    const auto days = DayBoxes(*ui);
    for (int day = 1; day <= 7; ++day)
        SetWeekday(day, days[day - 1]->isChecked(), options.WorkDays);
    options.StartTime = IndexOr(ui->cbStartTime, options.StartTime);
    options.EndTime = IndexOr(ui->cbEndTime, options.EndTime);
    options.DefaultReminder = IndexOr(ui->cbDefaultSnoozing, options.DefaultReminder);
    options.DeleteAfterDismiss = ui->chkDeleteAfterDismiss->isChecked();
    for (const TColorField &field : kColorFields)
        options.*field.Field = ((*ui).*field.Box)->Selected();
    options.SyncEnabled = ui->chkSyncEnabled->isChecked();
    options.SyncUrl = ui->txtSyncUrl->text().trimmed();
    options.SyncUser = ui->txtSyncUser->text().trimmed();
    options.SyncPasswordCommand = ui->txtSyncPasswordCommand->text().trimmed();
    options.SyncInterval = ui->spnSyncInterval->value();
}

void TOptionsDlg::Apply()
{
    Validate();
    if (!Options)
        return;
    WriteOptions(*Options);
    // A password typed here goes to the keyring (and to the sync of this session), never to
    // the options; the field is emptied once taken.
    const QString password = ui->txtSyncPassword->text();
    if (!password.isEmpty()) {
        ui->txtSyncPassword->clear();
        QPointer<QLabel> result = ui->lblSyncResult;
        const auto told = [result](const QString &failure) {
            if (result && !failure.isEmpty())
                result->setText(failure);
        };
        if (sync_)
            sync_->UsePassword(Options->SyncUser, Options->SyncUrl, password, told);
        else
            TVNTRSync::StorePassword(Options->SyncUser, Options->SyncUrl, password, told);
    }
    // The installed launcher (bin/ventaro) when the program runs from its program folder.
    Options->ApplyAutoStartup(ZTInstalledLauncher(ProgramPath()));
    if (applied_)
        applied_();
    Options->SaveToRegistry();
}

void TOptionsDlg::SetDefaultColors(int tab)
{
    const TVNTROptions defaults;
    for (const TColorField &field : kColorFields)
        if (field.Tab == tab)
            ((*ui).*field.Box)->SetSelected(defaults.*field.Field);
}

void TOptionsDlg::PressOK()
{
    ui->cmdOK->click();
}

void TOptionsDlg::PressApply()
{
    ui->cmdApply->click();
}

void TOptionsDlg::PressCancel()
{
    ui->cmdCancel->click();
}

void TOptionsDlg::cmdOKClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        Apply();
        accept();
    });
}

void TOptionsDlg::cmdApplyClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { Apply(); });
}

void TOptionsDlg::cmdCancelClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { reject(); });
}

void TOptionsDlg::cmdDefault1Click()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { SetDefaultColors(1); });
}

void TOptionsDlg::cmdDefault2Click()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { SetDefaultColors(2); });
}

void TOptionsDlg::cmdDefault3Click()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { SetDefaultColors(3); });
}

void TOptionsDlg::cmdSyncNowClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        Apply();
        if (sync_) {
            sync_->SyncNow();
            if (sync_->Running())
                ui->lblSyncResult->setText(QStringLiteral("Synchronizing..."));
        }
    });
}

void TOptionsDlg::chkSyncEnabledClick()
{
    const bool on = ui->chkSyncEnabled->isChecked();
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->txtSyncUrl, ui->txtSyncUser, ui->txtSyncPassword, ui->txtSyncPasswordCommand, ui->spnSyncInterval,
             ui->lblSyncUrl, ui->lblSyncUser, ui->lblSyncPassword, ui->lblSyncPasswordCommand, ui->lblSyncInterval})
        control->setEnabled(on);
    ui->cmdSyncNow->setEnabled(on && sync_);
}

void ShowPreferencesDialog(QWidget *owner, std::function<void()> applied, TVNTRSync *sync)
{
    if (PreferencesOpen) {
        if (TOptionsDlg *open = OpenDialog()) {
            open->raise();
            open->activateWindow();
        }
        return;
    }
    if (!Options)
        return;

    PreferencesOpen = true;
    // Guarded: the owner may go while the dialog's loop runs, and the dialog with it.
    QPointer<TOptionsDlg> dialog = new TOptionsDlg(owner ? owner : ZTDialogOwner(), std::move(applied));
    // Released and forgotten however the showing ends.
    struct TRelease {
        QPointer<TOptionsDlg> &dialog;
        ~TRelease()
        {
            delete dialog.data();
            OpenDialog() = nullptr;
            PreferencesOpen = false;
        }
    } release{dialog};
    OpenDialog() = dialog;

    dialog->LoadControls(*Options);
    dialog->SetSync(sync);
    if (const TOptionsAnswerer &answerer = Answerer())
        answerer(*dialog);
    else
        dialog->exec();
}
