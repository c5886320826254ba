#pragma once

#include "canvas.h"
#include "skin_art.h"

// One frame as the player would show it: the knob, the arrows, a playlist and
// a credits line from the glyph strip, with every glow, the analyser and the
// scopes at full strength when `lit` (or all of them out), laid over a
// desktop-like ground so the translucent edge can be judged.
Pixels ComposePreview(const SkinArt& art, bool lit);

// The 256 x 256 desktop icon.
Pixels PaintIcon();
