#pragma once

// Chip instruments: band-limited single-cycle waveforms in short loops, and
// one-shot drums from noise and pitch-dropped pulses.

#include "modwriter.h"

#include <cstdint>

namespace composer {

enum class Wave {
    Pulse12, // 12.5 % duty
    Pulse25, // 25 % duty
    Pulse50, // square
    Triangle,
    Saw,
    Organ,      // sine with a few drawbar harmonics
    SoftSquare, // square with its upper harmonics rolled off
    Pwm,        // pulse whose width sweeps over a loop of many cycles
    DetunedSaw, // two saws a few cents apart, beating in the loop
    Bell,       // FM tone whose brightness decays into a soft loop
};

struct ToneShape {
    Wave wave = Wave::Pulse50;
    int cycle = 32;       // frames a cycle
    int rate = 8363;      // C-5 rate of the sample
    double amplitude = 1; // 0..1 of full scale
    bool sixteenBit = false;
    // Baked decay for formats without envelopes: the level falls from 1 to
    // sustain over decayCycles cycles, then the last cycles loop. 0 = none.
    int decayCycles = 0;
    double sustain = 1;
};

// Waves of equal peak differ in loudness (a square is twice a thin pulse):
// a loop louder than this RMS level (of full scale) is brought down to it.
constexpr double WaveRmsCeiling = 0.8;

modwriter::Sample ToneSample(const ToneShape& shape);

enum class Drum { Kick, Snare, HatClosed, HatOpen, Clap, Tom, Crash, Shaker, Rim };

// A song's kit draws these from its seed.
struct DrumShape {
    Drum drum = Drum::Kick;
    int rate = 16726; // frames a second at the note the drum is played
    double amplitude = 1;
    bool sixteenBit = false;
    double tone = 1;   // scales the pitch of kick, snare, tom and rim bodies
    double length = 1; // scales the decay
    double colour = 1; // noise from dark (0) to bright (1): snare, hats, clap, crash, shaker
    double click = 0;  // the kick's click at its start, 0..1
    double body = 1;   // the snare's drum under its noise: 0 (a noise snare) .. 1
    double snap = 1;   // the snare's and clap's noise: 0 a narrow band at its colour .. 1 broad
    double metal = 0;  // hats and crash: 0 noise .. 1 a ring of detuned squares
    std::uint32_t noiseSeed = 1;
};

modwriter::Sample DrumSample(const DrumShape& shape);

} // namespace composer
