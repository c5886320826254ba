// The playlist's songs, as the build made them: composed the same way every
// time, and up to the disk's quality bars when played by libopenmpt at
// 44100 Hz and read by libxmp.

#include "composer.h"
#include "songcheck.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string PathOf(int i) {
    return std::string(TONEBOX_SONG_DIR) + "/" + (SongTable.entries[i].path + 8);
}

// Each song is rendered once and its figures kept for every test.
const songcheck::Figures& FiguresOf(int i) {
    static std::map<int, songcheck::Figures> cache;
    auto it = cache.find(i);
    if (it == cache.end())
        it = cache.emplace(i, songcheck::Analyse(PathOf(i), composer::LeadChannel)).first;
    return it->second;
}

class Song : public ::testing::TestWithParam<int> {};

TEST_P(Song, IsComposedTheSameEveryTimeAndTheBuildWroteIt) {
    const SongEntry& row = SongTable.entries[GetParam()];
    composer::Composition a, b;
    std::string err;
    ASSERT_TRUE(composer::Compose(row, &a, &err)) << err;
    ASSERT_TRUE(composer::Compose(row, &b, &err)) << err;
    const auto bytesA = modwriter::Encode(a.song, a.format, &err);
    const auto bytesB = modwriter::Encode(b.song, b.format, &err);
    ASSERT_TRUE(bytesA && bytesB) << err;
    EXPECT_EQ(*bytesA, *bytesB);
    EXPECT_EQ(songcheck::ReadFile(PathOf(GetParam())), *bytesA)
        << "songs/ is stale: build the songs target";
}

TEST_P(Song, LoadsAlikeInBothLibraries) {
    const auto& f = FiguresOf(GetParam());
    ASSERT_EQ(f.error, "");
    const std::string path = SongTable.entries[GetParam()].path;
    const std::string ext = path.substr(path.rfind('.') + 1);
    EXPECT_EQ(f.format, ext.size() == 3 ? "mod" : (ext[0] | 32) == 'x' ? "xm" : "it");
    EXPECT_EQ(f.channels, f.xmpChannels);
    if (f.format == "mod") {
        EXPECT_EQ(f.channels, 4);
    }
    EXPECT_GE(f.channels, 4);
    EXPECT_LE(f.channels, 12);
    EXPECT_NEAR(f.xmpSeconds, f.seconds, f.seconds * 0.01);
    EXPECT_NEAR(f.renderedSeconds, f.seconds, 0.5);
}

TEST_P(Song, LastsNinetySecondsToFourMinutes) {
    const auto& f = FiguresOf(GetParam());
    EXPECT_GE(f.seconds, 90);
    EXPECT_LE(f.seconds, 240);
}

TEST_P(Song, IsLoudWithoutClippingAndNeverFallsSilent) {
    const auto& f = FiguresOf(GetParam());
    EXPECT_LT(f.peakDb, -0.5);
    EXPECT_GE(f.rmsDb, -20);
    EXPECT_LE(f.rmsDb, -12);
    EXPECT_LE(f.longestSilence, 2.0);
}

// Walks the patterns in play order and checks every note against the bar's
// chord: the bass starts each bar on the root, the lead's notes on the
// beats of half bars are chord tones, the arpeggios play the chord.
TEST_P(Song, PlaysItsChords) {
    composer::Composition comp;
    std::string err;
    ASSERT_TRUE(composer::Compose(SongTable.entries[GetParam()], &comp, &err)) << err;
    std::ostringstream log;
    openmpt::module mod(songcheck::ReadFile(PathOf(GetParam())), log);
    auto pc = [](int note) { return (note - 1) % 12; };
    auto inChord = [](const std::array<int, 3>& chord, int pitchClass) {
        return std::find(chord.begin(), chord.end(), (pitchClass % 12 + 12) % 12) != chord.end();
    };
    int row = 0, bassChecked = 0, leadChecked = 0, arpChecked = 0;
    for (int o = 0; o < mod.get_num_orders(); ++o) {
        const int pat = mod.get_order_pattern(o);
        for (int r = 0; r < mod.get_pattern_num_rows(pat); ++r, ++row) {
            ASSERT_LT(row / 16, static_cast<int>(comp.chords.size()));
            const auto& chord = comp.chords[static_cast<std::size_t>(row / 16)];
            auto note = [&](int ch) {
                const int n =
                    mod.get_pattern_row_channel_command(pat, r, ch, openmpt::module::command_note);
                return n >= 1 && n <= 120 ? n : 0;
            };
            if (const int n = note(composer::BassChannel); n && row % 16 == 0) {
                EXPECT_EQ(pc(n), chord[0]) << "bass, row " << row;
                ++bassChecked;
            }
            if (const int n = note(composer::LeadChannel); n && row % 8 == 0) {
                EXPECT_TRUE(inChord(chord, pc(n))) << "lead, row " << row;
                ++leadChecked;
            }
            if (const int n = note(comp.arpChannel); n) {
                EXPECT_TRUE(inChord(chord, pc(n))) << "arp, row " << row;
                const int p = mod.get_pattern_row_channel_command(
                    pat, r, comp.arpChannel, openmpt::module::command_parameter);
                if (p) {
                    EXPECT_TRUE(inChord(chord, pc(n) + (p >> 4))) << "arp third, row " << row;
                    EXPECT_TRUE(inChord(chord, pc(n) + (p & 15))) << "arp fifth, row " << row;
                }
                ++arpChecked;
            }
        }
    }
    EXPECT_EQ(row, static_cast<int>(comp.chords.size()) * 16);
    EXPECT_GT(bassChecked, row / 16 * 9 / 10);
    EXPECT_GT(leadChecked, row / 32);
    EXPECT_GT(arpChecked, row / 16 * 3 / 4);
}

INSTANTIATE_TEST_SUITE_P(Playlist, Song, ::testing::Range(0, SongCount), [](const auto& info) {
    std::string name = SongTable.entries[info.param].path + 8;
    name = name.substr(0, name.find('.'));
    return std::to_string(info.param) + "_" + name;
});

TEST(Playlist, LastsOverOneHundredMinutesAndSpansTheTempos) {
    double total = 0, low = 1e9, high = 0;
    for (int i = 0; i < SongCount; ++i) {
        const auto& f = FiguresOf(i);
        total += f.seconds;
        low = std::min(low, f.bpm), high = std::max(high, f.bpm);
    }
    EXPECT_GE(total, 100 * 60);
    EXPECT_LE(low, 90.5);
    EXPECT_GE(high, 169.5);
}

TEST(Playlist, NoTwoLeadsOpenAlike) {
    for (int i = 0; i < SongCount; ++i) {
        const auto& a = FiguresOf(i).lead;
        ASSERT_EQ(a.size(), 32u) << PathOf(i);
        const auto notes =
            std::count_if(a.begin(), a.end(), [](int n) { return n >= 1 && n <= 120; });
        EXPECT_GE(notes, 4) << PathOf(i);
        for (int j = 0; j < i; ++j)
            EXPECT_NE(a, FiguresOf(j).lead) << PathOf(i) << " and " << PathOf(j);
    }
}

TEST(Composer, RefusesRowsItCannotMake) {
    struct Case {
        const char* path;
        const char* author;
        const char* message;
    } cases[] = {
        {".\\songs\\A.s3m", "BRISK", "names no module format"},
        {"songs/A.xm", "BRISK", "does not start with"},
        {".\\songs\\A.xm", "NOBODY", "names no style preset"},
        {".\\songs\\A.xm", "BRISK, NOBODY", "(\"NOBODY\")"},
    };
    for (const Case& c : cases) {
        SongEntry row{};
        std::strcpy(row.title, "TEST");
        std::strcpy(row.path, c.path);
        std::strcpy(row.author, c.author);
        composer::Composition out;
        std::string err;
        EXPECT_FALSE(composer::Compose(row, &out, &err)) << c.path;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

TEST(Composer, AnyRowWithKnownStylesMakesAWritableSong) {
    // Rows beyond the playlist: other titles give other seeds, keys and tempos.
    int made = 0;
    for (const char* ext : {"mod", "XM", "It"})
        for (const auto& style : composer::StyleNames())
            for (int n = 0; n < 3; ++n) {
                SongEntry row{};
                std::snprintf(row.title, sizeof row.title, "TRY %d", n);
                std::snprintf(row.path, sizeof row.path, ".\\songs\\Try%d.%s", n, ext);
                std::snprintf(row.author, sizeof row.author, "%s", style.c_str());
                composer::Composition out;
                std::string err;
                ASSERT_TRUE(composer::Compose(row, &out, &err))
                    << row.path << " " << style << ": " << err;
                ++made;
            }
    EXPECT_EQ(made, 3 * 3 * static_cast<int>(composer::StyleNames().size()));
}

} // namespace
