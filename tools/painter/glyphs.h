#pragma once

#include "canvas.h"

#include <cstdint>

// The glyph strip: two bands of 40 cells of 8 x 8, one byte per glyph line,
// bit 7 being the cell's column 0. Band-1 glyphs keep column 0 empty (it is
// never drawn); band-2 glyphs keep column 7 empty as the gap between letters.
extern const std::uint8_t GlyphTable[2][40][8];

// The 320 x 16 strip: white ink on opaque magenta, line 7 of every cell empty.
Pixels PaintFontStrip();
