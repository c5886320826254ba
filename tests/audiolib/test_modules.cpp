#include "test_modules.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

#include <sndfile.h>
#include <unistd.h>

namespace audiotest {
namespace {

void Put16BE(std::vector<std::uint8_t>& out, std::size_t at, unsigned v) {
    out[at] = static_cast<std::uint8_t>(v >> 8);
    out[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
}

// One 64-row pattern of a 4-channel MOD: the tone starts on `channels_on`
// channels at row 0, the speed is set there, and the pattern ends after
// `rows` rows with `end_effect` (a break 0x0D or a jump 0x0B to order 0).
struct TonePattern {
    int rows = 64;
    int speed = 6;
    int channels_on = 4;
    std::uint8_t end_effect = 0x0D;
};

std::vector<std::uint8_t> WriteMod(const std::vector<TonePattern>& patterns) {
    constexpr std::size_t kHeader = 20 + 31 * 30 + 2 + 128 + 4;
    constexpr std::size_t kPattern = 64 * 4 * 4;
    constexpr unsigned kSampleWords = 16; // 32 bytes: one period of a sine
    const std::size_t data = kHeader + kPattern * patterns.size();
    std::vector<std::uint8_t> mod(data + kSampleWords * 2, 0);

    const std::size_t sample = 20; // the first of 31 sample headers
    Put16BE(mod, sample + 22, kSampleWords);
    mod[sample + 25] = 64;                   // volume
    Put16BE(mod, sample + 26, 0);            // loop start
    Put16BE(mod, sample + 28, kSampleWords); // loop length
    const std::size_t orders = 20 + 31 * 30;
    mod[orders] = static_cast<std::uint8_t>(patterns.size());
    mod[orders + 1] = 127;
    for (std::size_t i = 0; i < patterns.size(); ++i)
        mod[orders + 2 + i] = static_cast<std::uint8_t>(i);
    std::copy_n("M.K.", 4, mod.begin() + static_cast<long>(orders + 2 + 128));

    for (std::size_t n = 0; n < patterns.size(); ++n) {
        const TonePattern& pattern = patterns[n];
        auto cell = [&](int row, int channel) {
            return &mod[kHeader + kPattern * n + static_cast<std::size_t>(row * 4 + channel) * 4];
        };
        constexpr unsigned kPeriod = 428; // C-3: the sample at 8363 Hz
        for (int c = 0; c < pattern.channels_on; ++c) {
            std::uint8_t* p = cell(0, c);
            p[0] = static_cast<std::uint8_t>(kPeriod >> 8); // sample 1: high nibble 0
            p[1] = static_cast<std::uint8_t>(kPeriod & 0xFF);
            p[2] = 0x10; // sample 1, no effect
        }
        cell(0, 3)[2] = static_cast<std::uint8_t>(cell(0, 3)[2] | 0x0F);
        cell(0, 3)[3] = static_cast<std::uint8_t>(pattern.speed);
        if (pattern.rows < 64 || pattern.end_effect != 0x0D) {
            cell(pattern.rows - 1, 2)[2] = pattern.end_effect;
            cell(pattern.rows - 1, 2)[3] = 0;
        }
    }
    for (unsigned i = 0; i < kSampleWords * 2; ++i) {
        const double v = std::sin(2.0 * std::numbers::pi * i / (kSampleWords * 2));
        mod[data + i] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lround(v * 100)));
    }
    return mod;
}

} // namespace

std::vector<std::uint8_t> ToneMod(int rows, int speed, int channels_on) {
    return WriteMod({{rows, speed, channels_on, 0x0D}});
}

std::vector<std::uint8_t> TwoSubsongMod() {
    // Order 0 jumps back to itself, so order 1 is never reached from it:
    // a second subsong.
    return WriteMod({{16, 3, 4, 0x0B}, {32, 3, 4, 0x0D}});
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
