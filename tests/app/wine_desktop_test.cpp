// tonebox.exe, the Windows build, through Wine on a real X display with a
// window manager: where its window opens, what it plays and when it moves on,
// its skin beside the Linux build's, and a person at the mouse. Run by
// scripts/test-windows, which names the program (TONEBOX_WINDOWS_PROGRAM) and
// the Wine prefix it has made ready (WINEPREFIX). The sound comes from SDL's
// disk audio driver, which the Windows build has too.

#include "child_process.h"
#include "desktop.h"
#include "disk_audio.h"
#include "person_at_the_mouse.h"
#include "playback/song_table.h"
#include "skin/skin_images.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

constexpr const char* LinuxProgram = TONEBOX_BINARY;
constexpr const char* Wine = "/usr/lib/wine/wine64";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

using e2e::BackgroundAt;
using e2e::SkinOnScreen;

class WineDesktopTest : public ::testing::Test, public e2e::Person {
  protected:
    // The person keeps references to the desktop and the sound output below.
    WineDesktopTest() : e2e::Person(desktop, audioPath) {}
    void SetUp() override {
        windowsProgram = Variable("TONEBOX_WINDOWS_PROGRAM");
        prefix = Variable("WINEPREFIX");
        ASSERT_FALSE(windowsProgram.empty() || prefix.empty())
            << "TONEBOX_WINDOWS_PROGRAM and WINEPREFIX name tonebox.exe and a ready Wine prefix "
               "(scripts/test-windows sets both)";
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
        // The program in the folder its songs are in, as the download has it.
        std::filesystem::copy_file(windowsProgram, folder + "/tonebox.exe");
        audioPath = folder + "/audio.raw";
        const std::string error = desktop.Start(folder, e2e::Desktop::Kind::WindowManager);
        ASSERT_EQ(error, "");
        desktop.Run("xdotool mousemove 5 5");
    }
    void TearDown() override { e2e::CleanUp(program, desktop, folder, HasFailure()); }

    void WriteToneSongs(int from, int to, int note) {
        for (int song = from; song < to; ++song)
            ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), note, false), "");
    }

    // Starts tonebox.exe through Wine, or with `linux` the Linux build, in
    // the folder, and waits for its window; `window` and `origin` name it.
    void Start(bool linux = false) {
        std::error_code ignored;
        std::filesystem::remove(audioPath, ignored);
        const std::vector<std::string> common = {
            "DISPLAY=" + desktop.Display(), "PATH=/usr/bin:/bin", "HOME=" + Variable("HOME"),
            "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=audio.raw"};
        if (linux) {
            program = e2e::Launch(LinuxProgram, folder, common);
        } else {
            std::vector<std::string> environment = common;
            environment.insert(environment.end(), {"WINEPREFIX=" + prefix, "WINEDEBUG=-all",
                                                   "WINEDLLOVERRIDES=mscoree,mshtml="});
            program =
                e2e::Launch(std::vector<std::string>{Wine, "tonebox.exe"}, folder, environment);
        }
        // A Wine process's start takes about a second of processor time, and
        // much longer on a machine busy with other work.
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return !(window = desktop.FindWindow("z!l tonebox")).empty(); }, 20000))
            << "no window; " << e2e::Describe(program) << "\n"
            << e2e::ReadFile(program.stderrPath);
        ASSERT_TRUE(
            e2e::WaitUntil([&] { return e2e::ReadDiskAudio(audioPath).Seconds() > 0.2; }, 10000))
            << "no sound output";
        origin = desktop.WindowPosition(window);
    }

    // Escape, typed at the focused window, ends the program with status 0.
    // Wine drops key events that come before it has taken the focus, which
    // it does a moment after the X server gives it: so the key is typed
    // again until the program ends or the deadline passes.
    void EndByEscape() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::optional<int> status;
        while (!status && e2e::StillRunning(program) &&
               std::chrono::steady_clock::now() < deadline) {
            desktop.Run("xdotool windowfocus --sync " + window + " key Escape");
            e2e::WaitUntil([&] { return !e2e::StillRunning(program); }, 1000);
        }
        EXPECT_EQ(e2e::WaitForExit(program, 0), std::optional<int>(0))
            << "Escape did not end the program: " << e2e::Describe(program);
    }

    std::string windowsProgram;
    std::string prefix;
    std::string folder;
    std::string audioPath;
    e2e::Desktop desktop;
    e2e::Child program;
    std::string window;
};

TEST_F(WineDesktopTest, OpensCentredPlaysSongZeroMovesOnAndEscapeEndsWithStatusZero) {
    ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, 0), e2e::LowNote, true), "");
    WriteToneSongs(1, 40, e2e::HighNote);
    ASSERT_NO_FATAL_FAILURE(Start());
    const std::string info = desktop.Run("xwininfo -id " + window);
    EXPECT_EQ(origin, std::pair((e2e::ScreenWidth - 372) / 2, (e2e::ScreenHeight - 250) / 2))
        << info;
    EXPECT_NE(info.find("Width: 372"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 250"), std::string::npos) << info;

    // Song 0, the low tone, lasts a second; then song 1, the high one.
    e2e::DiskAudio audio;
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return (audio = e2e::ReadDiskAudio(audioPath)).Seconds() > 2.5; }, 8000))
        << "the sound output stalled";
    const long start = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(start, 0) << "song 0 is not heard";
    EXPECT_NEAR(e2e::ToneFrequency(audio, start, start + e2e::AudioRate / 2), e2e::LowHz, 10);
    const long later = start + static_cast<long>(1.3 * e2e::AudioRate);
    EXPECT_NEAR(e2e::ToneFrequency(audio, later, later + e2e::AudioRate / 2), e2e::HighHz, 20)
        << "song 1 follows";
    EndByEscape();
}

// The skin as the Linux build shows it, every pixel within 2 levels, in a
// state both hold still: silent songs (the spectrum, the scopes and the
// speakers at rest), the list one row down so the playing row's bar is out
// of view, the pointer resting where nothing glows. Only the credits line,
// which moves every tick, is left out: rows 222 to 229, columns 31 to 341.
TEST_F(WineDesktopTest, ShowsTheSkinAsTheLinuxBuildDoes) {
    for (int song = 0; song < 40; ++song)
        // Its one note at volume 0: the spectrum, the scopes and the
        // speakers stay at rest.
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), e2e::LowNote, false, 0), "");
    const auto shootAtRest = [&](bool linux) {
        Start(linux);
        if (HasFatalFailure()) return SkinOnScreen{};
        Click(266, 103); // the down arrow: one row
        Hover(20, 240);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        const SkinOnScreen skin = Look();
        EndByEscape();
        return skin;
    };
    const SkinOnScreen linuxSkin = shootAtRest(true);
    if (HasFatalFailure()) return;
    const SkinOnScreen windowsSkin = shootAtRest(false);
    if (HasFatalFailure()) return;
    ASSERT_EQ(windowsSkin.origin, linuxSkin.origin);
    // The skin is there: the title band shows the background where it is
    // opaque.
    int background = 0;
    for (int y = 2; y < 36; ++y)
        for (int x = 0; x < 372; ++x)
            background += SkinImagePixels(BackgroundImage)[(y * 372 + x) * 4 + 3] == 255 &&
                          windowsSkin.At(x, y) == BackgroundAt(x, y);
    EXPECT_GT(background, 5000);
    int differing = 0, largest = 0;
    std::string first;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 372; ++x) {
            if (y >= 222 && y <= 229 && x >= 31 && x <= 341) continue;
            const e2e::Rgb a = linuxSkin.At(x, y), b = windowsSkin.At(x, y);
            const int apart =
                std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
            largest = std::max(largest, apart);
            if (apart <= 2) continue;
            if (++differing <= 10)
                first += "\n  (" + std::to_string(x) + ", " + std::to_string(y) +
                         "): " + std::to_string(a.r) + " " + std::to_string(a.g) + " " +
                         std::to_string(a.b) + " against " + std::to_string(b.r) + " " +
                         std::to_string(b.g) + " " + std::to_string(b.b);
        }
    EXPECT_EQ(differing, 0) << "Linux against Wine:" << first;
    std::printf("the skin under Wine against Linux: at most %d levels apart\n", largest);
}

// A person at the mouse: the glow under a resting pointer, a row click, the
// knob, and a drag by the skin, each checked on the screen or in the sound.
TEST_F(WineDesktopTest, APersonAtTheMouse) {
    WriteToneSongs(0, 40, e2e::LowNote);
    ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, 1), e2e::HighNote, false), "");
    ASSERT_NO_FATAL_FAILURE(Start());

    Hover(107, 177); // the play button
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(e2e::LitPixels(Look(), 96, 168, 124, 194), 300) << "the play button glows";

    Click(150, 66); // low on row 1's bar (58 to 67): the high tone
    EXPECT_NEAR(HeardAfter(Mark()).hz, e2e::HighHz, 20) << "the row's song plays";

    Drag(249, 150, 60, 150);
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "the knob at the left";
    Drag(119, 150, 330, 150);
    EXPECT_GT(HeardAfter(Mark()).peak, 1000) << "the knob back at the right";

    // Dragged by its skin, the window follows the pointer. Wine's move
    // counts from the first pointer motion after the press, where Windows
    // counts from the press: the drag opens with a one-pixel step, so the
    // window ends 50 or 49 pixels to the right.
    Hover(30, 120);
    std::string steps = "xdotool sleep 0.1 mousedown 1 sleep 0.25 mousemove " + Screen(31, 120);
    for (int step = 1; step <= 5; ++step)
        steps += " sleep 0.05 mousemove " + Screen(30 + 10 * step, 120 + 8 * step);
    desktop.Run(steps + " sleep 0.2 mouseup 1");
    std::pair<int, int> moved;
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            moved = desktop.WindowPosition(window);
            return moved.second == origin.second + 40 &&
                   (moved.first == origin.first + 50 || moved.first == origin.first + 49);
        },
        3000))
        << "the window follows the drag; it moved by " << moved.first - origin.first << ", "
        << moved.second - origin.second;
    EndByEscape();
}

} // namespace
