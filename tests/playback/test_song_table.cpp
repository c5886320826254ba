// A playlist for tests: song n lives at ".\songs\songNN.mod"; the last
// song has no author.
#include "test_song_table.h"

#include "playback/song_table.h"

#include <cstdio>
#include <cstring>

namespace {

SongList MakeTestTable() {
    SongList table = {};
    table.count = SongCount;
    for (int n = 0; n < SongCount; ++n) {
        SongEntry& entry = table.entries[n];
        std::snprintf(entry.title, sizeof entry.title, "SONG %02d", n);
        std::snprintf(entry.path, sizeof entry.path, ".\\songs\\song%02d.mod", n);
        if (n < SongCount - 1)
            std::snprintf(entry.author, sizeof entry.author, "TESTER NUMBER %02d", n);
        entry.authorLength = static_cast<std::int16_t>(std::strlen(entry.author));
    }
    return table;
}

} // namespace

extern const SongList SongTable;
const SongList SongTable = MakeTestTable();

std::string TestSongPath(int song) {
    return SongTable.entries[song].path;
}
