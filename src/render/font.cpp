#include "render/font.h"

#include "render/frame.h"
#include "skin/skin_images.h"

namespace {

// Where a character's glyph lies in the strip: band 1 is its top eight
// rows, band 2 the bottom eight; each band has forty 8-column cells.
struct Glyph {
    int band; // 1 or 2
    int cell;
};

constexpr Glyph Blank = {1, 0};

Glyph GlyphOf(unsigned char c) {
    if ((c >= 'A' && c <= 'G') || (c >= '0' && c <= '9')) return {1, c - 0x20};
    if (c >= 'H' && c <= 'Z') return {2, c - 0x48};
    switch (c) {
    case '!':
        return {1, 1};
    case '^':
        return {1, 6};
    case '\'':
        return {1, 7};
    case '(':
        return {1, 8};
    case ')':
        return {1, 9};
    case '&': // shown as a plus
    case '+':
        return {1, 11};
    case ',':
        return {1, 12};
    case '-':
        return {1, 13};
    case '.':
        return {1, 14};
    case ':':
        return {1, 26};
    case ';':
        return {1, 27};
    case '?':
        return {1, 31};
    default:
        return Blank;
    }
}

constexpr int CellWidth = 8;
constexpr int LeftClip = 30;          // columns up to here are never drawn
constexpr int BlackRightLimit = 372;  // exclusive
constexpr int ColourRightLimit = 342; // exclusive
constexpr int FadeLeftEnd = 44;       // the fade-in columns end here
constexpr int FadeRightStart = 328;   // the fade-out columns start here

// Grey `colour` between the fades; toward the left end the value falls by 5
// a column inside a glyph and rises by 40 from one glyph to the next.
std::uint8_t InkValue(std::uint8_t colour, int pen, int g, int column) {
    if (colour == 0) return 0;
    if (column <= FadeLeftEnd) return static_cast<std::uint8_t>(5 * (pen - g + 6));
    if (column >= FadeRightStart) return static_cast<std::uint8_t>(5 * (6 - column));
    return colour;
}

// The strip's ink as bits, read once: bit g of a line is the glyph's pen
// offset g, from its cell's first column in band 2 and its second in band 1
// (a band-1 cell's first column is never drawn). Only the green byte tells
// ink from background.
struct InkBits {
    std::uint8_t line[2][40][8];
    InkBits() {
        const unsigned char* strip = SkinImagePixels(FontImage);
        const int stripWidth = SkinImageWidth(FontImage);
        for (int band = 1; band <= 2; ++band)
            for (int cell = 0; cell < 40; ++cell)
                for (int j = 0; j < 8; ++j) {
                    const int first = CellWidth * cell + (band == 1 ? 1 : 0);
                    const int columns = band == 1 ? 7 : 8;
                    const unsigned char* pixels =
                        strip + ((8 * (band - 1) + j) * stripWidth + first) * 4;
                    std::uint8_t bits = 0;
                    for (int g = 0; g < columns; ++g)
                        if (pixels[g * 4 + 1] != 0) bits |= static_cast<std::uint8_t>(1 << g);
                    line[band - 1][cell][j] = bits;
                }
    }
};
const InkBits Ink;

void DrawGlyph(Glyph glyph, int pen, int row, std::uint8_t colour, int limit) {
    for (int j = 7; j >= 0; --j) {
        const int memoryRow = row + 7 - j;
        if (memoryRow <= 0 || memoryRow >= FrameHeight) continue;
        std::uint8_t bits = Ink.line[glyph.band - 1][glyph.cell][j];
        for (int g = 0; bits != 0; ++g, bits >>= 1) {
            const int column = pen + g;
            if ((bits & 1) == 0 || column <= LeftClip || column >= limit) continue;
            std::uint8_t* pixel = FramePixel(memoryRow, column);
            pixel[0] = pixel[1] = pixel[2] = InkValue(colour, pen, g, column);
        }
    }
}

} // namespace

void DrawFontText(std::int32_t x, std::int32_t row, const char* text, std::uint8_t colour) {
    const int limit = colour != 0 ? ColourRightLimit : BlackRightLimit;
    // The pen only moves right: once it is past the clip, so is the rest of
    // the text (the credits line hands over thousands of characters).
    for (std::int32_t i = 0; text[i] != '\0'; ++i) {
        const std::int32_t pen = x + CellWidth * i;
        if (pen >= limit) break;
        DrawGlyph(GlyphOf(static_cast<unsigned char>(text[i])), pen, row, colour, limit);
    }
}
