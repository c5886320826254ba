#pragma once

// Real module files for end-to-end runs: each plays one steady square-wave
// tone, so the disk audio output shows which song was playing when.

#include "disk_audio.h"
#include "modwriter.h"

#include <string>

namespace e2e {

constexpr int LowNote = 48;  // C-4: about 131 Hz
constexpr int HighNote = 72; // C-6: about 523 Hz
constexpr double LowHz = 8363.0 / 32 / 2;
constexpr double HighHz = 8363.0 / 32 * 2;

// A looped square wave of period 32 frames: 8363 / 32 Hz at C-5.
modwriter::Instrument SquareWave();

// Writes a song in the format of `path`'s extension that holds `note` for one
// second (`short`) or about thirty, at `volume` (0..64: 0 is a silent song);
// returns "" or the writer's refusal.
std::string WriteToneSong(const std::string& path, int note, bool shortSong, int volume = 64);

// The tones heard in quarter seconds from `first` on, runs of the same tone
// merged: 'L' low, 'H' high, '-' quiet, '?' anything else.
std::string ToneSequence(const DiskAudio& audio, long first);

// Where playlist entry `song` lives below `folder` (its ".\songs\" path with
// the separators of this system).
std::string SongFile(const std::string& folder, int song);

} // namespace e2e
