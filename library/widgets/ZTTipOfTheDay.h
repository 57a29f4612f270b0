#pragma once
// The Tip of the Day dialog: one tip at a time from the tips file (one tip per line), in an
// order shuffled anew at every opening, with "&Next Tip" wrapping to the first after the last,
// and the "&Show tips at startup" choice that the caller stores in its preferences.

#include <QDialog>
#include <QStringList>

#include <memory>

class TZTApplication;

namespace Ui {
class TTipOfTheDayForm;
}

class TTipOfTheDayForm : public QDialog {
    Q_OBJECT

public:
    explicit TTipOfTheDayForm(QWidget *parent = nullptr);
    ~TTipOfTheDayForm() override;

    // Replaces the tips and shows the first (an empty list shows nothing).
    void SetTips(const QStringList &tips);
    const QStringList &Tips() const { return tips_; }
    int TipIndex() const { return tipIndex_; }
    // The tip shown now.
    QString CurrentTip() const;

    void SetShowTips(bool value);
    bool ShowTips() const;

private Q_SLOTS:
    void cmdNextTipClick();
    void cmdCloseClick();

private:
    void ShowTip();

    std::unique_ptr<Ui::TTipOfTheDayForm> ui;
    QStringList tips_;
    int tipIndex_ = 0;
};

// Reads the tips of a tips file: every line is one tip, an empty one included; lines end with
// CR LF, LF or CR, and a line break at the very end adds no tip. The file is read as UTF-8, or
// as Windows-1252 when it is not valid UTF-8. Raises std::runtime_error when it cannot be read.
QStringList ZTLoadTips(const QString &fileName);

// Shows the Tip of the Day when showAtStartup or forced is set, and returns the new value of
// the show-at-startup preference: the state of the dialog's check box, or false when neither
// flag is set or there is no tips file (asked for from the menu, forced, that is a warning).
// A tips file without lines shows nothing and keeps the preference as it was passed.
bool ShowTipOfTheDay(const TZTApplication &application, bool showAtStartup, bool forced);

// The warning shown when the tips file is missing (kept enciphered in the program).
QString ZTTipsFileMissingMessage();
