#pragma once

// The one text routine: glyphs copied from the compiled-in strip straight
// into the frame buffer, upper case only.

#include <cstdint>

// Draws `text` with its first character's left edge at column `x` (may be
// negative) and the cells' bottom, empty line on memory row `row`; every
// character advances 8 columns. Colour 0 draws black ink up to column 371;
// any other colour draws that grey between columns 45 and 327, fading toward
// columns 31 and 341, and nothing beyond. Columns 0 to 30, memory row 0 and
// rows from 250 up are never drawn, nor any alpha byte.
void DrawFontText(std::int32_t x, std::int32_t row, const char* text, std::uint8_t colour);
