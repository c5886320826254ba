// The song checker's figures, on sounds and patterns whose figures are
// known: they are the measures that guard the songs.

#include "modwriter.h"
#include "songcheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr int Rate = 22050;

// Stereo frames of a sine at `hz`, its amplitude on each side.
std::vector<float> Sine(double hz, double seconds, double left, double right) {
    std::vector<float> v;
    for (int i = 0; i < static_cast<int>(seconds * Rate); ++i) {
        const double x = std::sin(2 * std::numbers::pi * hz * i / Rate);
        v.push_back(static_cast<float>(left * x));
        v.push_back(static_cast<float>(right * x));
    }
    return v;
}

std::vector<float> operator+(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

songcheck::Figures Measure(const std::vector<float>& frames) {
    songcheck::Figures f;
    songcheck::MeasureAudio(frames, Rate, &f);
    return f;
}

TEST(SongCheck, SharesTheEnergyOutByBand) {
    const auto low = Measure(Sine(60, 4, 0.5, 0.5));
    EXPECT_GT(low.lowShare, 0.95);
    EXPECT_LT(low.presenceShare, 0.01);
    const auto bright = Measure(Sine(3000, 4, 0.5, 0.5));
    EXPECT_LT(bright.lowShare, 0.01);
    EXPECT_GT(bright.presenceShare, 0.95);
    std::vector<float> both = Sine(60, 4, 0.3, 0.3), high = Sine(3000, 4, 0.3, 0.3);
    for (std::size_t i = 0; i < both.size(); ++i)
        both[i] += high[i];
    EXPECT_NEAR(Measure(both).lowShare, 0.5, 0.05);
    EXPECT_NEAR(Measure(both).presenceShare, 0.5, 0.05);
}

TEST(SongCheck, MeasuresWidthLevelSpreadSilencesAndTheEnd) {
    EXPECT_LT(Measure(Sine(440, 2, 0.5, 0.5)).sideToMidDb, -100);
    EXPECT_NEAR(Measure(Sine(440, 2, 0.5, 0)).sideToMidDb, 0, 0.01);
    EXPECT_NEAR(Measure(Sine(440, 2, 0.5, -0.25)).sideToMidDb, 20 * std::log10(3.0), 0.01);

    // Half the song 12 dB under the other half.
    const auto steps = Measure(Sine(440, 15, 0.8, 0.8) + Sine(440, 15, 0.2, 0.2));
    EXPECT_NEAR(steps.spreadDb, 20 * std::log10(4.0), 0.2);
    EXPECT_NEAR(Measure(Sine(440, 30, 0.5, 0.5)).spreadDb, 0, 0.01);

    // A second of silence inside; a closing silence is not counted there.
    const auto gap = Measure(Sine(440, 3, 0.5, 0.5) + Sine(440, 1, 0, 0) + Sine(440, 3, 0.5, 0.5) +
                             Sine(440, 1.5, 0, 0));
    EXPECT_NEAR(gap.longestSilence, 1.0, 0.01);
    EXPECT_LT(gap.endDb, -100);
    // A tone that stops dead is as loud at its end as all through.
    EXPECT_NEAR(Measure(Sine(440, 3, 0.5, 0.5)).endDb, 0, 0.5);
    EXPECT_NEAR(Measure(Sine(440, 3, 0.5, 0.5)).peakDb, 20 * std::log10(0.5), 0.01);
}

// Balance, brightness, onsets and reprises, on signals whose figures are
// known: a tone 2 dB louder on the left; a sine's centroid is its
// frequency; a click every quarter second is four onsets a second; noise
// notes whose last third repeats its first (order by order) are a third
// reprise, and fresh notes throughout are none.
TEST(SongCheck, HearsBalanceBrightnessOnsetsAndReprises) {
    const double left = 0.5 * std::pow(10.0, 2 / 20.0);
    EXPECT_NEAR(Measure(Sine(1000, 4, left, 0.5)).balanceDb, 2, 0.05);
    auto low = Sine(100, 4, left, 0.5), even = Sine(1000, 4, 0.3, 0.3);
    for (std::size_t i = 0; i < low.size(); ++i)
        low[i] += even[i];
    EXPECT_NEAR(Measure(low).balanceDb, 0, 0.05) << "the bass is below the band";
    EXPECT_NEAR(Measure(Sine(2000, 4, 0.5, 0.5)).centroidHz, 2000, 30);
    EXPECT_NEAR(Measure(Sine(300, 4, 0.5, 0.5)).midShare, 0, 0.01);
    EXPECT_NEAR(Measure(Sine(1000, 4, 0.5, 0.5)).midShare, 1, 0.01);

    std::vector<float> clicks(static_cast<std::size_t>(2 * 20 * Rate), 0.f);
    for (std::size_t at = 0; at + 200 < clicks.size() / 2; at += Rate / 4)
        for (std::size_t i = 0; i < 200; ++i)
            clicks[2 * (at + i)] = clicks[2 * (at + i) + 1] = 0.5f * std::exp(-float(i) / 40);
    EXPECT_NEAR(Measure(clicks).onsetsPerSecond, 4, 0.2);
}

// Four bars: the drums play one bar three times and another once, the
// lead two rhythms; a break in the second pattern ends the song after its
// third row, in the fifth bar.
TEST(SongCheck, FindsTheMainDrumBarAndTheLeadRhythms) {
    modwriter::Song s;
    s.channels = 4;
    for (const char* name : {"lead", "kick", "hat"}) {
        modwriter::Instrument ins;
        ins.name = name;
        ins.sample.data.assign(64, 40);
        ins.sample.loopLength = name[0] == 'l' ? 64 : 0;
        s.instruments.push_back(ins);
    }
    s.patterns.assign(2, modwriter::Pattern(64, 4));
    s.orders = {0, 1};
    auto& p = s.patterns[0];
    for (int bar = 0; bar < 4; ++bar) {
        const int r = bar * 16;
        p.at(r + (bar == 2 ? 4 : 0), 2) = {modwriter::NoteC5, 2};
        p.at(r + 8, 3) = {modwriter::NoteC5, 3};
        p.at(r, 1) = {modwriter::NoteC5, 1};
        p.at(r + (bar == 3 ? 6 : 4), 1) = {modwriter::NoteC5, 1};
    }
    s.patterns[1].at(2, 0) = {modwriter::NoNote, 0, -1, modwriter::Effect::PatternBreak, 0};
    s.patterns[1].at(0, 2) = {modwriter::NoteC5, 2};
    for (auto format : {modwriter::Format::Mod, modwriter::Format::Xm, modwriter::Format::It}) {
        const std::string path = testing::TempDir() + "/bars";
        ASSERT_EQ(modwriter::WriteFile(s, format, path), "");
        const auto f = songcheck::Analyse(path, 1, {.render = false});
        ASSERT_EQ(f.error, "");
        EXPECT_EQ(f.bars, 5);
        EXPECT_EQ(f.mainDrumBar, "0 kick; 8 hat; ");
        EXPECT_DOUBLE_EQ(f.mainDrumShare, 3 / 5.0);
        EXPECT_EQ(f.leadRhythms, 2);
        EXPECT_EQ(f.repriseShare, 0);
    }
    // Played again through the order list: the second half of the song is
    // a reprise.
    s.patterns[1] = modwriter::Pattern(64, 4);
    s.patterns[1].at(0, 2) = {modwriter::NoteC5, 2};
    s.orders = {0, 1, 0, 1};
    const std::string path = testing::TempDir() + "/again.xm";
    ASSERT_EQ(modwriter::WriteFile(s, modwriter::Format::Xm, path), "");
    EXPECT_NEAR(songcheck::Analyse(path, 1, {.render = false}).repriseShare, 0.5, 0.01);
}

// Bars of twelve rows under a bass on the one: a waltz (the kick on one,
// the snare on two and three, hats on the off-beats between them) and a
// six-eight (the snare on its second beat of six rows, hats on every
// eighth); each is read in its own metre and its tempo counted in its own
// beats.
TEST(SongCheck, ReadsWaltzesAndSixEight) {
    for (const bool six : {false, true}) {
        SCOPED_TRACE(six ? "6/8" : "3/4");
        modwriter::Song s;
        s.channels = 5;
        for (const char* name : {"lead", "kick", "snare", "hat", "bass"}) {
            modwriter::Instrument ins;
            ins.name = name;
            ins.sample.data.assign(64, 40);
            s.instruments.push_back(ins);
        }
        s.patterns.assign(1, modwriter::Pattern(48, 5));
        s.orders = {0, 0, 0};
        auto& p = s.patterns[0];
        for (int r = 0; r < 48; r += 12) {
            p.at(r, 1) = {modwriter::NoteC5, 2};
            p.at(r, 4) = {modwriter::NoteC5, 5};
            for (int at : six ? std::vector<int>{6} : std::vector<int>{4, 8})
                p.at(r + at, 2) = {modwriter::NoteC5, 3};
            for (int at = six ? 0 : 2; at < 12; at += six ? 2 : 4)
                p.at(r + at, 3) = {modwriter::NoteC5, 4};
            for (int at : six ? std::vector<int>{0, 4, 6, 10} : std::vector<int>{0, 4, 8})
                p.at(r + at, 0) = {modwriter::NoteC5, 1};
        }
        const std::string path = testing::TempDir() + "/three.xm";
        ASSERT_EQ(modwriter::WriteFile(s, modwriter::Format::Xm, path), "");
        const auto f = songcheck::Analyse(path, 0, {.render = false});
        ASSERT_EQ(f.error, "");
        EXPECT_EQ(f.metre, six ? "6/8" : "3/4");
        EXPECT_EQ(f.barRows, 12);
        EXPECT_EQ(f.beatRows, six ? 6 : 4);
        EXPECT_EQ(f.bars, 12);
        EXPECT_NEAR(f.bpm, six ? 125 * 4 / 6.0 : 125, 0.5);
        EXPECT_EQ(f.mainDrumBar,
                  six ? "0 kick; 0 hat; 2 hat; 4 hat; 6 snare; 6 hat; 8 hat; 10 hat; "
                      : "0 kick; 2 hat; 4 snare; 6 hat; 8 snare; 10 hat; ");
    }
}

} // namespace
