// The window's image: premultiplied BGRA rows onto the window's ARGB surface,
// and, without a compositor, a window shape that cuts away what is fully
// transparent.

#include "platform/present.h"
#include "platform/state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace platform::detail;

// The window's surface when it holds the image's own bytes (B, G, R, A: a
// 32-bit ARGB value in memory order) and is big enough; null otherwise.
SDL_Surface* SurfaceOfBytes(HWND__& w) {
    SDL_Surface* surface = SDL_GetWindowSurface(w.sdl);
    if (!surface || surface->w < w.width || surface->h < w.height) return nullptr;
    const Uint32 format = surface->format->format;
    return format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888 ? surface
                                                                                  : nullptr;
}

void CopyPlain(const Uint8* from, std::ptrdiff_t fromPitch, Uint8* to, int toPitch, int width,
               int height) {
    for (int row = 0; row < height; ++row)
        std::memcpy(to + static_cast<std::size_t>(row) * toPitch, from + row * fromPitch,
                    static_cast<std::size_t>(width) * 4);
}

// Four pixels at a time.
using Quad = std::uint32_t __attribute__((vector_size(16)));

// Copies one row and tells (as nonzero) whether any pixel went from seen to
// cut away or back against the row shown before it (`was`, which may be the
// row written): alpha 0 against the rest.
std::uint32_t CopyRowNotingFlips(const Uint8* in, const Uint8* was, Uint8* out, int width) {
    Quad flips{};
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        Quad now, before;
        std::memcpy(&now, in + 4 * x, sizeof now);
        std::memcpy(&before, was + 4 * x, sizeof before);
        flips |= ((now >> 24) == 0) ^ ((before >> 24) == 0);
        std::memcpy(out + 4 * x, &now, sizeof now);
    }
    std::uint32_t any = flips[0] | flips[1] | flips[2] | flips[3];
    for (; x < width; ++x) {
        std::uint32_t now, before;
        std::memcpy(&now, in + 4 * x, 4);
        std::memcpy(&before, was + 4 * x, 4);
        any |= ((now >> 24) == 0) ^ ((before >> 24) == 0);
        std::memcpy(out + 4 * x, &now, 4);
    }
    return any;
}

// Copies the rows into `to` (`toPitch` bytes apart). For a shaped window it
// also tells whether the set of visible pixels changed since the image
// shown last, `shown` (rows `toPitch` apart; it may be `to` itself), or
// that it did when nothing was shown.
bool CopyRows(HWND__& w, const Uint8* from, std::ptrdiff_t fromPitch, Uint8* to, int toPitch,
              const Uint8* shown) {
    if (!w.shaped) {
        CopyPlain(from, fromPitch, to, toPitch, w.width, w.height);
        return false;
    }
    if (!shown) {
        CopyPlain(from, fromPitch, to, toPitch, w.width, w.height);
        return true;
    }
    std::uint32_t flips = 0;
    for (int row = 0; row < w.height; ++row) {
        const std::size_t at = static_cast<std::size_t>(row) * toPitch;
        flips |= CopyRowNotingFlips(from + row * fromPitch, shown + at, to + at, w.width);
    }
    return flips != 0;
}

// The X server's shared image, made on first use; null where SDL's window
// surface has to serve.
X11Image* ServerImage(HWND__& w) {
    if (!w.x11ImageTried && HasDisplay()) {
        w.x11ImageTried = true;
        w.x11Image = OpenX11Image(w.sdl, w.width, w.height);
    }
    return w.x11Image.get();
}

// Puts the image where the desktop reads it: into the X server's shared
// image, or straight onto SDL's surface when it takes these bytes, else kept
// and converted. For a shaped window, true
// when the set of visible pixels changed.
bool StoreImage(HWND__& w, const Uint8* pixels, int pitchBytes) {
    if (X11Image* server = ServerImage(w)) {
        const auto* shown = reinterpret_cast<const Uint8*>(X11ImageShown(*server));
        return CopyRows(w, pixels, pitchBytes, reinterpret_cast<Uint8*>(X11ImageToFill(*server)),
                        w.width * 4, shown);
    }
    if (SDL_Surface* surface = SurfaceOfBytes(w)) {
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
        // A new surface (the first, or one made again at a new size) holds
        // nothing that was shown.
        auto* to = static_cast<Uint8*>(surface->pixels);
        const bool fresh = surface != w.shownOn || !w.image.empty();
        w.shownOn = surface;
        const bool changed =
            CopyRows(w, pixels, pitchBytes, to, surface->pitch, fresh ? nullptr : to);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        w.image.clear();
        return changed;
    }
    const std::size_t count = static_cast<std::size_t>(w.width) * w.height;
    const bool fresh = w.image.size() != count;
    w.image.resize(count);
    w.shownOn = nullptr;
    auto* to = reinterpret_cast<Uint8*>(w.image.data());
    const bool changed = CopyRows(w, pixels, pitchBytes, to, w.width * 4, fresh ? nullptr : to);
    if (SDL_Surface* surface = SDL_GetWindowSurface(w.sdl))
        SDL_ConvertPixels(std::min(surface->w, w.width), std::min(surface->h, w.height),
                          SDL_PIXELFORMAT_ARGB8888, w.image.data(), w.width * 4,
                          surface->format->format, surface->pixels, surface->pitch);
    return changed;
}

// A new shape costs the desktop far more than new pixels, so it is made only
// when the set of visible pixels changed.
void SetShape(HWND__& w, const Uint8* pixels, int pitchBytes) {
    // The shape is made from rows that run down through memory.
    std::vector<std::uint32_t> topDown;
    if (pitchBytes < 0) {
        topDown.resize(static_cast<std::size_t>(w.width) * w.height);
        CopyPlain(pixels, pitchBytes, reinterpret_cast<Uint8*>(topDown.data()), w.width * 4,
                  w.width, w.height);
        pixels = reinterpret_cast<const Uint8*>(topDown.data());
        pitchBytes = w.width * 4;
    }
    SDL_Surface* shape = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<Uint8*>(pixels), w.width, w.height, 32, pitchBytes, SDL_PIXELFORMAT_ARGB8888);
    if (!shape) return;
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 1;
    const bool first = !w.shapeSet;
    w.shapeSet = SDL_SetWindowShape(w.sdl, shape, &mode) == 0 || w.shapeSet;
    SDL_FreeSurface(shape);
    // A shaped window starts off-screen and is not always put back.
    if (first) SDL_SetWindowPosition(w.sdl, w.x, w.y);
}

} // namespace

namespace platform {

BOOL PresentImage(HWND window, const void* pixels, int width, int height, int pitchBytes) {
    HWND w = FindWindow(window);
    if (!w || !pixels || width <= 0 || height <= 0 || std::abs(pitchBytes) < width * 4)
        return FALSE;
    if (width != w->width || height != w->height) {
        SDL_SetWindowSize(w->sdl, width, height);
        w->width = width;
        w->height = height;
        w->shownOn = nullptr; // its surface is made again
        w->x11Image.reset();
        w->x11ImageTried = false;
    }
    const bool reshape = StoreImage(*w, static_cast<const Uint8*>(pixels), pitchBytes);
    w->hasImage = true;
    if (w->shaped && (reshape || !w->shapeSet))
        SetShape(*w, static_cast<const Uint8*>(pixels), pitchBytes);
    if (w->wantsShow && !w->mapped) {
        SDL_ShowWindow(w->sdl);
        w->mapped = true;
        // A shaped window was made off-screen; once mapped, place it again so
        // the window manager knows where it is (its own moves start there).
        if (w->shaped) SDL_SetWindowPosition(w->sdl, w->x, w->y);
        if (w->minimisePending) SDL_MinimizeWindow(w->sdl);
        w->minimisePending = false;
    }
    if (w->x11Image)
        SendX11Image(*w->x11Image);
    else
        SDL_UpdateWindowSurface(w->sdl);
    return TRUE;
}

void ShowImageAgain(HWND window) {
    HWND w = FindWindow(window);
    if (!w || !w->mapped) return;
    if (w->x11Image)
        SendX11ImageAgain(*w->x11Image);
    else
        SDL_UpdateWindowSurface(w->sdl);
}

const std::uint32_t* PresentedImage(HWND window, int* width, int* height) {
    HWND w = FindWindow(window);
    if (!w || !w->hasImage) return nullptr;
    if (width) *width = w->width;
    if (height) *height = w->height;
    if (w->x11Image) return X11ImageShown(*w->x11Image);
    if (!w->image.empty()) return w->image.data();
    SDL_Surface* surface = SurfaceOfBytes(*w);
    if (!surface || surface->pitch != w->width * 4) return nullptr;
    return static_cast<const std::uint32_t*>(surface->pixels);
}

} // namespace platform
