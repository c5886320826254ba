#include "composer.h"

#include "styles.h"
#include "synth.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

namespace composer {
namespace {

using modwriter::Cell;
using modwriter::Effect;
using modwriter::Format;
using modwriter::NoNote;
using modwriter::NoteOff;

constexpr int RowsPerBar = 16;
constexpr int RowsPerPattern = 64;
constexpr int EndingRows = 40; // the last pattern breaks off after these
constexpr int DrumNote = 72;   // C-6 plays the drums at the 16726 Hz they are made for

// splitmix64: the same sequence on every machine and compiler.
struct Rng {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % std::uint64_t(hi - lo + 1)); }
    bool Chance(int percent) { return Range(0, 99) < percent; }
    template <typename T>
    const T& Pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(Range(0, static_cast<int>(v.size()) - 1))];
    }
};

// Channels, by the part they play. MOD has only the first four, and its
// kit channel also plays the hats.
enum Channel { Bass, Lead, Arp, Kit, Hats, Echo, Pad1, Pad2, Pad3, Counter, Sparkle, Perc };

enum Ins {
    InsLead = 1,
    InsLead2,
    InsArp,
    InsBass,
    InsKick,
    InsSnare,
    InsHatClosed,
    InsHatOpen,
    InsEcho,
    InsPad,
    InsCounter,
    InsSparkle,
    InsClap,
};

enum class Kind { Intro, A, B, Bridge, Breakdown, Ending };

struct Section {
    Kind kind;
    int variation; // how many times this kind played before
    int start;     // first row
    int bars;
    const Progression* progression;
    int transpose = 0; // semitones: the last return and the ending may rise
};

struct MelNote {
    int row; // from the motif's start
    int len;
    int step; // scale steps from the previous note
};
using Motif = std::vector<MelNote>;

struct Ctx {
    const Style* style;
    const Style* voice; // the style whose lead and arp sounds are used
    Format format;
    int channels;
    Rng rng;
    int key;
    const std::array<int, 7>* mode;
    int bpm, swing;
    int totalRows = 0;
    std::vector<std::vector<Cell>> track;
    std::vector<Section> sections;
    Progression progA, progB, progC;
    Motif motifA, motifB;
    int leadTonic; // MIDI pitch of the tonic in the lead's octave
    int lastLeadDegree = 7;
    int finaleStart = 1 << 30; // first row after the last bridge
    // This song's own takes on its style's patterns.
    std::string kick, snare, hats, arpHits;
    bool quietIntro = false; // the intro opens on bass and arp, the drums come in later
};

// A style's drum and arp patterns with a few changes of the song's own.
void VaryPatterns(Ctx& c) {
    c.kick = c.style->kick;
    c.snare = c.style->snare;
    c.hats = c.style->hats;
    c.arpHits = c.voice->arpHits;
    static const int kickSpots[] = {3, 6, 10, 11, 14};
    if (c.rng.Chance(60)) c.kick[static_cast<std::size_t>(kickSpots[c.rng.Range(0, 4)])] = 'x';
    if (c.rng.Chance(30)) c.snare[15] = 'x';
    if (c.rng.Chance(40))
        for (std::size_t r = 1; r < 16; r += 2)
            if (c.hats[r] == '.') c.hats[r] = 'g';
    static const char* const arps[] = {"x.......x.......", "x...x...x...x...", "x..x..x.x..x..x.",
                                       "x.x.x.x.x.x.x.x.", "x.....x.....x..."};
    if (c.rng.Chance(40)) c.arpHits = arps[c.rng.Range(0, 4)];
    c.quietIntro = c.style->bpmHigh < 130 && c.rng.Chance(50);
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int Pitch(const Ctx& c, int tonic, int degree) {
    const int d = ((degree % 7) + 7) % 7;
    return tonic + (*c.mode)[d] + 12 * FloorDiv(degree, 7);
}

bool IsChordTone(int degree, int root) {
    return (((degree - root) % 7 + 7) % 7) % 2 == 0 && (((degree - root) % 7 + 7) % 7) != 6;
}

// The chord tone nearest a degree; on a tie, the one in the direction the
// melody is moving.
int NearestChordTone(int degree, int root, int direction = -1) {
    const int first = direction > 0 ? 1 : -1;
    for (int d = 0; d < 4; ++d) {
        if (IsChordTone(degree + first * d, root)) return degree + first * d;
        if (IsChordTone(degree - first * d, root)) return degree - first * d;
    }
    return degree;
}

bool IsMod(const Ctx& c) {
    return c.format == Format::Mod;
}

// Frames a cycle for each tonal instrument, and the semitone shift that
// plays a MIDI pitch on it (MOD plays every sample at 8363 Hz for C-5).
int CycleOf(const Ctx& c, int ins) {
    switch (ins) {
    case InsBass:
        return IsMod(c) ? 64 : 128;
    case InsPad:
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

Cell& At(Ctx& c, int ch, int row) {
    return c.track[ch][static_cast<std::size_t>(row)];
}

bool HasChannel(const Ctx& c, int ch) {
    if (IsMod(c)) return ch <= Kit;
    return ch < c.channels;
}

// Each instrument's volume before the format's and the style's loudness.
int Level(int ins) {
    static const std::map<int, int> levels = {
        {InsLead, 48},    {InsLead2, 46},     {InsArp, 34},     {InsBass, 46}, {InsKick, 64},
        {InsSnare, 50},   {InsHatClosed, 30}, {InsHatOpen, 24}, {InsEcho, 16}, {InsPad, 11},
        {InsCounter, 20}, {InsSparkle, 16},   {InsClap, 22},
    };
    return levels.at(ins);
}

// XM and IT mix quieter than MOD at the same volumes: XM notes play a
// quarter louder, the denser IT songs an eighth.
int Loudness(const Ctx& c, int volume) {
    // The slow styles' sparse drums leave room: their notes play an eighth louder.
    if (c.style->bpmHigh <= 114) volume = (volume * 9 + 4) / 8;
    if (IsMod(c)) return std::min(64, volume);
    return std::min(64, c.format == Format::Xm ? (volume * 5 + 2) / 4 : (volume * 9 + 4) / 8);
}

const Section& SectionAt(const Ctx& c, int row);

// Writes a note, raised with its section; MOD notes play at their sample's
// own volume.
void Put(Ctx& c, int ch, int row, int ins, int midi, int volume = -1) {
    if (!HasChannel(c, ch) || row < 0 || row >= c.totalRows) return;
    const bool drum = ins >= InsKick && ins <= InsHatOpen;
    if (!drum && ins != InsClap) midi += SectionAt(c, row).transpose;
    Cell& cell = At(c, ch, row);
    cell.note = static_cast<std::uint8_t>(NoteFor(c, ins, midi));
    cell.instrument = static_cast<std::uint8_t>(ins);
    if (!IsMod(c))
        cell.volume = static_cast<std::int8_t>(Loudness(c, volume < 0 ? Level(ins) : volume));
    else
        cell.volume = -1;
}

void Off(Ctx& c, int ch, int row) {
    if (!HasChannel(c, ch) || row < 0 || row >= c.totalRows) return;
    Cell& cell = At(c, ch, row);
    if (cell.note == NoNote && cell.effect == Effect::None && cell.volume < 0) cell.note = NoteOff;
}

void SetEffect(Ctx& c, int ch, int row, Effect e, int param) {
    if (!HasChannel(c, ch) || row < 0 || row >= c.totalRows) return;
    Cell& cell = At(c, ch, row);
    if (cell.effect != Effect::None || (IsMod(c) && cell.note == NoteOff)) return;
    cell.effect = e;
    cell.param = static_cast<std::uint8_t>(param);
}

const Section& SectionAt(const Ctx& c, int row) {
    for (const Section& s : c.sections)
        if (row >= s.start && row < s.start + s.bars * RowsPerBar) return s;
    return c.sections.back();
}

int ChordAt(const Ctx& c, int row) {
    const Section& s = SectionAt(c, row);
    const int bar = (row - s.start) / RowsPerBar;
    return (*s.progression)[static_cast<std::size_t>(bar % 4)];
}

// ---- melody ----

// Two bars of rhythm from the style's cells, with scale steps between the
// notes. A motif of 4..14 notes that starts in the first beat is wanted; a
// second motif avoids the first one's opening length.
Motif MakeMotif(Rng& rng, const Style& style, int avoidFirstLength) {
    for (int attempt = 0;; ++attempt) {
        const bool settle = attempt >= 200; // take what comes rather than search on
        std::string rows;
        int total = 0;
        for (const RhythmCell& rc : style.rhythm)
            total += rc.weight;
        for (int cell = 0; cell < 8; ++cell) {
            int pick = rng.Range(0, total - 1);
            const char* steps = style.rhythm[0].steps;
            for (const RhythmCell& rc : style.rhythm) {
                if (pick < rc.weight) {
                    steps = rc.steps;
                    break;
                }
                pick -= rc.weight;
            }
            if (cell == 7) steps = rng.Chance(50) ? "x===" : "====";
            rows += steps;
        }
        Motif m;
        bool sounding = false;
        for (int r = 0; r < 32; ++r) {
            const char ch = rows[static_cast<std::size_t>(r)];
            if (ch == 'x') {
                m.push_back({r, 1, 0});
                sounding = true;
            } else if (ch == '=' && sounding) {
                ++m.back().len;
            } else {
                sounding = false;
            }
        }
        if (m.empty()) continue;
        if (!settle && (m.size() < 4 || m.size() > 14 || m[0].row > 4)) continue;
        if (!settle && avoidFirstLength >= 0 && m[0].len == avoidFirstLength) continue;
        int lastStep = 0;
        for (std::size_t i = 1; i < m.size(); ++i) {
            static const std::vector<int> steps = {0,  0,  1, 1, 1,  1,  1, -1, -1, -1,
                                                   -1, -1, 2, 2, -2, -2, 3, -3, 4,  -4};
            int s = rng.Pick(steps);
            if (std::abs(lastStep) >= 3) s = lastStep > 0 ? -1 : 1; // a leap turns back
            m[i].step = s;
            lastStep = s;
        }
        return m;
    }
}

struct LeadRange {
    int low, high; // scale degrees
};

LeadRange RangeOf(const Ctx& c) {
    const int lowMidi = IsMod(c) ? 60 : 62, highMidi = IsMod(c) ? 81 : 86;
    int low = -7, high = 21;
    while (Pitch(c, c.leadTonic, low) < lowMidi)
        ++low;
    while (Pitch(c, c.leadTonic, high) > highMidi)
        --high;
    return {low, high};
}

int Fold(int degree, LeadRange r) {
    while (degree > r.high)
        degree -= 7;
    while (degree < r.low)
        degree += 7;
    return degree;
}

struct Played {
    int row, len, degree;
};

// Plays a motif from `row` starting on the chord tone nearest `anchor`.
// `cadence` >= 0 ends the statement after its first bar with a long note
// on the chord tone nearest that degree.
std::vector<Played> Realise(const Ctx& c, const Motif& m, int row, int anchor, int cadence,
                            Rng* mutate) {
    const LeadRange range = RangeOf(c);
    std::vector<Played> out;
    int degree = anchor;
    for (std::size_t i = 0; i < m.size(); ++i) {
        const MelNote& n = m[i];
        if (cadence >= 0 && n.row >= 16) break;
        int step = n.step;
        if (mutate && i > 0 && mutate->Chance(22)) step += mutate->Chance(50) ? 1 : -1;
        const int at = row + n.row;
        const int root = ChordAt(c, at);
        const int previous = degree;
        degree = i == 0 ? NearestChordTone(anchor, root) : degree + step;
        // Past the edge of the range the phrase turns back instead of
        // jumping an octave.
        if (i > 0 && (degree > range.high || degree < range.low)) degree = previous - step;
        if (n.row % 8 == 0 || n.len >= 6) degree = NearestChordTone(degree, root, step);
        degree = Fold(degree, range);
        int len = n.len;
        if (cadence >= 0 && i + 1 < m.size() && m[i + 1].row >= 16) len = std::min(len, 16 - n.row);
        out.push_back({at, len, degree});
    }
    if (cadence >= 0) {
        const int at = row + 16;
        int d = Fold(NearestChordTone(cadence, ChordAt(c, at)), range);
        out.push_back({at, 12, d});
    }
    return out;
}

void PlayLead(Ctx& c, const std::vector<Played>& notes, int ins, int volumeDrop, int sectionEnd) {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Played& p = notes[i];
        const int midi = Pitch(c, c.leadTonic, p.degree);
        const int end = std::min(p.row + p.len, sectionEnd);
        Put(c, Lead, p.row, ins, midi, Level(ins) - volumeDrop);
        const bool legato = i > 0 && notes[i - 1].row + notes[i - 1].len == p.row;
        if (c.style->slides && legato && p.len >= 6 &&
            std::abs(p.degree - notes[i - 1].degree) <= 2 && c.rng.Chance(50))
            SetEffect(c, Lead, p.row, Effect::TonePorta, 0x28);
        if (c.voice->vibrato && p.len >= 6)
            for (int r = p.row + 3; r < end; ++r)
                SetEffect(c, Lead, r, Effect::Vibrato, c.voice->vibrato);
        const bool followed = i + 1 < notes.size() && notes[i + 1].row == p.row + p.len;
        if (!followed && end < sectionEnd) Off(c, Lead, end);
        c.lastLeadDegree = p.degree;
    }
}

// Eight bars of tune: statement, answer, statement, cadence.
void Phrase(Ctx& c, const Section& s, const Motif& m, int halfIndex) {
    const int start = s.start + halfIndex * 8 * RowsPerBar;
    const int end = s.start + s.bars * RowsPerBar;
    const LeadRange range = RangeOf(c);
    const int centre = (range.low + range.high) / 2;
    Rng mutate{c.rng.state ^ (0x51ED2701u * static_cast<std::uint64_t>(s.variation + 1))};
    Rng* vary = s.variation > 0 ? &mutate : nullptr;
    const int lift = (c.key + static_cast<int>(s.kind == Kind::B)) % 2 ? 2 : -1;
    const int ins = s.variation % 2 ? InsLead2 : InsLead;
    std::vector<Played> all;
    auto add = [&](std::vector<Played> v) { all.insert(all.end(), v.begin(), v.end()); };
    add(Realise(c, m, start, centre, -1, nullptr));
    add(Realise(c, m, start + 32, centre + lift, -1, vary));
    add(Realise(c, m, start + 64, centre, -1, vary));
    const int home = halfIndex == 0 && s.bars > 8 ? centre + 4 : (centre / 7) * 7 + 7;
    add(Realise(c, m, start + 96, centre, home, vary));
    std::vector<Played> kept;
    for (const Played& p : all)
        if (p.row < end) kept.push_back(p);
    PlayLead(c, kept, ins, 0, end);
}

// Two notes at the end of the intro that step up into the first theme.
void Pickup(Ctx& c, const Section& s) {
    const LeadRange range = RangeOf(c);
    const int next = s.start + s.bars * RowsPerBar;
    const auto first = Realise(c, c.motifA, next, (range.low + range.high) / 2, -1, nullptr);
    if (first.empty() || first[0].row != next) return;
    const int d = first[0].degree;
    PlayLead(c, {{next - 4, 2, Fold(d - 2, range)}, {next - 2, 2, Fold(d - 1, range)}}, InsLead, 8,
             next);
}

// Long notes on chord tones, one or two a bar, moving by step.
// Every other bridge trades bars: the lead calls with the opening bar of
// the first theme on the bridge's chords, the arpeggios answer.
void CallAndAnswer(Ctx& c, const Section& s) {
    const LeadRange range = RangeOf(c);
    const int centre = (range.low + range.high) / 2;
    std::vector<Played> notes;
    for (int bar = 0; bar < s.bars; bar += 2) {
        const int row = s.start + bar * RowsPerBar;
        for (Played p : Realise(c, c.motifA, row, centre + (bar / 2) % 2 * 2, -1, nullptr)) {
            if (p.row >= row + RowsPerBar) break;
            p.len = std::min(p.len, row + RowsPerBar - p.row);
            notes.push_back(p);
        }
    }
    PlayLead(c, notes, InsLead2, 2, s.start + s.bars * RowsPerBar);
}

void BridgeLead(Ctx& c, const Section& s) {
    if (s.variation % 2) return CallAndAnswer(c, s);
    const LeadRange range = RangeOf(c);
    std::vector<Played> notes;
    int degree = Fold(c.lastLeadDegree, range);
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row = s.start + bar * RowsPerBar;
        const int root = ChordAt(c, row);
        degree = Fold(NearestChordTone(degree + (bar % 2 ? -1 : 1), root), range);
        if (bar % 4 == 3) {
            notes.push_back({row, 8, degree});
            notes.push_back({row + 8, 6, Fold(NearestChordTone(degree - 2, root), range)});
        } else {
            notes.push_back({row, 14, degree});
        }
    }
    PlayLead(c, notes, InsLead, 6, s.start + s.bars * RowsPerBar);
}

// ---- accompaniment ----

void PlayBass(Ctx& c, const Section& s) {
    const char* line = s.kind == Kind::B ? c.style->bassLines[1] : c.style->bassLines[0];
    if (s.kind == Kind::Bridge) line = "R=======F=======";
    if (s.kind == Kind::Ending) line = "R===============";
    const int tonic = 40 + (c.key + 8) % 12 - 8 + 8; // E2..D#3
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * RowsPerBar;
        const int root = ChordAt(c, row0);
        const int next = bar + 1 < s.bars ? ChordAt(c, row0 + RowsPerBar) : root;
        int rootPitch = Pitch(c, tonic, root);
        if (rootPitch > tonic + 6) rootPitch -= 12;
        for (int r = 0; r < RowsPerBar; ++r) {
            const char t = line[r];
            int midi = -1;
            if (t == 'R') midi = rootPitch;
            if (t == 'O') midi = rootPitch + 12;
            if (t == 'F') midi = rootPitch + Pitch(c, 0, root + 4) - Pitch(c, 0, root);
            if (midi >= 0 && r >= 12 && next != root && s.variation > 0 && r == 14) {
                // A step into the next chord's root.
                int np = Pitch(c, tonic, next);
                if (np > tonic + 6) np -= 12;
                midi = Pitch(c, tonic, next - 1) + (np - Pitch(c, tonic, next));
            }
            if (midi >= 0) Put(c, Bass, row0 + r, InsBass, midi);
            if (t == '.' && (r == 0 || line[r - 1] != '.')) Off(c, Bass, row0 + r);
        }
    }
    if (s.kind == Kind::Ending) Off(c, Bass, s.start + EndingRows - 4);
}

int ArpRoot(const Ctx& c, int root) {
    int p = Pitch(c, 57 + (c.key + 3) % 12 - 3 + 3, root); // around A3..G#4
    while (p > 69)
        p -= 12;
    while (p < 57)
        p += 12;
    return p;
}

void PlayArp(Ctx& c, const Section& s) {
    const bool broken = (c.style->brokenChords &&
                         (s.kind == Kind::Bridge || (s.kind == Kind::B && s.variation > 0))) ||
                        (s.kind == Kind::Bridge && s.variation % 2);
    for (int bar = 0; bar < s.bars; ++bar) {
        if (s.kind == Kind::Intro && bar < 2 && !c.quietIntro) continue;
        const int row0 = s.start + bar * RowsPerBar;
        const int root = ChordAt(c, row0);
        const int base = ArpRoot(c, root);
        const int third = Pitch(c, 0, root + 2) - Pitch(c, 0, root);
        const int fifth = Pitch(c, 0, root + 4) - Pitch(c, 0, root);
        if (broken) {
            static const int order[8] = {0, 1, 2, 3, 2, 1, 2, 1};
            const int tones[4] = {base, base + third, base + fifth, base + 12};
            for (int r = 0; r < RowsPerBar; ++r)
                Put(c, Arp, row0 + r, InsArp, tones[order[r % 8]], Level(InsArp) - (r % 2 ? 8 : 2));
            continue;
        }
        for (int r = 0; r < RowsPerBar; ++r) {
            if (s.kind == Kind::Ending && bar * RowsPerBar + r >= 16) break;
            if (c.arpHits[static_cast<std::size_t>(r)] == 'x' || r == 0)
                Put(c, Arp, row0 + r, InsArp, base);
            SetEffect(c, Arp, row0 + r, Effect::Arpeggio, third << 4 | fifth);
        }
    }
    if (s.kind == Kind::Ending) Off(c, Arp, s.start + 16);
}

void PlayPads(Ctx& c, const Section& s, std::array<int, 3>& voices) {
    if (IsMod(c)) return;
    for (int bar = 0; bar < s.bars; ++bar) {
        if (s.kind == Kind::Intro && bar < 2 && c.bpm > 120) continue;
        if (s.kind == Kind::Ending && bar > 0) break;
        const int row0 = s.start + bar * RowsPerBar;
        const int root = ChordAt(c, row0);
        std::vector<int> pcs;
        for (int k = 0; k < (c.style->sevenths ? 4 : 3); ++k)
            pcs.push_back(Pitch(c, c.key, root + 2 * k) % 12);
        std::vector<int> taken;
        for (int v = 0; v < 3; ++v) {
            const int ch = Pad1 + v;
            if (!HasChannel(c, ch)) break;
            int best = -1;
            for (int p = 55; p <= 74; ++p) {
                if (std::find(pcs.begin(), pcs.end(), p % 12) == pcs.end()) continue;
                if (std::find(taken.begin(), taken.end(), p % 12) != taken.end()) continue;
                if (best < 0 || std::abs(p - voices[v]) < std::abs(best - voices[v])) best = p;
            }
            if (best < 0) continue;
            taken.push_back(best % 12);
            if (best != voices[v] || bar == 0) Put(c, ch, row0, InsPad, best);
            voices[v] = best;
        }
    }
    if (s.kind == Kind::Ending)
        for (int ch = Pad1; ch <= Pad3; ++ch)
            Off(c, ch, s.start + EndingRows - 4);
}

void PlayDrums(Ctx& c, const Section& s) {
    const int hatCh = IsMod(c) ? Kit : Hats;
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * RowsPerBar;
        const bool lastBar = bar == s.bars - 1 && s.kind != Kind::Ending;
        for (int r = 0; r < RowsPerBar; ++r) {
            const int row = row0 + r;
            const auto at = static_cast<std::size_t>(r);
            bool kick = c.kick[at] == 'x', snare = c.snare[at] == 'x';
            char hat = c.hats[at];
            if (s.kind == Kind::Intro && bar < 2) snare = false;
            if (s.kind == Kind::Intro && bar < 2 && c.quietIntro) kick = false, hat = '.';
            if (s.kind == Kind::Bridge || s.kind == Kind::Breakdown) {
                kick = r == 0 || (r == 10 && bar % 2);
                snare = r == 8;
                hat = r % 4 == 0 ? 'g' : r % 4 == 2 && s.kind == Kind::Bridge ? 'g' : '.';
            }
            if (s.kind == Kind::Ending) {
                kick = r == 0 && bar == 0;
                snare = false;
                hat = r == 0 && bar == 0 ? 'o' : '.';
            }
            if (lastBar && r >= 12 && s.kind != Kind::Breakdown) {
                snare = true;
                kick = r == 12;
            }
            if (s.variation > 0 && hat == '.' && r % 2 == 0 && s.kind != Kind::Bridge) hat = 'g';
            const int snareVol = lastBar && r >= 12 ? 34 + 4 * (r - 12) : Level(InsSnare);
            if (kick && !(snare && r % 8 == 4))
                Put(c, Kit, row, InsKick, DrumNote);
            else if (snare)
                Put(c, Kit, row, InsSnare, DrumNote, snareVol);
            if (IsMod(c) && (kick || snare)) continue;
            // Hats lean on the beat and lighten off it.
            if (hat == 'x')
                Put(c, hatCh, row, InsHatClosed, DrumNote, Level(InsHatClosed) + (r % 4 ? -3 : 2));
            if (hat == 'g') Put(c, hatCh, row, InsHatClosed, DrumNote, Level(InsHatClosed) - 8);
            if (hat == 'o') Put(c, hatCh, row, InsHatOpen, DrumNote);
            if (HasChannel(c, Perc) && snare && (s.kind == Kind::B || s.variation > 0))
                Put(c, Perc, row, InsClap, DrumNote);
            else if (HasChannel(c, Perc) && r == 14 && bar % 2 == 1 && s.kind != Kind::Ending)
                Put(c, Perc, row, InsHatOpen, DrumNote, 14);
        }
    }
}

// The lead again, three rows later, softer and on the other side.
// In the finale (after the last bridge) it doubles the lead an octave up
// instead.
void PlayEcho(Ctx& c) {
    if (!HasChannel(c, Echo)) return;
    const int maxNote = c.format == Format::Xm ? 107 : 119;
    for (int row = 0; row < c.totalRows; ++row) {
        const Cell& src = c.track[Lead][static_cast<std::size_t>(row)];
        if (src.note == NoNote) continue;
        const bool finale = row >= c.finaleStart;
        const int at = finale ? row : row + 3;
        if (at >= c.totalRows) break;
        Cell& dst = At(c, Echo, at);
        dst.note = src.note;
        if (src.note == NoteOff) continue;
        dst.instrument = InsEcho;
        dst.volume = static_cast<std::int8_t>(std::max(0, src.volume * (finale ? 1 : 2) / 5));
        if (finale && src.note + 12 <= maxNote) dst.note = static_cast<std::uint8_t>(src.note + 12);
    }
}

void PlayCounter(Ctx& c, const Section& s) {
    if (!HasChannel(c, Counter) || s.kind == Kind::Intro || s.kind == Kind::Ending) return;
    if (s.kind == Kind::A && s.variation == 0) return;
    int leadPitch = -1;
    for (int row = s.start; row < s.start + s.bars * RowsPerBar; ++row) {
        const Cell& l = c.track[Lead][static_cast<std::size_t>(row)];
        if (l.note == NoteOff) leadPitch = -1;
        if (l.note < 120) leadPitch = l.note;
        if ((row - s.start) % 8) continue;
        const int root = ChordAt(c, row);
        const int ceiling = leadPitch > 0 ? leadPitch - 3 : 67;
        int best = -1;
        for (int p = 48; p <= std::min(ceiling, 69); ++p) {
            const int pc = ((p - c.key) % 12 + 12) % 12;
            for (int k = 0; k < 3; ++k)
                if ((*c.mode)[static_cast<std::size_t>((root + 2 * k) % 7)] == pc) best = p;
        }
        if (best > 0) Put(c, Counter, row, InsCounter, best);
    }
}

void PlaySparkle(Ctx& c, const Section& s) {
    if (!HasChannel(c, Sparkle)) return;
    if (!((s.kind == Kind::A || s.kind == Kind::B) && s.variation > 0) && s.kind != Kind::Bridge)
        return;
    static const int spots[8] = {2, 3, 6, 7, 10, 11, 14, 15};
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * RowsPerBar;
        const int root = ChordAt(c, row0);
        for (int k = 0; k < 3; ++k) {
            const int r = spots[c.rng.Range(0, 7)];
            const int tone =
                Pitch(c, 72 + c.key % 12 - (c.key > 5 ? 12 : 0), root + 2 * c.rng.Range(0, 3));
            Put(c, Sparkle, row0 + r, InsSparkle, tone);
        }
    }
}

// Swing alternates the speed row by row; the ending slows down and stops.
void PlayControl(Ctx& c) {
    const int ch = IsMod(c) ? Kit : Hats;
    const Section& end = c.sections.back();
    const int last = end.start + EndingRows - 1;
    for (int row = 0; row < end.start; ++row)
        if (c.swing) SetEffect(c, ch, row, Effect::SetSpeed, row % 2 ? 6 - c.swing : 6 + c.swing);
    if (c.swing) SetEffect(c, ch, end.start, Effect::SetSpeed, 6);
    for (int k = 1; k <= 7; ++k)
        SetEffect(c, ch, end.start + 4 * k - 1, Effect::SetTempo, c.bpm * (100 - 4 * k) / 100);
    // A free slot on the last row for the break that ends the song.
    for (int ch2 : {ch, int(Bass), int(Lead), int(Arp), int(Kit)})
        if (At(c, ch2, last).effect == Effect::None && At(c, ch2, last).note != NoteOff &&
            At(c, ch2, last).volume < 0) {
            SetEffect(c, ch2, last, Effect::PatternBreak, 0);
            break;
        }
}

void PlayEnding(Ctx& c, const Section& s) {
    const LeadRange range = RangeOf(c);
    int home = Fold((c.lastLeadDegree + 3) / 7 * 7, range);
    // The last note rings with vibrato, then everything fades out together
    // before the song stops.
    PlayLead(c, {{s.start, 24, home}}, InsLead, 0, s.start + 24);
    for (int ch : {Bass, Lead, Arp, Pad1, Pad2, Pad3, Counter})
        for (int r = 24; r < EndingRows - 4; ++r)
            SetEffect(c, ch, s.start + r, Effect::VolumeSlide, 0x01);
    Off(c, Lead, s.start + EndingRows - 4);
}

// ---- plan ----

void Plan(Ctx& c, int patterns) {
    std::vector<Kind> kinds = {Kind::Intro};
    const int body = patterns - 2;
    std::vector<Kind> cycle = {Kind::A, Kind::B, Kind::Bridge};
    const int pairs = body / 2;
    for (int i = 0; i < pairs; ++i)
        kinds.push_back(cycle[static_cast<std::size_t>(i % 3)]);
    if (kinds.back() == Kind::Bridge) kinds.back() = Kind::A;
    if (body % 2) kinds.insert(kinds.end() - 1, Kind::Breakdown);
    kinds.push_back(Kind::Ending);
    std::map<Kind, int> seen;
    int row = 0;
    for (Kind k : kinds) {
        const int bars = k == Kind::Intro || k == Kind::Breakdown || k == Kind::Ending ? 4 : 8;
        const Progression* p = &c.progA;
        if (k == Kind::B) p = &c.progB;
        if (k == Kind::Bridge || k == Kind::Breakdown) p = &c.progC;
        static const Progression tonic = {0, 0, 0, 0};
        if (k == Kind::Ending) p = &tonic;
        c.sections.push_back({k, seen[k]++, row, bars, p});
        row += bars * RowsPerBar;
    }
    c.totalRows = row;
    // After the last bridge the tune comes back a step higher.
    for (std::size_t i = c.sections.size(); i-- > 0;) {
        const Kind k = c.sections[i].kind;
        if (k == Kind::Bridge || k == Kind::Breakdown) {
            for (std::size_t j = i + 1; j < c.sections.size(); ++j)
                c.sections[j].transpose = c.style->lift;
            if (i + 1 < c.sections.size()) c.finaleStart = c.sections[i + 1].start;
            break;
        }
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
    auto drum = [&](const char* name, Drum d, double tone, double length) {
        DrumShape s;
        s.drum = d;
        s.sixteenBit = !mod;
        s.tone = tone;
        s.length = length;
        s.amplitude = 0.95;
        s.noiseSeed = static_cast<std::uint32_t>(c.rng.Next());
        modwriter::Instrument i;
        i.name = name;
        i.sample = DrumSample(s);
        return i;
    };
    const double kickTone = 0.85 + 0.05 * c.rng.Range(0, 6);
    auto& ins = song.instruments;
    ins.push_back(tone("lead", c.voice->lead, InsLead, 0.9, 90, 0.7));
    ins.push_back(tone("lead two", c.voice->counter, InsLead2, 0.9, 90, 0.7));
    ins.push_back(tone("arp", c.voice->arp, InsArp, 0.9, 70, 0.45));
    ins.push_back(tone("bass", c.style->bass, InsBass, 0.95, 14, 0.65));
    ins.push_back(drum("kick", Drum::Kick, kickTone, 1.0));
    ins.push_back(drum("snare", Drum::Snare, 1.0, 1.0));
    ins.push_back(drum("hat", Drum::HatClosed, 1.0, 1.0));
    ins.push_back(drum("open hat", Drum::HatOpen, 1.0, 1.0));
    if (mod) {
        for (int k = InsKick; k <= InsHatOpen; ++k)
            ins[static_cast<std::size_t>(k - 1)].sample.volume = Loudness(c, Level(k));
        return;
    }
    ins.push_back(ins[0]);
    ins.back().name = "echo";
    ins.push_back(tone("pad", c.style->pad, InsPad, 0.9, 0, 1));
    ins.push_back(tone("counter", c.style->counter, InsCounter, 0.9, 0, 1));
    ins.push_back(tone("sparkle", Wave::Bell, InsSparkle, 0.9, 0, 1));
    ins.push_back(drum("clap", Drum::Clap, 1.0, 1.0));

    ins[InsLead - 1].volumeEnvelope = Env({{0, 64}, {6, 52}, {30, 44}}, 2);
    ins[InsLead - 1].fadeout = 1200;
    ins[InsLead2 - 1].volumeEnvelope = Env({{0, 64}, {6, 52}, {30, 44}}, 2);
    ins[InsLead2 - 1].fadeout = 1200;
    ins[InsEcho - 1].volumeEnvelope = ins[InsLead - 1].volumeEnvelope;
    ins[InsEcho - 1].fadeout = 1200;
    ins[InsArp - 1].volumeEnvelope = Env({{0, 64}, {8, 40}, {40, 26}}, 2);
    ins[InsArp - 1].fadeout = 1600;
    ins[InsBass - 1].volumeEnvelope = Env({{0, 64}, {10, 50}, {40, 42}}, 2);
    ins[InsBass - 1].fadeout = 2000;
    ins[InsPad - 1].volumeEnvelope = Env({{0, 0}, {20, 48}, {40, 64}}, 2);
    ins[InsPad - 1].fadeout = 400;
    ins[InsCounter - 1].volumeEnvelope = Env({{0, 24}, {8, 64}, {40, 48}}, 2);
    ins[InsCounter - 1].fadeout = 800;
    ins[InsSparkle - 1].volumeEnvelope = Env({{0, 64}, {12, 30}, {60, 8}, {90, 0}}, -1);
    ins[InsSparkle - 1].fadeout = 1000;
    // XM pans by instrument, IT by channel.
    ins[InsLead - 1].sample.panning = 26;
    ins[InsLead2 - 1].sample.panning = 26;
    ins[InsEcho - 1].sample.panning = 44;
    ins[InsArp - 1].sample.panning = 40;
    ins[InsPad - 1].sample.panning = 24;
    ins[InsCounter - 1].sample.panning = 22;
    ins[InsSparkle - 1].sample.panning = 46;
    ins[InsHatClosed - 1].sample.panning = 38;
    ins[InsHatOpen - 1].sample.panning = 38;
    ins[InsClap - 1].sample.panning = 30;
    if (c.format == Format::It)
        for (auto& i : ins)
            i.sample.panning = -1;
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

} // namespace

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

bool Compose(const SongEntry& row, Composition* out, std::string* error) {
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
    const auto names = AuthorStyles(author);
    std::vector<const Style*> styles;
    for (const auto& n : names) {
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
    c.rng = Rng{SeedOf(row)};
    c.channels = c.format == Format::Mod  ? 4
                 : c.format == Format::Xm ? c.rng.Pick(std::vector<int>{6, 8, 9})
                                          : c.rng.Pick(std::vector<int>{8, 10, 12});
    c.key = c.rng.Range(0, 11);
    const std::string modeName = c.rng.Pick(c.style->modes);
    c.mode = ModeSteps(modeName);
    c.bpm = c.rng.Range(c.style->bpmLow, c.style->bpmHigh);
    c.swing = c.rng.Pick(c.style->swings);
    c.progA = c.rng.Pick(c.style->progressions);
    do
        c.progB = c.rng.Pick(c.style->progressions);
    while (c.progB == c.progA);
    c.progC = c.rng.Pick(c.style->bridges);
    c.leadTonic = 60 + c.key;
    VaryPatterns(c);
    c.motifA = MakeMotif(c.rng, *c.voice, -1);
    c.motifB = MakeMotif(c.rng, *c.style, c.motifA[0].len);

    const int seconds = c.rng.Range(160, 215);
    const double patternSeconds = 960.0 / c.bpm;
    Plan(c, std::max(8, static_cast<int>(std::lround(seconds / patternSeconds))));
    c.track.assign(12, std::vector<Cell>(static_cast<std::size_t>(c.totalRows)));

    std::array<int, 3> voices = {60, 64, 67};
    for (const Section& s : c.sections) {
        PlayBass(c, s);
        PlayArp(c, s);
        PlayDrums(c, s);
        PlayPads(c, s, voices);
        switch (s.kind) {
        case Kind::Intro:
            Pickup(c, s);
            break;
        case Kind::A:
            Phrase(c, s, c.motifA, 0);
            break;
        case Kind::B:
            Phrase(c, s, c.motifB, 0);
            break;
        case Kind::Bridge:
            BridgeLead(c, s);
            break;
        case Kind::Ending:
            PlayEnding(c, s);
            break;
        default:
            break;
        }
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
    comp.mode = modeName;
    comp.arpChannel = c.format == Format::Mod ? 3 : Arp;
    for (const Section& sec : c.sections)
        for (int bar = 0; bar < sec.bars; ++bar) {
            const int root = (*sec.progression)[static_cast<std::size_t>(bar % 4)];
            std::array<int, 3> triad{};
            for (int k = 0; k < 3; ++k)
                triad[static_cast<std::size_t>(k)] =
                    (Pitch(c, c.key, root + 2 * k) + sec.transpose) % 12;
            comp.chords.push_back(triad);
        }
    modwriter::Song& song = comp.song;
    song.name = std::string(row.title, strnlen(row.title, sizeof row.title));
    for (char& ch : song.name)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    song.channels = c.format == Format::Mod ? 4 : c.channels;
    song.speed = c.swing ? 6 + c.swing : 6;
    song.tempo = c.bpm;
    if (c.format == Format::It) {
        static const int pans[12] = {32, 26, 42, 32, 40, 46, 18, 48, 32, 22, 48, 24};
        song.panning.assign(pans, pans + song.channels);
    }
    AddInstruments(c, song);
    Chop(c, song);
    const std::string err = modwriter::Check(song, c.format);
    if (!err.empty()) {
        *error = comp.fileName + ": " + err;
        return false;
    }
    *out = std::move(comp);
    return true;
}

} // namespace composer
