#pragma once

// The platform layer's own records: window classes, windows, drawing
// contexts, timers and the message queue. Only the layer's sources include
// this header; the program sees opaque handles.

#include "platform/damage.h"
#include "platform/win32.h"

#include <SDL.h>
#include <poll.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The window's image in shared memory with the X server (x11_image.cpp).
struct X11Image;
namespace platform::detail {
struct X11ImageRelease {
    void operator()(X11Image* image) const;
};
using X11ImageHandle = std::unique_ptr<X11Image, X11ImageRelease>;
} // namespace platform::detail

struct HBITMAP__ {
    int width = 0;
    int height = 0;
    // Premultiplied BGRA; top row first, or bottom row first for a DIB
    // section whose program-visible memory runs bottom-up.
    std::vector<std::uint32_t> pixels;
    bool bottomUp = false;
    HDC__* holder = nullptr; // the memory context it is selected into

    // Row y counted from the top, wherever it is stored.
    std::uint32_t* Row(int y) {
        return pixels.data() + static_cast<std::size_t>(bottomUp ? height - 1 - y : y) * width;
    }
};

struct HBRUSH__ {
    COLORREF colour = 0;
};

struct HDC__ {
    enum class Kind { Screen, Window, Memory };
    Kind kind = Kind::Screen;
    HWND window = nullptr;
    HBITMAP bitmap = nullptr; // memory contexts: the selected bitmap
};

struct HWND__ {
    bool inUse = false;
    SDL_Window* sdl = nullptr;
    Uint32 sdlId = 0;
    WNDPROC proc = nullptr;
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0;          // on the desktop, in its pixels
    Uint64 placedAt = 0;       // when the layer last put the window at x, y itself
    int width = 0, height = 0; // the program's size, shown `scale` times larger
    int scale = 1;
    bool wantsShow = false; // visible as far as the program is concerned
    bool mapped = false;    // shown on the desktop (only after the first image)
    bool minimisePending = false;
    bool shaped = false; // no compositor: the transparent surround is cut away
    bool shapeSet = false;
    bool reshape = false; // the set of seen pixels changed since the shape was made
    // The image the program presented last, what its latest present changed,
    // and the enlarged copies that carry the changes to the desktop.
    platform::detail::KeptImage kept;
    platform::detail::TileSet changed;
    platform::detail::Handover handover;
    // The enlarged image, kept only where the window's surface cannot hold
    // its bytes as they are.
    std::vector<std::uint32_t> image;
    const void* target = nullptr; // the buffers the handover fills
    // On X11 the image goes to the server without SDL's surface, once made.
    platform::detail::X11ImageHandle x11Image;
    bool x11ImageTried = false;
    bool hasImage = false;
    int ScreenWidth() const { return width * scale; }
    int ScreenHeight() const { return height * scale; }
    HDC__ dc;
};

namespace platform::detail {

constexpr int kMaxClasses = 16;
constexpr int kMaxWindows = 16;
constexpr int kMaxTimers = 32;
constexpr int kCaptionHeight = 23;
// The sizing frame round a captioned window's client area, on every side.
constexpr int kFrameWidth = 4;

struct WindowClass {
    bool inUse = false;
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
};

// A timer's slot. No thread of its own: the message wait makes the tick
// when the timer is due and nothing else waits.
struct Timer {
    bool inUse = false;
    HWND window = nullptr;
    UINT_PTR id = 0;
    TIMERPROC callback = nullptr;
    Uint64 start = 0;  // the grid's origin, on the layer's clock (ms)
    Uint64 period = 0; // ms
    Uint64 due = 0;    // the grid point of the next tick
};

struct Platform {
    bool started = false;
    bool videoUp = false;
    std::string videoDriver;     // "x11", "dummy", "offscreen", or empty without video
    Uint32 wakeEvent = 0;        // the SDL event type that wakes the message wait
    SDL_threadID loopThread = 0; // the thread that started the layer and runs its loop
    std::array<WindowClass, kMaxClasses> classes;
    std::array<HWND__, kMaxWindows> windows;
    std::array<Timer, kMaxTimers> timers;
    UINT_PTR nextThreadTimerId = 1;
    bool quitPending = false;
    int quitCode = 0;
    // A signal ended the session: boxes and moves give way.
    bool ending = false;
    Uint32 buttons = 0; // SDL button mask as last seen in events
    int pointerX = 0;   // pointer in desktop coordinates as last seen in events
    int pointerY = 0;
    HWND pressWindow = nullptr; // where the left button last went down, window coordinates
    int pressX = 0;
    int pressY = 0;
    int moveDepth = 0;   // inside the interactive window move
    int askedScale = -1; // the process entry's choice: -1 none (1), 0 the desktop's, else 1 to 4
    int startScale = 0;  // worked out once, when the layer starts
    HDC__ screenDc;
};

Platform& State();

// Starts SDL (video, timer, events) once; safe to call from every entry point.
void EnsureStarted();
bool HasDisplay(); // a real desktop, not the dummy or offscreen driver

// The layer's clock for timers, in milliseconds: SDL's unless a test set its own.
Uint64 Now();

HWND FindWindow(HWND window);    // the window if it is alive, else null
HWND WindowFromSdlId(Uint32 id); // the window behind an SDL window id
HWND AnyWindow();                // some live window, for events without one
void ForgetWindowMessages(HWND window);
void KillWindowTimers(HWND window);

// The result of waiting for the next message.
enum class Wait { Message, Quit, Woken };

// Takes the next message for any window, translating desktop events as they
// come. Blocks (no polling) until a message arrives; returns Woken when a
// wake-up was posted or `timeoutMs` (if not negative) has passed, and Quit
// when a quit request is pending and `honourQuit` is set.
Wait NextMessage(MSG& message, int timeoutMs, bool honourQuit);
void WakeWaiters();                        // makes NextMessage return Woken; any thread
int WakeDescriptor();                      // what a write to wakes the message wait
int OnPushedEvent(const SDL_Event& event); // SDL's watch of every pushed event
WPARAM VirtualKey(SDL_Keycode key);        // 0 for keys the program cannot see
void RequeueFront(const MSG& message);

// SIGTERM and SIGINT: caught once at start-up, taken by the message wait,
// which then ends the session (every window asked to close).
void CatchEndSignals();
bool TakeEndSignal();
void EndSession();

// The window's desktop buffers and shape go; the next image is sent whole.
void ForgetDesktopImage(HWND__& window);

// The scale the layer's windows start at (1 unless the process entry asked
// for the desktop's), a window's new scale, which keeps its centre where it
// is, and the keys that change it: Ctrl with plus, minus or 0. True when the
// key was one of them.
int StartScale();
void SetWindowScale(HWND window, int scale);
bool TakeScaleKey(HWND window, const SDL_KeyboardEvent& key);
// The X resource database's Xft.dpi as a scale (96 dots an inch a step,
// halves up), or 0 without one.
int ResourceScale();

// Puts the window at its x, y on the desktop. For a moment after, the
// desktop's reports of where it is are not taken: they may still describe a
// place from before, and the window would follow them back there.
void PlaceWindow(HWND__& window);
// Whether the desktop's report of the window at (x, y) is to be taken.
bool TakeReportedPlace(const HWND__& window, int x, int y);

// The interactive move, run by DefWindowProcA for a caption press.
void RunWindowMove(HWND window);

// X11 helpers; each does nothing without an X11 display.
bool FindArgbVisual(unsigned long& visualId);
bool CompositorRunning();
bool WindowManagerMoves(); // the window manager offers _NET_WM_MOVERESIZE
bool StartWindowManagerMove(SDL_Window* window, int rootX, int rootY);
void SendOwnButtonRelease(SDL_Window* window, int rootX, int rootY);
// A release the window never saw (it was minimised or hidden while the
// button was down) is given to it, so the next press is not taken for a
// button already down.
void ReleaseLostButton(SDL_Window* window);
// The program's own descriptor (descriptor_watch.h), watched in the same
// wait: before it, its poll entry (descriptor -1 for none) with `timeoutMs`
// shortened to its own; after it, served if its descriptor is ready or its
// time has come (true then).
pollfd PrepareWatch(int& timeoutMs);
bool ServeWatch(const pollfd& entry);
// SDL's own connection, which the message wait watches: its descriptor (-1
// without one), and whether events have come that nobody has read yet.
void RememberDesktopConnection(SDL_Window* window);
int DesktopConnection();
bool DesktopEventsUnread(); // sends what is buffered first

// The window's image through shared memory with a local X server: null
// without one, or where the window's visual does not take the frame's bytes
// as they are, and then SDL's window surface serves. Two buffers, 0 and 1,
// of width x height pixels, top-down rows with no gaps between them.
X11ImageHandle OpenX11Image(SDL_Window* window, int width, int height);
std::uint32_t* X11ImageBuffer(X11Image& image, int index);
// Sends the rectangles, given in pixels `scale` times smaller, from a buffer.
void SendX11Image(X11Image& image, int index, const Rect* rects, int count, int scale);
void SendWholeX11Image(X11Image& image, int index);

} // namespace platform::detail
