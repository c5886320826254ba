#pragma once

// The skin's controls: where each one lies, the glow it lights under the
// pointer and what it does when the button is held on it. Everything acts
// on a tick, never in a pointer handler.

#include "platform/win32.h"

#include <cstdint>

// The playlist entry shown in the top visible row; 0 to count - 7.
extern std::int16_t ListOffset;
// Ticks still to wait before a held scroll arrow steps again; 0 to 5. A
// button release sets it to 0.
extern std::int16_t ScrollRepeat;

constexpr int VisibleRows = 7;

// The tick's hit test: counts the scroll repeat down, turns every row glow
// towards out, and unless the knob is being dragged lights the control under
// the recorded pointer position and, with the button held, performs its
// action (a tap's, of the control where the tap was made).
void HitTestControls(HWND window);

// Scrolls the list, if need be, just so far that song `song`'s row is in view.
void ShowSongRow(std::int16_t song);

// The playlist's zone, in window x and caption-corrected y, inclusive: the
// rows' clicks and the author tooltip share it.
constexpr int ListLeft = 99, ListRight = 277, ListTop = 45, ListBottom = 113;

inline bool InListZone(int x, int y) {
    return x >= ListLeft && x <= ListRight && y >= ListTop && y <= ListBottom;
}

// The visible row (0 to 6) of a caption-corrected y inside the list's zone.
inline int ListRowAt(int y) {
    return (y - 44) / 10;
}
