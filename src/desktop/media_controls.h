#pragma once

// The desktop's player controls: on a Linux desktop, media keys, the panel's
// media widget, the lock screen, playerctl and phone remotes all speak MPRIS
// on the session bus, and the program serves it there. Everything the bus
// asks runs on the window's thread, inside its message wait. The Windows
// build serves none: Windows brings the media keys to the window as keys.

#include "platform/win32.h"

// Takes the player's name on the session bus and serves it for as long as
// the program runs. With no session bus, or once the bus goes away, the
// program plays on without it, saying so in one line on standard error.
void ServeMediaControls(HWND window);
