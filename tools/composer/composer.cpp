#include "composer.h"

#include "parts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace composer {
namespace detail {

bool IsDrum(int ins) {
    return (ins >= InsKick && ins <= InsTom) || (ins >= InsClap && ins <= InsRim);
}

bool IsMod(const Ctx& c) {
    return c.format == Format::Mod;
}

bool HasChannel(const Ctx& c, int ch) {
    if (IsMod(c)) return ch <= Kit;
    return ch < c.channels;
}

Cell& At(Ctx& c, int ch, int row) {
    return c.track[static_cast<std::size_t>(ch)][static_cast<std::size_t>(row)];
}

const Section& SectionAt(const Ctx& c, int row) {
    for (const Section& s : c.sections)
        if (row >= s.start && row < s.end()) return s;
    return c.sections.back();
}

int Level(int ins) {
    static const std::map<int, int> levels = {
        {InsLead, 48},  {InsLead2, 46},   {InsArp, 32},      {InsBass, 44},    {InsKick, 64},
        {InsSnare, 50}, {InsHat, 28},     {InsOpenHat, 24},  {InsTom, 50},     {InsEcho, 16},
        {InsPad, 11},   {InsPadLeft, 11}, {InsPadRight, 11}, {InsCounter, 20}, {InsSparkle, 16},
        {InsClap, 24},  {InsCrash, 34},   {InsShaker, 14},   {InsRim, 22},
    };
    return levels.at(ins);
}

namespace {

// XM and IT mix quieter than MOD at the same volumes: XM notes play a
// quarter louder, the denser IT songs an eighth. The slow styles' sparse
// drums leave room: their notes play an eighth louder.
int Loudness(const Ctx& c, int volume) {
    if (c.style->bpmHigh <= 114) volume = (volume * 9 + 4) / 8;
    if (IsMod(c)) return std::min(64, volume);
    return std::min(64, c.format == Format::Xm ? (volume * 5 + 2) / 4 : (volume * 9 + 4) / 8);
}

// Frames a cycle for each tonal instrument, and the semitone shift that
// plays a MIDI pitch on it (MOD plays every sample at 8363 Hz for C-5, so
// a longer cycle sounds lower: the bass's 128 frames reach down to C-1).
int CycleOf(const Ctx& c, int ins) {
    switch (ins) {
    case InsBass:
        return 128;
    case InsPad:
    case InsPadLeft:
    case InsPadRight:
        return 128;
    default:
        return IsMod(c) ? 32 : 64;
    }
}

int NoteFor(const Ctx& c, int ins, int midi) {
    int n = midi;
    if (IsMod(c)) n += 12 * static_cast<int>(std::lround(std::log2(CycleOf(c, ins) / 32.0)));
    const int lo = IsMod(c) ? 48 : c.format == Format::Xm ? 12 : 0;
    const int hi = IsMod(c) ? 83 : c.format == Format::Xm ? 107 : 119;
    while (n < lo)
        n += 12;
    while (n > hi)
        n -= 12;
    return n;
}

bool IsControl(Effect e) {
    return e == Effect::SetSpeed || e == Effect::SetTempo || e == Effect::PatternBreak;
}

} // namespace

int Pitch(const Ctx& c, int tonic, int degree) {
    const int d = ((degree % 7) + 7) % 7;
    const int octave = degree >= 0 ? degree / 7 : -((-degree + 6) / 7);
    return tonic + (*c.mode)[static_cast<std::size_t>(d)] + 12 * octave;
}

int ChordAt(const Ctx& c, int row) {
    const Section& s = SectionAt(c, row);
    const auto half = static_cast<std::size_t>(std::max(0, row - s.start) / (RowsPerBar / 2));
    return s.harmony[std::min(half, s.harmony.size() - 1)];
}

bool IsChordTone(int degree, int root) {
    const int d = ((degree - root) % 7 + 7) % 7;
    return d == 0 || d == 2 || d == 4;
}

int NearestChordTone(int degree, int root, int direction) {
    const int first = direction > 0 ? 1 : -1;
    for (int d = 0; d < 4; ++d) {
        if (IsChordTone(degree + first * d, root)) return degree + first * d;
        if (IsChordTone(degree - first * d, root)) return degree - first * d;
    }
    return degree;
}

void Put(Ctx& c, int ch, int row, int ins, int midi, int volume) {
    if (!HasChannel(c, ch) || row < 0 || row >= c.totalRows) return;
    if (!IsDrum(ins)) midi += SectionAt(c, row).transpose;
    Cell& cell = At(c, ch, row);
    cell.note = static_cast<std::uint8_t>(NoteFor(c, ins, midi));
    cell.instrument = static_cast<std::uint8_t>(ins);
    cell.effect = Effect::None;
    cell.param = 0;
    if (!IsMod(c))
        cell.volume = static_cast<std::int8_t>(Loudness(c, volume < 0 ? Level(ins) : volume));
    else
        cell.volume =
            static_cast<std::int8_t>(volume < 0 || volume == Level(ins) ? -1 : Loudness(c, volume));
}

void Off(Ctx& c, int ch, int row) {
    // Nothing sounds before the first row.
    if (!HasChannel(c, ch) || row <= 0 || row >= c.totalRows) return;
    Cell& cell = At(c, ch, row);
    if (cell.note == NoNote && cell.effect == Effect::None && cell.volume < 0) cell.note = NoteOff;
}

// An effect where the cell has room; MOD gives up a note's volume for it.
bool SetEffect(Ctx& c, int ch, int row, Effect e, int param) {
    if (!HasChannel(c, ch) || row < 0 || row >= c.totalRows) return false;
    Cell& cell = At(c, ch, row);
    if (cell.effect != Effect::None || (IsMod(c) && cell.note == NoteOff)) return false;
    if (IsMod(c)) cell.volume = -1;
    cell.effect = e;
    cell.param = static_cast<std::uint8_t>(param);
    return true;
}

namespace {

// ---- plan ----

struct Block {
    Kind kind;
    int bars;
};

int PickOf(Rng& r, std::initializer_list<int> v) {
    return *(v.begin() + r.Range(0, static_cast<int>(v.size()) - 1));
}

// The form's sections: a head, a middle stated as often as the song's
// length asks, a tail into the ending.
std::vector<Block> Blocks(Ctx& c, double seconds) {
    Rng& r = c.rng;
    std::vector<Block> head, middle, tail;
    using K = Kind;
    switch (c.form) {
    case Form::VerseChorus:
        head = {{K::Intro, PickOf(r, {4, 8})}, {K::Verse, PickOf(r, {8, 16})}, {K::Chorus, 8}};
        middle = {{K::Verse, 8}, {K::Chorus, PickOf(r, {8, 16})}};
        tail = {{K::Bridge, 8},
                {K::Breakdown, PickOf(r, {4, 8})},
                {K::Build, 4},
                {K::Chorus, PickOf(r, {8, 16})}};
        break;
    case Form::Aaba:
        head = {{K::Intro, 4}, {K::Verse, 8}, {K::Verse, 8}, {K::Bridge, 8}, {K::Verse, 8}};
        middle = {{K::Solo, 8}, {K::Bridge, 8}, {K::Verse, 8}};
        tail = {{K::Breakdown, 4}, {K::Build, 4}, {K::Verse, 8}};
        break;
    case Form::Rondo:
        head = {{K::Intro, 4}, {K::Chorus, 8}, {K::Verse, 8}, {K::Chorus, 8}};
        middle = {{K::Bridge, PickOf(r, {8, 12})}, {K::Chorus, 8}, {K::Solo, 8}, {K::Chorus, 8}};
        tail = {{K::Breakdown, 8}, {K::Build, 4}, {K::Chorus, 8}};
        break;
    case Form::Dance:
        head = {{K::Intro, PickOf(r, {8, 16})}, {K::Verse, 16}};
        middle = {{K::Breakdown, 8}, {K::Build, PickOf(r, {4, 8})}, {K::Chorus, 16}};
        tail = {{K::Verse, 8}, {K::Breakdown, 4}, {K::Build, 4}, {K::Chorus, 16}};
        break;
    case Form::Ballad:
        head = {{K::Intro, 4}, {K::Verse, 12}, {K::Chorus, 8}};
        middle = {{K::Verse, 12}, {K::Chorus, 8}};
        tail = {{K::Bridge, 8}, {K::Build, 4}, {K::Chorus, 8}};
        break;
    case Form::Variations:
        head = {{K::Intro, 4}, {K::Verse, PickOf(r, {8, 12})}};
        middle = {{K::Verse, 8}, {K::Solo, 8}};
        tail = {{K::Breakdown, 8}, {K::Build, 4}, {K::Verse, 8}};
        break;
    }
    const int outro = c.ending == Ending::Fade ? (c.bpm < 110 ? 4 : 8) : 4;
    auto barsOf = [](const std::vector<Block>& v) {
        int n = 0;
        for (const Block& b : v)
            n += b.bars;
        return n;
    };
    const double barSeconds = 240.0 / c.bpm;
    const int fixed = barsOf(head) + barsOf(tail) + outro;
    int best = 0;
    for (int n = 1; n <= 4; ++n)
        if (std::abs((fixed + n * barsOf(middle)) * barSeconds - seconds) <
            std::abs((fixed + best * barsOf(middle)) * barSeconds - seconds))
            best = n;
    std::vector<Block> out = head;
    for (int n = 0; n < best; ++n)
        out.insert(out.end(), middle.begin(), middle.end());
    out.insert(out.end(), tail.begin(), tail.end());
    out.push_back({K::Outro, outro});
    return out;
}

// Half-bar chords of a section: its progression, a bar to a chord (two in
// a breakdown), and a turn back at the end of every eight bars.
std::vector<int> HarmonyOf(Ctx& c, Kind kind, int bars, int variation) {
    std::vector<int> h;
    Progression p = c.verseProg;
    if (kind == Kind::Chorus || kind == Kind::Outro) p = c.chorusProg;
    if (kind == Kind::Bridge) p = c.bridgeProg;
    for (int bar = 0; bar < bars; ++bar) {
        int chord = p[static_cast<std::size_t>(bar % 4)];
        if (kind == Kind::Breakdown) chord = p[static_cast<std::size_t>(bar / 2 % 4)];
        if (kind == Kind::Build) chord = bar < bars / 2 ? 3 : c.turn;
        int second = chord;
        const bool periodEnd = bar % 8 == 7 || bar == bars - 1;
        if (periodEnd && kind != Kind::Build && kind != Kind::Outro && chord != c.turn)
            second = c.turn;
        if (kind == Kind::Intro && variation < 0) chord = second = 0;
        h.push_back(chord);
        h.push_back(second);
    }
    if (kind == Kind::Outro) {
        // The ending closes on the tonic: a turn, then home.
        const auto n = h.size();
        if (c.ending != Ending::Fade) {
            h[n - 4] = h[n - 3] = c.turn;
            h[n - 2] = h[n - 1] = 0;
        }
    }
    return h;
}

Parts PartsOf(Ctx& c, Kind kind, int variation) {
    Parts p;
    switch (kind) {
    case Kind::Intro:
        p.lead = false;
        p.pads = c.rng.Chance(60);
        break;
    case Kind::Verse:
        p.pads = variation > 0;
        p.echo = variation > 0;
        p.counter = variation % 2 == 1;
        p.perc = variation > 0;
        break;
    case Kind::Chorus:
    case Kind::Outro:
        p.counter = p.echo = p.sparkle = p.perc = true;
        break;
    case Kind::Bridge:
        p.counter = p.sparkle = true;
        break;
    case Kind::Breakdown:
        p.drums = false;
        p.bass = c.rng.Chance(50);
        p.lead = c.rng.Chance(50);
        p.echo = p.sparkle = true;
        break;
    case Kind::Build:
        p.lead = p.pads = false;
        break;
    case Kind::Solo:
        p.counter = p.echo = p.perc = true;
        break;
    }
    return p;
}

double LevelOf(Kind kind, int variation) {
    switch (kind) {
    case Kind::Intro:
        return 0.75;
    case Kind::Verse:
        return variation ? 0.85 : 0.8;
    case Kind::Chorus:
    case Kind::Outro:
        return 0.95;
    case Kind::Bridge:
        return 0.75;
    case Kind::Breakdown:
        return 0.7;
    case Kind::Build:
        return 0.6;
    case Kind::Solo:
        return 0.9;
    }
    return 1;
}

void Plan(Ctx& c, double seconds) {
    const std::vector<Block> blocks = Blocks(c, seconds);
    // Some songs rise a step or two for the last chorus and the ending.
    const int raise = c.rng.Chance(45) ? PickOf(c.rng, {1, 2, 2}) : 0;
    std::map<Kind, int> seen;
    int row = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        Section s;
        s.kind = blocks[i].kind;
        s.variation = seen[s.kind]++;
        s.start = row;
        s.bars = blocks[i].bars;
        s.level = LevelOf(s.kind, s.variation);
        if (s.kind == Kind::Build) s.levelTo = 1.0;
        s.parts = PartsOf(c, s.kind, s.variation);
        const bool quietIntro = s.kind == Kind::Intro && c.rng.Chance(30);
        s.harmony = HarmonyOf(c, s.kind, s.bars, quietIntro ? -1 : s.variation);
        if (s.kind == Kind::Intro)
            s.drumsFrom = c.rng.Chance(50) ? 0 : c.rng.Chance(60) ? s.bars / 2 : s.bars;
        if (i + 2 == blocks.size()) {
            s.finale = true;
            s.level = 1.0;
            s.parts.sparkle = s.parts.counter = s.parts.echo = s.parts.perc = true;
            s.parts.pads = true;
        }
        if (i + 2 >= blocks.size()) s.transpose = raise;
        c.sections.push_back(s);
        row += s.bars * RowsPerBar;
    }
    c.totalRows = row;
    Section& outro = c.sections.back();
    // A ring-out ends once its chord has died away, a cold stop half a bar
    // after its stab.
    if (c.ending == Ending::Ring) c.totalRows = outro.start + 3 * RowsPerBar + 24;
    if (c.ending == Ending::Cold) c.totalRows = outro.start + 3 * RowsPerBar + 8;
    outro.bars = (c.totalRows - outro.start + RowsPerBar - 1) / RowsPerBar;
}

// ---- tempo, swing and the end ----

// Puts a control effect on a row in a free cell; in MOD it may push out a
// note's volume, a vibrato or an arpeggio, never a note's timing.
void Control(Ctx& c, int row, Effect e, int param) {
    const std::vector<int> order =
        IsMod(c) ? std::vector<int>{Kit, Bass, Arp, Lead}
                 : std::vector<int>{Hats, Kit, Perc, Sparkle, Counter, Pad3, Pad2, Pad1, Echo};
    for (int pass = 0; pass < 3; ++pass)
        for (int ch : order) {
            if (!HasChannel(c, ch)) continue;
            Cell& cell = At(c, ch, row);
            const bool free = cell.effect == Effect::None && (!IsMod(c) || cell.volume < 0) &&
                              !(IsMod(c) && cell.note == NoteOff);
            const bool takeVolume =
                pass >= 1 && IsMod(c) && cell.effect == Effect::None && cell.note != NoteOff;
            const bool takeEffect =
                pass == 2 && (cell.effect == Effect::Vibrato || cell.effect == Effect::Arpeggio);
            if (free || takeVolume || takeEffect) {
                if (IsMod(c)) cell.volume = -1;
                cell.effect = e;
                cell.param = static_cast<std::uint8_t>(param);
                return;
            }
        }
}

void PlayControl(Ctx& c) {
    const Section& outro = c.sections.back();
    // The swing stops for a slowing or stopping ending, and in MOD (one
    // effect a cell) where the ending's volumes need the cells.
    const int swingEnd = c.ending == Ending::Fade && !IsMod(c) ? c.totalRows : outro.start;
    if (c.swing) {
        for (int row = 0; row < swingEnd; ++row)
            Control(c, row, Effect::SetSpeed, row % 2 ? 6 - c.swing : 6 + c.swing);
        if (swingEnd < c.totalRows) Control(c, swingEnd, Effect::SetSpeed, 6);
    }
    if (c.ending == Ending::Ring) // the last two bars before the chord slow down
        for (int k = 1; k <= 8; ++k)
            Control(c, outro.start + RowsPerBar + 4 * k - 4, Effect::SetTempo,
                    c.bpm * (100 - 4 * k) / 100);
    Control(c, c.totalRows - 1, Effect::PatternBreak, 0);
}

// ---- dynamics ----

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

// ---- loudness ----

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

// ---- instruments ----

modwriter::Envelope Env(std::initializer_list<modwriter::EnvelopePoint> pts, int sustain) {
    modwriter::Envelope e;
    e.points = pts;
    e.sustainPoint = sustain;
    return e;
}

void AddInstruments(Ctx& c, modwriter::Song& song) {
    const bool mod = IsMod(c);
    auto tone = [&](const char* name, Wave w, int ins, double amp, int decay, double sustain) {
        ToneShape t;
        t.wave = w;
        t.cycle = CycleOf(c, ins);
        t.rate = mod ? 8363 : 8363 * t.cycle / 32;
        t.amplitude = amp;
        t.sixteenBit = !mod;
        t.decayCycles = mod ? decay : 0;
        t.sustain = sustain;
        modwriter::Instrument i;
        i.name = name;
        i.sample = ToneSample(t);
        i.sample.volume = mod ? Loudness(c, Level(ins)) : 64;
        return i;
    };
    // The song's own kit.
    Rng kit = c.rng.Fork(0x4B17);
    auto drum = [&](const char* name, Drum d, double tone, double length, double colour) {
        DrumShape s;
        s.drum = d;
        s.sixteenBit = !mod;
        s.tone = tone;
        s.length = length;
        s.colour = colour;
        s.amplitude = 0.95;
        s.noiseSeed = static_cast<std::uint32_t>(kit.Next());
        modwriter::Instrument i;
        i.name = name;
        i.sample = DrumSample(s);
        i.sample.volume =
            mod ? Loudness(c, Level(static_cast<int>(song.instruments.size()) + 1)) : 64;
        return i;
    };
    auto draw = [&](int lo, int hi) { return kit.Range(lo, hi) / 100.0; };
    auto& ins = song.instruments;
    ins.push_back(tone("lead", c.lead, InsLead, 0.9, 90, 0.7));
    ins.push_back(tone("lead two", c.lead2, InsLead2, 0.9, 90, 0.7));
    ins.push_back(tone("arp", c.arp, InsArp, 0.9, 70, 0.45));
    ins.push_back(tone("bass", c.bass, InsBass, 0.95, 8, 0.7));
    ins.push_back(drum("kick", Drum::Kick, draw(78, 118), draw(70, 135), 1));
    ins.push_back(drum("snare", Drum::Snare, draw(80, 125), draw(70, 135), draw(35, 100)));
    ins.push_back(drum("hat", Drum::HatClosed, 1, draw(60, 160), draw(60, 100)));
    ins.push_back(drum("open hat", Drum::HatOpen, 1, draw(70, 130), draw(60, 100)));
    ins.push_back(drum("tom", Drum::Tom, draw(85, 125), draw(80, 120), 1));
    if (mod) return;
    ins.push_back(ins[InsLead - 1]);
    ins.back().name = "echo";
    ins.push_back(tone("pad", c.pad, InsPad, 0.9, 0, 1));
    ins.push_back(ins.back());
    ins.back().name = "pad left";
    ins.push_back(ins.back());
    ins.back().name = "pad right";
    ins.push_back(tone("counter", c.counter, InsCounter, 0.9, 0, 1));
    ins.push_back(tone("sparkle", Wave::Bell, InsSparkle, 0.9, 0, 1));
    ins.push_back(drum("clap", Drum::Clap, 1, 1, draw(50, 100)));
    ins.push_back(drum("crash", Drum::Crash, 1, draw(80, 110), draw(70, 100)));
    ins.push_back(drum("shaker", Drum::Shaker, 1, draw(80, 130), draw(40, 90)));
    ins.push_back(drum("rim", Drum::Rim, draw(85, 120), 1, 1));

    const auto lead = Env({{0, 64}, {6, 52}, {30, 44}}, 2);
    for (int i : {InsLead, InsLead2, InsEcho}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = lead;
        ins[static_cast<std::size_t>(i - 1)].fadeout = 1200;
    }
    ins[InsArp - 1].volumeEnvelope = Env({{0, 64}, {8, 40}, {40, 26}}, 2);
    ins[InsArp - 1].fadeout = 1600;
    ins[InsBass - 1].volumeEnvelope = Env({{0, 64}, {10, 52}, {40, 46}}, 2);
    ins[InsBass - 1].fadeout = 2000;
    for (int i : {InsPad, InsPadLeft, InsPadRight}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = Env({{0, 0}, {20, 48}, {40, 64}}, 2);
        ins[static_cast<std::size_t>(i - 1)].fadeout = 400;
    }
    ins[InsCounter - 1].volumeEnvelope = Env({{0, 24}, {8, 64}, {40, 48}}, 2);
    ins[InsCounter - 1].fadeout = 800;
    ins[InsSparkle - 1].volumeEnvelope = Env({{0, 64}, {12, 30}, {60, 8}, {90, 0}}, -1);
    ins[InsSparkle - 1].fadeout = 1000;
    // XM pans by instrument, IT by channel: arpeggio, pads, echo and
    // counter line stand apart from the centre.
    const std::pair<int, int> pans[] = {
        {InsLead, 26},    {InsLead2, 38},  {InsEcho, 58},     {InsArp, 8},
        {InsPad, 32},     {InsPadLeft, 4}, {InsPadRight, 60}, {InsCounter, 52},
        {InsSparkle, 54}, {InsHat, 46},    {InsOpenHat, 46},  {InsClap, 22},
        {InsCrash, 40},   {InsShaker, 50}, {InsRim, 16},      {InsTom, 26},
    };
    for (auto [i, pan] : pans)
        ins[static_cast<std::size_t>(i - 1)].sample.panning = c.format == Format::Xm ? pan : -1;
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
std::string MainDrumBar(const Ctx& c, const modwriter::Song& song) {
    std::map<std::string, int> counts;
    std::vector<std::string> bars;
    std::vector<int> sounding(static_cast<std::size_t>(song.channels), 0);
    std::string bar;
    int row = 0;
    for (int order : song.orders) {
        const modwriter::Pattern& p = song.patterns[static_cast<std::size_t>(order)];
        for (int r = 0; r < p.rows && row < c.totalRows; ++r, ++row) {
            for (int ch = 0; ch < p.channels; ++ch) {
                const Cell& cell = p.at(r, ch);
                if (cell.instrument) sounding[static_cast<std::size_t>(ch)] = cell.instrument;
                const int ins = sounding[static_cast<std::size_t>(ch)];
                if (cell.note < 120 && IsDrum(ins))
                    bar += std::to_string(row % RowsPerBar) + " " +
                           song.instruments[static_cast<std::size_t>(ins - 1)].name + "; ";
            }
            if (row % RowsPerBar == RowsPerBar - 1) bars.push_back(bar), bar.clear();
        }
    }
    bars.push_back(bar);
    for (const auto& b : bars)
        if (!b.empty()) ++counts[b];
    std::string best;
    int most = 0;
    for (const auto& b : bars)
        if (!b.empty() && counts[b] > most) most = counts[b], best = b;
    return best;
}

std::vector<std::string> AuthorStyles(const std::string& author) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = author.find(", ", from);
        out.push_back(
            author.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) return out;
        from = comma + 2;
    }
}

// One song from one seed.
bool ComposeFrom(const SongEntry& row, std::uint64_t seed, Composition* out, std::string* error) {
    const std::string path(row.path, strnlen(row.path, sizeof row.path));
    const std::string prefix = ".\\songs\\";
    if (path.rfind(prefix, 0) != 0) {
        *error = "path \"" + path + "\" does not start with .\\songs\\";
        return false;
    }
    const auto format = modwriter::FormatOfPath(path);
    if (!format) {
        *error = "path \"" + path + "\" names no module format (.mod, .xm, .it)";
        return false;
    }
    const std::string author(row.author, strnlen(row.author, sizeof row.author));
    std::vector<const Style*> styles;
    for (const auto& n : AuthorStyles(author)) {
        const Style* s = FindStyle(n);
        if (!s) {
            *error = "author \"" + author + "\" names no style preset (\"" + n + "\")";
            return false;
        }
        styles.push_back(s);
    }

    Ctx c;
    c.style = styles[0];
    c.voice = styles.back();
    c.format = *format;
    c.rng = Rng{seed};
    c.channels = c.format == Format::Mod  ? 4
                 : c.format == Format::Xm ? c.rng.Pick(std::vector<int>{6, 8, 9, 10})
                                          : c.rng.Pick(std::vector<int>{8, 10, 12});
    c.key = c.rng.Range(0, 11);
    c.modeName = c.rng.Pick(c.style->modes);
    c.mode = ModeSteps(c.modeName);
    c.bpm = c.rng.Range(c.style->bpmLow, c.style->bpmHigh);
    c.swing = c.rng.Pick(c.style->swings);
    c.form = c.rng.Pick(c.style->forms);
    c.ending = c.rng.Pick(c.style->endings);
    c.lead = c.rng.Pick(c.voice->leads);
    do
        c.lead2 = c.rng.Pick(c.voice->leads);
    while (c.lead2 == c.lead && c.voice->leads.size() > 1);
    c.arp = c.rng.Pick(c.voice->arps);
    c.bass = c.rng.Pick(c.style->basses);
    c.pad = c.rng.Pick(c.style->pads);
    c.counter = c.rng.Pick(c.style->counters);
    // The bass's tonic between A1 and G#2 (55..104 Hz); a few songs play
    // it an octave up.
    c.bassTonic = 33 + (c.key + 3) % 12 + (c.rng.Chance(12) ? 12 : 0);
    c.leadTonic = 60 + c.key;
    c.verseProg = c.rng.Pick(c.style->progressions);
    do
        c.chorusProg = c.rng.Pick(c.style->progressions);
    while (c.chorusProg == c.verseProg);
    c.bridgeProg = c.rng.Pick(c.style->bridges);
    c.turn = c.rng.Pick(c.style->turns);
    {
        std::vector<const char*> lines = c.style->bassLines;
        for (auto& l : c.bassLines) {
            const auto at =
                static_cast<std::size_t>(c.rng.Range(0, static_cast<int>(lines.size()) - 1));
            l = lines[at];
            if (lines.size() > 1) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    c.arpHits = c.rng.Pick(c.voice->arpHits);
    ChooseGroove(c);
    ChooseThemes(c);

    Plan(c, c.rng.Range(160, 215));
    c.track.assign(Channels, std::vector<Cell>(static_cast<std::size_t>(c.totalRows)));
    std::array<int, 3> voices = {64, 67, 72};
    for (std::size_t i = 0; i < c.sections.size(); ++i) {
        const Section& s = c.sections[i];
        PlayDrums(c, i);
        PlayBass(c, s);
        PlayArp(c, s);
        PlayPads(c, s, voices);
        PlayLead(c, i);
        PlayCounter(c, s);
        PlaySparkle(c, s);
    }
    PlayEcho(c);
    PlayControl(c);

    Composition comp;
    comp.format = c.format;
    comp.fileName = path.substr(prefix.size());
    comp.style = c.style->name;
    comp.bpm = c.bpm;
    comp.swing = c.swing;
    comp.key = c.key;
    comp.mode = c.modeName;
    comp.form = FormName(c.form);
    comp.ending = EndingName(c.ending);
    comp.leadSound = WaveName(c.lead);
    comp.seed = seed;
    for (const Section& sec : c.sections) {
        static const char* const kinds[] = {"intro",     "verse", "chorus", "bridge",
                                            "breakdown", "build", "solo",   "outro"};
        comp.plan.push_back({kinds[static_cast<int>(sec.kind)], sec.bars, sec.transpose});
    }
    comp.arpChannel = c.format == Format::Mod ? 3 : Arp;
    modwriter::Song& song = comp.song;
    song.name = std::string(row.title, strnlen(row.title, sizeof row.title));
    for (char& ch : song.name)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    song.channels = c.format == Format::Mod ? 4 : c.channels;
    song.speed = c.swing ? 6 + c.swing : 6;
    song.tempo = c.bpm;
    if (c.format == Format::It) {
        static const int pans[Channels] = {32, 26, 8, 32, 46, 58, 4, 60, 18, 52, 32, 54};
        song.panning.assign(pans, pans + song.channels);
    }
    AddInstruments(c, song);
    Shape(c);
    Normalise(c, song);
    Chop(c, song);
    comp.mainDrumBar = MainDrumBar(c, song);
    const int halves = static_cast<int>(song.orders.size()) * RowsPerPattern / (RowsPerBar / 2);
    for (int h = 0; h < halves; ++h) {
        const int at = std::min(h * RowsPerBar / 2, c.totalRows - 1);
        const int root = ChordAt(c, at);
        std::array<int, 3> triad{};
        for (int k = 0; k < 3; ++k)
            triad[static_cast<std::size_t>(k)] =
                (Pitch(c, c.key, root + 2 * k) + SectionAt(c, at).transpose) % 12;
        comp.chords.push_back(triad);
    }
    const std::string err = modwriter::Check(song, c.format);
    if (!err.empty()) {
        *error = comp.fileName + ": " + err;
        return false;
    }
    *out = std::move(comp);
    return true;
}

} // namespace
} // namespace detail

std::uint64_t SeedOf(const SongEntry& row) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&](const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n && s[i]; ++i) {
            h ^= static_cast<unsigned char>(s[i]);
            h *= 1099511628211ull;
        }
        h ^= 0xff;
        h *= 1099511628211ull;
    };
    mix(row.title, sizeof row.title);
    mix(row.path, sizeof row.path);
    mix(row.author, sizeof row.author);
    return h;
}

const std::vector<std::string>& StyleNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const Style& s : Styles())
            v.push_back(s.name);
        return v;
    }();
    return names;
}

bool NearTwins(const Composition& a, const Composition& b) {
    if (!a.mainDrumBar.empty() && a.mainDrumBar == b.mainDrumBar) return true;
    return a.style == b.style && a.mode == b.mode && a.leadSound == b.leadSound &&
           std::abs(a.bpm - b.bpm) <= 4;
}

bool Compose(const SongEntry& row, Composition* out, std::string* error,
             const std::vector<Composition>& earlier) {
    constexpr int MaxSeeds = 64;
    for (int refused = 0; refused < MaxSeeds; ++refused) {
        Composition c;
        if (!detail::ComposeFrom(row, SeedOf(row) + static_cast<std::uint64_t>(refused), &c, error))
            return false;
        if (std::none_of(earlier.begin(), earlier.end(),
                         [&](const Composition& e) { return NearTwins(c, e); })) {
            c.refused = refused;
            *out = std::move(c);
            return true;
        }
    }
    *error = "every one of " + std::to_string(MaxSeeds) + " seeds made a near twin";
    return false;
}

bool ComposePlaylist(std::vector<Composition>* out, std::string* error) {
    out->clear();
    for (int i = 0; i < SongTable.count; ++i) {
        Composition c;
        std::string err;
        if (!Compose(SongTable.entries[i], &c, &err, *out)) {
            *error = "song " + std::to_string(i) + ": " + err;
            return false;
        }
        out->push_back(std::move(c));
    }
    return true;
}

} // namespace composer
