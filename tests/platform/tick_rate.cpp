// Measures the layer's loop: the tick rate of a 25 ms timer, the largest gap
// between ticks, and the CPU time the loop uses, idle and ticking.
// Usage: platform_tick_rate [seconds]   (SDL_VIDEODRIVER picks the desktop)

#include "platform/win32.h"

#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr UINT kStop = WM_USER + 1;

struct Run {
    int ticks = 0;
    Uint64 first = 0, last = 0, largestGap = 0;
};
Run run;

LRESULT Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        const Uint64 now = SDL_GetPerformanceCounter();
        if (run.ticks > 0)
            run.largestGap = std::max(run.largestGap, now - run.last);
        else
            run.first = now;
        run.last = now;
        ++run.ticks;
        return 0;
    }
    if (message == kStop) PostQuitMessage(0);
    return DefWindowProcA(w, message, wParam, lParam);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the loop for `seconds`; another thread ends it with a posted message.
double LoopFor(HWND window, double seconds) {
    std::thread stopper([window, seconds] {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        PostMessageA(window, kStop, 0, 0);
    });
    const double cpu = CpuSeconds();
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    stopper.join();
    return CpuSeconds() - cpu;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    WNDCLASSA c{};
    c.lpfnWndProc = Proc;
    c.lpszClassName = "TickRate";
    RegisterClassA(&c);
    HWND window = CreateWindowExA(0, "TickRate", "tick rate", 0, 0, 0, 372, 250, nullptr, nullptr,
                                  nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "tick rate: no window\n");
        return 1;
    }
    std::printf("driver %s, %.1f s each\n", SDL_GetCurrentVideoDriver(), seconds);
    const double idleCpu = LoopFor(window, seconds);
    std::printf("idle loop: CPU %.3f s in %.1f s (%.2f%%)\n", idleCpu, seconds,
                100.0 * idleCpu / seconds);
    SetTimer(window, 1, 25, nullptr);
    const double tickCpu = LoopFor(window, seconds);
    const double frequency = static_cast<double>(SDL_GetPerformanceFrequency());
    const double span = static_cast<double>(run.last - run.first) / frequency;
    std::printf("25 ms timer: %d ticks, %.2f ticks/s, largest gap %.1f ms, CPU %.2f%%\n", run.ticks,
                (run.ticks - 1) / span, 1000.0 * static_cast<double>(run.largestGap) / frequency,
                100.0 * tickCpu / seconds);
    return 0;
}
