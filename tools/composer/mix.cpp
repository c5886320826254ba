// The mix: the loudness of every row, the notes' volumes, an even loudness
// across the playlist, and the patterns cut from the tracks.

#include "parts.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace composer::detail {

// The loudness of every row: each section's level, a build's crescendo,
// and the ending's fade, ring-out or stop.
void Shape(Ctx& c) {
    c.gain.assign(static_cast<std::size_t>(c.totalRows), 1.0);
    for (const Section& s : c.sections)
        for (int row = s.start; row < std::min(s.end(), c.totalRows); ++row) {
            const double t = double(row - s.start) / (s.bars * RowsPerBar);
            double g = s.levelTo < 0 ? s.level : s.level + (s.levelTo - s.level) * t;
            c.gain[static_cast<std::size_t>(row)] = g;
        }
    const Section& outro = c.sections.back();
    const int chord = outro.start + 3 * RowsPerBar;
    for (int row = outro.start; row < c.totalRows; ++row) {
        double& g = c.gain[static_cast<std::size_t>(row)];
        if (c.ending == Ending::Fade) {
            const double t = double(row - outro.start + 1) / (c.totalRows - outro.start);
            g *= std::pow(1 - t, 2.5);
        } else if (c.ending == Ending::Ring && row >= chord) {
            // About 40 dB down two rows before the end, then silence.
            const double t = double(row - chord) / (c.totalRows - 2 - chord);
            g = row >= c.totalRows - 2 ? 0 : std::pow(10.0, -2.0 * t);
        } else if (c.ending == Ending::Cold && row >= chord) {
            const int after = row - chord;
            g = after < 2 ? 1.0 : std::max(0.0, 1.0 - (after - 1) / 4.0);
        }
    }
}

namespace {

// Writes every row's loudness into the notes' volumes: a struck note at
// its volume times the row's, a held note again wherever the level moves.
// MOD keeps its effects, except in the ending, where the volume wins over
// an arpeggio or a vibrato.
void Mix(Ctx& c, const modwriter::Song& song, double scale, double drumScale) {
    const int outroStart = c.sections.back().start;
    for (int ch = 0; ch < Channels; ++ch) {
        if (!HasChannel(c, ch)) continue;
        int base = 0, written = -1;
        bool sounding = false;
        for (int row = 0; row < c.totalRows; ++row) {
            Cell& cell = At(c, ch, row);
            const double g = c.gain[static_cast<std::size_t>(row)];
            bool note = cell.note < 120;
            if (note) {
                const int preset =
                    IsMod(c) ? song.instruments[static_cast<std::size_t>(cell.instrument - 1)]
                                   .sample.volume
                             : 64;
                const double own = IsDrum(cell.instrument) ? scale * drumScale : scale;
                base = cell.volume >= 0 ? static_cast<int>(std::lround(cell.volume * own)) : preset;
                sounding = true;
                written = -1;
            } else if ((IsMod(c) && cell.note == NoteOff) || cell.effect == Effect::NoteCut) {
                // XM and IT notes still sound while they are released.
                sounding = false;
                continue;
            }
            if (!sounding) continue;
            const int want = static_cast<int>(std::lround(base * g));
            if (note && want == 0) {
                // A note faded to nothing is not struck at all.
                cell.note = NoNote;
                cell.instrument = 0;
                cell.volume = -1;
                note = false;
            }
            if (want == written) continue;
            // MOD's first row keeps its cells free for the speed and tempo
            // the writer puts there.
            if (IsMod(c) && row == 0) continue;
            if (IsMod(c)) {
                const int preset =
                    note ? song.instruments[static_cast<std::size_t>(cell.instrument - 1)]
                               .sample.volume
                         : -1;
                if (note && want == preset && cell.volume < 0) {
                    written = want;
                    continue;
                }
                if (cell.effect != Effect::None) {
                    if (IsControl(cell.effect) || row < outroStart) continue;
                    cell.effect = Effect::None; // the ending's volume wins
                    cell.param = 0;
                }
            }
            cell.volume = static_cast<std::int8_t>(std::clamp(want, 0, 64));
            written = want;
        }
    }
}

// MOD notes play at their sample's volume: the song's loudness scales it.
void SetPresets(const Ctx& c, modwriter::Song& song, double scale, double drumScale) {
    if (!IsMod(c)) return;
    for (int i = InsLead; i <= static_cast<int>(song.instruments.size()); ++i) {
        const double own = IsDrum(i) ? scale * drumScale : scale;
        song.instruments[static_cast<std::size_t>(i - 1)].sample.volume =
            std::min(64, static_cast<int>(std::lround(Loudness(c, Level(i)) * own)));
    }
}

// A channel's voice as its cells leave it, row by row: the instrument and
// volume last struck, whether it still sounds (no key off since), the rows
// since the strike, and whether this row struck it.
struct Voice {
    int ins = 0, volume = 0, since = 0;
    bool sounding = false, struck = false;
};

// Calls `visit(channel, row, voice)` for every row of every channel in use.
template <typename Visit>
void ForEachVoiceRow(const Ctx& c, const modwriter::Song& song, Visit visit) {
    for (int ch = 0; ch < Channels; ++ch) {
        if (!HasChannel(c, ch)) continue;
        Voice v;
        for (int row = 0; row < c.totalRows; ++row) {
            const Cell& cell = c.track[static_cast<std::size_t>(ch)][static_cast<std::size_t>(row)];
            ++v.since;
            v.struck = cell.note < 120;
            if (v.struck) {
                v.ins = cell.instrument;
                v.volume =
                    cell.volume >= 0
                        ? cell.volume
                        : song.instruments[static_cast<std::size_t>(v.ins - 1)].sample.volume;
                v.sounding = true;
                v.since = 0;
            } else if (cell.note == NoteOff) {
                v.sounding = false;
            }
            if (cell.volume >= 0 && cell.note >= 120) v.volume = cell.volume;
            visit(ch, row, v);
        }
    }
}

// The song's mean power as a player would mix it, estimated from its cells:
// every sounding tonal note adds its loop's power at its volume, every
// drum its sample's energy spread over the row it is struck on. In units
// of a full-scale square on one channel.
double PowerOf(const Ctx& c, const modwriter::Song& song) {
    const int n = static_cast<int>(song.instruments.size());
    std::vector<double> loop(static_cast<std::size_t>(n)), hit(static_cast<std::size_t>(n));
    std::vector<int> lasts(static_cast<std::size_t>(n), 1 << 30);
    const double rowSeconds = 15.0 / c.bpm;
    for (int i = 0; i < n; ++i) {
        const auto& ins = song.instruments[static_cast<std::size_t>(i)];
        const auto& smp = ins.sample;
        const double full = smp.sixteenBit ? 32767 : 127;
        double sum = 0;
        for (std::uint32_t k = smp.loopStart; k < smp.loopStart + smp.loopLength; ++k)
            sum += (smp.data[k] / full) * (smp.data[k] / full);
        double held = smp.loopLength ? sum / smp.loopLength : 0;
        const auto& pts = ins.volumeEnvelope.points;
        const int sus = ins.volumeEnvelope.sustainPoint;
        if (!pts.empty() && !IsMod(c) && sus >= 0) {
            const double level = pts[static_cast<std::size_t>(sus)].value / 64.0;
            held *= level * level;
        } else if (!pts.empty() && !IsMod(c)) {
            // An envelope that dies away: its mean power over the rows it
            // lasts, and no more after them.
            double power = 0;
            for (int t = 0; t < pts.back().tick; ++t) {
                std::size_t k = 1;
                while (pts[k].tick < t)
                    ++k;
                const double f = double(t - pts[k - 1].tick) / (pts[k].tick - pts[k - 1].tick);
                const double v = (pts[k - 1].value + f * (pts[k].value - pts[k - 1].value)) / 64;
                power += v * v;
            }
            held *= power / std::max(1, pts.back().tick);
            lasts[static_cast<std::size_t>(i)] = std::max(1, pts.back().tick / 6);
        }
        loop[static_cast<std::size_t>(i)] = held;
        if (!smp.loopLength) {
            double energy = 0;
            for (auto v : smp.data)
                energy += (v / full) * (v / full);
            hit[static_cast<std::size_t>(i)] = energy / 16726.0 / rowSeconds;
        }
    }
    double total = 0;
    ForEachVoiceRow(c, song, [&](int, int, const Voice& v) {
        const double level = v.volume / 64.0;
        const auto ins = static_cast<std::size_t>(v.ins - 1);
        if (v.struck) total += level * level * hit[ins];
        if (v.sounding && v.since < lasts[ins]) total += level * level * loop[ins];
    });
    return total / std::max(1, c.totalRows);
}

// The highest sum of the channels' peaks on any row and side, each
// channel weighed by its panning: a bound on the mix's peak, in units of
// one full-scale channel.
double PeakOf(const Ctx& c, const modwriter::Song& song) {
    const int n = static_cast<int>(song.instruments.size());
    std::vector<double> peak(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto& smp = song.instruments[static_cast<std::size_t>(i)].sample;
        const double full = smp.sixteenBit ? 32767 : 127;
        for (auto v : smp.data)
            peak[static_cast<std::size_t>(i)] =
                std::max(peak[static_cast<std::size_t>(i)], std::abs(v / full));
    }
    // Where a channel's sound stands, 0 (left) .. 64 (right).
    auto panOf = [&](int ch, int ins) {
        if (IsMod(c)) return ch == Bass || ch == Arp ? 0 : 64;
        if (c.format == Format::It) return song.panning[static_cast<std::size_t>(ch)];
        const int p = song.instruments[static_cast<std::size_t>(ins - 1)].sample.panning;
        return p < 0 ? 32 : p;
    };
    std::vector<double> left(static_cast<std::size_t>(c.totalRows)), right(left.size());
    ForEachVoiceRow(c, song, [&](int ch, int row, const Voice& v) {
        if (!v.sounding) return;
        const auto ins = static_cast<std::size_t>(v.ins - 1);
        const bool drum = !song.instruments[ins].sample.loopLength;
        if (drum && v.since >= 2) return;
        const double level = v.volume / 64.0 * peak[ins];
        const int pan = panOf(ch, v.ins);
        left[static_cast<std::size_t>(row)] += level * (64 - pan) / 64;
        right[static_cast<std::size_t>(row)] += level * pan / 64;
    });
    return std::max(*std::max_element(left.begin(), left.end()),
                    *std::max_element(right.begin(), right.end()));
}

} // namespace

// Mixes the song to an even loudness: its power, estimated from the
// cells, at TargetRms, unless the estimated peak says less; a song whose
// peaks would keep it too quiet gets softer drums, whose short hits make
// most of its peaks. The constants are libopenmpt's mix (0.6.9, 44100 Hz)
// of one full-scale channel, measured over the playlist: the estimates
// fall within 0.8 dB (RMS) and 1.4 dB (peak) of the rendered songs.
void Normalise(Ctx& c, modwriter::Song& song) {
    constexpr double TargetRms = -17.5, TargetPeak = -2.5;
    const double rmsOffset = IsMod(c) ? -10.98 : c.format == Format::Xm ? -12.67 : -12.81;
    const double peakOffset = IsMod(c) ? -7.05 : c.format == Format::Xm ? -10.32 : -10.77;
    const auto unmixed = c.track;
    double scale = 1, drums = 1;
    for (int round = 0;; ++round) {
        c.track = unmixed;
        SetPresets(c, song, scale, drums);
        Mix(c, song, scale, drums);
        if (round == 6) break;
        const double rms = 10 * std::log10(PowerOf(c, song)) + rmsOffset;
        const double peak = 20 * std::log10(PeakOf(c, song)) + peakOffset;
        const double forRms = TargetRms - rms, forPeak = TargetPeak - peak;
        if (forRms > forPeak + 1.5 && drums > 0.6) drums *= 0.85;
        scale *= std::pow(10.0, std::min(forRms, forPeak) / 20);
        if (std::abs(std::min(forRms, forPeak)) < 0.1 && forRms <= forPeak + 1.5) break;
    }
}

void Chop(Ctx& c, modwriter::Song& song) {
    const int channels = IsMod(c) ? 4 : c.channels;
    // The Amiga pans MOD channels left, right, right, left: bass and arp
    // go left, lead and kit right, so each side has a low end.
    static const int modOrder[4] = {Bass, Lead, Kit, Arp};
    std::vector<int> orders;
    for (int start = 0; start < c.totalRows; start += RowsPerPattern) {
        modwriter::Pattern p(RowsPerPattern, channels);
        for (int r = 0; r < RowsPerPattern; ++r)
            for (int ch = 0; ch < channels; ++ch)
                if (start + r < c.totalRows)
                    p.at(r, ch) = c.track[static_cast<std::size_t>(IsMod(c) ? modOrder[ch] : ch)]
                                         [static_cast<std::size_t>(start + r)];
        int index = -1;
        for (std::size_t i = 0; i < song.patterns.size(); ++i)
            if (song.patterns[i].cells == p.cells) index = static_cast<int>(i);
        if (index < 0) {
            index = static_cast<int>(song.patterns.size());
            song.patterns.push_back(std::move(p));
        }
        orders.push_back(index);
    }
    song.orders = orders;
}

// The commonest bar of drums in the song, read as a player would.

} // namespace composer::detail
