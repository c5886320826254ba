// The real program on a real X display (Xvfb, no window manager): where its
// window opens, Escape typed at it, and a load-failure box that stays open
// while the music goes on.

#include "child_process.h"
#include "disk_audio.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

constexpr const char* Program = TONEBOX_BINARY;

template <typename Ready>
bool WaitUntil(Ready ready, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The number after `label` in xwininfo's report.
int FieldOf(const std::string& info, const std::string& label) {
    const std::size_t at = info.find(label);
    return at == std::string::npos ? -99999 : std::atoi(info.c_str() + at + label.size());
}

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
        audioPath = folder + "/audio.raw";
        // Xvfb picks a free display itself and writes its number, so runs
        // side by side never share one. It must not reset when its last
        // client leaves, or it refuses the program for a moment.
        server = e2e::Launch({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                              "-nolisten", "tcp", "-noreset"},
                             folder, {});
        std::string number;
        ASSERT_TRUE(WaitUntil(
            [&] {
                number = e2e::ReadFile(server.stdoutPath);
                return number.find('\n') != std::string::npos;
            },
            30000))
            << "Xvfb did not start: " << e2e::Describe(server) << "\n"
            << e2e::ReadFile(server.stderrPath);
        display = ":" + number.substr(0, number.find('\n'));
    }
    void TearDown() override {
        e2e::StillRunning(program); // reaps it if it has ended, for Describe
        const std::string how = e2e::Describe(program);
        if (program.pid > 0) {
            e2e::Terminate(program);
            e2e::WaitForExit(program, 5000);
        }
        if (server.pid > 0) {
            e2e::Terminate(server);
            e2e::WaitForExit(server, 5000);
        }
        if (HasFailure())
            std::fprintf(stderr, "kept %s; the program: %s\n%s\n", folder.c_str(), how.c_str(),
                         e2e::ReadFile(program.stderrPath).c_str());
        else
            e2e::RemoveFolder(folder);
    }

    void WriteSongs(int from, int to) {
        for (int song = from; song < to; ++song)
            ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), e2e::LowNote, false), "");
    }

    void Start() {
        program = e2e::Launch(Program, folder,
                              {"DISPLAY=" + display, "SDL_AUDIODRIVER=disk",
                               "SDL_DISKAUDIOFILE=" + audioPath, "PATH=/usr/bin:/bin"});
    }

    // Runs an X client against the display; its standard output.
    std::string Query(const std::string& command) const {
        const std::string line = "DISPLAY=" + display + " " + command + " 2>/dev/null";
        std::string output;
        if (FILE* pipe = popen(line.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
                output.append(buffer, n);
            pclose(pipe);
        }
        return output;
    }

    // The id of the first window named exactly `name`, or "".
    std::string FindWindow(const std::string& name, bool visible = true) const {
        std::string ids = Query(std::string("xdotool search ") + (visible ? "--onlyvisible " : "") +
                                "--name '^" + name + "$'");
        const std::size_t end = ids.find('\n');
        return end == std::string::npos ? "" : ids.substr(0, end);
    }

    int CountWindows(const std::string& name) const {
        return e2e::CountOccurrences(Query("xwininfo -root -tree"), "\"" + name + "\"");
    }

    std::string folder;
    std::string audioPath;
    std::string display;
    e2e::Child server;
    e2e::Child program;
};

TEST_F(DesktopTest, OpensCentredPlaysAndEscapeEndsWithStatusZero) {
    WriteSongs(0, 40);
    Start();
    std::string window;
    ASSERT_TRUE(
        WaitUntil([&] { return !(window = FindWindow("z!l tonebox", false)).empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    ASSERT_TRUE(WaitUntil(
        [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));

    // Shown or not yet (it shows with its first composed frame), the window
    // sits in the middle of the 1024 x 768 screen.
    const std::string info = Query("xwininfo -id " + window);
    EXPECT_EQ(FieldOf(info, "Absolute upper-left X:"), (1024 - 372) / 2) << info;
    EXPECT_EQ(FieldOf(info, "Absolute upper-left Y:"), (768 - 250) / 2) << info;
    EXPECT_EQ(FieldOf(info, "Width:"), 372);
    EXPECT_EQ(FieldOf(info, "Height:"), 250);

    Query("xdotool key --window " + window + " Escape");
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

TEST_F(DesktopTest, ALoadFailureBoxStaysAloneWhileTheNextSongPlays) {
    WriteSongs(3, 40); // songs 0 to 2 are missing
    Start();
    std::string box;
    if (!WaitUntil([&] { return !(box = FindWindow("Error")).empty(); }, 10000)) {
        // The window system could not put the box on the desktop and wrote
        // its text to standard error instead: nothing to observe here.
        const std::string text = e2e::ReadFile(program.stderrPath);
        if (e2e::CountOccurrences(text, "Error: Can't load file") > 0)
            GTEST_SKIP() << "the box fell back to standard error:\n" << text;
        FAIL() << "no box appeared\n" << text;
    }
    // Nobody answers the box; ticks go on, songs 1 and 2 fail without boxes
    // of their own, and song 3 plays.
    ASSERT_TRUE(WaitUntil(
        [&] { return e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)) >= 0; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(CountWindows("Error"), 1) << Query("xwininfo -root -tree");
    EXPECT_TRUE(e2e::StillRunning(program)) << e2e::Describe(program);

    // Answered, the box goes and the music keeps playing.
    Query("xdotool key --window " + box + " Return");
    ASSERT_TRUE(WaitUntil([&] { return CountWindows("Error") == 0; }, 5000));
    const double before = e2e::ReadDiskAudio(audioPath).Seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const e2e::DiskAudio audio = e2e::ReadDiskAudio(audioPath);
    const long from = static_cast<long>(before * e2e::AudioRate);
    EXPECT_GT(e2e::Peak(audio, from, static_cast<long>(audio.Frames())), 1000);
    e2e::Terminate(program);
    EXPECT_EQ(e2e::WaitForExit(program, 10000), std::optional<int>(0));
}

} // namespace
