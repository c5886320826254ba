// The drawing calls, pixel for pixel: copies keep all four bytes, the blend
// follows its rule with rounded divisions by 255, the bottom-up transfers put
// screen row y at memory row 249 - y, and stale handles fail safely.

#include "platform/present.h"
#include "window_test_support.h"

using namespace platform_test;

namespace {

constexpr int kW = 372, kH = 250;

std::uint32_t Bgra(std::uint32_t b, std::uint32_t g, std::uint32_t r, std::uint32_t a) {
    return b | (g << 8) | (r << 16) | (a << 24);
}

// Every pixel different: B = x, G = y, R = x ^ y, A = 255.
std::vector<std::uint32_t> Pattern() {
    std::vector<std::uint32_t> pixels(kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            pixels[y * kW + x] = Bgra(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF, 255);
    return pixels;
}

BITMAPINFO FrameDescription() {
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{40, kW, kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return info;
}

// A memory context holding a new bitmap, released at the end of the test.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    Surface(int width, int height, const void* bits) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap(width, height, 1, 32, bits);
        SelectObject(dc, bitmap);
    }
    ~Surface() {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    std::uint32_t At(int x, int y) const { return bitmap->Row(y)[x]; }
};

TEST(Drawing, CopiesAndBottomUpTransfersKeepEveryByteInItsRow) {
    const auto pattern = Pattern();
    Surface background(kW, kH, pattern.data());
    Surface canvas(kW, kH, nullptr);
    ASSERT_TRUE(BitBlt(canvas.dc, 0, 0, kW, kH, background.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(canvas.At(0, 0), pattern[0]) << "first row on top";
    EXPECT_EQ(canvas.At(371, 249), pattern[249 * kW + 371]);
    // Whole rows, part of the height, onto other rows.
    ASSERT_TRUE(BitBlt(canvas.dc, 0, 100, kW, 20, background.dc, 0, 5, SRCCOPY));
    EXPECT_EQ(canvas.At(7, 100), pattern[5 * kW + 7]);
    EXPECT_EQ(canvas.At(7, 119), pattern[24 * kW + 7]);
    EXPECT_EQ(canvas.At(7, 120), pattern[120 * kW + 7]);

    std::vector<std::uint32_t> frame(kW * kH);
    BITMAPINFO info = FrameDescription();
    EXPECT_EQ(GetDIBits(canvas.dc, canvas.bitmap, 0, kH, frame.data(), &info, DIB_RGB_COLORS), kH);
    EXPECT_EQ(frame[0], pattern[249 * kW]) << "memory row 0 is the bottom screen row";
    EXPECT_EQ(frame[249 * kW + 5], pattern[5]);
    EXPECT_EQ(frame[(249 - 165) * kW + 93], pattern[165 * kW + 93]);

    // Colour work on the frame, then the whole frame back over the canvas.
    frame[(249 - 10) * kW + 20] = Bgra(1, 2, 3, 255);
    EXPECT_EQ(SetDIBitsToDevice(canvas.dc, 0, 0, kW, kH, 0, 0, 0, kH, frame.data(), &info,
                                DIB_RGB_COLORS),
              kH);
    EXPECT_EQ(canvas.At(20, 10), Bgra(1, 2, 3, 255));
    EXPECT_EQ(canvas.At(21, 10), pattern[10 * kW + 21]);
    EXPECT_EQ(canvas.At(371, 0), pattern[371]);

    // A top-down description reads rows in screen order.
    info.bmiHeader.biHeight = -kH;
    std::vector<std::uint32_t> topDown(kW * kH);
    GetDIBits(canvas.dc, canvas.bitmap, 0, kH, topDown.data(), &info, DIB_RGB_COLORS);
    EXPECT_EQ(topDown[10 * kW + 20], Bgra(1, 2, 3, 255));

    // A part of a bottom-up DIB: (sourceX, sourceY) is the lower-left corner
    // of the source rectangle, and the bits hold scan lines 1 and 2 only.
    const std::uint32_t dib[2][4] = {{11, 12, 13, 14}, {21, 22, 23, 24}}; // scans 1, 2
    BITMAPINFO small4 = FrameDescription();
    small4.bmiHeader.biWidth = 4;
    small4.bmiHeader.biHeight = 4;
    Surface target(4, 4, nullptr);
    EXPECT_EQ(SetDIBitsToDevice(target.dc, 1, 1, 2, 2, 1, 1, 1, 2, dib, &small4, DIB_RGB_COLORS),
              2);
    EXPECT_EQ(target.At(1, 1), 22u) << "the upper row of the rectangle is scan 2";
    EXPECT_EQ(target.At(2, 1), 23u);
    EXPECT_EQ(target.At(1, 2), 12u);
    EXPECT_EQ(target.At(2, 2), 13u);
    EXPECT_EQ(target.At(0, 0) | target.At(3, 3) | target.At(3, 1) | target.At(1, 3), 0u);

    // A copy within one bitmap, one row down, reads every row before it is
    // overwritten.
    const std::uint32_t column[4] = {1, 2, 3, 4};
    Surface strip(1, 4, column);
    EXPECT_TRUE(BitBlt(strip.dc, 0, 1, 1, 3, strip.dc, 0, 0, SRCCOPY));
    EXPECT_EQ((std::vector<std::uint32_t>{strip.At(0, 0), strip.At(0, 1), strip.At(0, 2),
                                          strip.At(0, 3)}),
              (std::vector<std::uint32_t>{1, 1, 2, 3}));

    // Part of a copy off either bitmap is left out, not read or written.
    Surface small(10, 10, nullptr);
    EXPECT_TRUE(BitBlt(small.dc, -5, -5, 10, 10, background.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(small.At(0, 0), pattern[5 * kW + 5]);
    EXPECT_EQ(small.At(5, 5), 0u);
    EXPECT_TRUE(BitBlt(small.dc, 0, 0, 10, 10, background.dc, 368, 246, SRCCOPY));
    EXPECT_EQ(small.At(3, 3), pattern[249 * kW + 371]);
    EXPECT_EQ(small.At(4, 4), pattern[9 * kW + 9]) << "nothing written beyond the source's edge";
}

TEST(Drawing, BlendFollowsTheRuleWithRoundedDivisions) {
    Surface canvas(4, 1, nullptr);
    const std::uint32_t row[4] = {Bgra(10, 20, 30, 255), Bgra(10, 20, 30, 255),
                                  Bgra(10, 20, 30, 255), Bgra(10, 20, 30, 255)};
    const std::uint32_t src[1] = {Bgra(100, 50, 200, 200)};
    Surface back(4, 1, row), source(1, 1, src);
    BitBlt(canvas.dc, 0, 0, 4, 1, back.dc, 0, 0, SRCCOPY);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 128, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(canvas.dc, 0, 0, 1, 1, source.dc, 0, 0, 1, 1, blend));
    // s = S × 128 / 255 -> 50, 25, 100, 100; D = s + D × 155 / 255.
    EXPECT_EQ(canvas.At(0, 0), Bgra(50 + 6, 25 + 12, 100 + 18, 100 + 155));
    blend.SourceConstantAlpha = 0;
    AlphaBlend(canvas.dc, 1, 0, 1, 1, source.dc, 0, 0, 1, 1, blend);
    EXPECT_EQ(canvas.At(1, 0), row[1]) << "constant alpha 0 changes nothing";
    const std::uint32_t opaque[1] = {Bgra(7, 8, 9, 255)};
    Surface solid(1, 1, opaque);
    blend.SourceConstantAlpha = 255;
    AlphaBlend(canvas.dc, 2, 0, 1, 1, solid.dc, 0, 0, 1, 1, blend);
    EXPECT_EQ(canvas.At(2, 0), opaque[0]) << "an opaque source at 255 replaces";
    EXPECT_EQ(canvas.At(3, 0), row[3]);
    EXPECT_FALSE(AlphaBlend(canvas.dc, 0, 0, 1, 1, source.dc, 0, 0, 2, 1, blend))
        << "a source rectangle off the source fails";
    EXPECT_FALSE(AlphaBlend(canvas.dc, 0, 0, -1, 1, source.dc, 0, 0, 1, 1, blend));
}

// The row highlight: a white bar with zero alpha, filled through a rectangle
// larger than itself, blended squeezed from 200 to 190 columns.
TEST(Drawing, WhiteBarAddsItsAlphaToEachColourUpToFull) {
    HDC screen = GetDC(nullptr);
    HDC barDc = CreateCompatibleDC(screen);
    HBITMAP bar = CreateCompatibleBitmap(screen, 200, 10);
    SelectObject(barDc, bar);
    RECT all{0, 0, 200, 200};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    EXPECT_EQ(FillRect(barDc, &all, white), 1);
    for (std::uint32_t pixel : bar->pixels)
        ASSERT_EQ(pixel, Bgra(255, 255, 255, 0));

    std::vector<std::uint32_t> ground(kW * kH, Bgra(10, 240, 100, 255));
    Surface canvas(kW, kH, ground.data());
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 30, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(canvas.dc, 92, 48, 190, 10, barDc, 0, 0, 200, 10, blend));
    EXPECT_EQ(canvas.At(92, 48), Bgra(40, 255, 130, 255));
    EXPECT_EQ(canvas.At(281, 57), Bgra(40, 255, 130, 255));
    EXPECT_EQ(canvas.At(91, 48), ground[0]);
    EXPECT_EQ(canvas.At(282, 48), ground[0]);
    EXPECT_EQ(canvas.At(92, 58), ground[0]);
    blend.SourceConstantAlpha = 255;
    AlphaBlend(canvas.dc, 92, 58, 190, 10, barDc, 0, 0, 200, 10, blend);
    EXPECT_EQ(canvas.At(150, 60), Bgra(255, 255, 255, 255)) << "the playing row is pure white";

    // The class background's system-colour brush fills white as well.
    RECT one{0, 0, 1, 1};
    const std::uint32_t black[1] = {0};
    Surface dot(1, 1, black);
    EXPECT_EQ(FillRect(dot.dc, &one, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)), 1);
    EXPECT_EQ(dot.At(0, 0), Bgra(255, 255, 255, 0));

    DeleteObject(white);
    DeleteDC(barDc);
    DeleteObject(bar);
    ReleaseDC(nullptr, screen);
}

TEST(Drawing, ABitmapIsDeletedOnlyOnceNoContextHoldsIt) {
    HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr) << "one context at a time";
    EXPECT_FALSE(DeleteObject(bitmap)) << "still selected";
    EXPECT_EQ(SelectObject(first, stock), bitmap);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "a deleted handle is no longer known";
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_FALSE(DeleteDC(first));
    EXPECT_FALSE(BitBlt(first, 0, 0, 1, 1, second, 0, 0, SRCCOPY)) << "a deleted context";
    EXPECT_EQ(CreateBitmap(4, 4, 1, 24, nullptr), nullptr) << "only 32-bit bitmaps";
    EXPECT_TRUE(DeleteDC(second));
}

class LayeredWindow : public WindowTest {};

TEST_F(LayeredWindow, UpdateShowsTheCanvasWithoutMovingTheWindow) {
    const auto pattern = Pattern();
    Surface canvas(kW, kH, pattern.data());
    HDC screen = GetDC(nullptr);
    SIZE size{kW, kH};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(UpdateLayeredWindow(window, screen, nullptr, &size, canvas.dc, &origin, 0, &blend,
                                    ULW_ALPHA));
    int width = 0, height = 0;
    const std::uint32_t* shown = platform::PresentedImage(window, &width, &height);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(width, kW);
    EXPECT_EQ(height, kH);
    EXPECT_TRUE(std::equal(shown, shown + kW * kH, pattern.begin()));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 30);

    blend.SourceConstantAlpha = 128;
    UpdateLayeredWindow(window, screen, nullptr, &size, canvas.dc, &origin, 0, &blend, ULW_ALPHA);
    shown = platform::PresentedImage(window, nullptr, nullptr);
    EXPECT_EQ(shown[0], Bgra(0, 0, 0, 128));
    EXPECT_EQ(shown[kW + 1], Bgra(1, 1, 0, 128)) << "every byte scaled by 128 / 255, rounded";

    HWND plain =
        CreateWindowExA(0, kClass, "plain", 0, 0, 0, kW, kH, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(UpdateLayeredWindow(plain, screen, nullptr, &size, canvas.dc, &origin, 0, &blend,
                                     ULW_ALPHA))
        << "only a layered window takes an image this way";
    DestroyWindow(plain);
    ReleaseDC(nullptr, screen);
}

} // namespace
