// The scale the layer shows its windows at: chosen once, from the process
// entry's option or the desktop's settings, and changed with Ctrl and plus,
// minus or 0. A window changes size about its centre.

#include "platform/scale.h"
#include "platform/present.h"
#include "platform/state.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform::detail {
namespace {

// The whole number an environment variable spells, or 0.
int WholeNumber(const char* text) {
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 1 && value <= 1000 ? static_cast<int>(value) : 0;
}

// The program's own setting, then the toolkits' (GDK_SCALE, an integer),
// then the fonts' resolution in the X resources, else 1. A bad setting of
// the program's own is said, and passed over.
int DesktopScale() {
    if (const char* own = std::getenv("TONEBOX_SCALE")) {
        const int scale = WholeNumber(own);
        if (scale >= 1 && scale <= kMaxScale) return scale;
        std::fprintf(stderr,
                     "tonebox: TONEBOX_SCALE is \"%s\", not a whole number from 1 to %d; "
                     "passed over\n",
                     own, kMaxScale);
    }
    if (const int toolkit = WholeNumber(std::getenv("GDK_SCALE")))
        return std::min(toolkit, kMaxScale);
    if (const int fonts = ResourceScale()) return std::clamp(fonts, 1, kMaxScale);
    return 1;
}

} // namespace

int StartScale() {
    Platform& s = State();
    if (s.startScale == 0)
        s.startScale = s.askedScale < 0 ? 1 : s.askedScale > 0 ? s.askedScale : DesktopScale();
    return s.startScale;
}

void SetWindowScale(HWND w, int scale) {
    scale = std::clamp(scale, 1, kMaxScale);
    if (!FindWindow(w) || scale == w->scale) return;
    // The centre stays, counted in half pixels so that nothing is rounded
    // away going up and coming back.
    const int centreX = 2 * w->x + w->ScreenWidth(), centreY = 2 * w->y + w->ScreenHeight();
    w->scale = scale;
    w->x = (centreX - w->ScreenWidth()) >> 1;
    w->y = (centreY - w->ScreenHeight()) >> 1;
    // Placed first: a shaped window's size change sends it aside and, with
    // its next shape, back to where SDL last knew it, which is then already
    // the new place; placed after, it would show at the old place between.
    PlaceWindow(*w);
    SDL_SetWindowSize(w->sdl, w->ScreenWidth(), w->ScreenHeight());
    ForgetDesktopImage(*w);
    platform::ShowImageAgain(w);
}

bool TakeScaleKey(HWND w, const SDL_KeyboardEvent& key) {
    if (!(key.keysym.mod & KMOD_CTRL)) return false;
    int scale = 0;
    switch (key.keysym.sym) {
    case SDLK_PLUS:
    case SDLK_EQUALS: // the plus key's own, unshifted
    case SDLK_KP_PLUS:
        scale = w->scale + 1;
        break;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        scale = w->scale - 1;
        break;
    case SDLK_0:
    case SDLK_KP_0:
        scale = StartScale();
        break;
    default:
        return false;
    }
    if (key.type == SDL_KEYDOWN) SetWindowScale(w, scale);
    return true;
}

} // namespace platform::detail

void platform::ChooseScale(int scale) {
    detail::State().askedScale = std::clamp(scale, 0, kMaxScale);
}
