#pragma once

// The composer's workshop: the song being made (its plan, its harmony and
// one track of cells a channel) and the players that write each part into
// it. composer.cpp plans the song, mixes it and writes it out; harmony.cpp
// plays bass, arpeggios, pads and bells; melody.cpp the lead, its echo and
// the counter line; drums.cpp the kit.

#include "composer.h"
#include "styles.h"
#include "synth.h"
#include "voices.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace composer::detail {

using modwriter::Cell;
using modwriter::Effect;
using modwriter::Format;
using modwriter::NoNote;
using modwriter::NoteOff;

constexpr int DrumNote = 72; // C-6 plays the drums at the 16726 Hz they are made for

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
    // A generator of its own for one place of the song, so that a choice
    // made there does not shift every later one.
    Rng Fork(std::uint64_t salt) const { return Rng{state ^ (salt * 0xD1B54A32D192ED03ull)}; }
};

// Channels, by the part they play. MOD has only the first four, and its
// kit channel also plays the hats. XM songs have 6 to 10 channels, IT 8 to
// 12: the parts past the count are left out.
enum Channel {
    Bass,
    Lead,
    Arp,
    Kit,
    Hats,
    Echo,
    Pad1,
    Pad2,
    Perc,
    Counter,
    Pad3,
    Sparkle,
    Channels
};

// Instruments; MOD holds those up to InsEcho.
enum Ins {
    InsLead = 1,
    InsLead2,
    InsArp,
    InsBass,
    InsKick,
    InsSnare,
    InsHat,
    InsOpenHat,
    InsTom,
    InsEcho,
    InsPad,
    InsPadLeft,
    InsPadRight,
    InsCounter,
    InsSparkle,
    InsClap,
    InsCrash,
    InsShaker,
    InsRim,
    InsArpRight, // XM and IT: the arpeggio's strikes thrown to the other side
    InsLast = InsArpRight,
};

bool IsDrum(int ins);

enum class Kind { Intro, Verse, Chorus, Bridge, Breakdown, Build, Solo, Outro };

// The parts that play in a section.
struct Parts {
    bool drums = true, bass = true, lead = true, arp = true, pads = true;
    bool counter = false, echo = false, sparkle = false, perc = false;
};

struct Section {
    Kind kind = Kind::Verse;
    int variation = 0; // how many sections of this kind came before
    int start = 0;     // first row
    int bars = 0;
    int transpose = 0;   // semitones above the song's key
    double level = 1;    // loudness of the section, 0..1
    double levelTo = -1; // a build's level at its end; -1 = steady
    Parts parts;
    std::vector<int> harmony; // the chord's root (a scale degree) every half bar
    bool finale = false;      // the last full section before the ending
    int drumsFrom = 0;        // bar where the drums come in
    int reprise = -1;         // the earlier section it plays again note for note
    int feel = 0;             // the drums: 0 as the groove, 1 half time, 2 double time
    int barRows = 16;         // the song's bar
    bool departure = false;   // a long song's bridge unlike the rest (see Depart in form.cpp)
    bool varied = false;      // a chorus come back with a counter-melody and the lead doubled
    int end() const { return start + bars * barRows; }
};

// A motif: rows from its start, and scale steps from the note before.
struct MotifNote {
    int row, len, step;
};
using Motif = std::vector<MotifNote>;

// The kick and snare of one groove bar, a row a letter ('x' hit, 'g' ghost).
struct DrumBar {
    std::string kick, snare;
};

// The song's colour, drawn within its style's character: 0..1 each.
struct Colour {
    double bright = 0.5; // dark and soft .. bright and hard
    double weight = 0.5; // how much of the song sits below 120 Hz
    double busy = 0.5;   // how many notes and hits
    double width = 0.5;  // how far the pairs of parts stand apart
    int drums = 2;       // 0 none, 1 sparse, 2 the full kit
};

struct Ctx {
    const Style* style = nullptr; // rhythm, harmony and drums
    const Style* voice = nullptr; // the style whose lead sounds are used
    // The metre, its bar and beat in rows, and the two styles as the metre
    // plays them (style and voice point here).
    const Metre* metre = nullptr;
    int bar = 16, beat = 4;
    Style styleInMetre{}, voiceInMetre{};
    Format format = Format::Mod;
    int channels = 4;
    Rng rng{0};
    int key = 0;
    std::string modeName;
    const std::array<int, 7>* mode = nullptr;
    int bpm = 120, swing = 0;
    Form form = Form::VerseChorus;
    Ending ending = Ending::Fade;
    int totalRows = 0;
    std::vector<std::vector<Cell>> track; // [channel][row]
    std::vector<Section> sections;
    std::vector<double> gain; // loudness of every row, 0..1

    // Sounds and registers.
    Colour colour;
    std::array<Patch, InsLast + 1> patch{};  // the tonal instruments' sounds
    std::array<double, InsLast + 1> level{}; // each instrument's level in the mix, 1 = usual
    std::array<int, 4> modOrder{Bass, Lead, Kit, Arp}; // MOD: the parts on channels 0..3
    bool reprises = false;                             // sections come back note for note
    int bassTonic = 36;                                // MIDI pitch of the bass's tonic
    int leadTonic = 60; // MIDI pitch of the tonic in the lead's octave
    // Registers drawn by the song: how far the lead's range stands above
    // D4..D6, the arpeggio's lowest root, and the pads' three voices (low,
    // middle, top), spread wide to leave the middle to the lead.
    int leadShift = 0;
    int arpLow = 62;
    std::array<std::array<int, 2>, 3> padRanges{{{48, 62}, {60, 72}, {69, 84}}};
    // A dark song's gusts of wind, on the sparkle's channel or, where the
    // song has none, instead of the echo; -1 when it strikes bells.
    int breathChannel = -1;
    // The arpeggio's strikes go left and right in turn (XM and IT): its
    // own pair, even by itself.
    bool pingPong = false;
    bool struckTune = false; // lead and bass both struck: pads hold the body under them

    // Harmony and accompaniment choices.
    Progression verseProg{}, chorusProg{}, bridgeProg{};
    int turn = 4; // the chord that leads back at the end of a period
    std::array<const char*, 3> bassLines{};
    const char* arpHits = "x...............";

    // Drums: the groove of 2 or 4 bars, hat and percussion parts by section
    // (verse, chorus, bridge, solo, later verses), fills by place.
    std::array<DrumBar, 4> groove;
    int grooveBars = 2;
    std::array<const char*, 5> hatParts{};
    std::array<const char*, 3> percParts{};
    std::array<const char*, 2> smallFills{}, bigFills{};

    // Melody: the verse, chorus and bridge motifs.
    std::array<Motif, 3> themes;
    int lastLeadDegree = 7;
};

// ---- shared by the players (composer.cpp) ----

bool IsMod(const Ctx& c);
bool HasChannel(const Ctx& c, int ch);
const Section& SectionAt(const Ctx& c, int row);
Cell& At(Ctx& c, int ch, int row);
int Level(int ins); // an instrument's usual volume
int Pitch(const Ctx& c, int tonic, int degree);
int ChordAt(const Ctx& c, int row); // root degree of the chord sounding at a row
bool IsChordTone(int degree, int root);
int NearestChordTone(int degree, int root, int direction = -1);
// Writes a note (raised with its section unless a drum) at a volume (-1 =
// the instrument's level); MOD notes play at their sample's volume unless
// one is asked for.
void Put(Ctx& c, int ch, int row, int ins, int midi, int volume = -1);
void Off(Ctx& c, int ch, int row);
bool SetEffect(Ctx& c, int ch, int row, Effect e, int param);

int Loudness(const Ctx& c, int volume); // a volume as the format mixes it
int CycleOf(const Ctx& c, int ins);     // frames a cycle of a tonal instrument
int NoteFor(const Ctx& c, int ins, int midi);
bool IsControl(Effect e);

// ---- the song's making, in order ----

void Plan(Ctx& c, double seconds); // form.cpp
void Reprise(Ctx& c);              // copies the reprised sections' cells from their first time
void ChooseSounds(Ctx& c, const std::string& title); // instruments.cpp
void AddInstruments(Ctx& c, modwriter::Song& song);
// Channels panned apart in pairs (left, right, and how much further out
// than the song's width).
struct PanPair {
    int left, right, extra;
};
// The song's pairs: where its arpeggio plays ping-pong, even by itself,
// the echo pairs with the counter line unless the sparkle has it.
std::vector<PanPair> PanPairs(const Ctx& c);
std::array<int, Channels> PansOf(const Ctx& c);
int ChannelOf(const Ctx& c, int ins); // the channel an instrument plays on (XM and IT)
void PlayControl(Ctx& c);             // feel.cpp
void Shape(Ctx& c);                   // mix.cpp
void Normalise(Ctx& c, modwriter::Song& song);
void Chop(Ctx& c, modwriter::Song& song);

// ---- the players ----

void PlayBass(Ctx& c, const Section& s);
void PlayArp(Ctx& c, const Section& s);
void PlayPads(Ctx& c, const Section& s, std::array<int, 3>& voices);
void PlaySparkle(Ctx& c, const Section& s);

void ChooseThemes(Ctx& c);
void PlayLead(Ctx& c, std::size_t section);
void PlayCounter(Ctx& c, const Section& s);
void PlayEcho(Ctx& c);

void ChooseGroove(Ctx& c);
void PlayDrums(Ctx& c, std::size_t section);

} // namespace composer::detail
