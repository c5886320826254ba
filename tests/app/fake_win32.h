#pragma once

// A scripted window system for tests: one window, a message queue with the
// real posting, sending and quit semantics, a timer that fires whenever the
// queue is empty, and a record of every box. ExitProcess throws ExitCalled.

#include "platform/win32.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fake_win32 {

struct Box {
    HWND owner;
    std::string text;
    bool hasCaption;
    std::string caption;
    UINT type;
    int depth; // how many boxes were open around it
};

struct CreatedWindow {
    DWORD exStyle;
    std::string className;
    std::string title;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    void* param;
};

struct State {
    // Scripted results.
    bool registerSucceeds = true;
    bool createSucceeds = true;
    bool releaseDcSucceeds = true;
    bool destroySucceeds = true;
    bool unregisterSucceeds = true;
    int screenWidth = 1920;
    int screenHeight = 1080;
    int captionHeight = 23;
    // Ticks the timer may still deliver before GetMessageA gives up (a test
    // that never posts a quit request would otherwise wait forever).
    int tickBudget = 0;
    // Runs once when the main loop has nothing left to fetch, as the user
    // acting after a while would.
    std::function<void()> whenIdle;
    // Runs inside every box, as the box's own message loop would.
    std::function<void(const Box&)> insideBox;

    // What happened.
    WNDCLASSA registered = {};
    std::string registeredName;
    std::string iconName;
    bool classRegistered = false;
    bool classUnregistered = false;
    std::string unregisteredName;
    CreatedWindow created = {};
    HWND window = nullptr;
    WNDPROC procedure = nullptr;
    bool windowDestroyed = false;
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitRequests = 0;
    bool timerRunning = false;
    UINT timerPeriod = 0;
    UINT_PTR timerId = 0;
    int ticksDelivered = 0;
    int defaultHandled = 0;
    int dcsHeld = 0; // drawing contexts obtained and not released
    std::vector<Box> boxes;
    int boxesOpen = 0;
    std::vector<std::string> log;
};

extern State win;

struct ExitCalled {
    UINT code;
};

void Reset();
// Dispatches every queued message and, while the timer runs and the budget
// lasts, `ticks` timer messages, as a box's loop would between clicks.
void RunPending(int ticks);
HINSTANCE FakeInstance();

} // namespace fake_win32
