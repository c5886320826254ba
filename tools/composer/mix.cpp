// The mix: the loudness of every row, the notes' volumes, an even loudness
// across the playlist, and the patterns cut from the tracks.

#include "parts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

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
                const double own = (IsDrum(cell.instrument) ? scale * drumScale : scale) *
                                   c.level[cell.instrument];
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
        const double own =
            (IsDrum(i) ? scale * drumScale : scale) * c.level[static_cast<std::size_t>(i)];
        song.instruments[static_cast<std::size_t>(i - 1)].sample.volume =
            std::min(64, static_cast<int>(std::lround(Loudness(c, Level(i)) * own)));
    }
}

// A channel's voice as its cells leave it, row by row: the instrument and
// volume last struck, whether it still sounds (no key off since), the rows
// since the strike, and whether this row struck it.
struct Voice {
    int ins = 0, volume = 0, since = 0, note = 60;
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
                v.note = cell.note;
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
// `weight` is each instrument's share of its power that counts, by the
// note it plays (empty: all of it).
std::vector<double> PowerByChannel(const Ctx& c, const modwriter::Song& song,
                                   const std::vector<std::map<int, double>>& weight,
                                   const std::vector<int>& notes) {
    const int n = static_cast<int>(song.instruments.size());
    std::vector<double> loop(static_cast<std::size_t>(n));
    std::vector<std::vector<double>> shot(static_cast<std::size_t>(n));
    std::vector<std::vector<double>> env(static_cast<std::size_t>(n));
    const double rowSeconds = 15.0 / c.bpm;
    for (int i = 0; i < n; ++i) {
        const auto& ins = song.instruments[static_cast<std::size_t>(i)];
        const auto& smp = ins.sample;
        const double full = smp.sixteenBit ? 32767 : 127;
        double sum = 0;
        for (std::uint32_t k = smp.loopStart; k < smp.loopStart + smp.loopLength; ++k)
            sum += (smp.data[k] / full) * (smp.data[k] / full);
        const double held = smp.loopLength ? sum / smp.loopLength : 0;
        // The volume envelope's power row by row from the strike (speed 6):
        // a note struck again before it falls never reaches its sustain.
        const auto& pts = ins.volumeEnvelope.points;
        auto& e = env[static_cast<std::size_t>(i)];
        if (IsMod(c) || pts.empty()) e = {1.0};
        for (int row = 0; !IsMod(c) && !pts.empty(); ++row) {
            double power = 0;
            for (int t = row * 6; t < row * 6 + 6; ++t) {
                double v = ins.volumeEnvelope.sustainPoint >= 0 ? pts.back().value : 0;
                for (std::size_t k = 1; k < pts.size(); ++k)
                    if (t < pts[k].tick) {
                        const double f =
                            double(t - pts[k - 1].tick) / (pts[k].tick - pts[k - 1].tick);
                        v = pts[k - 1].value + f * (pts[k].value - pts[k - 1].value);
                        break;
                    }
                power += (v / 64) * (v / 64) / 6;
            }
            e.push_back(power);
            if (row * 6 > pts.back().tick) break;
        }
        loop[static_cast<std::size_t>(i)] = held;
        {
            // A one-shot's power (or a loop's attack's) row by row from its
            // strike, at the note it plays, until the next strike or key off
            // takes it; a loop plays on from the row its attack ends.
            const double rate =
                smp.c5Rate * std::pow(2.0, (notes[static_cast<std::size_t>(i)] - 60) / 12.0);
            const double perRow = rate * rowSeconds;
            auto& rows = shot[static_cast<std::size_t>(i)];
            const std::size_t attack = smp.loopLength ? smp.loopStart : smp.data.size();
            for (std::size_t at = 0; at < attack;) {
                const auto end =
                    std::min(attack, static_cast<std::size_t>(double(rows.size() + 1) * perRow));
                double energy = 0;
                for (; at < end; ++at)
                    energy += (smp.data[at] / full) * (smp.data[at] / full);
                rows.push_back(energy / perRow);
            }
        }
    }
    std::vector<double> total(Channels, 0.0);
    ForEachVoiceRow(c, song, [&](int ch, int, const Voice& v) {
        const double level = v.volume / 64.0;
        const auto ins = static_cast<std::size_t>(v.ins - 1);
        double& t = total[static_cast<std::size_t>(ch)];
        const auto& rows = shot[ins];
        const auto since = static_cast<std::size_t>(v.since);
        if (!v.sounding) return;
        const auto& w = weight[ins];
        const auto at = w.find(v.note);
        const double e =
            env[ins][std::min(since, env[ins].size() - 1)] * (w.empty()       ? 1.0
                                                              : at == w.end() ? 0.0
                                                                              : at->second);
        if (since < rows.size())
            t += level * level * rows[since] * e;
        else
            t += level * level * loop[ins] * e;
    });
    for (double& t : total)
        t /= std::max(1, c.totalRows);
    return total;
}

// The tracker note each instrument plays most (the median of its notes).
std::vector<int> TypicalNotes(const Ctx& c, const modwriter::Song& song) {
    std::vector<std::vector<int>> played(song.instruments.size());
    for (const auto& track : c.track)
        for (const Cell& cell : track)
            if (cell.note < 120 && cell.instrument)
                played[cell.instrument - 1u].push_back(cell.note);
    std::vector<int> out;
    for (auto& v : played) {
        if (v.empty()) {
            out.push_back(60);
            continue;
        }
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        out.push_back(v[v.size() / 2]);
    }
    return out;
}

// A two-pole filter of the audio cookbook: a high-pass or a low-pass.
struct Biquad {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Biquad(bool high, double hz, double rate) {
        const double w = 2 * std::numbers::pi * std::min(hz, rate * 0.45) / rate;
        const double alpha = std::sin(w) / (2 * 0.7071), cw = std::cos(w), a0 = 1 + alpha;
        b0 = (high ? (1 + cw) : (1 - cw)) / 2 / a0;
        b1 = (high ? -(1 + cw) : (1 - cw)) / a0;
        b2 = b0;
        a1 = -2 * cw / a0;
        a2 = (1 - alpha) / a0;
    }
    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

// The share of a sample's power that falls at 150 Hz..6 kHz when it plays
// at `rate` frames a second: its loop, or the whole of a one-shot.
double BandShare(const modwriter::Sample& s, double rate) {
    std::vector<double> v;
    if (s.loopLength) {
        while (v.size() < 8192)
            for (std::uint32_t k = s.loopStart; k < s.loopStart + s.loopLength; ++k)
                v.push_back(s.data[k]);
    } else {
        v.assign(s.data.begin(), s.data.end());
    }
    Biquad high(true, 150, rate), low(false, 6000, rate);
    double all = 0, band = 0;
    const std::size_t settle = s.loopLength ? v.size() / 2 : 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double y = low(high(v[i]));
        if (i < settle) continue;
        all += v[i] * v[i], band += y * y;
    }
    return all > 0 ? band / all : 0;
}

double PowerOf(const Ctx& c, const modwriter::Song& song) {
    const std::vector<std::map<int, double>> all(song.instruments.size());
    double sum = 0;
    for (double p : PowerByChannel(c, song, all, TypicalNotes(c, song)))
        sum += p;
    return sum;
}

// Which side a MOD channel sounds on: 0 and 3 left, 1 and 2 right.
bool ModLeft(const Ctx& c, int part) {
    return c.modOrder[0] == part || c.modOrder[3] == part;
}

// The instruments a part plays.
std::vector<int> InstrumentsOf(const Ctx& c, int part) {
    std::vector<int> out;
    for (int i = InsLead; i <= InsLast; ++i)
        if ((IsMod(c) ? (i <= InsTom || i == InsEcho ? (IsDrum(i) || i == InsEcho ? Kit
                                                        : i == InsArp             ? Arp
                                                        : i == InsBass            ? Bass
                                                                                  : Lead)
                                                     : -1)
                      : ChannelOf(i)) == part)
            out.push_back(i);
    return out;
}

// Each instrument's share at 150 Hz..6 kHz at every note it plays: a
// bass's harmonics cross 150 Hz as it moves.
std::vector<std::map<int, double>> BandShares(const Ctx& c, const modwriter::Song& song) {
    std::vector<std::map<int, double>> share(song.instruments.size());
    for (const auto& track : c.track)
        for (const Cell& cell : track) {
            if (cell.note >= 120 || !cell.instrument) continue;
            auto& m = share[cell.instrument - 1u];
            if (m.count(cell.note)) continue;
            const auto& s = song.instruments[cell.instrument - 1u].sample;
            m[cell.note] = BandShare(s, s.c5Rate * std::pow(2.0, (cell.note - 60) / 12.0));
        }
    return share;
}

// Evens the two sides at 150 Hz..6 kHz, estimated from the cells. XM and
// IT pan their parts in mirrored pairs, so each pair's two parts are
// brought to the same power; a pair too far apart for that comes to the
// middle. MOD's four channels stand left and right: the parts go where
// the sides come nearest, then the parts beside the lead even the rest.
void Balance(Ctx& c, modwriter::Song& song, const std::vector<std::map<int, double>>& share,
             bool first) {
    const std::vector<int> notes = TypicalNotes(c, song);
    const std::vector<double> p = PowerByChannel(c, song, share, notes);
    auto scale = [&](int part, double g) {
        for (int i : InstrumentsOf(c, part))
            c.level[static_cast<std::size_t>(i)] =
                std::clamp(c.level[static_cast<std::size_t>(i)] * g, 0.3, 2.2);
    };
    if (IsMod(c)) {
        auto side = [&](const std::array<int, 4>& order, bool left) {
            return left ? p[static_cast<std::size_t>(order[0])] +
                              p[static_cast<std::size_t>(order[3])]
                        : p[static_cast<std::size_t>(order[1])] +
                              p[static_cast<std::size_t>(order[2])];
        };
        if (first) {
            // The bass keeps channel 0 and the lead channel 1, as in XM and IT.
            const std::array<int, 4> orders[] = {{Bass, Lead, Kit, Arp}, {Bass, Lead, Arp, Kit}};
            double best = 1e9;
            for (const auto& o : orders) {
                const double off = std::abs(std::log(side(o, true) / side(o, false)));
                if (off < best) best = off, c.modOrder = o;
            }
        }
        // The lead gives way a little where the rest cannot even the sides.
        const double ratio = side(c.modOrder, true) / side(c.modOrder, false);
        for (int part : {Bass, Arp, Kit, Lead})
            scale(part, std::pow(ratio, ModLeft(c, part) ? -0.25 : 0.25));
        for (int i : InstrumentsOf(c, Lead))
            c.level[static_cast<std::size_t>(i)] =
                std::min(1.0, std::max(0.35, c.level[static_cast<std::size_t>(i)]));
        return;
    }
    for (const auto& [left, right, extra] : PanPairs) {
        if (!HasChannel(c, left) || !HasChannel(c, right)) continue;
        const double l = p[static_cast<std::size_t>(left)], r = p[static_cast<std::size_t>(right)];
        if (l <= 0 && r <= 0) continue;
        if (first && (l <= 0 || r <= 0 || l > 6 * r || r > 6 * l)) {
            // Too far apart to even: both to the middle.
            for (int part : {left, right}) {
                if (c.format == Format::It) song.panning[static_cast<std::size_t>(part)] = 32;
                for (int i : InstrumentsOf(c, part))
                    if (c.format == Format::Xm)
                        song.instruments[static_cast<std::size_t>(i - 1)].sample.panning = 32;
            }
            continue;
        }
        if (l <= 0 || r <= 0) continue;
        scale(left, std::pow(r / l, 0.25));
        scale(right, std::pow(l / r, 0.25));
    }
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
        if (IsMod(c)) return ModLeft(c, ch) ? 16 : 48; // libopenmpt's Amiga panning
        if (c.format == Format::It) return song.panning[static_cast<std::size_t>(ch)];
        const int p = song.instruments[static_cast<std::size_t>(ins - 1)].sample.panning;
        return p < 0 ? 32 : p;
    };
    // Each side's loudest part at its peak, and the others as the root of
    // the sum of their squares: the peaks of several parts seldom meet.
    std::vector<double> left(static_cast<std::size_t>(c.totalRows)), right(left.size());
    std::vector<double> topLeft(left.size()), topRight(left.size());
    ForEachVoiceRow(c, song, [&](int ch, int row, const Voice& v) {
        if (!v.sounding) return;
        const auto ins = static_cast<std::size_t>(v.ins - 1);
        const bool shot = !song.instruments[ins].sample.loopLength;
        if (shot && v.since >= 2) return;
        const double level = v.volume / 64.0 * peak[ins];
        const int pan = panOf(ch, v.ins);
        const auto r = static_cast<std::size_t>(row);
        const double l = level * (64 - pan) / 64, rr = level * pan / 64;
        left[r] += l * l, right[r] += rr * rr;
        topLeft[r] = std::max(topLeft[r], l), topRight[r] = std::max(topRight[r], rr);
    });
    double most = 0;
    for (std::size_t r = 0; r < left.size(); ++r)
        most = std::max(
            {most, topLeft[r] + std::sqrt(std::max(0.0, left[r] - topLeft[r] * topLeft[r])),
             topRight[r] + std::sqrt(std::max(0.0, right[r] - topRight[r] * topRight[r]))});
    return most;
}

} // namespace

// Mixes the song to an even loudness: its power, estimated from the
// cells, at TargetRms, unless the estimated peak says less; a song whose
// peaks would keep it too quiet gets softer drums, whose short hits make
// most of its peaks. The constants are libopenmpt's mix (0.6.9, 44100 Hz)
// of one full-scale channel, measured over the playlist: the estimates
// fall within 0.8 dB (RMS) and 1.4 dB (peak) of the rendered songs.
void Normalise(Ctx& c, modwriter::Song& song) {
    constexpr double TargetRms = -17.5, TargetPeak = -1.8;
    const double rmsOffset = IsMod(c) ? -10.98 : c.format == Format::Xm ? -12.67 : -12.81;
    const double peakOffset = IsMod(c) ? -3.76 : c.format == Format::Xm ? -5.48 : -5.49;
    const auto unmixed = c.track;
    const auto shaped = c.gain;
    const auto shares = BandShares(c, song);
    double scale = 1, drums = 1, squeeze = 1;
    for (int round = 0;; ++round) {
        c.track = unmixed;
        for (std::size_t r = 0; r < shaped.size(); ++r)
            c.gain[r] = std::pow(shaped[r], squeeze);
        SetPresets(c, song, scale, drums);
        Mix(c, song, scale, drums);
        if (round == 16) break;
        if (round < 8) {
            Balance(c, song, shares, round == 0);
            c.track = unmixed;
            SetPresets(c, song, scale, drums);
            Mix(c, song, scale, drums);
        }
        const double rms = 10 * std::log10(PowerOf(c, song)) + rmsOffset;
        const double peak = 20 * std::log10(PeakOf(c, song)) + peakOffset;
        const double forRms = TargetRms - rms, forPeak = TargetPeak - peak;
        // A song whose peaks keep it too quiet gets softer drums (their short
        // hits make most peaks) and quiet sections nearer its loud ones.
        if (forRms > forPeak + 0.5 && drums > 0.3) drums *= 0.85;
        if (forRms > forPeak + 0.5 && squeeze > 0.1) squeeze -= 0.15;
        scale *= std::pow(10.0, std::min(forRms, forPeak) / 20);
        if (std::abs(std::min(forRms, forPeak)) < 0.1 && forRms <= forPeak + 0.5) break;
    }
}

void Chop(Ctx& c, modwriter::Song& song) {
    const int channels = IsMod(c) ? 4 : c.channels;
    // The Amiga pans MOD channels left, right, right, left: bass and arp
    // go left, lead and kit right, so each side has a low end.
    std::vector<int> orders;
    for (int start = 0; start < c.totalRows; start += RowsPerPattern) {
        modwriter::Pattern p(RowsPerPattern, channels);
        for (int r = 0; r < RowsPerPattern; ++r)
            for (int ch = 0; ch < channels; ++ch)
                if (start + r < c.totalRows)
                    p.at(r, ch) = c.track[static_cast<std::size_t>(
                        IsMod(c) ? c.modOrder[static_cast<std::size_t>(ch)] : ch)]
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
