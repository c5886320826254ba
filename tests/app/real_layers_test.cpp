// The shell's own code over the real window system, audio library and
// playlist, with real module files. The program ends its process, so each
// case runs in a child of its own.

#include "app/shell.h"
#include "child_process.h"
#include "deadline.h"
#include "platform/testing.h"
#include "playback/player.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

using platform::testing::ShownBox;

class RealLayersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
    }
    void TearDown() override { e2e::RemoveFolder(folder); }

    void WriteSongs(int from, int to) {
        for (int song = from; song < to; ++song)
            ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), e2e::LowNote, false), "");
    }

    // In the child: run from the folder, with no display and a silent device.
    // The child's loop and boxes must be over within a few seconds.
    void EnterFolder(const char* audioDriver = "dummy") {
        deadline.emplace(std::chrono::seconds(5));
        if (chdir(folder.c_str()) != 0) std::_Exit(90);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", audioDriver, 1);
    }

    std::string folder;
    std::optional<testsupport::Deadline> deadline;
};

void PrintBox(const ShownBox& box) {
    std::fprintf(stderr, "box \"%s\" caption \"%s\" type 0x%x\n", box.text.c_str(),
                 box.caption.c_str(), box.type);
}

TEST_F(RealLayersTest, EscapeThroughTheWindowProcedureEndsWithStatusZero) {
    WriteSongs(0, 40);
    EXPECT_EXIT(
        {
            EnterFolder();
            if (!StartUp(SW_SHOWDEFAULT)) std::_Exit(91);
            if (Player.channel == 0 || BASS_ChannelIsActive(Player.channel) != BASS_ACTIVE_PLAYING)
                std::_Exit(92);
            SendMessageA(Shell.window, WM_KEYDOWN, VK_ESCAPE, 0);
            RunMessageLoop();
            std::fprintf(stderr, "the loop ended\n");
            ShutDown();
        },
        ::testing::ExitedWithCode(0), "the loop ended");
}

TEST_F(RealLayersTest, OneLoadFailureBoxStaysOpenWhileTicksMoveOnToAPlayableSong) {
    WriteSongs(5, 40); // songs 0 to 4 are missing
    EXPECT_EXIT(
        {
            EnterFolder();
            // The first box stays open for half a second, as if nobody had
            // clicked it yet; ticks keep running in its loop meanwhile.
            platform::testing::SetBoxObserver([](const ShownBox& box) {
                PrintBox(box);
                std::thread([] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    platform::testing::AnswerOpenBox();
                }).detach();
            });
            if (!StartUp(SW_SHOWDEFAULT)) std::_Exit(91);
            // Back from song 0's box: only that box was shown, and song 5
            // started inside it and is still playing.
            const bool playing =
                Player.channel != 0 && BASS_ChannelIsActive(Player.channel) == BASS_ACTIVE_PLAYING;
            std::fprintf(stderr, "boxes %zu, song %d, playing %d\n",
                         platform::testing::ShownBoxes().size(), Player.currentSong, playing);
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "box \"Can't load file\" caption \"Error\" type 0x10\nboxes 1, song 5, playing 1");
}

TEST_F(RealLayersTest, ADeviceThatCannotOpenIsBoxedAndNoSongIsLoaded) {
    WriteSongs(0, 40);
    EXPECT_EXIT(
        {
            EnterFolder("no-such-driver");
            platform::testing::SetBoxObserver([](const ShownBox& box) {
                PrintBox(box);
                platform::testing::AnswerOpenBox();
            });
            const bool started = StartUp(SW_SHOWDEFAULT);
            std::fprintf(stderr, "started %d, channel %u, boxes %zu\n", started, Player.channel,
                         platform::testing::ShownBoxes().size());
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "box \"Can't initialize device\" caption \"Error\" type 0x10\nstarted 0, channel 0, "
        "boxes 1");
}

} // namespace
