#pragma once

// The composer: makes one song of the playlist from its table row. Every
// choice comes from a seed derived from the row, so the same row always
// gives the same bytes.

#include "modwriter.h"
#include "playback/song_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace composer {

// The channels that carry the bass line and the lead melody, in every format.
constexpr int BassChannel = 0;
constexpr int LeadChannel = 1;

struct Composition {
    modwriter::Song song;
    modwriter::Format format = modwriter::Format::Mod;
    std::string fileName; // the row's path without the ".\songs\" folder
    std::string style;    // the first style named by the author column
    int bpm = 0;          // beats a minute (4 rows a beat)
    int swing = 0;        // ticks moved from the off-beat row to the on-beat one
    int key = 0;          // tonic pitch class, 0 = C
    std::string mode;     // "ionian", "dorian", ...
    // The triad of every 16-row bar of the patterns in play order, as pitch
    // classes (0 = C): root, third, fifth.
    std::vector<std::array<int, 3>> chords;
    int arpChannel = 2; // the channel of the chord arpeggios
};

// FNV-1a over the row's title, path and author.
std::uint64_t SeedOf(const SongEntry& row);

// The style presets, by name ("BRISK", ...); authors name one or two of them.
const std::vector<std::string>& StyleNames();

// Composes the row's song. Returns false with *error set when the row names
// an unknown style or format, or the song cannot be written in its format.
bool Compose(const SongEntry& row, Composition* out, std::string* error);

} // namespace composer
