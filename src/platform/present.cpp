// The window's image: premultiplied BGRA rows onto the window's ARGB surface,
// and, without a compositor, a window shape that cuts away what is fully
// transparent.

#include "platform/present.h"
#include "platform/state.h"

#include <algorithm>
#include <cstring>

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

// Four pixels at a time.
using Quad = std::uint32_t __attribute__((vector_size(16)));

// Copies one row and tells (as nonzero) whether any pixel went from
// transparent to not, or back, against what `out` held.
std::uint32_t CopyRow(const Uint8* in, Uint8* out, int width) {
    Quad flips = {};
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        Quad pixels, before;
        std::memcpy(&pixels, in + 4 * x, sizeof pixels);
        std::memcpy(&before, out + 4 * x, sizeof before);
        flips |= ((pixels >> 24) == 0) ^ ((before >> 24) == 0);
        std::memcpy(out + 4 * x, &pixels, sizeof pixels);
    }
    std::uint32_t flipped = flips[0] | flips[1] | flips[2] | flips[3];
    for (; x < width; ++x) {
        std::uint32_t pixel, was;
        std::memcpy(&pixel, in + 4 * x, 4);
        std::memcpy(&was, out + 4 * x, 4);
        flipped |= static_cast<std::uint32_t>((pixel >> 24) == 0) ^
                   static_cast<std::uint32_t>((was >> 24) == 0);
        std::memcpy(out + 4 * x, &pixel, 4);
    }
    return flipped;
}

// Copies the rows into `to` (`toPitch` bytes apart); when `watch` is set,
// tells whether the set of visible pixels changed.
bool CopyRows(const Uint8* from, int fromPitch, Uint8* to, int toPitch, int width, int height,
              bool watch) {
    std::uint32_t flips = 0;
    if (!watch) {
        for (int row = 0; row < height; ++row)
            std::memcpy(to + static_cast<std::size_t>(row) * toPitch,
                        from + static_cast<std::size_t>(row) * fromPitch,
                        static_cast<std::size_t>(width) * 4);
        return false;
    }
    for (int row = 0; row < height; ++row)
        flips |= CopyRow(from + static_cast<std::size_t>(row) * fromPitch,
                         to + static_cast<std::size_t>(row) * toPitch, width);
    return flips != 0;
}

// Puts the image where the desktop reads it: straight onto the surface when
// it takes these bytes, else kept and converted. For a shaped window, true
// when the set of visible pixels changed.
bool StoreImage(HWND__& w, const Uint8* pixels, int pitchBytes) {
    if (SDL_Surface* surface = SurfaceOfBytes(w)) {
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
        const bool changed = CopyRows(pixels, pitchBytes, static_cast<Uint8*>(surface->pixels),
                                      surface->pitch, w.width, w.height, w.shaped);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        w.image.clear();
        return changed;
    }
    const std::size_t count = static_cast<std::size_t>(w.width) * w.height;
    const bool fresh = w.image.size() != count;
    w.image.resize(count);
    const bool changed = CopyRows(pixels, pitchBytes, reinterpret_cast<Uint8*>(w.image.data()),
                                  w.width * 4, w.width, w.height, w.shaped);
    if (SDL_Surface* surface = SDL_GetWindowSurface(w.sdl))
        SDL_ConvertPixels(std::min(surface->w, w.width), std::min(surface->h, w.height),
                          SDL_PIXELFORMAT_ARGB8888, w.image.data(), w.width * 4,
                          surface->format->format, surface->pixels, surface->pitch);
    return changed || fresh;
}

// A new shape costs the desktop far more than new pixels, so it is made only
// when the set of visible pixels changed.
void SetShape(HWND__& w, const void* pixels, int pitchBytes) {
    SDL_Surface* shape = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<void*>(pixels), w.width, w.height, 32, pitchBytes, SDL_PIXELFORMAT_ARGB8888);
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
    if (!w || !pixels || width <= 0 || height <= 0 || pitchBytes < width * 4) return FALSE;
    if (width != w->width || height != w->height) {
        SDL_SetWindowSize(w->sdl, width, height);
        w->width = width;
        w->height = height;
    }
    const bool reshape = StoreImage(*w, static_cast<const Uint8*>(pixels), pitchBytes);
    w->hasImage = true;
    if (w->shaped && (reshape || !w->shapeSet)) SetShape(*w, pixels, pitchBytes);
    if (w->wantsShow && !w->mapped) {
        SDL_ShowWindow(w->sdl);
        w->mapped = true;
        // A shaped window was made off-screen; once mapped, place it again so
        // the window manager knows where it is (its own moves start there).
        if (w->shaped) SDL_SetWindowPosition(w->sdl, w->x, w->y);
        if (w->minimisePending) SDL_MinimizeWindow(w->sdl);
        w->minimisePending = false;
    }
    SDL_UpdateWindowSurface(w->sdl);
    return TRUE;
}

const std::uint32_t* PresentedImage(HWND window, int* width, int* height) {
    HWND w = FindWindow(window);
    if (!w || !w->hasImage) return nullptr;
    if (width) *width = w->width;
    if (height) *height = w->height;
    if (!w->image.empty()) return w->image.data();
    SDL_Surface* surface = SurfaceOfBytes(*w);
    if (!surface || surface->pitch != w->width * 4) return nullptr;
    return static_cast<const std::uint32_t*>(surface->pixels);
}

} // namespace platform
