#include "TestEnv.h"
#include "ZTCalendarPanel.h"
#include "uCalendarColours.h"
#include "uMain.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QtTest>

// The calendar colours of the preferences reach the calendars in slot order.
class TestuCalendarColours : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Options = std::make_unique<TVNTROptions>();
        Options->BackColor = ZTRgb(250, 250, 210);
        Options->TextColor = ZTRgb(0, 0, 120);
        Options->TitleBackColor = ZTRgb(0, 100, 0);
        Options->TitleTextColor = clYellow;
        Options->TrailingTextColor = ZTRgb(130, 130, 130);
    }
    void cleanup() { Options.reset(); }

    void panelSlots()
    {
        TZTCalendarPanel panel;
        ApplyCalendarColours(&panel);
        const TColor expected[] = {Options->BackColor, Options->TextColor, Options->TitleBackColor, Options->TitleTextColor,
                                   Options->TrailingTextColor};
        for (int slot = 0; slot < TZTCalendarColors::SlotCount; ++slot)
            QCOMPARE(panel.Colors().ByIndex(slot), expected[slot]);
        QCOMPARE(panel.findChild<QWidget *>("pFrame")->palette().color(QPalette::Window),
                 TZTCalendarColors::Resolve(Options->TitleBackColor));
    }

    void pickerCalendar()
    {
        QDateEdit picker;
        picker.setCalendarPopup(true);
        ApplyPickerColours(&picker);
        const QPalette palette = picker.calendarWidget()->palette();
        QCOMPARE(palette.color(QPalette::Base), TZTCalendarColors::Resolve(Options->BackColor));
        QCOMPARE(palette.color(QPalette::Active, QPalette::Text), TZTCalendarColors::Resolve(Options->TextColor));
        QCOMPARE(palette.color(QPalette::Highlight), TZTCalendarColors::Resolve(Options->TitleBackColor));
        QCOMPARE(palette.color(QPalette::HighlightedText), TZTCalendarColors::Resolve(Options->TitleTextColor));
        QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text), TZTCalendarColors::Resolve(Options->TrailingTextColor));
    }

    // Before the preferences exist there is nothing to hand over, and nothing fails.
    void withoutPreferences()
    {
        Options.reset();
        TZTCalendarPanel panel;
        ApplyCalendarColours(&panel);
        ApplyCalendarColours(nullptr);
        ApplyPickerColours(nullptr);
        QCOMPARE(panel.Colors().BackColor(), clWindow);
    }
};

VENTARO_TEST_MAIN(TestuCalendarColours, QApplication)
#include "tst_uCalendarColours.moc"
