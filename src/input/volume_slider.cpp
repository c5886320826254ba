#include "input/volume_slider.h"

#include "app/shell.h"
#include "input/pointer.h"
#include "playback/player.h"
#include "shared/float_to_int.h"
#include "skin/skin_images.h"

SliderState VolumeSlider = {KnobRightEnd, 122, 270, 133};

namespace {

// The box's y bounds sit 19 rows below the knob's own numbers.
constexpr int KnobBoxDrop = 19;

// The divisor is one more than the track's length, so the right end gives
// 99, never 100.
constexpr double VolumeScale = 100.0;
constexpr double TrackDivisor = 131.0;

} // namespace

void StartKnobDrag() {
    const int x = PointerState.lastX;
    const int y = PointerState.lastY + CaptionHeight;
    if (VolumeSlider.knobX < x && x < VolumeSlider.knobRight &&
        VolumeSlider.knobTop + KnobBoxDrop < y && y < VolumeSlider.knobBottom + KnobBoxDrop &&
        PointerState.buttonHeld)
        PointerState.sliderDragging = true;
}

// The place is kept in 16 bits before it is clamped: a pointer left of the
// window reads as a large x, which wraps to a negative place, the left end.
void MoveKnob(std::int32_t x) {
    const int halfKnob = SkinImageWidth(KnobImage) / 2;
    PlaceKnob(static_cast<std::int16_t>(x - halfKnob));
}

void PlaceKnob(std::int16_t knobX) {
    if (knobX < KnobLeftEnd) knobX = KnobLeftEnd;
    if (knobX > KnobRightEnd) knobX = KnobRightEnd;
    VolumeSlider.knobX = knobX;
    SetVolume(FloatToInt((knobX - KnobLeftEnd) / TrackDivisor * VolumeScale));
}

double KnobShare() {
    return static_cast<double>(VolumeSlider.knobX - KnobLeftEnd) / KnobTrackLength;
}
