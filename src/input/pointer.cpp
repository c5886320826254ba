#include "input/pointer.h"

#include "input/controls.h"
#include "input/glow.h"
#include "input/volume_slider.h"

PointerRecord PointerState = {0, 0, false, false};

namespace {

// x in the low and y in the high 16 bits, both unsigned: a position above
// or left of the client area reads as a large number, never a negative one.
void RecordPosition(LPARAM position) {
    PointerState.lastX = LOWORD(static_cast<std::uintptr_t>(position));
    PointerState.lastY = HIWORD(static_cast<std::uintptr_t>(position));
}

} // namespace

void OnButtonDown(HWND, WPARAM, LPARAM position) {
    PointerState.buttonHeld = true;
    RecordPosition(position);
}

void OnPointerMove(HWND window, WPARAM keys, LPARAM position) {
    SetGlowSteps(ButtonGlow, -1);
    RecordPosition(position);
    if (PointerState.sliderDragging) MoveKnob(PointerState.lastX);
    // A press dragged anywhere but on the knob drags the window by its skin;
    // the call returns when the move is over, ticks going on meanwhile.
    if (PointerState.buttonHeld && !PointerState.sliderDragging)
        SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    // No mouse button, Shift or Ctrl down: a release the window never saw.
    if (keys == 0) PointerState.buttonHeld = false;
}

void OnButtonUp(HWND, WPARAM, LPARAM) {
    PointerState.buttonHeld = false;
    PointerState.sliderDragging = false;
    ScrollRepeat = 0;
}
