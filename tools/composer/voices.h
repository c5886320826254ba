#pragma once

// The song's own instruments: timbres beyond the chip waves, each turned
// by knobs that a song draws from its seed, so that no two songs play the
// same lead or bass. Sustained timbres are whole cycles in a loop (with
// the attack baked in front where the timbre changes as it sounds); struck
// and plucked ones are one-shots that die away by themselves.

#include "modwriter.h"

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace composer {

enum class Timbre {
    Chip,   // a pulse: knob 0 its width, knob 1 how far the width sweeps
    Saw,    // one to three saws a few cents apart: knob 0 the detune, 1 the brightness
    Organ,  // drawbars: knobs 0..3 the levels of the registers above the fundamental
    Vowel,  // a buzz through the formants of a vowel: knob 0 the vowel, 1 the brightness
    Flute,  // a few soft harmonics and breath: knob 0 the breath, 1 the brightness
    Sub,    // a sine with a little of its octave and twelfth: knobs 0 and 1
    Acid,   // a saw (or square, knob 2) through a resonant low-pass whose cutoff
            // falls as the note sounds: knob 0 the cutoff, 1 the resonance
    Fm,     // two operators: knob 0 picks the ratio (e-piano, bass, bell), knob 1
            // the index, knob 2 how fast it falls
    Pluck,  // a plucked string: knob 0 the brightness of the pluck, 1 the damping
    Mallet, // struck bars: knob 0 picks wood, vibraphone, metal or glass, 1 the hardness
    Wind,   // noise in bands about the harmonics, a breathed pad: knob 0 how wide the
            // bands (from a whistle to wind), 1 the brightness, 2 the air (hiss about a
            // formant) and 3 that formant's height
};

struct Patch {
    Timbre timbre = Timbre::Chip;
    std::array<double, 4> knob{0.5, 0.5, 0.5, 0.5};
    double decay = 0; // seconds for a struck timbre to fall 60 dB at C-5; 0 = their own
    bool operator==(const Patch&) const = default;
};

// How bright a patch sounds, 0 (a sine) .. 1 (a hard saw): the song's
// colour draws its patches by it.
double BrightnessOf(const Patch& patch);
const char* TimbreName(Timbre timbre);

struct VoiceShape {
    Patch patch;
    int cycle = 64;       // frames a cycle at C-5
    int rate = 16726;     // the sample's C-5 rate
    int top = 31;         // highest harmonic: keeps the highest note clear of aliasing
    double amplitude = 1; // 0..1 of full scale
    bool sixteenBit = true;
    std::uint32_t noiseSeed = 1; // plucks and breath
    // A sine at the fundamental under the timbre, following its level, as
    // strong as 0 (none) .. 1 (as loud as the timbre): weight for a bass.
    double sub = 0;
};

modwriter::Sample VoiceSample(const VoiceShape& shape);

// A discrete Fourier transform of 2^k points, in place, unscaled; the
// inverse's real part is the signal of a spectrum.
void Fft(std::vector<std::complex<double>>& x, bool inverse = false);

} // namespace composer
