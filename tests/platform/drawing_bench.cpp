// The cost of one frame's drawing calls: the background copy, the layer
// blends, the two bottom-up transfers and the layered-window update.
// Run: SDL_VIDEODRIVER=dummy build/tests/platform/platform_drawing_bench

#include "platform/win32.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kW = 372, kH = 250;

struct Fixture {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kW * kH, 0x80402010u);
    std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(kW * kH);
    HDC screen = GetDC(nullptr);
    HDC background = CreateCompatibleDC(screen), glow = CreateCompatibleDC(screen);
    HBITMAP backgroundBitmap = CreateBitmap(kW, kH, 1, 32, pixels.data());
    HBITMAP glowBitmap = CreateBitmap(50, 50, 1, 32, pixels.data());
    BITMAPINFO info{{40, kW, kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    Fixture() {
        SelectObject(background, backgroundBitmap);
        SelectObject(glow, glowBitmap);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

// A canvas made and released around the work, as every tick does.
template <typename Work>
void WithCanvas(Work work) {
    Fixture& f = Shared();
    HDC canvas = CreateCompatibleDC(f.screen);
    HBITMAP bitmap = CreateBitmap(kW, kH, 1, 32, nullptr);
    SelectObject(canvas, bitmap);
    work(canvas, bitmap);
    DeleteDC(canvas);
    DeleteObject(bitmap);
}

void BM_CanvasAndBackgroundCopy(benchmark::State& state) {
    for (auto _ : state)
        WithCanvas([](HDC canvas, HBITMAP) {
            BitBlt(canvas, 0, 0, kW, kH, Shared().background, 0, 0, SRCCOPY);
        });
}
BENCHMARK(BM_CanvasAndBackgroundCopy);

void BM_BlendSpeakerLayer(benchmark::State& state) {
    WithCanvas([&](HDC canvas, HBITMAP) {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 200, AC_SRC_ALPHA};
        for (auto _ : state)
            AlphaBlend(canvas, 40, 156, 50, 50, Shared().glow, 0, 0, 50, 50, blend);
    });
}
BENCHMARK(BM_BlendSpeakerLayer);

void BM_FrameThereAndBack(benchmark::State& state) {
    Fixture& f = Shared();
    WithCanvas([&](HDC canvas, HBITMAP bitmap) {
        for (auto _ : state) {
            GetDIBits(canvas, bitmap, 0, kH, f.frame.data(), &f.info, DIB_RGB_COLORS);
            SetDIBitsToDevice(canvas, 0, 0, kW, kH, 0, 0, 0, kH, f.frame.data(), &f.info,
                              DIB_RGB_COLORS);
        }
    });
}
BENCHMARK(BM_FrameThereAndBack);

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

void BM_LayeredWindowUpdate(benchmark::State& state) {
    WNDCLASSA c{};
    c.lpfnWndProc = Proc;
    c.lpszClassName = "Bench";
    RegisterClassA(&c);
    HWND window = CreateWindowExA(WS_EX_LAYERED, "Bench", "bench", WS_VISIBLE, 0, 0, kW, kH,
                                  nullptr, nullptr, nullptr, nullptr);
    SIZE size{kW, kH};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    for (auto _ : state)
        UpdateLayeredWindow(window, Shared().screen, nullptr, &size, Shared().background, &origin,
                            0, &blend, ULW_ALPHA);
    DestroyWindow(window);
    UnregisterClassA("Bench", nullptr);
}
BENCHMARK(BM_LayeredWindowUpdate);

} // namespace

BENCHMARK_MAIN();
