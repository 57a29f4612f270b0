#pragma once
// The range of recurrence dialog: the start date of a series and either no end or an end date.
// It works on three values the caller hands in and gets back; it never touches the store.

#include "ZTDateUtils.h"

#include <QDialog>

#include <functional>
#include <memory>

class QDateEdit;

namespace Ui {
class TRecurrenceDlg;
}

// Shows the dialog modally over its owner with the three values. On OK gives back the start date,
// whether "No end date" is selected and the end date (also when no end is chosen), and returns
// true; otherwise returns false and leaves the values as they were.
bool ShowRecurrenceRangeDialog(QWidget *owner, TDateTime &startDate, bool &noEnd, TDateTime &endDate);

// ---- Answering the dialog without a person (tests) ----
class TRecurrenceDlg;
// While an answerer is set, ShowRecurrenceRangeDialog prepares the dialog as usual and calls the
// answerer instead of showing it; the answerer may change the controls and call PressOK() (which
// validates as the button does) or PressCancel(). Afterwards it goes on as after the dialog closed.
using TRecurrenceAnswerer = std::function<void(TRecurrenceDlg &dialog)>;
void VNTRSetRecurrenceAnswerer(TRecurrenceAnswerer answerer);

class TRecurrenceDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int HelpContext = 550;

    explicit TRecurrenceDlg(QWidget *parent = nullptr);
    ~TRecurrenceDlg() override;

    // Fills the controls for one showing and clears Confirmed.
    void Prepare(TDateTime startDate, bool noEnd, TDateTime endDate);

    // The values the controls hold.
    TDateTime StartDate() const;
    bool NoEnd() const;
    TDateTime EndDate() const;

    // Set by a successful OK just before the dialog closes.
    bool Confirmed() const { return confirmed_; }

    // Press the buttons as a person would (tests). Validation failures go to the
    // application-wide handler and leave the dialog unconfirmed.
    void PressOK();
    void PressCancel();

private Q_SLOTS:
    void cmdOKClick();
    void cmdCancelClick();
    void radEndByToggled(bool checked);

private:
    std::unique_ptr<Ui::TRecurrenceDlg> ui;
    bool confirmed_ = false;
};
