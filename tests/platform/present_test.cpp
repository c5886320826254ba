// The window's image: nothing is shown before the first image, and the image
// reaches the window's surface byte for byte, alpha included.

#include "platform/present.h"
#include "window_test_support.h"

#include <cstring>

using namespace platform_test;

namespace {

bool Shown(HWND w) {
    return (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
}

// A 372 × 250 image with every pixel different, rows `pitch` bytes apart.
std::vector<std::uint8_t> Pattern(int pitch) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pitch) * 250, 0xEE);
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 372; ++x) {
            std::uint8_t* p = bytes.data() + y * pitch + x * 4;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(x ^ y);
            p[3] = static_cast<std::uint8_t>(x + y);
        }
    return bytes;
}

class Presentation : public WindowTest {};

TEST_F(Presentation, WindowStaysHiddenUntilItsFirstImage) {
    EXPECT_FALSE(Shown(window)) << "created visible, but with nothing to show";
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
    EXPECT_FALSE(Shown(window));
    const auto image = Pattern(372 * 4);
    ASSERT_TRUE(platform::PresentImage(window, image.data(), 372, 250, 372 * 4));
    EXPECT_TRUE(Shown(window));

    HWND hidden =
        CreateWindowExA(0, kClass, "hidden", 0, 0, 0, 372, 250, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hidden, nullptr);
    ASSERT_TRUE(platform::PresentImage(hidden, image.data(), 372, 250, 372 * 4));
    EXPECT_FALSE(Shown(hidden)) << "an image does not show a window the program has not shown";
    EXPECT_EQ(ShowWindow(hidden, SW_SHOWNORMAL), FALSE) << "it was not visible before";
    EXPECT_TRUE(Shown(hidden));
    EXPECT_EQ(ShowWindow(hidden, SW_HIDE), TRUE);
    EXPECT_FALSE(Shown(hidden));
    DestroyWindow(hidden);
}

TEST_F(Presentation, ImageReachesTheSurfaceByteForByte) {
    const int pitch = 372 * 4 + 12; // padded rows are read by their pitch
    const auto image = Pattern(pitch);
    ASSERT_TRUE(platform::PresentImage(window, image.data(), 372, 250, pitch));
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(SDL_BYTESPERPIXEL(surface->format->format), 4);
    int mismatches = 0;
    for (int y = 0; y < 250; ++y)
        mismatches += std::memcmp(static_cast<std::uint8_t*>(surface->pixels) + y * surface->pitch,
                                  image.data() + y * pitch, 372 * 4) != 0;
    EXPECT_EQ(mismatches, 0);

    int width = 0, height = 0;
    const std::uint32_t* kept = platform::PresentedImage(window, &width, &height);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(width, 372);
    EXPECT_EQ(height, 250);
    // Bottom-right pixel: B = 371 & 255, G = 249, R = 371 ^ 249, A = 620 & 255.
    const std::uint32_t expected = (static_cast<std::uint32_t>((371 + 249) & 0xFF) << 24) |
                                   (static_cast<std::uint32_t>((371 ^ 249) & 0xFF) << 16) |
                                   (249u << 8) | (371u & 0xFF);
    EXPECT_EQ(kept[249 * 372 + 371], expected);
}

TEST_F(Presentation, BadImagesAreRefused) {
    const auto image = Pattern(372 * 4);
    EXPECT_FALSE(platform::PresentImage(window, nullptr, 372, 250, 372 * 4));
    EXPECT_FALSE(platform::PresentImage(window, image.data(), 0, 250, 372 * 4));
    EXPECT_FALSE(platform::PresentImage(window, image.data(), 372, 250, 100));
    EXPECT_FALSE(platform::PresentImage(nullptr, image.data(), 372, 250, 372 * 4));
    EXPECT_EQ(platform::PresentedImage(window, nullptr, nullptr), nullptr);
    EXPECT_FALSE((SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN) != 0);
}

} // namespace
