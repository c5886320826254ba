// The real program, started in a folder of its own with real module files,
// under SDL's dummy video driver and its disk audio driver.

#include "child_process.h"
#include "disk_audio.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using e2e::HighNote;
using e2e::LowNote;

constexpr const char* Program = TONEBOX_BINARY;
constexpr const char* LoadFailure = "Can't load file";

class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = e2e::MakeTemporaryFolder();
        std::filesystem::create_directory(folder + "/songs");
        audioPath = folder + "/audio.raw";
    }
    void TearDown() override {
        if (child.pid > 0) e2e::WaitForExit(child, 0);
        if (!HasFailure())
            e2e::RemoveFolder(folder);
        else
            std::fprintf(stderr, "kept %s\n", folder.c_str());
    }

    // Song `song` as a steady tone; `shortSong` lasts one second.
    void WriteSong(int song, int note, bool shortSong = false) {
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(folder, song), note, shortSong), "");
    }

    std::vector<std::string> Environment(const std::string& audioDriver,
                                         const std::string& videoDriver) const {
        std::vector<std::string> env = {"SDL_VIDEODRIVER=" + videoDriver,
                                        "SDL_AUDIODRIVER=" + audioDriver,
                                        "SDL_DISKAUDIOFILE=" + audioPath};
        if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
        return env;
    }

    void Start(const std::string& audioDriver = "disk", const std::string& videoDriver = "dummy") {
        child = e2e::Launch(Program, folder, Environment(audioDriver, videoDriver));
        stderrPath = child.stderrPath;
    }

    // Waits until the disk output holds `seconds` of sound, or the limit.
    e2e::DiskAudio WaitForAudio(double seconds, int limitMs = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        e2e::DiskAudio audio;
        while (std::chrono::steady_clock::now() < deadline) {
            audio = e2e::ReadDiskAudio(audioPath);
            if (audio.Seconds() >= seconds) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return audio;
    }

    // Ends the program as the desktop's close does; its exit status.
    std::optional<int> CloseAndWait() {
        e2e::Terminate(child);
        return e2e::WaitForExit(child, 10000);
    }

    std::string Stderr() const { return e2e::ReadFile(stderrPath); }

    std::string folder;
    std::string audioPath;
    std::string stderrPath;
    e2e::Child child;
};

TEST_F(EndToEndTest, PlaysTheFirstSongAtOnceAndClosesWithStatusZero) {
    for (int song = 0; song < 40; ++song)
        WriteSong(song, LowNote);
    Start();
    const e2e::DiskAudio audio = WaitForAudio(1.5);
    ASSERT_TRUE(e2e::StillRunning(child)) << e2e::Describe(child) << "\n" << Stderr();
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));

    const long first = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(first, 0) << "only silence in " << audio.Seconds() << " s";
    EXPECT_GT(e2e::Peak(audio, first, first + e2e::AudioRate / 2), 1000);
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + 2000, first + 2000 + e2e::AudioRate / 2),
                e2e::LowHz, 10);
    EXPECT_EQ(e2e::CountOccurrences(Stderr(), LoadFailure), 0) << Stderr();
}

TEST_F(EndToEndTest, MovesOnAtTheEndOfASongAndSkipsAMissingOne) {
    WriteSong(0, LowNote, true); // one second
    // Song 1 is missing.
    for (int song = 2; song < 40; ++song)
        WriteSong(song, HighNote);
    Start();
    const e2e::DiskAudio audio = WaitForAudio(4.0);
    ASSERT_TRUE(e2e::StillRunning(child)) << e2e::Describe(child) << "\n" << Stderr();
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));

    const long first = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(first, 0) << Stderr();
    const long second = e2e::AudioRate;
    // Song 0's tone, then, after the failed song 1, song 2's two octaves up.
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + second / 10, first + second * 8 / 10), e2e::LowHz,
                10);
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + second * 2, first + second * 3), e2e::HighHz, 20);
    EXPECT_EQ(e2e::CountOccurrences(Stderr(), LoadFailure), 1) << Stderr();
}

TEST_F(EndToEndTest, TheLastSongWrapsToTheFirst) {
    WriteSong(0, LowNote, true);
    // Songs 1 to 38 are missing: one tick each.
    WriteSong(39, HighNote, true);
    Start();
    const e2e::DiskAudio audio = WaitForAudio(5.5);
    ASSERT_TRUE(e2e::StillRunning(child)) << e2e::Describe(child) << "\n" << Stderr();
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));

    const long first = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(first, 0) << Stderr();
    // Song 0, the skipped songs, song 39, then song 0 again (quarters that
    // straddle a change read as '?').
    std::string heard = e2e::ToneSequence(audio, first);
    heard.erase(std::remove(heard.begin(), heard.end(), '?'), heard.end());
    heard.erase(std::unique(heard.begin(), heard.end()), heard.end());
    EXPECT_EQ(heard.substr(0, 5), "L-HL-") << heard;
    EXPECT_GE(e2e::CountOccurrences(Stderr(), LoadFailure), 38);
}

// Damaged songs of every kind are reported once each and skipped, and the
// first good song after them plays.
TEST_F(EndToEndTest, DamagedSongsAreReportedOnceEachAndSkipped) {
    WriteSong(0, LowNote);
    const std::string truncated = e2e::ReadFile(e2e::SongFile(folder, 0)).substr(0, 100);
    std::filesystem::remove(e2e::SongFile(folder, 0));
    std::ofstream(e2e::SongFile(folder, 0), std::ios::binary) << truncated;
    std::ofstream(e2e::SongFile(folder, 1)).close();                                // empty
    std::filesystem::create_directory(e2e::SongFile(folder, 2));                    // a folder
    std::ofstream(e2e::SongFile(folder, 3)) << "not a song, only words\n";          // text
    std::filesystem::create_symlink(folder + "/nowhere", e2e::SongFile(folder, 4)); // dangling
    WriteSong(5, HighNote);
    Start();
    const e2e::DiskAudio audio = WaitForAudio(1.0);
    ASSERT_TRUE(e2e::StillRunning(child)) << e2e::Describe(child) << "\n" << Stderr();
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));
    EXPECT_EQ(e2e::CountOccurrences(Stderr(), LoadFailure), 5) << Stderr();
    const long first = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(first, 0) << Stderr();
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + 2000, first + 2000 + e2e::AudioRate / 4),
                e2e::HighHz, 20);
}

TEST_F(EndToEndTest, EverySongMissingKeepsRunningAndStaysBounded) {
    Start();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(e2e::StillRunning(child)) << e2e::Describe(child) << "\n" << Stderr();
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));
    // One report a tick at most (40 a second), and the player kept moving on.
    const int reports = e2e::CountOccurrences(Stderr(), LoadFailure);
    EXPECT_GE(reports, 10);
    EXPECT_LE(reports, 2 * 40 + 40);
    const e2e::DiskAudio audio = e2e::ReadDiskAudio(audioPath);
    EXPECT_EQ(e2e::FirstAudibleFrame(audio), -1);
}

TEST_F(EndToEndTest, AnAudioDeviceThatCannotOpenEndsWithItsBoxAndStatusZero) {
    for (int song = 0; song < 40; ++song)
        WriteSong(song, LowNote);
    Start("no-such-driver");
    EXPECT_EQ(e2e::WaitForExit(child, 10000), std::optional<int>(0));
    const std::string text = Stderr();
    // Without a display the box's text goes to standard error, after the
    // desktop's default caption.
    EXPECT_EQ(e2e::CountOccurrences(text, "Error: Can't initialize device"), 1) << text;
    EXPECT_EQ(e2e::CountOccurrences(text, LoadFailure), 0) << text;
}

TEST_F(EndToEndTest, AWindowThatCannotBeMadeEndsWithItsBoxAndStatusZero) {
    for (int song = 0; song < 40; ++song)
        WriteSong(song, LowNote);
    Start("disk", "no-such-driver");
    EXPECT_EQ(e2e::WaitForExit(child, 10000), std::optional<int>(0));
    const std::string text = Stderr();
    EXPECT_EQ(e2e::CountOccurrences(text, "ERROR: Window Creation Error."), 1) << text;
    EXPECT_EQ(e2e::CountOccurrences(text, "Can't initialize device"), 0) << text;
    // The library was never started, so nothing was played.
    EXPECT_EQ(e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)), -1);
}

// Started from a terminal with no desktop at all, or with one that cannot be
// reached: the program says so and ends with status 0, playing nothing.
TEST_F(EndToEndTest, NoDisplayEndsWithAClearMessageAndStatusZero) {
    for (int song = 0; song < 40; ++song)
        WriteSong(song, LowNote);
    for (const std::string display : {"", "DISPLAY=:9999"}) {
        std::vector<std::string> env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audioPath};
        if (!display.empty()) env.push_back(display);
        child = e2e::Launch(Program, folder, env);
        EXPECT_EQ(e2e::WaitForExit(child, 10000), std::optional<int>(0)) << display;
        const std::string text = e2e::ReadFile(child.stderrPath);
        const std::string why = display.empty() ? "not set" : "unreachable";
        EXPECT_EQ(
            e2e::CountOccurrences(text, "no display to open a window on (DISPLAY is " + why + ")"),
            1)
            << text;
        EXPECT_EQ(e2e::CountOccurrences(text, "ERROR: Window Creation Error."), 1) << text;
        EXPECT_EQ(e2e::FirstAudibleFrame(e2e::ReadDiskAudio(audioPath)), -1);
    }
}

// A Linux user's and a packager's questions are answered from a terminal
// with no desktop, before the window or the sound is touched; a line that
// cannot be read says what is wrong, with the usage, and ends with status 2.
TEST_F(EndToEndTest, TheCommandLineIsAnsweredWithoutADisplayOrSound) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // what standard output starts with
        std::string err; // standard error's first line
    };
    const std::string usage = "Usage: tonebox [--scale N]\n";
    const Case cases[] = {
        {{"--help"}, 0, usage, ""},
        {{"-h", "--bogus"}, 0, usage, ""},
        {{"--version"}, 0, std::string("tonebox ") + TONEBOX_VERSION + "\n", ""},
        {{"--bogus"}, 2, "", "tonebox: unknown option '--bogus'"},
        {{"--scale", "5"}, 2, "", "tonebox: --scale takes a number from 1 to 4, not '5'"},
        {{"--scale=x"}, 2, "", "tonebox: --scale takes a number from 1 to 4, not 'x'"},
        {{"--scale"}, 2, "", "tonebox: --scale needs a number from 1 to 4"},
        {{"song.mod"}, 2, "", "tonebox: unexpected argument 'song.mod': the songs are compiled in"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> command = {Program};
        command.insert(command.end(), c.args.begin(), c.args.end());
        child = e2e::Launch(command, folder,
                            {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audioPath});
        EXPECT_EQ(e2e::WaitForExit(child, 10000), std::optional<int>(c.status)) << c.args[0];
        const std::string out = e2e::ReadFile(child.stdoutPath);
        const std::string err = e2e::ReadFile(child.stderrPath);
        EXPECT_EQ(out.substr(0, c.out.size()), c.out) << out;
        EXPECT_EQ(err.substr(0, err.find('\n')), c.err) << err;
        if (c.status == 0 && c.out == usage) {
            for (const char* mentioned : {"--scale N", "--version", "Ctrl+plus", "Space", "songs/"})
                EXPECT_NE(out.find(mentioned), std::string::npos) << mentioned << " in\n" << out;
        }
        if (c.status == 2) {
            EXPECT_TRUE(out.empty()) << out;
            EXPECT_NE(err.find(usage), std::string::npos) << "the usage follows\n" << err;
        }
        EXPECT_FALSE(std::filesystem::exists(audioPath)) << "the sound device was opened";
    }
}

} // namespace
