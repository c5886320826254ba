#include "input/glow.h"

GlowLevel ButtonGlow[GlowCount] = {};
GlowLevel RowGlow[GlowCount] = {};

namespace {

void Step(GlowLevel& glow) {
    glow.level = static_cast<std::int16_t>(glow.level + glow.step);
    if (glow.level > GlowTop) {
        glow.step = 0;
        glow.level = GlowTop;
    }
    if (glow.level < 0) {
        glow.step = 0;
        glow.level = 0;
    }
}

} // namespace

void StepGlows() {
    for (GlowLevel& glow : ButtonGlow)
        Step(glow);
    for (GlowLevel& glow : RowGlow)
        Step(glow);
}

void SetGlowSteps(GlowLevel (&glows)[GlowCount], std::int16_t step) {
    for (GlowLevel& glow : glows)
        glow.step = step;
}
