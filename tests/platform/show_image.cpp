// Shows a known translucent image over an opaque backdrop on a real desktop,
// for the screenshot checks of x11_test.sh. Runs the loop like the program:
// a 25 ms tick presents the image, a drag moves the window, B shows a
// message box, M minimises, S makes the transparent third opaque green,
// Escape (or the desktop's close) ends.
// Usage: platform_show_image            show and run until Escape
//        platform_show_image compositor exit 0 if a compositor is running

#include "platform/present.h"
#include "platform/state.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 372, kHeight = 250;
HWND translucent = nullptr;
int ticks = 0;
std::vector<std::uint32_t> image, backdrop;

// Thirds, left to right: opaque red, white at half alpha (premultiplied),
// fully transparent.
void MakeImages() {
    image.resize(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image[y * kWidth + x] = x < 124 ? 0xFFFF0000u : x < 248 ? 0x80808080u : 0u;
    backdrop.assign(800 * 600, 0xFF0000FFu);
}

LRESULT Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (w == translucent) {
            platform::PresentImage(w, image.data(), kWidth, kHeight, kWidth * 4);
            if (++ticks == 10) {
                std::printf("ready\n");
                std::fflush(stdout);
            }
        }
        return 0;
    case WM_MOUSEMOVE:
        if (wParam & MK_LBUTTON) SendMessageA(w, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return DefWindowProcA(w, message, wParam, lParam);
    case WM_KEYDOWN:
        std::fprintf(stderr, "key %d after %d ticks\n", static_cast<int>(wParam), ticks);
        if (wParam == VK_ESCAPE) PostMessageA(w, WM_CLOSE, 0, 0);
        if (wParam == 'M') ShowWindow(w, SW_MINIMIZE);
        if (wParam == 'S') // the transparent third turns opaque green: a new shape
            for (int y = 0; y < kHeight; ++y)
                std::fill(&image[y * kWidth + 248], &image[y * kWidth + kWidth], 0xFF00FF00u);
        if (wParam == 'B') {
            const int before = ticks;
            MessageBoxA(nullptr, "A box on the desktop", "Box caption", MB_ICONINFORMATION);
            std::printf("box open for %d ticks\n", ticks - before);
            std::fflush(stdout);
        }
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            std::printf("minimised\n");
            std::fflush(stdout);
        }
        return 0;
    case WM_CLOSE:
        std::fprintf(stderr, "close requested after %d ticks\n", ticks);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(w, message, wParam, lParam);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "compositor") == 0) {
        platform::detail::EnsureStarted();
        return platform::detail::CompositorRunning() ? 0 : 1;
    }
    MakeImages();
    WNDCLASSA c{};
    c.lpfnWndProc = Proc;
    c.lpszClassName = "ShowImage";
    RegisterClassA(&c);
    HWND back = CreateWindowExA(0, "ShowImage", "backdrop", WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                nullptr, nullptr, nullptr);
    if (!back) return 1;
    platform::PresentImage(back, backdrop.data(), 800, 600, 800 * 4);
    translucent = CreateWindowExA(WS_EX_LAYERED, "ShowImage", "translucent", WS_VISIBLE, 100, 100,
                                  kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    if (!translucent) return 1;
    SetTimer(translucent, 1, 25, nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    RECT rect;
    GetWindowRect(translucent, &rect);
    std::printf("window at %d,%d after %d ticks\n", static_cast<int>(rect.left),
                static_cast<int>(rect.top), ticks);
    std::fflush(stdout);
    ExitProcess(0);
}
