#include "app/shell.h"

#include "playback/player.h"

void TickHandler() {
    if (!Shell.ticking) return;
    // 1. Start the next song when the current one has played through.
    AdvanceAtEnd();
    // 2. Step the button and row glow levels.
    // 3. Count down the list scroll, test the pointer against the hit zones,
    //    light the control under it and perform its action if the button is
    //    held; then start a knob drag when the button is held on the knob.
    // 4. Compose the frame and hand it to the window.
}
