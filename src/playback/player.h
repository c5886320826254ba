#pragma once

// The player: the one channel that plays the current song and the index of
// that song in the playlist. Other code reads both fields and never writes
// them; every change goes through the operations below.

#include "audiolib/bass.h"

#include <cstdint>

struct PlayerState {
    DWORD channel;            // the current song's channel; 0 before the first load and after a
                              // failed one
    std::int16_t currentSong; // the song most recently requested, loaded or not
    std::int16_t volume;      // the listener's volume, 0 to 100, once set; -1 before that
    // How often the position has jumped: a seek that moved it, or the current
    // song started again from its beginning. Whoever shows the position to
    // others compares it with the count it saw last.
    std::uint32_t jumps;
};

extern PlayerState Player;

// The volume before the listener has set one.
constexpr std::int16_t NoVolume = -1;

// Frees the current channel, opens song `index` (as a stream, else as a
// module) and starts it from the beginning, at the listener's volume once one
// has been set. A file that cannot be opened is
// reported with "Can't load file"; at most one such box is open at a time.
void PlaySong(std::int16_t index);

// Starts the next song (39 wraps to 0) once the current one has played
// through, or when there is no channel at all.
void AdvanceAtEnd();

// The playing position in milliseconds, rounded down; 0 with no channel or a
// stopped one.
std::int32_t PositionMs();

// Moves to `ms`, truncated toward zero to whole seconds. Not clamped: a
// place the library refuses leaves the position where it was.
void SeekMs(std::int32_t ms);

// Sets every module channel to the low 8 bits of `volume`, at most 100, and
// keeps it for the songs that start later.
void SetVolume(std::int32_t volume);
