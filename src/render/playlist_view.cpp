#include "render/playlist_view.h"

#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "playback/player.h"
#include "playback/song_table.h"
#include "render/font.h"
#include "render/frame.h"
#include "skin/skin_images.h"
#include "skin/skin_surfaces.h"

namespace {

constexpr int RowAlphaPerLevel = 3;
constexpr BYTE CurrentRowAlpha = 255;
constexpr int BarX = 92;
constexpr int BarTop = 48;
constexpr int BarWidth = 190; // the 200-column bar is squeezed into 190
constexpr int RowHeight = 10;

constexpr int TitleX = 100;
constexpr int TitleTopRow = 192; // memory row of row 0's title
constexpr std::uint8_t Black = 0;

constexpr BYTE BrightArrow = 255;
constexpr BYTE DimArrow = 64;
constexpr int ArrowX = 265;
constexpr int ArrowDownY = 102;
constexpr int ArrowUpY = 50;

const SongEntry& VisibleEntry(int row) {
    return SongTable.entries[ListOffset + row];
}

void FillTooltipBox(int left, int right, int bottomRow, int topRow) {
    for (int row = bottomRow; row <= topRow; ++row) {
        if (row < 0 || row >= FrameHeight) continue;
        for (int column = left; column <= right && column < FrameWidth; ++column) {
            const bool outline =
                row == bottomRow || row == topRow || column == left || column == right;
            std::uint8_t* pixel = FramePixel(row, column);
            pixel[0] = pixel[1] = pixel[2] = outline ? 0 : 255;
        }
    }
}

void BlendArrow(const SkinSurface& arrow, const unsigned char* image, int y, bool canScroll) {
    const int width = SkinImageWidth(image), height = SkinImageHeight(image);
    BlendLayer(arrow.context, ArrowX, y, width, height, width, height,
               canScroll ? BrightArrow : DimArrow);
}

} // namespace

void DrawRowBars() {
    for (int r = 0; r < VisibleRows; ++r) {
        BYTE alpha = static_cast<BYTE>(RowAlphaPerLevel * RowGlow[r].level);
        if (Player.currentSong - ListOffset == r) alpha = CurrentRowAlpha;
        BlendLayer(RowBar.context, BarX, BarTop + RowHeight * r, BarWidth, RowHeight, RowBarWidth,
                   RowBarHeight, alpha);
    }
}

void DrawPlaylistTitles() {
    for (int r = 0; r < VisibleRows; ++r)
        DrawFontText(TitleX, TitleTopRow - RowHeight * r, VisibleEntry(r).title, Black);
}

void DrawAuthorTooltip() {
    const int x = PointerState.lastX;
    const int y = PointerState.lastY + CaptionHeight;
    if (!InListZone(x, y)) return;
    const SongEntry& entry = VisibleEntry(ListRowAt(y));
    // Sized by the stored length: 8 columns a character and 4 more for the
    // outline and the white margins.
    const int lastY = PointerState.lastY;
    FillTooltipBox(x + 18, x + 8 * entry.authorLength + 21, 196 - lastY, 206 - lastY);
    DrawFontText(x + 20, 197 - lastY, entry.author, Black);
}

void DrawScrollArrows() {
    BlendArrow(SkinSurfaces.arrowDown, ArrowDownImage, ArrowDownY,
               ListOffset < SongTable.count - VisibleRows);
    BlendArrow(SkinSurfaces.arrowUp, ArrowUpImage, ArrowUpY, ListOffset > 0);
}
