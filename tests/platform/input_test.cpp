// Desktop input turned into window messages: client coordinates inside the
// sizing frame and below the caption, key-state flags, virtual keys, and the
// interactive window move.

#include "window_test_support.h"

#include <csignal>
#include <cstdlib>

using namespace platform_test;

namespace {

class Input : public WindowTest {
  protected:
    void TearDown() override {
        SDL_SetModState(KMOD_NONE);
        WindowTest::TearDown();
    }

    void PushMotion(int x, int y, Uint32 buttons) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SdlId();
        e.motion.x = x;
        e.motion.y = y;
        e.motion.state = buttons;
        SDL_PushEvent(&e);
    }

    void PushButton(bool down, Uint8 button, int x, int y) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = SdlId();
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = x;
        e.button.y = y;
        SDL_PushEvent(&e);
    }

    void PushKey(bool down, SDL_Keycode key, bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SdlId();
        e.key.repeat = repeat;
        e.key.keysym.sym = key;
        e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        SDL_PushEvent(&e);
    }
};

int X(LPARAM l) {
    return LOWORD(static_cast<std::uintptr_t>(l));
}
int Y(LPARAM l) {
    return HIWORD(static_cast<std::uintptr_t>(l));
}
int SignedY(LPARAM l) {
    return static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(l)));
}

// As a window with a caption and a sizing frame has them: the client area
// starts 4 pixels in from the left (the frame) and 27 down (the frame and
// the 23-pixel caption), as GetSystemMetrics tells.
TEST_F(Input, PointerPositionsAreClientCoordinatesInsideTheFrameBelowTheCaption) {
    EXPECT_EQ(GetSystemMetrics(SM_CXFRAME), 4);
    EXPECT_EQ(GetSystemMetrics(SM_CYFRAME), 4);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 23);
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    PushButton(true, SDL_BUTTON_LEFT, 100, 40);
    PushMotion(371, 249, SDL_BUTTON_LMASK);
    PushButton(false, SDL_BUTTON_LEFT, 371, 249);
    PushMotion(5, 0, 0);  // the very top of the image
    PushMotion(3, 26, 0); // the frame's last column, the last row above the client area
    PushMotion(4, 27, 0); // the first client column and row
    auto got = Pump(6);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(X(got[0].lParam), 96);
    EXPECT_EQ(Y(got[0].lParam), 13);
    EXPECT_EQ(got[0].wParam, MK_LBUTTON);
    EXPECT_EQ(got[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(X(got[1].lParam), 367);
    EXPECT_EQ(Y(got[1].lParam), 222);
    EXPECT_EQ(got[1].wParam, MK_LBUTTON);
    EXPECT_EQ(got[2].message, WM_LBUTTONUP);
    EXPECT_EQ(got[2].wParam, 0u) << "the released button is no longer down";
    EXPECT_EQ(X(got[3].lParam), 1);
    EXPECT_EQ(SignedY(got[3].lParam), -27);
    EXPECT_EQ(Y(got[3].lParam), 65536 - 27) << "above the client area: a negative 16-bit y";
    EXPECT_EQ(X(got[4].lParam), 65535) << "left of the client area: a negative 16-bit x";
    EXPECT_EQ(SignedY(got[4].lParam), -1);
    EXPECT_EQ(got[5].lParam, 0);
    EXPECT_EQ(Record().seen.size(), 6u);
    EXPECT_EQ(Record().seen[0].window, window);
}

// Restored, the window reports the size of its client area: the image less
// the frame on both sides and the caption.
TEST_F(Input, ARestoredWindowReportsItsClientAreasSize) {
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    PushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    auto got = Pump(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_SIZE);
    EXPECT_EQ(got[0].wParam, SIZE_RESTORED);
    EXPECT_EQ(X(got[0].lParam), 372 - 2 * 4);
    EXPECT_EQ(Y(got[0].lParam), 250 - 23 - 2 * 4);
}

TEST_F(Input, KeyStateFlagsCarryButtonsShiftAndControl) {
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    SDL_SetModState(static_cast<SDL_Keymod>(KMOD_LSHIFT));
    PushMotion(1, 30, 0);
    SDL_Event marker{};
    auto got = Pump(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, MK_SHIFT);
    SDL_SetModState(static_cast<SDL_Keymod>(KMOD_RCTRL));
    PushMotion(1, 30, SDL_BUTTON_LMASK | SDL_BUTTON_RMASK);
    PushButton(true, SDL_BUTTON_MIDDLE, 1, 30);
    PushButton(true, SDL_BUTTON_RIGHT, 1, 30);
    PushButton(false, SDL_BUTTON_RIGHT, 1, 30);
    got = Pump(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].wParam, MK_LBUTTON | MK_RBUTTON | MK_CONTROL);
    EXPECT_EQ(got[1].message, WM_MBUTTONDOWN);
    EXPECT_EQ(got[1].wParam, MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_CONTROL);
    EXPECT_EQ(got[2].message, WM_RBUTTONDOWN);
    EXPECT_EQ(got[3].message, WM_RBUTTONUP);
    EXPECT_EQ(got[3].wParam, MK_LBUTTON | MK_MBUTTON | MK_CONTROL);
    (void)marker;
}

TEST_F(Input, KeysArriveAsVirtualKeys) {
    Record().handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
    PushKey(true, SDLK_ESCAPE);
    PushKey(true, SDLK_ESCAPE, true);
    PushKey(false, SDLK_ESCAPE);
    PushKey(true, SDLK_a);
    PushKey(true, SDLK_7);
    PushKey(true, SDLK_F5);
    PushKey(true, SDLK_LEFT);
    PushKey(true, SDLK_RETURN);
    auto got = Pump(8);
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[0].wParam, 27u);
    EXPECT_EQ(got[0].lParam & 0xFFFF, 1) << "repeat count";
    EXPECT_EQ(got[0].lParam & 0x40000000, 0) << "a fresh press";
    EXPECT_NE(got[1].lParam & 0x40000000, 0) << "auto-repeat: the key was already down";
    EXPECT_EQ(got[2].message, WM_KEYUP);
    EXPECT_EQ(got[2].wParam, 27u);
    EXPECT_NE(static_cast<std::uint32_t>(got[2].lParam) & 0x80000000u, 0u);
    EXPECT_EQ(got[3].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(got[4].wParam, static_cast<WPARAM>('7'));
    EXPECT_EQ(got[5].wParam, 0x74u);
    EXPECT_EQ(got[6].wParam, VK_LEFT);
    EXPECT_EQ(got[7].wParam, VK_RETURN);
}

// The program's drag: a move with the button held sends itself a caption
// press; the pressed point of the window follows the pointer (motion before
// the move began included), ticks go on, and the release is handed on after
// the move.
TEST_F(Input, CaptionPressMovesTheWindowWithThePointerUntilRelease) {
    int ticksDuringMove = 0, movesDuringMove = 0;
    bool moving = false;
    RECT rect;
    Record().handler = [&](HWND w, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_NCLBUTTONDOWN) return DefWindowProcA(w, message, wParam, 0);
        if (message == WM_MOUSEMOVE && moving) ++movesDuringMove;
        if (message == WM_MOUSEMOVE && (wParam & MK_LBUTTON) && !moving) {
            moving = true;
            SendMessageA(w, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            moving = false;
        }
        if (message != WM_TIMER || !moving) return 0;
        ++ticksDuringMove;
        GetWindowRect(w, &rect);
        // Events carry window coordinates: the pointer goes to 30, 20 right
        // of and below the pressed point, then lets go there.
        if (ticksDuringMove == 2)
            PushMotion(50 + 30 - (rect.left - 40), 40 + 20 - (rect.top - 30), SDL_BUTTON_LMASK);
        if (ticksDuringMove == 4) PushButton(false, SDL_BUTTON_LEFT, 50, 40);
        return 0;
    };
    ASSERT_NE(SetTimer(window, 1, 10, nullptr), 0u);
    PushButton(true, SDL_BUTTON_LEFT, 50, 40);
    PushMotion(60, 45, SDL_BUTTON_LMASK);
    auto got = Pump(2);
    ASSERT_EQ(got[1].message, WM_MOUSEMOVE);
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 40 + 30);
    EXPECT_EQ(rect.top, 30 + 20);
    EXPECT_GE(ticksDuringMove, 4);
    EXPECT_EQ(movesDuringMove, 0) << "pointer moves belong to the move";
    KillTimer(window, 1);
    got = Pump(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_LBUTTONUP) << "the release reaches the program after the move";

    // Without the button held a caption press does nothing.
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 70);
}

// A SIGTERM during a window move ends the move, the button still held, and
// asks the window to close. In a child process: the session stays ended.
TEST_F(Input, ASignalEndsAWindowMoveAndAsksTheWindowToClose) {
    const auto moveUntilTheSignal = [&] {
        bool moving = false, closed = false;
        int ticks = 0;
        Record().handler = [&](HWND w, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
            if (message == WM_NCLBUTTONDOWN) return DefWindowProcA(w, message, wParam, 0);
            if (message == WM_MOUSEMOVE && (wParam & MK_LBUTTON) && !moving) {
                moving = true;
                SendMessageA(w, WM_NCLBUTTONDOWN, HTCAPTION, 0);
                std::_Exit(closed ? 0 : 3);
            }
            if (message == WM_CLOSE) closed = true;
            if (message == WM_TIMER && moving && ++ticks == 2) raise(SIGTERM);
            if (message == WM_TIMER && ticks == 100) std::_Exit(4); // a second on, still moving
            return 0;
        };
        SetTimer(window, 1, 10, nullptr);
        PushButton(true, SDL_BUTTON_LEFT, 50, 40);
        PushMotion(60, 45, SDL_BUTTON_LMASK);
        Pump(2);
        std::_Exit(5);
    };
    EXPECT_EXIT(moveUntilTheSignal(), ::testing::ExitedWithCode(0), "");
}

} // namespace
