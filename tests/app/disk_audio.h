#pragma once

// The output of SDL's disk audio driver: raw signed 16-bit stereo at
// 44100 Hz, left first, written as the program plays.

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

constexpr int AudioRate = 44100;

struct DiskAudio {
    std::vector<std::int16_t> samples; // interleaved left, right
    std::size_t Frames() const { return samples.size() / 2; }
    double Seconds() const { return static_cast<double>(Frames()) / AudioRate; }
};

DiskAudio ReadDiskAudio(const std::string& path);

// The first frame whose left or right sample reaches `threshold` in size, or
// -1 when none does.
long FirstAudibleFrame(const DiskAudio& audio, int threshold = 64);

// The pitch of a plain tone in [from, to) frames: sign changes of the left
// channel (ignoring values within +-threshold) per second, halved, over the
// part of the window where it sounds; 0 for fewer than three changes.
double ToneFrequency(const DiskAudio& audio, long from, long to, int threshold = 256);

// The largest sample size in [from, to) frames.
int Peak(const DiskAudio& audio, long from, long to);

} // namespace e2e
