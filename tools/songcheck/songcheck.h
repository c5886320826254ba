#pragma once

// Figures of one module file, from libopenmpt (rendered at 44100 Hz) and,
// independently, from libxmp.

#include <cstdint>
#include <string>
#include <vector>

namespace songcheck {

struct Figures {
    std::string error;   // "" when both libraries loaded the file
    std::string format;  // libopenmpt's type: "mod", "xm", "it"
    int channels = 0;    // libopenmpt
    int xmpChannels = 0; // libxmp
    int orders = 0;
    double seconds = 0;    // libopenmpt's duration
    double xmpSeconds = 0; // libxmp's duration
    double renderedSeconds = 0;
    double peakDb = -200;      // highest sample, dBFS
    double rmsDb = -200;       // over the whole song, both channels
    double longestSilence = 0; // seconds, not counting the silence that ends the song
    double bpm = 0;            // over the first pattern, 4 rows a beat
    std::vector<int> lead;     // notes of the lead channel, 32 rows from its first note
};

// Loads and measures a file. `leadChannel` picks the channel whose notes
// go into `lead`; `render` false skips the audio figures.
Figures Analyse(const std::string& path, int leadChannel, bool render = true);

// Loads a module from memory and renders it whole; returns the frames
// (interleaved stereo floats at 44100 Hz). Throws on a load failure.
std::vector<float> Render(const std::vector<std::uint8_t>& bytes);

// libxmp's duration in seconds and channel count of a module in memory;
// false when libxmp cannot load it.
bool XmpInfo(const std::vector<std::uint8_t>& bytes, double* seconds, int* channels);

std::vector<std::uint8_t> ReadFile(const std::string& path);

// Writes interleaved stereo floats as a 16-bit WAV file.
bool WriteWav(const std::string& path, const std::vector<float>& frames);

} // namespace songcheck
