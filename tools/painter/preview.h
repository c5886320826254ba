#pragma once

#include "canvas.h"
#include "skin_art.h"

// One frame as the player would show it: every glow at full strength, the
// knob, the arrows, a playlist and a credits line from the glyph strip, laid
// over a desktop-like ground so the translucent edge can be judged.
Pixels ComposePreview(const SkinArt& art);

// The 256 x 256 desktop icon.
Pixels PaintIcon();
