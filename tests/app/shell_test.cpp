#include "app/shell.h"

#include "../playback/fake_bass.h"
#include "../playback/test_song_table.h"
#include "fake_win32.h"
#include "playback/player.h"
#include "playback/song_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using fake_bass::bass;
using fake_win32::win;

namespace {

HWND TheWindow() {
    return reinterpret_cast<HWND>(std::uintptr_t{0x1234});
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_bass::Reset();
        fake_win32::Reset();
        Player = PlayerState{0, 0, NoVolume, 0};
        Shell = ShellState{nullptr, nullptr, false};
        CaptionHeight = 0;
        for (int song = 0; song < SongCount; ++song)
            bass.files[TestSongPath(song)] = fake_bass::Opens::AsModule;
    }

    // Runs the whole program; the status it ends with, or -1 when it ran on
    // past the end of the process.
    static int RunProgram(int showCommand = SW_SHOWNORMAL) {
        try {
            const int status = WinMain(fake_win32::FakeInstance(), nullptr, nullptr, showCommand);
            return status;
        } catch (const fake_win32::ExitCalled& exit) {
            return static_cast<int>(exit.code);
        }
    }

    static std::size_t IndexIn(const std::vector<std::string>& log, const std::string& call) {
        return static_cast<std::size_t>(std::find(log.begin(), log.end(), call) - log.begin());
    }
};

TEST_F(ShellTest, StartUpRegistersTheClassAndCreatesTheCentredWindow) {
    win.captionHeight = 31;
    ASSERT_TRUE(StartUp(7));

    const WNDCLASSA& wc = win.registered;
    EXPECT_EQ(win.registeredName, "ZilDisc");
    EXPECT_EQ(wc.style, 0x23u);
    EXPECT_EQ(wc.lpfnWndProc, &WindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, fake_win32::FakeInstance());
    EXPECT_EQ(win.iconName, "icon2.ico");
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_NE(wc.hCursor, nullptr); // the standard arrow
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wc.hbrBackground), 6u);
    EXPECT_EQ(wc.lpszMenuName, nullptr);

    const fake_win32::CreatedWindow& w = win.created;
    EXPECT_EQ(w.exStyle, 0x000C0000u);
    EXPECT_EQ(w.style, 0x16CF0000u);
    EXPECT_EQ(w.className, "ZilDisc");
    EXPECT_EQ(w.title, "z!l tonebox");
    EXPECT_EQ(w.x, (1920 - 372) / 2);
    EXPECT_EQ(w.y, (1080 - 250) / 2);
    EXPECT_EQ(w.width, 372);
    EXPECT_EQ(w.height, 250);
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.menu, nullptr);
    EXPECT_EQ(w.instance, fake_win32::FakeInstance());
    EXPECT_EQ(w.param, nullptr);
    EXPECT_EQ(Shell.window, TheWindow());
    EXPECT_EQ(CaptionHeight, 31);
    EXPECT_EQ(win.dcsHeld, 0); // the screen's drawing context went back

    // The creation message started the 25 ms tick timer.
    EXPECT_TRUE(win.timerRunning);
    EXPECT_EQ(win.timerId, 1u);
    EXPECT_EQ(win.timerPeriod, 25u);
    EXPECT_LT(IndexIn(win.log, "ShowWindow(7)"), IndexIn(win.log, "UpdateWindow"));
    EXPECT_LT(IndexIn(win.log, "UpdateWindow"), win.log.size());

    // The library starts on the window, then song 0 plays.
    EXPECT_EQ(fake_bass::CallsStartingWith("Init"),
              (std::vector<std::string>{"Init(-1,44100,0,window,null)"}));
    EXPECT_LT(IndexIn(bass.log, "Init(-1,44100,0,window,null)"),
              IndexIn(bass.log, "StreamCreateFile(" + TestSongPath(0) + ")"));
    EXPECT_EQ(Player.currentSong, 0);
    ASSERT_NE(Player.channel, 0u);
    EXPECT_EQ(fake_bass::ChannelOf(Player.channel).active, BASS_ACTIVE_PLAYING);
    EXPECT_TRUE(win.boxes.empty());
}

TEST_F(ShellTest, TheWindowIsCentredWithDivisionsTowardZero) {
    const struct {
        int screenWidth, screenHeight, x, y;
    } cases[] = {
        {1024, 768, 326, 259}, {1025, 769, 326, 259}, {300, 200, -36, -25},
        {301, 249, -35, 0},    {372, 250, 0, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        win.screenWidth = c.screenWidth;
        win.screenHeight = c.screenHeight;
        ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
        EXPECT_EQ(win.created.x, c.x) << c.screenWidth;
        EXPECT_EQ(win.created.y, c.y) << c.screenHeight;
    }
}

TEST_F(ShellTest, AFailedRegistrationEndsAtOnceWithoutABox) {
    win.registerSucceeds = false;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(win.boxes.empty());
    EXPECT_EQ(win.window, nullptr);
    EXPECT_TRUE(bass.log.empty());
}

TEST_F(ShellTest, AFailedWindowCreationIsBoxedAndEnds) {
    win.createSucceeds = false;
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(win.boxes[0].owner, nullptr);
    EXPECT_EQ(win.boxes[0].text, "Window Creation Error.");
    EXPECT_TRUE(win.boxes[0].hasCaption);
    EXPECT_EQ(win.boxes[0].caption, "ERROR");
    EXPECT_EQ(win.boxes[0].type, 0x30u);
    EXPECT_TRUE(bass.log.empty());
}

TEST_F(ShellTest, AWrongLibraryVersionIsBoxedWithTheWindowUpAndNoSong) {
    bass.version = 0x02040000;
    // The box's own loop runs whatever the window still has queued.
    win.insideBox = [](const fake_win32::Box&) { fake_win32::RunPending(10); };
    EXPECT_EQ(RunProgram(), 0);

    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(win.boxes[0].text, "An incorrect version of BASS.DLL was loaded");
    EXPECT_FALSE(win.boxes[0].hasCaption);
    EXPECT_EQ(win.boxes[0].type, 0x10u);
    EXPECT_EQ(win.window, TheWindow());
    EXPECT_FALSE(win.windowDestroyed);
    EXPECT_FALSE(win.timerRunning); // stopped before the box
    EXPECT_EQ(win.ticksDelivered, 0);
    EXPECT_TRUE(bass.log.empty()); // neither started nor any song opened
}

TEST_F(ShellTest, OnlyTheHighWordOfTheVersionCounts) {
    bass.version = 0x0203FFFF;
    EXPECT_TRUE(StartUp(SW_SHOWNORMAL));
    SetUp();
    bass.version = 0x01030203;
    EXPECT_FALSE(StartUp(SW_SHOWNORMAL));
    EXPECT_EQ(win.boxes.size(), 1u);
}

TEST_F(ShellTest, ALibraryThatCannotStartIsBoxedAndNoTickLoadsASong) {
    bass.initResult = FALSE;
    // Even a tick that was already queued when the box opened does nothing.
    win.insideBox = [](const fake_win32::Box&) {
        PostMessageA(TheWindow(), WM_TIMER, 1, 0);
        fake_win32::RunPending(10);
    };
    EXPECT_EQ(RunProgram(), 0);

    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(win.boxes[0].text, "Can't initialize device");
    EXPECT_FALSE(win.boxes[0].hasCaption);
    EXPECT_EQ(win.boxes[0].type, 0x10u);
    EXPECT_FALSE(win.timerRunning);
    EXPECT_EQ(fake_bass::CallsStartingWith("Init").size(), 1u);
    EXPECT_TRUE(fake_bass::CallsStartingWith("StreamCreateFile").empty());
    EXPECT_TRUE(fake_bass::CallsStartingWith("MusicLoad").empty());
}

TEST_F(ShellTest, AMissingFirstSongIsBoxedWhileTicksMoveOn) {
    bass.files.erase(TestSongPath(0));
    win.insideBox = [](const fake_win32::Box&) { fake_win32::RunPending(3); };
    ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
    ASSERT_EQ(win.boxes.size(), 1u);
    EXPECT_EQ(win.boxes[0].text, "Can't load file");
    EXPECT_EQ(Player.currentSong, 1);
    ASSERT_NE(Player.channel, 0u);
    EXPECT_EQ(fake_bass::ChannelOf(Player.channel).active, BASS_ACTIVE_PLAYING);
}

TEST_F(ShellTest, WindowProcedureHandlesKeysAndLifecycleMessages) {
    ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
    EXPECT_EQ(win.defaultHandled, 1); // the creation message went on
    win.defaultHandled = 0;
    const HWND window = Shell.window;

    // Only Escape asks to close, through the queue; no other key posts.
    for (WPARAM key : {WPARAM{'A'}, WPARAM{13}, WPARAM{32}, WPARAM{0x1C}, WPARAM{0x11B}}) {
        EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, key, 0), 0);
        EXPECT_TRUE(win.queue.empty()) << key;
    }
    EXPECT_EQ(SendMessageA(window, WM_KEYUP, VK_ESCAPE, 0), 0);
    EXPECT_TRUE(win.queue.empty());
    EXPECT_EQ(win.defaultHandled, 0);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    ASSERT_EQ(win.queue.size(), 1u);
    EXPECT_EQ(win.queue.front().message, WM_CLOSE);
    EXPECT_EQ(win.queue.front().hwnd, window);
    EXPECT_FALSE(win.quitPosted);

    // Size and activation are consumed; creation, ticks and the pointer go on
    // to the default handling; anything else is the default's alone.
    EXPECT_EQ(SendMessageA(window, WM_SIZE, 0, MAKELPARAM(372, 250)), 0);
    EXPECT_EQ(SendMessageA(window, WM_ACTIVATE, 1, 0), 0);
    EXPECT_EQ(win.defaultHandled, 0);
    int passed = 0;
    for (UINT message : std::initializer_list<UINT>{WM_TIMER, WM_MOUSEMOVE, WM_LBUTTONDOWN,
                                                    WM_LBUTTONUP, 0x0024}) {
        SendMessageA(window, message, 0, 0);
        EXPECT_EQ(win.defaultHandled, ++passed) << message;
    }

    // Closing asks to quit and leaves the window alone.
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(win.quitPosted);
    EXPECT_FALSE(win.windowDestroyed);
    EXPECT_TRUE(win.timerRunning);

    // Destruction stops the timer and asks to quit once more.
    win.quitPosted = false;
    EXPECT_EQ(SendMessageA(window, WM_DESTROY, 0, 0), 0);
    EXPECT_FALSE(win.timerRunning);
    EXPECT_TRUE(win.quitPosted);
    EXPECT_EQ(win.defaultHandled, passed);
}

TEST_F(ShellTest, TicksAdvanceSongsUntilEscapeThenShutDownInOrder) {
    bass.lengthOfNewChannels = 1; // every song has played through at once
    win.tickBudget = 3;
    // After three ticks the user presses Escape.
    win.whenIdle = [] { PostMessageA(TheWindow(), WM_KEYDOWN, VK_ESCAPE, 0); };
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(win.ticksDelivered, 3);
    EXPECT_EQ(Player.currentSong, 3);
    EXPECT_EQ(fake_bass::CallsStartingWith("ChannelPlay").size(), 4u);

    // The library goes first, then the drawing context, the window (whose
    // destruction stops the timer) and the class.
    const std::size_t free = IndexIn(bass.log, "Free");
    ASSERT_LT(free, bass.log.size());
    EXPECT_EQ(free, bass.log.size() - 1);
    const std::size_t release = IndexIn(win.log, "ReleaseDC(window)");
    const std::size_t destroy = IndexIn(win.log, "DestroyWindow");
    const std::size_t unregister = IndexIn(win.log, "UnregisterClassA");
    EXPECT_LT(release, destroy);
    EXPECT_LT(destroy, unregister);
    EXPECT_LT(unregister, win.log.size());
    EXPECT_TRUE(win.windowDestroyed);
    EXPECT_FALSE(win.timerRunning);
    EXPECT_TRUE(win.classUnregistered);
    EXPECT_EQ(win.unregisteredName, "ZilDisc");
    EXPECT_EQ(win.dcsHeld, 0);
    EXPECT_TRUE(win.boxes.empty());
}

TEST_F(ShellTest, ShutdownFailuresAreBoxedAndShutdownGoesOn) {
    ASSERT_TRUE(StartUp(SW_SHOWNORMAL));
    win.releaseDcSucceeds = false;
    win.destroySucceeds = false;
    win.unregisterSucceeds = false;
    bass.lengthOfNewChannels = 1;
    fake_bass::ChannelOf(Player.channel).length = 1; // song 0 is at its end
    // The boxes' loops run ticks while the library is already gone.
    win.insideBox = [](const fake_win32::Box&) { fake_win32::RunPending(5); };
    bass.log.clear();

    int status = -1;
    try {
        ShutDown();
    } catch (const fake_win32::ExitCalled& exit) {
        status = static_cast<int>(exit.code);
    }
    EXPECT_EQ(status, 0);
    const char* texts[] = {"Release Device Context Failed.", "Could Not Release hWnd.",
                           "Could Not Unregister Class."};
    ASSERT_EQ(win.boxes.size(), 3u);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(win.boxes[n].owner, nullptr);
        EXPECT_EQ(win.boxes[n].text, texts[n]);
        EXPECT_EQ(win.boxes[n].caption, "SHUTDOWN ERROR");
        EXPECT_EQ(win.boxes[n].type, 0x40u);
    }
    EXPECT_GT(win.ticksDelivered, 0);
    EXPECT_EQ(bass.log, (std::vector<std::string>{"Free"})); // no song after the library went
}

TEST_F(ShellTest, EscapeAndTheDesktopCloseEndTheProgramWithStatusZero) {
    for (bool escape : {true, false}) {
        SetUp();
        win.tickBudget = 0;
        if (escape)
            win.queue.push_back(MSG{TheWindow(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}});
        else
            win.queue.push_back(MSG{TheWindow(), WM_CLOSE, 0, 0, 0, {0, 0}});
        EXPECT_EQ(RunProgram(), 0);
        EXPECT_TRUE(win.windowDestroyed);
        EXPECT_EQ(bass.freeCalls, 1);
        EXPECT_TRUE(win.classUnregistered);
    }
}

TEST_F(ShellTest, AHeldEscapeEndsTheProgramOnce) {
    // Auto-repeat: several presses queue before the loop gets to the quit.
    for (int repeat = 0; repeat < 3; ++repeat)
        win.queue.push_back(MSG{TheWindow(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}});
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(bass.freeCalls, 1);
    EXPECT_EQ(std::count(win.log.begin(), win.log.end(), "DestroyWindow"), 1);
    EXPECT_TRUE(win.boxes.empty());
}

} // namespace
