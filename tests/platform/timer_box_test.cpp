// Ticks and message boxes: coalescing, ordering, and the modal loop that keeps
// the ticks going while a box is open.

#include "platform/testing.h"
#include "window_test_support.h"

#include <string>

using namespace platform_test;
namespace pt = platform::testing;

namespace {

constexpr UINT kSentinel = WM_USER + 7;

int QueuedTickEvents() {
    SDL_PumpEvents();
    const Uint32 tick = platform::detail::State().tickEvent;
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, tick, tick);
}

class Timers : public WindowTest {};

TEST_F(Timers, StalledLoopFindsOneTickWaitingBehindPostedMessages) {
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    PostMessageA(window, kSentinel, 1, 0);
    SDL_Delay(250); // the loop is busy: some 25 periods pass unserved
    EXPECT_EQ(QueuedTickEvents(), 1) << "one tick waits, however long the stall";
    PostMessageA(window, kSentinel, 2, 0);
    auto got = Pump(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, kSentinel);
    EXPECT_EQ(got[1].message, kSentinel) << "posted messages go before a waiting tick";
    EXPECT_EQ(got[2].message, WM_TIMER);
    EXPECT_EQ(got[2].wParam, 1u) << "the timer's id";
    EXPECT_EQ(got[2].hwnd, window);
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
