#pragma once

// The credits line: it scrolls from right to left along the strip at the
// bottom of the skin, 2 pixels a tick, and rides up with the bass.

#include <cstdint>

extern const float MarqueeSpeed;   // pixels a tick
extern std::uint32_t MarqueeIndex; // the first character drawn
extern float MarqueeOffset;        // that character's pen column, -8 to 0

// Moves the line on by one tick and draws it.
void MarqueeStep();
