// The drums: a groove of two or four bars drawn from the style, a hat and
// percussion part for each kind of section, fills chosen by their place
// (the end of a phrase, of a section, before a breakdown), builds that
// roll into a section, crashes on arrivals, and drop-outs.

#include "parts.h"

#include <algorithm>

namespace composer::detail {
namespace {

// Fills (the metre's), one letter a row: k kick, s snare, g ghost snare,
// t m l high, mid and low tom, o open hat, . nothing, - the groove goes on.

// Adds one kick at a row the style allows that is still free.
bool AddKick(Rng& r, const Style& s, DrumBar& b) {
    std::vector<int> free;
    for (int row = 1; row < static_cast<int>(b.kick.size()); ++row)
        if (s.kickSpots[row] == 'x' && b.kick[static_cast<std::size_t>(row)] == '.' &&
            b.snare[static_cast<std::size_t>(row)] != 'x')
            free.push_back(row);
    if (free.empty()) return false;
    b.kick[static_cast<std::size_t>(r.Pick(free))] = 'x';
    return true;
}

// A bar that differs from `base`: a kick added or moved, or a ghost note.
DrumBar Vary(Rng& r, const Style& s, const DrumBar& base, const std::vector<DrumBar>& avoid) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        DrumBar b = base;
        switch (r.Range(0, 2)) {
        case 0:
            AddKick(r, s, b);
            break;
        case 1: {
            std::vector<int> kicks;
            for (int row = 1; row < static_cast<int>(b.kick.size()); ++row)
                if (b.kick[static_cast<std::size_t>(row)] == 'x') kicks.push_back(row);
            if (!kicks.empty()) b.kick[static_cast<std::size_t>(r.Pick(kicks))] = '.';
            AddKick(r, s, b);
            break;
        }
        default: {
            const auto row =
                static_cast<std::size_t>(r.Pick(std::vector<int>{3, 7, 9, 11, 14, 15}));
            if (row < b.snare.size() && b.snare[row] == '.') b.snare[row] = 'g';
            break;
        }
        }
        const bool fresh = std::none_of(avoid.begin(), avoid.end(), [&](const DrumBar& a) {
            return a.kick == b.kick && a.snare == b.snare;
        });
        if (fresh) return b;
    }
    DrumBar b = base;
    char& last = b.snare.back();
    last = last == 'x' ? 'g' : 'x';
    return b;
}

// Two different picks from a list.
template <typename T>
std::array<T, 2> TwoOf(Rng& r, const std::vector<T>& v) {
    const int n = static_cast<int>(v.size());
    const int a = r.Range(0, n - 1);
    const int b = (a + r.Range(1, n - 1)) % n;
    return {v[static_cast<std::size_t>(a)], v[static_cast<std::size_t>(b)]};
}

void Hit(Ctx& c, int ch, int row, int ins, int note, int volume) {
    Put(c, ch, row, ins, note, volume);
}

int TomNote(char letter) {
    return letter == 't' ? DrumNote + 5 : letter == 'm' ? DrumNote : DrumNote - 5;
}

} // namespace

void ChooseGroove(Ctx& c) {
    Rng& r = c.rng;
    const Style& s = *c.style;
    DrumBar a{r.Pick(s.kicks), r.Pick(s.snares)};
    if (r.Chance(50)) AddKick(r, s, a);
    const DrumBar b = Vary(r, s, a, {a});
    const DrumBar d = Vary(r, s, a, {a, b});
    c.grooveBars = r.Chance(40) ? 4 : 2;
    c.groove = {a, b, a, d};
    const auto hats = TwoOf(r, s.hats);
    const auto more = TwoOf(r, s.hats);
    c.hatParts = {hats[0], hats[1], r.Pick(c.metre->sparseHats), more[0], more[1]};
    const auto perc = TwoOf(r, s.percussion);
    c.percParts = {perc[0], perc[1], r.Pick(s.percussion)};
    const auto small = TwoOf(r, c.metre->smallFills);
    const auto big = TwoOf(r, c.metre->bigFills);
    c.smallFills = {small[0], small[1]};
    c.bigFills = {big[0], big[1]};
}

void PlayDrums(Ctx& c, std::size_t index) {
    const Section& s = c.sections[index];
    if (!s.parts.drums) return;
    const Section* prev = index > 0 ? &c.sections[index - 1] : nullptr;
    const Section* next = index + 1 < c.sections.size() ? &c.sections[index + 1] : nullptr;
    const bool mod = IsMod(c);
    const int hatCh = mod ? Kit : Hats;
    Rng r = c.rng.Fork(0xD4u + index);
    const char* hatPart = c.hatParts[0];
    const char* percPart = nullptr;
    // Every other verse and chorus changes its hats.
    switch (s.kind) {
    case Kind::Chorus:
    case Kind::Outro:
        hatPart = c.hatParts[s.variation % 2 ? 4 : 1];
        percPart = c.percParts[0];
        break;
    case Kind::Bridge:
        hatPart = c.hatParts[2];
        break;
    case Kind::Solo:
        hatPart = c.hatParts[3];
        percPart = c.percParts[2];
        break;
    case Kind::Verse:
        if (s.variation > 0) percPart = c.percParts[1];
        if (s.variation > 1) hatPart = c.hatParts[s.variation % 2 ? 3 : 4];
        break;
    default:
        break;
    }
    if (!s.parts.perc || !HasChannel(c, Perc)) percPart = nullptr;
    // The kick sits out the bar before a chorus now and then.
    const bool dropKick = next && next->kind == Kind::Chorus && r.Chance(35);
    const bool arrival = prev && (prev->kind == Kind::Build || prev->kind == Kind::Breakdown ||
                                  s.kind == Kind::Chorus || s.kind == Kind::Solo || s.finale);
    for (int bar = 0; bar < s.bars; ++bar) {
        const int row0 = s.start + bar * c.bar;
        if (row0 >= c.totalRows) break;
        const bool lastBar = bar == s.bars - 1;
        const bool finalChord = s.kind == Kind::Outro && c.ending != Ending::Fade && bar >= 3;
        if (finalChord) {
            if (bar == 3) {
                Hit(c, Kit, row0, InsKick, DrumNote, -1);
                if (mod)
                    Hit(c, Kit, row0 + 2, InsOpenHat, DrumNote, -1);
                else
                    Hit(c, Hats, row0, InsCrash, DrumNote, -1);
            }
            continue;
        }
        if (s.kind == Kind::Intro && bar < s.drumsFrom) {
            // Only the hats, softly, in the bars before the drums come in.
            if (bar + 2 >= s.drumsFrom)
                for (int rr = 0; rr < c.bar; rr += 2)
                    if (!mod) Hit(c, Hats, row0 + rr, InsHat, DrumNote, Level(InsHat) - 10);
            continue;
        }
        const DrumBar& g = c.groove[static_cast<std::size_t>(bar % c.grooveBars)];
        std::string kick = g.kick, snare = g.snare, hats = hatPart;
        const auto bar8 = static_cast<std::size_t>(c.bar);
        std::string fill(bar8, '-');
        // Fills take the bar's last half in four, its last beat in six-eight.
        const std::size_t fillAt = bar8 - std::string(c.smallFills[0]).size();
        if (s.kind == Kind::Bridge) {
            kick = c.metre->bridgeKick[static_cast<std::size_t>(bar % 2)];
            snare = c.metre->bridgeSnare;
        }
        if (s.kind == Kind::Verse && s.variation > 0)
            for (int rr = 0; rr < c.bar; rr += 2)
                if (hats[static_cast<std::size_t>(rr)] == '.')
                    hats[static_cast<std::size_t>(rr)] = 'g';
        int snareRamp = 0;
        if (s.kind == Kind::Build) {
            // Kick on the beats under a snare roll that doubles its pace:
            // the backbeats, then eighths, then every row.
            const int left = s.bars - bar;
            kick = snare = hats = std::string(bar8, '.');
            for (std::size_t rr = 0; rr < bar8; ++rr) {
                const int at = static_cast<int>(rr);
                if (at % c.beat == 0) kick[rr] = 'x';
                if (left > 2 ? at % (2 * c.beat) == c.beat : left == 2 ? at % 2 == 0 : true)
                    snare[rr] = 'x';
            }
            snareRamp = 1;
            if (lastBar && r.Chance(40)) fill.replace(bar8 - 4, 4, "....");
        } else if (lastBar && next && next->kind == Kind::Breakdown) {
            fill.replace(fillAt, bar8 - fillAt, "k" + std::string(bar8 - fillAt - 1, '.'));
        } else if ((lastBar && next && next->kind != Kind::Build) ||
                   (s.kind == Kind::Outro && bar == 2)) {
            fill.replace(fillAt, bar8 - fillAt,
                         c.bigFills[static_cast<std::size_t>((index + bar) % 2)]);
        } else if (bar % 4 == 3 && !lastBar) {
            fill.replace(fillAt, bar8 - fillAt,
                         c.smallFills[static_cast<std::size_t>((bar / 4 + s.variation) % 2)]);
        }
        if (s.feel == 1 && s.kind != Kind::Build && c.metre->time == Time::Four) {
            // Half time: the backbeat once a bar, on its middle, over the
            // groove's kicks of the bar's first half.
            kick = g.kick.substr(0, 8) + (bar % 2 ? "..x....." : "........");
            snare = bar % 4 == 3 ? "........x.....g." : "........x.......";
        } else if (s.feel == 2 && s.kind != Kind::Build) {
            // Double time: the snare between the beats, the groove's kicks
            // on them.
            for (int r = 0; r < c.bar; r += 4)
                kick[static_cast<std::size_t>(r)] = 'x';
            static const char* const snares[4] = {"..x...x...x...x.", "..x...x.g.x...x.",
                                                  "..x...x...x.x.x.", "..x...x...x..xx."};
            snare = snares[bar % 4];
            for (std::size_t r = 0; r < kick.size(); ++r)
                if (snare[r] != '.') kick[r] = '.';
        }
        if (c.colour.drums == 1 && s.kind != Kind::Build) {
            // A sparse kit keeps time softly, in a phrase of four bars, and
            // plays no fills.
            if (c.metre->time == Time::Four) {
                static const char* const tails[4] = {"........", "..x.....", "........",
                                                     "..x...x."};
                static const char* const snares[4] = {"........x.......", "........x.......",
                                                      "........x.....g.", "........x...g..."};
                kick = g.kick.substr(0, 8) + tails[(bar + index) % 4];
                snare = snares[(bar / 2 + index) % 4];
            } else {
                // In three: the kick on one, a stroke on the last beat, a
                // pickup into every other bar.
                kick = snare = std::string(bar8, '.');
                kick[0] = 'x';
                snare[bar8 - static_cast<std::size_t>(c.beat)] = 'x';
                if ((bar + index) % 2) snare[bar8 - 2] = 'g';
            }
            hats = c.hatParts[2];
            fill.assign(bar8, '-');
        }
        // The third bar of four opens its hat at the end, so a two-bar
        // groove comes round as four bars.
        if (bar % 4 == 2 && hats[bar8 - 2] != '.') hats[bar8 - 2] = 'o';
        if (lastBar && dropKick) kick = std::string(bar8, '.');
        const bool crash = bar == 0 && arrival;
        for (int rr = 0; rr < c.bar; ++rr) {
            const int row = row0 + rr;
            if (row >= c.totalRows) break;
            const auto at = static_cast<std::size_t>(rr);
            bool k = kick[at] == 'x', sn = snare[at] == 'x', ghost = snare[at] == 'g';
            char tom = 0, hat = hats[at];
            if (fill[at] != '-') {
                const char f = fill[at];
                k = f == 'k', sn = f == 's', ghost = f == 'g';
                tom = f == 't' || f == 'm' || f == 'l' ? f : 0;
                hat = f == 'o' ? 'o' : '.';
            }
            int snareVolume = Level(InsSnare);
            if (snareRamp) snareVolume = 24 + 26 * (row - s.start) / (s.bars * c.bar);
            if (fill[at] == 's' && at >= fillAt)
                snareVolume = 36 + 2 * static_cast<int>(at - fillAt) * 8 / int(bar8 - fillAt);
            // On a backbeat the snare wins over a kick.
            if (k && !(sn && rr % (2 * c.beat) == c.beat))
                Hit(c, Kit, row, InsKick, DrumNote, rr % c.beat ? Level(InsKick) - 8 : -1);
            else if (sn)
                Hit(c, Kit, row, InsSnare, DrumNote, snareVolume);
            else if (tom)
                Hit(c, Kit, row, InsTom, TomNote(tom), -1);
            else if (ghost)
                Hit(c, Kit, row, InsSnare, DrumNote, 20);
            const bool kitBusy = k || sn || tom || ghost;
            if (crash && rr == 0) {
                if (!mod) Hit(c, Hats, row, InsCrash, DrumNote, -1);
                continue;
            }
            if (mod && kitBusy) continue;
            // Hats lean on the beat and lighten off it.
            if (hat == 'x')
                Hit(c, hatCh, row, InsHat, DrumNote, Level(InsHat) + (rr % c.beat ? -3 : 2));
            if (hat == 'g') Hit(c, hatCh, row, InsHat, DrumNote, Level(InsHat) - 8);
            if (hat == 'o') Hit(c, hatCh, row, InsOpenHat, DrumNote, -1);
            if (percPart && fill[at] == '-') {
                const char p = percPart[rr];
                if (p == 'c') Hit(c, Perc, row, InsClap, DrumNote, -1);
                if (p == 's')
                    Hit(c, Perc, row, InsShaker, DrumNote, Level(InsShaker) - (rr % 2 ? 4 : 0));
                if (p == 'r') Hit(c, Perc, row, InsRim, DrumNote, -1);
            }
        }
    }
}

} // namespace composer::detail
