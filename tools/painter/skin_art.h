#pragma once

#include "canvas.h"

// Which control of the body is painted lit.
enum class Lit { None, Play, Pause, Stop, Rewind, Forward, Minimise, Close };

// The fifteen images of the skin, each to its size and rules.
struct SkinArt {
    Pixels background, bezel, speaker, speakerGlow;
    Pixels play, pause, stop, rewind, forward, minimise, close;
    Pixels knob, font, arrowDown, arrowUp;
};

// The whole 372 x 250 body with one control lit (or none).
Pixels PaintBody(Lit lit);
Pixels PaintSpeaker(bool lit);
// The speaker as vectors in a 50 x 50 box, for drawing at other sizes.
void DrawSpeaker(cairo_t* cr, bool lit);
Pixels PaintKnob();
Pixels PaintArrow(bool up);
SkinArt PaintSkin();
