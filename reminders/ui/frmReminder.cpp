#include "frmReminder.h"

#include "ui_frmReminder.h"

#include "ZTClock.h"
#include "ZTExceptions.h"
#include "ZTFormUtils.h"
#include "ZTHelpUtils.h"
#include "clsReminders.h"
#include "uNotifier.h"
#include "uPlayer.h"

#include <QDBusConnection>
#include <QPointer>

#include <algorithm>
#include <cstdint>

namespace {
TReminderAlertAnswerer &Answerer()
{
    static TReminderAlertAnswerer answerer;
    return answerer;
}

const QString kCaptionTemplate = QStringLiteral("Reminder - %s");
const QString kEarlierTemplate = QStringLiteral("and %d earlier occurrences");
const QString kFailure = QStringLiteral("Error processing reminders.");

// Minutes of each list position.
constexpr int kSnoozeMinutes[TReminderDlg::SnoozeIntervalCount] = {
    5, 10, 15, 30, 60, 2 * 60, 4 * 60, 8 * 60, 1 * 1440, 2 * 1440, 3 * 1440, 4 * 1440, 7 * 1440,
};

// Stops the shared player when the alert is over, however it ends.
class TStopPlayer {
public:
    explicit TStopPlayer(IVNTRPlayer *player) : player_(player) {}
    ~TStopPlayer()
    {
        if (player_)
            player_->Stop();
    }
    TStopPlayer(const TStopPlayer &) = delete;
    TStopPlayer &operator=(const TStopPlayer &) = delete;

private:
    IVNTRPlayer *player_;
};
} // namespace

void VNTRSetAlertAnswerer(TReminderAlertAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

const TReminderAlertAnswerer &VNTRAlertAnswerer()
{
    return Answerer();
}

TReminderDlg::TReminderDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::TReminderDlg>())
{
    ui->setupUi(this);
    FitToFont();
    messageArea_ = ui->lblReminder->geometry();
    ui->lblEarlier->hide();
    ui->cbSnooze->addItems(SnoozeTexts());
    // Named also when no interval is selected (a combo box otherwise speaks its current text).
    ui->cbSnooze->setAccessibleName(QStringLiteral("Snooze interval"));
    ZTInstallFormKeys(this, HelpContext);
    connect(ui->cmdDismiss, &QPushButton::clicked, this, &TReminderDlg::cmdDismissClick);
    connect(ui->cmdSnooze, &QPushButton::clicked, this, &TReminderDlg::cmdSnoozeClick);
}

TReminderDlg::~TReminderDlg() = default;

QStringList TReminderDlg::SnoozeTexts()
{
    return {
        QStringLiteral("5 minutes"), QStringLiteral("10 minutes"), QStringLiteral("15 minutes"), QStringLiteral("30 minutes"),
        QStringLiteral("1 hour"),    QStringLiteral("2 hours"),    QStringLiteral("4 hours"),    QStringLiteral("8 hours"),
        QStringLiteral("1 day"),     QStringLiteral("2 days"),     QStringLiteral("3 days"),     QStringLiteral("4 days"),
        QStringLiteral("1 week"),
    };
}

int TReminderDlg::SnoozeMinutes(int index)
{
    return index >= 0 && index < SnoozeIntervalCount ? kSnoozeMinutes[index] : 0;
}

void TReminderDlg::SnoozeMoment(TDateTime now, int index, TDateTime &date, TDateTime &time)
{
    const std::int64_t stamp = MinuteStamp(now, now) + SnoozeMinutes(index);
    std::int64_t day = stamp / 1440;
    std::int64_t minute = stamp % 1440;
    if (minute < 0) {
        minute += 1440;
        --day;
    }
    date = DayToDateTime(day);
    time = EncodeTime(int(minute / 60), int(minute % 60));
}

QString TReminderDlg::Caption(const TReminder &reminder, TDateTime occurrenceDate)
{
    const TDateTime shownDate = occurrenceDate != 0 ? occurrenceDate : reminder.Date;
    QString caption = kCaptionTemplate;
    return caption.replace(QLatin1String("%s"), TReminder::ListCaption(shownDate, reminder.Time));
}

QString TReminderDlg::EarlierText(int earlier)
{
    QString text = kEarlierTemplate;
    return text.replace(QLatin1String("%d"), QString::number(earlier));
}

void TReminderDlg::Prepare(const TReminder &reminder, TDateTime occurrenceDate, int defaultReminder, int earlier)
{
    snooze_ = false;
    answered_ = false;
    snoozePressedAt_ = 0;
    shownId_ = reminder.Id;
    shownDate_ = reminder.Recurring ? occurrenceDate : reminder.Date;
    shownTime_ = reminder.Recurring ? reminder.OccurrenceTime : reminder.Time;
    setWindowTitle(Caption(reminder, occurrenceDate));
    ui->lblReminder->setText(reminder.ReminderMessage);
    PlaceEarlier(earlier);
    ui->cbSnooze->setCurrentIndex(defaultReminder >= 0 && defaultReminder < SnoozeIntervalCount ? defaultReminder : -1);
    ui->cmdSnooze->setFocus(Qt::OtherFocusReason);
}

int TReminderDlg::SnoozeIndex() const
{
    return ui->cbSnooze->currentIndex();
}

void TReminderDlg::cmdDismissClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] { reject(); });
}

bool TReminderDlg::Shows(const QString &id, TDateTime date, TDateTime time) const
{
    return !answered_ && id == shownId_ && MinuteStamp(date, time) == MinuteStamp(shownDate_, shownTime_);
}

void TReminderDlg::Withdraw()
{
    if (answered_)
        return;
    snooze_ = false;
    reject();
}

void TReminderDlg::cmdSnoozeClick()
{
    ZTGuard(TZTRaise::PassThrough, kFailure, [&] {
        snooze_ = true;
        snoozePressedAt_ = ZTNow();
        accept();
    });
}

void TReminderDlg::done(int result)
{
    answered_ = true;
    // Answered here or on the notification: the notification has nothing more to say.
    if (notice_)
        notice_->Close();
    QDialog::done(result);
}

void TReminderDlg::ShowNotification(const QDBusConnection &bus)
{
    if (notice_)
        return;
    QString body = ui->lblReminder->text();
    if (!ui->lblEarlier->isHidden())
        body += QLatin1Char('\n') + ui->lblEarlier->text();
    notice_ = new TVNTRNotification(bus, this);
    notice_->setObjectName(QStringLiteral("Notification"));
    connect(notice_, &TVNTRNotification::ActionInvoked, this, &TReminderDlg::NotificationAction);
    notice_->Show(windowTitle(), body);
}

void TReminderDlg::NotificationAction(const QString &key)
{
    if (answered_)
        return;
    if (key == QLatin1String(VNTRActionDismiss))
        cmdDismissClick();
    else if (key == QLatin1String(VNTRActionSnooze))
        cmdSnoozeClick();
    else if (key == QLatin1String(VNTRActionDefault))
        ZTGuard(TZTRaise::PassThrough, kFailure, [&] { BringForward(); });
}

void TReminderDlg::BringForward()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TReminderDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The program usually lives in the tray: the alert must come to the front by itself.
    BringForward();
}

void TReminderDlg::FitToFont()
{
    // The layout is made for a narrow 8-point face; where the desktop's face is wider, the
    // snooze caption keeps its whole text and the window grows by what it needs.
    ui->lblSnooze->adjustSize();
    const int need = ui->lblSnooze->geometry().right() + 6 - ui->cbSnooze->x();
    const int grow = need > 0 ? need : 0;
    if (grow > 0) {
        ui->cbSnooze->move(ui->cbSnooze->x() + grow, ui->cbSnooze->y());
        ui->cmdDismiss->move(ui->cmdDismiss->x() + grow, ui->cmdDismiss->y());
        ui->cmdSnooze->move(ui->cmdSnooze->x() + grow, ui->cmdSnooze->y());
        ui->bLine->resize(ui->bLine->width() + grow, ui->bLine->height());
        ui->lblReminder->resize(ui->lblReminder->width() + grow, ui->lblReminder->height());
    }
    const int comboHeight = std::max(ui->cbSnooze->height(), ui->cbSnooze->sizeHint().height());
    ui->cbSnooze->resize(ui->cbSnooze->width(), comboHeight);
    // The caption sits on the list's middle line.
    ui->lblSnooze->move(ui->lblSnooze->x(), ui->cbSnooze->y() + (comboHeight - ui->lblSnooze->height()) / 2);
    setFixedSize(361 + grow, std::max(216, ui->cbSnooze->geometry().bottom() + 16));
}

void TReminderDlg::PlaceEarlier(int earlier)
{
    if (earlier <= 0) {
        ui->lblEarlier->hide();
        ui->lblReminder->setGeometry(messageArea_);
        return;
    }
    ui->lblEarlier->setText(EarlierText(earlier));
    const int line = ui->lblEarlier->sizeHint().height();
    // Right under the message's last line; a message too long for the rest of the area is cut
    // off above the count, never the count itself.
    const int height = std::clamp(ui->lblReminder->heightForWidth(messageArea_.width()), 0, messageArea_.height() - line);
    ui->lblReminder->setGeometry(messageArea_.x(), messageArea_.y(), messageArea_.width(), height);
    ui->lblEarlier->setGeometry(messageArea_.x(), messageArea_.y() + height, messageArea_.width(), line);
    ui->lblEarlier->show();
}

bool TReminderDlg::Alert(QWidget *owner, TReminder &reminder, TDateTime occurrenceDate, int defaultReminder, IVNTRPlayer *player,
                         int earlier, bool notify)
{
    TStopPlayer stopPlayer(player);
    bool snoozed = false;
    int index = -1;
    TDateTime pressedAt = 0;
    {
        // Guarded: the owner may go while the window's loop runs, and the window with it.
        QPointer<TReminderDlg> dialog = new TReminderDlg(owner);
        // Released when the answer has been read, also when something on the way raises.
        struct TRelease {
            QPointer<TReminderDlg> &dialog;
            ~TRelease() { delete dialog.data(); }
        } releaseDialog{dialog};

        dialog->Prepare(reminder, occurrenceDate, defaultReminder, earlier);
        if (notify)
            dialog->ShowNotification(QDBusConnection::sessionBus());
        if (const TReminderAlertAnswerer &answerer = Answerer()) {
            const TReminderAlertAnswer answer = answerer(*dialog);
            if (!dialog)
                throw EZTException(QString());
            // The answerer may have answered through the notification already.
            if (!dialog->answered_) {
                if (answer.SnoozeIndex != TReminderAlertAnswer::KeepSelection)
                    dialog->ui->cbSnooze->setCurrentIndex(answer.SnoozeIndex);
                if (answer.Snooze)
                    dialog->cmdSnoozeClick();
                else
                    dialog->cmdDismissClick();
            }
        } else {
            ZTCentreOnScreen(dialog);
            dialog->exec();
        }
        // The window went, or its loop was ended, without an answer (the program is ending):
        // that is neither a dismissal nor a snooze, so the caller writes nothing.
        if (!dialog || !dialog->answered_)
            throw EZTException(QString());
        snoozed = dialog->Snoozed();
        index = dialog->SnoozeIndex();
        pressedAt = dialog->SnoozePressedAt();
    }
    if (!snoozed)
        return false;
    SnoozeMoment(pressedAt, index, reminder.Date, reminder.Time);
    return true;
}
