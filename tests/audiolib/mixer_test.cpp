// The mixer pulled without a device: play state, positions, seeks, channel
// volumes, sample data and spectrum, several channels, handles.

#include "audiolib/mixer.h"
#include "deadline.h"
#include "test_modules.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

using namespace tonebox::audio;
using audiotest::ToneMod;

Bytes AsBytes(const std::vector<std::uint8_t>& v) {
    Bytes b(v.size());
    std::transform(v.begin(), v.end(), b.begin(), [](std::uint8_t x) { return std::byte{x}; });
    return b;
}

Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> v((std::istreambuf_iterator<char>(in)), {});
    return AsBytes(v);
}

// 50 rows at speed 3: 3.0 s.
constexpr std::uint64_t kToneFrames = 3 * 44100;

std::unique_ptr<Source> Tone(int channels_on = 4, std::uint32_t flags = kModuleRamp) {
    return OpenModule(AsBytes(ToneMod(50, 3, channels_on)), flags);
}

std::unique_ptr<Source> Sine(double hz, double amplitude, int rate = 44100, double seconds = 2.0) {
    const auto dir = audiotest::ScratchDir("sine");
    const auto path = dir / "sine.wav";
    if (!audiotest::WriteSine(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, hz, amplitude, seconds, rate))
        return nullptr;
    return OpenSoundFile(FileBytes(path));
}

// Pulls frames as a device would, in blocks of 1024.
std::vector<std::int16_t> Pull(Mixer& mixer, std::size_t frames) {
    std::vector<std::int16_t> out(frames * 2);
    for (std::size_t done = 0; done < frames; done += 1024)
        mixer.Mix(out.data() + done * 2, std::min<std::size_t>(1024, frames - done));
    return out;
}

int Peak(const std::vector<std::int16_t>& samples, std::size_t from = 0) {
    int peak = 0;
    for (std::size_t i = from; i < samples.size(); ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}

// Sets every module channel to `volume` as the volume knob does: 1 first,
// then the level, channel by channel until there is none.
void SetAll(Mixer& mixer, std::uint32_t h, int volume) {
    for (int n = 0; mixer.SetChannelVolume(h, n, 1); ++n)
        mixer.SetChannelVolume(h, n, volume);
}

// RMS of the mixer's output minus that of continuous playback, in dB,
// over `frames` frames from frame `at` of each.
double LevelDb(const std::vector<std::int16_t>& out, std::size_t out_at,
               const std::vector<std::int16_t>& reference, std::size_t at, std::size_t frames) {
    return audiotest::RmsDb(out, out_at, frames) - audiotest::RmsDb(reference, at, frames);
}

TEST(MixerPlayback, PlaysThroughOnceAndHoldsAtTheLength) {
    const Bytes bytes = AsBytes(ToneMod(50, 3));
    const openmpt::module reference(bytes);
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(bytes, kModuleRamp));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(*mixer.Length(h), kToneFrames);
    EXPECT_NEAR(double(*mixer.Length(h)), reference.get_duration_seconds() * 44100, 1.0);

    // Loaded, not started: nothing moves and nothing sounds.
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(Peak(Pull(mixer, 4096)), 0);
    EXPECT_EQ(*mixer.Position(h), 0u);

    ASSERT_TRUE(mixer.Play(h, true));
    const auto first = Pull(mixer, 44100);
    EXPECT_GT(Peak(first), 8000);
    EXPECT_EQ(*mixer.Position(h), 44100u);
    EXPECT_EQ(mixer.State(h), Activity::kPlaying);

    // The sound ends at the length, not a fade later.
    const auto rest = Pull(mixer, 3 * 44100);
    std::size_t last_sound = 0;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (rest[i] != 0) last_sound = i / 2 + 44100;
    EXPECT_NEAR(double(last_sound), double(kToneFrames), 0.01 * 44100);
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(*mixer.Position(h), kToneFrames);
    Pull(mixer, 4096);
    EXPECT_EQ(*mixer.Position(h), kToneFrames);

    // Played again after its end, it starts over.
    ASSERT_TRUE(mixer.Play(h, false));
    EXPECT_EQ(*mixer.Position(h), 0u);
    EXPECT_GT(Peak(Pull(mixer, 2048)), 8000);
    EXPECT_EQ(*mixer.Position(h), 2048u);
}

TEST(MixerPlayback, EverySubsongPlaysInTurn) {
    const Bytes bytes = AsBytes(audiotest::TwoSubsongMod());
    const openmpt::module reference(bytes);
    ASSERT_EQ(reference.get_num_subsongs(), 2);
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(bytes, kModuleRamp));
    ASSERT_NE(h, 0u);
    EXPECT_NEAR(double(*mixer.Length(h)), 2.88 * 44100, 2.0);
    mixer.Play(h, true);
    const auto out = Pull(mixer, 3 * 44100);
    // Sound in the second subsong, then the end.
    EXPECT_GT(Peak(std::vector<std::int16_t>(out.begin() + 2 * 44100 * 2,
                                             out.begin() + 2 * 44100 * 2 + 4096)),
              8000);
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    // A seek into the second subsong lands there.
    ASSERT_TRUE(mixer.SetPosition(h, 2 * 44100));
    mixer.Play(h, false);
    EXPECT_GT(Peak(Pull(mixer, 2048)), 8000);
    EXPECT_EQ(*mixer.Position(h), 2u * 44100 + 2048);
}

TEST(MixerPlayback, PauseResumeStopAndRestart) {
    Mixer mixer(0, false);
    const auto h = mixer.Add(Tone());
    mixer.Play(h, true);
    Pull(mixer, 10240);

    ASSERT_TRUE(mixer.Pause(h));
    EXPECT_EQ(mixer.State(h), Activity::kPaused);
    EXPECT_FALSE(mixer.Pause(h));
    EXPECT_EQ(Peak(Pull(mixer, 4096)), 0);
    EXPECT_EQ(*mixer.Position(h), 10240u);

    ASSERT_TRUE(mixer.Play(h, false));
    EXPECT_GT(Peak(Pull(mixer, 1024)), 8000);
    EXPECT_EQ(*mixer.Position(h), 11264u);

    // Stopped, it stands where it was and stays silent; play resumes there.
    ASSERT_TRUE(mixer.Stop(h));
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(Peak(Pull(mixer, 2048)), 0);
    EXPECT_EQ(*mixer.Position(h), 11264u);
    mixer.Play(h, false);
    Pull(mixer, 1024);
    EXPECT_EQ(*mixer.Position(h), 12288u);

    // Restart goes back to the beginning whatever the state.
    mixer.Play(h, true);
    EXPECT_EQ(*mixer.Position(h), 0u);
    Pull(mixer, 1024);
    EXPECT_EQ(*mixer.Position(h), 1024u);
}

TEST(MixerPlayback, SeeksLandExactlyWithSoundAndRefuseBeyondTheEnd) {
    // The same song rendered straight through is the reference for what a
    // seek to 2 s must sound like.
    Mixer straight(0, false);
    const auto ref = straight.Add(Tone(4, 0));
    straight.Play(ref, true);
    const auto whole = Pull(straight, 2 * 44100 + 4096);

    Mixer mixer(0, false);
    const auto h = mixer.Add(Tone(4, 0));
    mixer.Play(h, true);
    Pull(mixer, 3000);
    ASSERT_TRUE(mixer.SetPosition(h, 2 * 44100));
    EXPECT_EQ(*mixer.Position(h), 2u * 44100);
    const auto after = Pull(mixer, 4096);
    EXPECT_GT(Peak(after), 8000); // notes from before the target sound on
    int worst = 0;
    for (std::size_t i = 0; i < after.size(); ++i)
        worst = std::max(worst, std::abs(after[i] - whole[2 * 44100 * 2 + i]));
    EXPECT_EQ(worst, 0);
    EXPECT_EQ(*mixer.Position(h), 2u * 44100 + 4096);

    EXPECT_FALSE(mixer.SetPosition(h, kToneFrames + 1));
    EXPECT_EQ(*mixer.Position(h), 2u * 44100 + 4096);

    // A seek to the very end finishes the song.
    ASSERT_TRUE(mixer.SetPosition(h, kToneFrames));
    Pull(mixer, 2048);
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(*mixer.Position(h), kToneFrames);

    // Back into the song from there: a seek alone does not start it.
    ASSERT_TRUE(mixer.SetPosition(h, 44100));
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(Peak(Pull(mixer, 2048)), 0);
    mixer.Play(h, false);
    EXPECT_GT(Peak(Pull(mixer, 2048)), 8000);
    EXPECT_EQ(*mixer.Position(h), 44100u + 2048);
}

TEST(MixerPlayback, ASeekAnywhereInAnySubsongSoundsLikeContinuousPlayback) {
    const auto module = audiotest::ThreeSubsongIt();
    const auto reference = audiotest::RenderContinuously(module);
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(AsBytes(module), kModuleRamp, kNoSeekBudget));
    mixer.Play(h, true);
    // Every 10 s, and then the other way round.
    std::vector<std::uint64_t> targets;
    for (std::uint64_t at = 0; at + 22050 <= reference.size() / 2; at += 10 * 44100)
        targets.push_back(at);
    targets.insert(targets.end(), targets.rbegin(), targets.rend());
    for (const std::uint64_t at : targets) {
        ASSERT_TRUE(mixer.SetPosition(h, at));
        EXPECT_EQ(*mixer.Position(h), at);
        const auto out = Pull(mixer, 22050);
        EXPECT_NEAR(LevelDb(out, 0, reference, at, 22050), 0.0, 0.5) << "after a seek to " << at;
        EXPECT_EQ(*mixer.Position(h), at + 22050);
    }
}

TEST(MixerPlayback, ASeekIntoHeldNotesUnderPitchEffectsSoundsLikeContinuousPlayback) {
    // libopenmpt's own seek silences a note under an arpeggio or a slide
    // until that channel's next note. With no limit on the replay's time,
    // a loaded machine cannot turn it into that seek.
    const auto module = audiotest::HeldEffectsXm();
    const auto reference = audiotest::RenderContinuously(module);
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(AsBytes(module), kModuleRamp, kNoSeekBudget));
    mixer.Play(h, true);
    for (const double seconds : {1.0, 3.0, 5.5, 9.2, 13.0}) {
        const auto at = static_cast<std::uint64_t>(seconds * 44100);
        ASSERT_TRUE(mixer.SetPosition(h, at));
        const auto out = Pull(mixer, 22050);
        EXPECT_NEAR(LevelDb(out, 0, reference, at, 22050), 0.0, 0.5)
            << "after a seek to " << seconds;
    }
}

TEST(MixerVolumes, ZeroSilencesEveryChannelAndSurvivesSeeks) {
    Mixer mixer(0, false);
    const auto h = mixer.Add(Tone());
    mixer.Play(h, true);
    EXPECT_GT(Peak(Pull(mixer, 2048)), 8000);

    for (int n = 0; n < 4; ++n)
        EXPECT_TRUE(mixer.SetChannelVolume(h, n, 0));
    EXPECT_FALSE(mixer.SetChannelVolume(h, 4, 0));
    EXPECT_FALSE(mixer.SetChannelVolume(h, -1, 0));
    // The block mixed before the change may still fade out with ramping.
    Pull(mixer, 2048);
    EXPECT_EQ(Peak(Pull(mixer, 4096)), 0);

    ASSERT_TRUE(mixer.SetPosition(h, 44100));
    EXPECT_EQ(Peak(Pull(mixer, 4096)), 0);
    ASSERT_TRUE(mixer.Play(h, true));
    EXPECT_EQ(Peak(Pull(mixer, 4096)), 0);

    // One channel back at full: a quarter of the four-channel sound.
    const int full = [] {
        Mixer reference(0, false);
        const auto r = reference.Add(Tone(1));
        reference.Play(r, true);
        return Peak(Pull(reference, 8192), 4096);
    }();
    mixer.SetChannelVolume(h, 0, 100);
    Pull(mixer, 2048);
    EXPECT_NEAR(Peak(Pull(mixer, 4096)), full, full / 20);

    // Half volume halves it.
    mixer.SetChannelVolume(h, 0, 50);
    Pull(mixer, 2048);
    EXPECT_NEAR(Peak(Pull(mixer, 4096)), full / 2, full / 20);

    // A sound file has no module channels.
    const auto s = mixer.Add(Sine(440, 0.5));
    EXPECT_FALSE(mixer.SetChannelVolume(s, 0, 100));
}

TEST(MixerVolumes, TheLevelScalesWhatTheSongPlaysWhateverItsChannelVolumeCommands) {
    const auto module = audiotest::ChannelVolumeIt();
    const auto reference = audiotest::RenderContinuously(module);
    const std::size_t length = reference.size() / 2;
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(AsBytes(module), kModuleRamp));
    ASSERT_EQ(*mixer.Length(h), length);
    SetAll(mixer, h, 50);
    mixer.Play(h, true);
    const auto half = Pull(mixer, length);
    // Half the amplitude, quarter-second by quarter-second, as the song
    // raises, lowers and silences its channels (after the first block's
    // ramp down from full).
    for (std::size_t at = 2048; at + 11025 <= length; at += 11025)
        EXPECT_NEAR(LevelDb(half, at, reference, at, 11025), -6.02, 0.05) << "at frame " << at;

    // A seek keeps it.
    ASSERT_TRUE(mixer.SetPosition(h, 150000));
    mixer.Play(h, false);
    EXPECT_NEAR(LevelDb(Pull(mixer, 44100), 0, reference, 150000, 44100), -6.02, 0.05);

    // 0 is silence, through the song's commands and a seek.
    SetAll(mixer, h, 0);
    Pull(mixer, 1024); // the ramp down
    EXPECT_EQ(Peak(Pull(mixer, 44100)), 0);
    ASSERT_TRUE(mixer.SetPosition(h, 44100));
    EXPECT_EQ(Peak(Pull(mixer, 3 * 44100)), 0);

    // Full is the song as it plays, its silenced channel silent.
    SetAll(mixer, h, 100);
    ASSERT_TRUE(mixer.SetPosition(h, 200000));
    EXPECT_NEAR(LevelDb(Pull(mixer, 88200), 1024, reference, 201024, 87176), 0.0, 0.05);
}

TEST(MixerVolumes, TheLevelHoldsIntoEverySubsongAndToTheEnd) {
    const auto module = audiotest::ThreeSubsongIt();
    const auto reference = audiotest::RenderContinuously(module);
    const std::size_t length = reference.size() / 2;
    // The second and third subsongs start at 20.48 and 39.68 s.
    const std::size_t changes[] = {903168, 1749888, length};
    Mixer mixer(0, false);
    const auto h = mixer.Add(OpenModule(AsBytes(module), kModuleRamp));
    ASSERT_EQ(*mixer.Length(h), length);
    SetAll(mixer, h, 50);
    mixer.Play(h, true);
    for (const std::size_t change : changes) {
        const std::size_t from = change - 44100;
        ASSERT_TRUE(mixer.SetPosition(h, from));
        const auto half = Pull(mixer, 2 * 44100);
        for (std::size_t at = 0; at + 11025 <= std::min<std::size_t>(2 * 44100, length - from);
             at += 11025)
            EXPECT_NEAR(LevelDb(half, at, reference, from + at, 11025), -6.02, 0.05)
                << "at frame " << from + at;
    }
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(*mixer.Position(h), length);

    SetAll(mixer, h, 0);
    mixer.Play(h, true);
    for (const std::size_t change : changes) {
        ASSERT_TRUE(mixer.SetPosition(h, change - 44100));
        mixer.Play(h, false);
        EXPECT_EQ(Peak(Pull(mixer, 2 * 44100)), 0) << "around frame " << change;
    }
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
}

TEST(MixerVolumes, TheRampingFlagSoftensVolumeChanges) {
    // The last sounding frame after a channel is turned down to 0.
    auto fade_end = [](std::uint32_t flags) {
        Mixer mixer(0, false);
        const auto h = mixer.Add(Tone(1, flags));
        mixer.Play(h, true);
        Pull(mixer, 2048);
        mixer.SetChannelVolume(h, 0, 0);
        const auto out = Pull(mixer, 2048);
        std::size_t last = 0;
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i] != 0) last = i / 2;
        return last;
    };
    const std::size_t plain = fade_end(0);
    const std::size_t ramped = fade_end(kModuleRamp);
    EXPECT_GT(plain, 0u);
    EXPECT_GT(ramped, plain + 16);
}

TEST(MixerData, SamplesAndSpectrumAreWhatIsHeardNow) {
    constexpr std::size_t kLatency = 2048;
    Mixer mixer(kLatency, false);
    const auto h = mixer.Add(Tone());
    std::array<std::int16_t, 1024> samples{};
    EXPECT_FALSE(mixer.Samples(h, samples.data(), 512)); // not playing

    mixer.Play(h, true);
    const auto out = Pull(mixer, 8192);
    EXPECT_EQ(*mixer.Position(h), 8192u - kLatency);
    ASSERT_TRUE(mixer.Samples(h, samples.data(), 512));
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin() + (8192 - kLatency) * 2));

    mixer.Pause(h);
    EXPECT_FALSE(mixer.Samples(h, samples.data(), 512));
    std::array<float, kFftBins> bins{};
    EXPECT_FALSE(mixer.Spectrum(h, bins.data()));
    EXPECT_FALSE(mixer.Samples(0, samples.data(), 512));
}

// Bin k of the 1024-point transform is centred on k * 44100 / 1024 Hz.
double BinHz(int k) {
    return k * 44100.0 / 1024.0;
}

TEST(MixerData, SpectrumPeaksAtTheTonesBinWithItsAmplitude) {
    for (const auto& [bin, amplitude] : {std::pair{40, 1.0}, std::pair{100, 0.5}, {7, 0.25}}) {
        Mixer mixer(0, false);
        const auto h = mixer.Add(Sine(BinHz(bin), amplitude));
        ASSERT_NE(h, 0u);
        mixer.Play(h, true);
        Pull(mixer, 4096);
        std::array<float, kFftBins> bins{};
        ASSERT_TRUE(mixer.Spectrum(h, bins.data()));
        const auto peak = std::max_element(bins.begin(), bins.end()) - bins.begin();
        EXPECT_EQ(peak, bin);
        EXPECT_NEAR(bins[static_cast<std::size_t>(bin)], amplitude, 0.02 * amplitude);
        // The window keeps the tone within its neighbouring bins.
        for (std::size_t k = 0; k < kFftBins; ++k)
            if (std::abs(int(k) - bin) > 2) {
                EXPECT_LT(bins[k], 0.001) << "bin " << k;
            }
    }
}

TEST(MixerSources, SoundFilesAtOtherRatesAndInMonoPlayAtTheOutputRate) {
    // 22050 Hz: twice the frames at the output rate, the tone where it was.
    Mixer mixer(0, false);
    const auto h = mixer.Add(Sine(BinHz(30), 0.8, 22050, 1.0));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(*mixer.Length(h), 44100u);
    mixer.Play(h, true);
    Pull(mixer, 4096);
    std::array<float, kFftBins> bins{};
    ASSERT_TRUE(mixer.Spectrum(h, bins.data()));
    EXPECT_EQ(std::max_element(bins.begin(), bins.end()) - bins.begin(), 30);
    EXPECT_NEAR(bins[30], 0.8, 0.03);
    Pull(mixer, 44100);
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(*mixer.Position(h), 44100u);

    // Mono plays the same on both sides.
    const auto dir = audiotest::ScratchDir("mono");
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    std::vector<float> pcm(8192);
    for (std::size_t n = 0; n < pcm.size(); ++n)
        pcm[n] = 0.5f * float(std::sin(2 * 3.141592653589793 * 440 * double(n) / 44100));
    SNDFILE* file = sf_open((dir / "mono.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, pcm.data(), 8192);
    sf_close(file);
    Mixer mono(0, false);
    const auto m = mono.Add(OpenSoundFile(FileBytes(dir / "mono.flac")));
    ASSERT_NE(m, 0u);
    mono.Play(m, true);
    const auto out = Pull(mono, 4096);
    EXPECT_GT(Peak(out), 15000);
    for (std::size_t i = 0; i < out.size(); i += 2)
        ASSERT_EQ(out[i], out[i + 1]);
}

TEST(MixerChannels, TwoChannelsAtOnceSumInTheOutput) {
    auto alone = [](std::unique_ptr<Source> source) {
        Mixer mixer(0, false);
        mixer.Play(mixer.Add(std::move(source)), true);
        return Pull(mixer, 8192);
    };
    const auto a = alone(Tone(1));
    const auto b = alone(Sine(1000, 0.5));

    Mixer mixer(0, false);
    const auto ha = mixer.Add(Tone(1));
    const auto hb = mixer.Add(Sine(1000, 0.5));
    mixer.Play(ha, true);
    mixer.Play(hb, true);
    const auto both = Pull(mixer, 8192);
    for (std::size_t i = 0; i < both.size(); ++i)
        ASSERT_EQ(both[i], std::clamp(a[i] + b[i], -32768, 32767)) << "sample " << i;

    // Each channel's data is its own.
    std::array<std::int16_t, 1024> samples{};
    ASSERT_TRUE(mixer.Samples(hb, samples.data(), 512));
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), b.end() - 1024));
}

// A source whose seek waits until the test lets it go, and which renders a
// constant so its sound is easy to find.
class GatedSource final : public Source {
  public:
    std::size_t Render(std::int16_t* out, std::size_t frames) noexcept override {
        std::fill(out, out + frames * 2, std::int16_t{1000});
        return frames;
    }
    bool Seek(std::uint64_t) noexcept override {
        std::unique_lock<std::mutex> lock(mutex_);
        seeking_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        return true;
    }
    std::uint64_t LengthFrames() const noexcept override { return 10 * 44100; }

    void WaitUntilSeeking() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return seeking_; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool seeking_ = false, released_ = false;
};

TEST(MixerChannels, MixingNeverWaitsForASeek) {
    using namespace std::chrono_literals;
    const testsupport::Deadline deadline(10s);
    Mixer mixer(0, false);
    auto owned = std::make_unique<GatedSource>();
    GatedSource* gate = owned.get();
    const auto h = mixer.Add(std::move(owned));
    mixer.Play(h, false); // no restart, so no seek yet
    ASSERT_EQ(Pull(mixer, 1024)[0], 1000);

    std::thread seeker([&] { mixer.SetPosition(h, 5 * 44100); });
    gate->WaitUntilSeeking();
    // The seek holds the source: mixing goes on without it, and the
    // position is already the target.
    auto mixed = std::async(std::launch::async, [&] { return Pull(mixer, 2048); });
    const bool mixed_meanwhile =
        mixed.wait_for(3s * testsupport::kSlowdown) == std::future_status::ready;
    const std::vector<std::int16_t> during =
        mixed_meanwhile ? mixed.get() : std::vector<std::int16_t>{};
    const auto position = mixer.Position(h);
    gate->Release();
    seeker.join();
    ASSERT_TRUE(mixed_meanwhile) << "the mix waited for the seek";
    EXPECT_EQ(Peak(during), 0);
    EXPECT_EQ(*position, 5u * 44100);

    EXPECT_EQ(Pull(mixer, 1024)[0], 1000);
    EXPECT_EQ(*mixer.Position(h), 5u * 44100 + 1024);
}

// A source that, each time the mixer renders it, first calls `look`: as a
// caller's thread may read the position at that moment of a mix.
class Watched final : public Source {
  public:
    Watched(std::unique_ptr<Source> inner, std::function<void()> look)
        : inner_(std::move(inner)), look_(std::move(look)) {}
    std::size_t Render(std::int16_t* out, std::size_t frames) noexcept override {
        look_();
        return inner_->Render(out, frames);
    }
    bool Seek(std::uint64_t frame) noexcept override { return inner_->Seek(frame); }
    std::uint64_t LengthFrames() const noexcept override { return inner_->LengthFrames(); }

  private:
    std::unique_ptr<Source> inner_;
    std::function<void()> look_;
};

// The audible position follows the clock between mixes. Mixed faster than
// real time for a device that takes two blocks at a time and now and then
// comes late, and read in the middle of mixes as well as between them, it
// never steps back, and the song is not reported over before its end.
TEST(MixerChannels, ThePositionNeverStepsBackWhileMixingRunsAhead) {
    using namespace std::chrono_literals;
    constexpr std::size_t kDeviceFrames = 2 * Mixer::kBlock;
    Mixer mixer(kDeviceFrames, true);
    std::uint32_t h = 0;
    std::uint64_t length = 0, last = 0, reads = 0;
    std::vector<std::string> faults;
    auto look = [&] {
        const bool over = mixer.State(h) == Activity::kStopped;
        const std::uint64_t position = *mixer.Position(h);
        if (position < last || (over && position != length))
            faults.push_back("read " + std::to_string(reads) + ": " + std::to_string(position) +
                             " after " + std::to_string(last) + (over ? ", over" : ""));
        last = std::max(last, position);
        ++reads;
    };
    h = mixer.Add(std::make_unique<Watched>(OpenModule(AsBytes(ToneMod(64, 31, 1)), kModuleRamp),
                                            look)); // 39.68 s
    length = *mixer.Length(h);
    mixer.Play(h, true);
    std::vector<std::int16_t> out(kDeviceFrames * 2);
    for (int n = 1; mixer.State(h) == Activity::kPlaying && n < 2000; ++n) {
        if (n % 64 == 0) std::this_thread::sleep_for(30ms); // later than a block
        mixer.Mix(out.data(), kDeviceFrames);
        look();
    }
    EXPECT_EQ(mixer.State(h), Activity::kStopped);
    EXPECT_EQ(*mixer.Position(h), length);
    EXPECT_TRUE(faults.empty()) << faults.size() << " of " << reads << " reads, first "
                                << (faults.empty() ? "" : faults.front());
}

TEST(MixerChannels, FreedAndStaleHandlesAreRefused) {
    Mixer mixer(0, false);
    const auto h = mixer.Add(Tone());
    mixer.Play(h, true);
    Pull(mixer, 1024);
    ASSERT_TRUE(mixer.Remove(h));
    EXPECT_FALSE(mixer.Remove(h));
    EXPECT_FALSE(mixer.Play(h, true));
    EXPECT_FALSE(mixer.Position(h).has_value());
    EXPECT_EQ(Peak(Pull(mixer, 2048)), 0);

    // The slot is used again under a new handle; the old one stays dead.
    const auto again = mixer.Add(Tone());
    EXPECT_NE(again, h);
    EXPECT_FALSE(mixer.Length(h).has_value());
    EXPECT_TRUE(mixer.Length(again).has_value());
    EXPECT_EQ(mixer.Add(nullptr), 0u);

    // A full table refuses more.
    for (std::size_t i = 1; i < Mixer::kCapacity; ++i)
        ASSERT_NE(mixer.Add(Tone()), 0u);
    EXPECT_EQ(mixer.Add(Tone()), 0u);
    for (std::uint32_t x : {0u, 0xFFFFFFFFu, 0x100u, 0x21u})
        EXPECT_FALSE(mixer.Valid(x)) << x;
}

TEST(Paths, BackslashesBecomeTheNativeSeparator) {
    EXPECT_EQ(NativePath(".\\songs\\Tune.it"), "./songs/Tune.it");
    EXPECT_EQ(NativePath("songs/a.xm"), "songs/a.xm");
}

// Started from elsewhere, the program finds its songs in the installed data
// folder; the working directory comes first.
TEST(Paths, ASongMissingHereIsReadFromTheDataFolder) {
    const auto here = audiotest::ScratchDir("here"), data = audiotest::ScratchDir("data");
    std::filesystem::create_directories(here / "songs");
    std::filesystem::create_directories(data / "songs");
    audiotest::WriteBytes(here / "songs" / "Tune.it", {1, 2});
    audiotest::WriteBytes(data / "songs" / "Tune.it", {3, 4, 5});
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(here);
    const auto local = ReadSongFile(".\\songs\\Tune.it", 0, 0, data);
    std::filesystem::remove(here / "songs" / "Tune.it");
    const auto installed = ReadSongFile(".\\songs\\Tune.it", 1, 0, data);
    const auto missing = ReadSongFile(".\\songs\\Other.it", 0, 0, data);
    const auto absolute = ReadSongFile((here / "songs" / "Tune.it").c_str(), 0, 0, data);
    std::filesystem::current_path(before);
    ASSERT_TRUE(local && installed);
    EXPECT_EQ(local->size(), 2u);
    EXPECT_EQ(*installed, (Bytes{std::byte{4}, std::byte{5}}));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(absolute);
}

} // namespace
