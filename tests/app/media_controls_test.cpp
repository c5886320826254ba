// The desktop's player controls and the keyboard, end to end: the real
// program on an X display with a window manager and a session bus of its
// own, driven by playerctl and dbus-send (real MPRIS clients) and by
// xdotool's keys, with the disk audio output for ears and screenshots for
// eyes.

#include "child_process.h"
#include "desktop.h"
#include "disk_audio.h"
#include "person_at_the_mouse.h"
#include "playback/song_table.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* Program = TONEBOX_BINARY;
constexpr const char* BusName = "org.mpris.MediaPlayer2.tonebox";

std::string Title(int song) {
    return SongTable.entries[song].title;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Song 1 is the high tone, song 2 lasts a second, the others are the low
// tone for half a minute.
class MediaControls : public ::testing::Test, public e2e::Person {
  protected:
    MediaControls() : e2e::Person(desktop, audioPath) {}

    void SetUp() override {
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
        audioPath = folder + "/audio.raw";
        ASSERT_EQ(desktop.Start(folder, e2e::Desktop::Kind::WindowManager), "");
        StartBus();
        for (int song = 0; song < SongCount; ++song)
            ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song),
                                         song == 1 ? e2e::HighNote : e2e::LowNote, song == 2),
                      "");
        desktop.Run("xdotool mousemove 5 5");
        program = e2e::Launch(Program, folder, Environment(audioPath));
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return !(window = desktop.FindWindow("z!l tonebox")).empty(); }, 10000))
            << e2e::ReadFile(program.stderrPath);
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));
        ASSERT_TRUE(e2e::WaitUntil([&] { return Ctl("status") == "Playing"; }, 10000))
            << Ctl("-l") << e2e::ReadFile(program.stderrPath);
        origin = desktop.WindowPosition(window);
    }

    void TearDown() override {
        for (e2e::Child* child : {&follower, &monitor, &bus})
            if (child->pid > 0) e2e::Terminate(*child), e2e::WaitForExit(*child, 5000);
        e2e::CleanUp(program, desktop, folder, HasFailure());
    }

    // A session bus of the test's own, which it can take away again.
    void StartBus() {
        bus = e2e::Launch({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--address=unix:path=" + folder + "/bus", "--print-address=1"},
                          folder, {"PATH=/usr/bin:/bin"});
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return e2e::ReadFile(bus.stdoutPath).find('\n') != std::string::npos; }, 10000))
            << e2e::ReadFile(bus.stderrPath);
        busAddress = "unix:path=" + folder + "/bus";
    }

    std::vector<std::string> Environment(const std::string& audio) const {
        return {"DISPLAY=" + desktop.Display(), "SDL_AUDIODRIVER=disk",
                "SDL_DISKAUDIOFILE=" + audio, "PATH=/usr/bin:/bin",
                "DBUS_SESSION_BUS_ADDRESS=" + busAddress};
    }

    // playerctl's answer, for the program or another player.
    std::string Ctl(const std::string& command, const std::string& player = "tonebox") const {
        return Trimmed(desktop.Run("DBUS_SESSION_BUS_ADDRESS=" + busAddress + " playerctl -p " +
                                   player + " " + command));
    }
    // A method of the root interface, which playerctl does not call.
    void Call(const std::string& method, const std::string& name = BusName) const {
        desktop.Run("DBUS_SESSION_BUS_ADDRESS=" + busAddress +
                    " dbus-send --session --print-reply" + " --dest=" + name +
                    " /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2." + method);
    }
    // A client that listens on the bus, its output gathered in its stdout file.
    e2e::Child Listen(const std::vector<std::string>& command) const {
        return e2e::Launch(command, folder,
                           {"PATH=/usr/bin:/bin", "DBUS_SESSION_BUS_ADDRESS=" + busAddress});
    }
    void Key(const std::string& keys) const { desktop.Run("xdotool key " + keys); }

    bool Becomes(const std::string& command, const std::string& answer,
                 const std::string& player = "tonebox", int limitMs = 3000) const {
        return e2e::WaitUntil([&] { return Ctl(command, player) == answer; }, limitMs);
    }
    double Position() const { return std::atof(Ctl("position").c_str()); }

    // The bar of visible row `row` is white: it shows the playing song.
    bool RowLit(int row) const {
        return e2e::WaitUntil(
            [&] {
                return Look().At(95, 49 + 10 * row) == (e2e::Rgb{255, 255, 255});
            },
            3000);
    }
    // How many pixels of the knob's place at the left end of its track
    // differ from the background.
    int KnobAtTheLeft() const { return e2e::LitPixels(Look(), 98, 148, 140, 157); }
    bool WindowState(const std::string& state) const {
        return e2e::WaitUntil(
            [&] {
                return desktop.Run("xprop -id " + window + " WM_STATE").find(state) !=
                       std::string::npos;
            },
            3000);
    }

    std::string folder;
    std::string audioPath;
    std::string busAddress;
    std::string window;
    e2e::Desktop desktop;
    e2e::Child bus, program, follower, monitor;
};

TEST_F(MediaControls, PlayerctlDrivesTheProgramAndFollowsIt) {
    EXPECT_EQ(Ctl("metadata xesam:title"), Title(0));
    EXPECT_EQ(Ctl("metadata xesam:artist"), SongTable.entries[0].author);
    EXPECT_NEAR(std::atof(Ctl("metadata mpris:length").c_str()) / 1e6, 30.72, 0.1);

    Ctl("play-pause");
    EXPECT_TRUE(Becomes("status", "Paused"));
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "paused";
    Ctl("play-pause");
    EXPECT_GT(HeardAfter(Mark()).peak, 1000) << "playing again";

    // Next and previous play their song, light its row, scroll the list to
    // it and wrap at the playlist's ends.
    Ctl("next");
    EXPECT_EQ(Ctl("metadata xesam:title"), Title(1));
    EXPECT_NEAR(HeardAfter(Mark()).hz, e2e::HighHz, 20);
    EXPECT_TRUE(RowLit(1));
    Ctl("previous");
    Ctl("previous");
    EXPECT_EQ(Ctl("metadata xesam:title"), Title(39));
    EXPECT_TRUE(RowLit(6)) << "the list scrolled to its end";
    Ctl("next");
    EXPECT_TRUE(RowLit(0)) << "and back to its start";

    // Every jump of the position is told with Seeked.
    monitor = Listen({"/usr/bin/dbus-monitor", "--session", "member='Seeked'"});
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadFile(monitor.stdoutPath).find("NameAcquired") != std::string::npos; },
        5000));
    Ctl("position 10");
    EXPECT_NEAR(Position(), 10.0, 0.5);
    Ctl("position 4-");
    EXPECT_NEAR(Position(), 6.0, 0.5);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            const std::string seen = e2e::ReadFile(monitor.stdoutPath);
            return seen.find("int64 10000000") < seen.find("int64 6000000") &&
                   seen.find("int64 6000000") != std::string::npos;
        },
        3000))
        << e2e::ReadFile(monitor.stdoutPath);

    // The volume is the knob's place, both ways.
    Ctl("volume 0");
    EXPECT_EQ(Ctl("volume"), "0.000000");
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "silent";
    EXPECT_GT(KnobAtTheLeft(), 100);
    Ctl("volume 1");
    EXPECT_GT(HeardAfter(Mark()).peak, 1000);
    EXPECT_LT(KnobAtTheLeft(), 10);
    Drag(249, 150, 188, 150); // the knob's left edge to 163, half its track
    EXPECT_TRUE(Becomes("volume", "0.500000"));

    // A follower sees the one-second song end and the next begin.
    follower =
        Listen({"/usr/bin/playerctl", "-p", "tonebox", "--follow", "metadata", "xesam:title"});
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadFile(follower.stdoutPath).find(Title(0)) != std::string::npos; },
        5000));
    Ctl("next");
    Ctl("next");
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadFile(follower.stdoutPath).find(Title(3)) != std::string::npos; },
        10000))
        << e2e::ReadFile(follower.stdoutPath);

    // Minimised by a tap on its button, raised over the bus; Quit ends it as
    // Escape does.
    Click(306, 44);
    EXPECT_TRUE(WindowState("Iconic"));
    Call("Raise");
    EXPECT_TRUE(WindowState("Normal"));
    Call("Quit");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

TEST_F(MediaControls, KeysMediaKeysASecondCopyAndABusThatGoesAway) {
    desktop.Run("xdotool windowactivate --sync " + window);
    Key("space");
    EXPECT_TRUE(Becomes("status", "Paused"));
    EXPECT_LT(HeardAfter(Mark()).peak, 64) << "paused";
    Key("space");
    EXPECT_TRUE(Becomes("status", "Playing"));

    // A second a key, whole seconds as the buttons go; held, it repeats.
    double before = Position();
    Key("Right Right Right Left");
    EXPECT_TRUE(e2e::WaitUntil([&] { return Position() >= std::floor(before) + 2; }, 3000));
    EXPECT_LT(Position(), before + 3);
    Ctl("position 2");
    desktop.Run("xdotool keydown Right sleep 1 keyup Right");
    EXPECT_GT(Position(), 6) << "auto-repeat";

    // The knob a tenth of its track a key, stopping at its ends; the letters
    // and the media keys, the songs wrapping at the playlist's ends.
    const struct {
        const char* keys;
        const char* ask;
        std::string answer;
    } presses[] = {
        {"Down Down Up", "volume", "0.900000"},
        {"Up Up", "volume", "1.000000"},
        {"z", "metadata xesam:title", Title(39)},
        {"b b", "metadata xesam:title", Title(1)},
        {"v", "status", "Stopped"},
        {"x", "status", "Playing"},
        {"c", "status", "Paused"},
        {"x", "status", "Playing"},
        {"XF86AudioPrev", "metadata xesam:title", Title(0)},
        {"XF86AudioNext", "metadata xesam:title", Title(1)},
        {"XF86AudioStop", "status", "Stopped"},
        {"XF86AudioPlay", "status", "Playing"},
        {"XF86AudioPlay", "status", "Paused"},
        {"XF86AudioPlay", "status", "Playing"},
    };
    for (const auto& press : presses) {
        Key(press.keys);
        EXPECT_TRUE(Becomes(press.ask, press.answer)) << press.keys;
    }

    // A second copy takes a name of its own, and Quit ends it alone.
    const std::string second = folder + "/second";
    std::filesystem::create_directory(second);
    std::filesystem::create_directory_symlink(folder + "/songs", second + "/songs");
    e2e::Child copy = e2e::Launch(Program, second, Environment(second + "/audio.raw"));
    const std::string instance = "tonebox.instance" + std::to_string(copy.pid);
    EXPECT_TRUE(Becomes("status", "Playing", instance, 10000)) << Ctl("-l");
    Call("Quit", "org.mpris.MediaPlayer2." + instance);
    EXPECT_EQ(e2e::WaitForExit(copy, 10000), std::optional<int>(0));
    EXPECT_EQ(Ctl("status"), "Playing");

    // The bus goes away: the program plays on and says so once.
    e2e::Terminate(bus);
    e2e::WaitForExit(bus, 5000);
    EXPECT_GT(HeardAfter(Mark(), 0.5).peak, 1000);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadFile(program.stderrPath).find("tonebox: ") != std::string::npos; },
        3000));
    EXPECT_EQ(e2e::CountOccurrences(e2e::ReadFile(program.stderrPath), "tonebox: "), 1)
        << e2e::ReadFile(program.stderrPath);
    desktop.Run("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

} // namespace
