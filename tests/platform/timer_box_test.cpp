// Ticks and message boxes: coalescing, ordering, and the modal loop that keeps
// the ticks going while a box is open.

#include "platform/testing.h"
#include "window_test_support.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

using namespace platform_test;
namespace pt = platform::testing;

namespace {

constexpr UINT kSentinel = WM_USER + 7;

class Timers : public WindowTest {};

// Ticks on a clock the test moves by hand.
class TimerGrid : public WindowTest {
  protected:
    void SetUp() override {
        now = 1000;
        pt::SetClock([] { return now; });
        WindowTest::SetUp();
    }
    void TearDown() override {
        KillTimer(window, 1);
        pt::SetClock(nullptr);
        WindowTest::TearDown();
    }

    // What the loop has at the clock's present time, without waiting: the
    // message, or 0 for none.
    static UINT Look() {
        MSG m;
        using platform::detail::Wait;
        return platform::detail::NextMessage(m, 0, false) == Wait::Message ? m.message : 0;
    }

    static inline std::uint64_t now = 0;
};

// Ticks keep to the grid of the timer's start, however late the loop takes
// them; one taken more than half a period late stands for the next grid
// point, whose tick is skipped rather than made up.
TEST_F(TimerGrid, TicksKeepToTheGridAndALateTickIsNotMadeUp) {
    ASSERT_NE(SetTimer(window, 1, 25, nullptr), 0u); // due at 1025, 1050, ...
    struct Step {
        std::uint64_t at;
        bool tick;
        const char* why;
    };
    const Step steps[] = {
        {1024, false, "before the first grid point"},
        {1025, true, "on the grid"},
        {1025, false, "one tick a grid point"},
        {1049, false, ""},
        {1050, true, ""},
        {1087, true, "12 ms late: at most half a period"},
        {1099, false, "the next keeps to the grid, not to the late tick"},
        {1100, true, ""},
        {1138, true, "13 ms late: more than half a period, so it stands for 1150"},
        {1150, false, "the tick of 1150 is not made up"},
        {1174, false, ""},
        {1175, true, ""},
        {1425, true, "ten periods unserved"},
        {1425, false, "one tick for them, not ten"},
        {1449, false, ""},
        {1450, true, ""},
    };
    for (const Step& step : steps) {
        now = step.at;
        EXPECT_EQ(Look() == WM_TIMER, step.tick) << "at " << step.at << ": " << step.why;
    }
    // 400 ticks, each taken up to 12 ms late: none early, none lost, and the
    // last still on the grid.
    int early = 0, ticks = 0;
    for (std::uint64_t due = 1475; due < 1475 + 400 * 25; due += 25) {
        now = due - 1;
        early += Look() == WM_TIMER;
        now = due + (due / 25 * 7) % 13;
        ticks += Look() == WM_TIMER;
    }
    EXPECT_EQ(early, 0);
    EXPECT_EQ(ticks, 400);
}

TEST_F(TimerGrid, StalledLoopFindsOneTickWaitingBehindPostedMessages) {
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    PostMessageA(window, kSentinel, 1, 0);
    now += 250; // the loop is busy: 25 periods pass unserved
    PostMessageA(window, kSentinel, 2, 0);
    auto got = Pump(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, kSentinel);
    EXPECT_EQ(got[1].message, kSentinel) << "posted messages go before a waiting tick";
    EXPECT_EQ(got[2].message, WM_TIMER);
    EXPECT_EQ(got[2].wParam, 1u) << "the timer's id";
    EXPECT_EQ(got[2].hwnd, window);
    EXPECT_EQ(Look(), 0u) << "one tick waited, however long the stall";
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
}

TEST_F(Timers, KilledTimerLeavesNoTickAndDestroyStopsTimers) {
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    SDL_Delay(50);
    EXPECT_TRUE(KillTimer(window, 1));
    PostMessageA(window, kSentinel, 0, 0);
    PostQuitMessage(0);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, kSentinel);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0)) << "no tick of a killed timer";

    ASSERT_NE(SetTimer(window, 2, 10, nullptr), 0u);
    DestroyWindow(window);
    window = nullptr;
    EXPECT_FALSE(KillTimer(window, 2)) << "the window took its timer along";
}

int callbackTicks = 0;
void CountTick(HWND, UINT message, UINT_PTR, DWORD) {
    if (message == WM_TIMER) ++callbackTicks;
}

TEST_F(Timers, TimerWithCallbackRunsItOnDispatch) {
    callbackTicks = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 10, CountTick);
    ASSERT_NE(id, 0u);
    auto got = Pump(3);
    ASSERT_EQ(got.size(), 3u);
    for (const auto& m : got) {
        EXPECT_EQ(m.message, WM_TIMER);
        EXPECT_EQ(m.wParam, id);
    }
    EXPECT_EQ(callbackTicks, 3);
    EXPECT_TRUE(Record().seen.empty()) << "the callback, not the window, gets the tick";
    EXPECT_TRUE(KillTimer(nullptr, id));
}

class Boxes : public WindowTest {
  protected:
    void TearDown() override {
        pt::SetBoxObserver(nullptr);
        pt::ClearShownBoxes();
        WindowTest::TearDown();
    }
};

TEST_F(Boxes, WithoutADisplayTheTextGoesToStderrAndOkComesBack) {
    pt::ClearShownBoxes();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Can't initialize device", nullptr, MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Window Creation Error.", "ERROR", MB_ICONEXCLAMATION), IDOK);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: Can't initialize device"), std::string::npos) << err;
    EXPECT_NE(err.find("ERROR: Window Creation Error."), std::string::npos) << err;
    const auto& shown = pt::ShownBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Can't initialize device");
    EXPECT_EQ(shown[0].caption, "Error") << "a box without a caption gets the desktop's default";
    EXPECT_EQ(shown[0].type, MB_ICONERROR);
    EXPECT_EQ(shown[1].caption, "ERROR");
    EXPECT_EQ(shown[1].type, MB_ICONEXCLAMATION);
}

TEST_F(Boxes, TheLogKeepsOnlyTheLatestBoxes) {
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 300; ++i)
        MessageBoxA(nullptr, std::to_string(i).c_str(), nullptr, MB_ICONERROR);
    ::testing::internal::GetCapturedStderr();
    const auto& shown = pt::ShownBoxes();
    ASSERT_EQ(shown.size(), 256u);
    EXPECT_EQ(shown.front().text, "44");
    EXPECT_EQ(shown.back().text, "299");
}

// A box shown from a tick: the ticks go on meanwhile and re-enter the
// procedure, as the desktop's modal loop lets them.
TEST_F(Boxes, TicksGoOnAndReenterWhileABoxIsOpen) {
    int ticks = 0, deepest = 0, ticksWhileOpen = 0;
    pt::SetBoxObserver([](const pt::ShownBox&) {});
    Record().handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message != WM_TIMER) return 0;
        ++ticks;
        deepest = std::max(deepest, Record().depth);
        if (ticks == 1) {
            MessageBoxA(nullptr, "Can't load file", "Error", MB_ICONEXCLAMATION);
            PostQuitMessage(0);
        } else if (pt::OpenBoxCount() == 1 && ++ticksWhileOpen == 5) {
            pt::AnswerOpenBox();
        }
        return 0;
    };
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    KillTimer(window, 1);
    EXPECT_EQ(ticksWhileOpen, 5);
    EXPECT_EQ(deepest, 2) << "ticks ran inside the tick that showed the box";
    EXPECT_EQ(pt::OpenBoxCount(), 0);
    ASSERT_EQ(pt::ShownBoxes().size(), 1u);
    EXPECT_EQ(pt::ShownBoxes()[0].text, "Can't load file");
}

// No timer runs: only the other thread's wake-up can end these waits.
TEST_F(Boxes, AnotherThreadWakesTheWaitForAMessageAndForABoxesAnswer) {
    using namespace std::chrono_literals;
    std::thread other([w = window] {
        std::this_thread::sleep_for(50ms);
        PostMessageA(w, kSentinel, 7, 0);
    });
    auto got = Pump(1);
    other.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, 7u);

    pt::SetBoxObserver([&other](const pt::ShownBox&) {
        other = std::thread([] {
            std::this_thread::sleep_for(50ms);
            pt::AnswerOpenBox();
        });
    });
    EXPECT_EQ(MessageBoxA(nullptr, "box", nullptr, MB_OK), IDOK);
    other.join();

    // SDL tells its watchers of a pushed event before it queues it: a loop
    // woken then finds nothing yet, and must be woken again once it is there.
    const auto slowQueue = [](void*, SDL_Event*) {
        std::this_thread::sleep_for(30ms);
        return 1;
    };
    SDL_AddEventWatch(slowQueue, nullptr);
    EXPECT_EQ(MessageBoxA(nullptr, "box", nullptr, MB_OK), IDOK);
    other.join();
    SDL_DelEventWatch(slowQueue, nullptr);
}

TEST_F(Boxes, QuitRequestedUnderAnOpenBoxEndsTheLoopOnlyAfterIt) {
    pt::SetBoxObserver([](const pt::ShownBox&) {});
    bool answeredBeforeQuit = false;
    Record().handler = [&](HWND w, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == kSentinel) {
            PostMessageA(w, kSentinel + 1, 0, 0);
            MessageBoxA(nullptr, "box", nullptr, MB_OK);
            answeredBeforeQuit = true;
        } else if (message == kSentinel + 1) {
            PostQuitMessage(3); // from inside the box's loop
            pt::AnswerOpenBox();
        }
        return 0;
    };
    PostMessageA(window, kSentinel, 0, 0);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    EXPECT_TRUE(answeredBeforeQuit);
    EXPECT_EQ(m.wParam, 3u);
}

} // namespace
