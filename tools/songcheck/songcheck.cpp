#include "songcheck.h"

#include "listening.h"

#include <libopenmpt/libopenmpt.hpp>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace songcheck {
namespace {

constexpr float SilenceLevel = 0.001f; // -60 dBFS

double Db(double v) {
    return v > 0 ? 20 * std::log10(v) : -200;
}

// One row in play order: its note starts (the channel's instrument, 0
// when none is known) and the lead's cell ('x' a note, 'o' a stop, '.').
struct Row {
    std::vector<int> starts;
    char lead = '.';
};

// The metre from where the notes start. The bar (12 or 16 rows) is the
// length whose first row gathers the most starts against its other beats
// (of four rows); on a bar of any other length the first row comes round
// on every beat in turn, no stronger than the rest. A bar of 12 is in six
// (two beats of six rows) when its middle gathers more starts than the
// beats of a waltz, at four and eight.
void ReadMetre(const std::vector<Row>& rows, Figures* f) {
    auto startsAt = [&](int period, int at) {
        double n = 0;
        for (std::size_t r = static_cast<std::size_t>(at); r < rows.size();
             r += static_cast<std::size_t>(period))
            n += static_cast<double>(rows[r].starts.size());
        return n;
    };
    auto accent = [&](int bar) {
        double beats = 0;
        for (int at = 0; at < bar; at += 4)
            beats += startsAt(bar, at);
        return beats > 0 ? startsAt(bar, 0) * (bar / 4) / beats : 0;
    };
    f->barRows = accent(12) > accent(16) ? 12 : 16;
    f->beatRows = 4;
    f->metre = f->barRows == 16 ? "4/4" : "3/4";
    if (f->barRows == 12 && startsAt(12, 6) > (startsAt(12, 4) + startsAt(12, 8)) / 2)
        f->beatRows = 6, f->metre = "6/8";
}

// The pattern figures: rows in play order up to the break that ends the
// song, its metre, bars of drums and of lead rhythm.
void MeasurePatterns(openmpt::module& mod, int leadChannel, Figures* f) {
    const bool instruments = mod.get_num_instruments() > 0;
    const std::vector<std::string> names =
        instruments ? mod.get_instrument_names() : mod.get_sample_names();
    auto isDrum = [&](int ins) {
        return ins >= 1 && ins <= static_cast<int>(names.size()) &&
               IsDrumName(names[static_cast<std::size_t>(ins - 1)]);
    };
    const std::string breakLetter = f->format == "it" ? "C" : "D";
    const int channels = mod.get_num_channels();
    std::vector<int> instrumentOf(static_cast<std::size_t>(channels), 0);
    std::vector<Row> rows;
    for (int o = 0; o < mod.get_num_orders(); ++o) {
        const int pat = mod.get_order_pattern(o);
        bool broke = false;
        for (int r = 0; r < mod.get_pattern_num_rows(pat) && !broke; ++r) {
            Row& row = rows.emplace_back();
            for (int ch = 0; ch < channels; ++ch) {
                using openmpt::module;
                const int note =
                    mod.get_pattern_row_channel_command(pat, r, ch, module::command_note);
                const int ins =
                    mod.get_pattern_row_channel_command(pat, r, ch, module::command_instrument);
                if (ins) instrumentOf[static_cast<std::size_t>(ch)] = ins;
                if (note >= 1 && note <= 120)
                    row.starts.push_back(instrumentOf[static_cast<std::size_t>(ch)]);
                if (ch == leadChannel)
                    row.lead = note >= 1 && note <= 120 ? 'x' : note > 120 ? 'o' : '.';
                if (mod.format_pattern_row_channel_command(pat, r, ch, module::command_effect) ==
                    breakLetter)
                    broke = true;
            }
        }
    }
    ReadMetre(rows, f);
    std::vector<std::string> drumBars, leadBars;
    for (std::size_t at = 0; at < rows.size(); at += static_cast<std::size_t>(f->barRows)) {
        std::string drums, lead;
        for (std::size_t r = at;
             r < std::min(rows.size(), at + static_cast<std::size_t>(f->barRows)); ++r) {
            for (int ins : rows[r].starts)
                if (isDrum(ins))
                    drums += std::to_string(r - at) + " " +
                             names[static_cast<std::size_t>(ins - 1)] + "; ";
            lead += rows[r].lead;
        }
        drumBars.push_back(drums);
        if (lead.find('x') != std::string::npos) leadBars.push_back(lead);
    }
    f->bars = static_cast<int>(drumBars.size());
    std::map<std::string, int> counts;
    for (const auto& bar : drumBars)
        if (!bar.empty()) ++counts[bar];
    int best = 0;
    for (const auto& bar : drumBars) // the first of equally common bars
        if (!bar.empty() && counts[bar] > best) best = counts[bar], f->mainDrumBar = bar;
    f->mainDrumShare = f->bars ? double(best) / f->bars : 0;
    std::sort(leadBars.begin(), leadBars.end());
    f->leadRhythms =
        static_cast<int>(std::unique(leadBars.begin(), leadBars.end()) - leadBars.begin());
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double at = p * static_cast<double>(v.size() - 1);
    const auto i = static_cast<std::size_t>(at);
    return i + 1 < v.size() ? v[i] + (at - double(i)) * (v[i + 1] - v[i]) : v[i];
}

} // namespace

bool IsDrumName(const std::string& name) {
    static const char* const drums[] = {"kick",    "snare", "hat", "open hat", "clap",   "tom",
                                        "low tom", "crash", "rim", "shaker",   "cowbell"};
    return std::find(std::begin(drums), std::end(drums), name) != std::end(drums);
}

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

std::vector<float> Render(const std::vector<std::uint8_t>& bytes, const Options& options) {
    std::ostringstream log;
    openmpt::module mod(bytes, log);
    mod.ctl_set_text("play.at_end", "stop");
    mod.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, options.interpolation);
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>((mod.get_duration_seconds() + 1) * options.rate) * 2);
    std::vector<float> block(2 * 4096);
    for (;;) {
        const std::size_t n = mod.read_interleaved_stereo(options.rate, 4096, block.data());
        if (n == 0) break;
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * n));
    }
    return out;
}

void MeasureAudio(const std::vector<float>& frames, int rate, Figures* f) {
    const std::size_t n = frames.size() / 2;
    f->renderedSeconds = double(n) / rate;
    // One pass for the peak, the power, mid and side, the silences and the
    // power of every 3-second stretch.
    const auto stretch = static_cast<std::size_t>(3 * rate);
    std::vector<double> stretches(n / stretch);
    double sum = 0, mid = 0, side = 0;
    float peak = 0;
    std::size_t run = 0, longest = 0;
    for (std::size_t at = 0; at < n; at += stretch) {
        const std::size_t end = std::min(n, at + stretch);
        float power = 0, m = 0, s = 0;
        for (std::size_t i = at; i < end; ++i) {
            const float l = frames[2 * i], r = frames[2 * i + 1];
            const float loudest = std::max(std::fabs(l), std::fabs(r));
            peak = std::max(peak, loudest);
            power += l * l + r * r;
            m += (l + r) * (l + r), s += (l - r) * (l - r);
            if (loudest < SilenceLevel) {
                ++run;
            } else {
                longest = std::max(longest, run);
                run = 0;
            }
        }
        sum += power, mid += m, side += s;
        if (at / stretch < stretches.size()) stretches[at / stretch] = power;
    }
    // The run still open at the end is the song's closing silence.
    f->longestSilence = double(longest) / rate;
    f->peakDb = Db(peak);
    f->rmsDb = Db(std::sqrt(sum / std::max<std::size_t>(1, 2 * n)));
    f->sideToMidDb = mid > 0 && side > 0 ? 10 * std::log10(side / mid) : -200;
    std::vector<double> levels;
    for (double power : stretches)
        levels.push_back(std::max(-120.0, Db(std::sqrt(power / double(2 * stretch)))));
    f->spreadDb = Percentile(levels, 0.9) - Percentile(levels, 0.1);
    const auto tail = std::min(n, static_cast<std::size_t>(rate / 20));
    double last = 0;
    for (std::size_t i = n - tail; i < n; ++i)
        last += frames[2 * i] * frames[2 * i] + frames[2 * i + 1] * frames[2 * i + 1];
    f->endDb = std::max(-120.0, Db(std::sqrt(last / double(std::max<std::size_t>(1, 2 * tail))))) -
               f->rmsDb;

    detail::MeasureSpectra(frames, rate, f);
}

Figures Analyse(const std::string& path, int leadChannel, const Options& options) {
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
        // The lead's notes in play order, from its first note on.
        for (int o = 0; o < f.orders && f.lead.size() < 32; ++o) {
            const int pat = mod.get_order_pattern(o);
            for (int r = 0; r < mod.get_pattern_num_rows(pat) && f.lead.size() < 32; ++r) {
                const int note = mod.get_pattern_row_channel_command(pat, r, leadChannel,
                                                                     openmpt::module::command_note);
                if (!f.lead.empty() || (note >= 1 && note <= 120)) f.lead.push_back(note);
            }
        }
        MeasurePatterns(mod, leadChannel, &f);
        // Beats a minute over the first pattern.
        if (f.orders > 1)
            f.bpm = mod.get_pattern_num_rows(mod.get_order_pattern(0)) / double(f.beatRows) * 60 /
                    mod.set_position_order_row(1, 0);
        // The time of the orders that play a pattern again. (The order
        // list's times are libopenmpt's own reckoning: a render drifts a few
        // milliseconds from them, too far to compare the sound order by order.)
        double again = 0;
        for (int o = 0; o < f.orders; ++o) {
            const int pattern = mod.get_order_pattern(o);
            bool before = false;
            for (int e = 0; e < o && !before; ++e)
                before = mod.get_order_pattern(e) == pattern;
            const double from = mod.set_position_order_row(o, 0);
            const double to = o + 1 < f.orders ? mod.set_position_order_row(o + 1, 0) : f.seconds;
            if (before && to > from) again += to - from;
        }
        f.repriseShare = f.seconds > 0 ? std::min(1.0, again / f.seconds) : 0;
    } catch (const std::exception& e) {
        f.error = "libopenmpt cannot load " + path + ": " + e.what();
        return f;
    }
    if (options.render) MeasureAudio(Render(bytes, options), options.rate, &f);
    return f;
}

bool WriteWav(const std::string& path, const std::vector<float>& frames, int rate) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(frames.size() * 2);
    out.write("RIFF", 4), u32(36 + bytes), out.write("WAVEfmt ", 8);
    u32(16), u16(1), u16(2), u32(static_cast<std::uint32_t>(rate)),
        u32(static_cast<std::uint32_t>(rate * 4)), u16(4), u16(16);
    out.write("data", 4), u32(bytes);
    for (float v : frames)
        u16(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::lround(std::clamp(v, -1.f, 1.f) * 32767))));
    return static_cast<bool>(out);
}

} // namespace songcheck
