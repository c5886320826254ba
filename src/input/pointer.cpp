#include "input/pointer.h"

#include "input/controls.h"
#include "input/glow.h"
#include "input/volume_slider.h"

PointerRecord PointerState = {0, 0, 0, 0, false, false, false, false};

namespace {

// x in the low and y in the high 16 bits, both unsigned: a position above
// or left of the client area reads as a large number, never a negative one.
void RecordPosition(LPARAM position) {
    PointerState.lastX = LOWORD(static_cast<std::uintptr_t>(position));
    PointerState.lastY = HIWORD(static_cast<std::uintptr_t>(position));
}

void ReleaseButton() {
    PointerState.buttonHeld = false;
    PointerState.sliderDragging = false;
    PointerState.releaseUnseen = false;
    ScrollRepeat = 0;
}

} // namespace

// A press that comes while a tap still waits for its tick takes its place:
// two taps that quick count once, at the later one's place.
void OnButtonDown(HWND, WPARAM, LPARAM position) {
    PointerState.buttonHeld = true;
    PointerState.pressUnseen = true;
    PointerState.releaseUnseen = false;
    RecordPosition(position);
    PointerState.pressX = PointerState.lastX;
    PointerState.pressY = PointerState.lastY;
}

void OnPointerMove(HWND window, WPARAM keys, LPARAM position) {
    SetGlowSteps(ButtonGlow, -1);
    RecordPosition(position);
    // The button is up already: no knob to follow, no window move, and the
    // tap still counts at its tick, where it was made.
    if (PointerState.releaseUnseen) return;
    if (PointerState.sliderDragging) MoveKnob(PointerState.lastX);
    // A press dragged anywhere but on the knob drags the window by its skin;
    // the call returns when the move is over, ticks going on meanwhile.
    if (PointerState.buttonHeld && !PointerState.sliderDragging)
        SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    // No mouse button, Shift or Ctrl down: a release the window never saw.
    if (keys == 0) PointerState.buttonHeld = false;
}

// A press no tick has seen yet still counts: its release waits for that tick.
void OnButtonUp(HWND, WPARAM, LPARAM) {
    if (PointerState.buttonHeld && PointerState.pressUnseen)
        PointerState.releaseUnseen = true;
    else
        ReleaseButton();
}

void SettlePress() {
    PointerState.pressUnseen = false;
    if (PointerState.releaseUnseen) ReleaseButton();
}
