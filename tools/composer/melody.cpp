// The lead: motifs of a bar, developed into phrases of four bars that ask
// and answer, climbing to a peak in the middle of a section and settling
// at its end; its echo; and the counter line that answers it.

#include "parts.h"

#include <algorithm>
#include <cstdlib>

namespace composer::detail {
namespace {

struct Note {
    int row, len, degree;
};

struct LeadRange {
    int low, high; // scale degrees
};

LeadRange RangeOf(const Ctx& c) {
    const int lowMidi = (IsMod(c) ? 60 : 62) + c.leadShift;
    const int highMidi = (IsMod(c) ? 81 : 86) + c.leadShift;
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

int Centre(const Ctx& c) {
    const LeadRange r = RangeOf(c);
    return (r.low + r.high) / 2;
}

// A bar of rhythm from the style's cells (a beat each), with lo..hi notes.
std::string BarRhythm(Rng& r, const std::vector<RhythmCell>& cells, int beats, int lo, int hi) {
    int total = 0;
    for (const RhythmCell& rc : cells)
        total += rc.weight;
    std::string rows;
    for (int attempt = 0; attempt < 80; ++attempt) {
        rows.clear();
        for (int k = 0; k < beats; ++k) {
            int pick = r.Range(0, total - 1);
            const char* steps = cells[0].steps;
            for (const RhythmCell& rc : cells) {
                if (pick < rc.weight) {
                    steps = rc.steps;
                    break;
                }
                pick -= rc.weight;
            }
            rows += steps;
        }
        const auto n = std::count(rows.begin(), rows.end(), 'x');
        if (n >= lo && n <= hi && rows.find('x') < std::string(cells[0].steps).size()) return rows;
    }
    return rows;
}

// Steps of a line: mostly by step, some leaps, a leap turns back; `lean`
// tilts the line up (+1) or down (-1).
void GiveSteps(Motif& m, Rng& r, int lean) {
    static const int steps[] = {0, 1, 1, 1, -1, -1, -1, 2, -2, 3, -3, 4, -4, 1, -1};
    int last = 0;
    for (std::size_t i = 1; i < m.size(); ++i) {
        int s = steps[r.Range(0, 14)];
        if (lean && r.Chance(40)) s = lean * r.Range(1, 2);
        if (std::abs(last) >= 3) s = last > 0 ? -1 : 1;
        m[i].step = s;
        last = s;
    }
}

Motif FromRhythm(const std::string& rows) {
    Motif m;
    bool sounding = false;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const char ch = rows[static_cast<std::size_t>(i)];
        if (ch == 'x') {
            m.push_back({i, 1, 0});
            sounding = true;
        } else if (ch == '=' && sounding) {
            ++m.back().len;
        } else {
            sounding = false;
        }
    }
    return m;
}

// The most notes a bar of the lead holds: fewer in a bar of three.
int MostNotes(const Ctx& c, const Style& s) {
    const int most = s.noteLength >= 3 ? 4 : s.noteLength == 2 ? 6 : 8;
    return most * c.bar / 16;
}

std::string BarRhythm(const Ctx& c, Rng& r, const Style& s, int lo, int hi) {
    return BarRhythm(r, s.rhythm, c.bar / c.beat, lo, hi);
}

enum class Op {
    SequenceUp,
    SequenceDown,
    Inversion,
    Retrograde,
    Rhythm,
    Fragment,
    Diminish,
    Displace,
    Augment
};

// A bar developed from a motif. *shift is how far a sequence moves it.
Motif Develop(const Ctx& c, const Motif& m, Op op, Rng& r, const Style& style, int* shift) {
    const int bar = c.bar, half = c.bar / 2;
    Motif d = m;
    *shift = 0;
    switch (op) {
    case Op::SequenceUp:
        *shift = r.Range(1, 2);
        break;
    case Op::SequenceDown:
        *shift = -r.Range(1, 2);
        break;
    case Op::Inversion:
        for (auto& n : d)
            n.step = -n.step;
        break;
    case Op::Retrograde:
        for (std::size_t i = 1; i < d.size(); ++i)
            d[i].step = -m[m.size() - i].step;
        break;
    case Op::Rhythm: {
        // The same steps on a new rhythm.
        d = FromRhythm(BarRhythm(c, r, style, 2, MostNotes(c, style)));
        for (std::size_t i = 1; i < d.size(); ++i)
            d[i].step = m[1 + (i - 1) % std::max<std::size_t>(1, m.size() - 1)].step;
        break;
    }
    case Op::Fragment:
    case Op::Diminish: {
        // The motif's first half (or the whole, twice as fast) twice, the
        // second time a step away.
        Motif first;
        for (const auto& n : m) {
            if (op == Op::Fragment && n.row < half)
                first.push_back({n.row, std::min(n.len, half - n.row), n.step});
            if (op == Op::Diminish && n.row % 2 == 0)
                first.push_back({n.row / 2, std::max(1, n.len / 2), n.step});
        }
        if (first.empty()) break;
        d = first;
        const int again = r.Chance(50) ? 1 : -1;
        for (std::size_t i = 0; i < first.size(); ++i)
            d.push_back({first[i].row + half, first[i].len, i == 0 ? again : first[i].step});
        break;
    }
    case Op::Displace:
        d.clear();
        for (const auto& n : m)
            if (n.row + 2 < bar) d.push_back({n.row + 2, std::min(n.len, bar - n.row - 2), n.step});
        break;
    case Op::Augment:
        d.clear();
        for (const auto& n : m)
            if (n.row < half)
                d.push_back({n.row * 2, std::min(n.len * 2, bar - n.row * 2), n.step});
        break;
    }
    if (d.empty()) d = m;
    return d;
}

// Plays a motif from `row0`, its first note the chord tone nearest
// `start`; notes on the half bars and long notes land on chord tones.
std::vector<Note> Realise(const Ctx& c, const Motif& m, int row0, int start, int limit) {
    const LeadRange range = RangeOf(c);
    std::vector<Note> out;
    int degree = start;
    for (std::size_t i = 0; i < m.size(); ++i) {
        const int at = row0 + m[i].row;
        if (at >= limit) break;
        const int root = ChordAt(c, at);
        const int previous = degree;
        const int step = m[i].step;
        degree = i == 0 ? start : degree + step;
        // Past the edge of the range the line turns back.
        if (i > 0 && (degree > range.high || degree < range.low)) degree = previous - step;
        if (at % (c.bar / 2) == 0 || m[i].len >= 6 || i == 0)
            degree = NearestChordTone(degree, root, step);
        degree = Fold(degree, range);
        out.push_back({at, std::min(m[i].len, limit - at), degree});
    }
    return out;
}

const char* CadenceRhythm(const Ctx& c, Rng& r, const Style& s) {
    const Metre& m = *c.metre;
    return r.Pick(s.noteLength >= 3   ? m.slowCadences
                  : s.noteLength == 2 ? m.mediumCadences
                                      : m.busyCadences);
}

// One phrase of four bars: the motif, a development of it, a bar that
// climbs (a question) or falls (an answer), and a cadence that stays open
// (a question) or comes home to the tonic (an answer).
std::vector<Note> Phrase(const Ctx& c, Rng& r, int start, const Motif& theme, bool answer,
                         int anchor, int limit, const std::vector<Op>& ops,
                         const char* cadence = nullptr) {
    const LeadRange range = RangeOf(c);
    const Style& style = *c.voice;
    std::vector<Note> out;
    auto add = [&](const std::vector<Note>& v) { out.insert(out.end(), v.begin(), v.end()); };
    auto last = [&] { return out.empty() ? anchor : out.back().degree; };
    add(Realise(c, theme, start, Fold(anchor, range), limit));

    int shift = 0;
    const Op op = ops[static_cast<std::size_t>(r.Range(0, static_cast<int>(ops.size()) - 1))];
    const Motif developed = Develop(c, theme, op, r, style, &shift);
    const int from = shift ? anchor + shift : last() + (r.Chance(50) ? 1 : -1);
    add(Realise(c, developed, start + c.bar, Fold(from, range), limit));

    Motif line = FromRhythm(BarRhythm(c, r, style, 2, MostNotes(c, style)));
    GiveSteps(line, r, answer ? -1 : 1);
    add(Realise(c, line, start + 2 * c.bar, Fold(last() + (answer ? -1 : 1), range), limit));

    const int at = start + 3 * c.bar;
    const Motif close = FromRhythm(cadence ? cadence : CadenceRhythm(c, r, style));
    if (close.empty() || at >= limit) return out;
    const int lastRow = at + close.back().row;
    const int root = ChordAt(c, std::min(lastRow, c.totalRows - 1));
    int target;
    if (answer) {
        // Home: the tonic nearest where the line is, or the chord tone
        // nearest it.
        const int tonic = (last() + 3 + 70) / 7 * 7 - 70;
        target = NearestChordTone(tonic, root, -1);
    } else {
        target = NearestChordTone(last() + (r.Chance(50) ? 1 : 2), root, 1);
        if (((target % 7) + 7) % 7 == 0) target = NearestChordTone(target + 2, root, 1);
    }
    target = Fold(target, range);
    const int n = static_cast<int>(close.size());
    for (int i = 0; i < n; ++i) {
        const auto& note = close[static_cast<std::size_t>(i)];
        const int row = at + note.row;
        if (row >= limit) break;
        int degree = target + (n - 1 - i) * (answer ? 1 : -1);
        if (row % (c.bar / 2) == 0)
            degree = NearestChordTone(degree, ChordAt(c, row), answer ? 1 : -1);
        out.push_back({row, std::min(note.len, limit - row), Fold(degree, range)});
    }
    return out;
}

void PlayNotes(Ctx& c, const std::vector<Note>& notes, int ins, int drop, int sectionEnd) {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const Note& p = notes[i];
        const int midi = Pitch(c, c.leadTonic, p.degree);
        const int end = std::min(p.row + p.len, sectionEnd);
        const int volume = IsMod(c) ? (drop ? Level(ins) - drop : -1)
                                    : Level(ins) - drop - (p.row % c.bar ? 4 : 0);
        Put(c, Lead, p.row, ins, midi, volume);
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

// A section's tune: phrases of four bars, question and answer, whose
// registers climb to a peak in the third and settle in the last.
void Phrases(Ctx& c, const Section& s, Rng& r, const Motif& theme, int lift, int ins, int drop,
             const std::vector<Op>& ops) {
    const int n = std::max(1, s.bars / 4);
    static const int contour[5][4] = {{0}, {0, 2}, {0, 2, 1}, {0, 1, 3, 0}, {0, 1, 3, 0}};
    const int end = std::min(s.end(), c.totalRows);
    std::vector<Note> notes;
    for (int p = 0; p < n; ++p) {
        const bool answer = p == n - 1 || (p % 2 == 1 && n != 3);
        const int anchor = Centre(c) + lift + contour[std::min(n, 4)][p % 4];
        const auto v = Phrase(c, r, s.start + p * 4 * c.bar, theme, answer, anchor, end, ops);
        notes.insert(notes.end(), v.begin(), v.end());
    }
    PlayNotes(c, notes, ins, drop, end);
}

const std::vector<Op> AllOps = {Op::SequenceUp, Op::SequenceDown, Op::Inversion,
                                Op::Retrograde, Op::Rhythm,       Op::Fragment,
                                Op::Diminish,   Op::Displace,     Op::Augment};

} // namespace

void ChooseThemes(Ctx& c) {
    Rng& r = c.rng;
    const Style& s = *c.voice;
    // The verse's motif starts on the beat and moves; the chorus's has
    // another rhythm and fewer, longer notes; the bridge's is the verse's
    // turned upside down at half speed.
    Motif verse = FromRhythm(BarRhythm(c, r, s, 3, MostNotes(c, s)));
    GiveSteps(verse, r, 0);
    Motif chorus;
    for (int attempt = 0; attempt < 20; ++attempt) {
        chorus = FromRhythm(BarRhythm(c, r, s, 2, std::max(3, MostNotes(c, s) - 2)));
        if (chorus.size() != verse.size() || chorus[0].len != verse[0].len) break;
    }
    GiveSteps(chorus, r, 1);
    int shift = 0;
    Motif bridge =
        Develop(c, Develop(c, verse, Op::Inversion, r, s, &shift), Op::Augment, r, s, &shift);
    c.themes = {verse, chorus, bridge};
}

void PlayLead(Ctx& c, std::size_t index) {
    const Section& s = c.sections[index];
    const Section* next = index + 1 < c.sections.size() ? &c.sections[index + 1] : nullptr;
    const int end = std::min(s.end(), c.totalRows);
    Rng r = c.rng.Fork(0x1EAD0000u + static_cast<std::uint64_t>(s.kind) * 64 +
                       static_cast<std::uint64_t>(s.variation));
    const LeadRange range = RangeOf(c);
    switch (s.kind) {
    case Kind::Intro:
        Off(c, Lead, s.start);
        if (next && next->parts.lead) {
            const int d = Centre(c);
            PlayNotes(c, {{end - 4, 2, Fold(d - 2, range)}, {end - 2, 2, Fold(d - 1, range)}},
                      InsLead, 8, end);
        }
        return;
    case Kind::Verse:
        return Phrases(c, s, r, c.themes[0], 0, InsLead, 0, AllOps);
    case Kind::Chorus:
        return Phrases(c, s, r, c.themes[1], s.finale ? 3 : 2, InsLead, 0, AllOps);
    case Kind::Solo:
        return Phrases(c, s, r, c.themes[0], 1, InsLead2, 0,
                       {Op::Diminish, Op::Rhythm, Op::Fragment, Op::Displace});
    case Kind::Bridge:
        if (s.departure)
            return Phrases(c, s, r, c.themes[2], -4, InsLead2, 6,
                           {Op::Augment, Op::SequenceDown, Op::Inversion});
        if (s.variation % 2 == 0)
            return Phrases(c, s, r, c.themes[2], -1, InsLead2, 4,
                           {Op::SequenceUp, Op::SequenceDown, Op::Augment});
        {
            // Calls a bar long, left for the arpeggios to answer.
            std::vector<Note> notes;
            for (int bar = 0; bar < s.bars; bar += 2) {
                const int row = s.start + bar * c.bar;
                for (Note n : Realise(c, c.themes[0], row, Centre(c) + bar / 2 % 2 * 2, end))
                    notes.push_back(n);
            }
            return PlayNotes(c, notes, InsLead2, 2, end);
        }
    case Kind::Breakdown: {
        if (!s.parts.lead) {
            Off(c, Lead, s.start);
            return;
        }
        // The chorus's motif at half speed, softly, in the second half.
        std::vector<Note> notes;
        for (int bar = s.bars / 2; bar < s.bars; bar += 2) {
            const int row = s.start + bar * c.bar;
            Motif slow;
            for (const auto& n : c.themes[1])
                if (n.row < c.bar / 2)
                    slow.push_back({n.row * 2, std::min(n.len * 2, c.bar - 2 * n.row), n.step});
            for (Note n : Realise(c, slow, row, Centre(c) + 1, end))
                notes.push_back(n);
        }
        Off(c, Lead, s.start);
        return PlayNotes(c, notes, InsLead2, 10, end);
    }
    case Kind::Build: {
        Off(c, Lead, s.start);
        if (!next || !next->parts.lead) return;
        // A climb of four quarter notes (eighths in six-eight) into the
        // next section.
        const int step = c.metre->time == Time::Six ? 2 : 4;
        const int row0 = end - 4 * step;
        const int top = NearestChordTone(Centre(c) + 2, ChordAt(c, row0), 1);
        // Chord tones on the half bars, steps between them.
        std::vector<Note> notes;
        int degree = top - 4;
        for (int k = 0; k < 4; ++k) {
            const int row = row0 + step * k;
            degree =
                row % (c.bar / 2) ? degree + 1 : NearestChordTone(degree + 1, ChordAt(c, row), 1);
            notes.push_back({row, step - 1, Fold(degree, range)});
        }
        return PlayNotes(c, notes, InsLead, 6, end);
    }
    case Kind::Outro:
        if (c.ending == Ending::Fade) return Phrases(c, s, r, c.themes[1], 2, InsLead, 0, AllOps);
        {
            // The tune's last answer, home on the chord that ends the song.
            const char* close = c.ending == Ending::Ring ? "x===============" : "x=..............";
            auto notes =
                Phrase(c, r, s.start, c.themes[1], true, Centre(c) + 1, c.totalRows, AllOps, close);
            if (c.ending == Ending::Ring && !notes.empty())
                notes.back().len = c.totalRows - 4 - notes.back().row;
            PlayNotes(c, notes, InsLead, 0, c.totalRows);
            if (!notes.empty()) Off(c, Lead, notes.back().row + notes.back().len);
        }
        return;
    }
}

// The lead's notes again, three rows later, softer and on the other side.
// In the last chorus and the ending it doubles the lead an octave up
// instead.
void PlayEcho(Ctx& c) {
    // MOD has no channel of its own for it: a song without drums echoes on
    // the kit's, on the other side.
    const bool mod = IsMod(c);
    const int ch = mod ? Kit : Echo;
    if (mod ? c.colour.drums != 0 : !HasChannel(c, Echo) || c.breathChannel == Echo) return;
    const int ins = InsEcho;
    const int maxNote = mod ? 83 : c.format == Format::Xm ? 107 : 119;
    bool playing = false;
    for (int row = 0; row < c.totalRows; ++row) {
        const Section& s = SectionAt(c, row);
        const Cell& src = c.track[Lead][static_cast<std::size_t>(row)];
        if (!s.parts.echo) {
            if (playing) Off(c, ch, row);
            playing = false;
            continue;
        }
        if (src.note == NoNote) continue;
        const bool octave = s.finale || s.varied || s.kind == Kind::Outro;
        const int at = octave ? row : row + 3;
        if (at >= c.totalRows) break;
        Cell& dst = At(c, ch, at);
        dst.note = src.note;
        if (src.note == NoteOff) continue;
        playing = true;
        dst.instrument = static_cast<std::uint8_t>(ins);
        const int volume = src.volume < 0 ? Loudness(c, Level(InsLead)) : src.volume;
        dst.volume = static_cast<std::int8_t>(std::max(1, volume * (octave ? 1 : 2) / 5));
        if (octave && src.note + 12 <= maxNote) dst.note = static_cast<std::uint8_t>(src.note + 12);
    }
}

// Long notes on chord tones below the lead, one a half bar; where the
// lead holds a note for a whole bar the counter line answers with a turn
// of three notes.
void PlayCounter(Ctx& c, const Section& s) {
    if (!HasChannel(c, Counter)) return;
    if (!s.parts.counter) {
        Off(c, Counter, s.start);
        return;
    }
    // A note a half bar; a waltz's counter holds a bar and turns on its
    // second beat.
    const bool waltz = c.metre->time == Time::Three;
    const int end = std::min(s.end(), c.totalRows), step = waltz ? c.bar : c.bar / 2;
    const int turn = waltz ? c.beat : c.bar / 2;
    int leadPitch = -1, previous = 62;
    auto chordTones = [&](int row, int lo, int hi) {
        std::vector<int> out;
        const int root = ChordAt(c, row);
        for (int p = lo; p <= hi; ++p) {
            const int pc = ((p - c.key) % 12 + 12) % 12;
            for (int k = 0; k < 3; ++k)
                if ((*c.mode)[static_cast<std::size_t>((root + 2 * k) % 7)] == pc) out.push_back(p);
        }
        return out;
    };
    auto heldFor = [&](int row) {
        int n = 1;
        while (row + n < end && c.track[Lead][static_cast<std::size_t>(row + n)].note == NoNote)
            ++n;
        return c.track[Lead][static_cast<std::size_t>(row)].note < 120 ? n : 0;
    };
    for (int row = s.start; row < end; ++row) {
        const Cell& l = c.track[Lead][static_cast<std::size_t>(row)];
        if (l.note == NoteOff) leadPitch = -1;
        if (l.note < 120) leadPitch = l.note - s.transpose - (IsMod(c) ? 0 : 0);
        if ((row - s.start) % step && (row - s.start) % c.bar != turn) continue;
        // Below the lead, in the tenor more than the alto.
        const int ceiling = leadPitch > 0 ? std::min(74, leadPitch - 4) : 72;
        auto tones = chordTones(row, 53, ceiling);
        if (tones.empty()) continue;
        if ((row - s.start) % c.bar == turn && heldFor(row - turn) >= c.bar * 3 / 4) {
            // The answer: down through the chord from its highest tone.
            const int n = static_cast<int>(tones.size());
            for (int k = 0; k < 3 && k < n; ++k)
                Put(c, Counter, row + 2 * k, InsCounter,
                    tones[static_cast<std::size_t>(n - 1 - k)]);
            previous = tones[static_cast<std::size_t>(std::max(0, n - 3))];
            continue;
        }
        if ((row - s.start) % step) continue;
        int best = tones[0];
        for (int p : tones)
            if (std::abs(p - previous) < std::abs(best - previous)) best = p;
        Put(c, Counter, row, InsCounter, best);
        previous = best;
    }
}

} // namespace composer::detail
