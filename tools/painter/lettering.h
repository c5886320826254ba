#pragma once

#include <cairo.h>

// The title "z!l tonebox" as monoline strokes of our own drawing, centred on
// `centreX` with its baseline at `baseline`; `size` is the x-height.
void DrawTitle(cairo_t* cr, double centreX, double baseline, double size);
