#include "ZTSysUtils.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

QString ZTCurrentUserName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(std::size_t(size), 0);
    passwd entry{};
    passwd *found = nullptr;
    const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == 0 && found != nullptr && found->pw_name != nullptr && found->pw_name[0] != '\0')
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("Default");
}

namespace {
// The classic system palette, as 0xRRGGBB, by system-colour index.
constexpr std::uint32_t SystemPalette[ZTSystemColorCount] = {
    0xD4D0C8, // 0 scroll bar
    0x3A6EA5, // 1 desktop
    0x0A246A, // 2 active caption
    0x808080, // 3 inactive caption
    0xD4D0C8, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xD4D0C8, // 10 active border
    0xD4D0C8, // 11 inactive border
    0x808080, // 12 application workspace
    0x0A246A, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xD4D0C8, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC0C0C0, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x404040, // 21 3-D dark shadow
    0xD4D0C8, // 22 3-D light
    0x000000, // 23 tooltip text
    0xFFFFE1, // 24 tooltip background
    0x000000, // 25 (no colour)
    0x000080, // 26 hot-tracked item
    0xA6CAF0, // 27 active caption gradient
    0xC0C0C0, // 28 inactive caption gradient
    0x316AC5, // 29 menu highlight
    0xD4D0C8, // 30 menu bar
};
} // namespace

std::uint32_t ZTColorToRgb(TColor color)
{
    if (color & clSystemColor) {
        const std::uint32_t index = color & 0xFF;
        return 0xFF000000u | (index < std::uint32_t(ZTSystemColorCount) ? SystemPalette[index] : 0u);
    }
    const std::uint32_t red = color & 0xFF;
    const std::uint32_t green = (color >> 8) & 0xFF;
    const std::uint32_t blue = (color >> 16) & 0xFF;
    return 0xFF000000u | (red << 16) | (green << 8) | blue;
}
