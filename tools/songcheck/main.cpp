// songcheck <songs-dir> [--wav <index> <out.wav>]: measures every song of
// the playlist and prints a table with totals; with --wav also writes one
// song, rendered, as a WAV file.
//
// Columns past the tempo: the level spread (dB between the 90th and 10th
// percentile of the 3-second levels), the share of bars playing the main
// drum bar, distinct lead rhythm bars, the energy below 120 Hz and at
// 2-6 kHz (%), side against mid (dB), and the last 50 ms against the whole
// song (dB).

#include "composer.h"
#include "songcheck.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: songcheck <songs-dir> [--wav <index> <out.wav>]\n");
        return 2;
    }
    const std::string dir = argv[1];
    auto pathOf = [&](int i) { return dir + "/" + std::string(SongTable.entries[i].path + 8); };
    if (argc == 5) {
        int i = -1;
        const char* end = argv[3] + std::strlen(argv[3]);
        const auto parsed = std::from_chars(argv[3], end, i);
        if (std::strcmp(argv[2], "--wav") != 0 || parsed.ec != std::errc() || parsed.ptr != end ||
            i < 0 || i >= SongTable.count) {
            std::fprintf(stderr, "songcheck: --wav takes a song index 0..%d\n",
                         SongTable.count - 1);
            return 2;
        }
        try {
            if (songcheck::WriteWav(argv[4], songcheck::Render(songcheck::ReadFile(pathOf(i)))))
                return 0;
            std::fprintf(stderr, "songcheck: cannot write %s\n", argv[4]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "songcheck: cannot play %s: %s\n", pathOf(i).c_str(), e.what());
        }
        return 1;
    }
    static const char* const keys[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                         "F#", "G",  "G#", "A",  "A#", "B"};
    std::printf("%-2s %-18s %-4s %5s %6s %6s %5s %5s %5s %4s %6s %5s %3s %5s %5s %5s %5s  %s\n",
                "#", "file", "fmt", "ch", "mpt s", "xmp s", "peak", "rms", "sil s", "bpm", "spread",
                "drum%", "rhy", "<120", "2-6k", "S/M", "end", "style, key, form, ending");
    double total = 0, lowBpm = 1e9, highBpm = 0, peak = -200, lowRms = 0, highRms = -200;
    double silence = 0, drift = 0, loudestEnd = -200, topDrum = 0;
    std::vector<double> spreads, drums, rhythms, lows, presences, widths, wideWidths;
    std::vector<std::string> mainBars;
    int failures = 0;
    std::vector<composer::Composition> songs;
    std::string err;
    if (!composer::ComposePlaylist(&songs, &err)) {
        std::fprintf(stderr, "songcheck: %s\n", err.c_str());
        return 1;
    }
    for (int i = 0; i < SongTable.count; ++i) {
        const auto f = songcheck::Analyse(pathOf(i), composer::LeadChannel);
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
        presences.push_back(f.presenceShare), widths.push_back(f.sideToMidDb);
        if (f.format != "mod") wideWidths.push_back(f.sideToMidDb);
        mainBars.push_back(f.mainDrumBar);
        std::printf("%-2d %-18s %-4s %2d/%-2d %6.1f %6.1f %5.1f %5.1f %5.2f %4.0f %6.1f %5.0f %3d "
                    "%5.1f %5.1f %5.1f %5.0f  %s, %s %s%s, %s, %s ending\n",
                    i, comp.fileName.c_str(), f.format.c_str(), f.channels, f.xmpChannels,
                    f.seconds, f.xmpSeconds, f.peakDb, f.rmsDb, f.longestSilence, f.bpm, f.spreadDb,
                    100 * f.mainDrumShare, f.leadRhythms, 100 * f.lowShare, 100 * f.presenceShare,
                    f.sideToMidDb, f.endDb, comp.style.c_str(), keys[comp.key], comp.mode.c_str(),
                    comp.swing ? ", swung" : "", comp.form.c_str(), comp.ending.c_str());
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
                "lead rhythm bars %.0f (%.0f..%.0f); energy below 120 Hz %.1f %%, at 2-6 kHz %.1f "
                "%%; side to mid %.1f dB (XM and IT %.1f dB);\n"
                "last 50 ms at most %.0f dB under the song; songs sharing a main drum bar: %d\n",
                Median(spreads), Lowest(spreads), Highest(spreads), 100 * Median(drums),
                100 * topDrum, Median(rhythms), Lowest(rhythms), Highest(rhythms),
                100 * Median(lows), 100 * Median(presences), Median(widths), Median(wideWidths),
                -loudestEnd, sharing);
    return failures ? 1 : 0;
}
