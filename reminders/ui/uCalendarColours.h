#pragma once
class TZTCalendarPanel;
class QDateEdit;
// Puts the five calendar colours of the preferences (BackColor, TextColor, TitleBackColor,
// TitleTextColor, TrailingTextColor) into slots 0..4 of the panel's colour set.
void ApplyCalendarColours(TZTCalendarPanel *panel);
// Colours the drop-down month calendar of a date picker from the same five preferences.
void ApplyPickerColours(QDateEdit *picker);
