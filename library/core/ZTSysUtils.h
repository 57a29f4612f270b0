#pragma once
// System routines: the user's login name, the heap of a short-lived tool and the 32-bit colour
// values of the preferences.

#include <QString>

#include <cstddef>
#include <cstdint>

// The login name of the user who owns the process; "Default" when the system knows none.
QString ZTCurrentUserName();

// For a short-lived process that builds its data at once (a command-line tool reading a whole
// file): the heap grows in steps of `room` bytes, is never handed back while the process
// runs, and is mapped in large pages where the system offers them. Each first touch of a
// page traps into the system, and on virtual machines a trap costs more than filling the
// page, so a 2 MB page in place of 512 small ones spares most of them. Only a speed-up:
// where the C library or the system cannot do so, the heap stays as it was.
void ZTUseLargeHeapPages(std::size_t room);

// A colour value: plain RGB as 0x00BBGGRR, or a reference to a system colour written as
// 0x80000000 plus the system-colour index. References stay references until painting.
using TColor = std::uint32_t;

inline constexpr TColor clSystemColor = 0x80000000u;
inline constexpr TColor clScrollBar = clSystemColor + 0;
inline constexpr TColor clBackground = clSystemColor + 1;
inline constexpr TColor clActiveCaption = clSystemColor + 2;
inline constexpr TColor clInactiveCaption = clSystemColor + 3;
inline constexpr TColor clMenu = clSystemColor + 4;
inline constexpr TColor clWindow = clSystemColor + 5;
inline constexpr TColor clWindowFrame = clSystemColor + 6;
inline constexpr TColor clMenuText = clSystemColor + 7;
inline constexpr TColor clWindowText = clSystemColor + 8;
inline constexpr TColor clCaptionText = clSystemColor + 9;
inline constexpr TColor clActiveBorder = clSystemColor + 10;
inline constexpr TColor clInactiveBorder = clSystemColor + 11;
inline constexpr TColor clAppWorkSpace = clSystemColor + 12;
inline constexpr TColor clHighlight = clSystemColor + 13;
inline constexpr TColor clHighlightText = clSystemColor + 14;
inline constexpr TColor clBtnFace = clSystemColor + 15;
inline constexpr TColor clBtnShadow = clSystemColor + 16;
inline constexpr TColor clGrayText = clSystemColor + 17;
inline constexpr TColor clBtnText = clSystemColor + 18;
inline constexpr TColor clInactiveCaptionText = clSystemColor + 19;
inline constexpr TColor clBtnHighlight = clSystemColor + 20;
inline constexpr TColor cl3DDkShadow = clSystemColor + 21;
inline constexpr TColor cl3DLight = clSystemColor + 22;
inline constexpr TColor clInfoText = clSystemColor + 23;
inline constexpr TColor clInfoBk = clSystemColor + 24;
inline constexpr TColor clHotLight = clSystemColor + 26;
inline constexpr TColor clGradientActiveCaption = clSystemColor + 27;
inline constexpr TColor clGradientInactiveCaption = clSystemColor + 28;
inline constexpr TColor clMenuHighlight = clSystemColor + 29;
inline constexpr TColor clMenuBar = clSystemColor + 30;
// Number of system colour indexes (0 .. 30).
inline constexpr int ZTSystemColorCount = 31;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;

// Builds a plain colour from its red, green and blue parts.
inline constexpr TColor ZTRgb(int red, int green, int blue)
{
    return TColor(red & 0xFF) | (TColor(green & 0xFF) << 8) | (TColor(blue & 0xFF) << 16);
}

// The colour as an opaque 0xFFRRGGBB value (QRgb), for QColor. A system colour reference is
// resolved through a fixed table of the classic system palette (the low byte is the index; an
// index without a colour gives black); for a plain colour only its low 24 bits count.
std::uint32_t ZTColorToRgb(TColor color);
