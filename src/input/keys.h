#pragma once

// The keyboard, with the window focused: Space plays or pauses, Left and
// Right seek a second back and forward, Up and Down move the volume knob a
// step, Z X C V B are previous, play, pause, stop and next, and the
// keyboard's media keys do what their names say. Escape is the shell's.

#include "platform/win32.h"

// A key went down (`flags` as the key message carries them): runs its
// command. Seeking and the knob repeat while their key is held; the others
// act once a press.
void OnCommandKey(WPARAM key, LPARAM flags);
