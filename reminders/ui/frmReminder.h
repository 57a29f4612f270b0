#pragma once
// The alert window: tells the user that a reminder has come due and takes the answer, dismiss
// or snooze by one of thirteen intervals. On Snooze it writes the new moment into the reminder
// object it was given; what the answer means for the store is the caller's business.

#include "ZTDateUtils.h"

#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class IVNTRPlayer;
class QDBusConnection;
class TReminder;
class TVNTRNotification;

namespace Ui {
class TReminderDlg;
}

// ---- Answering alerts without a person (tests) ----

// What a preset answer does. SnoozeIndex picks a list position first (-1 clears the
// selection); KeepSelection leaves the preselected one.
struct TReminderAlertAnswer {
    static constexpr int KeepSelection = -2;
    bool Snooze = false;
    int SnoozeIndex = KeepSelection;

    static TReminderAlertAnswer Dismiss() { return {}; }
    static TReminderAlertAnswer SnoozeFor(int index = KeepSelection) { return {true, index}; }
};

class TReminderDlg;
// While an answerer is set, Alert prepares the window as usual and asks the answerer instead
// of showing it. The answerer may look at the prepared window, and may run further scans
// (as the timer would inside the window's own loop) before it answers.
using TReminderAlertAnswerer = std::function<TReminderAlertAnswer(TReminderDlg &dialog)>;
void VNTRSetAlertAnswerer(TReminderAlertAnswerer answerer);
const TReminderAlertAnswerer &VNTRAlertAnswerer();

class TReminderDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int SnoozeIntervalCount = 13;
    static constexpr int HelpContext = 600;

    explicit TReminderDlg(QWidget *parent = nullptr);
    ~TReminderDlg() override;

    // Shows the alert for a reminder modally and returns true when the user snoozed it; then
    // the reminder's Date and Time hold the snooze moment. Raises EZTException with an empty
    // message (an action abandoned silently) when the window ends without an answer: its
    // owner was destroyed or the program's event loops were ended. occurrenceDate is the reminder's
    // OccurrenceDate (0 for a one-time reminder); defaultReminder the preselected interval
    // (none outside 0 .. 12). The player is stopped when the window has been released, also
    // when showing fails. earlier: how many earlier occurrences of the series were missed too
    // (shown under the message when there are any). notify: a desktop notification goes with
    // the window (on the session bus), whose actions answer it as its buttons do.
    static bool Alert(QWidget *owner, TReminder &reminder, TDateTime occurrenceDate, int defaultReminder, IVNTRPlayer *player,
                      int earlier = 0, bool notify = false);

    // The texts of the interval list, by position.
    static QStringList SnoozeTexts();
    // Minutes added by list position; 0 for no (or an unknown) position.
    static int SnoozeMinutes(int index);
    // The snooze moment: now cut to the minute plus the interval of the position. Minutes are
    // counted exactly and whole days are added as days, so the date moves with the time.
    static void SnoozeMoment(TDateTime now, int index, TDateTime &date, TDateTime &time);
    // "Reminder - " + the occurrence's date (or the reminder's own Date for a one-time
    // reminder) in the short date format, a blank, the Time in the short time format.
    static QString Caption(const TReminder &reminder, TDateTime occurrenceDate);
    // "and %d earlier occurrences" with the count.
    static QString EarlierText(int earlier);

    // Fills the window for one reminder (and the count of earlier missed occurrences).
    void Prepare(const TReminder &reminder, TDateTime occurrenceDate, int defaultReminder, int earlier = 0);

    // Sends the desktop notification that goes with the prepared window: its caption, its
    // message with the line of earlier occurrences. Answering the window withdraws it.
    void ShowNotification(const QDBusConnection &bus);
    // The notification sent with the window, or nullptr.
    TVNTRNotification *Notification() const { return notice_; }
    // Shows the window and asks the desktop to bring it to the front (the notification's own
    // click; a Wayland client cannot place itself on top).
    void BringForward();

    // After the window closed: whether Snooze was pressed, and the moment it was pressed.
    bool Snoozed() const { return snooze_; }
    TDateTime SnoozePressedAt() const { return snoozePressedAt_; }
    // The selected list position (-1 when none).
    int SnoozeIndex() const;

    // Whether the open window alerts the occurrence of reminder `id` at (date, time) (a one-time
    // reminder's own moment).
    bool Shows(const QString &id, TDateTime date, TDateTime time) const;
    // Closes the window as dismissed, without a person: the occurrence was dismissed on another
    // machine.
    void Withdraw();

    // Every way of closing the window with an answer ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void cmdDismissClick();
    void cmdSnoozeClick();
    // An action chosen on the notification: the same answer as the window's button.
    void NotificationAction(const QString &key);

private:
    void FitToFont();
    // Shows the count of earlier occurrences on the line under the message (the message gives
    // up the room at the bottom of its area when it needs it), or hides it.
    void PlaceEarlier(int earlier);

    std::unique_ptr<Ui::TReminderDlg> ui;
    bool snooze_ = false;
    bool answered_ = false;
    TDateTime snoozePressedAt_ = 0;
    // The desktop notification (a child of the window), when one was sent.
    TVNTRNotification *notice_ = nullptr;
    // The message's area as laid out for the font.
    QRect messageArea_;
    // The occurrence shown (Shows).
    QString shownId_;
    TDateTime shownDate_ = 0;
    TDateTime shownTime_ = 0;
};
