// The real program, started in a folder of its own with real module files,
// under SDL's dummy video driver and its disk audio driver.

#include "child_process.h"
#include "disk_audio.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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

    std::vector<std::string> Environment(const std::string& audioDriver = "disk") const {
        std::vector<std::string> env = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=" + audioDriver,
                                        "SDL_DISKAUDIOFILE=" + audioPath};
        if (const char* path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
        return env;
    }

    void Start(const std::string& audioDriver = "disk") {
        child = e2e::Launch(Program, folder, Environment(audioDriver));
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
    ASSERT_TRUE(e2e::StillRunning(child));
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
    ASSERT_TRUE(e2e::StillRunning(child));
    EXPECT_EQ(CloseAndWait(), std::optional<int>(0));

    const long first = e2e::FirstAudibleFrame(audio);
    ASSERT_GE(first, 0);
    const long second = e2e::AudioRate;
    // Song 0's tone, then, after the failed song 1, song 2's two octaves up.
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + second / 10, first + second * 8 / 10), e2e::LowHz,
                10);
    EXPECT_NEAR(e2e::ToneFrequency(audio, first + second * 2, first + second * 3), e2e::HighHz, 20);
    EXPECT_EQ(e2e::CountOccurrences(Stderr(), LoadFailure), 1) << Stderr();
}

TEST_F(EndToEndTest, EverySongMissingKeepsRunningAndStaysBounded) {
    Start();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(e2e::StillRunning(child));
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
    EXPECT_EQ(e2e::CountOccurrences(text, "Can't initialize device"), 1) << text;
    EXPECT_EQ(e2e::CountOccurrences(text, LoadFailure), 0) << text;
}

} // namespace
