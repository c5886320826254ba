// The cost of one tick's frame: the whole composition with its hand-over to
// a window, and each of its stages, over the real drawing calls and the real
// audio library playing song 0 of the playlist.
// Run from anywhere: SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
//   build/tests/render/render_bench

#include "app/shell.h"
#include "audiolib/bass.h"
#include "input/pointer.h"
#include "playback/player.h"
#include "render/frame.h"
#include "render/marquee.h"
#include "render/playlist_view.h"
#include "render/spectrum.h"
#include "skin/skin_surfaces.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

namespace {

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

// The window, the surfaces and a playing song, made once.
HWND Setup() {
    static HWND window = [] {
        if (chdir(TONEBOX_SONG_PARENT) != 0) std::perror("chdir");
        WNDCLASSA c{};
        c.lpfnWndProc = Proc;
        c.lpszClassName = "Bench";
        RegisterClassA(&c);
        HWND w = CreateWindowExA(WS_EX_LAYERED, "Bench", "bench", WS_VISIBLE, 0, 0, 372, 250,
                                 nullptr, nullptr, nullptr, nullptr);
        CreateSkinSurfaces();
        BASS_Init(-1, 44100, 0, w, nullptr);
        PlaySong(0);
        // The pointer over the list, so the tooltip is drawn too.
        CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
        PointerState.lastX = 150;
        PointerState.lastY = 60;
        usleep(200000); // some music played, for the analysis to read
        return w;
    }();
    return window;
}

void BM_ComposeFrame(benchmark::State& state) {
    HWND window = Setup();
    for (auto _ : state)
        ComposeFrame(window);
}
BENCHMARK(BM_ComposeFrame)->Repetitions(5)->ReportAggregatesOnly(true);
// A fixed count, for instruction counts: valgrind --tool=callgrind
// --toggle-collect='ComposeFrame(HWND__*)' render_bench --benchmark_filter=Fixed
BENCHMARK(BM_ComposeFrame)->Name("Fixed/ComposeFrame")->Iterations(100);

void BM_PaintFrame(benchmark::State& state) {
    Setup();
    for (auto _ : state) {
        OpenFrameCanvas();
        PaintFrame();
        CloseFrameCanvas();
    }
}
BENCHMARK(BM_PaintFrame);

// One stage on a canvas that stays open.
template <void (*Stage)()>
void BM_Stage(benchmark::State& state) {
    Setup();
    OpenFrameCanvas();
    PaintFrame();
    for (auto _ : state)
        Stage();
    CloseFrameCanvas();
}

void BackgroundCopy() {
    BitBlt(FrameCanvas.context, 0, 0, FrameWidth, FrameHeight, SkinSurfaces.background.context, 0,
           0, SRCCOPY);
}
void SpeakerGlows() {
    BlendLayer(SkinSurfaces.speakerGlow.context, 40, 156, 50, 50, 50, 50, 200);
    BlendLayer(SkinSurfaces.speakerGlow.context, 290, 156, 50, 50, 50, 50, 200);
}
void HandOver() {
    SIZE size = {FrameWidth, FrameHeight};
    POINT origin = {0, 0};
    BLENDFUNCTION whole = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(Setup(), FrameCanvas.screen, nullptr, &size, FrameCanvas.context, &origin,
                        0, &whole, ULW_ALPHA);
}

BENCHMARK(BM_Stage<BackgroundCopy>)->Name("Stage/BackgroundCopy");
BENCHMARK(BM_Stage<DrawRowBars>)->Name("Stage/DrawRowBars");
BENCHMARK(BM_Stage<AnalyseAudio>)->Name("Stage/AnalyseAudio");
BENCHMARK(BM_Stage<SpeakerGlows>)->Name("Stage/SpeakerGlows");
BENCHMARK(BM_Stage<DrawSpectrum>)->Name("Stage/DrawSpectrum");
BENCHMARK(BM_Stage<DrawScopes>)->Name("Stage/DrawScopes");
BENCHMARK(BM_Stage<CopyBezel>)->Name("Stage/CopyBezel");
BENCHMARK(BM_Stage<MarqueeStep>)->Name("Stage/MarqueeStep");
BENCHMARK(BM_Stage<DrawPlaylistTitles>)->Name("Stage/DrawPlaylistTitles");
BENCHMARK(BM_Stage<DrawAuthorTooltip>)->Name("Stage/DrawAuthorTooltip");
BENCHMARK(BM_Stage<DrawScrollArrows>)->Name("Stage/DrawScrollArrows");
BENCHMARK(BM_Stage<HandOver>)->Name("Stage/HandOver");

} // namespace

BENCHMARK_MAIN();
