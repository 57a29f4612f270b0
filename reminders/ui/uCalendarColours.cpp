#include "uCalendarColours.h"

#include "ZTCalendarPanel.h"
#include "uMain.h"

namespace {
// The five calendar colours of the preferences, in slot order, into a colour set.
void PutOptionColours(TZTCalendarColors &colors)
{
    const TColor values[TZTCalendarColors::SlotCount] = {
        Options->BackColor, Options->TextColor, Options->TitleBackColor, Options->TitleTextColor, Options->TrailingTextColor,
    };
    for (int slot = 0; slot < TZTCalendarColors::SlotCount; ++slot)
        colors.SetByIndex(slot, values[slot]);
}
} // namespace

void ApplyCalendarColours(TZTCalendarPanel *panel)
{
    if (panel && Options)
        PutOptionColours(panel->Colors());
}

void ApplyPickerColours(QDateEdit *picker)
{
    if (!picker || !Options)
        return;
    TZTCalendarColors colors;
    PutOptionColours(colors);
    ZTApplyPickerColors(picker, colors);
}
