#pragma once

// The composer's style presets. Each offers several choices for every part
// (sounds, tempos, modes, chord progressions, bass lines, drum grooves,
// hat and percussion parts, melodic rhythms, song forms and endings); a
// song draws its own from its seed.

#include "synth.h"
#include "voices.h"

#include <array>
#include <string>
#include <vector>

namespace composer {

using Progression = std::array<int, 4>; // scale degrees, 0 = tonic, one chord a bar

struct RhythmCell {
    const char* steps; // 4 rows: 'x' new note, '=' hold, '.' rest
    int weight;
};

// The shapes a song can take (see Plan in composer.cpp).
enum class Form {
    VerseChorus, // verses and choruses, a bridge, a breakdown, a build, a raised last chorus
    Aaba,        // 32-bar song form with a solo chorus between its rounds
    Rondo,       // a refrain between contrasting episodes
    Dance,       // long sections, breakdowns and builds into drops
    Ballad,      // twelve-bar verses, short choruses, a bridge
    Variations,  // a theme stated again and again, each time changed
};

enum class Ending {
    Fade, // the last section plays on while everything fades out
    Ring, // a slowing final bar, a chord struck and left to ring out
    Cold, // a fill, then a stab on the downbeat and silence
};

struct Style {
    const char* name;
    int bpmLow, bpmHigh;
    std::vector<int> swings; // ticks taken from off-beat rows (0 = straight)
    std::vector<const char*> modes;
    std::vector<Progression> progressions;
    std::vector<Progression> bridges;
    std::vector<int> turns; // chords (degrees) that lead back to a section's first chord
    std::vector<Wave> leads, arps, basses, pads, counters;
    // 16 rows: R root, O octave up, F fifth, T third, A approach (a step into
    // the next bar's root), = hold, . rest.
    std::vector<const char*> bassLines;
    // Drums, 16 rows each: kick skeletons ('x'), and the rows where a groove
    // may add a kick; snare backbeats ('x' hit, 'g' ghost); hat parts ('x'
    // closed, 'g' soft closed, 'o' open); percussion parts ('c' clap,
    // 's' shaker, 'r' rim).
    std::vector<const char*> kicks;
    const char* kickSpots;
    std::vector<const char*> snares;
    std::vector<const char*> hats;
    std::vector<const char*> percussion;
    std::vector<RhythmCell> rhythm;
    std::vector<const char*> arpHits; // where the chord arpeggio is struck
    std::vector<Form> forms;
    std::vector<Ending> endings;
    bool brokenChords; // bridges and breakdowns play broken chords in sixteenths
    bool sevenths;     // pads add the seventh
    bool slides;       // the lead slides into some long notes
    int vibrato;       // lead vibrato parameter on long notes, 0 = none
    int noteLength;    // 1 (busy) .. 3 (long notes): how the melody breathes
};

// What sets a style's songs apart from other styles' beyond the notes:
// their colour (dark and soft .. bright and hard), their weight below
// 120 Hz, how busy they are, how wide, whether they have drums, the
// timbres of their parts, how long they run and how often their sections
// come back note for note. A song draws its own values within these.
struct Range {
    double lo, hi;
};
struct Character {
    Range bright, weight, busy, width;
    std::array<int, 3> drums; // chances of no drums, sparse drums and a full kit
    std::vector<Timbre> leads, basses, arps, pads;
    Range seconds;
    int reprises; // percent of songs that bring sections back note for note
    int halfTime; // percent of songs with a half-time verse or a double-time chorus
};

const Character& CharacterOf(const Style& style);

// A song's metre and the grid it lays on the rows: a bar of 16 rows in
// four beats, or of 12 in three beats (3/4) or two beats of three eighths
// (6/8, an eighth two rows). The style's lines are written in four; a song
// in three plays the metre's own bass lines, drums, melodic rhythms and
// strokes, and the lines every style shares (fills, cadences, the bridge's
// and intro's bass) come from here in every metre.
enum class Time { Four, Three, Six };
struct Metre {
    Time time;
    const char* name; // "4/4", "3/4", "6/8"
    int bar, beat;    // rows
    int patternRows;  // a pattern: four bars
    // Fills over the bar's last beats ('-' the groove goes on), hats of a
    // sparse kit, the bridge's kick (two bars) and backbeat.
    std::vector<const char*> smallFills, bigFills, sparseHats;
    std::array<const char*, 2> bridgeKick;
    const char* bridgeSnare;
    // Bass lines for an intro before its drums, a bridge and a breakdown.
    const char *introBass, *bridgeBass, *holdBass;
    // The lead's closing bar, by how the style's melody breathes.
    std::vector<const char*> slowCadences, mediumCadences, busyCadences;
    // Lines for a style's songs in this metre (empty in four: the style's).
    std::vector<const char*> bassLines, kicks, snares, hats, percussion, arpHits;
    const char* kickSpots;
    std::vector<RhythmCell> rhythm; // cells of one beat; empty: the style's
};

const Metre& MetreOf(Time time);
// The style as a song in `metre` plays it.
Style InMetre(const Style& style, const Metre& metre);
// The metre a title asks for ("CAFE", "MILL": a waltz; "WALK", "KITE",
// "MARCH": six-eight), in a format whose patterns can hold its bars; four
// otherwise.
Time TimeOf(const std::string& title, modwriter::Format format);

const Style* FindStyle(const std::string& name);
const std::vector<Style>& Styles();

// Semitone offsets of a mode's seven degrees, or nullptr.
const std::array<int, 7>* ModeSteps(const std::string& mode);

// Names of waves, forms and endings, as songcheck prints them.
const char* WaveName(Wave wave);
const char* FormName(Form form);
const char* EndingName(Ending ending);

} // namespace composer
