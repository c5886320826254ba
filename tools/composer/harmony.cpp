// The accompaniment: bass lines, chord arpeggios, pads and bells.

#include "parts.h"

#include <algorithm>
#include <cstdlib>

namespace composer::detail {
namespace {

bool FinalBar(const Ctx& c, const Section& s, int bar) {
    return s.kind == Kind::Outro && c.ending != Ending::Fade && bar >= 3;
}

int BassRoot(const Ctx& c, int root) {
    int p = Pitch(c, c.bassTonic, root);
    while (p > c.bassTonic + 6)
        p -= 12;
    while (p < c.bassTonic - 5)
        p += 12;
    return p;
}

const char* BassLineOf(const Ctx& c, const Section& s, int bar) {
    switch (s.kind) {
    case Kind::Intro:
        return bar < s.drumsFrom ? c.metre->introBass : c.bassLines[0];
    case Kind::Verse:
        return s.variation > 0 && bar / 4 % 2 ? c.bassLines[2] : c.bassLines[0];
    case Kind::Chorus:
    case Kind::Outro:
        return c.bassLines[1];
    case Kind::Bridge:
        return s.departure ? c.metre->holdBass : c.metre->bridgeBass;
    case Kind::Breakdown:
        return c.metre->holdBass;
    case Kind::Build:
        return bar + 1 < s.bars ? "R.R.R.R.R.R.R.R." : "RRRRRRRRRRRRRRRR";
    case Kind::Solo:
        return c.bassLines[2];
    }
    return c.bassLines[0];
}

// The arpeggio's root in the octave from the song's lowest.
int ArpRoot(const Ctx& c, int root) {
    int p = Pitch(c, 60 + c.key, root);
    while (p > c.arpLow + 11)
        p -= 12;
    while (p < c.arpLow)
        p += 12;
    return p;
}

int Interval(const Ctx& c, int root, int steps) {
    return Pitch(c, 0, root + steps) - Pitch(c, 0, root);
}

} // namespace

void PlayBass(Ctx& c, const Section& s) {
    if (!s.parts.bass) {
        Off(c, Bass, s.start);
        return;
    }
    const bool accents = !IsMod(c);
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * c.bar;
        if (row0 >= c.totalRows) break;
        const char* line = BassLineOf(c, s, bar);
        if (FinalBar(c, s, bar) && bar > 3) break; // the chord rings on
        if (FinalBar(c, s, bar)) line = c.ending == Ending::Ring ? "R===============" : "R=.";
        for (int r = 0; r < c.bar && line[r]; ++r) {
            const int row = row0 + r;
            const int root = ChordAt(c, row);
            const int rootPitch = BassRoot(c, root);
            int midi = -1;
            switch (line[r]) {
            case 'R':
                midi = rootPitch;
                break;
            case 'O':
                midi = rootPitch + 12;
                break;
            case 'F':
                midi = rootPitch + Interval(c, root, 4);
                break;
            case 'T':
                midi = rootPitch + Interval(c, root, 2);
                break;
            case 'A': {
                // A step into the next bar's root, from below.
                const int next = BassRoot(c, ChordAt(c, std::min(row0 + c.bar, c.totalRows - 1)));
                midi = next == rootPitch ? rootPitch + Interval(c, root, 4) - 12 : next - 1;
                if (midi < c.bassTonic - 7) midi += 12;
                break;
            }
            case '.':
                if (r == 0 || line[r - 1] != '.') Off(c, Bass, row);
                break;
            default:
                break;
            }
            if (midi >= 0)
                Put(c, Bass, row, InsBass, midi, accents && r % 4 ? Level(InsBass) - 6 : -1);
        }
    }
}

void PlayArp(Ctx& c, const Section& s) {
    if (!s.parts.arp) {
        Off(c, Arp, s.start);
        return;
    }
    const bool broken = s.kind == Kind::Build || s.kind == Kind::Breakdown || s.departure ||
                        (c.style->brokenChords && s.kind == Kind::Bridge) ||
                        (s.kind == Kind::Solo && s.variation % 2) ||
                        (s.kind == Kind::Outro && c.ending == Ending::Fade && IsMod(c));
    int strikes = 0;
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * c.bar;
        if (row0 >= c.totalRows) break;
        if (FinalBar(c, s, bar)) {
            const int root = ChordAt(c, row0);
            Put(c, Arp, row0, InsArp, ArpRoot(c, root) + Interval(c, root, 4));
            if (c.ending == Ending::Cold) Off(c, Arp, row0 + 2);
            break;
        }
        int last = -1;
        for (int r = 0; r < c.bar; ++r) {
            const int row = row0 + r;
            const int root = ChordAt(c, row);
            const int base = ArpRoot(c, root);
            const int third = Interval(c, root, 2), fifth = Interval(c, root, 4);
            if (broken) {
                static const int wave[8] = {0, 1, 2, 3, 2, 1, 2, 1};
                const int tones[4] = {base, base + third, base + fifth, base + 12};
                const int k = s.kind == Kind::Build ? r % 4 : wave[r % 8];
                // A ping-pong throws each pair of sixteenths to the other side.
                const int ins = c.pingPong && r / 2 % 2 ? InsArpRight : InsArp;
                Put(c, Arp, row, ins, tones[k], Level(InsArp) - (r % 2 ? 8 : 2));
                continue;
            }
            if (c.arpHits[r] == 'x' || r == 0 || root != last)
                Put(c, Arp, row, c.pingPong && strikes++ % 2 ? InsArpRight : InsArp, base);
            SetEffect(c, Arp, row, Effect::Arpeggio, third << 4 | fifth);
            last = root;
        }
    }
}

void PlayPads(Ctx& c, const Section& s, std::array<int, 3>& voices) {
    if (IsMod(c)) return;
    static const int ins[3] = {InsPadLeft, InsPadRight, InsPad};
    if (!s.parts.pads) {
        for (int v = 0; v < 3; ++v)
            Off(c, Pad1 + (v == 2 ? Pad3 - Pad1 : v), s.start);
        return;
    }
    int lastRoot = -1;
    for (int half = 0; half < 2 * s.bars; ++half) {
        const int row = s.start + half * c.bar / 2;
        if (row >= c.totalRows) break;
        const int root = ChordAt(c, row);
        const int bar = half / 2;
        if (root == lastRoot && half % 2) continue;
        if (s.kind == Kind::Outro && c.ending != Ending::Fade && bar > 3) break;
        std::vector<int> pcs;
        for (int k = 0; k < (c.style->sevenths ? 4 : 3); ++k)
            pcs.push_back(Pitch(c, c.key, root + 2 * k) % 12);
        std::vector<int> taken;
        for (int v = 0; v < 3; ++v) {
            const int ch = v == 2 ? Pad3 : Pad1 + v;
            if (!HasChannel(c, ch)) break;
            int best = -1;
            const auto& range = c.padRanges[static_cast<std::size_t>(v)];
            for (int p = range[0]; p <= range[1]; ++p) {
                if (std::find(pcs.begin(), pcs.end(), p % 12) == pcs.end()) continue;
                if (std::find(taken.begin(), taken.end(), p % 12) != taken.end()) continue;
                if (best < 0 || std::abs(p - voices[v]) < std::abs(best - voices[v])) best = p;
            }
            if (best < 0) continue;
            taken.push_back(best % 12);
            if (best != voices[v] || half == 0 || FinalBar(c, s, bar))
                Put(c, ch, row, ins[v], best);
            voices[v] = best;
        }
        lastRoot = root;
    }
    if (s.kind == Kind::Outro && c.ending == Ending::Cold)
        for (int ch : {Pad1, Pad2, Pad3})
            Off(c, ch, s.start + 3 * c.bar + 2);
}

// Wind: a gust every two bars on a tone of the chord, high above the
// pads, where the song opens out (its intro, bridges, breakdowns and the
// ending), and under the last chorus.
void PlayBreath(Ctx& c, const Section& s) {
    const int ch = c.breathChannel;
    const bool open = s.kind == Kind::Intro || s.kind == Kind::Bridge ||
                      s.kind == Kind::Breakdown || s.kind == Kind::Outro || s.finale;
    if (!open) {
        Off(c, ch, s.start);
        return;
    }
    Rng r = c.rng.Fork(0xB4EA + static_cast<std::uint64_t>(s.start));
    for (int bar = 0; bar < s.bars; bar += 2) {
        const int row = s.start + bar * c.bar + (bar % 4 ? c.beat : 0);
        if (row >= c.totalRows || FinalBar(c, s, bar)) break;
        const int root = ChordAt(c, row);
        Put(c, ch, row, InsSparkle,
            Pitch(c, 72 + c.key % 12 - (c.key > 5 ? 12 : 0), root + 2 * r.Range(0, 2)));
    }
}

void PlaySparkle(Ctx& c, const Section& s) {
    if (c.breathChannel >= 0) return PlayBreath(c, s);
    if (!HasChannel(c, Sparkle) || !s.parts.sparkle) return;
    Rng r = c.rng.Fork(0x5BA4 + static_cast<std::uint64_t>(s.start));
    // Off the beats: the second and last sixteenths of each.
    std::vector<int> spots;
    for (int row = 0; row < c.bar; row += 4)
        spots.insert(spots.end(), {row + 2, row + 3});
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * c.bar;
        if (row0 >= c.totalRows || FinalBar(c, s, bar)) break;
        for (int k = 0; k < 3; ++k) {
            const int row = row0 + r.Pick(spots);
            const int root = ChordAt(c, row);
            Put(c, Sparkle, row, InsSparkle,
                Pitch(c, 72 + c.key % 12 - (c.key > 5 ? 12 : 0), root + 2 * r.Range(0, 3)));
        }
    }
}

} // namespace composer::detail
