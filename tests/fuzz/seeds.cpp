// Writes the fuzzers' first inputs beside the shipped songs: the test
// suite's small modules of every format (tones, subsongs, channel volumes,
// held effects, nothing to play) into DIR/module, and short sines in the
// sound file formats libsndfile reads into DIR/soundfile.
//     fuzz_seeds DIR

#include "test_modules.h"

#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    using modwriter::Format;
    const fs::path dir = argv[1];
    fs::create_directories(dir / "module");
    fs::create_directories(dir / "soundfile");
    const std::pair<const char*, std::vector<std::uint8_t>> modules[] = {
        {"tone.mod", audiotest::ToneMod(16, 3)},
        {"tone2.mod", audiotest::ToneMod(8, 6, 2, 2)},
        {"tone.xm", audiotest::ToneModule(Format::Xm, 8, 16, 3)},
        {"tone.it", audiotest::ToneModule(Format::It, 12, 16, 3)},
        {"subsongs.mod", audiotest::TwoSubsongMod()},
        {"nothing.mod", audiotest::NothingToPlayMod()},
        {"volumes.it", audiotest::ChannelVolumeIt()},
        {"subsongs.it", audiotest::ThreeSubsongIt()},
        {"effects.xm", audiotest::HeldEffectsXm()},
    };
    for (const auto& [name, bytes] : modules)
        audiotest::WriteBytes(dir / "module" / name, bytes);
    const std::pair<const char*, int> sounds[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
        {"adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
        {"pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"pcm8.au", SF_FORMAT_AU | SF_FORMAT_PCM_S8},
        {"sine.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"sine.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const auto& [name, format] : sounds)
        if (!audiotest::WriteSine(dir / "soundfile" / name, format, 440, 0.5, 0.05, 22050)) {
            std::fprintf(stderr, "fuzz_seeds: libsndfile cannot write %s\n", name);
            return 1;
        }
    return 0;
}
