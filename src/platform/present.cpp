// The window's image: premultiplied BGRA rows onto the window's ARGB surface,
// and, without a compositor, a window shape that cuts away what is fully
// transparent.

#include "platform/present.h"
#include "platform/state.h"

#include <algorithm>
#include <cstring>

namespace {

using namespace platform::detail;

void CopyToSurface(HWND__& w) {
    SDL_Surface* surface = SDL_GetWindowSurface(w.sdl);
    if (!surface) return;
    const int width = std::min(surface->w, w.width), height = std::min(surface->h, w.height);
    const int pitch = w.width * 4;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    const Uint32 format = surface->format->format;
    // The image's bytes are B, G, R, A: a 32-bit ARGB value in memory order.
    if (format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888) {
        for (int row = 0; row < height; ++row)
            std::memcpy(static_cast<Uint8*>(surface->pixels) + row * surface->pitch,
                        w.image.data() + row * w.width, static_cast<std::size_t>(width) * 4);
    } else {
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, w.image.data(), pitch, format,
                          surface->pixels, surface->pitch);
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(w.sdl);
}

// Reshapes only when the set of visible pixels changed: a new shape costs the
// desktop far more than new pixels.
void UpdateShape(HWND__& w) {
    const std::size_t count = w.image.size();
    bool changed = w.shapeMask.size() != count;
    w.shapeMask.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Uint8 visible = (w.image[i] >> 24) != 0;
        changed |= w.shapeMask[i] != visible;
        w.shapeMask[i] = visible;
    }
    if (!changed && w.shapeSet) return;
    SDL_Surface* shape = SDL_CreateRGBSurfaceWithFormatFrom(w.image.data(), w.width, w.height, 32,
                                                            w.width * 4, SDL_PIXELFORMAT_ARGB8888);
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
    w->image.resize(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        std::memcpy(w->image.data() + static_cast<std::size_t>(row) * width,
                    static_cast<const Uint8*>(pixels) + static_cast<std::size_t>(row) * pitchBytes,
                    static_cast<std::size_t>(width) * 4);
    w->hasImage = true;
    if (w->shaped) UpdateShape(*w);
    if (w->wantsShow && !w->mapped) {
        SDL_ShowWindow(w->sdl);
        w->mapped = true;
        // A shaped window was made off-screen; once mapped, place it again so
        // the window manager knows where it is (its own moves start there).
        if (w->shaped) SDL_SetWindowPosition(w->sdl, w->x, w->y);
        if (w->minimisePending) SDL_MinimizeWindow(w->sdl);
        w->minimisePending = false;
    }
    CopyToSurface(*w);
    return TRUE;
}

const std::uint32_t* PresentedImage(HWND window, int* width, int* height) {
    HWND w = FindWindow(window);
    if (!w || !w->hasImage) return nullptr;
    if (width) *width = w->width;
    if (height) *height = w->height;
    return w->image.data();
}

} // namespace platform
