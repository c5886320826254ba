// songcheck <songs-dir> [--against <dir>]: measures every song of the
// playlist and prints a table with totals; --against measures the songs in
// another folder as well (an older build's, say) and standardises the
// distance over both, so the two playlists' figures compare.
// songcheck <songs-dir> --wav <index> <out.wav>: one song, rendered.
// songcheck <songs-dir> --ssm <index> <out.png>: its self-similarity.
//
// Columns past the tempo (beats a minute, in the metre the notes show):
// the level spread (dB between the 90th and 10th percentile of the
// 3-second levels), the share of bars playing the main drum bar, distinct
// lead rhythm bars, the energy below 120 Hz, at 0.5-2 kHz and at 2-6 kHz
// (%), side against mid (dB), the last 50 ms against the whole song (dB),
// the spectral centroid (Hz), onsets a second, left against right at
// 150 Hz-6 kHz (dB), the share of the song that reprises an earlier
// stretch (%), and the nearest other song with its distance.

#include "composer.h"
#include "distance.h"
#include "songcheck.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Lowest(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

double Highest(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

std::string PathOf(const std::string& dir, int i) {
    return dir + "/" + std::string(SongTable.entries[i].path + 8);
}

std::string FirstStyle(int i) {
    const std::string author = SongTable.entries[i].author;
    return author.substr(0, author.find(','));
}

// The playlist's distances over standardised rows [from, from + count).
struct Spread {
    std::vector<songcheck::Neighbour> nearest;
    double medianNearest = 0, medianPair = 0, sameStyle = 0, otherStyle = 0;
};

Spread SpreadOf(const std::vector<std::vector<double>>& rows, int from, int count) {
    std::vector<int> among;
    for (int i = from; i < from + count; ++i)
        among.push_back(i);
    Spread s;
    s.nearest = songcheck::Nearest(rows, among);
    std::vector<double> nearest, pairs;
    double same = 0, other = 0;
    int sameN = 0, otherN = 0;
    for (int i = from; i < from + count; ++i) {
        nearest.push_back(s.nearest[static_cast<std::size_t>(i)].distance);
        for (int j = from; j < i; ++j) {
            const double d = songcheck::Distance(rows[static_cast<std::size_t>(i)],
                                                 rows[static_cast<std::size_t>(j)]);
            pairs.push_back(d);
            if (FirstStyle(i - from) == FirstStyle(j - from))
                same += d, ++sameN;
            else
                other += d, ++otherN;
        }
    }
    s.medianNearest = Median(nearest), s.medianPair = Median(pairs);
    s.sameStyle = sameN ? same / sameN : 0, s.otherStyle = otherN ? other / otherN : 0;
    return s;
}

int OneSong(const std::string& dir, const char* what, const char* index, const char* out) {
    int i = -1;
    const char* end = index + std::strlen(index);
    const auto parsed = std::from_chars(index, end, i);
    if (parsed.ec != std::errc() || parsed.ptr != end || i < 0 || i >= SongTable.count) {
        std::fprintf(stderr, "songcheck: %s takes a song index 0..%d\n", what, SongTable.count - 1);
        return 2;
    }
    try {
        const auto frames = songcheck::Render(songcheck::ReadFile(PathOf(dir, i)));
        const bool written = std::strcmp(what, "--wav") == 0
                                 ? songcheck::WriteWav(out, frames)
                                 : songcheck::WriteSelfSimilarity(frames, 44100, 600, out);
        if (written) return 0;
        std::fprintf(stderr, "songcheck: cannot write %s\n", out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "songcheck: cannot play %s: %s\n", PathOf(dir, i).c_str(), e.what());
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const bool one =
        argc == 5 && (!std::strcmp(argv[2], "--wav") || !std::strcmp(argv[2], "--ssm"));
    const bool against = argc == 4 && !std::strcmp(argv[2], "--against");
    if (argc != 2 && !one && !against) {
        std::fprintf(stderr, "usage: songcheck <songs-dir> [--against <dir>]\n"
                             "       songcheck <songs-dir> --wav <index> <out.wav>\n"
                             "       songcheck <songs-dir> --ssm <index> <out.png>\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (one) return OneSong(dir, argv[2], argv[3], argv[4]);
    static const char* const keys[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
    std::printf("%-2s %-18s %-4s %5s %6s %6s %5s %5s %5s %4s %6s %5s %3s %5s %5s %5s %5s %5s %5s "
                "%5s %5s %4s %8s  %s\n",
                "#", "file", "fmt", "ch", "mpt s", "xmp s", "peak", "rms", "sil s", "bpm", "spread",
                "drum%", "rhy", "<120", ".5-2k", "2-6k", "S/M", "end", "centr", "ons/s", "bal",
                "rep%", "nearest", "style, key, metre, form, ending");
    double total = 0, lowBpm = 1e9, highBpm = 0, peak = -200, lowRms = 0, highRms = -200;
    double silence = 0, drift = 0, loudestEnd = -200, topDrum = 0;
    std::vector<double> spreads, drums, rhythms, lows, mids, presences, widths, wideWidths;
    std::vector<double> centroids, onsets, balances, reprises;
    std::vector<std::string> mainBars;
    std::vector<songcheck::Figures> figures;
    int failures = 0, leaning = 0, reprising = 0;
    std::vector<composer::Composition> songs;
    std::string err;
    if (!composer::ComposePlaylist(&songs, &err)) {
        std::fprintf(stderr, "songcheck: %s\n", err.c_str());
        return 1;
    }
    for (int i = 0; i < SongTable.count; ++i)
        figures.push_back(songcheck::Analyse(PathOf(dir, i), composer::LeadChannel));
    std::vector<songcheck::Figures> others;
    if (against)
        for (int i = 0; i < SongTable.count; ++i)
            others.push_back(songcheck::Analyse(PathOf(argv[3], i), composer::LeadChannel));
    // The distance: standardised over this playlist, or over both.
    std::vector<std::vector<double>> rows;
    for (const auto& f : figures)
        rows.push_back(songcheck::FeaturesOf(f));
    for (const auto& f : others)
        rows.push_back(songcheck::FeaturesOf(f));
    rows = songcheck::Standardise(rows);
    const Spread spread = SpreadOf(rows, 0, SongTable.count);

    for (int i = 0; i < SongTable.count; ++i) {
        const auto& f = figures[static_cast<std::size_t>(i)];
        const composer::Composition& comp = songs[static_cast<std::size_t>(i)];
        if (!f.error.empty()) {
            std::printf("%-2d %s\n", i, f.error.c_str());
            ++failures;
            continue;
        }
        total += f.seconds;
        lowBpm = std::min(lowBpm, f.bpm), highBpm = std::max(highBpm, f.bpm);
        peak = std::max(peak, f.peakDb), silence = std::max(silence, f.longestSilence);
        lowRms = std::min(lowRms, f.rmsDb), highRms = std::max(highRms, f.rmsDb);
        drift = std::max(drift, std::abs(f.xmpSeconds - f.seconds) / f.seconds * 100);
        loudestEnd = std::max(loudestEnd, f.endDb), topDrum = std::max(topDrum, f.mainDrumShare);
        spreads.push_back(f.spreadDb), drums.push_back(f.mainDrumShare);
        rhythms.push_back(f.leadRhythms), lows.push_back(f.lowShare);
        mids.push_back(f.midShare), presences.push_back(f.presenceShare);
        widths.push_back(f.sideToMidDb);
        if (f.format != "mod") wideWidths.push_back(f.sideToMidDb);
        centroids.push_back(f.centroidHz), onsets.push_back(f.onsetsPerSecond);
        balances.push_back(std::abs(f.balanceDb)), reprises.push_back(f.repriseShare);
        leaning += std::abs(f.balanceDb) > 1, reprising += f.repriseShare >= 0.05;
        mainBars.push_back(f.mainDrumBar);
        const auto& near = spread.nearest[static_cast<std::size_t>(i)];
        std::printf(
            "%-2d %-18s %-4s %2d/%-2d %6.1f %6.1f %5.1f %5.1f %5.2f %4.0f %6.1f %5.0f %3d "
            "%5.1f %5.1f %5.1f %5.1f %5.0f %5.0f %5.1f %5.1f %4.0f %2d %5.2f  %s, %s %s, %s%s, "
            "%s, %s ending\n",
            i, comp.fileName.c_str(), f.format.c_str(), f.channels, f.xmpChannels, f.seconds,
            f.xmpSeconds, f.peakDb, f.rmsDb, f.longestSilence, f.bpm, f.spreadDb,
            100 * f.mainDrumShare, f.leadRhythms, 100 * f.lowShare, 100 * f.midShare,
            100 * f.presenceShare, f.sideToMidDb, f.endDb, f.centroidHz, f.onsetsPerSecond,
            f.balanceDb, 100 * f.repriseShare, near.index, near.distance, comp.style.c_str(),
            keys[comp.key], comp.mode.c_str(), f.metre.c_str(), comp.swing ? " swung" : "",
            comp.form.c_str(), comp.ending.c_str());
    }
    if (failures == SongTable.count) {
        std::printf("no song could be measured in %s\n", dir.c_str());
        return 1;
    }
    int sharing = 0;
    for (std::size_t i = 0; i < mainBars.size(); ++i)
        if (!mainBars[i].empty() && std::count(mainBars.begin(), mainBars.end(), mainBars[i]) > 1)
            ++sharing;
    std::printf(
        "total %.1f min; tempos %.0f..%.0f BPM; highest peak %.1f dBFS; RMS %.1f..%.1f dB;\n"
        "longest inner silence %.2f s; largest duration difference %.2f %%; %d failed\n",
        total / 60, lowBpm, highBpm, peak, lowRms, highRms, silence, drift, failures);
    std::printf("medians (lowest..highest): level spread %.1f dB (%.1f..%.1f); main drum bar "
                "%.0f %% of bars (up to %.0f %%);\n"
                "lead rhythm bars %.0f (%.0f..%.0f); side to mid %.1f dB (XM and IT %.1f dB);\n"
                "last 50 ms at most %.0f dB under the song; songs sharing a main drum bar: %d\n",
                Median(spreads), Lowest(spreads), Highest(spreads), 100 * Median(drums),
                100 * topDrum, Median(rhythms), Lowest(rhythms), Highest(rhythms), Median(widths),
                Median(wideWidths), -loudestEnd, sharing);
    std::printf("energy below 120 Hz %.1f %%, at 0.5-2 kHz %.1f %%, at 2-6 kHz %.1f %% "
                "(medians); centroids %.0f..%.0f Hz (median %.0f);\n"
                "onsets %.1f a second (%.1f..%.1f); left/right off by %.2f dB (median), up to "
                "%.2f dB, %d songs over 1 dB;\n"
                "reprises: %d songs with 5 %% or more, median share %.0f %% (up to %.0f %%)\n",
                100 * Median(lows), 100 * Median(mids), 100 * Median(presences), Lowest(centroids),
                Highest(centroids), Median(centroids), Median(onsets), Lowest(onsets),
                Highest(onsets), Median(balances), Highest(balances), leaning, reprising,
                100 * Median(reprises), 100 * Highest(reprises));
    std::printf("distance (%zu figures, standardised over %s): nearest neighbour %.2f "
                "(median), any two %.2f (median);\n"
                "songs of one style %.2f apart on average, of different styles %.2f\n",
                rows.empty() ? 0 : rows[0].size(), against ? "both playlists" : "the playlist",
                spread.medianNearest, spread.medianPair, spread.sameStyle, spread.otherStyle);
    if (against) {
        const Spread theirs = SpreadOf(rows, SongTable.count, SongTable.count);
        std::printf("%s on the same scale: nearest neighbour %.2f (median), any two %.2f; one "
                    "style %.2f, different styles %.2f\n",
                    argv[3], theirs.medianNearest, theirs.medianPair, theirs.sameStyle,
                    theirs.otherStyle);
    }
    return failures ? 1 : 0;
}
