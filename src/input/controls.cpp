#include "input/controls.h"

#include "app/shell.h"
#include "input/commands.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "playback/player.h"
#include "playback/song_table.h"

std::int16_t ListOffset = 0;
std::int16_t ScrollRepeat = 0;

namespace {

constexpr std::int16_t ScrollRepeatTicks = 5;

enum class Glow { None, Button, Row };

using Action = void (*)(HWND window, int row);

// A control's zone, inclusive bounds in window x and caption-corrected y.
struct Zone {
    int left, right, top, bottom;
    Glow glow;
    int button; // the ButtonGlow entry, for a button's zone
    Action act;
};

// One press, one action: the press is used up before the action, so a box
// the action opens (whose loop runs ticks) cannot see it again.
void UsePress() {
    PointerState.buttonHeld = false;
}

void Play(HWND, int) {
    UsePress();
    PlayOrResume();
}

void Pause(HWND, int) {
    UsePress();
    PausePlayback();
}

void Stop(HWND, int) {
    UsePress();
    StopPlayback();
}

void Rewind(HWND, int) {
    UsePress();
    SeekBy(-SeekStepMs);
}

void Forward(HWND, int) {
    UsePress();
    SeekBy(SeekStepMs);
}

// The press stays: the loop ends on the close request before another tick.
void Close(HWND window, int) {
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// The scroll steps keep the press, so a held arrow repeats every fifth tick.
void ScrollDown(HWND, int) {
    if (ScrollRepeat != 0) return;
    if (ListOffset < SongTable.count - VisibleRows) ++ListOffset;
    ScrollRepeat = ScrollRepeatTicks;
}

void ScrollUp(HWND, int) {
    if (ScrollRepeat != 0) return;
    if (ListOffset > 0) --ListOffset;
    ScrollRepeat = ScrollRepeatTicks;
}

// The glow goes out at once, and the pointer is taken to be nowhere until it
// moves again, so nothing stays lit on the way back.
void Minimise(HWND window, int) {
    ButtonGlow[MinimiseButton] = GlowLevel{0, 0};
    ShowWindow(window, SW_MINIMIZE);
    UsePress();
    PointerState.lastX = 0;
    PointerState.lastY = 0;
}

void PlayRow(HWND, int row) {
    UsePress();
    PlaySong(static_cast<std::int16_t>(ListOffset + row));
}

// Tested in this order; the arrows lie inside the list's x range and win
// within their own y bands.
constexpr Zone Zones[] = {
    {90, 124, 161, 193, Glow::Button, PlayButton, Play},
    {127, 161, 161, 193, Glow::Button, PauseButton, Pause},
    {165, 199, 161, 193, Glow::Button, StopButton, Stop},
    {202, 236, 161, 193, Glow::Button, RewindButton, Rewind},
    {239, 273, 161, 193, Glow::Button, ForwardButton, Forward},
    {317, 335, 35, 52, Glow::Button, CloseButton, Close},
    {262, 271, 98, 108, Glow::None, 0, ScrollDown},
    {262, 271, 48, 60, Glow::None, 0, ScrollUp},
    {297, 315, 35, 52, Glow::Button, MinimiseButton, Minimise},
    {ListLeft, ListRight, ListTop, ListBottom, Glow::Row, 0, PlayRow},
};

const Zone* ZoneAt(int x, int y) {
    for (const Zone& zone : Zones)
        if (x >= zone.left && x <= zone.right && y >= zone.top && y <= zone.bottom) return &zone;
    return nullptr;
}

} // namespace

void ShowSongRow(std::int16_t song) {
    if (song < ListOffset) ListOffset = song;
    if (song >= ListOffset + VisibleRows)
        ListOffset = static_cast<std::int16_t>(song - VisibleRows + 1);
}

void HitTestControls(HWND window) {
    if (ScrollRepeat > 0) --ScrollRepeat;
    SetGlowSteps(RowGlow, -1);
    if (PointerState.sliderDragging) return;
    // Pointer positions are client positions, inside the sizing frame and
    // below the caption the window would have. y gets the caption back; the
    // zones lie the frame's 4 pixels up and left of the skin's controls, so
    // they meet them on the screen.
    const int x = PointerState.lastX;
    const int y = PointerState.lastY + CaptionHeight;
    if (const Zone* zone = ZoneAt(x, y)) {
        if (zone->glow == Glow::Button) ButtonGlow[zone->button].step = 1;
        if (zone->glow == Glow::Row) RowGlow[ListRowAt(y)].step = 1;
    }
    if (!PointerState.buttonHeld) return;
    // A tap released before this tick acts where it was made, wherever the
    // pointer has gone since; a held press acts where the pointer is.
    const bool tap = PointerState.releaseUnseen;
    const int pressX = tap ? PointerState.pressX : x;
    const int pressY = tap ? PointerState.pressY + CaptionHeight : y;
    if (const Zone* pressed = ZoneAt(pressX, pressY)) pressed->act(window, ListRowAt(pressY));
}
