#pragma once

// The drawing surfaces made once from the skin's images when the window is
// created, and kept until the process ends. The bezel and the glyph strip
// are read byte by byte and get no surface.

#include "platform/win32.h"

// One image's bitmap, selected into a memory context of its own; the context
// is what the blends read from.
struct SkinSurface {
    HDC context;
    HBITMAP bitmap;
};

struct SkinSurfaceSet {
    SkinSurface background;
    SkinSurface speaker;
    SkinSurface speakerGlow;
    SkinSurface playGlow;
    SkinSurface pauseGlow;
    SkinSurface stopGlow;
    SkinSurface rewindGlow;
    SkinSurface forwardGlow;
    SkinSurface minimiseGlow;
    SkinSurface closeGlow;
    SkinSurface knob;
    SkinSurface arrowDown;
    SkinSurface arrowUp;
};

extern SkinSurfaceSet SkinSurfaces;

// The 200 x 10 playlist row highlight: white colour bytes with a zero alpha
// byte, so a blend adds its constant alpha to the colour beneath.
extern SkinSurface RowBar;
constexpr int RowBarWidth = 200;
constexpr int RowBarHeight = 10;

// The frame's canvas as the program sees its memory: 372 x 250, 32 bits,
// rows bottom-up.
extern BITMAPINFO FrameBufferInfo;

// Makes the thirteen surfaces, the row bar and the frame buffer description.
// Called once, from the window's creation, before the tick timer starts. No
// result is checked: a surface that could not be made draws nothing.
void CreateSkinSurfaces();
