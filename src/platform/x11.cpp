// What the layer asks of the X server directly: the 32-bit visual that
// carries alpha, whether a compositor is running, and the window manager's
// own window move.

#include "platform/state.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace platform::detail {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// The layer's own connection, opened on first use and kept for the run.
Display* OwnDisplay() {
    static std::unique_ptr<Display, DisplayCloser> display{XOpenDisplay(nullptr)};
    return display.get();
}

} // namespace

bool FindArgbVisual(unsigned long& visualId) {
    Display* display = OwnDisplay();
    if (!display) return false;
    XVisualInfo info;
    if (!XMatchVisualInfo(display, DefaultScreen(display), 32, TrueColor, &info)) return false;
    visualId = info.visualid;
    return true;
}

bool CompositorRunning() {
    Display* display = OwnDisplay();
    if (!display) return false;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(display));
    const Atom selection = XInternAtom(display, name, False);
    return XGetSelectionOwner(display, selection) != None;
}

int ResourceScale() {
    Display* display = OwnDisplay();
    const char* resources = display ? XResourceManagerString(display) : nullptr;
    if (!resources) return 0;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0;
    if (database && XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
        dpi = std::atof(std::string(value.addr, value.size).c_str());
    if (database) XrmDestroyDatabase(database);
    return dpi > 0 ? static_cast<int>(std::floor(dpi / 96 + 0.5)) : 0;
}

} // namespace platform::detail

namespace platform::detail {
namespace {

struct SdlX11 {
    Display* display = nullptr;
    Window window = 0;
};

// SDL's own connection and the window's id: a grab held by SDL can only be
// given up on SDL's connection.
SdlX11 X11Of(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return {};
    return {info.info.x11.display, info.info.x11.window};
}

Display* sdlDisplay = nullptr; // SDL's connection, once a window has shown it

} // namespace

void RememberDesktopConnection(SDL_Window* window) {
    if (!sdlDisplay) sdlDisplay = X11Of(window).display;
}

int DesktopConnection() {
    return sdlDisplay ? ConnectionNumber(sdlDisplay) : -1;
}

bool DesktopEventsUnread() {
    return sdlDisplay && XEventsQueued(sdlDisplay, QueuedAfterFlush) > 0;
}

bool WindowManagerMoves() {
    Display* display = OwnDisplay();
    if (!display) return false;
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", False);
    const Atom moveResize = XInternAtom(display, "_NET_WM_MOVERESIZE", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), supported, 0, 4096, False, XA_ATOM,
                           &type, &format, &count, &after, &data) != Success ||
        !data)
        return false;
    const auto* atoms = reinterpret_cast<const Atom*>(data);
    const bool found =
        type == XA_ATOM && std::find(atoms, atoms + count, moveResize) != atoms + count;
    XFree(data);
    return found;
}

bool StartWindowManagerMove(SDL_Window* window, int rootX, int rootY) {
    const SdlX11 x = X11Of(window);
    if (!x.display) return false;
    SDL_CaptureMouse(SDL_FALSE);
    XUngrabPointer(x.display, CurrentTime);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = x.window;
    event.xclient.message_type = XInternAtom(x.display, "_NET_WM_MOVERESIZE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = rootX;
    event.xclient.data.l[1] = rootY;
    event.xclient.data.l[2] = 8; // move
    event.xclient.data.l[3] = 1; // the left button
    event.xclient.data.l[4] = 1; // asked for by an ordinary program
    XSendEvent(x.display, DefaultRootWindow(x.display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(x.display);
    return true;
}

// The window manager keeps the release it saw; SDL would go on believing the
// button is down and drop the next press.
void SendOwnButtonRelease(SDL_Window* window, int rootX, int rootY) {
    const SdlX11 x = X11Of(window);
    if (!x.display) return;
    int windowX = 0, windowY = 0;
    SDL_GetWindowPosition(window, &windowX, &windowY);
    XEvent event{};
    event.xbutton.type = ButtonRelease;
    event.xbutton.display = x.display;
    event.xbutton.window = x.window;
    event.xbutton.root = DefaultRootWindow(x.display);
    event.xbutton.time = CurrentTime;
    event.xbutton.x = rootX - windowX;
    event.xbutton.y = rootY - windowY;
    event.xbutton.x_root = rootX;
    event.xbutton.y_root = rootY;
    event.xbutton.state = Button1Mask;
    event.xbutton.button = Button1;
    event.xbutton.same_screen = True;
    XSendEvent(x.display, x.window, True, ButtonReleaseMask, &event);
    XFlush(x.display);
}

void ReleaseLostButton(SDL_Window* window) {
    int x = 0, y = 0;
    const bool sdlHeld = SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK;
    const bool reallyHeld = SDL_GetGlobalMouseState(&x, &y) & SDL_BUTTON_LMASK;
    if (sdlHeld && !reallyHeld) SendOwnButtonRelease(window, x, y);
}

} // namespace platform::detail
