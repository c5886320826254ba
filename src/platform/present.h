#pragma once

// Hands a window its whole image. The drawing calls' layered-window update
// ends here; tests call it directly.

#include "platform/win32.h"

#include <cstdint>

namespace platform {

// Shows `pixels` (premultiplied B, G, R, A bytes of the top row, each next
// row `pitchBytes` further on, backwards when negative) as the window's
// image, alpha included. The first image also maps the
// window if the program has shown it. The window takes the image's size.
// Returns FALSE for a dead window or a bad image.
BOOL PresentImage(HWND window, const void* pixels, int width, int height, int pitchBytes);

// Shows the image last presented again, where the desktop lost it.
void ShowImageAgain(HWND window);

// The image last presented to the window (width × height pixels, top-down,
// premultiplied BGRA as 32-bit values), or null before the first one.
const std::uint32_t* PresentedImage(HWND window, int* width, int* height);

} // namespace platform
