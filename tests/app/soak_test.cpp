// A simulated day of the program: 3,456,000 ticks of 25 ms through the real
// window procedure, tick and composition, with the scripted audio library
// standing in for time. Songs play through and move on, the credits wrap,
// and a person clicks, drags and turns the knob now and then. Nothing may
// grow and no state may leave its range.

#include "../playback/fake_bass.h"
#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "playback/song_table.h"
#include "render/marquee.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace {

using fake_bass::bass;

constexpr long TicksADay = 24L * 60 * 60 * 40;
constexpr QWORD BytesATick = fake_bass::BytesPerSecond / 40;

LPARAM At(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y - CaptionHeight));
}

void Tick() {
    // The song moves on by a tick's worth of sound while it plays.
    if (Player.channel != 0) {
        fake_bass::Channel& channel = fake_bass::ChannelOf(Player.channel);
        if (channel.active == BASS_ACTIVE_PLAYING)
            channel.position = std::min(channel.position + BytesATick, channel.length - 1);
    }
    SendMessageA(Shell.window, WM_TIMER, TickTimerId, 0);
    // The double keeps what it is told; the program must not need it to.
    std::erase_if(bass.channels, [](const auto& entry) { return entry.second.freed; });
    bass.log.clear();
}

// Something a person does: one of a few gestures at a random place.
class Person {
  public:
    explicit Person(unsigned seed) : random_(seed) {}

    // Acts now and then, running the ticks a gesture needs.
    void Act(long tick) {
        if (tick % 997 != 0) return;
        std::uniform_int_distribution<int> x(0, 371), y(0, 249), kind(0, 4);
        switch (kind(random_)) {
        case 0: // rest somewhere
            SendMessageA(Shell.window, WM_MOUSEMOVE, 0, At(x(random_), y(random_)));
            break;
        case 1: { // click, held for a tick or several
            const int cx = x(random_), cy = y(random_);
            if (cx >= 297 && cx <= 335 && cy <= 52) return; // minimise and close end the day
            SendMessageA(Shell.window, WM_LBUTTONDOWN, MK_LBUTTON, At(cx, cy));
            for (int held = 0; held < 1 + cy % 12; ++held)
                Tick();
            SendMessageA(Shell.window, WM_LBUTTONUP, 0, At(cx, cy));
            Resume();
            break;
        }
        case 2: { // the knob, dragged somewhere and let go
            SendMessageA(Shell.window, WM_LBUTTONDOWN, MK_LBUTTON, At(VolumeSlider.knobX + 5, 146));
            Tick();
            for (int step = 0; step < 5; ++step) {
                SendMessageA(Shell.window, WM_MOUSEMOVE, MK_LBUTTON, At(x(random_), y(random_)));
                Tick();
            }
            SendMessageA(Shell.window, WM_LBUTTONUP, 0, At(x(random_), y(random_)));
            break;
        }
        case 3: // a press that a move takes away as a window drag
            SendMessageA(Shell.window, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 120));
            SendMessageA(Shell.window, WM_MOUSEMOVE, MK_LBUTTON, At(30, 130));
            SendMessageA(Shell.window, WM_LBUTTONUP, 0, At(30, 130));
            break;
        default: // the pointer leaves: its last place still counts
            SendMessageA(Shell.window, WM_MOUSEMOVE, 0, At(x(random_), y(random_)));
            Tick();
            break;
        }
    }

  private:
    // A stopped or paused song is started again with the play button.
    void Resume() {
        if (BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_PLAYING) return;
        SendMessageA(Shell.window, WM_LBUTTONDOWN, MK_LBUTTON, At(107, 177));
        Tick();
        SendMessageA(Shell.window, WM_LBUTTONUP, 0, At(107, 177));
    }

    std::mt19937 random_;
};

bool InRange() {
    for (const GlowLevel& glow : ButtonGlow)
        if (glow.level < 0 || glow.level > 10) return false;
    for (const GlowLevel& glow : RowGlow)
        if (glow.level < 0 || glow.level > 10) return false;
    return ListOffset >= 0 && ListOffset <= SongTable.count - VisibleRows && ScrollRepeat >= 0 &&
           ScrollRepeat <= 5 && VolumeSlider.knobX >= KnobLeftEnd &&
           VolumeSlider.knobX <= KnobRightEnd && Player.currentSong >= 0 &&
           Player.currentSong < SongTable.count && MarqueeIndex >= 1 && MarqueeIndex <= 3306;
}

TEST(Soak, ADayOfTicksKeepsEverythingInRangeAndGrowsNothing) {
    // Minutes of work: the tests that run in real time beside it go first.
    setpriority(PRIO_PROCESS, 0, 19);
    for (int song = 0; song < SongTable.count; ++song)
        bass.files[SongTable.entries[song].path] = fake_bass::Opens::AsModule;
    bass.lengthOfNewChannels = 150 * fake_bass::BytesPerSecond;
    ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
    Person person(20261207);
    bool played[SongCount] = {};
    long wraps = 0, heapAfterWarmUp = 0;
    std::uint32_t lastIndex = MarqueeIndex;
    const auto started = std::chrono::steady_clock::now();
    for (long tick = 0; tick < TicksADay; ++tick) {
        person.Act(tick);
        Tick();
        played[Player.currentSong] = true;
        wraps += MarqueeIndex < lastIndex;
        lastIndex = MarqueeIndex;
        if (tick % 4000 == 0) {
            ASSERT_TRUE(InRange()) << "tick " << tick;
        }
        if (tick == 100000) heapAfterWarmUp = static_cast<long>(mallinfo2().uordblks);
    }
    const long heapGrowth = static_cast<long>(mallinfo2().uordblks) - heapAfterWarmUp;
    const long songs = std::count(std::begin(played), std::end(played), true);
    std::fprintf(stderr,
                 "a day of ticks in %.0f s: %ld songs played, %ld credit wraps, heap %+ld bytes\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
                 songs, wraps, heapGrowth);
    EXPECT_TRUE(InRange());
    EXPECT_EQ(songs, SongTable.count);
    EXPECT_GE(wraps, TicksADay / 13224 - 1);
    EXPECT_LT(heapGrowth, 16 * 1024);
}

} // namespace
