// The library's calls end to end, through SDL's real audio drivers: "disk"
// (writes the output to a file, here as fast as the mixer goes) and "dummy"
// (consumes it at real time).

#include "audiolib/bass.h"
#include "audiolib/mixer.h"
#include "deadline.h"
#include "test_modules.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr QWORD kNone = ~QWORD{0};
constexpr DWORD kFail = ~DWORD{0};

void UseDriver(const char* driver, const fs::path& disk_file = {}) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    setenv("SDL_DISKAUDIOFILE", disk_file.empty() ? "/dev/null" : disk_file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

// Waits for `done` for up to `limit`; true when it came.
template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit = 5s * testsupport::kSlowdown) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::vector<std::int16_t> ReadPcm(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

class BassDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            audiotest::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        UseDriver("disk", dir_ / "out.raw");
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void TearDown() override { BASS_Free(); }

    std::string Song(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        audiotest::WriteBytes(dir_ / name, bytes);
        return (dir_ / name).string();
    }

    fs::path dir_;
};

TEST_F(BassDisk, VersionAndInitialisation) {
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0203u);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr)); // already running
    const auto path = Song("a.mod", audiotest::ToneMod(50, 3));
    const HMUSIC before = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
    ASSERT_NE(before, 0u);
    ASSERT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelGetLength(before), kNone);
    EXPECT_FALSE(BASS_Free());
    // With the library down, every call fails cleanly.
    EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0), 0u);
    EXPECT_EQ(BASS_ChannelGetPosition(1), kNone);
    // A driver that does not exist: no device, no library.
    UseDriver("no-such-driver");
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    // Up again, and a song loads and plays.
    UseDriver("disk", dir_ / "out.raw");
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
    ASSERT_NE(h, 0u);
    EXPECT_TRUE(BASS_ChannelPlay(h, TRUE));
    // A handle from before the free names nothing now.
    EXPECT_NE(h, before);
    EXPECT_EQ(BASS_ChannelGetLength(before), kNone);
}

TEST_F(BassDisk, LoadFailuresReturnNoHandle) {
    const std::string missing = (dir_ / "missing.mod").string();
    const auto empty = Song("empty.mod", {});
    const auto text = Song("text.xm", {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'n', 'g', '\n'});
    std::vector<std::uint8_t> noise(5000);
    std::uint32_t seed = 7;
    for (auto& b : noise)
        b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    const auto random = Song("random.it", noise);
    fs::create_directory(dir_ / "dir.mod");
    const std::string directory = (dir_ / "dir.mod").string();
    const std::string fifo = (dir_ / "fifo.mod").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {missing, empty, text, random, directory, fifo}) {
        EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_SAMPLE_LOOP), 0u) << path;
        EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0), 0u) << path;
    }
    EXPECT_EQ(BASS_MusicLoad(FALSE, nullptr, 0, 0, 0x20204, 0), 0u);

    // A module with nothing to play is refused rather than left silent for
    // ever at length 0.
    const auto nothing = Song("nothing.mod", audiotest::NothingToPlayMod());
    EXPECT_EQ(BASS_MusicLoad(FALSE, nothing.c_str(), 0, 0, 0x20204, 0), 0u);

    // A module is not a stream, so the player falls back to loading it.
    const auto mod = Song("tone.mod", audiotest::ToneMod(50, 3));
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, mod.c_str(), 0, 0, BASS_SAMPLE_LOOP), 0u);
    EXPECT_NE(BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, 0x20204, 0), 0u);

    // Unreadable: only meaningful when permissions apply to us.
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(mod.c_str(), 0), 0);
        EXPECT_EQ(BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, 0x20204, 0), 0u);
    }
}

TEST_F(BassDisk, WindowsStylePathsAndMemoryLoads) {
    const auto bytes = audiotest::ToneMod(50, 3);
    fs::create_directory(dir_ / "songs");
    audiotest::WriteBytes(dir_ / "songs" / "Tone.mod", bytes);
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const HMUSIC h = BASS_MusicLoad(FALSE, ".\\songs\\Tone.mod", 0, 0, 0x20204, 0);
    fs::current_path(before);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h), 3u * 44100 * 4);

    const HMUSIC m = BASS_MusicLoad(TRUE, bytes.data(), 0, static_cast<DWORD>(bytes.size()), 0, 0);
    ASSERT_NE(m, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(m), 3u * 44100 * 4);
}

TEST_F(BassDisk, ASongPlaysThroughTheDeviceAndHoldsAtItsEnd) {
    const testsupport::Deadline deadline(10s);
    const auto path = Song("tone.mod", audiotest::ToneMod(50, 3));
    const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
    ASSERT_NE(h, 0u);
    const QWORD length = BASS_ChannelGetLength(h);
    EXPECT_EQ(length, 3u * 44100 * 4);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    // What the player's end check looks for.
    EXPECT_GE(BASS_ChannelGetPosition(h), length - 1);
    EXPECT_EQ(BASS_ChannelGetPosition(h), length);
    std::array<std::int16_t, 1024> data{};
    EXPECT_EQ(BASS_ChannelGetData(h, data.data(), 2048), kFail);
    BASS_Free(); // closes the file

    // The device got the song: its sound is the module rendered straight.
    const auto pcm = ReadPcm(dir_ / "out.raw");
    const auto first = std::find_if(pcm.begin(), pcm.end(), [](std::int16_t s) { return s != 0; });
    ASSERT_NE(first, pcm.end());
    const auto start = static_cast<std::size_t>(first - pcm.begin()) & ~std::size_t{1};
    auto bytes = audiotest::ToneMod(50, 3);
    tonebox::audio::Bytes module(bytes.size());
    std::memcpy(module.data(), bytes.data(), bytes.size());
    auto source = tonebox::audio::OpenModule(module, 0x20204);
    std::vector<std::int16_t> expected(3 * 44100 * 2);
    ASSERT_EQ(source->Render(expected.data(), 3 * 44100), 3u * 44100);
    ASSERT_GE(pcm.size(), start + expected.size());
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), pcm.begin() + static_cast<long>(start)));
}

TEST_F(BassDisk, PositionsSecondsAndSeeks) {
    const testsupport::Deadline deadline(10s);
    const auto path = Song("tone.mod", audiotest::ToneMod(64, 31)); // 39.68 s
    const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
    ASSERT_NE(h, 0u);
    const QWORD length = BASS_ChannelGetLength(h);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 2.0f), 2u * 44100 * 4);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 2u * 44100 * 4), 2.0f);
    EXPECT_EQ(BASS_ChannelBytes2Seconds(h, 44100 * 4 * 5 / 2), 2.5f);

    // Negative and undefined times give a position no seek accepts.
    EXPECT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 5.0f)));
    for (float bad : {-1.0f, -0.001f, std::nanf("")}) {
        const QWORD bytes = BASS_ChannelSeconds2Bytes(h, bad);
        EXPECT_FALSE(BASS_ChannelSetPosition(h, bytes)) << bad;
        EXPECT_EQ(BASS_ChannelGetPosition(h), 5u * 44100 * 4) << bad;
    }
    EXPECT_FALSE(BASS_ChannelSetPosition(h, length + 4));
    EXPECT_EQ(BASS_ChannelGetPosition(h), 5u * 44100 * 4);

    // Played from there, it goes on from there.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > 6u * 44100 * 4; }));

    // Bad handles.
    for (DWORD bad : {0u, h + 1, 0xFFFFFFFFu}) {
        EXPECT_EQ(BASS_ChannelGetPosition(bad), kNone);
        EXPECT_EQ(BASS_ChannelGetLength(bad), kNone);
        EXPECT_EQ(BASS_ChannelIsActive(bad), BASS_ACTIVE_STOPPED);
        EXPECT_FALSE(BASS_ChannelPlay(bad, TRUE));
        EXPECT_FALSE(BASS_ChannelSetPosition(bad, 0));
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(bad, 1.0f), kNone);
    }
    EXPECT_TRUE(BASS_MusicFree(h));
    EXPECT_FALSE(BASS_MusicFree(h));
    EXPECT_EQ(BASS_ChannelGetPosition(h), kNone);
}

TEST_F(BassDisk, ChannelVolumeAttributes) {
    const testsupport::Deadline deadline(10s);
    const auto path = Song("tone.mod", audiotest::ToneMod(50, 3));
    const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
    // The volume loop: value 1, then the level, channel by channel until -1.
    int channels = 0;
    while (BASS_MusicSetAttribute(h, BASS_MUSIC_ATTRIB_VOL_CHAN + channels, 1) != kFail) {
        EXPECT_EQ(BASS_MusicSetAttribute(h, BASS_MUSIC_ATTRIB_VOL_CHAN + channels, 0), TRUE);
        ASSERT_LT(++channels, 300);
    }
    EXPECT_EQ(channels, 4);
    EXPECT_EQ(BASS_MusicSetAttribute(0, BASS_MUSIC_ATTRIB_VOL_CHAN, 1), kFail);
    EXPECT_EQ(BASS_MusicSetAttribute(h, 0x0FF, 1), kFail);

    // All at 0: the song plays through in silence.
    BASS_ChannelPlay(h, TRUE);
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    BASS_Free();
    const auto pcm = ReadPcm(dir_ / "out.raw");
    EXPECT_GT(pcm.size(), 3u * 44100 * 2);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](std::int16_t s) { return s == 0; }));
}

// Counts module channels the way the volume control does: value 1 on
// channel n until the library answers -1.
int ChannelsByAttribute(HMUSIC h) {
    int n = 0;
    while (n < 300 && BASS_MusicSetAttribute(h, BASS_MUSIC_ATTRIB_VOL_CHAN + n, 1) != kFail)
        ++n;
    return n;
}

TEST_F(BassDisk, EveryFormatPlaysThroughWithItsChannels) {
    const testsupport::Deadline deadline(10s);
    using modwriter::Format;
    for (const auto& [format, name, channels] :
         {std::tuple{Format::Mod, "t.mod", 4}, {Format::Xm, "t.xm", 8}, {Format::It, "t.it", 12}}) {
        const auto path = Song(name, audiotest::ToneModule(format, channels, 50, 3));
        const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
        ASSERT_NE(h, 0u) << name;
        EXPECT_EQ(BASS_ChannelGetLength(h), 3u * 44100 * 4) << name;
        EXPECT_EQ(ChannelsByAttribute(h), channels) << name;
        BASS_ChannelPlay(h, TRUE);
        ASSERT_TRUE(WaitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
        EXPECT_EQ(BASS_ChannelGetPosition(h), 3u * 44100 * 4) << name;
        BASS_MusicFree(h);
    }
}

// The playlist's own songs, by the paths the playlist gives them.
TEST_F(BassDisk, ThePlaylistsSongsLoadWithTheirLengthsAndChannels) {
    const fs::path root = fs::path(TONEBOX_SONG_DIR).parent_path();
    std::vector<fs::path> songs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(TONEBOX_SONG_DIR, error))
        songs.push_back(entry.path().filename());
    if (songs.empty()) GTEST_SKIP() << "no songs made yet in " << TONEBOX_SONG_DIR;
    const fs::path before = fs::current_path();
    fs::current_path(root);
    for (const auto& file : songs) {
        const std::string path = ".\\songs\\" + file.string();
        // Tried as a stream first, as the player does: no song passes for one.
        EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_SAMPLE_LOOP), 0u) << path;
        const HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x20204, 0);
        EXPECT_NE(h, 0u) << path;
        if (h == 0) continue;
        std::ifstream in(root / "songs" / file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        openmpt::module reference(bytes);
        reference.select_subsong(-1);
        const double frames = double(BASS_ChannelGetLength(h) / 4);
        EXPECT_NEAR(frames, reference.get_duration_seconds() * 44100, 1.0) << path;
        EXPECT_GT(frames, 10.0 * 44100) << path;
        EXPECT_EQ(ChannelsByAttribute(h), reference.get_num_channels()) << path;
        BASS_MusicFree(h);
    }
    fs::current_path(before);
}

class BassDummy : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            audiotest::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        UseDriver("dummy");
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    }
    void TearDown() override { BASS_Free(); }
    fs::path dir_;
    const testsupport::Deadline deadline_{10s}; // every test here plays and waits
};

double Seconds(DWORD h) {
    return BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h));
}

TEST_F(BassDummy, PositionMovesAtRealTimeAndHoldsWhilePaused) {
    audiotest::WriteBytes(dir_ / "long.mod", audiotest::ToneMod(64, 31));
    const HMUSIC h = BASS_MusicLoad(FALSE, (dir_ / "long.mod").c_str(), 0, 0, 0x20204, 0);
    ASSERT_NE(h, 0u);
    BASS_ChannelPlay(h, TRUE);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(400ms);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Not ahead of the wall clock by more than a block, as decoding would
    // be; behind it by the output latency (more on a loaded machine).
    EXPECT_LE(Seconds(h), wall + 0.03);
    EXPECT_GE(Seconds(h), wall * 0.6);

    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PAUSED);
    std::this_thread::sleep_for(500ms); // what was queued is heard out
    const QWORD held = BASS_ChannelGetPosition(h);
    std::this_thread::sleep_for(1500ms); // the device rests meanwhile
    EXPECT_EQ(BASS_ChannelGetPosition(h), held);
    std::array<float, 512> fft{};
    EXPECT_EQ(BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT1024), kFail);

    // Woken from its rest, the device plays on from where it held.
    BASS_ChannelPlay(h, FALSE);
    EXPECT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > held + 44100 * 4 / 10; }));

    // A seek while it plays: the position is the target at once, then moves on.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 10.0f)));
    const QWORD after_seek = BASS_ChannelGetPosition(h);
    EXPECT_GE(after_seek, 10u * 44100 * 4);
    EXPECT_LT(after_seek, 10u * 44100 * 4 + 44100 * 4 / 2);
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > after_seek; }));

    BASS_ChannelStop(h);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    BASS_ChannelSetPosition(h, 0);
    EXPECT_EQ(BASS_ChannelGetPosition(h), 0u);
}

TEST_F(BassDummy, DataRequestsDeliverTheToneBeingHeard) {
    const int bin = 24; // centred on 1033.6 Hz
    ASSERT_TRUE(audiotest::WriteSine(dir_ / "sine.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                     bin * 44100.0 / 1024, 0.75, 5.0));
    const HSTREAM h =
        BASS_StreamCreateFile(FALSE, (dir_ / "sine.wav").c_str(), 0, 0, BASS_SAMPLE_LOOP);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h), 5u * 44100 * 4);
    std::array<float, 512> fft{};
    EXPECT_EQ(BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT1024), kFail); // not playing
    BASS_ChannelPlay(h, TRUE);
    // Until what is heard is well into the tone.
    ASSERT_TRUE(WaitFor([&] { return BASS_ChannelGetPosition(h) > 44100 * 4 / 10; }));

    ASSERT_EQ(BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT1024), 2048u);
    EXPECT_EQ(std::max_element(fft.begin(), fft.end()) - fft.begin(), bin);
    EXPECT_NEAR(fft[bin], 0.75, 0.02);

    std::array<std::int16_t, 1024> pcm{};
    ASSERT_EQ(BASS_ChannelGetData(h, pcm.data(), 2048), 2048u);
    int peak = 0;
    for (std::size_t i = 0; i < pcm.size(); i += 2) {
        EXPECT_EQ(pcm[i], pcm[i + 1]);
        peak = std::max(peak, std::abs(int(pcm[i])));
    }
    EXPECT_NEAR(peak, 0.75 * 32767, 400);
    EXPECT_EQ(BASS_ChannelGetData(h, pcm.data(), 0x40000000 | 2048), kFail);
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, 2048), kFail);

    // Freed like a module.
    EXPECT_TRUE(BASS_MusicFree(h));
    EXPECT_EQ(BASS_ChannelGetData(h, pcm.data(), 2048), kFail);
}

// The window's thread switching songs and polling, as the tick does, while
// the audio thread mixes; a second thread polls too, to give the race
// detector something to find.
TEST_F(BassDummy, CallsRaceTheAudioThreadSafely) {
    audiotest::WriteBytes(dir_ / "a.mod", audiotest::ToneMod(50, 3));
    ASSERT_TRUE(
        audiotest::WriteSine(dir_ / "b.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 440, 0.5, 5));
    std::atomic<DWORD> current{0};
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        std::array<float, 512> fft{};
        std::array<std::int16_t, 1024> pcm{};
        while (!stop) {
            const DWORD h = current;
            BASS_ChannelIsActive(h);
            BASS_ChannelGetPosition(h);
            BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT1024);
            BASS_ChannelGetData(h, pcm.data(), 2048);
        }
    });
    int loaded = 0;
    for (int round = 0; round < 40; ++round) {
        const DWORD old = current;
        BASS_MusicFree(old);
        DWORD h = BASS_StreamCreateFile(FALSE, (dir_ / (round % 2 ? "b.wav" : "a.mod")).c_str(), 0,
                                        0, BASS_SAMPLE_LOOP);
        if (h == 0) h = BASS_MusicLoad(FALSE, (dir_ / "a.mod").c_str(), 0, 0, 0x20204, 0);
        loaded += h != 0;
        current = h;
        BASS_ChannelPlay(h, TRUE);
        for (int n = 0; BASS_MusicSetAttribute(h, BASS_MUSIC_ATTRIB_VOL_CHAN + n, 1) != kFail; ++n)
            BASS_MusicSetAttribute(h, BASS_MUSIC_ATTRIB_VOL_CHAN + n, 70);
        std::this_thread::sleep_for(5ms);
        BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 0.5f));
        BASS_ChannelPause(h);
        BASS_ChannelPlay(h, FALSE);
    }
    stop = true;
    poller.join();
    EXPECT_EQ(loaded, 40);
    EXPECT_EQ(BASS_ChannelIsActive(current), BASS_ACTIVE_PLAYING);
}

} // namespace
