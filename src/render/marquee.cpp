#include "render/marquee.h"

#include "render/font.h"
#include "render/marquee_text.h"
#include "render/spectrum.h"
#include "shared/float_to_int.h"

#include <cstring>

const float MarqueeSpeed = 2.0f;
std::uint32_t MarqueeIndex = 1;
float MarqueeOffset = 0.0f;

namespace {

constexpr float CellWidth = 8.0f;
constexpr std::int32_t RestingRow = 20;
constexpr std::int32_t PulsePerRow = 128;
constexpr std::uint8_t White = 255;

// The text's length, counted once: it never changes.
const std::uint32_t MarqueeLength = static_cast<std::uint32_t>(std::strlen(MarqueeText));

} // namespace

void MarqueeStep() {
    MarqueeOffset = MarqueeOffset - MarqueeSpeed;
    // Exactly -8 does not advance yet.
    if (MarqueeOffset < -CellWidth) {
        MarqueeIndex = MarqueeIndex + 1;
        // Character 0 is never drawn again: the line restarts at 1.
        if (MarqueeIndex > MarqueeLength - 8) MarqueeIndex = 1;
        MarqueeOffset = MarqueeOffset + CellWidth;
    }
    DrawFontText(FloatToInt(MarqueeOffset), PulseLevel / PulsePerRow + RestingRow,
                 MarqueeText + MarqueeIndex, White);
}
