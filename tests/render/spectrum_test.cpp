// The spectrum, the scopes, the pulse and the bezel copy: pixel work on the
// frame buffer.

#include "frame_fixture.h"

#include "../playback/fake_bass.h"
#include "render/frame.h"
#include "render/spectrum.h"
#include "skin/skin_images.h"

#include <cstring>

namespace render_test {
namespace {

constexpr Bgra Dark = {0, 0, 0, 200};

TEST(Brighten, ApproachesWhiteAndStopsAt254) {
    EXPECT_EQ(Brighten(255), 254);
    EXPECT_EQ(Brighten(254), 254);
    EXPECT_EQ(Brighten(0), 178);
    std::uint8_t v = 1;
    for (int i = 0; i < 40; ++i)
        v = Brighten(v);
    EXPECT_EQ(v, 254);
}

class SpectrumTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        FillFrameBuffer(Dark);
    }
};

// How many times the cell at screen (x, y) was brightened from black.
int Lit(int x, int y) {
    std::uint8_t v = 0;
    for (int times = 0; times < 60; ++times, v = Brighten(v))
        if (FrameBufferAt(x, y).r == v) return times;
    return -1;
}

TEST_F(SpectrumTest, BarsRiseOnEveryOtherRowAndTheTallestLightsRowFiftyAgain) {
    for (float& bin : SpectrumInput)
        bin = 1000.0f;
    SpectrumInput[31] = 0.0625f; // column 30: sqrt(1) x 0.25 x 140 - 4 = 31.0, an odd whole number
    DrawSpectrum();
    for (int y = 40; y < 130; ++y) {
        EXPECT_EQ(Lit(93, y), 0) << "column 0 is never lit, row " << y;
        EXPECT_EQ(Lit(281, y), 0) << "right of the last column, row " << y;
        const bool cell = y <= 120 && y >= 50 && (120 - y) % 2 == 0;
        // 68 cells: 35 rows once, the 36th and every later one on row 50.
        if (y != 50) {
            EXPECT_EQ(Lit(280, y), cell ? 1 : 0) << "last column, row " << y;
        }
        // 31.0 gives 30 cells, rows 120 to 62.
        EXPECT_EQ(Lit(123, y), cell && y >= 62 ? 1 : 0) << "column 30, row " << y;
    }
    EXPECT_EQ(FrameBufferAt(280, 50), (Bgra{254, 254, 254, Dark.a}))
        << "brightened over and over, alpha untouched";
}

TEST_F(SpectrumTest, ScopesPlotTwoFramesAColumnBetweenRows65And115) {
    DrawScopes(); // silence
    for (int x = 0; x < FrameWidth; ++x) {
        const bool scope = (x >= 28 && x <= 84) || (x >= 289 && x <= 345);
        EXPECT_EQ(FrameBufferAt(x, 89), scope ? (Bgra{0x88, 0x7C, 0x6D, Dark.a}) : Dark) << x;
    }
    FillFrameBuffer(Dark);
    // Left at its extremes in the first frame of each pair, right in the second.
    for (int i = 0; i < 114; ++i) {
        SampleInput[2 * i] = i % 2 == 0 ? 32767 : 0;
        SampleInput[2 * i + 1] = i % 2 == 0 ? 0 : -32768;
    }
    DrawScopes();
    for (int x = 28; x <= 84; ++x) {
        EXPECT_NE(FrameBufferAt(x, 65), Dark) << x;
        EXPECT_NE(FrameBufferAt(x + 261, 115), Dark) << x + 261;
        EXPECT_NE(FrameBufferAt(x, 89), Dark) << "the second frame of the pair is silent";
    }
    EXPECT_EQ(FrameBufferAt(28, 64), Dark);
    EXPECT_EQ(FrameBufferAt(289, 116), Dark);
}

TEST_F(SpectrumTest, PulseAndDataComeOnlyWhileTheSongPlays) {
    std::vector<float> spectrum(512, 0.0f);
    spectrum[1] = 1.0f;
    spectrum[5] = 0.5f;
    const DWORD channel = PlayingChannel(spectrum);
    auto& fake = fake_bass::ChannelOf(channel);
    fake.samples[0] = 1234;
    AnalyseAudio();
    EXPECT_EQ(PulseLevel, 382); // 1.5 x 255 = 382.5
    EXPECT_EQ(SampleInput[0], 1234);

    // A short sample delivery clears the samples; the spectrum stays as fetched.
    fake.sampleBytes = 1024;
    AnalyseAudio();
    EXPECT_EQ(SampleInput[0], 0);

    // Paused: no requests, no pulse, and the last data stays for drawing.
    fake.sampleBytes = 2048;
    AnalyseAudio();
    fake.active = BASS_ACTIVE_PAUSED;
    fake_bass::bass.log.clear();
    AnalyseAudio();
    EXPECT_EQ(PulseLevel, 0);
    EXPECT_EQ(SampleInput[0], 1234);
    EXPECT_EQ(SpectrumInput[1], 1.0f);
    EXPECT_TRUE(fake_bass::CallsStartingWith("ChannelGetData").empty());
}

// The bezel puts back the background's pixels around the display window,
// colour only, and leaves the window itself as drawn but for its rounded
// corners.
TEST_F(SpectrumTest, BezelRestoresTheFrameAroundTheDisplayWindow) {
    CopyBezel();
    const Picture background = Background();
    int cornerPixels = 0;
    for (int y = 0; y < FrameHeight; ++y)
        for (int x = 0; x < FrameWidth; ++x) {
            const bool bezel = x >= 86 && x <= 283 && y >= 41 && y <= 127;
            const bool window = x >= 93 && x <= 278 && y >= 47 && y <= 121;
            const bool corner = window && (x < 97 || x > 274) && (y < 51 || y > 117);
            const Bgra b = background.At(x, y), restored = {b.b, b.g, b.r, Dark.a};
            const Bgra got = FrameBufferAt(x, y);
            if (corner && got == restored) ++cornerPixels;
            if (corner) continue;
            ASSERT_EQ(got, bezel && !window ? restored : Dark) << x << ", " << y;
        }
    EXPECT_GT(cornerPixels, 0) << "the window's corners are rounded by the bezel";
}

} // namespace
} // namespace render_test
