#pragma once

// Figures of one module file, from libopenmpt (rendered at 44100 Hz) and,
// independently, from libxmp; and figures of its patterns as a listener
// would judge them: how often the main drum bar comes round, how many lead
// rhythms there are, how the level moves, where the energy sits, how wide
// the mix is and how the song ends.

#include <cstdint>
#include <string>
#include <vector>

namespace songcheck {

// How a song is rendered for its audio figures. The defaults are the
// player's (44100 Hz, libopenmpt's 8-tap filter); a cheaper render keeps
// every figure within a fraction of a dB at a third of the cost.
struct Options {
    bool render = true;
    int rate = 44100;
    int interpolation = 8; // filter taps: 1 nearest, 2 linear, 4 cubic, 8 sinc
};

struct Figures {
    std::string error;   // "" when both libraries loaded the file
    std::string format;  // libopenmpt's type: "mod", "xm", "it"
    int channels = 0;    // libopenmpt
    int xmpChannels = 0; // libxmp
    int orders = 0;
    double seconds = 0;    // libopenmpt's duration
    double xmpSeconds = 0; // libxmp's duration
    double bpm = 0;        // beats a minute over the first pattern
    std::vector<int> lead; // notes of the lead channel, 32 rows from its first note

    // From the patterns, in play order up to the break that ends the song:
    // the metre, read from where the notes start ("4/4" in bars of 16 rows
    // and beats of 4, "3/4" in bars of 12 and beats of 4, "6/8" in bars of
    // 12 and beats of 6), and the number of bars.
    std::string metre;
    int barRows = 16, beatRows = 4;
    int bars = 0;
    // The drums of a bar: which drum (by its instrument's name) strikes on
    // which row, on any channel, whatever its volume. The main drum bar is
    // the commonest bar that has drums; its share counts all bars.
    std::string mainDrumBar;
    double mainDrumShare = 0;
    int leadRhythms = 0; // distinct bars of lead rhythm (note starts and stops by row)

    // From the render.
    double renderedSeconds = 0;
    double peakDb = -200;      // highest sample, dBFS
    double rmsDb = -200;       // over the whole song, both channels
    double longestSilence = 0; // seconds, not counting the silence that ends the song
    double spreadDb = 0;       // p90 - p10 of the levels of the song's 3-second stretches
    double lowShare = 0;       // share of the energy below 120 Hz
    double midShare = 0;       // share of the energy at 500 Hz..2 kHz
    double presenceShare = 0;  // share of the energy at 2..6 kHz
    double sideToMidDb = -200; // level of L - R against L + R
    double endDb = 0;          // level of the last 50 ms against the whole song's
    double balanceDb = 0;      // left against right at 150 Hz..6 kHz (+ = left louder)
    double centroidHz = 0;     // spectral centroid, the mean over the sounding frames
    double onsetsPerSecond = 0;
    // Share of the song's time in orders that play a pattern played before:
    // a section reprised note for note through the order list.
    double repriseShare = 0;
};

// The instrument names a song's drums go by.
bool IsDrumName(const std::string& name);

// Loads and measures a file. `leadChannel` picks the channel whose notes
// go into `lead` and `leadRhythms`.
Figures Analyse(const std::string& path, int leadChannel, const Options& options = {});

// Loads a module from memory and renders it whole; returns the frames
// (interleaved stereo floats at options.rate). Throws on a load failure.
std::vector<float> Render(const std::vector<std::uint8_t>& bytes, const Options& options = {});

// Fills the render's figures of `f` from interleaved stereo frames.
void MeasureAudio(const std::vector<float>& frames, int rate, Figures* f);

// A picture of the song's self-similarity, `size` pixels square: bright
// where two moments sound alike (a reprise shows as a line parallel to the
// diagonal). Written as PNG; false when the file cannot be written.
bool WriteSelfSimilarity(const std::vector<float>& frames, int rate, int size,
                         const std::string& path);

// libxmp's duration in seconds and channel count of a module in memory;
// false when libxmp cannot load it.
bool XmpInfo(const std::vector<std::uint8_t>& bytes, double* seconds, int* channels);

std::vector<std::uint8_t> ReadFile(const std::string& path);

// Writes interleaved stereo floats as a 16-bit WAV file.
bool WriteWav(const std::string& path, const std::vector<float>& frames, int rate = 44100);

} // namespace songcheck
