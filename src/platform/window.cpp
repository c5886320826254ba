// Start-up of the layer, window classes, windows, contexts and metrics.

#include "platform/present.h"
#include "platform/state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace platform::detail {

Platform& State() {
    static Platform state;
    return state;
}

bool HasDisplay() {
    const auto& driver = State().videoDriver;
    return !driver.empty() && driver != "dummy" && driver != "offscreen";
}

static int WatchPushedEvents(void*, SDL_Event*);

// SDL falls back to its invisible offscreen driver when no display can be
// reached; a program nobody can see, playing on, is not what a user wants,
// so without a display that was asked for there is no video at all.
static void StartVideo(Platform& s) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "platform: no display: %s\n", SDL_GetError());
        return;
    }
    const std::string driver = SDL_GetCurrentVideoDriver();
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    if (driver == "offscreen" && !(requested && std::strstr(requested, "offscreen"))) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        std::fprintf(stderr, "platform: no display to open a window on (DISPLAY is %s)\n",
                     SDL_getenv("DISPLAY") ? "unreachable" : "not set");
        return;
    }
    s.videoUp = true;
    s.videoDriver = driver;
}

void EnsureStarted() {
    Platform& s = State();
    if (s.started) return;
    s.started = true;
    s.loopThread = SDL_ThreadID();
    // A layered window needs its alpha: a software surface, no compositor
    // bypass. The desktop's close arrives per window.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // The layer's own handlers end the session from any thread's signal;
    // SDL's would wait for the next pump of the window's thread.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    CatchEndSignals();
    // No timer subsystem: its thread would wake the loop for every tick; the
    // message wait makes the ticks itself.
    if (SDL_Init(SDL_INIT_EVENTS) != 0)
        std::fprintf(stderr, "platform: cannot start SDL: %s\n", SDL_GetError());
    StartVideo(s);
    s.wakeEvent = SDL_RegisterEvents(1);
    SDL_EventState(SDL_POLLSENTINEL, SDL_IGNORE);
    SDL_AddEventWatch(WatchPushedEvents, nullptr);
    unsigned long visual = 0;
    if (s.videoDriver == "x11" && FindArgbVisual(visual)) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", visual);
        SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, hex);
    }
}

HWND FindWindow(HWND window) {
    auto& windows = State().windows;
    for (auto& w : windows)
        if (&w == window && w.inUse) return window;
    return nullptr;
}

HWND WindowFromSdlId(Uint32 id) {
    for (auto& w : State().windows)
        if (w.inUse && w.sdlId == id) return &w;
    return nullptr;
}

HWND AnyWindow() {
    for (auto& w : State().windows)
        if (w.inUse) return &w;
    return nullptr;
}

static WindowClass* FindClass(LPCSTR name) {
    if (!name) return nullptr;
    for (auto& c : State().classes)
        if (c.inUse && strcasecmp(c.name.c_str(), name) == 0) return &c;
    return nullptr;
}

static int WatchPushedEvents(void*, SDL_Event* event) {
    return OnPushedEvent(*event);
}

static SDL_Window* CreateSdlWindow(HWND__& w, LPCSTR title) {
    const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS;
    const char* name = title ? title : "";
    if (State().videoDriver == "x11" && !CompositorRunning()) {
        SDL_Window* shaped =
            SDL_CreateShapedWindow(name, w.x, w.y, w.ScreenWidth(), w.ScreenHeight(), flags);
        if (shaped) {
            // SDL makes a shaped window at (-1000, -1000); it belongs where
            // the caller asked from the start, shown or not.
            SDL_SetWindowPosition(shaped, w.x, w.y);
            w.placedAt = SDL_GetTicks64();
            w.shaped = true;
            return shaped;
        }
    }
    return SDL_CreateWindow(name, w.x, w.y, w.ScreenWidth(), w.ScreenHeight(), flags);
}

} // namespace platform::detail

using namespace platform::detail;

static HINSTANCE__* ModuleInstance() {
    static char module;
    return reinterpret_cast<HINSTANCE__*>(&module);
}

HINSTANCE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName ? nullptr : ModuleInstance();
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    EnsureStarted();
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        !*windowClass->lpszClassName || FindClass(windowClass->lpszClassName))
        return 0;
    auto& classes = State().classes;
    for (int i = 0; i < kMaxClasses; ++i) {
        if (classes[i].inUse) continue;
        classes[i] = {true, windowClass->lpszClassName, windowClass->lpfnWndProc,
                      windowClass->hInstance};
        return static_cast<ATOM>(0xC000 + i);
    }
    return 0;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    WindowClass* c = FindClass(className);
    if (!c || c->instance != instance) return FALSE;
    for (auto& w : State().windows)
        if (w.inUse && strcasecmp(w.className.c_str(), c->name.c_str()) == 0) return FALSE;
    *c = WindowClass{};
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
    EnsureStarted();
    WindowClass* c = FindClass(className);
    if (!c || width <= 0 || height <= 0 || !State().videoUp) return nullptr;
    HWND__* w = nullptr;
    for (auto& slot : State().windows)
        if (!slot.inUse) {
            w = &slot;
            break;
        }
    if (!w) return nullptr;
    *w = HWND__{};
    w->width = width, w->height = height;
    // Shown at the layer's scale, about the centre the program asked for: a
    // window the program centred on the screen stays centred.
    w->scale = StartScale();
    w->x = (2 * x + width - w->ScreenWidth()) >> 1;
    w->y = (2 * y + height - w->ScreenHeight()) >> 1;
    w->sdl = CreateSdlWindow(*w, windowName);
    if (!w->sdl) {
        std::fprintf(stderr, "platform: cannot create a window: %s\n", SDL_GetError());
        return nullptr;
    }
    w->inUse = true;
    w->sdlId = SDL_GetWindowID(w->sdl);
    RememberDesktopConnection(w->sdl);
    w->proc = c->proc;
    w->className = c->name;
    w->title = windowName ? windowName : "";
    w->style = style;
    w->exStyle = exStyle;
    w->wantsShow = (style & WS_VISIBLE) != 0;
    w->dc = HDC__{HDC__::Kind::Window, w};
    CREATESTRUCTA create{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (w->proc(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(w);
        return nullptr;
    }
    return w;
}

BOOL DestroyWindow(HWND window) {
    if (!FindWindow(window)) return FALSE;
    window->proc(window, WM_DESTROY, 0, 0);
    if (!FindWindow(window)) return TRUE; // destroyed from within its own WM_DESTROY
    KillWindowTimers(window);
    ForgetWindowMessages(window);
    window->x11Image.reset(); // its requests name the window
    SDL_DestroyWindow(window->sdl);
    *window = HWND__{};
    return TRUE;
}

BOOL ShowWindow(HWND window, int showCommand) {
    if (!FindWindow(window)) return FALSE;
    const BOOL wasVisible = window->wantsShow ? TRUE : FALSE;
    switch (showCommand) {
    case SW_HIDE:
        window->wantsShow = false;
        if (window->mapped) SDL_HideWindow(window->sdl);
        window->mapped = false;
        break;
    case SW_MINIMIZE:
        window->wantsShow = true;
        if (window->mapped)
            SDL_MinimizeWindow(window->sdl);
        else
            window->minimisePending = true;
        break;
    default:
        window->wantsShow = true;
        window->minimisePending = false;
        if (window->mapped)
            SDL_RestoreWindow(window->sdl);
        else
            platform::ShowImageAgain(window); // mapped with its image, once it has one
        break;
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND window) {
    return FindWindow(window) ? TRUE : FALSE;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    // The program carries no named icon resources; the desktop's stock icon
    // stands for every standard one.
    static char stockIcon;
    const bool standard = !instance && reinterpret_cast<std::uintptr_t>(name) < 0x10000;
    return standard ? reinterpret_cast<HICON>(&stockIcon) : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    static char stockCursor;
    const bool standard = !instance && reinterpret_cast<std::uintptr_t>(name) < 0x10000;
    return standard ? reinterpret_cast<HCURSOR>(&stockCursor) : nullptr;
}

HDC GetDC(HWND window) {
    EnsureStarted();
    if (!window) {
        State().screenDc = HDC__{HDC__::Kind::Screen, nullptr};
        return &State().screenDc;
    }
    return FindWindow(window) ? &window->dc : nullptr;
}

int ReleaseDC(HWND window, HDC dc) {
    if (!dc) return 0;
    if (!window) return dc == &State().screenDc ? 1 : 0;
    return FindWindow(window) && dc == &window->dc ? 1 : 0;
}

static bool DesktopSize(int& width, int& height) {
    EnsureStarted();
    SDL_DisplayMode mode;
    if (!State().videoUp || SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    width = mode.w;
    height = mode.h;
    return true;
}

int GetDeviceCaps(HDC dc, int index) {
    int width = 0, height = 0;
    if (!dc || !DesktopSize(width, height)) return 0;
    switch (index) {
    case HORZRES:
        return width;
    case VERTRES:
        return height;
    case BITSPIXEL:
        return 32;
    default:
        return 0;
    }
}

int GetSystemMetrics(int index) {
    int width = 0, height = 0;
    switch (index) {
    case SM_CYCAPTION:
        return kCaptionHeight;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return kFrameWidth;
    case SM_CXSCREEN:
        return DesktopSize(width, height) ? width : 0;
    case SM_CYSCREEN:
        return DesktopSize(width, height) ? height : 0;
    default:
        return 0;
    }
}

void ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    // The sound layer ends its device and its threads in order as the
    // process ends; the windows go with the process, as the desktop takes
    // them down. Tearing SDL's display down here races SDL's own wake-ups
    // against the destroyed windows, and Xlib ends the process on that error.
    for (auto& t : State().timers)
        if (t.inUse) KillTimer(t.window, t.id);
    std::exit(static_cast<int>(exitCode));
}
