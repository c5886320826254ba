// The real program through a real sound server, as a listener hears it: a
// private PipeWire with a null sink and its monitor recorded, the program on
// Xvfb with openbox. The server is stopped and started again under the
// program, the program is paused until the server rests the sink, and
// signals end it, with its no-device box open too.

#include "child_process.h"
#include "deadline.h"
#include "desktop.h"
#include "disk_audio.h"
#include "modwriter.h"
#include "person_at_the_mouse.h"
#include "sound_server.h"
#include "test_songs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

constexpr const char* Program = TONEBOX_BINARY;
constexpr long Rate = e2e::AudioRate;
constexpr const char* Lost = "audio: the output device went away";
constexpr const char* Back = "audio: the output device is back";
// How soon a signal ends the program: a second, longer in a sanitizer's build.
constexpr int Promptly = 1000 * testsupport::kSlowdown;

// The mono samples of `audio` from frame `from` on, `frames` of them.
std::vector<double> Mono(const e2e::DiskAudio& audio, long from, long frames) {
    std::vector<double> mono(static_cast<std::size_t>(frames));
    for (long i = 0; i < frames; ++i) {
        const long at = from + i;
        if (at < 0 || at >= static_cast<long>(audio.Frames())) continue;
        mono[static_cast<std::size_t>(i)] = audio.samples[static_cast<std::size_t>(at) * 2] +
                                            audio.samples[static_cast<std::size_t>(at) * 2 + 1];
    }
    return mono;
}

double Energy(const std::vector<double>& a) {
    double sum = 0;
    for (double v : a)
        sum += v * v;
    return sum;
}

// How alike two stretches are: their normalised correlation, 1 for the same
// sound at any volume.
double Likeness(const std::vector<double>& a, const std::vector<double>& b) {
    double product = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        product += a[i] * b[i];
    const double norms = std::sqrt(Energy(a) * Energy(b));
    return norms > 0 ? product / norms : 0;
}

constexpr long Block = Rate / 100; // 10 ms

// The loudness of each 10 ms block from `from` on.
std::vector<double> Envelope(const e2e::DiskAudio& audio, long from, long blocks) {
    std::vector<double> envelope(static_cast<std::size_t>(blocks));
    for (long b = 0; b < blocks; ++b)
        envelope[static_cast<std::size_t>(b)] =
            std::sqrt(Energy(Mono(audio, from + b * Block, Block)));
    return envelope;
}

// The frame of `reference` where the second of `heard` that starts at `from`
// is found: the best match of the loudness, then of the samples near it.
long Locate(const e2e::DiskAudio& reference, const e2e::DiskAudio& heard, long from) {
    const long blocks = Rate / Block;
    const std::vector<double> wanted = Envelope(heard, from, blocks);
    const long referenceBlocks = static_cast<long>(reference.Frames()) / Block;
    const std::vector<double> all = Envelope(reference, 0, referenceBlocks);
    long best = 0;
    double bestLikeness = -2;
    for (long start = 0; start + blocks <= referenceBlocks; ++start) {
        const std::vector<double> here(all.begin() + start, all.begin() + start + blocks);
        const double likeness = Likeness(wanted, here);
        if (likeness > bestLikeness) bestLikeness = likeness, best = start * Block;
    }
    // Half a second holds several notes: one note alone matches a whole
    // number of its periods away as well.
    const std::vector<double> samples = Mono(heard, from, Rate / 2);
    long fine = best;
    bestLikeness = -2;
    for (long at = std::max(0L, best - 2 * Block); at <= best + 2 * Block; ++at) {
        const double likeness = Likeness(samples, Mono(reference, at, Rate / 2));
        if (likeness > bestLikeness) bestLikeness = likeness, fine = at;
    }
    return fine;
}

// The 100 ms blocks of `heard` in [from, to) that do not sound like the
// reference where `offset` puts them, give or take 10 ms (the server's
// resampling moves the sound by a few frames): the first one's time, or -1.
// A lost or repeated buffer moves all that follows by more.
double FirstMismatch(const e2e::DiskAudio& reference, const e2e::DiskAudio& heard, long from,
                     long to, long offset) {
    for (long at = from; at + Rate / 10 <= to; at += Rate / 10) {
        if (Energy(Mono(reference, at + offset, Rate / 10)) < 1e6) continue; // nothing to tell
        const std::vector<double> block = Mono(heard, at, Rate / 10);
        double best = 0;
        for (long shift = -Block; shift <= Block && best < 0.9; ++shift)
            best = std::max(best, Likeness(block, Mono(reference, at + offset + shift, Rate / 10)));
        if (best < 0.9) return static_cast<double>(at) / Rate;
    }
    return -1;
}

// Song 0 for finding where a stretch of sound belongs: a square wave whose
// pitch and loudness change at random every row (0.12 s), for 30 s.
std::string WriteLadderSong(const std::string& folder) {
    modwriter::Song song;
    song.name = "ladder";
    song.instruments.push_back(e2e::SquareWave());
    std::uint32_t seed = 20;
    for (int p = 0; p < 4; ++p) {
        modwriter::Pattern pattern(64, 4);
        for (int row = 0; row < 64; ++row) {
            seed = seed * 1103515245u + 12345u;
            pattern.at(row, 0) =
                modwriter::Cell{static_cast<std::uint8_t>(48 + (seed >> 16) % 36), 1,
                                static_cast<std::int8_t>(24 + (seed >> 8) % 41)};
        }
        song.patterns.push_back(pattern);
        song.orders.push_back(p);
    }
    const std::string path = e2e::SongFile(folder, 0);
    return modwriter::WriteFile(song, *modwriter::FormatOfPath(path), path);
}

long LastAudibleFrame(const e2e::DiskAudio& audio, int threshold = 64) {
    for (long frame = static_cast<long>(audio.Frames()) - 1; frame >= 0; --frame)
        if (std::abs(audio.samples[static_cast<std::size_t>(frame) * 2]) >= threshold ||
            std::abs(audio.samples[static_cast<std::size_t>(frame) * 2 + 1]) >= threshold)
            return frame;
    return -1;
}

// The recording at `path` holds `seconds` of sound after its first.
bool Sounds(const std::string& path, double seconds) {
    const e2e::DiskAudio heard = e2e::ReadDiskAudio(path);
    const long first = e2e::FirstAudibleFrame(heard);
    return first >= 0 && static_cast<double>(heard.Frames() - first) > seconds * Rate;
}

e2e::DiskAudio StopRecording(e2e::Child& recorder, const std::string& path) {
    e2e::Terminate(recorder);
    e2e::WaitForExit(recorder, 5000);
    return e2e::ReadDiskAudio(path);
}

// One desktop and one server for the whole suite: starting them is slow.
class SoundServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new std::string(e2e::MakeTemporaryFolder());
        desktop = new e2e::Desktop;
        server = new e2e::SoundServer;
        std::filesystem::create_directory(*folder + "/server");
        startError = new std::string(desktop->Start(*folder, e2e::Desktop::Kind::WindowManager));
        if (startError->empty()) *startError = server->Start(*folder + "/server");
    }
    static void TearDownTestSuite() {
        delete server;
        delete desktop;
        e2e::RemoveFolder(*folder);
        delete folder;
        delete startError;
    }
    void SetUp() override { ASSERT_EQ(*startError, ""); }

    e2e::Child Start(const std::string& where, std::vector<std::string> environment) const {
        environment.push_back("DISPLAY=" + desktop->Display());
        return e2e::Launch(Program, where, environment);
    }

    // A folder of the program's own with its songs in it.
    static std::string SongFolder(const std::string& name) {
        const std::string where = *folder + "/" + name;
        std::filesystem::create_directories(where + "/songs");
        return where;
    }

    static std::string* folder;
    static std::string* startError;
    static e2e::Desktop* desktop;
    static e2e::SoundServer* server;
};

std::string* SoundServerTest::folder = nullptr;
std::string* SoundServerTest::startError = nullptr;
e2e::Desktop* SoundServerTest::desktop = nullptr;
e2e::SoundServer* SoundServerTest::server = nullptr;

// A song plays through the server as through the disk driver; stopped and started again, the server
// gets it back where it stopped, under SDL's PulseAudio and PipeWire drivers alike; paused, the
// sink rests; a signal ends it with a fade.
TEST_F(SoundServerTest, PlaysComesBackAfterARestartRestsWhenPausedAndEndsCleanly) {
    const std::string where = SongFolder("music");
    ASSERT_EQ(WriteLadderSong(where), "");
    for (int song = 1; song < 40; ++song)
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(where, song), e2e::LowNote, false), "");
    // A second program plays silence through SDL's PipeWire driver.
    const std::string quietWhere = SongFolder("quiet");
    for (int song = 0; song < 40; ++song)
        ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(quietWhere, song), e2e::LowNote, false, 0), "");

    // What the disk driver makes of the same song, as fast as it goes.
    const std::string referencePath = where + "/reference.raw";
    e2e::Child reference =
        Start(where, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + referencePath,
                      "SDL_DISKAUDIODELAY=0", "PATH=/usr/bin:/bin"});
    // (The device runs before the song starts: silence first.)
    ASSERT_TRUE(e2e::WaitUntil([&] { return Sounds(referencePath, 30); }, 30000));
    e2e::Terminate(reference);
    ASSERT_EQ(e2e::WaitForExit(reference, 10000), std::optional<int>(0));
    e2e::DiskAudio expected = e2e::ReadDiskAudio(referencePath);
    const long songStart = e2e::FirstAudibleFrame(expected);
    expected.samples.resize(
        std::min(expected.samples.size(), static_cast<std::size_t>(songStart + 32 * Rate) * 2));

    const std::string firstPath = where + "/first.raw";
    e2e::Child recorder = server->Record(firstPath);
    e2e::Child program = Start(where, server->Environment());
    std::vector<std::string> quietEnvironment = server->Environment();
    quietEnvironment.push_back("SDL_AUDIODRIVER=pipewire");
    e2e::Child quiet = Start(quietWhere, quietEnvironment);
    ASSERT_TRUE(e2e::WaitUntil([&] { return Sounds(firstPath, 3); }, 15000))
        << e2e::ReadFile(program.stderrPath);

    // Both streams say who they are, whichever SDL driver made them.
    std::string streams;
    ASSERT_TRUE(e2e::WaitUntil(
        [&] {
            streams = server->Pactl("list sink-inputs");
            return e2e::CountOccurrences(streams, "application.name = \"tonebox\"") == 2;
        },
        10000))
        << streams;
    EXPECT_EQ(e2e::CountOccurrences(streams, "media.role = \"music\""), 2) << streams;
    EXPECT_EQ(e2e::CountOccurrences(streams, "application.icon_name = \"tonebox\""), 2) << streams;

    // The server goes away mid-song and comes back.
    const long beforeStop = static_cast<long>(e2e::ReadDiskAudio(firstPath).Frames());
    server->Stop();
    const e2e::DiskAudio first = StopRecording(recorder, firstPath);
    for (e2e::Child* each : {&program, &quiet})
        EXPECT_TRUE(e2e::WaitUntil(
            [&] { return e2e::ReadFile(each->stderrPath).find(Lost) != std::string::npos; }, 5000))
            << e2e::ReadFile(each->stderrPath);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(server->Start(*folder + "/server"), "");
    const std::string secondPath = where + "/second.raw";
    recorder = server->Record(secondPath);
    ASSERT_TRUE(e2e::WaitUntil([&] { return Sounds(secondPath, 2); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] { return e2e::ReadFile(quiet.stderrPath).find(Back) != std::string::npos; }, 5000))
        << e2e::ReadFile(quiet.stderrPath);
    EXPECT_TRUE(e2e::WaitUntil(
        [&] {
            return e2e::CountOccurrences(server->Pactl("list sink-inputs"),
                                         "application.name = \"tonebox\"") == 2;
        },
        5000));
    e2e::Terminate(quiet);
    EXPECT_EQ(e2e::WaitForExit(quiet, Promptly), std::optional<int>(0));

    // Paused, the program lets the server suspend the sink (nothing may
    // record it meanwhile).
    std::string window;
    ASSERT_TRUE(e2e::WaitUntil(
        [&] { return !(window = desktop->FindWindow("z!l tonebox")).empty(); }, 5000));
    e2e::Person person(*desktop, secondPath);
    person.origin = desktop->WindowPosition(window);
    person.Click(144, 177);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // what was on its way is heard
    const e2e::DiskAudio second = StopRecording(recorder, secondPath);
    EXPECT_TRUE(e2e::WaitUntil([&] { return server->SinkState() == "SUSPENDED"; }, 10000))
        << server->Pactl("list sinks short");
    const std::string thirdPath = where + "/third.raw";
    recorder = server->Record(thirdPath);
    person.Click(107, 177);
    ASSERT_TRUE(e2e::WaitUntil([&] { return Sounds(thirdPath, 1.5); }, 5000));

    // Ctrl+C ends it at once, with status 0 and the music faded out.
    kill(program.pid, SIGINT);
    EXPECT_EQ(e2e::WaitForExit(program, Promptly), std::optional<int>(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const e2e::DiskAudio third = StopRecording(recorder, thirdPath);
    const std::string said = e2e::ReadFile(program.stderrPath);
    EXPECT_EQ(e2e::CountOccurrences(said, Lost), 1) << said;
    EXPECT_EQ(e2e::CountOccurrences(said, Back), 1) << said;

    // What was heard: the song as the disk driver plays it, with no gap or
    // repeat until the server went, on from there within half a second
    // once it was back, and on from the pause after it.
    const long start = e2e::FirstAudibleFrame(first);
    const long stopped = LastAudibleFrame(first);
    ASSERT_GE(start, 0);
    ASSERT_GT(stopped, start + 2 * Rate);
    const long offset = Locate(expected, first, start + Rate / 2) - (start + Rate / 2);
    // (The server eases a new stream in over its first moments.)
    EXPECT_EQ(FirstMismatch(expected, first, start + Rate / 4,
                            std::min(stopped, beforeStop) - Rate / 10, offset),
              -1)
        << "seconds into the recording where it differs from the disk driver's";
    const long stoppedAt = Locate(expected, first, stopped - Rate) + Rate;
    const long back = e2e::FirstAudibleFrame(second);
    EXPECT_LT(back, 3 * Rate) << "frames after the server was back";
    const long backAt = Locate(expected, second, back + Rate / 10) - Rate / 10;
    EXPECT_LT(std::abs(backAt - stoppedAt), Rate / 2)
        << "stopped at " << stoppedAt / double(Rate) << " s, back at " << backAt / double(Rate);
    const long paused = LastAudibleFrame(second);
    const long pausedAt = Locate(expected, second, paused - Rate) + Rate;
    const long resumed = e2e::FirstAudibleFrame(third);
    const long resumedAt = Locate(expected, third, resumed + Rate / 10) - Rate / 10;
    EXPECT_LT(std::abs(resumedAt - pausedAt), Rate / 2)
        << "paused at " << pausedAt / double(Rate) << " s, resumed at " << resumedAt / double(Rate);

    // The last 2 ms before the sound ends are a quarter as loud as the
    // music before them at most: a fade, not a cut.
    const long end = LastAudibleFrame(third);
    ASSERT_GT(end, resumed + Rate);
    const int tail = e2e::Peak(third, end - Rate / 500, end + 1);
    const int music = e2e::Peak(third, end - Rate / 10 - Rate / 100, end - Rate / 100);
    EXPECT_LT(tail * 4, music) << "the last 2 ms peak at " << tail << ", the music at " << music;
}

// With no server the program shows its box; a SIGTERM, as a logout sends,
// ends it at once with status 0 and takes the box down.
TEST_F(SoundServerTest, ASignalEndsTheProgramWithItsNoDeviceBoxOpen) {
    const std::string where = SongFolder("no-server");
    ASSERT_EQ(e2e::WriteToneSong(e2e::SongFile(where, 0), e2e::LowNote, false), "");
    std::filesystem::create_directory(where + "/run");
    chmod((where + "/run").c_str(), 0700);
    e2e::Child program =
        Start(where, {"XDG_RUNTIME_DIR=" + where + "/run", "HOME=" + where, "PATH=/usr/bin:/bin"});
    ASSERT_TRUE(e2e::WaitUntil([&] { return !desktop->FindWindow("Error").empty(); }, 10000))
        << e2e::ReadFile(program.stderrPath);
    e2e::Terminate(program);
    EXPECT_EQ(e2e::WaitForExit(program, Promptly), std::optional<int>(0))
        << e2e::Describe(program) << "\n"
        << e2e::ReadFile(program.stderrPath);
    EXPECT_TRUE(e2e::WaitUntil([&] { return desktop->CountWindows("Error") == 0; }, 2000))
        << "the box outlived the program";
}

} // namespace
