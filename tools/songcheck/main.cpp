// songcheck <songs-dir> [--wav <index> <out.wav>]: measures every song of
// the playlist and prints a table with totals; with --wav also writes one
// song, rendered, as a WAV file.

#include "composer.h"
#include "songcheck.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

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
    std::printf("%-2s %-18s %-4s %5s %7s %7s %6s %6s %6s %5s %5s  %s\n", "#", "file", "fmt", "ch",
                "mpt s", "xmp s", "peak", "rms", "sil s", "bpm", "swing", "style, key");
    double total = 0, lowBpm = 1e9, highBpm = 0, peak = -200, lowRms = 0, highRms = -200;
    double silence = 0, drift = 0;
    int failures = 0;
    for (int i = 0; i < SongTable.count; ++i) {
        const auto f = songcheck::Analyse(pathOf(i), composer::LeadChannel);
        composer::Composition comp;
        std::string err;
        composer::Compose(SongTable.entries[i], &comp, &err);
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
        std::printf("%-2d %-18s %-4s %2d/%-2d %7.1f %7.1f %6.1f %6.1f %6.2f %5.0f %5d  %s, %s %s\n",
                    i, comp.fileName.c_str(), f.format.c_str(), f.channels, f.xmpChannels,
                    f.seconds, f.xmpSeconds, f.peakDb, f.rmsDb, f.longestSilence, f.bpm, comp.swing,
                    comp.style.c_str(), keys[comp.key], comp.mode.c_str());
    }
    if (failures == SongTable.count) {
        std::printf("no song could be measured in %s\n", dir.c_str());
        return 1;
    }
    std::printf(
        "total %.1f min; tempos %.0f..%.0f BPM; highest peak %.1f dBFS; RMS %.1f..%.1f dB;\n"
        "longest inner silence %.2f s; largest duration difference %.2f %%; %d failed\n",
        total / 60, lowBpm, highBpm, peak, lowRms, highRms, silence, drift, failures);
    return failures ? 1 : 0;
}
