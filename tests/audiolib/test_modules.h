#pragma once

// Module and sound files that the audio tests play: small, with a known
// length and a steady tone, written into a scratch directory.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "modwriter.h"

namespace audiotest {

// A 4-channel MOD that holds one looped tone on every channel from its first
// row for `rows` rows at `speed` ticks a row (tempo 125: 0.02 s a tick), so
// it lasts rows * speed * 0.02 s, `times` times over. `channels_on` of the
// four channels play.
std::vector<std::uint8_t> ToneMod(int rows, int speed, int channels_on = 4, int times = 1);

// The same tone on all `channels` channels of an XM or IT (or MOD) module.
std::vector<std::uint8_t> ToneModule(modwriter::Format format, int channels, int rows, int speed);

// A MOD with two subsongs: 0.96 s that loops back on itself, then 1.92 s.
std::vector<std::uint8_t> TwoSubsongMod();

// A MOD whose only order is a skip marker: libopenmpt loads it, with
// nothing to play.
std::vector<std::uint8_t> NothingToPlayMod();

// A 4-channel IT, 7.68 s, whose tones change their channel volumes with
// the song's own commands: raised to full, lowered, and one channel
// silenced by the song itself.
std::vector<std::uint8_t> ChannelVolumeIt();

// An IT of three subsongs (orders split by end markers) of 20.48, 19.2 and
// 19.2 s, each at its own speed and tempo, whose loudness changes from row
// to row: played from the wrong place, it sounds different.
std::vector<std::uint8_t> ThreeSubsongIt();

// An IT of `subsongs` subsongs (orders split by end markers), each the
// same tone for 0.64 s.
std::vector<std::uint8_t> ManySubsongIt(int subsongs);

// An IT of `orders` plays of one 200-row pattern, a tone on its first row,
// at speed 31 and tempo 32: 484.375 s an order.
std::vector<std::uint8_t> LongIt(int orders);

// A 4-channel XM, 15.36 s, of notes held for 32 rows: one plain, one
// under arpeggio, one sliding up and down, one with vibrato.
std::vector<std::uint8_t> HeldEffectsXm();

// The module as the audio layer plays it: every subsong in turn, each from
// its own start for the length libopenmpt gives it, silence filling the
// frames its rendering falls short.
std::vector<std::int16_t> RenderContinuously(const std::vector<std::uint8_t>& module);

// RMS in dB (full scale 0 dB) of `frames` stereo frames from frame `from`.
double RmsDb(const std::vector<std::int16_t>& pcm, std::size_t from, std::size_t frames);

// A stereo sound file (libsndfile `format`, e.g. SF_FORMAT_WAV |
// SF_FORMAT_PCM_16) holding a sine of `hz` at `amplitude` (0..1) on both
// sides; false when libsndfile cannot write it.
bool WriteSine(const std::filesystem::path& path, int format, double hz, double amplitude,
               double seconds, int rate = 44100);

// A fresh directory for one test's files.
std::filesystem::path ScratchDir(const std::string& name);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace audiotest
