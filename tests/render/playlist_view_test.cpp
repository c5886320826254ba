// The playlist view: row bars, the author tooltip and the scroll arrows.

#include "frame_fixture.h"

#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "playback/player.h"
#include "render/frame.h"
#include "render/playlist_view.h"

#include <algorithm>

namespace render_test {
namespace {

// A place inside each row's bar that nothing else draws on.
constexpr int BarProbeX = 95;
int BarProbeY(int row) {
    return 48 + 10 * row + 1;
}

Bgra Brighter(Bgra b, int by) {
    const auto add = [by](std::uint8_t v) {
        return static_cast<std::uint8_t>(std::min(255, v + by));
    };
    return Bgra{add(b.b), add(b.g), add(b.r), b.a};
}

using PlaylistView = FrameTest;

TEST_F(PlaylistView, ThePlayingRowIsWhiteAndHoveredRowsGainThreeALevel) {
    ListOffset = 10;
    Player.currentSong = 12; // visible row 2, hovered as well
    const std::int16_t levels[VisibleRows] = {0, 1, 10, 5, 10, 7, 9};
    for (int row = 0; row < VisibleRows; ++row)
        RowGlow[row].level = levels[row];
    const Picture frame = PaintedFrame(), background = Background();
    for (int row = 0; row < VisibleRows; ++row) {
        const Bgra under = background.At(BarProbeX, BarProbeY(row));
        const Bgra expected =
            row == 2 ? Bgra{255, 255, 255, under.a} : Brighter(under, 3 * RowGlow[row].level);
        EXPECT_EQ(frame.At(BarProbeX, BarProbeY(row)), expected) << "row " << row;
    }

    Player.currentSong = 30; // scrolled out of view: no row at full strength
    for (GlowLevel& glow : RowGlow)
        glow.level = 0;
    const Picture out = PaintedFrame();
    for (int row = 0; row < VisibleRows; ++row)
        EXPECT_EQ(out.At(BarProbeX, BarProbeY(row)), background.At(BarProbeX, BarProbeY(row)));
}

class Tooltip : public FrameTest {
  protected:
    static constexpr Bgra Ground = {90, 60, 30, 222};
    void SetUp() override {
        FrameTest::SetUp();
        FillFrameBuffer(Ground);
    }
    // Points at client x and caption-corrected y, and draws.
    void DrawAt(int x, int y) {
        PointerState.lastX = x;
        PointerState.lastY = y - CaptionHeight;
        DrawAuthorTooltip();
    }
    // Screen row of the box's top for the pointer at caption-corrected y.
    int BoxTop(int y) const { return y - CaptionHeight + 43; }
    static constexpr Bgra White = {255, 255, 255, Ground.a};
    static constexpr Bgra Black = {0, 0, 0, Ground.a};
};

TEST_F(Tooltip, BoxAndAuthorSitUnderThePointer) {
    DrawAt(99, 45); // row 0: "TESTER NUMBER 00", 16 characters
    const int top = BoxTop(45), left = 117, right = 99 + 8 * 16 + 21;
    for (int y = top - 1; y <= top + 11; ++y)
        for (int x = left - 1; x <= right + 1; ++x) {
            const bool inBox = y >= top && y <= top + 10 && x >= left && x <= right;
            const bool outline = y == top || y == top + 10 || x == left || x == right;
            const bool margin = y == top + 1 || y == top + 9 || x == left + 1;
            const Bgra got = FrameBufferAt(x, y);
            if (!inBox)
                EXPECT_EQ(got, Ground) << x << ", " << y;
            else if (outline)
                EXPECT_EQ(got, Black) << x << ", " << y;
            else if (margin)
                EXPECT_EQ(got, White) << x << ", " << y;
            else
                EXPECT_TRUE(got == White || got == Black) << x << ", " << y;
        }
    // The text: "T" of the first character at pen column 119.
    EXPECT_EQ(FrameBufferAt(119, top + 2), Black);
}

TEST_F(Tooltip, TheBoxIsCutAtTheFramesEdgeAndSizedByTheStoredLength) {
    DrawAt(277, 113); // row 6, 16 characters: the box would reach column 426
    const int top = BoxTop(113);
    EXPECT_EQ(FrameBufferAt(295, top + 5), Black);
    EXPECT_EQ(FrameBufferAt(371, top), Black);
    EXPECT_EQ(FrameBufferAt(371, top + 1), White) << "no right outline: it lies beyond 371";

    FillFrameBuffer(Ground);
    ListOffset = 33; // row 6 shows the last song, whose author is empty
    DrawAt(200, 104);
    const Bgra across[] = {Ground, Black, White, White, Black, Ground};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(FrameBufferAt(217 + i, BoxTop(104) + 5), across[i]) << "column " << 217 + i;

    // Just outside the list nothing is drawn.
    FillFrameBuffer(Ground);
    DrawAt(98, 60);
    DrawAt(278, 60);
    DrawAt(150, 44);
    DrawAt(150, 114);
    for (int y = 0; y < FrameHeight; ++y)
        for (int x = 0; x < FrameWidth; ++x)
            ASSERT_EQ(FrameBufferAt(x, y), Ground) << x << ", " << y;
}

// An arrow is drawn at full strength while the list can scroll its way, and
// dimmed at that end of the list.
TEST_F(PlaylistView, ArrowsDimAtTheEndsOfTheList) {
    Player.currentSong = 10; // in none of the views below
    const auto arrows = [](int offset) {
        ListOffset = static_cast<std::int16_t>(offset);
        const Picture frame = PaintedFrame();
        std::vector<Bgra> up, down;
        for (int y = 0; y < 15; ++y)
            for (int x = 265; x < 276; ++x) {
                up.push_back(frame.At(x, 50 + y));
                down.push_back(frame.At(x, 102 + y));
            }
        return std::pair{up, down};
    };
    const auto [upAtTop, downAtTop] = arrows(0);
    const auto [upInside, downInside] = arrows(17);
    const auto [upAtEnd, downAtEnd] = arrows(33);
    EXPECT_NE(upAtTop, upInside);
    EXPECT_EQ(downAtTop, downInside);
    EXPECT_EQ(upAtEnd, upInside);
    EXPECT_NE(downAtEnd, downInside);
}

} // namespace
} // namespace render_test
