#include "frame_fixture.h"

#include "../playback/fake_bass.h"
#include "app/shell.h"
#include "input/controls.h"
#include "input/glow.h"
#include "input/pointer.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "playback/song_table.h"
#include "render/frame.h"
#include "render/marquee.h"
#include "render/spectrum.h"
#include "skin/skin_images.h"
#include "skin/skin_surfaces.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace render_test {

Picture PaintedFrame() {
    PaintFrame();
    Picture frame{FrameWidth, FrameHeight, std::vector<Bgra>(FrameWidth * FrameHeight)};
    BITMAPINFO topDown = FrameBufferInfo;
    topDown.bmiHeader.biHeight = -FrameHeight;
    GetDIBits(FrameCanvas.context, FrameCanvas.bitmap, 0, FrameHeight, frame.pixels.data(),
              &topDown, DIB_RGB_COLORS);
    return frame;
}

Picture Background() {
    Picture picture{FrameWidth, FrameHeight, std::vector<Bgra>(FrameWidth * FrameHeight)};
    std::memcpy(picture.pixels.data(), SkinImagePixels(BackgroundImage),
                FrameWidth * FrameHeight * 4);
    return picture;
}

Bgra FrameBufferAt(int x, int y) {
    const std::uint8_t* p = FramePixel(MemoryRow(y), x);
    return Bgra{p[0], p[1], p[2], p[3]};
}

void FillFrameBuffer(Bgra value) {
    for (int row = 0; row < FrameHeight; ++row)
        for (int x = 0; x < FrameWidth; ++x)
            std::memcpy(FramePixel(row, x), &value, 4);
}

namespace {

constexpr int TgaHeaderSize = 18;
constexpr std::uint8_t TopLeftWithAlpha = 0x28;

} // namespace

Picture ReadTga(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < TgaHeaderSize || bytes[2] != 2 || bytes[16] != 32) return {};
    const int width = bytes[12] | bytes[13] << 8, height = bytes[14] | bytes[15] << 8;
    const std::size_t size = static_cast<std::size_t>(width) * height * 4;
    if (bytes.size() != TgaHeaderSize + size || bytes[17] != TopLeftWithAlpha) return {};
    Picture picture{width, height, std::vector<Bgra>(static_cast<std::size_t>(width) * height)};
    std::memcpy(picture.pixels.data(), bytes.data() + TgaHeaderSize, size);
    return picture;
}

bool WriteTga(const std::string& path, const Picture& picture) {
    std::uint8_t header[TgaHeaderSize] = {};
    header[2] = 2; // uncompressed true colour
    header[12] = static_cast<std::uint8_t>(picture.width);
    header[13] = static_cast<std::uint8_t>(picture.width >> 8);
    header[14] = static_cast<std::uint8_t>(picture.height);
    header[15] = static_cast<std::uint8_t>(picture.height >> 8);
    header[16] = 32;
    header[17] = TopLeftWithAlpha;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), TgaHeaderSize);
    out.write(reinterpret_cast<const char*>(picture.pixels.data()),
              static_cast<std::streamsize>(picture.pixels.size() * 4));
    return static_cast<bool>(out);
}

void FrameTest::SetUpTestSuite() {
    static bool made = false;
    if (!made) CreateSkinSurfaces();
    made = true;
}

void FrameTest::SetUp() {
    OpenFrameCanvas();
    ASSERT_NE(FrameBuffer, nullptr);
    fake_bass::Reset();
    Player = PlayerState{0, 0, NoVolume, 0};
    for (GlowLevel& glow : ButtonGlow)
        glow = GlowLevel{0, 0};
    for (GlowLevel& glow : RowGlow)
        glow = GlowLevel{0, 0};
    PointerState = PointerRecord{};
    ListOffset = 0;
    ScrollRepeat = 0;
    VolumeSlider.knobX = KnobRightEnd;
    MarqueeIndex = 1;
    MarqueeOffset = 0.0f;
    PulseLevel = 0;
    std::memset(SpectrumInput, 0, sizeof SpectrumInput);
    std::memset(SampleInput, 0, sizeof SampleInput);
    // The caption the frame's positions were worked out with; desktops
    // differ in theirs.
    CaptionHeight = 23;
}

void FrameTest::TearDown() {
    CloseFrameCanvas();
}

DWORD FrameTest::PlayingChannel(const std::vector<float>& spectrum) {
    fake_bass::bass.files[SongTable.entries[Player.currentSong].path] = fake_bass::Opens::AsModule;
    PlaySong(Player.currentSong);
    if (!spectrum.empty()) {
        std::vector<float>& bins = fake_bass::ChannelOf(Player.channel).spectrum;
        std::copy(spectrum.begin(), spectrum.end(), bins.begin());
    }
    return Player.channel;
}

} // namespace render_test
