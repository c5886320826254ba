#pragma once

// The hover glows of the seven buttons and the seven visible playlist rows:
// each fades in by one level a tick while its control is under the pointer,
// and out otherwise.

#include <cstdint>

struct GlowLevel {
    std::int16_t level; // 0 (invisible) to 10 (full)
    std::int16_t step;  // -1, 0 or +1, applied at the next update
};

constexpr int GlowCount = 7;
constexpr std::int16_t GlowTop = 10;

// Which button each ButtonGlow entry lights.
enum ButtonIndex : int {
    MinimiseButton = 0,
    CloseButton = 1,
    PlayButton = 2,
    StopButton = 3,
    PauseButton = 4,
    RewindButton = 5,
    ForwardButton = 6,
};

extern GlowLevel ButtonGlow[GlowCount];
// Indexed by the row's place on screen, not by the song it shows.
extern GlowLevel RowGlow[GlowCount];

// Applies every step, buttons first, and clamps each level to 0..10; a level
// that hits either end stops its step.
void StepGlows();

// Sets the step of every entry of `glows` to `step`.
void SetGlowSteps(GlowLevel (&glows)[GlowCount], std::int16_t step);
