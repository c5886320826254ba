// The real program on a real X display: where its window opens, Escape typed
// at it, a load-failure box that stays open while the music goes on, the
// skin alive on desktops with and without a compositor, and a person using
// every control with the mouse.

#include "child_process.h"
#include "desktop.h"
#include "disk_audio.h"
#include "person_at_the_mouse.h"
#include "playback/song_table.h"
#include "skin/skin_images.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace {

constexpr const char* Program = TONEBOX_BINARY;

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
        audioPath = folder + "/audio.raw";
    }
    void TearDown() override { e2e::CleanUp(program, desktop, folder, HasFailure()); }

    void StartDesktop(e2e::Desktop::Kind kind = e2e::Desktop::Kind::Bare) {
        const std::string error = desktop.Start(folder, kind);
        ASSERT_EQ(error, "");
    }

    void WriteSongs(int from, int to) {
        for (int song = from; song < to; ++song)
            ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), e2e::LowNote, false), "");
    }

    void Start(const std::vector<std::string>& options = {}) {
        std::vector<std::string> command = {Program};
        command.insert(command.end(), options.begin(), options.end());
        program = e2e::Launch(command, folder,
                              {"DISPLAY=" + desktop.Display(), "SDL_AUDIODRIVER=disk",
                               "SDL_DISKAUDIOFILE=" + audioPath, "PATH=/usr/bin:/bin"});
    }

    std::string Query(const std::string& command) const { return desktop.Run(command); }
    std::string FindWindow(const std::string& name, bool visible = true) const {
        return desktop.FindWindow(name, visible);
    }
    int CountWindows(const std::string& name) const { return desktop.CountWindows(name); }

    std::string folder;
    std::string audioPath;
    e2e::Desktop desktop;
    e2e::Child program;
};

TEST_F(DesktopTest, OpensCentredPlaysAndEscapeEndsWithStatusZero) {
    StartDesktop();
    WriteSongs(0, 40);
    Start();
    std::string window;
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox", false)).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));

    // Shown or not yet (it shows with its first composed frame), the window
    // sits in the middle of the 1024 x 768 screen.
    const std::string info = Query("xwininfo -id " + window);
    EXPECT_EQ(desktop.WindowPosition(window), std::pair((1024 - 372) / 2, (768 - 250) / 2)) << info;
    EXPECT_NE(info.find("Width: 372"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 250"), std::string::npos) << info;

    Query("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

// Held in a move of its own (no window manager) for three seconds while
// one-second songs end underneath: the songs move on, the window follows the
// pointer, and Escape still ends it.
TEST_F(DesktopTest, SongsMoveOnWhileTheWindowIsHeldInAMove) {
    StartDesktop();
    for (int song = 0; song < 40; ++song)
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song),
                                     song % 2 ? e2e::HighNote : e2e::LowNote, true),
                  "");
    Start();
    std::string window;
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox")).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));
    const auto [x, y] = desktop.WindowPosition(window);
    std::string steps = "xdotool mousemove " + std::to_string(x + 30) + " " +
                        std::to_string(y + 120) + " sleep 0.1 mousedown 1";
    for (int step = 1; step <= 15; ++step)
        steps += " sleep 0.2 mousemove " + std::to_string(x + 30 + 4 * step) + " " +
                 std::to_string(y + 120 + 3 * step);
    desktop.Run(steps + " sleep 0.2 mouseup 1");
    EXPECT_EQ(desktop.WindowPosition(window), std::pair(x + 60, y + 45));

    const e2e::DiskAudio audio = e2e::ReadDiskAudio(audioPath);
    // The quarters where one song gives way to the next hold both tones.
    std::string heard = e2e::ToneSequence(audio, e2e::FirstAudibleFrame(audio));
    std::erase(heard, '?');
    heard.erase(std::unique(heard.begin(), heard.end()), heard.end());
    EXPECT_EQ(heard.substr(0, 3), "LHL") << "three songs, one after another";
    Query("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

TEST_F(DesktopTest, ALoadFailureBoxStaysAloneWhileTheNextSongPlays) {
    StartDesktop();
    WriteSongs(3, 40); // songs 0 to 2 are missing
    Start();
    std::string box;
    if (!e2e::WaitUntil([&] { return !(box = FindWindow("Error")).empty(); }, 10000)) {
        // The window system could not put the box on the desktop and wrote
        // its text to standard error instead: nothing to observe here.
        const std::string text = e2e::ReadFile(program.stderrPath);
        if (e2e::CountOccurrences(text, "Error: Can't load file") > 0)
            GTEST_SKIP() << "the box fell back to standard error:\n" << text;
        FAIL() << "no box appeared\n" << text;
    }
    // Nobody answers the box; ticks go on, songs 1 and 2 fail without boxes
    // of their own, and song 3 plays.
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(CountWindows("Error"), 1) << Query("xwininfo -root -tree");
    EXPECT_TRUE(e2e::StillRunning(program)) << e2e::Describe(program);

    // Answered, the box goes and the music keeps playing.
    Query("xdotool key --window " + box + " Return");
    ASSERT_TRUE(e2e::WaitUntil([&] { return CountWindows("Error") == 0; }, 5000));
    const double before = e2e::ReadDiskAudio(audioPath).Seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const e2e::DiskAudio audio = e2e::ReadDiskAudio(audioPath);
    const long from = static_cast<long>(before * e2e::AudioRate);
    EXPECT_GT(e2e::Peak(audio, from, static_cast<long>(audio.Frames())), 1000);
    e2e::Terminate(program);
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

using e2e::BackgroundAt;
using e2e::SkinOnScreen;

int BackgroundAlpha(int x, int y) {
    return SkinImagePixels(BackgroundImage)[(y * 372 + x) * 4 + 3];
}

int CountDiffering(const SkinOnScreen& a, const SkinOnScreen& b, int left, int top, int right,
                   int bottom) {
    int differing = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            differing += !(a.At(x, y) == b.At(x, y));
    return differing;
}

// How far the credits line moved left from `before` to `after`: the shift
// (and lift, which follows the bass) under which the most lit pixels of the
// line's right part match; 999 when nothing of it is lit.
int CreditsShift(const SkinOnScreen& before, const SkinOnScreen& after) {
    const auto lit = [](e2e::Rgb p) { return p.r > 100 && p.g > 100 && p.b > 100; };
    int bestShift = 999, bestMatches = 20;
    for (int shift = -20; shift <= 100; ++shift)
        for (int lift = -12; lift <= 12; ++lift) {
            int matches = 0;
            for (int y = 200; y < 240; ++y)
                for (int x = 230; x < 342; ++x)
                    matches += lit(before.At(x, y)) && lit(after.At(x - shift, y - lift));
            if (matches > bestMatches) bestMatches = matches, bestShift = shift;
        }
    return bestShift;
}

class SkinOnTheDesktop : public DesktopTest,
                         public ::testing::WithParamInterface<e2e::Desktop::Kind> {
  protected:
    // The songs the build made, so the display has real music to follow.
    void UseTheBuildsSongs() {
        for (const auto& song : std::filesystem::directory_iterator(TONEBOX_SONG_DIR))
            std::filesystem::copy(song.path(),
                                  folder + "/songs/" + song.path().filename().string());
    }
};

TEST_P(SkinOnTheDesktop, ShowsTheWholeSkinAliveWithItsSurroundCutAway) {
    StartDesktop(GetParam());
    UseTheBuildsSongs();
    desktop.Run("xdotool mousemove 5 5");
    Start();
    std::string window;
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox")).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    // By then the first words of the credits have come in from the right.
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return e2e::ReadDiskAudio(audioPath).Seconds() > 2.5; }, 10000));
    const auto origin = desktop.WindowPosition(window);
    const e2e::Screenshot first = desktop.Shoot();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const e2e::Screenshot second = desktop.Shoot();
    const SkinOnScreen a{first, origin}, b{second, origin};

    std::set<std::uint32_t> colours;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 372; ++x) {
            const e2e::Rgb p = a.At(x, y);
            colours.insert(p.r << 16 | p.g << 8 | p.b);
        }
    EXPECT_GT(colours.size(), 2000u) << "the skin's artwork";
    // Where nothing is drawn over it (the title band) the background shows
    // exactly; where it is fully transparent, the desktop does.
    for (int y = 2; y < 36; ++y)
        for (int x = 0; x < 372; ++x) {
            if (BackgroundAlpha(x, y) == 255) {
                ASSERT_EQ(a.At(x, y), BackgroundAt(x, y)) << x << ", " << y;
            } else if (BackgroundAlpha(x, y) == 0) {
                ASSERT_EQ(a.At(x, y), e2e::Backdrop) << x << ", " << y;
            }
        }
    EXPECT_EQ(a.At(0, 0), e2e::Backdrop);
    EXPECT_EQ(a.At(371, 249), e2e::Backdrop);

    // Half a second on the spectrum, both scopes and the credits have moved.
    EXPECT_GT(CountDiffering(a, b, 94, 48, 277, 120), 50) << "spectrum";
    EXPECT_GT(CountDiffering(a, b, 28, 65, 84, 115), 20) << "left scope";
    EXPECT_GT(CountDiffering(a, b, 289, 65, 345, 115), 20) << "right scope";
    // 2 pixels a tick to the left: 40 in half a second, more when the
    // screenshots themselves take long.
    const int shift = CreditsShift(a, b);
    EXPECT_GE(shift, 24) << "the credits move left";
    EXPECT_LE(shift, 100);
}

INSTANTIATE_TEST_SUITE_P(Desktops, SkinOnTheDesktop,
                         ::testing::Values(e2e::Desktop::Kind::Compositing,
                                           e2e::Desktop::Kind::WindowManager),
                         [](const auto& info) {
                             return info.param == e2e::Desktop::Kind::Compositing ? "Compositing"
                                                                                  : "NoCompositor";
                         });

// A person at the mouse, with xdotool's hands: every control, checked on
// the screen and in the sound.
class PersonAtTheMouse : public DesktopTest, public e2e::Person {
  protected:
    PersonAtTheMouse() : e2e::Person(desktop, audioPath) {}
    void SetUp() override {
        DesktopTest::SetUp();
        StartDesktop(e2e::Desktop::Kind::WindowManager);
        WriteSongs(0, 40);
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, 1), e2e::HighNote, false), "");
        desktop.Run("xdotool mousemove 5 5");
        Start();
        ASSERT_TRUE(
            e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox")).empty(); }, 10000))
            << e2e::ReadFile(program.stderrPath);
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));
        origin = desktop.WindowPosition(window);
    }

    std::string window;
};

// A place inside row `row`'s bar that only the bar and the background draw.
constexpr int BarProbeX = 95;
int BarProbeY(int row) {
    return 49 + 10 * row;
}

TEST_F(PersonAtTheMouse, UsesEveryControl) {
    // The playing song's row is white; a resting pointer lights the button
    // under it; a hovered row gains 30 and shows its author's tooltip.
    EXPECT_EQ(Look().At(BarProbeX, BarProbeY(0)), (e2e::Rgb{255, 255, 255}));
    Hover(107, 177);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(e2e::LitPixels(Look(), 96, 168, 124, 194), 300) << "the play button glows";
    Hover(150, 78); // row 3
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const SkinOnScreen hovered = Look();
    const e2e::Rgb under = BackgroundAt(BarProbeX, BarProbeY(3));
    const auto plus30 = [](std::uint8_t v) {
        return static_cast<std::uint8_t>(std::min(255, v + 30));
    };
    EXPECT_EQ(hovered.At(BarProbeX, BarProbeY(3)),
              (e2e::Rgb{plus30(under.r), plus30(under.g), plus30(under.b)}));
    // The window system's caption and sizing frame lie round the client
    // area, whose corner is 4 pixels in and 27 down from the skin's.
    const int frame = 4, caption = 23;
    const int boxTop = 78 - caption - frame + 43;
    const int boxLeft = 150 - frame + 18;
    const int boxRight = 150 - frame + 8 * SongTable.entries[3].authorLength + 21;
    EXPECT_EQ(hovered.At(boxLeft, boxTop), (e2e::Rgb{0, 0, 0})) << "the tooltip's outline";
    EXPECT_EQ(hovered.At(boxLeft + 1, boxTop + 1), (e2e::Rgb{255, 255, 255}));
    EXPECT_EQ(hovered.At(boxRight, boxTop + 5), (e2e::Rgb{0, 0, 0}));
    EXPECT_EQ(hovered.At(boxRight - 1, boxTop + 5), (e2e::Rgb{255, 255, 255}));

    // A row click plays its song, and its row turns white. Each click is a
    // tap that acts on the next tick; what is heard from a moment after it
    // is its effect.
    Click(150, 66); // low on row 1's bar (58 to 67): the high tone
    EXPECT_NEAR(HeardAfter(Mark()).hz, e2e::HighHz, 20);
    Hover(20, 240);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(Look().At(BarProbeX, BarProbeY(1)), (e2e::Rgb{255, 255, 255}));
    EXPECT_EQ(Look().At(BarProbeX, BarProbeY(0)), BackgroundAt(BarProbeX, BarProbeY(0)));

    // Stop falls silent, play starts again; pause too; back and forward
    // leave it playing.
    Click(182, 177);
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "stopped";
    Click(107, 177);
    EXPECT_NEAR(HeardAfter(Mark()).hz, e2e::HighHz, 20) << "playing again";
    Click(144, 177);
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "paused";
    Click(107, 177);
    EXPECT_GT(HeardAfter(Mark()).peak, 1000) << "resumed";
    Click(219, 177);
    Click(256, 177);
    EXPECT_GT(HeardAfter(Mark()).peak, 1000) << "still playing after back and forward";

    // The knob: dragged out past the window's left edge and let go there, it
    // rests at the left end, silent, and the pointer coming back without the
    // button leaves it there. Back right brings the sound back.
    Drag(249, 150, -40, 150);
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "the knob at the left";
    Hover(200, 150);
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "the drag ended where the button was let go";
    Drag(119, 150, 330, 150);
    EXPECT_GT(HeardAfter(Mark()).peak, 1000) << "the knob back at the right";

    // The arrows: dim at the ends of the list, bright while it can scroll
    // that way. Compared where the arrow images are opaque.
    const auto arrowPixels = [&](const unsigned char* image, int top) {
        const SkinOnScreen now = Look();
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 11; ++x)
                if (SkinImagePixels(image)[(y * 11 + x) * 4 + 3] == 255) {
                    const e2e::Rgb p = now.At(265 + x, top + y);
                    pixels.push_back(p.r << 16 | p.g << 8 | p.b);
                }
        return pixels;
    };
    const auto upAtTop = arrowPixels(ArrowUpImage, 50),
               downAtTop = arrowPixels(ArrowDownImage, 102);
    Click(266, 103); // it acts on the next tick and shows in the frame after
    std::vector<std::uint32_t> upBright;
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return (upBright = arrowPixels(ArrowUpImage, 50)) != upAtTop; }, 2000));
    Hover(266, 103);
    desktop.Run("xdotool mousedown 1 sleep 5 mouseup 1"); // held: 32 more steps reach the end
    Hover(20, 240);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NE(arrowPixels(ArrowDownImage, 102), downAtTop) << "dim at the end of the list";
    EXPECT_EQ(arrowPixels(ArrowUpImage, 50), upBright);

    // Dragged by any point of its skin, the window follows the pointer.
    Drag(30, 120, 80, 160);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(desktop.WindowPosition(window), std::pair(origin.first + 50, origin.second + 40));
    origin = desktop.WindowPosition(window);

    // Minimised, restored, and closed by its close button: status 0.
    Click(306, 44);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            return desktop.Run("xprop -id " + window + " WM_STATE").find("Iconic") !=
                   std::string::npos;
        },
        3000));
    desktop.Run("xdotool windowactivate --sync " + window);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            return desktop.Run("xprop -id " + window + " WM_STATE").find("Normal") !=
                   std::string::npos;
        },
        3000));
    Click(326, 44);
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

// At twice the size, on a desktop without a compositor: one start with
// --scale 2 serves the checks. The window is centred at 744 x 500; its still
// parts are the normal size's pixels, each as a 2 x 2 block, the surround
// cut away block by block; Ctrl and plus or minus change the size about the
// centre; the glow and a row's click answer at the doubled places. Then a
// start with Xft.dpi 192 in the resource database and no option opens at
// twice the size.
TEST_F(PersonAtTheMouse, AtTwiceTheSizeEveryPixelIsABlockAndEveryControlAnswers) {
    // The fixture's start was at the normal size: it is the reference.
    const SkinOnScreen normal = Look();
    Query("xdotool key --window " + window + " Escape");
    ASSERT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));

    Start({"--scale", "2"});
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox")).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    const auto size = [&] {
        const std::string info = Query("xwininfo -id " + window);
        const auto field = [&](const std::string& label) {
            const std::size_t at = info.find(label);
            return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + label.size());
        };
        return std::pair(field("Width: "), field("Height: "));
    };
    EXPECT_EQ(size(), std::pair(744, 500));
    origin = desktop.WindowPosition(window);
    EXPECT_EQ(origin, std::pair((1024 - 744) / 2, (768 - 500) / 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Still parts: all but the display, the scopes, the speakers and the
    // credits line, which move with the music.
    const auto moving = [](int x, int y) {
        const auto in = [&](int left, int top, int right, int bottom) {
            return x >= left && x <= right && y >= top && y <= bottom;
        };
        return in(92, 46, 279, 122) || in(27, 64, 85, 116) || in(288, 64, 346, 116) ||
               in(39, 155, 90, 206) || in(289, 155, 340, 206) || in(25, 196, 347, 245);
    };
    const SkinOnScreen doubled = Look();
    int differing = 0, compared = 0;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 372; ++x) {
            if (moving(x, y)) continue;
            ++compared;
            for (int k = 0; k < 4; ++k)
                if (!(doubled.At(2 * x + k % 2, 2 * y + k / 2) == normal.At(x, y))) {
                    if (differing++ < 5)
                        ADD_FAILURE() << "at " << x << ", " << y << " (" << k << ")";
                }
        }
    EXPECT_EQ(differing, 0) << "of " << compared << " still pixels";
    EXPECT_EQ(doubled.At(0, 0), e2e::Backdrop) << "the surround is cut away";
    EXPECT_EQ(doubled.At(743, 499), e2e::Backdrop);

    // Ctrl and minus: the normal size, about the same centre; Ctrl and
    // plus: twice the size again. Typed on the keyboard into the focused
    // window, as a person does: keys sent to a window are synthetic, and
    // SDL forgets their Ctrl once it reads the real keyboard's state.
    const auto placed = [&](std::pair<int, int> wanted, std::pair<int, int> at) {
        e2e::WaitUntil([&] { return size() == wanted && desktop.WindowPosition(window) == at; },
                       3000);
        EXPECT_EQ(size(), wanted);
        EXPECT_EQ(desktop.WindowPosition(window), at);
    };
    Query("xdotool windowactivate --sync " + window + " key ctrl+minus");
    placed({372, 250}, {326, 259});
    Query("xdotool windowactivate --sync " + window + " key ctrl+plus");
    placed({744, 500}, {140, 134});

    // The play button glows under the pointer; a tap on row 1 plays its
    // song, and the row turns white.
    Hover(2 * 107, 2 * 177);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const SkinOnScreen glowing = Look();
    int lit = 0;
    for (int y = 2 * 168; y < 2 * 194; ++y)
        for (int x = 2 * 96; x < 2 * 124; ++x)
            lit += !(glowing.At(x, y) == e2e::BackgroundAt(x / 2, y / 2));
    EXPECT_GT(lit, 4 * 300) << "the play button glows";
    Click(2 * 150, 2 * 66); // a tap
    EXPECT_NEAR(HeardAfter(Mark()).hz, e2e::HighHz, 20);
    Hover(2 * 20, 2 * 240);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const SkinOnScreen clicked = Look();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(clicked.At(2 * BarProbeX + k % 2, 2 * BarProbeY(1) + k / 2),
                  (e2e::Rgb{255, 255, 255}));
        EXPECT_EQ(clicked.At(2 * BarProbeX + k % 2, 2 * BarProbeY(0) + k / 2),
                  BackgroundAt(BarProbeX, BarProbeY(0)));
    }
    Query("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));

    // The desktop's own scale, from its fonts' resolution.
    desktop.Run("sh -c \"echo 'Xft.dpi: 192' | xrdb -nocpp -merge\"");
    Start();
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return !(window = FindWindow("z!l tonebox")).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    EXPECT_EQ(size(), std::pair(744, 500));
    Query("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

} // namespace
