// Whole frames: one composed from a fixed state against the reference
// picture, and the layers whose strength wraps.

#include "frame_fixture.h"

#include "../playback/fake_bass.h"
#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "render/marquee.h"
#include "render/spectrum.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace render_test {
namespace {

const std::string ReferencePath = std::string(TONEBOX_REFERENCE_DIR) + "/frame.tga";
const std::string OutputDir = TONEBOX_OUTPUT_DIR;

class Composition : public FrameTest {
  protected:
    void SetFixedState();
};

// A fixed state with something of every kind on screen: glows part lit, the
// knob part way, the list scrolled with the playing song in view and a row
// hovered, the pointer over the list, a spectrum, two waves, the credits
// line part way along and lifted by the pulse.
void Composition::SetFixedState() {
    ButtonGlow[PlayButton].level = 10;
    ButtonGlow[StopButton].level = 4;
    ButtonGlow[CloseButton].level = 7;
    RowGlow[4].level = 10;
    VolumeSlider.knobX = 163;
    ListOffset = 5;
    Player.currentSong = 7;
    PointerState =
        PointerRecord{150, 97 - CaptionHeight, 0, 0, false, false, false, false}; // over row 4
    MarqueeIndex = 60;
    MarqueeOffset = -6.0f;
    std::vector<float> spectrum(512);
    for (int bin = 0; bin < 512; ++bin)
        spectrum[bin] = static_cast<float>(0.02 / (1 + bin * 0.05) * (1.1 + std::sin(bin * 0.11)));
    for (int bin = 1; bin <= 5; ++bin)
        spectrum[bin] = 0.358f; // a pulse of 456: the glow at 200, the line up 3 rows
    const DWORD channel = PlayingChannel(spectrum);
    auto& samples = fake_bass::ChannelOf(channel).samples;
    for (int i = 0; i < 512; ++i) {
        samples[2 * i] = static_cast<std::int16_t>(20000 * std::sin(i * 0.21));
        samples[2 * i + 1] =
            static_cast<std::int16_t>(14000 * std::sin(i * 0.53) + 9000 * std::sin(i * 0.05));
    }
}

TEST_F(Composition, AFixedStateComposesTheReferenceFrame) {
    SetFixedState();
    const Picture frame = PaintedFrame();
    ASSERT_EQ(PulseLevel, 456);

    // The pixel work never touches alpha, and every layer lies on the opaque
    // body: the frame's alpha is the background's.
    const Picture background = Background();
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            ASSERT_EQ(frame.At(x, y).a, background.At(x, y).a) << x << ", " << y;

    const Picture reference = ReadTga(ReferencePath);
    if (reference.pixels.empty()) {
        ASSERT_TRUE(WriteTga(ReferencePath, frame));
        FAIL() << "no reference frame: wrote " << ReferencePath << "; look at it, then commit it";
    }
    ASSERT_EQ(reference.width, frame.width);
    ASSERT_EQ(reference.height, frame.height);
    // Differences are shown white on a dimmed copy of the frame.
    Picture difference = frame;
    int differing = 0, left = frame.width, top = frame.height, right = -1, bottom = -1;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            Bgra& d = difference.pixels[static_cast<std::size_t>(y) * frame.width + x];
            d = Bgra{static_cast<std::uint8_t>(d.b / 4), static_cast<std::uint8_t>(d.g / 4),
                     static_cast<std::uint8_t>(d.r / 4), 255};
            if (frame.At(x, y) == reference.At(x, y)) continue;
            d = Bgra{255, 255, 255, 255};
            ++differing;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    if (differing > 0) {
        WriteTga(OutputDir + "/frame-actual.tga", frame);
        WriteTga(OutputDir + "/frame-difference.tga", difference);
    }
    EXPECT_EQ(differing, 0) << "pixels differ within x " << left << ".." << right << ", y " << top
                            << ".." << bottom << "; see " << OutputDir
                            << "/frame-actual.tga and frame-difference.tga";
}

// The speaker glows take the pulse's low byte: 256 is dark again, 300 as 44.
TEST_F(Composition, SpeakerGlowsTakeTheLowByteOfThePulse) {
    const auto speakersAt = [&](int pulse) {
        std::vector<float> spectrum(512, 0.0f);
        spectrum[1] = static_cast<float>((pulse + 0.5) / 255.0);
        PlayingChannel(spectrum);
        const Picture frame = PaintedFrame();
        EXPECT_EQ(PulseLevel, pulse);
        std::vector<Bgra> speakers;
        for (int y = 156; y < 206; ++y)
            for (int x : {40, 290})
                for (int dx = 0; dx < 50; ++dx)
                    speakers.push_back(frame.At(x + dx, y));
        return speakers;
    };
    const auto dark = speakersAt(0);
    EXPECT_EQ(speakersAt(256), dark);
    EXPECT_NE(speakersAt(44), dark);
    EXPECT_EQ(speakersAt(300), speakersAt(44));
    EXPECT_EQ(speakersAt(511), speakersAt(255));
}

} // namespace
} // namespace render_test
