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

} // namespace

std::vector<std::uint8_t> ToneMod(int rows, int speed, int channels_on) {
    constexpr std::size_t kHeader = 20 + 31 * 30 + 2 + 128 + 4;
    constexpr std::size_t kPattern = 64 * 4 * 4;
    constexpr unsigned kSampleWords = 16; // 32 bytes: one period of a sine
    std::vector<std::uint8_t> mod(kHeader + kPattern + kSampleWords * 2, 0);

    const std::size_t sample = 20; // the first of 31 sample headers
    Put16BE(mod, sample + 22, kSampleWords);
    mod[sample + 25] = 64;                   // volume
    Put16BE(mod, sample + 26, 0);            // loop start
    Put16BE(mod, sample + 28, kSampleWords); // loop length
    const std::size_t orders = 20 + 31 * 30;
    mod[orders] = 1; // one position
    mod[orders + 1] = 127;
    mod[orders + 2 + 128] = 'M';
    mod[orders + 2 + 129] = '.';
    mod[orders + 2 + 130] = 'K';
    mod[orders + 2 + 131] = '.';

    auto cell = [&](int row, int channel) { return &mod[kHeader + (row * 4 + channel) * 4]; };
    constexpr unsigned kPeriod = 428; // C-3: the sample at 8363 Hz
    for (int c = 0; c < channels_on; ++c) {
        std::uint8_t* p = cell(0, c);
        p[0] = static_cast<std::uint8_t>(kPeriod >> 8); // sample 1: high nibble 0
        p[1] = static_cast<std::uint8_t>(kPeriod & 0xFF);
        p[2] = 0x10; // sample 1, no effect
    }
    // Speed on row 0 of the last channel, a break after the last row.
    cell(0, 3)[2] = static_cast<std::uint8_t>(cell(0, 3)[2] | 0x0F);
    cell(0, 3)[3] = static_cast<std::uint8_t>(speed);
    if (rows < 64) {
        cell(rows - 1, 2)[2] = 0x0D;
        cell(rows - 1, 2)[3] = 0;
    }
    for (unsigned i = 0; i < kSampleWords * 2; ++i) {
        const double v = std::sin(2.0 * std::numbers::pi * i / (kSampleWords * 2));
        mod[kHeader + kPattern + i] =
            static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lround(v * 100)));
    }
    return mod;
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
