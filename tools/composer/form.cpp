// The song's form: its sections in order, each one's chords, parts and
// level, and which of them come back note for note.

#include "parts.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace composer::detail {

namespace {

struct Block {
    Kind kind;
    int bars;
    int shift = 0;          // semitones above the song's key
    bool departure = false; // the long song's section unlike the rest
};

int PickOf(Rng& r, std::initializer_list<int> v) {
    return *(v.begin() + r.Range(0, static_cast<int>(v.size()) - 1));
}

// The form's sections: a head, a middle stated as often as the song's
// length asks, a tail into the ending. A long song (four minutes, or three
// middles) states its middle in longer sections, in two halves around a
// departure (see Depart), and the second half and the tail a few
// semitones higher.
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
    const double barSeconds = c.bar * 15.0 / c.bpm;
    // MOD holds 64 patterns: a song that plays every section anew stays
    // within 60 of them, one with reprises within twice that.
    const int most = IsMod(c) ? (c.reprises ? 100 : 58) * 4 : 1 << 20;
    // The number of middles nearest the length asked for.
    auto rounds = [&](int fixed) {
        int best = 0;
        for (int n = 1; n <= 8; ++n)
            if (fixed + n * barsOf(middle) <= most &&
                std::abs((fixed + n * barsOf(middle)) * barSeconds - seconds) <
                    std::abs((fixed + best * barsOf(middle)) * barSeconds - seconds))
                best = n;
        return best;
    };
    int best = rounds(barsOf(head) + barsOf(tail) + outro);
    const double planned =
        (barsOf(head) + best * barsOf(middle) + barsOf(tail) + outro) * barSeconds;
    std::vector<Block> out = head;
    if (best < 2 || (best < 3 && planned < 240)) {
        for (int n = 0; n < best; ++n)
            out.insert(out.end(), middle.begin(), middle.end());
    } else {
        // Sections of sixteen bars where eight would come round too often.
        if (c.form == Form::VerseChorus || c.form == Form::Variations)
            for (Block& b : middle)
                if (b.bars == 8) b.bars = 16;
        // (MOD keeps its key: its patterns would not hold a second half anew.)
        const int lift = IsMod(c) || r.Chance(25) ? 0 : PickOf(r, {2, 3, 5, -2});
        const std::vector<Block> away = {{K::Bridge, PickOf(r, {8, 12, 16}), lift, true},
                                         {K::Build, 4, lift}};
        best = std::max(2, rounds(barsOf(head) + barsOf(away) + barsOf(tail) + outro));
        for (int n = 0; n < best; ++n) {
            if (n == (best + 1) / 2) out.insert(out.end(), away.begin(), away.end());
            for (Block b : middle) {
                if (n >= (best + 1) / 2) b.shift = lift;
                out.push_back(b);
            }
        }
        for (Block& b : tail)
            b.shift = lift;
    }
    out.insert(out.end(), tail.begin(), tail.end());
    out.push_back({K::Outro, outro, tail.empty() ? 0 : tail.back().shift});
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
        if (periodEnd && kind != Kind::Build && kind != Kind::Outro && chord != c.turn) {
            second = c.turn;
            // A waltz's half bar falls between its beats: its turn takes the bar.
            if (c.metre->time == Time::Three) chord = c.turn;
        }
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
        p.pads = variation > 0 || c.struckTune;
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

// The long song's departure: a bridge unlike the rest of the song, quieter,
// its chords slower, the lead's other voice low in its range, no echo; it
// drops the drums or plays them half time, and now and then the bass or
// the arpeggio, whose chords it breaks.
void Depart(Ctx& c, Section& s) {
    s.departure = true;
    s.level = 0.6;
    s.parts = {};
    s.parts.drums = c.rng.Chance(45);
    s.parts.bass = c.rng.Chance(70);
    s.parts.arp = c.rng.Chance(40);
    s.parts.counter = s.parts.sparkle = true;
}

double LevelOf(Kind kind, int variation) {
    switch (kind) {
    case Kind::Intro:
        return 0.65;
    case Kind::Verse:
        return variation ? 0.8 : 0.75;
    case Kind::Chorus:
    case Kind::Outro:
        return 0.95;
    case Kind::Bridge:
        return 0.65;
    case Kind::Breakdown:
        return 0.55;
    case Kind::Build:
        return 0.5;
    case Kind::Solo:
        return 0.9;
    }
    return 1;
}

} // namespace

void Plan(Ctx& c, double seconds) {
    const std::vector<Block> blocks = Blocks(c, seconds);
    // Half-time verses or double-time choruses in some songs; a sparse kit
    // plays half time throughout.
    int feel = c.rng.Chance(CharacterOf(*c.style).halfTime) ? PickOf(c.rng, {1, 2}) : 0;
    if (c.metre->time != Time::Four) feel = 0; // a waltz or a jig keeps its own step
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
        s.barRows = c.bar;
        s.level = LevelOf(s.kind, s.variation);
        if (s.kind == Kind::Build) s.levelTo = 1.0;
        s.parts = PartsOf(c, s.kind, s.variation);
        s.transpose = blocks[i].shift;
        if (blocks[i].departure) Depart(c, s);
        const bool quietIntro = s.kind == Kind::Intro && c.rng.Chance(30);
        s.harmony = HarmonyOf(c, s.kind, s.bars, quietIntro ? -1 : s.variation);
        if (s.departure) // a chord every two bars
            for (std::size_t h = 0; h < s.harmony.size(); ++h)
                s.harmony[h] = c.bridgeProg[h / 4 % 4];
        if (s.kind == Kind::Intro)
            s.drumsFrom = c.rng.Chance(50) ? 0 : c.rng.Chance(60) ? s.bars / 2 : s.bars;
        if (i + 2 == blocks.size()) {
            s.finale = true;
            s.level = 1.0;
            s.parts.sparkle = s.parts.counter = s.parts.echo = s.parts.perc = true;
            s.parts.pads = true;
        }
        if (i + 2 >= blocks.size()) s.transpose += raise;
        if (c.colour.drums == 0) s.parts.drums = false;
        if ((feel == 1 && s.kind == Kind::Verse) || c.colour.drums == 1 ||
            (s.departure && c.metre->time == Time::Four))
            s.feel = 1;
        if (feel == 2 && s.kind == Kind::Chorus && c.colour.drums == 2) s.feel = 2;
        c.sections.push_back(s);
        row += s.bars * c.bar;
    }
    c.totalRows = row;
    Section& outro = c.sections.back();
    // A ring-out ends once its chord has died away, a cold stop half a bar
    // after its stab.
    if (c.ending == Ending::Ring) c.totalRows = outro.start + 3 * c.bar + 3 * c.bar / 2;
    if (c.ending == Ending::Cold) c.totalRows = outro.start + 3 * c.bar + c.bar / 2;
    outro.bars = (c.totalRows - outro.start + c.bar - 1) / c.bar;
    if (!c.reprises) return;
    // A verse, chorus, solo, bridge or breakdown that comes back at the
    // length and key it last had is that section again, note for note,
    // and at its level: the order list plays its patterns again. After a
    // departure, the first chorus back in its old key is varied instead: a
    // counter-melody under it, the lead doubled an octave up.
    bool away = false, varied = false;
    for (std::size_t i = 0; i + 1 < c.sections.size(); ++i) {
        Section& s = c.sections[i];
        away |= s.departure;
        if (s.kind == Kind::Intro || s.kind == Kind::Build || s.finale || s.departure) continue;
        for (std::size_t j = i; j-- > 0;) {
            const Section& e = c.sections[j];
            if (e.kind != s.kind || e.bars != s.bars || e.transpose != s.transpose || e.finale ||
                e.reprise >= 0 || e.departure)
                continue;
            if (away && !varied && s.kind == Kind::Chorus && HasChannel(c, Counter)) {
                varied = s.varied = true;
                s.parts.counter = s.parts.echo = true;
                break;
            }
            s.reprise = static_cast<int>(j);
            s.level = e.level, s.levelTo = e.levelTo;
            s.parts = e.parts, s.harmony = e.harmony, s.feel = e.feel;
            break;
        }
    }
}

void Reprise(Ctx& c) {
    for (const Section& s : c.sections) {
        if (s.reprise < 0) continue;
        const Section& e = c.sections[static_cast<std::size_t>(s.reprise)];
        const int rows = std::min(s.end(), c.totalRows) - s.start;
        for (auto& track : c.track)
            std::copy_n(track.begin() + e.start, rows, track.begin() + s.start);
    }
}

} // namespace composer::detail
