#pragma once

// One frame a tick, built from nothing: skin layers blended onto a fresh
// canvas, direct pixel work on its bottom-up memory, the list arrows on top,
// and the whole handed to the window as its per-pixel translucent image.

#include "platform/win32.h"

#include <cstdint>

constexpr int FrameWidth = 372;
constexpr int FrameHeight = 250;
constexpr int FrameStride = FrameWidth * 4;

// The frame's pixels for direct work, while a frame is composed: the canvas's
// own memory, B, G, R, A bytes, premultiplied, rows bottom-up (memory row 0
// is the bottom screen row; screen row y is memory row 249 - y). Null when
// no canvas is open or it could not be made. The pixel work writes colour
// bytes only, never alpha.
extern std::uint8_t* FrameBuffer;

inline std::uint8_t* FramePixel(int memoryRow, int x) {
    return FrameBuffer + memoryRow * FrameStride + x * 4;
}

inline int MemoryRow(int screenRow) {
    return FrameHeight - 1 - screenRow;
}

// The surface the layers are blended onto, with the screen's context it was
// made for; made and released within a tick.
struct CanvasState {
    HDC screen;
    HDC context;
    HBITMAP bitmap;
};

extern CanvasState FrameCanvas;

// Blends `source` (premultiplied, whole sourceWidth x sourceHeight from its
// top-left) into the canvas rectangle at (x, y), width x height, scaled by
// the constant alpha: s = S x alpha / 255, then D = s + D x (255 - sA) / 255.
void BlendLayer(HDC source, int x, int y, int width, int height, int sourceWidth, int sourceHeight,
                BYTE constantAlpha);

// Restores the display's bezel and rounded corners over whatever the bars
// and the spectrum drew there, leaving the display window as composed.
void CopyBezel();

// Composes the frame and hands it to `window`: opens the canvas, paints it,
// hands it over and closes it again.
void ComposeFrame(HWND window);

// The stages of a composition, for whoever needs the canvas itself.
void OpenFrameCanvas();
void PaintFrame();
void CloseFrameCanvas();
