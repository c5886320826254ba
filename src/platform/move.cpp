// The default handling of messages, with the interactive window move that a
// press on the caption starts.

#include "platform/state.h"

namespace platform::detail {
namespace {

// How often the move looks at the pointer while no event arrives: SDL drops
// motion whose window-relative position did not change once the window has
// caught up, so the last step would otherwise be lost.
constexpr int kMovePollMs = 10;

// The pointer on the desktop and the buttons held. Without a display the
// layer's own record of the events stands in for the desktop.
Uint32 PointerNow(int& x, int& y) {
    if (HasDisplay()) return SDL_GetGlobalMouseState(&x, &y);
    x = State().pointerX;
    y = State().pointerY;
    return State().buttons;
}

void MoveTo(HWND window, int x, int y) {
    if (x == window->x && y == window->y) return;
    window->x = x;
    window->y = y;
    PlaceWindow(*window);
}

bool SwallowedByMove(const MSG& m) {
    return m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONDOWN;
}

} // namespace

// A shaped window's size change makes SDL move it aside and back, and the
// window manager answers a move with reports of its own, some of them sent
// before the move arrived: the reports that trail the layer's own placing
// come within a few milliseconds, a window manager's move of its own never
// that soon after.
constexpr Uint64 kPlaceSettleMs = 300;

void PlaceWindow(HWND__& window) {
    SDL_SetWindowPosition(window.sdl, window.x, window.y);
    window.placedAt = SDL_GetTicks64();
}

bool TakeReportedPlace(const HWND__& window, int x, int y) {
    if (x == window.x && y == window.y) return false;
    return window.placedAt == 0 || SDL_GetTicks64() - window.placedAt >= kPlaceSettleMs;
}

namespace {

// Runs the program's messages for a while: ticks and posted messages are
// dispatched, pointer moves belong to the move, a release is kept for the
// program. False once the release has come or the window is gone.
bool DispatchDuringMove(HWND window) {
    MSG m;
    const Wait got = NextMessage(m, kMovePollMs, false);
    if (got == Wait::Message && m.message == WM_LBUTTONUP) {
        RequeueFront(m);
        return false;
    }
    if (got == Wait::Message && !SwallowedByMove(m)) DispatchMessageA(&m);
    return FindWindow(window) != nullptr;
}

// The layer moves the window itself: the pressed point of the window stays
// under the pointer, so motion before the move began is not lost.
void MoveByHand(HWND window, int grabX, int grabY) {
    int x = 0, y = 0;
    for (;;) {
        const bool goOn = DispatchDuringMove(window);
        const Uint32 buttons = PointerNow(x, y);
        if (!FindWindow(window)) return;
        MoveTo(window, x - grabX, y - grabY);
        if (!goOn || !(buttons & SDL_BUTTON_LMASK) || State().ending) return;
    }
}

// The window manager moves the window, from the pressed point on; the layer
// keeps the messages going until the button is up.
bool MoveByWindowManager(HWND window, int grabX, int grabY) {
    int windowX = 0, windowY = 0, x = 0, y = 0;
    SDL_GetWindowPosition(window->sdl, &windowX, &windowY);
    if (!WindowManagerMoves() ||
        !StartWindowManagerMove(window->sdl, windowX + grabX, windowY + grabY))
        return false;
    while (DispatchDuringMove(window) && (PointerNow(x, y) & SDL_BUTTON_LMASK) && !State().ending) {
    }
    if (FindWindow(window)) SendOwnButtonRelease(window->sdl, x, y);
    return true;
}

} // namespace

// The window follows the pointer until the left button is released, or the
// session ends; the program's other messages, ticks included, go on being
// dispatched. The release is handed on to the program after the move.
void RunWindowMove(HWND window) {
    Platform& s = State();
    int x = 0, y = 0;
    if (s.moveDepth > 0 || !(PointerNow(x, y) & SDL_BUTTON_LMASK)) return;
    ++s.moveDepth;
    const bool pressed = s.pressWindow == window;
    const int grabX = pressed ? s.pressX : x - window->x;
    const int grabY = pressed ? s.pressY : y - window->y;
    if (!HasDisplay() || !MoveByWindowManager(window, grabX, grabY))
        MoveByHand(window, grabX, grabY);
    --s.moveDepth;
}

} // namespace platform::detail

using namespace platform::detail;

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (!FindWindow(window)) return 0;
    switch (message) {
    case WM_NCLBUTTONDOWN:
        if (wParam == HTCAPTION) RunWindowMove(window);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    if (!FindWindow(window) || !rect) return FALSE;
    *rect = RECT{window->x, window->y, window->x + window->ScreenWidth(),
                 window->y + window->ScreenHeight()};
    return TRUE;
}
