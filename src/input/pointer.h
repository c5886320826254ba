#pragma once

// The pointer as the window last saw it. Pointer messages only record it
// (and reset the button glow steps); the next tick decides what it means.
// Two things happen at once: a knob drag follows the pointer, and a press
// moved outside a drag moves the whole window.

#include "platform/win32.h"

#include <cstdint>

struct PointerRecord {
    std::int32_t lastX; // client position of the last press or move
    std::int32_t lastY;
    bool buttonHeld;     // pressed, and neither used up nor released since
    bool sliderDragging; // the volume knob is being dragged
};

extern PointerRecord PointerState;

void OnButtonDown(HWND window, WPARAM keys, LPARAM position);
void OnPointerMove(HWND window, WPARAM keys, LPARAM position);
void OnButtonUp(HWND window, WPARAM keys, LPARAM position);
