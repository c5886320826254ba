// The window's image sent to the X server through shared memory. SDL's own
// window surface waits for the server at every update (a round trip, and
// the loop's thread switched out and in again, forty times a second); this
// one sends what changed and goes on. Two images take turns, so one is
// filled while the server may still be reading the other.

#include "platform/state.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

struct X11Image {
    struct Segment {
        XImage* image = nullptr;
        XShmSegmentInfo shm{};
        bool attached = false;
    };
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    int width = 0, height = 0;
    Segment segments[2];

    ~X11Image() {
        // Detaching is a request like any other: nothing is waited for, and
        // the server keeps its own mapping until it has read what it was sent.
        for (Segment& s : segments) {
            if (s.attached) XShmDetach(display, &s.shm);
            if (s.shm.shmaddr) shmdt(s.shm.shmaddr);
            if (s.image) {
                s.image->data = nullptr; // the segment, not Xlib's to free
                XDestroyImage(s.image);
            }
        }
        if (gc) XFreeGC(display, gc);
        if (display) XFlush(display);
    }
};

namespace platform::detail {
namespace {

bool attachFailed = false;

int NoteAttachError(Display*, XErrorEvent*) {
    attachFailed = true;
    return 0;
}

// Shared memory reaches only a server on this machine.
bool LocalDisplay(Display* display) {
    const char* name = DisplayString(display);
    return name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
}

// A 32-bit image whose bytes are B, G, R and then alpha or padding, as the
// frames are made; anything else goes through SDL's conversion instead.
bool TakesFrameBytes(const XImage& image, const Visual& visual, int width) {
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst &&
           image.bytes_per_line == width * 4 && visual.red_mask == 0xFF0000 &&
           visual.green_mask == 0xFF00 && visual.blue_mask == 0xFF;
}

bool MakeSegment(X11Image& x, X11Image::Segment& s, const XWindowAttributes& attributes) {
    s.image = XShmCreateImage(x.display, attributes.visual, static_cast<unsigned>(attributes.depth),
                              ZPixmap, nullptr, &s.shm, static_cast<unsigned>(x.width),
                              static_cast<unsigned>(x.height));
    if (!s.image || !TakesFrameBytes(*s.image, *attributes.visual, x.width)) return false;
    const std::size_t bytes = static_cast<std::size_t>(s.image->bytes_per_line) * x.height;
    s.shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (s.shm.shmid < 0) return false;
    void* at = shmat(s.shm.shmid, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
        shmctl(s.shm.shmid, IPC_RMID, nullptr);
        return false;
    }
    s.shm.shmaddr = s.image->data = static_cast<char*>(at);
    s.shm.readOnly = True;
    // The server's refusal (a server elsewhere after all) comes back as an
    // error, which would otherwise end the process.
    attachFailed = false;
    XErrorHandler previous = XSetErrorHandler(NoteAttachError);
    s.attached = XShmAttach(x.display, &s.shm) != 0;
    XSync(x.display, False);
    XSetErrorHandler(previous);
    s.attached = s.attached && !attachFailed;
    // Both sides hold it now; it goes away when both have let go.
    shmctl(s.shm.shmid, IPC_RMID, nullptr);
    return s.attached;
}

// No completion event is asked for: it would wake the loop again. A segment
// is filled again only after the other one was sent, a tick later at the
// least, by when the server has long read it.
void Put(X11Image& x, const X11Image::Segment& s, const Rect& r) {
    XShmPutImage(x.display, x.window, x.gc, s.image, r.x, r.y, r.x, r.y,
                 static_cast<unsigned>(r.width), static_cast<unsigned>(r.height), False);
}

} // namespace

void X11ImageRelease::operator()(X11Image* image) const {
    delete image;
}

X11ImageHandle OpenX11Image(SDL_Window* window, int width, int height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    Display* display = info.info.x11.display;
    if (!LocalDisplay(display) || !XShmQueryExtension(display)) return nullptr;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes)) return nullptr;
    X11ImageHandle x(new X11Image);
    x->display = display;
    x->window = info.info.x11.window;
    x->width = width;
    x->height = height;
    for (X11Image::Segment& s : x->segments)
        if (!MakeSegment(*x, s, attributes)) return nullptr;
    x->gc = XCreateGC(display, x->window, 0, nullptr);
    return x->gc ? std::move(x) : nullptr;
}

std::uint32_t* X11ImageBuffer(X11Image& x, int index) {
    return reinterpret_cast<std::uint32_t*>(x.segments[index & 1].image->data);
}

void SendX11Image(X11Image& x, int index, const Rect* rects, int count, int scale) {
    for (int i = 0; i < count; ++i) {
        const Rect& r = rects[i];
        Put(x, x.segments[index & 1],
            Rect{r.x * scale, r.y * scale, r.width * scale, r.height * scale});
    }
    if (count > 0) XFlush(x.display);
}

void SendWholeX11Image(X11Image& x, int index) {
    Put(x, x.segments[index & 1], Rect{0, 0, x.width, x.height});
    XFlush(x.display);
}

} // namespace platform::detail
