// The controls as a person uses them: real pointer messages with their real
// packing sent to the program's window, then timer ticks, over the real
// window system and a scripted audio library.

#include "../playback/fake_bass.h"
#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "playback/song_table.h"
#include "render/frame.h"
#include "render/marquee.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using fake_bass::bass;

// Places on the skin (x, and y from the skin's top).
struct Spot {
    int x, y;
};
constexpr Spot PlaySpot{107, 177}, PauseSpot{144, 177}, StopSpot{182, 177};
constexpr Spot RewindSpot{219, 177}, ForwardSpot{256, 177}, MinimiseSpot{306, 44};
constexpr Spot CloseSpot{326, 44}, DownArrow{266, 103}, UpArrow{266, 54}, Nowhere{20, 240};

// The buttons' zones, inclusive, in the spots' coordinates, and the glow
// each lights.
struct ButtonZone {
    const char* name;
    int glow;
    int left, top, right, bottom;
};
constexpr ButtonZone ButtonZones[] = {
    {"play", PlayButton, 90, 161, 124, 193},        {"pause", PauseButton, 127, 161, 161, 193},
    {"stop", StopButton, 165, 161, 199, 193},       {"rewind", RewindButton, 202, 161, 236, 193},
    {"forward", ForwardButton, 239, 161, 273, 193}, {"close", CloseButton, 317, 35, 335, 52},
    {"minimise", MinimiseButton, 297, 35, 315, 52},
};

class Controls : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        OpenEverySong();
        ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
    }

    void SetUp() override {
        OpenEverySong();
        PointerState = PointerRecord{};
        for (GlowLevel& glow : ButtonGlow)
            glow = GlowLevel{0, 0};
        for (GlowLevel& glow : RowGlow)
            glow = GlowLevel{0, 0};
        ListOffset = 0;
        ScrollRepeat = 0;
        VolumeSlider.knobX = KnobRightEnd;
        Player = PlayerState{0, 0, NoVolume, 0};
        PlaySong(0);
        bass.log.clear();
    }

    static void OpenEverySong() {
        fake_bass::Reset();
        for (int song = 0; song < SongTable.count; ++song)
            bass.files[SongTable.entries[song].path] = fake_bass::Opens::AsModule;
    }

    // Pointer positions arrive relative to the client area below the caption.
    static LPARAM At(Spot s) {
        return MAKELPARAM(static_cast<WORD>(s.x), static_cast<WORD>(s.y - CaptionHeight));
    }
    static void Move(Spot s, WPARAM keys = 0) {
        SendMessageA(Shell.window, WM_MOUSEMOVE, keys, At(s));
    }
    static void Press(Spot s) { SendMessageA(Shell.window, WM_LBUTTONDOWN, MK_LBUTTON, At(s)); }
    static void Release(Spot s) { SendMessageA(Shell.window, WM_LBUTTONUP, 0, At(s)); }
    static void Tick(int ticks = 1) {
        for (int i = 0; i < ticks; ++i)
            SendMessageA(Shell.window, WM_TIMER, TickTimerId, 0);
    }
    // A touchpad's tap: the press and its release come before the next tick.
    static void Tap(Spot s) {
        Press(s);
        Release(s);
    }
    // A click held over one tick.
    static void Click(Spot s) {
        Press(s);
        Tick();
        Release(s);
    }
    static fake_bass::Channel& Current() { return fake_bass::ChannelOf(Player.channel); }
    static std::size_t Calls(const std::string& prefix) {
        return fake_bass::CallsStartingWith(prefix).size();
    }
};

TEST_F(Controls, TransportButtonsActOnceOnTheTickThatSeesThePress) {
    Current().position = 176400 * 3;
    Press(StopSpot);
    EXPECT_EQ(Current().active, BASS_ACTIVE_PLAYING) << "nothing acts in the pointer handler";
    Tick();
    EXPECT_EQ(Current().active, BASS_ACTIVE_STOPPED);
    EXPECT_EQ(Current().position, 0u) << "stop returns to the start";
    Tick(3); // still held: the press was used up
    Release(StopSpot);
    EXPECT_EQ(Calls("ChannelSetPosition"), 1u);

    Click(PlaySpot);
    EXPECT_EQ(fake_bass::CallsStartingWith("ChannelPlay"),
              std::vector<std::string>{"ChannelPlay(" + std::to_string(Player.channel) + ",1)"})
        << "play after stop starts from the beginning";
    Current().position = 176400 * 2;
    Click(PauseSpot);
    EXPECT_EQ(Current().active, BASS_ACTIVE_PAUSED);
    Click(PlaySpot);
    EXPECT_EQ(Current().active, BASS_ACTIVE_PLAYING);
    EXPECT_EQ(fake_bass::CallsStartingWith("ChannelPlay").back(),
              "ChannelPlay(" + std::to_string(Player.channel) + ",0)")
        << "play after pause resumes";
    Click(PlaySpot);
    EXPECT_EQ(Calls("ChannelPlay"), 2u) << "play while playing does nothing";

    // A tap: pressed and released between two ticks, it acts on the next
    // one, once, even when the pointer moves off before that tick.
    Tap(StopSpot);
    Move(PlaySpot);
    EXPECT_TRUE(PointerState.buttonHeld) << "a move after the tap's release keeps it";
    Tick();
    EXPECT_EQ(Current().active, BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(PointerState.buttonHeld);
    EXPECT_EQ(PointerState.lastX, PlaySpot.x) << "the move is where the pointer is now";
    Move(PlaySpot);
    Tick(3);
    EXPECT_EQ(Current().active, BASS_ACTIVE_STOPPED);
}

TEST_F(Controls, BackAndForwardMoveOneWholeSecondFromWhereTheSongIs) {
    Current().position = 176400 * 57 / 10; // 5.7 s
    Click(RewindSpot);
    EXPECT_EQ(Current().position, 176400u * 4);
    Current().position = 176400 * 57 / 10;
    Click(ForwardSpot);
    EXPECT_EQ(Current().position, 176400u * 6);
}

TEST_F(Controls, AHeldArrowScrollsAtOnceThenEveryFifthTickUpToTheEnd) {
    Press(DownArrow);
    std::vector<int> offsets;
    for (int tick = 0; tick < 11; ++tick) {
        Tick();
        offsets.push_back(ListOffset);
    }
    EXPECT_EQ(offsets, (std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3}));
    Tick(5 * 40);
    EXPECT_EQ(ListOffset, SongTable.count - VisibleRows);
    EXPECT_TRUE(PointerState.buttonHeld) << "scrolling keeps the press";
    Release(DownArrow);
    EXPECT_EQ(ScrollRepeat, 0);

    // Two clicks within five ticks give two steps, and so do two taps; two
    // taps before one tick count once.
    Click(UpArrow);
    Click(UpArrow);
    EXPECT_EQ(ListOffset, SongTable.count - VisibleRows - 2);
    Tap(UpArrow);
    Tick();
    EXPECT_EQ(ScrollRepeat, 0) << "the release is honoured after the tick";
    Tap(UpArrow);
    Tap(UpArrow);
    Tick(6);
    EXPECT_EQ(ListOffset, SongTable.count - VisibleRows - 4);
}

TEST_F(Controls, ARowClickPlaysTheSongShownThereIncludingInTheArrowColumn) {
    ListOffset = 3;
    const struct {
        Spot spot;
        int song; // -1: no song starts
    } cases[] = {
        {{150, 45}, 3},  {{150, 53}, 3},   {{150, 54}, 4}, {{150, 104}, 9}, {{150, 113}, 9},
        {{266, 47}, 3},  {{266, 61}, 4},   {{266, 97}, 8}, {{266, 109}, 9}, {{266, 113}, 9},
        {{150, 44}, -1}, {{150, 114}, -1}, {{98, 80}, -1}, {{278, 80}, -1},
    };
    for (const auto& c : cases) {
        Player.currentSong = 20;
        bass.log.clear();
        Click(c.spot);
        EXPECT_EQ(Player.currentSong, c.song < 0 ? 20 : c.song) << c.spot.x << ", " << c.spot.y;
        EXPECT_EQ(Calls("MusicLoad"), c.song < 0 ? 0u : 1u) << c.spot.x << ", " << c.spot.y;
    }
}

TEST_F(Controls, GlowsRiseUnderARestingPointerAndSinkWhileItMoves) {
    Move(PlaySpot);
    Tick();
    EXPECT_EQ(ButtonGlow[PlayButton].level, 0) << "the move's own step comes first";
    Tick(10);
    EXPECT_EQ(ButtonGlow[PlayButton].level, 10);
    Tick(3);
    EXPECT_EQ(ButtonGlow[PlayButton].level, 10);
    for (int tick = 0; tick < 4; ++tick) {
        Move(PlaySpot);
        Tick();
    }
    EXPECT_EQ(ButtonGlow[PlayButton].level, 6) << "a pointer moving over the button lets it sink";

    // Rows: the row under the pointer climbs while the one it left sinks.
    Move(Spot{150, 50});
    Tick(6);
    EXPECT_EQ(RowGlow[0].level, 5);
    Move(Spot{150, 60});
    Tick(3); // the first of them still applies the step the last tick set
    EXPECT_EQ(RowGlow[0].level, 4);
    EXPECT_EQ(RowGlow[1].level, 2);

    // Minimise: its glow goes out at once and the pointer counts as nowhere.
    Move(MinimiseSpot);
    Tick(5);
    Press(MinimiseSpot);
    Tick();
    EXPECT_EQ(ButtonGlow[MinimiseButton].level, 0);
    EXPECT_EQ(ButtonGlow[MinimiseButton].step, 0);
    EXPECT_EQ(PointerState.lastX, 0);
    EXPECT_EQ(PointerState.lastY, 0);
    EXPECT_FALSE(PointerState.buttonHeld);
    Tick(3);
    EXPECT_EQ(ButtonGlow[MinimiseButton].level, 0);
    ShowWindow(Shell.window, SW_SHOWNORMAL);
}

TEST_F(Controls, TheKnobSetsTheVolumeFromZeroTo99AndEverySongAfterKeepsIt) {
    Click(PlaySpot); // songs start at their own volumes until the knob moves
    PlaySong(1);
    EXPECT_EQ(Calls("MusicSetAttribute"), 0u);

    // A press at the knob's left edge starts nothing; right of it, up to
    // 269, it does, and the knob jumps under the pointer at the first move.
    Press(Spot{KnobRightEnd, 146});
    Tick();
    EXPECT_FALSE(PointerState.sliderDragging);
    Release(Spot{KnobRightEnd, 146});
    Press(Spot{269, 151});
    Tick();
    ASSERT_TRUE(PointerState.sliderDragging);
    EXPECT_EQ(VolumeSlider.knobX, KnobRightEnd) << "no move yet";
    Move(Spot{0, 10}, MK_LBUTTON); // anywhere: only x counts
    EXPECT_EQ(VolumeSlider.knobX, KnobLeftEnd);
    EXPECT_EQ(Current().volumes, std::vector<DWORD>(4, 0));
    Move(Spot{184, 146}, MK_LBUTTON);
    EXPECT_EQ(Current().volumes, std::vector<DWORD>(4, 49));
    Move(Spot{1000, 146}, MK_LBUTTON);
    EXPECT_EQ(VolumeSlider.knobX, KnobRightEnd);
    EXPECT_EQ(Current().volumes, std::vector<DWORD>(4, 99));
    Move(Spot{119, 146}, MK_LBUTTON);
    Release(Spot{119, 146});
    EXPECT_FALSE(PointerState.sliderDragging);
    // A tap on the knob's track starts a drag that its release ends at once.
    Tap(Spot{250, 146});
    Tick();
    EXPECT_FALSE(PointerState.sliderDragging);
    Move(Spot{250, 146});
    EXPECT_EQ(VolumeSlider.knobX, KnobLeftEnd);

    // The next song starts at the knob's volume, set before it plays.
    Current().position = Current().length - 1;
    bass.log.clear();
    Tick();
    ASSERT_EQ(Player.currentSong, 2);
    EXPECT_EQ(Current().volumes, std::vector<DWORD>(4, 0));
    const auto& log = bass.log;
    const auto firstVolume = std::find_if(log.begin(), log.end(), [](const std::string& call) {
        return call.rfind("MusicSetAttribute", 0) == 0;
    });
    const auto play = std::find_if(log.begin(), log.end(), [](const std::string& call) {
        return call.rfind("ChannelPlay", 0) == 0;
    });
    EXPECT_LT(firstVolume, play);
}

// While the knob is dragged the zones are not tested: the held press passes
// over every control without acting or lighting it, and the rows fade.
TEST_F(Controls, AKnobDragPassesOverEveryControlWithoutPressingIt) {
    Move(Spot{150, 80}); // row 3
    Tick(11);
    Press(Spot{250, 146});
    Tick();
    ASSERT_TRUE(PointerState.sliderDragging);
    bass.log.clear();
    const Spot overControls[] = {PlaySpot,  PauseSpot,    StopSpot,  RewindSpot, ForwardSpot,
                                 CloseSpot, MinimiseSpot, DownArrow, UpArrow,    Spot{150, 80}};
    int level = RowGlow[3].level;
    for (const Spot& spot : overControls) {
        Move(spot, MK_LBUTTON);
        Tick();
        const std::string where = std::to_string(spot.x) + ", " + std::to_string(spot.y);
        EXPECT_TRUE(PointerState.buttonHeld) << where;
        EXPECT_EQ(PointerState.lastX, spot.x) << where;
        EXPECT_EQ(RowGlow[3].level, --level) << where;
        for (int glow = 0; glow < GlowCount; ++glow) {
            EXPECT_LT(ButtonGlow[glow].step, 1) << where;
            EXPECT_EQ(RowGlow[glow].step, -1) << where;
        }
    }
    EXPECT_EQ(ListOffset, 0);
    for (const char* action : {"ChannelPlay", "ChannelPause", "ChannelStop", "ChannelSetPosition",
                               "StreamCreateFile", "MusicLoad"})
        EXPECT_EQ(Calls(action), 0u) << action;
    Release(Spot{150, 80});
}

// The frame as it would be handed to the window now, B, G, R per pixel; the
// credits line stands still for it.
std::vector<std::uint8_t> PaintedColours() {
    OpenFrameCanvas();
    MarqueeIndex = 1;
    MarqueeOffset = 0.0f;
    PaintFrame();
    std::vector<std::uint8_t> colours;
    for (int y = 0; y < FrameHeight; ++y)
        for (int x = 0; x < FrameWidth; ++x)
            colours.insert(colours.end(), FramePixel(MemoryRow(y), x),
                           FramePixel(MemoryRow(y), x) + 3);
    CloseFrameCanvas();
    return colours;
}

// Resting on a button lights that button's glow and no other, and the light
// falls on the skin where the button's zone lies: the zones are client
// positions, inside the window's sizing frame.
TEST_F(Controls, EachButtonLightsItsOwnGlowOverItself) {
    const int frame = GetSystemMetrics(SM_CXFRAME);
    for (const ButtonZone& button : ButtonZones) {
        for (GlowLevel& glow : ButtonGlow)
            glow = GlowLevel{0, 0};
        Move(Spot{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
        Tick(11);
        for (int glow = 0; glow < GlowCount; ++glow)
            EXPECT_EQ(ButtonGlow[glow].level, glow == button.glow ? 10 : 0) << button.name;
        const std::vector<std::uint8_t> lit = PaintedColours();
        ButtonGlow[button.glow].level = 0;
        const std::vector<std::uint8_t> dark = PaintedColours();
        int left = FrameWidth, top = FrameHeight, right = -1, bottom = -1;
        for (std::size_t i = 0; i < lit.size(); ++i) {
            if (lit[i] == dark[i]) continue;
            const int x = static_cast<int>(i / 3) % FrameWidth,
                      y = static_cast<int>(i / 3) / FrameWidth;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
        EXPECT_GT(right - left, 10) << button.name << " glows";
        EXPECT_GE(left, button.left + frame - 3) << button.name;
        EXPECT_LE(right, button.right + frame + 3) << button.name;
        EXPECT_GE(top, button.top + frame - 3) << button.name;
        EXPECT_LE(bottom, button.bottom + frame + 3) << button.name;
    }
}

// Every zone's edges: the outermost pixels on each side are in it, the
// next ones out.
TEST_F(Controls, EachButtonsZoneEndsAtItsEdges) {
    for (const ButtonZone& button : ButtonZones) {
        const int midX = (button.left + button.right) / 2, midY = (button.top + button.bottom) / 2;
        const struct {
            Spot spot;
            bool in;
        } probes[] = {
            {{button.left, midY}, true},   {{button.left - 1, midY}, false},
            {{button.right, midY}, true},  {{button.right + 1, midY}, false},
            {{midX, button.top}, true},    {{midX, button.top - 1}, false},
            {{midX, button.bottom}, true}, {{midX, button.bottom + 1}, false},
        };
        for (const auto& probe : probes) {
            Move(probe.spot);
            Tick();
            EXPECT_EQ(ButtonGlow[button.glow].step == 1, probe.in)
                << button.name << " at " << probe.spot.x << ", " << probe.spot.y;
        }
    }
}

// The knob's drag starts right of its left edge up to 269, and strictly
// between the rows 141 and 152 of the caption-corrected y.
TEST_F(Controls, TheKnobsDragStartsOnlyInsideItsStrictBox) {
    const struct {
        Spot spot;
        bool drags;
    } presses[] = {
        {{KnobRightEnd + 1, 146}, true},
        {{KnobRightEnd, 146}, false},
        {{269, 146}, true},
        {{270, 146}, false},
        {{250, 142}, true},
        {{250, 141}, false},
        {{250, 151}, true},
        {{250, 152}, false},
    };
    for (const auto& press : presses) {
        Press(press.spot);
        Tick();
        EXPECT_EQ(PointerState.sliderDragging, press.drags) << press.spot.x << ", " << press.spot.y;
        Release(press.spot);
    }
}

// A move with no button, Shift or Ctrl down tells of a release the window
// never saw and ends a held press; any of them keeps it. Made during a knob
// drag, where no move of the window is asked for. A tap whose release came
// already keeps its press for its tick whatever the move says.
TEST_F(Controls, AMoveWithNoKeysDownEndsAHeldPress) {
    const Spot knob{250, 146};
    const struct {
        bool tap;
        WPARAM keys;
        bool kept;
    } moves[] = {
        {false, 0, false},         {false, MK_SHIFT, true},   {false, MK_CONTROL, true},
        {false, MK_RBUTTON, true}, {false, MK_LBUTTON, true}, {true, 0, true},
    };
    for (const auto& move : moves) {
        Press(knob);
        if (move.tap)
            Release(knob);
        else
            Tick();
        Move(knob, move.keys);
        EXPECT_EQ(PointerState.buttonHeld, move.kept) << move.tap << ", keys " << move.keys;
        Release(knob);
        Tick();
    }
}

} // namespace
