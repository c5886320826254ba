#pragma once

// The sound-reactive part of the frame: the spectrum behind the playlist, the
// two oscilloscopes in the side panels, and the pulse of the lowest
// frequencies that lights the speakers and lifts the credits line.

#include <cstdint>

constexpr int SpectrumBins = 512;
constexpr int SampleValues = 4096;

// The last data fetched. On a tick when the song is not playing nothing is
// fetched, so a paused or stopped song leaves its spectrum and scopes frozen.
extern float SpectrumInput[SpectrumBins];      // magnitudes, lowest frequency first
extern std::int16_t SampleInput[SampleValues]; // interleaved stereo, left first

// The loudness of spectrum bins 1 to 5, 0 when nothing plays; not limited.
extern std::int32_t PulseLevel;

// Sets the pulse and, while the current song plays, fetches its spectrum and
// a block of its samples.
void AnalyseAudio();

// 188 columns of brightened cells inside the display, from the spectrum.
void DrawSpectrum();

// The left and right channels as points on the two side screens.
void DrawScopes();

// One colour byte brightened seven tenths of the way to white.
std::uint8_t Brighten(std::uint8_t value);
