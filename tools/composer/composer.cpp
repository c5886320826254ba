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
        {InsLead, 44},  {InsLead2, 42},   {InsArp, 32},      {InsBass, 44},    {InsKick, 64},
        {InsSnare, 50}, {InsHat, 40},     {InsOpenHat, 34},  {InsTom, 50},     {InsEcho, 16},
        {InsPad, 9},    {InsPadLeft, 13}, {InsPadRight, 13}, {InsCounter, 20}, {InsSparkle, 16},
        {InsClap, 24},  {InsCrash, 34},   {InsShaker, 20},   {InsRim, 22},     {InsArpRight, 32},
    };
    return levels.at(ins);
}

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

int Pitch(const Ctx& c, int tonic, int degree) {
    const int d = ((degree % 7) + 7) % 7;
    const int octave = degree >= 0 ? degree / 7 : -((-degree + 6) / 7);
    return tonic + (*c.mode)[static_cast<std::size_t>(d)] + 12 * octave;
}

int ChordAt(const Ctx& c, int row) {
    const Section& s = SectionAt(c, row);
    const auto half = static_cast<std::size_t>(std::max(0, row - s.start) / (c.bar / 2));
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
                    bar += std::to_string(row % c.bar) + " " +
                           song.instruments[static_cast<std::size_t>(ins - 1)].name + "; ";
            }
            if (row % c.bar == c.bar - 1) bars.push_back(bar), bar.clear();
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
// The commonest bar of drums in the score as played, before the mix.
std::string ScoreDrumBar(const Ctx& c) {
    static const std::map<int, const char*> names = {
        {InsKick, "kick"},        {InsSnare, "snare"},   {InsHat, "hat"},
        {InsOpenHat, "open hat"}, {InsTom, "tom"},       {InsClap, "clap"},
        {InsCrash, "crash"},      {InsShaker, "shaker"}, {InsRim, "rim"}};
    const int channels = IsMod(c) ? 4 : c.channels;
    std::map<std::string, int> counts;
    std::string best;
    int most = 0;
    std::vector<int> sounding(Channels, 0);
    std::vector<std::string> bars;
    std::string bar;
    for (int row = 0; row < c.totalRows; ++row) {
        for (int k = 0; k < channels; ++k) {
            const int ch = IsMod(c) ? c.modOrder[static_cast<std::size_t>(k)] : k;
            const Cell& cell = c.track[static_cast<std::size_t>(ch)][static_cast<std::size_t>(row)];
            if (cell.instrument) sounding[static_cast<std::size_t>(k)] = cell.instrument;
            const auto name = names.find(sounding[static_cast<std::size_t>(k)]);
            if (cell.note < 120 && name != names.end())
                bar += std::to_string(row % c.bar) + " " + name->second + "; ";
        }
        if (row % c.bar == c.bar - 1) bars.push_back(bar), bar.clear();
    }
    bars.push_back(bar);
    for (const auto& b : bars)
        if (!b.empty()) ++counts[b];
    for (const auto& b : bars)
        if (!b.empty() && counts[b] > most) most = counts[b], best = b;
    return best;
}

// The score's traits (see Composition::traits).
std::array<double, 9> TraitsOf(const Ctx& c) {
    int notes = 0, reprised = 0;
    for (const auto& track : c.track)
        for (const Cell& cell : track)
            notes += cell.note < 120;
    for (const Section& s : c.sections)
        if (s.reprise >= 0) reprised += s.bars * c.bar;
    const double seconds = c.totalRows * 15.0 / c.bpm;
    return {std::log2(c.bpm) / 0.3,   c.colour.bright / 0.25, c.colour.weight / 0.25,
            c.colour.busy / 0.25,     double(c.colour.drums), c.swing ? 1.0 : 0.0,
            std::log2(seconds) / 0.5, notes / seconds / 4,    double(reprised) / c.totalRows / 0.4};
}

// One song from one seed. A song that would be a near twin of one of
// `earlier` stops once its score is written (before its sounds are made)
// with *near set.
bool ComposeFrom(const SongEntry& row, std::uint64_t seed, Composition* out, std::string* error,
                 const std::vector<Composition>& earlier, bool* near) {
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

    const std::string title(row.title, strnlen(row.title, sizeof row.title));
    Ctx c;
    c.format = *format;
    c.metre = &MetreOf(TimeOf(title, c.format));
    c.bar = c.metre->bar, c.beat = c.metre->beat;
    c.styleInMetre = InMetre(*styles[0], *c.metre);
    c.voiceInMetre = InMetre(*styles.back(), *c.metre);
    c.style = &c.styleInMetre;
    c.voice = &c.voiceInMetre;
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
    ChooseSounds(c, title);
    // A song without drums has room for pads: six channels would leave it thin.
    if (c.colour.drums == 0 && !IsMod(c)) c.channels = std::max(c.channels, 8);
    // The bass's tonic between A1 and G#2 (55..104 Hz); a heavy song plays
    // it down to E1, a light one sometimes an octave up.
    c.bassTonic = 33 + (c.key + 3) % 12;
    if (c.colour.weight > 0.7 && c.bassTonic >= 40) c.bassTonic -= 12;
    if (c.colour.weight < 0.3 && c.rng.Chance(30)) c.bassTonic += 12;
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

    // A short song, a long one, or one of the style's usual length.
    const Character& character = CharacterOf(*c.style);
    c.reprises = c.rng.Chance(character.reprises);
    // (A slow song is never a short one: it would be over before its tune
    // had unfolded.)
    const int length = c.bpm < 100 ? c.rng.Range(1, 7) : c.rng.Range(0, 7);
    Plan(c, length == 0   ? c.rng.Range(110, 135)
            : length == 1 ? c.rng.Range(300, 345)
                          : c.rng.Range(static_cast<int>(character.seconds.lo),
                                        static_cast<int>(character.seconds.hi)));
    c.track.assign(Channels, std::vector<Cell>(static_cast<std::size_t>(c.totalRows)));
    std::array<int, 3> voices{};
    for (std::size_t v = 0; v < voices.size(); ++v)
        voices[v] = (c.padRanges[v][0] + c.padRanges[v][1]) / 2;
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
    Reprise(c);

    Composition comp;
    comp.format = c.format;
    comp.fileName = path.substr(prefix.size());
    comp.style = c.style->name;
    comp.bpm = c.bpm;
    comp.metre = c.metre->name;
    comp.barRows = c.bar;
    comp.swing = c.swing;
    comp.key = c.key;
    comp.mode = c.modeName;
    comp.form = FormName(c.form);
    comp.ending = EndingName(c.ending);
    comp.leadSound = TimbreName(c.patch[InsLead].timbre);
    comp.bassSound = TimbreName(c.patch[InsBass].timbre);
    comp.traits = TraitsOf(c);
    comp.mainDrumBar = ScoreDrumBar(c);
    *near = std::any_of(earlier.begin(), earlier.end(),
                        [&](const Composition& e) { return NearTwins(comp, e); });
    if (*near) return true;
    comp.seed = seed;
    for (const Section& sec : c.sections) {
        static const char* const kinds[] = {"intro",     "verse", "chorus", "bridge",
                                            "breakdown", "build", "solo",   "outro"};
        comp.plan.push_back({sec.departure ? "departure" : kinds[static_cast<int>(sec.kind)],
                             sec.bars, sec.transpose});
    }
    comp.arpChannel = Arp;
    modwriter::Song& song = comp.song;
    song.name = std::string(row.title, strnlen(row.title, sizeof row.title));
    for (char& ch : song.name)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    song.channels = c.format == Format::Mod ? 4 : c.channels;
    song.speed = c.swing ? 6 + c.swing : 6;
    song.tempo = c.bpm;
    song.rowsPerBeat = c.beat, song.rowsPerBar = c.bar;
    AddInstruments(c, song);
    Shape(c);
    Normalise(c, song);
    Reprise(c);
    if (IsMod(c)) comp.arpChannel = c.modOrder[2] == Arp ? 2 : 3;
    Chop(c, song);
    comp.mainDrumBar = MainDrumBar(c, song);
    int again = 0;
    for (std::size_t i = 0; i < song.orders.size(); ++i)
        again +=
            std::find(song.orders.begin(), song.orders.begin() + static_cast<std::ptrdiff_t>(i),
                      song.orders[i]) != song.orders.begin() + static_cast<std::ptrdiff_t>(i);
    comp.repriseShare = song.orders.empty() ? 0 : double(again) / double(song.orders.size());
    const int halves = static_cast<int>(song.orders.size()) * c.metre->patternRows / (c.bar / 2);
    for (int h = 0; h < halves; ++h) {
        const int at = std::min(h * c.bar / 2, c.totalRows - 1);
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

double Distance(const Composition& a, const Composition& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.traits.size(); ++i)
        sum += (a.traits[i] - b.traits[i]) * (a.traits[i] - b.traits[i]);
    return std::sqrt(sum / double(a.traits.size()));
}

bool NearTwins(const Composition& a, const Composition& b) {
    if (!a.mainDrumBar.empty() && a.mainDrumBar == b.mainDrumBar) return true;
    if (a.leadSound == b.leadSound && a.bassSound == b.bassSound) return true;
    return Distance(a, b) < NearDistance;
}

bool Compose(const SongEntry& row, Composition* out, std::string* error,
             const std::vector<Composition>& earlier) {
    constexpr int MaxSeeds = 64;
    for (int refused = 0; refused < MaxSeeds; ++refused) {
        Composition c;
        bool near = false;
        if (!detail::ComposeFrom(row, SeedOf(row) + static_cast<std::uint64_t>(refused), &c, error,
                                 earlier, &near))
            return false;
        if (!near) {
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
