// The composer's instruments: the waves keep their shapes and loops, the
// drums their pitch drops and noise.

#include "synth.h"
#include "voices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace composer;

namespace {

std::vector<double> LoopOf(const modwriter::Sample& s) {
    const double full = s.sixteenBit ? 32767 : 127;
    std::vector<double> v;
    for (std::uint32_t i = s.loopStart; i < s.loopStart + s.loopLength; ++i)
        v.push_back(s.data[i] / full);
    return v;
}

double Rms(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x * x;
    return std::sqrt(sum / static_cast<double>(v.size()));
}

// Zero crossings a second over [from, to) seconds of a sample made at `rate`.
double Crossings(const modwriter::Sample& s, double rate, double from, double to) {
    int n = 0;
    for (auto i = static_cast<std::size_t>(from * rate) + 1;
         i < static_cast<std::size_t>(to * rate); ++i)
        n += (s.data[i - 1] < 0) != (s.data[i] < 0);
    return n / (to - from);
}

TEST(Synth, PulsesHaveTheirDutyAndLoopWholeCycles) {
    for (auto [wave, duty] :
         {std::pair{Wave::Pulse12, 0.125}, {Wave::Pulse25, 0.25}, {Wave::Pulse50, 0.5}}) {
        ToneShape t;
        t.wave = wave;
        t.cycle = 64;
        t.sixteenBit = true;
        const auto s = ToneSample(t);
        ASSERT_EQ(s.loopStart + s.loopLength, s.data.size());
        ASSERT_EQ(s.loopLength % 64, 0u);
        const auto loop = LoopOf(s);
        const double mid = (*std::max_element(loop.begin(), loop.end()) +
                            *std::min_element(loop.begin(), loop.end())) /
                           2;
        const auto high =
            std::count_if(loop.begin(), loop.end(), [&](double x) { return x > mid; });
        EXPECT_NEAR(double(high) / loop.size(), duty, 0.04) << duty;
    }
}

TEST(Synth, LoudWavesComeDownToTheCeilingAndNoneClips) {
    const double ceiling = 20 * std::log10(WaveRmsCeiling);
    for (Wave w : {Wave::Pulse12, Wave::Pulse50, Wave::SoftSquare, Wave::Saw, Wave::Triangle,
                   Wave::Organ, Wave::Pwm, Wave::DetunedSaw, Wave::Bell}) {
        ToneShape t;
        t.wave = w;
        t.cycle = 128;
        t.sixteenBit = true;
        const auto s = ToneSample(t);
        const double level = 20 * std::log10(Rms(LoopOf(s)));
        EXPECT_LE(level, ceiling + 0.1) << int(w);
        EXPECT_GT(level, -12.0) << int(w);
    }
    // A square (RMS at full scale) sits at the ceiling; a saw stays below it.
    ToneShape t;
    t.cycle = 128;
    t.sixteenBit = true;
    t.wave = Wave::Pulse50;
    EXPECT_NEAR(20 * std::log10(Rms(LoopOf(ToneSample(t)))), ceiling, 0.5);
    t.wave = Wave::Saw;
    EXPECT_LT(20 * std::log10(Rms(LoopOf(ToneSample(t)))), ceiling - 2);
}

TEST(Synth, BakedDecayFallsToTheSustainLevelAndLoopsThere) {
    ToneShape t;
    t.wave = Wave::Pulse50;
    t.cycle = 32;
    t.decayCycles = 40;
    t.sustain = 0.5;
    const auto s = ToneSample(t);
    EXPECT_EQ(s.loopStart, 40u * 32);
    double first = 0, last = 0;
    for (int i = 0; i < 32; ++i) {
        first = std::max(first, std::abs(double(s.data[i])));
        last = std::max(last, std::abs(double(s.data[s.loopStart + i])));
    }
    EXPECT_NEAR(last / first, 0.5, 0.05);
    for (auto v : s.data)
        EXPECT_TRUE(v >= -128 && v <= 127);
}

TEST(Synth, KickDropsItsPitchAndHatsAreBrightNoise) {
    const double rate = 16726;
    DrumShape k;
    k.drum = Drum::Kick;
    const auto kick = DrumSample(k);
    EXPECT_GT(Crossings(kick, rate, 0.0, 0.03), 2 * Crossings(kick, rate, 0.1, 0.2));
    EXPECT_LT(Crossings(kick, rate, 0.1, 0.2), 2 * 70.0); // down near 50 Hz

    DrumShape h;
    h.drum = Drum::HatClosed;
    const auto hat = DrumSample(h);
    EXPECT_GT(Crossings(hat, rate, 0.0, 0.03), 2 * 3000.0);
    EXPECT_LT(hat.data.size(), kick.data.size() / 3);
    // The tails fade out instead of clicking off.
    for (const auto& s : {kick, hat})
        EXPECT_LE(std::abs(int(s.data.back())), 1);
}

// A song's kit turns these knobs: the kick's and tom's pitch, the decays,
// the snare's noise from dark to bright, as a narrow band at its colour
// (crossing zero about twice its centre a second: 3 kHz, and the highest
// the rate allows); the crash dies away within itself.
TEST(Synth, KitKnobsTuneEachDrum) {
    const double rate = 16726;
    auto shape = [](Drum d, double tone, double length, double colour) {
        DrumShape s;
        s.drum = d;
        s.tone = tone;
        s.length = length;
        s.colour = colour;
        s.sixteenBit = true;
        return DrumSample(s);
    };
    for (Drum d : {Drum::Kick, Drum::Tom})
        EXPECT_GT(Crossings(shape(d, 1.2, 1, 1), rate, 0.05, 0.15),
                  1.3 * Crossings(shape(d, 0.8, 1, 1), rate, 0.05, 0.15))
            << int(d);
    EXPECT_GT(shape(Drum::HatClosed, 1, 1.5, 1).data.size(),
              2 * shape(Drum::HatClosed, 1, 0.7, 1).data.size());
    EXPECT_GT(Crossings(shape(Drum::Snare, 1, 1, 1), rate, 0.0, 0.05),
              1.5 * Crossings(shape(Drum::Snare, 1, 1, 0), rate, 0.0, 0.05));
    for (auto [colour, centre] :
         {std::pair{0.6, 800 * std::pow(2.0, 3.2 * 0.6)}, {1.0, 0.4 * rate}}) {
        DrumShape s;
        s.drum = Drum::Snare;
        s.colour = colour, s.snap = 0, s.body = 0;
        s.sixteenBit = true;
        EXPECT_NEAR(Crossings(DrumSample(s), rate, 0.0, 0.1), 2 * centre, 0.25 * 2 * centre)
            << colour;
    }
    const auto crash = shape(Drum::Crash, 1, 1, 1);
    double head = 0, tail = 0;
    const std::size_t n = crash.data.size(), part = n / 20;
    for (std::size_t i = 0; i < part; ++i) {
        head = std::max(head, std::abs(double(crash.data[i])));
        tail = std::max(tail, std::abs(double(crash.data[n - part + i])));
    }
    EXPECT_LT(20 * std::log10(tail / head), -40);
}

TEST(Synth, NoiseSeedsGiveDifferentButRepeatableDrums) {
    DrumShape a;
    a.drum = Drum::Snare;
    a.noiseSeed = 7;
    DrumShape b = a;
    b.noiseSeed = 8;
    EXPECT_EQ(DrumSample(a).data, DrumSample(a).data);
    EXPECT_NE(DrumSample(a).data, DrumSample(b).data);
}

// Every timbre, its knobs low to high, sounds at the pitch of its cycle
// (a plucked string's damping filter flattens it unless it is centred),
// at a good level, and loops whole cycles without an offset.
TEST(Synth, EveryTimbreIsInTuneLoudAndLoopsCleanly) {
    constexpr int cycle = 64;
    for (int t = 0; t <= static_cast<int>(Timbre::Wind); ++t)
        for (double knob : {0.1, 0.6, 0.95}) {
            VoiceShape v;
            v.patch.timbre = static_cast<Timbre>(t);
            v.patch.knob = {knob, knob, knob, knob};
            v.cycle = cycle;
            v.top = 20;
            const auto s = VoiceSample(v);
            SCOPED_TRACE(std::string(TimbreName(v.patch.timbre)) + " " + std::to_string(knob));
            ASSERT_GE(s.data.size(), std::size_t(cycle));
            const double peak = *std::max_element(s.data.begin(), s.data.end(), [](auto a, auto b) {
                return std::abs(a) < std::abs(b);
            });
            EXPECT_GT(std::abs(peak) / 32767, 0.5);
            if (s.loopLength) {
                EXPECT_EQ(s.loopLength % cycle, 0u);
                EXPECT_EQ(s.loopStart + s.loopLength, s.data.size());
                double mean = 0;
                for (double x : LoopOf(s))
                    mean += x / double(s.loopLength);
                EXPECT_LT(std::abs(mean), 0.02);
            }
            // The strongest period between three quarters and five quarters
            // of a cycle, past the attack. (Bells and struck metal are
            // inharmonic: they have no single period.)
            const bool inharmonic =
                (v.patch.timbre == Timbre::Fm || v.patch.timbre == Timbre::Mallet) && knob > 0.5;
            if (inharmonic) continue;
            const std::size_t from = s.loopLength ? s.loopStart : 6u * cycle;
            auto at = [&](std::size_t i) {
                return s.loopLength && i >= s.data.size()
                           ? double(s.data[s.loopStart + (i - s.loopStart) % s.loopLength])
                           : double(s.data[std::min(i, s.data.size() - 1)]);
            };
            auto correlation = [&](int lag) {
                double sum = 0, energy = 0;
                // Over the whole of a loop whose voices beat, to hear their mean.
                for (std::size_t i = from;
                     i < from + std::max<std::size_t>(8u * cycle, s.loopLength); ++i) {
                    const double later = at(i + static_cast<std::size_t>(lag));
                    sum += at(i) * later, energy += later * later;
                }
                return sum / std::sqrt(energy + 1);
            };
            int best = 0;
            for (int lag = cycle * 3 / 4; lag <= cycle * 5 / 4; ++lag)
                if (best == 0 || correlation(lag) > correlation(best)) best = lag;
            // Between lags, where the parabola through the best three peaks.
            const double a = correlation(best - 1), b = correlation(best),
                         c = correlation(best + 1);
            const double period = best + 0.5 * (a - c) / (a - 2 * b + c);
            EXPECT_NEAR(period, cycle, 0.3); // 8 cents
        }
}

} // namespace
