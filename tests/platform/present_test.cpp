// The window's image: nothing is shown before the first image, the image
// reaches the window's surface byte for byte, alpha included, and at a
// larger scale every pixel as a block, with pointer positions scaled back.

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

void PushCtrlKey(HWND w, SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = w->sdlId;
    e.key.keysym.sym = key;
    e.key.keysym.mod = KMOD_LCTRL;
    SDL_PushEvent(&e);
}

// Ctrl and plus doubles the window about its centre: the image shows every
// pixel as a 2 x 2 block, and pointer positions reach the program halved,
// rounded down, before the frame and caption are taken off.
TEST_F(Presentation, CtrlPlusAndMinusScaleTheWindowAboutItsCentre) {
    const auto image = Pattern(372 * 4);
    ASSERT_TRUE(platform::PresentImage(window, image.data(), 372, 250, 372 * 4));
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    const auto afterKey = [&](SDL_Keycode key) {
        PushCtrlKey(window, key);
        PostMessageA(window, WM_USER, 0, 0); // handled after the key
        Pump(1);
    };
    afterKey(SDLK_EQUALS);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 40 + 186 - 372);
    EXPECT_EQ(rect.top, 30 + 125 - 250);
    EXPECT_EQ(rect.right - rect.left, 744);
    EXPECT_EQ(rect.bottom - rect.top, 500);
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    ASSERT_NE(surface, nullptr);
    ASSERT_GE(surface->w, 744);
    ASSERT_GE(surface->h, 500);
    int mismatches = 0;
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 744; ++x)
            mismatches += std::memcmp(static_cast<std::uint8_t*>(surface->pixels) +
                                          y * surface->pitch + x * 4,
                                      image.data() + (y / 2) * 372 * 4 + (x / 2) * 4, 4) != 0;
    EXPECT_EQ(mismatches, 0);

    for (const auto& [x, y] : {std::pair{201, 57}, std::pair{-1, 0}}) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = window->sdlId;
        e.motion.x = x;
        e.motion.y = y;
        SDL_PushEvent(&e);
    }
    const auto got = Pump(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].lParam, MAKELPARAM(100 - 4, 28 - 27));
    EXPECT_EQ(got[1].lParam, MAKELPARAM(static_cast<WORD>(-1 - 4), static_cast<WORD>(-27)))
        << "left of the window: rounded down";

    afterKey(SDLK_KP_PLUS);
    afterKey(SDLK_PLUS);
    afterKey(SDLK_PLUS); // no further than 4
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 4 * 372);
    afterKey(SDLK_MINUS);
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 3 * 372);
    afterKey(SDLK_0); // back to the start
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 30);
    EXPECT_EQ(rect.right - rect.left, 372);
    surface = SDL_GetWindowSurface(window->sdl);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(std::memcmp(surface->pixels, image.data(), 372 * 4), 0) << "shown again at once";
    for (const Seen& seen : Record().seen)
        EXPECT_NE(seen.message, static_cast<UINT>(WM_KEYDOWN)) << "the layer's own keys";
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
