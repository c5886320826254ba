#pragma once

// The seven visible playlist rows: their highlight bars, their titles, the
// author tooltip under the pointer and the two scroll arrows. The view keeps
// no state of its own.

// Blends a bar behind each row: full on the playing song's row, otherwise as
// strong as the row's hover glow.
void DrawRowBars();

// The seven titles, in black, into the frame buffer.
void DrawPlaylistTitles();

// While the pointer is over the list, a white box under it with the author
// of the entry there.
void DrawAuthorTooltip();

// Blends the up and down arrows, dimmed when the list cannot scroll further
// that way.
void DrawScrollArrows();
