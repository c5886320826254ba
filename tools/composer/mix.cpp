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
            const double t = double(row - s.start) / (s.bars * c.bar);
            double g = s.levelTo < 0 ? s.level : s.level + (s.levelTo - s.level) * t;
            c.gain[static_cast<std::size_t>(row)] = g;
        }
    const Section& outro = c.sections.back();
    const int chord = outro.start + 3 * c.bar;
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

// Drums and the struck notes (one-shots) around the tune: their short
// hits make most of a song's peaks, and a song whose peaks keep it quiet
// plays them softer. (The lead and the bass carry the song.)
bool Struck(const modwriter::Song& song, int ins) {
    const bool carries = ins == InsLead || ins == InsLead2 || ins == InsEcho || ins == InsBass;
    return IsDrum(ins) ||
           (!carries && song.instruments[static_cast<std::size_t>(ins - 1)].sample.loopLength == 0);
}

// Writes every row's loudness into the notes' volumes: a struck note at
// its volume times the row's, a held note again wherever the level moves.
// MOD keeps its effects, except in the ending, where the volume wins over
// an arpeggio or a vibrato.
void Mix(Ctx& c, const modwriter::Song& song, double scale, double struck) {
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
                const double own = (Struck(song, cell.instrument) ? scale * struck : scale) *
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
void SetPresets(const Ctx& c, modwriter::Song& song, double scale, double struck) {
    if (!IsMod(c)) return;
    for (int i = InsLead; i <= static_cast<int>(song.instruments.size()); ++i) {
        const double own =
            (Struck(song, i) ? scale * struck : scale) * c.level[static_cast<std::size_t>(i)];
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

// An instrument's volume envelope row by row from the strike (speed 6),
// 0..1: each row's power, or its highest level; past its end, its
// sustain or nothing. MOD has none: 1.
std::vector<double> EnvelopeRows(const Ctx& c, const modwriter::Instrument& ins, bool power) {
    const auto& pts = ins.volumeEnvelope.points;
    if (IsMod(c) || pts.empty()) return {1.0};
    std::vector<double> rows;
    for (int row = 0;; ++row) {
        double sum = 0, most = 0;
        for (int t = row * 6; t < row * 6 + 6; ++t) {
            double v = ins.volumeEnvelope.sustainPoint >= 0 ? pts.back().value : 0;
            for (std::size_t k = 1; k < pts.size(); ++k)
                if (t < pts[k].tick) {
                    const double f = double(t - pts[k - 1].tick) / (pts[k].tick - pts[k - 1].tick);
                    v = pts[k - 1].value + f * (pts[k].value - pts[k - 1].value);
                    break;
                }
            sum += (v / 64) * (v / 64) / 6, most = std::max(most, v / 64);
        }
        rows.push_back(power ? sum : most);
        if (row * 6 > pts.back().tick) return rows;
    }
}

// Which side a MOD channel sounds on: 0 and 3 left, 1 and 2 right.
bool ModLeft(const Ctx& c, int part) {
    return c.modOrder[0] == part || c.modOrder[3] == part;
}

// Where a channel's sound stands, 0 (left) .. 64 (right): its sample's
// own panning where it has one, else its IT channel's.
int PanOf(const Ctx& c, const modwriter::Song& song, int ch, int ins) {
    if (IsMod(c)) return ModLeft(c, ch) ? 16 : 48; // libopenmpt's Amiga panning
    const int p = song.instruments[static_cast<std::size_t>(ins - 1)].sample.panning;
    if (p >= 0) return p;
    return c.format == Format::It ? song.panning[static_cast<std::size_t>(ch)] : 32;
}

// The song's mean power as a player would mix it, estimated from its cells:
// every sounding tonal note adds its loop's power at its volume, every
// drum its sample's energy spread over the row it is struck on. In units
// of a full-scale square on one channel.
// `weight` is each instrument's share of its power that counts, by the
// note it plays (empty: all of it). `panned` weighs each part by where it
// stands: the middle gives each side half its level, so a part at one
// side reaches the two sides with twice the power of one in the middle.
std::vector<double> PowerByChannel(const Ctx& c, const modwriter::Song& song,
                                   const std::vector<std::map<int, double>>& weight,
                                   const std::vector<int>& notes, bool panned = false) {
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
        // The volume envelope's power row by row from the strike: a note
        // struck again before it falls never reaches its sustain.
        env[static_cast<std::size_t>(i)] = EnvelopeRows(c, ins, true);
        loop[static_cast<std::size_t>(i)] = held;
        {
            // A sample's power row by row from its strike, at the note it
            // plays, until the next strike or key off takes it: a one-shot
            // through its end, a loop's attack and its first time round (the
            // voices of a long loop beat, and a note struck again hears only
            // their start), then the loop's mean.
            const double rate =
                smp.c5Rate * std::pow(2.0, (notes[static_cast<std::size_t>(i)] - 60) / 12.0);
            const double perRow = rate * rowSeconds;
            auto& rows = shot[static_cast<std::size_t>(i)];
            const std::size_t first = smp.data.size();
            for (std::size_t at = 0; at < first;) {
                const auto end =
                    std::min(first, static_cast<std::size_t>(double(rows.size() + 1) * perRow));
                double energy = 0;
                const std::size_t from = at;
                for (; at < end; ++at)
                    energy += (smp.data[at] / full) * (smp.data[at] / full);
                if (smp.loopLength) energy += held * std::max(0.0, perRow - double(end - from));
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
        const double pan = panned ? PanOf(c, song, ch, v.ins) / 64.0 : 0.5;
        const double e = env[ins][std::min(since, env[ins].size() - 1)] *
                         (w.empty()       ? 1.0
                          : at == w.end() ? 0.0
                                          : at->second) *
                         (panned ? 2 * (pan * pan + (1 - pan) * (1 - pan)) : 1.0);
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

// How much of a tone at `hz` the balance is judged by: the share of it a
// spectrum of 2048 points at 44100 Hz through a Hann window counts in its
// bins at 150 Hz..6 kHz, as songcheck measures. A bass note just under
// 150 Hz leaks into the band's first bins.
double CountedInBand(double hz) {
    constexpr double Bin = 44100.0 / 2048;
    constexpr int First = 7, Last = 278; // 150.7 Hz .. 5986 Hz
    const double at = hz / Bin;
    if (at < First - 6) return 0;
    if (at > First + 6 && at < Last - 6) return 1;
    if (at > Last + 6) return 0;
    auto hann = [](double d) { // the window's power at d bins from its tone
        if (std::abs(d) < 1e-9) return 1.0;
        if (std::abs(std::abs(d) - 1) < 1e-9) return 0.25;
        const double v = std::sin(std::numbers::pi * d) / (std::numbers::pi * d) / (1 - d * d);
        return v * v;
    };
    double in = 0, all = 0;
    for (int k = static_cast<int>(at) - 6; k <= static_cast<int>(at) + 7; ++k) {
        const double w = hann(k - at);
        all += w;
        if (k >= First && k <= Last) in += w;
    }
    return all > 0 ? in / all : 0;
}

// The share of a sample's power that falls at 150 Hz..6 kHz when it plays
// at `rate` frames a second for `frames` frames (its notes' usual length):
// a one-shot or a loop's attack from its start, then the loop after it; at
// most its first 4096 frames, through a Hann window, as a spectrum.
double BandShare(const modwriter::Sample& s, double rate, std::size_t frames) {
    std::size_t n = 2048;
    while (n < std::min<std::size_t>(frames, 4096))
        n *= 2;
    const std::size_t length = s.loopLength ? n : std::min(n, s.data.size());
    std::vector<std::complex<double>> x(n);
    // Hann across the frames, its cosine stepped by rotation.
    const double tc = std::cos(2 * std::numbers::pi / double(length)),
                 ts = std::sin(2 * std::numbers::pi / double(length));
    double pc = 1, ps = 0;
    for (std::size_t k = 0; k < length; ++k) {
        const std::size_t at =
            k < s.data.size() ? k : s.loopStart + (k - s.data.size()) % s.loopLength;
        x[k] = (0.5 - 0.5 * pc) * s.data[at];
        const double c = pc * tc - ps * ts;
        ps = pc * ts + ps * tc, pc = c;
    }
    Fft(x);
    double all = 0, band = 0;
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double hz = double(k) * rate / double(n), p = std::norm(x[k]);
        all += p, band += p * CountedInBand(hz);
    }
    return all > 0 ? band / all : 0;
}

double PowerOf(const Ctx& c, const modwriter::Song& song) {
    const std::vector<std::map<int, double>> all(song.instruments.size());
    double sum = 0;
    for (double p : PowerByChannel(c, song, all, TypicalNotes(c, song), true))
        sum += p;
    return sum;
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
                      : ChannelOf(c, i)) == part)
            out.push_back(i);
    return out;
}

// Each instrument's share at 150 Hz..6 kHz at every note it plays: a
// bass's harmonics cross 150 Hz as it moves.
std::vector<std::map<int, double>> BandShares(const Ctx& c, const modwriter::Song& song) {
    // How long each instrument's notes sound: the median of the rows from a
    // strike to the channel's next strike or key off.
    std::vector<std::vector<int>> lengths(song.instruments.size());
    for (const auto& track : c.track) {
        int ins = 0, since = 0;
        for (const Cell& cell : track) {
            const bool ends = cell.note < 120 || cell.note == NoteOff;
            if (ends && ins) lengths[static_cast<std::size_t>(ins - 1)].push_back(since);
            if (ends) ins = cell.note < 120 ? cell.instrument : 0, since = 0;
            ++since;
        }
    }
    std::vector<std::map<int, double>> share(song.instruments.size());
    for (const auto& track : c.track)
        for (const Cell& cell : track) {
            if (cell.note >= 120 || !cell.instrument) continue;
            auto& m = share[cell.instrument - 1u];
            if (m.count(cell.note)) continue;
            auto& l = lengths[cell.instrument - 1u];
            std::nth_element(l.begin(), l.begin() + static_cast<std::ptrdiff_t>(l.size() / 2),
                             l.end());
            const int rows = l.empty() ? 16 : l[l.size() / 2];
            const auto& s = song.instruments[cell.instrument - 1u].sample;
            const double rate = s.c5Rate * std::pow(2.0, (cell.note - 60) / 12.0);
            m[cell.note] = BandShare(s, rate, static_cast<std::size_t>(rows * 15.0 / c.bpm * rate));
        }
    return share;
}

// A part to the middle: its IT channel, its XM instruments.
void Centre(const Ctx& c, modwriter::Song& song, int part) {
    if (c.format == Format::It) song.panning[static_cast<std::size_t>(part)] = 32;
    for (int i : InstrumentsOf(c, part))
        if (c.format == Format::Xm)
            song.instruments[static_cast<std::size_t>(i - 1)].sample.panning = 32;
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
            scale(part, std::pow(ratio, ModLeft(c, part) ? -0.4 : 0.4));
        for (int i : InstrumentsOf(c, Lead))
            c.level[static_cast<std::size_t>(i)] =
                std::min(1.0, std::max(0.35, c.level[static_cast<std::size_t>(i)]));
        return;
    }
    for (const auto& [left, right, extra] : PanPairs(c)) {
        const double l = p[static_cast<std::size_t>(left)], r = p[static_cast<std::size_t>(right)];
        if (l <= 0 && r <= 0) continue;
        if (first && (l <= 0 || r <= 0 || l > 16 * r || r > 16 * l)) {
            // Too far apart to even: both to the middle.
            Centre(c, song, left);
            Centre(c, song, right);
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
    const std::vector<int> notes = TypicalNotes(c, song);
    // Each sample's peak row by row from its strike at the note it plays
    // most, through its first time round; then its loop's, or nothing.
    std::vector<std::vector<double>> peak(static_cast<std::size_t>(n));
    std::vector<std::vector<double>> env(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto& ins = song.instruments[static_cast<std::size_t>(i)];
        env[static_cast<std::size_t>(i)] = EnvelopeRows(c, ins, false);
        const auto& smp = ins.sample;
        const double full = smp.sixteenBit ? 32767 : 127;
        const double perRow = smp.c5Rate *
                              std::pow(2.0, (notes[static_cast<std::size_t>(i)] - 60) / 12.0) *
                              15.0 / c.bpm;
        auto& rows = peak[static_cast<std::size_t>(i)];
        double loop = 0;
        for (std::size_t k = smp.loopStart; k < smp.loopStart + smp.loopLength; ++k)
            loop = std::max(loop, std::abs(smp.data[k] / full));
        for (std::size_t at = 0; at < smp.data.size();) {
            const auto end = std::min(smp.data.size(),
                                      static_cast<std::size_t>(double(rows.size() + 1) * perRow));
            double most = end < smp.data.size() || !smp.loopLength ? 0 : loop;
            for (; at < end; ++at)
                most = std::max(most, std::abs(smp.data[at] / full));
            rows.push_back(most);
        }
        rows.push_back(loop);
    }
    // Each side's loudest part at its peak, and the others as the root of
    // the sum of their squares: the peaks of several parts seldom meet.
    std::vector<double> left(static_cast<std::size_t>(c.totalRows)), right(left.size());
    std::vector<double> topLeft(left.size()), topRight(left.size());
    ForEachVoiceRow(c, song, [&](int ch, int row, const Voice& v) {
        if (!v.sounding) return;
        const auto ins = static_cast<std::size_t>(v.ins - 1);
        const auto& e = env[ins];
        const auto& p = peak[ins];
        const auto since = static_cast<std::size_t>(v.since);
        const double level =
            v.volume / 64.0 * p[std::min(since, p.size() - 1)] * e[std::min(since, e.size() - 1)];
        const int pan = PanOf(c, song, ch, v.ins);
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
// peaks would keep it too quiet gets softer drums and struck notes, whose
// short hits make most of its peaks. The constants are libopenmpt's mix
// (0.6.9, 44100 Hz) of one full-scale channel, measured over the playlist:
// the rendered songs' RMS falls within 0.5 dB of the estimate, their peaks
// between 2.1 dB under it and 0.6 dB over.
void Normalise(Ctx& c, modwriter::Song& song) {
    constexpr double TargetRms = -18.0, TargetPeak = -1.8;
    const double rmsOffset = IsMod(c) ? -11.95 : c.format == Format::Xm ? -14.2 : -14.1;
    const double peakOffset = IsMod(c) ? -4.95 : c.format == Format::Xm ? -6.3 : -6.1;
    const auto unmixed = c.track;
    const auto shaped = c.gain;
    const auto shares = BandShares(c, song);
    double scale = 1, struck = 1, squeeze = 1;
    for (int round = 0;; ++round) {
        c.track = unmixed;
        for (std::size_t r = 0; r < shaped.size(); ++r)
            c.gain[r] = std::pow(shaped[r], squeeze);
        SetPresets(c, song, scale, struck);
        Mix(c, song, scale, struck);
        if (round == 16) break;
        Balance(c, song, shares, round == 0);
        c.track = unmixed;
        SetPresets(c, song, scale, struck);
        Mix(c, song, scale, struck);
        const double rms = 10 * std::log10(PowerOf(c, song)) + rmsOffset;
        const double peak = 20 * std::log10(PeakOf(c, song)) + peakOffset;
        const double forRms = TargetRms - rms, forPeak = TargetPeak - peak;
        // A song whose peaks keep it too quiet gets softer drums and struck
        // notes, and quiet sections nearer its loud ones.
        if (forRms > forPeak + 0.5 && struck > 0.3) struck *= 0.85;
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
    const int rows = c.metre->patternRows;
    for (int start = 0; start < c.totalRows; start += rows) {
        modwriter::Pattern p(rows, channels);
        for (int r = 0; r < rows; ++r)
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
