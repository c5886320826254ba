#include "test_modules.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include <libopenmpt/libopenmpt.hpp>
#include <sndfile.h>
#include <unistd.h>

#include <map>
#include <sstream>

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

std::vector<std::uint8_t> ToneMod(int rows, int speed, int channels_on, int times) {
    modwriter::Song song = ToneSong(4, rows, speed, channels_on);
    song.orders.assign(static_cast<std::size_t>(times), 0);
    return Encode(song, modwriter::Format::Mod);
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

std::vector<std::uint8_t> ChannelVolumeIt() {
    // 128 rows at speed 3: 7.68 s; every channel holds its tone throughout.
    modwriter::Song song = ToneSong(4, 64, 3, 4);
    song.patterns.emplace_back(64, 4);
    song.orders = {0, 1};
    auto volume = [&](int row, int channel, int level) {
        auto& cell = song.patterns[static_cast<std::size_t>(row / 64)].at(row % 64, channel);
        cell.effect = modwriter::Effect::ChannelVolume;
        cell.param = static_cast<std::uint8_t>(level);
    };
    for (int c = 0; c < 4; ++c)
        volume(0, c, 32); // the song starts them at half
    volume(16, 0, 64), volume(16, 1, 16);
    volume(32, 2, 0); // silenced by the song itself
    volume(48, 0, 64), volume(48, 1, 64), volume(48, 3, 64);
    volume(72, 3, 8);
    volume(104, 1, 40), volume(104, 2, 0);
    return Encode(song, modwriter::Format::It);
}

namespace {

// The IT file of `song` with the orders at `markers` made end markers (255).
// The order list follows the 192-byte header: an end marker there ends one
// subsong, and libopenmpt finds the next one after it.
std::vector<std::uint8_t> EncodeItWithEndMarkers(const modwriter::Song& song,
                                                 const std::vector<std::size_t>& markers) {
    auto bytes = Encode(song, modwriter::Format::It);
    for (std::size_t at : markers)
        bytes[0xC0 + at] = 255;
    return bytes;
}

} // namespace

std::vector<std::uint8_t> ThreeSubsongIt() {
    struct Part {
        int patterns, speed, tempo; // 0.08, 0.1 and 0.075 s a row
    };
    constexpr Part kParts[] = {{4, 4, 125}, {3, 6, 150}, {4, 3, 100}};
    modwriter::Song song = ToneSong(4, 64, 4, 0);
    song.patterns.clear();
    song.orders.clear();
    std::uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
    std::vector<std::size_t> markers;
    for (const Part& part : kParts) {
        if (!song.orders.empty()) {
            markers.push_back(song.orders.size());
            song.orders.push_back(0); // becomes the end marker
        }
        for (int p = 0; p < part.patterns; ++p) {
            modwriter::Pattern pattern(64, 4);
            for (int row = 0; row < 64; ++row)
                for (int c = 0; c < 2; ++c) {
                    // Two tones an octave apart, each at its own loudness a row.
                    pattern.at(row, c) = {static_cast<std::uint8_t>(modwriter::NoteC5 + 12 * c), 1,
                                          static_cast<std::int8_t>(4 + next() % 61)};
                }
            if (p == 0) {
                // A subsong starts at the header's speed and tempo: set its own.
                pattern.at(0, 2) = {modwriter::NoNote, 0, -1, modwriter::Effect::SetSpeed,
                                    static_cast<std::uint8_t>(part.speed)};
                pattern.at(0, 3) = {modwriter::NoNote, 0, -1, modwriter::Effect::SetTempo,
                                    static_cast<std::uint8_t>(part.tempo)};
            }
            song.orders.push_back(static_cast<int>(song.patterns.size()));
            song.patterns.push_back(std::move(pattern));
        }
    }
    return EncodeItWithEndMarkers(song, markers);
}

std::vector<std::uint8_t> ManySubsongIt(int subsongs) {
    modwriter::Song song = ToneSong(4, 32, 1, 4);
    song.orders.clear();
    std::vector<std::size_t> markers;
    for (int k = 0; k < subsongs; ++k) {
        if (k > 0) {
            markers.push_back(song.orders.size());
            song.orders.push_back(0); // becomes the end marker
        }
        song.orders.push_back(0);
    }
    return EncodeItWithEndMarkers(song, markers);
}

std::vector<std::uint8_t> LongIt(int orders) {
    modwriter::Song song = ToneSong(4, 200, 31, 4);
    song.tempo = 32;
    song.patterns[0] = modwriter::Pattern(200, 4);
    song.patterns[0].at(0, 0) = {modwriter::NoteC5, 1};
    song.orders.assign(static_cast<std::size_t>(orders), 0);
    return Encode(song, modwriter::Format::It);
}

std::vector<std::uint8_t> HeldEffectsXm() {
    // 128 rows at speed 6: 15.36 s; each channel's note held for 32 rows.
    modwriter::Song song = ToneSong(4, 64, 6, 0);
    song.patterns.emplace_back(64, 4);
    song.orders = {0, 1};
    for (int p = 0; p < 2; ++p)
        for (int row = 0; row < 64; ++row) {
            const bool held = row % 32 != 0;
            for (int c = 0; c < 4; ++c) {
                auto& cell = song.patterns[static_cast<std::size_t>(p)].at(row, c);
                if (!held) cell = {static_cast<std::uint8_t>(48 + 5 * c + 7 * p + row / 16), 1};
                using modwriter::Effect;
                if (c == 1) {
                    cell.effect = Effect::Arpeggio;
                    cell.param = 0x47;
                } else if (c == 2 && held) {
                    cell.effect = row % 32 < 16 ? Effect::PortaUp : Effect::PortaDown;
                    cell.param = 3;
                } else if (c == 3 && held) {
                    cell.effect = Effect::Vibrato;
                    cell.param = 0x46;
                }
            }
        }
    return Encode(song, modwriter::Format::Xm);
}

std::vector<std::int16_t> RenderContinuously(const std::vector<std::uint8_t>& module) {
    std::ostringstream log;
    const std::map<std::string, std::string> controls{
        {"seek.sync_samples", "1"}, {"play.at_end", "stop"}, {"dither", "0"}};
    openmpt::module probe(module, log, controls);
    std::vector<std::int16_t> pcm;
    for (int subsong = 0; subsong < probe.get_num_subsongs(); ++subsong) {
        openmpt::module m(module, log, controls);
        m.select_subsong(subsong);
        const auto frames =
            static_cast<std::size_t>(std::llround(m.get_duration_seconds() * 44100));
        const std::size_t at = pcm.size();
        pcm.resize(at + frames * 2);
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = m.read_interleaved_stereo(
                44100, std::min<std::size_t>(1024, frames - done), pcm.data() + at + done * 2);
            if (n == 0) break;
            done += n;
        }
    }
    return pcm;
}

double RmsDb(const std::vector<std::int16_t>& pcm, std::size_t from, std::size_t frames) {
    double sum = 0;
    const std::size_t end = std::min(pcm.size(), (from + frames) * 2);
    for (std::size_t i = from * 2; i < end; ++i)
        sum += double(pcm[i]) * pcm[i];
    const double mean = end > from * 2 ? sum / double(end - from * 2) : 0.0;
    return 10.0 * std::log10(std::max(mean, 1e-3) / (32768.0 * 32768.0));
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
