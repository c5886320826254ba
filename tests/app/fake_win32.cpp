#include "fake_win32.h"

#include "desktop/media_controls.h"

#include <cstring>
#include <stdexcept>

namespace fake_win32 {

State win;

void Reset() {
    win = State{};
}

HINSTANCE FakeInstance() {
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000});
}

namespace {

HWND FakeWindow() {
    return reinterpret_cast<HWND>(std::uintptr_t{0x1234});
}
HDC ScreenDc() {
    return reinterpret_cast<HDC>(std::uintptr_t{0x5000});
}
HDC WindowDc() {
    return reinterpret_cast<HDC>(std::uintptr_t{0x5001});
}

LRESULT Deliver(const MSG& message) {
    if (message.hwnd != win.window || win.procedure == nullptr) return 0;
    return win.procedure(message.hwnd, message.message, message.wParam, message.lParam);
}

// The next message as the real queue orders it: posted messages first, then
// the quit request, then the timer. False when nothing would ever come.
bool Next(MSG* message) {
    if (!win.queue.empty()) {
        *message = win.queue.front();
        win.queue.pop_front();
        return true;
    }
    if (win.quitPosted) {
        win.quitPosted = false;
        *message = MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
        return true;
    }
    if (win.timerRunning && win.tickBudget > 0) {
        --win.tickBudget;
        ++win.ticksDelivered;
        *message = MSG{win.window, WM_TIMER, win.timerId, 0, 0, {0, 0}};
        return true;
    }
    return false;
}

} // namespace

void RunPending(int ticks) {
    const int budget = win.tickBudget;
    win.tickBudget = ticks;
    MSG message;
    while (Next(&message)) {
        if (message.message == WM_QUIT) {
            win.quitPosted = true; // a box's loop leaves the quit request for the main loop
            break;
        }
        Deliver(message);
    }
    win.tickBudget = budget;
}

} // namespace fake_win32

using namespace fake_win32;

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!win.registerSucceeds) return 0;
    win.registered = *windowClass;
    win.registeredName = windowClass->lpszClassName;
    win.classRegistered = true;
    return 0xC001;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    win.log.push_back("UnregisterClassA");
    win.unregisteredName = className;
    if (!win.unregisterSucceeds || instance != win.registered.hInstance) return FALSE;
    win.classUnregistered = true;
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
    win.created = CreatedWindow{exStyle, className, windowName, style, x,        y,
                                width,   height,    parent,     menu,  instance, param};
    if (!win.createSucceeds || !win.classRegistered || win.registeredName != className)
        return nullptr;
    win.window = FakeWindow();
    win.procedure = win.registered.lpfnWndProc;
    win.procedure(win.window, WM_CREATE, 0, 0);
    return win.window;
}

BOOL DestroyWindow(HWND window) {
    win.log.push_back("DestroyWindow");
    if (!win.destroySucceeds || window != win.window || win.windowDestroyed) return FALSE;
    win.procedure(window, WM_DESTROY, 0, 0);
    win.windowDestroyed = true;
    return TRUE;
}

BOOL ShowWindow(HWND, int showCommand) {
    win.log.push_back("ShowWindow(" + std::to_string(showCommand) + ")");
    return TRUE;
}

BOOL UpdateWindow(HWND) {
    win.log.push_back("UpdateWindow");
    return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    win.iconName = name;
    return nullptr; // no icon resource by that name
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr && name == IDC_ARROW)
        return reinterpret_cast<HCURSOR>(std::uintptr_t{0x10});
    return nullptr;
}

HINSTANCE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? FakeInstance() : nullptr;
}

BOOL GetMessageA(MSG* message, HWND, UINT, UINT) {
    bool fetched = Next(message);
    if (!fetched && win.whenIdle) {
        std::function<void()> act = std::move(win.whenIdle);
        win.whenIdle = nullptr;
        act();
        fetched = Next(message);
    }
    if (!fetched) throw std::runtime_error("the message loop would wait forever");
    return message->message == WM_QUIT ? 0 : 1;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message) {
    return Deliver(*message);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    ++win.defaultHandled;
    return 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    win.queue.push_back(MSG{window, message, wParam, lParam, 0, {0, 0}});
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(MSG{window, message, wParam, lParam, 0, {0, 0}});
}

void PostQuitMessage(int) {
    win.quitPosted = true;
    ++win.quitRequests;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC callback) {
    win.log.push_back("SetTimer");
    if (window != win.window || callback != nullptr) return 0;
    win.timerRunning = true;
    win.timerId = id;
    win.timerPeriod = elapseMs;
    return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    win.log.push_back("KillTimer");
    if (window != win.window || id != win.timerId || !win.timerRunning) return FALSE;
    win.timerRunning = false;
    return TRUE;
}

HDC GetDC(HWND window) {
    ++win.dcsHeld;
    return window == nullptr ? ScreenDc() : WindowDc();
}

int ReleaseDC(HWND window, HDC dc) {
    win.log.push_back(window == nullptr ? "ReleaseDC(screen)" : "ReleaseDC(window)");
    if (dc == nullptr) return 0;
    --win.dcsHeld;
    if (window != nullptr && !win.releaseDcSucceeds) return 0;
    return 1;
}

int GetDeviceCaps(HDC dc, int index) {
    if (dc != ScreenDc()) return 0;
    if (index == HORZRES) return win.screenWidth;
    if (index == VERTRES) return win.screenHeight;
    return 0;
}

int GetSystemMetrics(int index) {
    return index == SM_CYCAPTION ? win.captionHeight : 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    win.log.push_back(std::string("MessageBoxA(") + text + ")");
    Box box{owner, text, caption != nullptr, caption ? caption : "", type, win.boxesOpen};
    win.boxes.push_back(box);
    ++win.boxesOpen;
    if (win.insideBox) win.insideBox(box);
    --win.boxesOpen;
    return IDOK;
}

// The desktop's player controls, which the program asks for once it plays:
// there are none here.
void ServeMediaControls(HWND) {
    win.log.push_back("ServeMediaControls");
}

void ExitProcess(UINT exitCode) {
    throw ExitCalled{exitCode};
}

// Drawing: no surface can be made here, so every drawing step fails and
// leaves its effect out, as a failed step does on the desktop. Only the
// frame's hand-over to the window is recorded.

HBITMAP CreateBitmap(int, int, UINT, UINT, const void*) {
    return nullptr;
}
HBITMAP CreateCompatibleBitmap(HDC, int, int) {
    return nullptr;
}
HBITMAP CreateDIBSection(HDC, const BITMAPINFO*, UINT, void** bits, HANDLE, DWORD) {
    if (bits) *bits = nullptr;
    return nullptr;
}
BOOL GdiFlush() {
    return TRUE;
}
HDC CreateCompatibleDC(HDC) {
    return nullptr;
}
HGDIOBJ SelectObject(HDC, HGDIOBJ) {
    return nullptr;
}
BOOL DeleteObject(HGDIOBJ) {
    return FALSE;
}
BOOL DeleteDC(HDC) {
    return FALSE;
}
HBRUSH CreateSolidBrush(COLORREF) {
    return nullptr;
}
int FillRect(HDC, const RECT*, HBRUSH) {
    return 0;
}
BOOL BitBlt(HDC, int, int, int, int, HDC, int, int, DWORD) {
    return FALSE;
}
BOOL AlphaBlend(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION) {
    return FALSE;
}
int GetDIBits(HDC, HBITMAP, UINT, UINT, void*, BITMAPINFO*, UINT) {
    return 0;
}
int SetDIBitsToDevice(HDC, int, int, DWORD, DWORD, int, int, UINT, UINT, const void*,
                      const BITMAPINFO*, UINT) {
    return 0;
}
BOOL UpdateLayeredWindow(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) {
    win.log.push_back("UpdateLayeredWindow");
    return FALSE;
}
