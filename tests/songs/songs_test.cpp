// The playlist's songs, as the build made them: composed the same way every
// time, and up to the disk's quality bars when played by libopenmpt and read
// by libxmp. Each song is rendered once, at 22050 Hz without interpolation,
// a quarter of the player's cost: its RMS, spread, width and spectrum stay
// within 0.1, 0.8, 0.4 dB and 1 % of the player's render, its peak within
// 0.5 dB under to 0.9 dB over. `songcheck` prints the player's figures.

#include "composer.h"
#include "distance.h"
#include "songcheck.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string PathOf(int i) {
    return std::string(TONEBOX_SONG_DIR) + "/" + (SongTable.entries[i].path + 8);
}

const std::vector<composer::Composition>& Playlist() {
    static const std::vector<composer::Composition> songs = [] {
        std::vector<composer::Composition> v;
        std::string err;
        EXPECT_TRUE(composer::ComposePlaylist(&v, &err)) << err;
        return v;
    }();
    return songs;
}

const composer::Composition& CompositionOf(int i) {
    return Playlist().at(static_cast<std::size_t>(i));
}

// Each song is rendered once and its figures kept for every test.
const songcheck::Figures& FiguresOf(int i) {
    static std::map<int, songcheck::Figures> cache;
    auto it = cache.find(i);
    if (it == cache.end())
        it = cache
                 .emplace(i, songcheck::Analyse(PathOf(i), composer::LeadChannel,
                                                {.rate = 22050, .interpolation = 1}))
                 .first;
    return it->second;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

class Song : public ::testing::TestWithParam<int> {};

TEST_P(Song, IsTheOneTheBuildWrote) {
    const auto& c = CompositionOf(GetParam());
    std::string err;
    const auto bytes = modwriter::Encode(c.song, c.format, &err);
    ASSERT_TRUE(bytes) << err;
    EXPECT_EQ(songcheck::ReadFile(PathOf(GetParam())), *bytes)
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

TEST_P(Song, LastsNinetySecondsToSixAndAHalfMinutes) {
    const auto& f = FiguresOf(GetParam());
    EXPECT_GE(f.seconds, 90);
    EXPECT_LE(f.seconds, 390);
}

TEST_P(Song, IsLoudWithoutClippingAndNeverFallsSilent) {
    const auto& f = FiguresOf(GetParam());
    EXPECT_LT(f.peakDb, -1.0); // the player's peak stays under -0.5 dBFS
    EXPECT_GE(f.rmsDb, -20);
    EXPECT_LE(f.rmsDb, -12);
    EXPECT_LE(f.longestSilence, 2.0);
}

// Left and right within a decibel of each other at 150 Hz..6 kHz: in MOD
// songs the parts share out the hard-panned channels, in XM and IT the
// parts panned apart come in pairs of even weight.
TEST_P(Song, LeansToNeitherSide) {
    EXPECT_LE(std::abs(FiguresOf(GetParam()).balanceDb), 1.0);
}

// Every ending, a fade, a ring-out or a stop, has died away by the last
// 50 ms.
TEST_P(Song, EndsInSilence) {
    EXPECT_LE(FiguresOf(GetParam()).endDb, -40);
}

// The drums play patterns longer than a bar and change them by section:
// no one bar fills more than 35 % of the song; the file's main drum bar
// is the one the composer made, in bars of the metre it wrote, which is
// the one its notes show. The lead's rhythm keeps changing.
TEST_P(Song, VariesItsDrumsAndLeadRhythms) {
    const auto& f = FiguresOf(GetParam());
    EXPECT_EQ(f.metre, CompositionOf(GetParam()).metre);
    EXPECT_LE(f.mainDrumShare, 0.35);
    EXPECT_EQ(f.mainDrumBar, CompositionOf(GetParam()).mainDrumBar);
    EXPECT_GE(f.leadRhythms, 16);
}

// Walks the patterns in play order and checks every note against the half
// bar's chord, in the song's own metre: the bass starts each bar on the
// root, the lead's notes on the half bars are chord tones, the arpeggios
// play the chord.
TEST_P(Song, PlaysItsChords) {
    const auto& comp = CompositionOf(GetParam());
    std::ostringstream log;
    openmpt::module mod(songcheck::ReadFile(PathOf(GetParam())), log);
    auto pc = [](int note) { return (note - 1) % 12; };
    auto inChord = [](const std::array<int, 3>& chord, int pitchClass) {
        return std::find(chord.begin(), chord.end(), (pitchClass % 12 + 12) % 12) != chord.end();
    };
    const int bar = comp.barRows, half = bar / 2;
    int row = 0, bassChecked = 0, leadChecked = 0, arpChecked = 0;
    for (int o = 0; o < mod.get_num_orders(); ++o) {
        const int pat = mod.get_order_pattern(o);
        for (int r = 0; r < mod.get_pattern_num_rows(pat); ++r, ++row) {
            ASSERT_LT(row / half, static_cast<int>(comp.chords.size()));
            const auto& chord = comp.chords[static_cast<std::size_t>(row / half)];
            auto note = [&](int ch) {
                const int n =
                    mod.get_pattern_row_channel_command(pat, r, ch, openmpt::module::command_note);
                return n >= 1 && n <= 120 ? n : 0;
            };
            if (const int n = note(composer::BassChannel); n && row % bar == 0) {
                EXPECT_EQ(pc(n), chord[0]) << "bass, row " << row;
                ++bassChecked;
            }
            if (const int n = note(composer::LeadChannel); n && row % half == 0) {
                EXPECT_TRUE(inChord(chord, pc(n))) << "lead, row " << row;
                ++leadChecked;
            }
            if (const int n = note(comp.arpChannel); n) {
                EXPECT_TRUE(inChord(chord, pc(n))) << "arp, row " << row;
                const int p = mod.get_pattern_row_channel_command(
                    pat, r, comp.arpChannel, openmpt::module::command_parameter);
                const auto effect = mod.format_pattern_row_channel_command(
                    pat, r, comp.arpChannel, openmpt::module::command_effect);
                if (p && (effect == "0" || effect == "J")) {
                    EXPECT_TRUE(inChord(chord, pc(n) + (p >> 4))) << "arp third, row " << row;
                    EXPECT_TRUE(inChord(chord, pc(n) + (p & 15))) << "arp fifth, row " << row;
                }
                ++arpChecked;
            }
        }
    }
    EXPECT_EQ(row, static_cast<int>(comp.chords.size()) * half);
    EXPECT_GT(bassChecked, row / bar * 3 / 4);
    EXPECT_GT(leadChecked, row / bar / 3); // a lead note on a half bar every three bars at least
    EXPECT_GT(arpChecked, row / bar * 3 / 4);
}

INSTANTIATE_TEST_SUITE_P(Playlist, Song, ::testing::Range(0, SongCount), [](const auto& info) {
    std::string name = SongTable.entries[info.param].path + 8;
    name = name.substr(0, name.find('.'));
    return std::to_string(info.param) + "_" + name;
});

TEST(Playlist, IsComposedTheSameEveryTime) {
    std::vector<composer::Composition> again;
    std::string err;
    ASSERT_TRUE(composer::ComposePlaylist(&again, &err)) << err;
    ASSERT_EQ(again.size(), Playlist().size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        const auto a = modwriter::Encode(again[i].song, again[i].format, &err);
        const auto b = modwriter::Encode(Playlist()[i].song, Playlist()[i].format, &err);
        ASSERT_TRUE(a && b) << err;
        EXPECT_EQ(*a, *b) << again[i].fileName;
    }
}

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

// Songs rise and fall (the median song's 3-second levels spread over 4 dB),
// no two share a main drum bar, and the XM and IT songs are panned wide
// and, with a third of the playlist dark and soft, the median song still
// bright (side to mid, energy at 2-6 kHz); the weight sits low and the
// middle is left room (over 38 % of the median song's energy below
// 120 Hz, under 21 % at 0.5-2 kHz).
TEST(Playlist, MovesInLevelAndKeepsItsGroovesAndSoundsApart) {
    std::vector<double> spreads, widths, presences, lows, mids;
    std::set<std::string> bars;
    for (int i = 0; i < SongCount; ++i) {
        const auto& f = FiguresOf(i);
        spreads.push_back(f.spreadDb), presences.push_back(f.presenceShare);
        lows.push_back(f.lowShare), mids.push_back(f.midShare);
        if (f.format != "mod") widths.push_back(f.sideToMidDb);
        if (!f.mainDrumBar.empty()) { // a song without drums has no main bar
            EXPECT_TRUE(bars.insert(f.mainDrumBar).second) << PathOf(i) << ": " << f.mainDrumBar;
        }
    }
    EXPECT_GE(Median(spreads), 4.0);
    EXPECT_GE(Median(widths), -12.0);
    EXPECT_GE(Median(presences), 0.03);
    EXPECT_GE(Median(lows), 0.38);
    EXPECT_LE(Median(mids), 0.21);
}

// Forms, section lengths, breakdowns, builds, key changes, metres and
// endings of every kind, spread over the playlist; every song of four and
// a half minutes or more departs from itself somewhere in its middle.
TEST(Playlist, TakesManyFormsMetresAndEndings) {
    std::set<std::string> forms, endings;
    std::map<std::string, int> metres;
    std::set<int> lengths;
    int raised = 0, withBreakdown = 0, withBuild = 0;
    for (int i = 0; i < SongCount; ++i) {
        const auto& c = CompositionOf(i);
        forms.insert(c.form), endings.insert(c.ending), ++metres[c.metre];
        bool breakdown = false, build = false, raises = false, departs = false;
        for (const auto& s : c.plan) {
            if (s.kind != "outro") lengths.insert(s.bars);
            breakdown |= s.kind == "breakdown", build |= s.kind == "build";
            raises |= s.transpose != 0, departs |= s.kind == "departure";
        }
        raised += raises, withBreakdown += breakdown, withBuild += build;
        if (FiguresOf(i).seconds >= 270) {
            EXPECT_TRUE(departs) << c.fileName;
        }
    }
    EXPECT_GE(metres["3/4"], 1);
    EXPECT_GE(metres["6/8"], 1);
    EXPECT_GE(metres["3/4"] + metres["6/8"], 3);
    EXPECT_GE(forms.size(), 5u);
    EXPECT_EQ(endings, (std::set<std::string>{"cold", "fade", "ring"}));
    for (int bars : {4, 8, 12, 16})
        EXPECT_TRUE(lengths.count(bars)) << bars << "-bar sections";
    EXPECT_GE(raised, 5);
    EXPECT_LE(raised, 35);
    EXPECT_GE(withBreakdown, 20);
    EXPECT_GE(withBuild, 20);
}

// Every song draws its own kit, lead and bass: no two kicks, snares, hats,
// leads or basses alike, nor two songs with the same timbres of lead and
// bass.
TEST(Playlist, EverySongHasItsOwnKitLeadAndBass) {
    std::set<std::string> pairs;
    for (const auto& c : Playlist())
        EXPECT_TRUE(pairs.insert(c.leadSound + " over " + c.bassSound).second) << c.fileName;
    for (const char* drum : {"kick", "snare", "hat", "lead", "bass"}) {
        std::set<std::vector<std::int16_t>> seen;
        for (const auto& c : Playlist()) {
            const auto it = std::find_if(c.song.instruments.begin(), c.song.instruments.end(),
                                         [&](const auto& i) { return i.name == drum; });
            ASSERT_NE(it, c.song.instruments.end()) << c.fileName << " has no " << drum;
            EXPECT_TRUE(seen.insert(it->sample.data).second) << c.fileName << "'s " << drum;
        }
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

// Colours from dark to bright (the spectral centroids span 250 Hz to
// 1.2 kHz), songs of one style nearer each other than to the others' in
// the measured distance, and sections played again through the order list
// in at least a third of the songs, none of them a grid that replays most
// of itself.
TEST(Playlist, SpansTheColoursKeepsItsStylesAndReprisesSections) {
    std::vector<double> centroids;
    std::vector<std::vector<double>> rows;
    int reprising = 0;
    for (int i = 0; i < SongCount; ++i) {
        const auto& f = FiguresOf(i);
        centroids.push_back(f.centroidHz);
        rows.push_back(songcheck::FeaturesOf(f));
        reprising += f.repriseShare >= 0.05;
        EXPECT_LE(f.repriseShare, 0.6) << PathOf(i);
    }
    EXPECT_LE(*std::min_element(centroids.begin(), centroids.end()), 250);
    EXPECT_GE(*std::max_element(centroids.begin(), centroids.end()), 1200);
    EXPECT_GE(reprising, SongCount / 3);
    rows = songcheck::Standardise(rows);
    double same = 0, other = 0;
    int sameN = 0, otherN = 0;
    for (int i = 0; i < SongCount; ++i)
        for (int j = 0; j < i; ++j) {
            const double d = songcheck::Distance(rows[static_cast<std::size_t>(i)],
                                                 rows[static_cast<std::size_t>(j)]);
            const bool one = CompositionOf(i).style == CompositionOf(j).style;
            (one ? same : other) += d;
            ++(one ? sameN : otherN);
        }
    EXPECT_LT(same / sameN, 0.9 * other / otherN);
}

// A song that would be a near twin of one made before is composed again
// from the next seed, until it is not.
TEST(Composer, ComposesANearTwinAgainFromTheNextSeed) {
    int i = 0;
    while (CompositionOf(i).refused) // a song made from its own row's seed
        ++i;
    const SongEntry& row = SongTable.entries[i];
    const auto& first = CompositionOf(i);
    composer::Composition again;
    std::string err;
    ASSERT_TRUE(composer::Compose(row, &again, &err, {first})) << err;
    EXPECT_GE(again.refused, 1);
    EXPECT_EQ(again.seed, composer::SeedOf(row) + static_cast<std::uint64_t>(again.refused));
    EXPECT_FALSE(composer::NearTwins(again, first));
    // Twins by their traits alone, until one trait stands clearly apart.
    composer::Composition other = first;
    other.mainDrumBar = "another bar";
    other.leadSound = "another lead";
    EXPECT_TRUE(composer::NearTwins(other, first));
    other.traits[0] += 2.5;
    EXPECT_FALSE(composer::NearTwins(other, first));
    other = first;
    other.traits[0] += 2.5;
    EXPECT_TRUE(composer::NearTwins(other, first)) << "the same lead and bass";
}

} // namespace
