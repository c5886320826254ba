#pragma once

// The application shell: start-up, the window and its procedure, the message
// loop, the tick and the orderly shutdown.

#include "platform/win32.h"

#include <cstdint>

constexpr const char* WindowClassName = "ZilDisc";
constexpr const char* WindowTitle = "z!l tonebox";
constexpr int WindowWidth = 372;
constexpr int WindowHeight = 250;
constexpr UINT_PTR TickTimerId = 1;
constexpr UINT TickPeriodMs = 25;

struct ShellState {
    HWND window;
    HINSTANCE instance;
    // True from the library's start until shutdown begins: only then does a
    // tick do its work. A start-up failure box or a shutdown box runs ticks
    // in its own loop, and those must not load songs into a library that is
    // not there.
    bool ticking;
};

extern ShellState Shell;

// The height of the platform's caption, read once before the window is made.
// Pointer positions are relative to the client area below it, so every
// hit-zone y bound is lowered by it.
extern std::int32_t CaptionHeight;

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The work of one 25 ms tick, in its fixed order: the end-of-song check, the
// glow levels, the controls and the knob drag, and the frame.
void TickHandler(HWND window);

// Registers the class, creates and shows the window, checks and starts the
// library and plays song 0. False when the program has to end (after its box,
// if any).
bool StartUp(int showCommand);

// Fetches and dispatches messages until the quit request.
void RunMessageLoop();

// Frees the library, releases the drawing context, destroys the window,
// unregisters the class, reporting each failure, and ends the process with
// status 0.
[[noreturn]] void ShutDown();
