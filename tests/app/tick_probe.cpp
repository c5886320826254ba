// Linked into a copy of the program with AdvanceAtEnd wrapped: every tick's
// first step passes through here, and every 200 ticks the probe writes the
// tick rate and the largest gap between ticks to standard error.

#include <chrono>
#include <cstdio>

extern "C" void __real__Z12AdvanceAtEndv();

extern "C" void __wrap__Z12AdvanceAtEndv() {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point windowStart;
    static Clock::time_point last;
    static int ticks = -1;
    static double largestGapMs = 0;
    const Clock::time_point now = Clock::now();
    if (ticks < 0) {
        windowStart = last = now;
        ticks = 0;
    } else {
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        if (gap > largestGapMs) largestGapMs = gap;
        last = now;
        if (++ticks == 200) {
            const double seconds = std::chrono::duration<double>(now - windowStart).count();
            std::fprintf(stderr, "ticks: %.2f a second, largest gap %.1f ms\n", ticks / seconds,
                         largestGapMs);
            windowStart = now;
            ticks = 0;
            largestGapMs = 0;
        }
    }
    __real__Z12AdvanceAtEndv();
}
