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
    std::int32_t pressX; // client position of the last press: a tap acts there
    std::int32_t pressY;
    bool buttonHeld;     // pressed, and neither used up nor released since
    bool sliderDragging; // the volume knob is being dragged
    bool pressUnseen;    // no tick has looked at the latest press yet
    // That press was released before any tick saw it, as a tap or a quick
    // click is: the next tick acts on it, then honours the release.
    bool releaseUnseen;
};

extern PointerRecord PointerState;

void OnButtonDown(HWND window, WPARAM keys, LPARAM position);
void OnPointerMove(HWND window, WPARAM keys, LPARAM position);
void OnButtonUp(HWND window, WPARAM keys, LPARAM position);

// The tick's last word on the press, after its hit test and drag-start test:
// the press has been seen, and a release that came before it ends it now.
void SettlePress();
