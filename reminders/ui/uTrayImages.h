#pragma once
// The tray's day-of-month pictures: a small calendar page (red header, white sheet, dark
// outline, the day number in bold), readable on light and dark panels alike. Drawn by the
// program at the sizes panels ask for, so no picture files are needed.

#include <QIcon>
#include <QPixmap>

// One picture of the page with the given day (1 .. 31) at size x size pixels.
QPixmap VNTRDrawTrayImage(int day, int size);

// The image list of the tray: image i shows day i + 1.
class TVNTRTrayImages {
public:
    static constexpr int ImageCount = 31;
    // The sizes each icon carries, so a panel of any height gets a sharp picture.
    static const QList<int> &Sizes();

    int Count() const { return ImageCount; }
    // Image `index` (0 .. 30); raises std::out_of_range outside that range.
    QIcon Icon(int index) const;
    // The image of a day of the month (1 .. 31).
    QIcon DayIcon(int day) const { return Icon(day - 1); }

private:
    mutable QIcon icons_[ImageCount];
};
