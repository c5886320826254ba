// A measuring tool, not a test: how long after a tone is heard the spectrum
// and the samples the frame draws from show it. The audio layer plays a
// module that is silent for two seconds and then holds a low tone, through
// SDL's disk driver at real time; the probe watches the output file (what is
// heard) and the data requests every millisecond.
// Run: SDL_AUDIODRIVER=disk build/tests/app/tonebox_sync_probe [runs]

#include "audiolib/bass.h"
#include "test_songs.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Silence for 32 rows, then a square tone held on channel 0.
std::string WriteProbeSong(const std::string& path) {
    modwriter::Song song;
    song.name = "probe";
    song.channels = 4;
    song.instruments.push_back(e2e::SquareWave());
    modwriter::Pattern pattern(64, 4);
    pattern.at(32, 0) = modwriter::Cell{48, 1, 64};
    song.patterns.push_back(pattern);
    song.speed = 6;
    song.tempo = 188; // 6 ticks of 13.3 ms: 80 ms a row, the tone from 2.55 s
    song.orders = {0, 0};
    return modwriter::WriteFile(song, modwriter::Format::Mod, path);
}

struct Sighting {
    double heardMs = -1, spectrumMs = -1, samplesMs = -1;
};

Sighting Measure(const std::string& song, const std::string& output) {
    Sighting seen;
    const HMUSIC music = BASS_MusicLoad(FALSE, song.c_str(), 0, 0, 0x20204, 0);
    if (music == 0) return seen;
    BASS_ChannelPlay(music, TRUE);
    std::ifstream heard(output, std::ios::binary);
    std::size_t frame = 0;
    float spectrum[512];
    std::int16_t samples[1024];
    const Clock::time_point start = Clock::now();
    while (Ms(Clock::now() - start) < 4000 &&
           (seen.heardMs < 0 || seen.spectrumMs < 0 || seen.samplesMs < 0)) {
        const Clock::time_point now = Clock::now();
        // What the output has taken since the last look: a buffer written at
        // once and then played out over its length.
        heard.clear();
        std::int16_t pair[2];
        std::size_t firstNew = frame;
        while (heard.read(reinterpret_cast<char*>(pair), sizeof pair)) {
            if (seen.heardMs < 0 && std::abs(pair[0]) > 1000)
                seen.heardMs = Ms(now - start) + (frame - firstNew) * 1000.0 / 44100;
            ++frame;
        }
        BASS_ChannelGetData(music, spectrum, BASS_DATA_FFT1024);
        const double pulse =
            (spectrum[2] + spectrum[1] + spectrum[3] + spectrum[4] + spectrum[5]) * 255.0;
        if (seen.spectrumMs < 0 && pulse > 40) seen.spectrumMs = Ms(now - start);
        if (BASS_ChannelGetData(music, samples, 2048) == 2048 && seen.samplesMs < 0)
            for (std::int16_t v : samples)
                if (std::abs(v) > 1000) seen.samplesMs = Ms(now - start);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    BASS_MusicFree(music);
    return seen;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const char* output = std::getenv("SDL_DISKAUDIOFILE");
    const std::string file = output ? output : "/tmp/tonebox-sync.raw";
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    const std::string song = "/tmp/tonebox-sync.mod";
    if (const std::string refusal = WriteProbeSong(song); !refusal.empty()) {
        std::fprintf(stderr, "%s\n", refusal.c_str());
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return 1;
        const Sighting seen = Measure(song, file);
        std::printf(
            "heard at %.1f ms; the spectrum shows it %+.1f ms later, the samples %+.1f ms\n",
            seen.heardMs, seen.spectrumMs - seen.heardMs, seen.samplesMs - seen.heardMs);
        BASS_Free();
    }
}
