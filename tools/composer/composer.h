#pragma once

// The composer: makes one song of the playlist from its table row. Every
// choice comes from a seed derived from the row, so the same row always
// gives the same bytes. Within the playlist a song that would be a near
// twin of one made before it is composed again from the next seed.

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
    std::string fileName;  // the row's path without the ".\songs\" folder
    std::string style;     // the first style named by the author column
    int bpm = 0;           // the tracker's tempo: quarter notes (4 rows) a minute
    std::string metre;     // "4/4", "3/4" or "6/8"
    int barRows = 16;      // rows a bar
    int swing = 0;         // ticks moved from the off-beat row to the on-beat one
    int key = 0;           // tonic pitch class, 0 = C
    std::string mode;      // "ionian", "dorian", ...
    std::string form;      // "verse-chorus", "aaba", "rondo", "dance", "ballad", "variations"
    std::string ending;    // "fade", "ring", "cold"
    std::string leadSound; // the lead's timbre, e.g. "pluck"
    std::string bassSound; // the bass's
    // What a listener tells songs apart by, read from the score, each in
    // units of a clear difference: the tempo, the colour (brightness,
    // weight below 120 Hz, busyness), the drums, the swing, the length,
    // notes a second and the share of the song that is reprised.
    std::array<double, 9> traits{};
    double repriseShare = 0; // share of the orders that play an earlier pattern again
    // The song's commonest bar of drums, as "row instrument; " for every
    // drum struck in it (rows from the bar's first, instruments by name).
    std::string mainDrumBar;
    // The sections in play order: "intro", "verse", "chorus", "bridge",
    // "breakdown", "build", "solo" or "outro" (or "departure", a long song's
    // bridge unlike the rest), their bars and how many semitones they stand
    // above the song's key.
    struct Section {
        std::string kind;
        int bars = 0;
        int transpose = 0;
    };
    std::vector<Section> plan;
    std::uint64_t seed = 0; // the seed the song was made from
    int refused = 0;        // seeds before it that made a near twin
    // The triad of every half bar (barRows / 2 rows) of the patterns in play
    // order, as pitch classes (0 = C): root, third, fifth.
    std::vector<std::array<int, 3>> chords;
    int arpChannel = 2; // the channel of the chord arpeggios
};

// FNV-1a over the row's title, path and author.
std::uint64_t SeedOf(const SongEntry& row);

// The style presets, by name ("BRISK", ...); authors name one or two of them.
const std::vector<std::string>& StyleNames();

// How far apart two songs' traits lie: the root mean square of their
// differences.
double Distance(const Composition& a, const Composition& b);
constexpr double NearDistance = 0.4;

// Whether two songs are near twins: the same main drum bar, the same lead
// and bass timbres, or traits nearer than NearDistance.
bool NearTwins(const Composition& a, const Composition& b);

// Composes the row's song; a seed whose song is a near twin of one of
// `earlier` is passed over for the next. Returns false with *error set
// when the row names an unknown style or format, or the song cannot be
// written in its format.
bool Compose(const SongEntry& row, Composition* out, std::string* error,
             const std::vector<Composition>& earlier = {});

// Composes every song of the playlist in its order, each one against the
// songs before it.
bool ComposePlaylist(std::vector<Composition>* out, std::string* error);

} // namespace composer
