#include "app/shell.h"

#include "input/keys.h"
#include "input/pointer.h"
#include "skin/skin_surfaces.h"

namespace {

using MessageHandler = void (*)(HWND window, WPARAM wParam, LPARAM lParam);

// A message the window handles itself. A passed-on message goes, after its
// handling, to the default handling, whose result is returned; a consumed
// one returns 0.
struct MessageRoute {
    UINT message;
    MessageHandler handle;
    bool passOn;
};

// The skin's surfaces exist before the first tick can need them.
void OnCreate(HWND window, WPARAM, LPARAM) {
    CreateSkinSurfaces();
    SetTimer(window, TickTimerId, TickPeriodMs, nullptr);
}

// The timer id is not examined: the window has only the one timer.
void OnTimer(HWND window, WPARAM, LPARAM) {
    TickHandler(window);
}

// Auto-repeat of a held Escape posts more close requests; the first one
// already ends the loop, so they are harmless. The other keys command the
// player, and only while it runs: a box at start-up or at shutdown keeps
// the window's messages going without a library to command.
void OnKeyDown(HWND window, WPARAM key, LPARAM flags) {
    if (key == VK_ESCAPE)
        PostMessageA(window, WM_CLOSE, 0, 0);
    else if (Shell.ticking)
        OnCommandKey(key, flags);
}

// The window is destroyed by the shutdown after the loop, not here.
void OnClose(HWND, WPARAM, LPARAM) {
    PostQuitMessage(0);
}

void OnDestroy(HWND window, WPARAM, LPARAM) {
    KillTimer(window, TickTimerId);
    PostQuitMessage(0);
}

void Ignore(HWND, WPARAM, LPARAM) {}

constexpr MessageRoute Routes[] = {
    {WM_CREATE, OnCreate, true},         {WM_TIMER, OnTimer, true},
    {WM_MOUSEMOVE, OnPointerMove, true}, {WM_LBUTTONDOWN, OnButtonDown, true},
    {WM_LBUTTONUP, OnButtonUp, true},    {WM_KEYDOWN, OnKeyDown, false},
    {WM_KEYUP, Ignore, false},           {WM_CLOSE, OnClose, false},
    {WM_DESTROY, OnDestroy, false},      {WM_SIZE, Ignore, false},
    {WM_ACTIVATE, Ignore, false},
};

} // namespace

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    for (const MessageRoute& route : Routes) {
        if (route.message != message) continue;
        route.handle(window, wParam, lParam);
        return route.passOn ? DefWindowProcA(window, message, wParam, lParam) : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
