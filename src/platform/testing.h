#pragma once

// What tests see of the platform: every message box shown, and a way to keep
// a box open and answer it without a person.

#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::testing {

struct ShownBox {
    std::string text;
    std::string caption; // as shown: a null caption appears as "Error"
    UINT type;
};

// The boxes shown since the start or the last ClearShownBoxes, oldest first;
// the latest 256 of them.
const std::vector<ShownBox>& ShownBoxes();
void ClearShownBoxes();

// While an observer is set, a box is shown to it (on the window's thread)
// instead of the desktop, and stays open, with the program's messages still
// dispatched, until AnswerOpenBox is called. Pass nullptr to go back to the
// desktop (or stderr without a display).
using BoxObserver = std::function<void(const ShownBox&)>;
void SetBoxObserver(BoxObserver observer);

// Answers the innermost open box with OK. Any thread; an answer given while no
// box is open closes the next one at once.
void AnswerOpenBox();

// How many boxes are open now (nested boxes count each).
int OpenBoxCount();

// The clock the timers keep to, in milliseconds. A test may stand in its own
// to move time by hand; nullptr brings back the real one. Set it before the
// timers it is to govern, and wait with a zero timeout while it stands still.
using Clock = std::uint64_t (*)();
void SetClock(Clock clock);

} // namespace platform::testing
