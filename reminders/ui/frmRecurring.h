#pragma once
// The occurrence-or-series question: asked when a recurring reminder chosen in the day view is
// opened or deleted, whether the command is meant for the one occurrence shown or for the whole
// series. One form serves both questions. It never touches the store.

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class TRecurringDlg;
}

// reminderText: the first line of the message. series: given back on OK.
// Both return true when OK was pressed, with series = whether the series was chosen; false (series
// untouched) on Cancel, Esc or the close box.
bool AskOpenOccurrenceOrSeries(QWidget *owner, const QString &reminderText, bool &series);
bool AskDeleteOccurrenceOrSeries(QWidget *owner, const QString &reminderText, bool &series);

// ---- Answering the question without a person (tests) ----
struct TRecurringAnswer {
    bool Confirmed = false;
    bool Series = false;
};
class TRecurringDlg;
// Tests: while set, the questions prepare the dialog and ask the answerer instead of showing it.
// The answer is then given through the dialog's own controls: Series selects the series choice,
// Confirmed presses OK, otherwise Cancel.
using TRecurringAnswerer = std::function<TRecurringAnswer(TRecurringDlg &dialog)>;
void VNTRSetRecurringAnswerer(TRecurringAnswerer answerer);

class TRecurringDlg : public QDialog {
    Q_OBJECT

public:
    enum TQuestion { OpenQuestion, DeleteQuestion };
    static constexpr int HelpContext = 0;

    explicit TRecurringDlg(QWidget *parent = nullptr);
    ~TRecurringDlg() override;

    // Sets the caption, the description and the two choices of the question; the occurrence
    // choice is selected and Confirmed cleared. The reminder text is shown as it is: a percent
    // sign inside it, or markup, stays unchanged.
    void Prepare(TQuestion question, const QString &reminderText);

    bool Confirmed() const { return confirmed_; }
    // Whether the series choice is selected.
    bool Series() const;

    void PressOK();
    void PressCancel();

private Q_SLOTS:
    void cmdOKClick();
    void cmdCancelClick();

private:
    std::unique_ptr<Ui::TRecurringDlg> ui;
    bool confirmed_ = false;
};
