// What the layer asks of the X server directly: the 32-bit visual that
// carries alpha, and whether a compositor is running.

#include "platform/state.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <memory>

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

} // namespace platform::detail
