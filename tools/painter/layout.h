#pragma once

// Where the skin's parts sit on the 372 x 250 window (x right, y down).
// These places are fixed by the program that draws the skin.
namespace layout {

constexpr int Width = 372, Height = 250;

struct Box {
    int x, y, w, h;
};

// The display with its bezel, and the light window inside it.
constexpr Box Bezel{86, 41, 198, 87};
constexpr Box DisplayWindow{93, 47, 186, 75};
// The oscilloscope screens.
constexpr Box LeftScope{28, 65, 57, 51};
constexpr Box RightScope{289, 65, 57, 51};
// The lit buttons, in the order of the transport row, then minimise and close.
constexpr Box PlayGlow{93, 165, 34, 32};
constexpr Box PauseGlow{130, 165, 34, 32};
constexpr Box StopGlow{167, 165, 34, 32};
constexpr Box RewindGlow{204, 165, 34, 32};
constexpr Box ForwardGlow{242, 165, 34, 32};
constexpr Box MinimiseGlow{300, 39, 17, 17};
constexpr Box CloseGlow{320, 39, 17, 17};
// The speakers, the knob's row and the ends of its travel.
constexpr Box LeftSpeaker{40, 156, 50, 50};
constexpr Box RightSpeaker{290, 156, 50, 50};
constexpr int KnobY = 148, KnobLeft = 98, KnobRight = 228, KnobW = 42, KnobH = 9;
// The list arrows, inside the display window.
constexpr Box ArrowUp{265, 50, 11, 15};
constexpr Box ArrowDown{265, 102, 11, 15};
// The strip the credits line scrolls along.
constexpr Box CreditsStrip{26, 207, 320, 25};

} // namespace layout
