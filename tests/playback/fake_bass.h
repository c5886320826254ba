#pragma once

// A scripted audio library for tests: songs open by path as a stream, a
// module or not at all; each channel has a length, a position, a state and a
// number of module channels. Every call that changes something is logged.

#include "audiolib/bass.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fake_bass {

enum class Opens { Missing, AsStream, AsModule };

struct Channel {
    QWORD length = 176400 * 60;
    QWORD position = 0;
    DWORD active = BASS_ACTIVE_STOPPED;
    DWORD moduleChannels = 4;
    std::vector<DWORD> volumes; // per module channel, 64 (full) when opened
    bool freed = false;
    bool stream = false;
    // What the data requests deliver: FFT magnitudes, and sample values of
    // which the first `sampleBytes` bytes are delivered (all ones: failure).
    std::vector<float> spectrum = std::vector<float>(512, 0.0f);
    std::vector<std::int16_t> samples = std::vector<std::int16_t>(1024, 0);
    DWORD sampleBytes = 2048;
};

struct State {
    std::map<std::string, Opens> files; // a path not listed is missing
    std::map<DWORD, Channel> channels;
    DWORD nextHandle = 100;
    QWORD lengthOfNewChannels = 176400 * 60;
    std::vector<std::string> log;
    DWORD version = 0x02030000;
    BOOL initResult = TRUE;
    int freeCalls = 0;
};

extern State bass;

void Reset();
// Logged calls whose text starts with `prefix`.
std::vector<std::string> CallsStartingWith(const std::string& prefix);
Channel& ChannelOf(DWORD handle);
// Bytes of the library's 16-bit stereo at 44100 Hz.
constexpr QWORD BytesPerSecond = 176400;

} // namespace fake_bass
