// The bitmap font and the credits line, drawn straight into the frame
// buffer.

#include "frame_fixture.h"

#include "render/font.h"
#include "render/frame.h"
#include "render/marquee.h"
#include "render/spectrum.h"

#include <cstring>
#include <vector>

namespace render_test {
namespace {

constexpr Bgra Ground = {77, 77, 77, 99};

std::vector<std::uint8_t> Snapshot() {
    return std::vector<std::uint8_t>(FrameBuffer, FrameBuffer + FrameHeight * FrameStride);
}

// The grey of pixel (x, memory row) when ink, or -1 when untouched.
int InkAt(int x, int memoryRow) {
    const std::uint8_t* p = FramePixel(memoryRow, x);
    if (p[0] == Ground.b && p[3] == Ground.a) return -1;
    return p[0];
}

class FontTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        FillFrameBuffer(Ground);
    }
};

// "H" is C6 C6 06 FE FE C6 C6 00: line 3 inks cell columns 0 to 6.
constexpr int FullLine = 3;

TEST_F(FontTest, GreyFadesTowardBothEndsAndInkStaysInsideTheClip) {
    const int row = 100, line = row + 7 - FullLine;
    DrawFontText(40, row, "H", 255);
    const int left[] = {230, 225, 220, 215, 210, 255, 255, -1};
    for (int g = 0; g < 8; ++g)
        EXPECT_EQ(InkAt(40 + g, line), left[g]) << "column " << 40 + g;

    DrawFontText(326, row, "H", 255);
    const int right[] = {255, 255, 182, 177, 172, 167, 162};
    for (int g = 0; g < 7; ++g)
        EXPECT_EQ(InkAt(326 + g, line), right[g]) << "column " << 326 + g;

    // Grey text stops at 341, black text at the frame's edge; nothing is
    // ever drawn at or left of column 30.
    DrawFontText(336, row + 20, "H", 200);
    EXPECT_EQ(InkAt(341, line + 20), 117);
    EXPECT_EQ(InkAt(342, line + 20), -1);
    DrawFontText(366, row + 40, "H", 0);
    EXPECT_EQ(InkAt(371, line + 40), 0);
    DrawFontText(26, row + 60, "H", 0);
    EXPECT_EQ(InkAt(30, line + 60), -1);
    EXPECT_EQ(InkAt(31, line + 60), 0);

    // Memory row 0 and rows from 250 up are dropped glyph line by line.
    DrawFontText(200, 243, "H", 0);
    EXPECT_EQ(InkAt(200, 249), 0) << "line 1 on the top row";
    DrawFontText(220, -1, "H", 0);
    EXPECT_EQ(InkAt(220, 0), -1) << "line 6 would land on memory row 0";
    EXPECT_EQ(InkAt(220, 1), 0);

    for (int r = 0; r < FrameHeight; ++r)
        for (int x = 0; x < FrameWidth; ++x)
            ASSERT_EQ(FramePixel(r, x)[3], Ground.a) << "alpha changed at " << x << ", " << r;
}

TEST_F(FontTest, CharactersMapToTheirGlyphsAndTheRestAdvanceAsBlanks) {
    const auto untouched = Snapshot();
    DrawFontText(100, 100, "abc *#/\"", 0);
    DrawFontText(100, 100, "", 0);
    EXPECT_EQ(Snapshot(), untouched) << "lower case and unmapped characters draw nothing";

    DrawFontText(100, 100, "&", 0);
    const auto ampersand = Snapshot();
    FillFrameBuffer(Ground);
    DrawFontText(100, 100, "+", 0);
    EXPECT_EQ(Snapshot(), ampersand) << "& is shown as a plus";

    // A band-1 glyph never shows its cell's first column: "A" (7F 7F 03 ...)
    // and "H" (FE on line 3) both cover pen columns 0 to 6.
    FillFrameBuffer(Ground);
    DrawFontText(100, 100, "AxH", 0);
    const int line = 100 + 7;
    for (int g = 0; g < 8; ++g) {
        EXPECT_EQ(InkAt(100 + g, line), g < 7 ? 0 : -1) << "A, column " << g;
        EXPECT_EQ(InkAt(108 + g, line), -1) << "x is a gap";
        EXPECT_EQ(InkAt(116 + g, line - FullLine), g < 7 ? 0 : -1) << "H, column " << g;
    }
}

class MarqueeTest : public FontTest {
  protected:
    struct Position {
        std::uint32_t index;
        float offset;
        bool operator==(const Position&) const = default;
    };
    static Position Step() {
        MarqueeStep();
        return {MarqueeIndex, MarqueeOffset};
    }
};

TEST_F(MarqueeTest, ScrollsTwoPixelsATickAndWrapsPastTheLastCharacters) {
    const Position expected[] = {{1, -2}, {1, -4}, {1, -6}, {1, -8}, {2, -2}, {2, -4}};
    for (const Position& position : expected)
        EXPECT_EQ(Step(), position);

    MarqueeIndex = 3306;
    MarqueeOffset = -8.0f;
    EXPECT_EQ(Step(), (Position{1, -2})) << "character 0 is never drawn";
    MarqueeIndex = 3305;
    MarqueeOffset = -8.0f;
    EXPECT_EQ(Step(), (Position{3306, -2}));
}

// The same step drawn with a pulse is the resting line lifted by one screen
// row for every 128 of it.
TEST_F(MarqueeTest, RidesUpOneRowForEvery128OfThePulse) {
    const auto drawWith = [](std::int32_t pulse) {
        FillFrameBuffer(Ground);
        MarqueeIndex = 40; // well into the greeting
        MarqueeOffset = -4.0f;
        PulseLevel = pulse;
        MarqueeStep();
        return Snapshot();
    };
    const auto resting = drawWith(0);
    EXPECT_EQ(drawWith(127), resting);
    for (int rows : {1, 10}) {
        const auto lifted = drawWith(128 * rows);
        const std::size_t shift = static_cast<std::size_t>(rows) * FrameStride;
        EXPECT_EQ(std::vector<std::uint8_t>(lifted.begin() + shift, lifted.end()),
                  std::vector<std::uint8_t>(resting.begin(), resting.end() - shift))
            << rows << " rows";
    }
    // At rest the glyph lines fill screen rows 222 to 228.
    drawWith(0);
    bool inked[FrameHeight] = {};
    for (int y = 0; y < FrameHeight; ++y)
        for (int x = 0; x < FrameWidth; ++x)
            inked[y] = inked[y] || FrameBufferAt(x, y).a != Ground.a || FrameBufferAt(x, y).b != 77;
    for (int y = 215; y < 235; ++y)
        EXPECT_EQ(inked[y], y >= 222 && y <= 228) << "screen row " << y;
}

} // namespace
} // namespace render_test
