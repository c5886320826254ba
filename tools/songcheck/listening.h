#pragma once

// The figures a listener hears over a whole song, from short overlapping
// spectra of its two channels: where the energy sits, how bright it is,
// how often something starts, which side leans.

#include "songcheck.h"

#include <vector>

namespace songcheck::detail {

// Fills the spectral figures of `f`: the band shares, centroid, balance and
// onsets a second.
void MeasureSpectra(const std::vector<float>& frames, int rate, Figures* f);

// Loudness in dB of 16 bands (40 Hz..10 kHz, half an octave each) of
// every frame of about 46 ms, a frame every 23 ms; and that hop in seconds.
// With `f`, the same pass fills its band shares, centroid and balance.
struct BandFrames {
    std::vector<std::vector<float>> db;
    double hop = 0;
};
BandFrames Bands(const std::vector<float>& frames, int rate, Figures* f = nullptr);

} // namespace songcheck::detail
