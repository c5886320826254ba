#pragma once

// How many times larger than the program draws them the layer shows its
// windows: every pixel as a block of scale x scale, every pointer position
// divided by it, so the program never knows.

namespace platform {

constexpr int kMaxScale = 4;

// Called by the process entry before the first window: `scale` from 1 to
// kMaxScale, or 0 for the desktop's own (TONEBOX_SCALE, then GDK_SCALE,
// then the X resource Xft.dpi, else 1). Without it, windows are shown at
// the program's size.
void ChooseScale(int scale);

} // namespace platform
