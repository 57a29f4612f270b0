#pragma once
// The preferences dialog: every field of the options on six tabs. Apply (and OK) checks the
// input, writes the options, sets or removes the autostart entry, lets the open windows take
// the new values and saves the options; Cancel drops only what changed since the last Apply.

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class TVNTROptions;
class TVNTRSync;

namespace Ui {
class TOptionsDlg;
}

// True while the dialog exists.
extern bool PreferencesOpen;

// Opens the preferences dialog modally, or only brings the open one to the front. applied runs
// after the options were written and the autostart entry set, before they are saved: the main
// window applies the preferences and an open quick calendar takes the new colours. It may be
// empty. sync, when given, is the calendar sync the Synchronize tab reports on and runs.
// Does nothing while there are no options.
void ShowPreferencesDialog(QWidget *owner, std::function<void()> applied, TVNTRSync *sync = nullptr);

// ---- Answering the dialog without a person (tests) ----
// While set, ShowPreferencesDialog prepares and loads the dialog and calls the answerer instead
// of showing it; the answerer may change controls and press the buttons.
class TOptionsDlg;
using TOptionsAnswerer = std::function<void(TOptionsDlg &dialog)>;
void VNTRSetOptionsAnswerer(TOptionsAnswerer answerer);

class TOptionsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int HelpContext = 500;

    explicit TOptionsDlg(QWidget *parent = nullptr, std::function<void()> applied = {});
    ~TOptionsDlg() override;

    // The calendar sync the Synchronize tab shows and runs ("Synchronize now" applies first).
    void SetSync(TVNTRSync *sync);

    // Selects the first tab, fills the time lists and shows the values of the options.
    void LoadControls(const TVNTROptions &options);

    // The three buttons, as a click on them.
    void PressOK();
    void PressApply();
    void PressCancel();

    // Checks the controls; raises EZTException (severity 2) with the first failure.
    void Validate() const;
    // Writes the controls into the options. A list without a selection keeps its field.
    void WriteOptions(TVNTROptions &options) const;

private Q_SLOTS:
    void cmdOKClick();
    void cmdApplyClick();
    void cmdCancelClick();
    void cmdDefault1Click();
    void cmdDefault2Click();
    void cmdDefault3Click();
    void cmdSyncNowClick();
    void chkSyncEnabledClick();

private:
    // Validate, write the global options, autostart entry, the open windows, save.
    void Apply();
    // Sets the colour boxes of one colour tab (1 calendar, 2 time panels, 3 reminders) to
    // the defaults of the options.
    void SetDefaultColors(int tab);
    void FitToFont();
    void NameControls();

    std::unique_ptr<Ui::TOptionsDlg> ui;
    std::function<void()> applied_;
    TVNTRSync *sync_ = nullptr;
};
