#include "ZTSysUtils.h"

#include <pwd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

namespace {
// The part of the heap below its large pages, never freed (see ZTUseLargeHeapPages).
[[maybe_unused]] void *heapKeptBelowLargePages = nullptr;
} // namespace

void ZTUseLargeHeapPages(std::size_t room)
{
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    constexpr std::uintptr_t Large = std::uintptr_t(2) << 20;
    // Blocks up to the C library's limit come from the heap too, the heap keeps what is
    // freed, and each growth of it adds `room`.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, int(std::min<std::size_t>(room * 2, 1u << 30)));
    ::mallopt(M_TOP_PAD, int(std::min<std::size_t>(room, 1u << 30)));
    // One block larger than any free space makes the heap grow now; freed, it leaves the new
    // room at the heap's top, which is then marked for large pages. The room must lie where
    // the heap's end moved (the block starts in the free top it had before), or the heap is
    // not where this expects it and stays as it is. The block is made large because growing
    // the heap writes a word just past it, and the 2 MB the word falls in can then only have
    // small pages: far up the room, it is out of the way of what comes first.
    const std::size_t probe = std::min<std::size_t>(std::max<std::size_t>(room, Large), std::size_t(30) << 20);
    const auto before = std::uintptr_t(::sbrk(0));
    void *block = std::malloc(probe);
    const auto at = std::uintptr_t(block);
    std::free(block);
    const auto after = std::uintptr_t(::sbrk(0));
    if (block == nullptr || after <= before || at > before || at + probe > after)
        return;
    const std::uintptr_t first = (at + Large - 1) & ~(Large - 1);
    const std::uintptr_t last = after & ~(Large - 1);
    if (last <= first || ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE) != 0)
        return;
    // The part below the first large page is taken up and kept, so that what comes next is
    // placed from that page on rather than in small pages before it.
    if (first - at >= 64)
        heapKeptBelowLargePages = std::malloc(first - at);
#else
    (void)room;
#endif
}
