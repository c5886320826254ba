#pragma once

// The fuzzing entry points: bytes from outside, as a song or a sound file,
// through the audio layer's real code. Each loads the bytes, plays some of
// them through a mixer rendered here (no device), seeks, asks for sample
// data, spectra, positions and channel levels, then does the same through
// the library's calls over SDL's dummy device. Refused input is fine; a
// crash, a hang or unbounded memory is the fault looked for. libFuzzer calls
// them from its own entry point, the test suite for every kept input.

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Bytes as a tracker module.
void Module(const std::uint8_t* data, std::size_t size);
// Bytes as a sampled sound file.
void SoundFile(const std::uint8_t* data, std::size_t size);

} // namespace fuzz
