#include "skin_view.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const SkinView Font{FontImage};

// One glyph line as a byte, bit 7 being the cell's column 0.
int LineBits(int band, int cell, int line) {
    int bits = 0;
    for (int col = 0; col < 8; ++col)
        bits = bits << 1 | (Font.at(cell * 8 + col, band * 8 + line)[1] != 0);
    return bits;
}

int ColumnsUsed(int band, int cell) {
    int used = 0;
    for (int line = 0; line < 8; ++line)
        used |= LineBits(band, cell, line);
    return used;
}

bool HasInk(int band, int cell) {
    return ColumnsUsed(band, cell) != 0;
}

int Band1Cell(char c) {
    return c - 0x20;
}

TEST(GlyphStrip, EveryPixelIsWhiteInkOrMagentaGround) {
    ASSERT_EQ(Font.width(), 320);
    ASSERT_EQ(Font.height(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 320; ++x) {
            const unsigned char* p = Font.at(x, y);
            const bool white = p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 255;
            const bool magenta = p[0] == 255 && p[1] == 0 && p[2] == 255 && p[3] == 255;
            ASSERT_TRUE(white || magenta) << x << "," << y;
        }
}

TEST(GlyphStrip, TheTwoGivenGlyphs) {
    const int a[8] = {0x7F, 0x7F, 0x03, 0x7F, 0x7F, 0x63, 0x63, 0x00};
    const int h[8] = {0xC6, 0xC6, 0x06, 0xFE, 0xFE, 0xC6, 0xC6, 0x00};
    for (int line = 0; line < 8; ++line) {
        EXPECT_EQ(LineBits(0, 33, line), a[line]) << "A line " << line;
        EXPECT_EQ(LineBits(1, 0, line), h[line]) << "H line " << line;
    }
}

TEST(GlyphStrip, LineSevenIsEmptyInEveryCell) {
    for (int band = 0; band < 2; ++band)
        for (int cell = 0; cell < 40; ++cell)
            EXPECT_EQ(LineBits(band, cell, 7), 0) << band << cell;
}

TEST(GlyphStrip, EmptyCellsAndCellsWithGlyphs) {
    for (int cell = 0; cell < 40; ++cell) {
        const bool empty = cell == 0 || cell == 5 || cell == 15 || cell == 32;
        EXPECT_EQ(HasInk(0, cell), !empty) << "band 1 cell " << cell;
        EXPECT_EQ(HasInk(1, cell), cell < 19) << "band 2 cell " << cell;
    }
}

TEST(GlyphStrip, ColumnRulesKeepEveryGlyphWhole) {
    // Band 1 is drawn from column 1 of each cell: its glyphs leave column 0
    // empty, so none loses a stroke; band 2 leaves column 7 as the letter gap.
    for (int cell = 0; cell < 40; ++cell) {
        EXPECT_EQ(ColumnsUsed(0, cell) & 0x80, 0) << "band 1 cell " << cell;
        EXPECT_EQ(ColumnsUsed(1, cell) & 0x01, 0) << "band 2 cell " << cell;
    }
    // The narrow signs leave column 7 free as well.
    for (char c : std::string("!^'+,-.1")) {
        const int cell = c == '^' ? 6 : Band1Cell(c);
        EXPECT_EQ(ColumnsUsed(0, cell) & 0x81, 0) << c;
    }
}

TEST(GlyphStrip, LettersFillSevenLinesAndMostBreakInTheThird) {
    int breaks = 0;
    for (char c = 'A'; c <= 'Z'; ++c) {
        const int band = c <= 'G' ? 0 : 1;
        const int cell = c <= 'G' ? Band1Cell(c) : c - 0x48;
        EXPECT_NE(LineBits(band, cell, 0), 0) << c;
        EXPECT_NE(LineBits(band, cell, 6), 0) << c;
        // The cut: the left stroke of lines 1 and 3 is missing in line 2.
        const int left = band == 0 ? 0x60 : 0xC0;
        const bool cut = (LineBits(band, cell, 1) & left) && (LineBits(band, cell, 3) & left) &&
                         !(LineBits(band, cell, 2) & left);
        breaks += cut;
    }
    EXPECT_GT(breaks, 13);
}

} // namespace
