#pragma once

#include <cstdint>

// One playlist row, 542 bytes: texts zero-terminated and zero-padded.
struct SongEntry {
    char title[30];   // capitals, at most 20 characters
    char path[255];   // ".\songs\" + file name, at most 39 characters
    char author[255]; // capitals, at most 16 characters, several joined by ", "
    std::int16_t authorLength;
};
static_assert(sizeof(SongEntry) == 542);

constexpr int SongCount = 40;

struct SongList {
    std::int16_t count;
    SongEntry entries[SongCount];
};

// The compiled-in playlist; never changed. Song 0 plays at start-up.
extern const SongList SongTable;
