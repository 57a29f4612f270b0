#pragma once
// The add/edit reminder dialog: the one modal dialog in which a reminder is created or changed.
// It edits a private copy of the caller's reminder, checks it, and on OK copies it back into the
// caller's object; what to store is the caller's business. It never touches the store.

#include "ZTDateUtils.h"
#include "clsReminders.h"

#include <QDialog>
#include <QSpinBox>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;

namespace Ui {
class TAddReminderDlg;
}

// True while either entry operation runs (from its start until its dialog has been discarded).
extern bool ReminderDialogOpen;

// Tells when ReminderDialogOpen changes, so windows whose enabling depends on it update at once.
class TReminderDialogNotifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    // Emitted after the flag changed, with its new value.
    void OpenChanged(bool open);
};
TReminderDialogNotifier &ReminderDialogNotifier();

// Add mode. time: std::nullopt = no time given (propose the current time rounded up to :00/:30);
// 00:00 given is 00:00. date: 0 = none given (today).
// Both operations return true when the dialog was confirmed; then the caller's reminder holds
// every field of the working copy (Id included). Otherwise the caller's reminder is unchanged.
bool ShowAddReminderDialog(QWidget *owner, TReminder &reminder, std::optional<TDateTime> time, TDateTime date);
// Edit mode: set up from the reminder; the interval can be changed only when intervalChangeable.
bool ShowEditReminderDialog(QWidget *owner, TReminder &reminder, bool intervalChangeable);

// ---- Answering the dialog without a person (tests) ----
// While an answerer is set, the entry operations set the dialog up as usual and call the
// answerer instead of showing it; the answerer may fill controls and call dialog.PressOK() (runs
// OK exactly as the button does: validation errors go to the application-wide handler and leave
// it unconfirmed) or dialog.PressCancel(). Afterwards the entry operation proceeds as after the
// dialog closed.
class TAddReminderDlg;
using TAddReminderAnswerer = std::function<void(TAddReminderDlg &dialog)>;
void VNTRSetAddReminderAnswerer(TAddReminderAnswerer answerer);

// A whole-number field that takes any text while it is typed and settles it when it loses the
// focus (or on Enter): empty or unreadable text becomes the minimum, a number outside the range
// the nearest bound.
class TVNTRNumberEdit : public QSpinBox {
    Q_OBJECT

public:
    explicit TVNTRNumberEdit(QWidget *parent = nullptr);

    // At most this many characters can be typed (0 = no limit).
    void SetMaxDigits(int digits);
    // The value a text settles to in the range minimum .. maximum. A decimal number is
    // truncated to its whole part.
    static int Settle(const QString &text, int minimum, int maximum);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};

class TAddReminderDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int HelpContext = 550;
    static constexpr int MaxMessageLength = 255;

    explicit TAddReminderDlg(QWidget *parent = nullptr);
    ~TAddReminderDlg() override;

    // ---- Set-up (the entry operations call one of them, then SetWorkingCopy) ----
    void SetUpAdd(std::optional<TDateTime> time, TDateTime date);
    void SetUpEdit(const TReminder &reminder, bool intervalChangeable);
    // The dialog's own copy of the caller's reminder; the controls are written into it on OK.
    void SetWorkingCopy(const TReminder &reminder);
    TReminder &WorkingCopy();

    // ---- The dialog's state ----
    // Set by a successful OK just before the dialog closes; false on open.
    bool Confirmed() const { return confirmed_; }
    // The range of recurrence that "Advanced..." edits.
    TDateTime RangeStart() const { return rangeStart_; }
    bool RangeNoEnd() const { return rangeNoEnd_; }
    TDateTime RangeEndBy() const { return rangeEndBy_; }
    // The proposed time as "hh:mm" (add mode without a given time only; else empty).
    const QString &DefaultTimeText() const { return defaultTimeText_; }
    // The end date "Advanced..." proposes for the interval selected now.
    TDateTime ProposedEndDate() const;
    // "1" per ticked weekday box, Monday first.
    QString WeekdaysToText() const;
    void TextToWeekdays(const QString &days);
    // Whether the OK rule holds: a message, a valid date and a valid time.
    bool CanConfirm() const;

    // ---- Pressing the buttons as a person would (tests) ----
    void PressOK();
    void PressCancel();
    void PressAdvanced();

    // What both entry operations do: set ReminderDialogOpen, create the dialog, let setUp
    // prepare it, show it (or ask the answerer) and copy the working copy back when confirmed.
    static bool Run(QWidget *owner, TReminder &reminder, const std::function<void(TAddReminderDlg &)> &setUp);

    // The caption of each interval's description label, by interval index.
    static QString RecurrenceDescription(int interval);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void actOKExecute();
    void actCancelExecute();
    void actAdvancedExecute();
    void cbIntervalChange(int index);
    void radDayClick();
    void cmdComboClick();
    void lbTimesClick();
    void txtMessageChange();
    void UpdateActions();

private:
    void FillLists();
    void SetPanelDefaults(TDateTime date);
    void WriteWorkingCopy();
    int Interval() const;
    std::array<QCheckBox *, 7> WeekdayBoxes() const;

    std::unique_ptr<Ui::TAddReminderDlg> ui;
    // The reminder being edited and the outcome.
    std::unique_ptr<TReminder> workingCopy_;
    bool confirmed_ = false;
    // The range of recurrence, edited through "Advanced...".
    TDateTime rangeStart_ = 0;
    bool rangeNoEnd_ = true;
    TDateTime rangeEndBy_ = 0;
    // The proposed time of add mode, for the time list.
    QString defaultTimeText_;
};
