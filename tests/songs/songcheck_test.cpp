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
    }
}

} // namespace
