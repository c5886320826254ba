#include "test_modules.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include <sndfile.h>
#include <unistd.h>

namespace audiotest {
namespace {

// One period of a sine, 32 frames, looped: a steady tone at c5Rate / 32 Hz.
modwriter::Instrument ToneInstrument() {
    modwriter::Instrument instrument;
    instrument.name = "tone";
    for (int i = 0; i < 32; ++i)
        instrument.sample.data.push_back(
            static_cast<std::int16_t>(std::lround(100 * std::sin(2 * std::numbers::pi * i / 32))));
    instrument.sample.loopLength = 32;
    instrument.sample.c5Rate = 8363;
    return instrument;
}

modwriter::Song ToneSong(int channels, int rows, int speed, int channels_on) {
    modwriter::Song song;
    song.channels = channels;
    song.speed = speed;
    song.instruments.push_back(ToneInstrument());
    song.patterns.emplace_back(64, channels);
    for (int c = 0; c < channels_on; ++c)
        song.patterns[0].at(0, c) = {modwriter::NoteC5, 1};
    if (rows < 64) song.patterns[0].at(rows - 1, 0).effect = modwriter::Effect::PatternBreak;
    song.orders = {0};
    return song;
}

std::vector<std::uint8_t> Encode(const modwriter::Song& song, modwriter::Format format) {
    std::string error;
    auto bytes = modwriter::Encode(song, format, &error);
    if (!bytes) throw std::runtime_error("test module refused: " + error);
    return *bytes;
}

} // namespace

std::vector<std::uint8_t> ToneMod(int rows, int speed, int channels_on) {
    return Encode(ToneSong(4, rows, speed, channels_on), modwriter::Format::Mod);
}

std::vector<std::uint8_t> ToneModule(modwriter::Format format, int channels, int rows, int speed) {
    return Encode(ToneSong(channels, rows, speed, channels), format);
}

std::vector<std::uint8_t> TwoSubsongMod() {
    // Pattern 0: 16 rows; pattern 1: 32 rows, both at speed 3.
    modwriter::Song song = ToneSong(4, 16, 3, 4);
    song.patterns.emplace_back(64, 4);
    for (int c = 0; c < 4; ++c)
        song.patterns[1].at(0, c) = {modwriter::NoteC5, 1};
    // A subsong starts at the default speed: set it again.
    song.patterns[1].at(0, 1).effect = modwriter::Effect::SetSpeed;
    song.patterns[1].at(0, 1).param = 3;
    song.patterns[1].at(31, 0).effect = modwriter::Effect::PatternBreak;
    song.orders = {0, 1};
    auto bytes = Encode(song, modwriter::Format::Mod);
    // Row 15 of pattern 0 jumps back to order 0 (effect B00), an effect the
    // writer does not offer: order 1 is then reached only as a second subsong.
    constexpr std::size_t kPatterns = 20 + 31 * 30 + 2 + 128 + 4;
    std::uint8_t* cell = &bytes[kPatterns + (15 * 4 + 0) * 4];
    cell[2] = static_cast<std::uint8_t>((cell[2] & 0xF0) | 0x0B);
    cell[3] = 0;
    return bytes;
}

std::vector<std::uint8_t> NothingToPlayMod() {
    auto bytes = ToneMod(50, 3);
    bytes[20 + 31 * 30 + 2] = 0xFE; // order 0: "skip"
    return bytes;
}

bool WriteSine(const std::filesystem::path& path, int format, double hz, double amplitude,
               double seconds, int rate) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> pcm(frames * 2);
    for (std::size_t n = 0; n < frames; ++n) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * double(n) / rate);
        pcm[n * 2] = pcm[n * 2 + 1] = static_cast<float>(v);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const sf_count_t written = sf_writef_float(file, pcm.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    return written == static_cast<sf_count_t>(frames);
}

namespace {

// This process's scratch files, removed when it ends.
struct ScratchRoot {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tonebox-audio-" + std::to_string(::getpid()));
    ~ScratchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::filesystem::path ScratchDir(const std::string& name) {
    static ScratchRoot root;
    auto dir = root.path / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace audiotest
