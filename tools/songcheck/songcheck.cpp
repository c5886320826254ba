#include "songcheck.h"

#include <libopenmpt/libopenmpt.hpp>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace songcheck {
namespace {

constexpr int Rate = 44100;
constexpr float SilenceLevel = 0.001f; // -60 dBFS

double Db(double v) {
    return v > 0 ? 20 * std::log10(v) : -200;
}

} // namespace

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool XmpInfo(const std::vector<std::uint8_t>& bytes, double* seconds, int* channels) {
    xmp_context ctx = xmp_create_context();
    const int rc = xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size()));
    if (rc != 0) {
        xmp_free_context(ctx);
        return false;
    }
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    *channels = info.mod->chn;
    *seconds = info.seq_data[0].duration / 1000.0;
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return true;
}

std::vector<float> Render(const std::vector<std::uint8_t>& bytes) {
    std::ostringstream log;
    openmpt::module mod(bytes, log);
    mod.ctl_set_text("play.at_end", "stop");
    std::vector<float> out;
    std::vector<float> block(2 * 4096);
    for (;;) {
        const std::size_t n = mod.read_interleaved_stereo(Rate, 4096, block.data());
        if (n == 0) break;
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * n));
    }
    return out;
}

Figures Analyse(const std::string& path, int leadChannel, bool render) {
    Figures f;
    const auto bytes = ReadFile(path);
    if (bytes.empty()) {
        f.error = "cannot read " + path;
        return f;
    }
    if (!XmpInfo(bytes, &f.xmpSeconds, &f.xmpChannels)) {
        f.error = "libxmp cannot load " + path;
        return f;
    }
    try {
        std::ostringstream log;
        openmpt::module mod(bytes, log);
        f.format = mod.get_metadata("type");
        f.channels = mod.get_num_channels();
        f.orders = mod.get_num_orders();
        f.seconds = mod.get_duration_seconds();
        if (f.orders > 1) f.bpm = 16 * 60 / mod.set_position_order_row(1, 0);
        // The lead's notes in play order, from its first note on.
        for (int o = 0; o < f.orders && f.lead.size() < 32; ++o) {
            const int pat = mod.get_order_pattern(o);
            for (int r = 0; r < mod.get_pattern_num_rows(pat) && f.lead.size() < 32; ++r) {
                const int note = mod.get_pattern_row_channel_command(pat, r, leadChannel,
                                                                     openmpt::module::command_note);
                if (!f.lead.empty() || (note >= 1 && note <= 120)) f.lead.push_back(note);
            }
        }
    } catch (const std::exception& e) {
        f.error = "libopenmpt cannot load " + path + ": " + e.what();
        return f;
    }
    if (!render) return f;
    const std::vector<float> frames = Render(bytes);
    f.renderedSeconds = frames.size() / 2.0 / Rate;
    double sum = 0, peak = 0;
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        const float l = std::fabs(frames[i]), r = std::fabs(frames[i + 1]);
        peak = std::max(peak, double(std::max(l, r)));
        sum += double(frames[i]) * frames[i] + double(frames[i + 1]) * frames[i + 1];
        if (std::max(l, r) < SilenceLevel) {
            ++run;
        } else {
            longest = std::max(longest, run);
            run = 0;
        }
    }
    // The run still open at the end is the song's closing silence.
    f.longestSilence = double(longest) / Rate;
    f.peakDb = Db(peak);
    f.rmsDb = Db(std::sqrt(sum / std::max<std::size_t>(1, frames.size())));
    return f;
}

bool WriteWav(const std::string& path, const std::vector<float>& frames) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(frames.size() * 2);
    out.write("RIFF", 4), u32(36 + bytes), out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(Rate), u32(Rate * 4), u16(4), u16(16);
    out.write("data", 4), u32(bytes);
    for (float v : frames)
        u16(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::lround(std::clamp(v, -1.f, 1.f) * 32767))));
    return static_cast<bool>(out);
}

} // namespace songcheck
