// The window's image: the program's premultiplied BGRA rows, every pixel
// enlarged to the window's scale, onto the window's ARGB surface. Only what
// changed since the image before is copied and sent, so the desktop (the X
// server and a compositor) works on that alone; without a compositor a
// window shape cuts away what is fully transparent.

#include "platform/present.h"
#include "platform/state.h"

#include <cstdlib>

namespace {

using namespace platform::detail;

// The window's surface when it holds the image's own bytes (B, G, R, A: a
// 32-bit ARGB value in memory order) and is big enough; null otherwise.
SDL_Surface* SurfaceOfBytes(HWND__& w) {
    SDL_Surface* surface = SDL_GetWindowSurface(w.sdl);
    if (!surface || surface->w < w.ScreenWidth() || surface->h < w.ScreenHeight()) return nullptr;
    const Uint32 format = surface->format->format;
    return format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888 ? surface
                                                                                  : nullptr;
}

// The X server's shared image, made on first use; null where SDL's window
// surface has to serve.
X11Image* ServerImage(HWND__& w) {
    if (!w.x11ImageTried && HasDisplay()) {
        w.x11ImageTried = true;
        w.x11Image = OpenX11Image(w.sdl, w.ScreenWidth(), w.ScreenHeight());
    }
    return w.x11Image.get();
}

// A new target holds nothing of the image: its buffers are filled whole.
void Retarget(HWND__& w, const void* identity, int buffers) {
    if (identity == w.target) return;
    w.target = identity;
    w.handover.Reset(buffers, w.width, w.height);
}

// A new shape costs the desktop far more than new pixels, so it is made only
// when the set of seen pixels changed, from the enlarged image just filled.
void Reshape(HWND__& w, const std::uint32_t* pixels, std::ptrdiff_t pitch) {
    if (!w.shaped || (w.shapeSet && !w.reshape)) return;
    w.reshape = false;
    SDL_Surface* shape = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(pixels), w.ScreenWidth(), w.ScreenHeight(), 32,
        static_cast<int>(pitch * 4), SDL_PIXELFORMAT_ARGB8888);
    if (!shape) return;
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 1;
    w.shapeSet = SDL_SetWindowShape(w.sdl, shape, &mode) == 0 || w.shapeSet;
    SDL_FreeSurface(shape);
    // A shaped window starts off-screen, and SDL moves it aside whenever its
    // size changes; it belongs where the layer has it.
    PlaceWindow(w);
}

void Map(HWND__& w) {
    SDL_ShowWindow(w.sdl);
    w.mapped = true;
    // A shaped window was made off-screen; once mapped, place it again so
    // the window manager knows where it is (its own moves start there).
    if (w.shaped) PlaceWindow(w);
    if (w.minimisePending) SDL_MinimizeWindow(w.sdl);
    w.minimisePending = false;
}

// The surface's rectangles (image pixels, enlarged here), or all of it.
void UpdateSurface(HWND__& w, const std::vector<Rect>* rects) {
    if (!rects) {
        SDL_UpdateWindowSurface(w.sdl);
        return;
    }
    SDL_Rect scaled[64];
    std::size_t done = 0;
    while (done < rects->size()) {
        int count = 0;
        for (; count < 64 && done < rects->size(); ++count, ++done) {
            const Rect& r = (*rects)[done];
            scaled[count] =
                SDL_Rect{r.x * w.scale, r.y * w.scale, r.width * w.scale, r.height * w.scale};
        }
        SDL_UpdateWindowSurfaceRects(w.sdl, scaled, count);
    }
}

// The enlarged image in the layer's own array, converted rectangle by
// rectangle into a surface of another format.
void Convert(HWND__& w, const std::vector<Rect>& rects, bool whole) {
    SDL_Surface* surface = SDL_GetWindowSurface(w.sdl);
    if (!surface) return;
    const int width = std::min(surface->w, w.ScreenWidth());
    const int height = std::min(surface->h, w.ScreenHeight());
    const int bytes = surface->format->BytesPerPixel;
    const auto convert = [&](int x, int y, int cx, int cy) {
        cx = std::min(cx, width - x), cy = std::min(cy, height - y);
        if (cx <= 0 || cy <= 0) return;
        SDL_ConvertPixels(cx, cy, SDL_PIXELFORMAT_ARGB8888,
                          w.image.data() + static_cast<std::size_t>(y) * w.ScreenWidth() + x,
                          w.ScreenWidth() * 4, surface->format->format,
                          static_cast<Uint8*>(surface->pixels) + y * surface->pitch + x * bytes,
                          surface->pitch);
    };
    if (whole) {
        convert(0, 0, width, height);
        return;
    }
    for (const Rect& r : rects)
        convert(r.x * w.scale, r.y * w.scale, r.width * w.scale, r.height * w.scale);
}

// Brings the desktop up to date with the image kept: a buffer gets what it
// lacks, the desktop what it was not sent (all of it when `whole`, as after
// an exposure). Nothing goes to a window that is not on the desktop; the
// program's showing of the window maps it with its image in place.
void Deliver(HWND__& w, bool whole) {
    if (w.kept.Empty()) return;
    const bool showing = w.wantsShow && !w.mapped;
    const bool seen = w.mapped && !(SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_MINIMIZED);
    if (!showing && !seen) return;
    whole = whole || showing;

    if (X11Image* server = ServerImage(w)) {
        Retarget(w, server, 2);
        if (!w.handover.Unsent()) {
            if (showing) Map(w);
            if (whole && w.handover.Shown() >= 0) SendWholeX11Image(*server, w.handover.Shown());
            return;
        }
        const int index = w.handover.Next();
        std::uint32_t* to = X11ImageBuffer(*server, index);
        const std::vector<Rect>& rects = w.handover.Fill(w.kept, w.scale, to, w.ScreenWidth());
        Reshape(w, to, w.ScreenWidth());
        if (showing) Map(w);
        if (whole)
            SendWholeX11Image(*server, index);
        else
            SendX11Image(*server, index, rects.data(), static_cast<int>(rects.size()), w.scale);
        return;
    }

    const std::vector<Rect>* rects = nullptr;
    if (SDL_Surface* surface = SurfaceOfBytes(w)) {
        Retarget(w, surface, 1);
        if (w.handover.Unsent()) {
            if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
            auto* to = static_cast<std::uint32_t*>(surface->pixels);
            const std::ptrdiff_t pitch = surface->pitch / 4;
            rects = &w.handover.Fill(w.kept, w.scale, to, pitch);
            Reshape(w, to, pitch);
            if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        }
    } else {
        w.image.resize(static_cast<std::size_t>(w.ScreenWidth()) * w.ScreenHeight());
        Retarget(w, w.image.data(), 1);
        if (w.handover.Unsent()) {
            rects = &w.handover.Fill(w.kept, w.scale, w.image.data(), w.ScreenWidth());
            Reshape(w, w.image.data(), w.ScreenWidth());
            Convert(w, *rects, whole);
        } else if (whole) {
            Convert(w, {}, true);
        }
    }
    if (showing) Map(w);
    if (whole)
        UpdateSurface(w, nullptr);
    else if (rects)
        UpdateSurface(w, rects);
}

} // namespace

namespace platform::detail {

void ForgetDesktopImage(HWND__& w) {
    w.target = nullptr;
    w.x11Image.reset();
    w.x11ImageTried = false;
    w.image.clear();
    w.shapeSet = false;
}

} // namespace platform::detail

namespace platform {

BOOL PresentImage(HWND window, const void* pixels, int width, int height, int pitchBytes) {
    HWND w = FindWindow(window);
    if (!w || !pixels || width <= 0 || height <= 0 || std::abs(pitchBytes) < width * 4)
        return FALSE;
    if (width != w->width || height != w->height) {
        w->width = width;
        w->height = height;
        SDL_SetWindowSize(w->sdl, w->ScreenWidth(), w->ScreenHeight());
        ForgetDesktopImage(*w); // the buffers are made again at the new size
    }
    const bool flips = w->kept.Take(static_cast<const std::uint8_t*>(pixels), width, height,
                                    pitchBytes, w->changed);
    w->reshape = w->reshape || flips;
    w->handover.Note(w->changed);
    w->hasImage = true;
    Deliver(*w, false);
    return TRUE;
}

void ShowImageAgain(HWND window) {
    if (HWND w = FindWindow(window)) Deliver(*w, true);
}

const std::uint32_t* PresentedImage(HWND window, int* width, int* height) {
    HWND w = FindWindow(window);
    if (!w || !w->hasImage || w->kept.Empty()) return nullptr;
    if (width) *width = w->kept.Width();
    if (height) *height = w->kept.Height();
    return w->kept.Pixels();
}

} // namespace platform
