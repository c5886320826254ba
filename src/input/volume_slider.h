#pragma once

// The volume knob: dragged along its track with the left button, it sets the
// volume from its place, 0 at the left end and 99 at the right.

#include <cstdint>

struct SliderState {
    std::int16_t knobX;      // the knob's left edge, 98 to 228
    std::int16_t knobTop;    // the drag box's top, before the caption correction
    std::int16_t knobRight;  // the drag box's right end, exclusive; it does not follow the knob
    std::int16_t knobBottom; // the drag box's bottom, before the correction, exclusive
};

extern SliderState VolumeSlider;

constexpr std::int16_t KnobLeftEnd = 98;
constexpr std::int16_t KnobRightEnd = 228;
constexpr int KnobY = 148;
constexpr int KnobTrackLength = KnobRightEnd - KnobLeftEnd;
constexpr int KnobStep = KnobTrackLength / 10; // a key's step: a tenth of the track

// The tick's drag-start test: a held press inside the knob's box starts a
// drag. It never ends one; only the button's release does.
void StartKnobDrag();

// Centres the knob under client x, clamped to the track, and sets the volume
// from its place.
void MoveKnob(std::int32_t x);

// Puts the knob's left edge at `knobX`, clamped to the track, and sets the
// volume from its place: a drag, a key and the desktop's volume all move it.
void PlaceKnob(std::int16_t knobX);

// The knob's place as a share of its track: 0 at the left end, 1 at the right.
double KnobShare();
