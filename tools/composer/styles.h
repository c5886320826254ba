#pragma once

// The composer's style presets: each has its own tempos, swing, modes,
// chord progressions, instruments, bass line, drum kit pattern and melodic
// rhythm vocabulary.

#include "synth.h"

#include <array>
#include <string>
#include <vector>

namespace composer {

using Progression = std::array<int, 4>; // scale degrees, 0 = tonic, one chord a bar

struct RhythmCell {
    const char* steps; // 4 rows: 'x' new note, '=' hold, '.' rest
    int weight;
};

struct Style {
    const char* name;
    int bpmLow, bpmHigh;
    std::vector<int> swings; // ticks taken from off-beat rows (0 = straight)
    std::vector<const char*> modes;
    std::vector<Progression> progressions;
    std::vector<Progression> bridges;
    Wave lead, arp, bass, pad, counter;
    const char* bassLines[2]; // 16 rows: R root, O octave, F fifth, = hold, . rest
    const char* kick;         // 16 rows, 'x' hit
    const char* snare;
    const char* hats; // 'x' closed, 'o' open, 'g' soft closed
    std::vector<RhythmCell> rhythm;
    const char* arpHits; // 16 rows: where the chord arpeggio is struck
    bool brokenChords;   // the bridge and returns play broken chords in sixteenths
    bool sevenths;       // pads add the seventh
    bool slides;         // the lead slides into some long notes
    int vibrato;         // lead vibrato parameter on long notes, 0 = none
    int lift;            // semitones the last return and the ending rise, 0 = none
};

const Style* FindStyle(const std::string& name);
const std::vector<Style>& Styles();

// Semitone offsets of a mode's seven degrees, or nullptr.
const std::array<int, 7>* ModeSteps(const std::string& mode);

} // namespace composer
