#pragma once
// A colour drop-down: a swatch and a name per item. It lists the sixteen standard colours, four
// extended ones, the system colours by readable names, and a "Custom..." entry that opens the
// colour chooser. The value is the 32-bit colour of ZTSysUtils.h: a system colour stays a
// reference (0x80000000 + index) and is drawn through ZTColorToRgb. A value the list does not
// hold (a custom colour) is shown as one extra item before "Custom...". Usable as a promoted
// widget (header "ZTColorBox.h", base class QComboBox).

#include "ZTSysUtils.h"

#include <QColor>
#include <QComboBox>
#include <QString>

#include <functional>
#include <optional>

// What the "Custom..." entry asks for a colour: the chooser's answer for the box's current
// colour, or nothing when the user cancelled. The default opens QColorDialog; tests set their
// own answer. An empty function restores the dialog.
using TZTColorDialogAnswerer = std::function<std::optional<QColor>(QColor initial)>;
void ZTSetColorDialogAnswerer(TZTColorDialogAnswerer answerer);

// The readable name of a listed colour ("Red", "Money Green", "Button Face"); empty for a value
// the list does not hold.
QString ZTColorName(TColor color);

class TZTColorBox : public QComboBox {
    Q_OBJECT

public:
    explicit TZTColorBox(QWidget *parent = nullptr);

    TColor Selected() const { return selected_; }
    // Selects the value: its listed item, or else the extra item, which then shows this value.
    // Emits SelectedChanged when the value changes.
    void SetSelected(TColor color);

    // The item of the "Custom..." entry.
    int CustomEntryIndex() const { return count() - 1; }

Q_SIGNALS:
    void SelectedChanged(TColor color);

private Q_SLOTS:
    void CurrentIndexChanged(int index);

private:
    void AddColorItem(TColor color, const QString &name);
    // Shows the chooser for the current colour and selects its answer, or the previous value.
    void ChooseCustomColor();
    // Selects the item of `color`, making or updating the extra item when none is listed.
    void ShowValue(TColor color);
    int ExtraItemIndex() const;

    TColor selected_ = clBlack;
    bool updating_ = false;
};
