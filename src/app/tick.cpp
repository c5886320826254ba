#include "app/shell.h"

#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "render/frame.h"

void TickHandler(HWND window) {
    if (!Shell.ticking) return;
    AdvanceAtEnd();
    StepGlows();
    HitTestControls(window);
    StartKnobDrag();
    SettlePress();
    ComposeFrame(window);
}
