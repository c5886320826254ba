// A plain player, the yardstick scripts/bench measures the program against:
// SDL2 audio with the program's 2048-frame device buffer, libopenmpt
// rendering straight into each callback, no window, no analysis. It plays
// one song over and over until it is told to end (SIGTERM, SIGINT) or its
// time is up.
//
//   plain_player [SONG] [SECONDS]
//
// SONG defaults to the playlist's first song, by the path the playlist gives
// it, from the working directory, as the program finds it. SDL's usual
// variables choose the output (SDL_AUDIODRIVER=disk and so on).

#include "playback/song_table.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.hpp>

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kDeviceFrames = 2048;

void Render(void* user, Uint8* stream, int bytes) {
    auto& module = *static_cast<openmpt::module*>(user);
    auto* out = reinterpret_cast<std::int16_t*>(stream);
    const auto frames = static_cast<std::size_t>(bytes) / 4;
    std::size_t done = module.read_interleaved_stereo(kRate, frames, out);
    std::fill(out + done * 2, out + frames * 2, std::int16_t{0});
}

std::string PlaylistsFirstSong() {
    std::string path = SongTable.entries[0].path;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

} // namespace

int main(int argc, char** argv) {
    const std::string song = argc > 1 && *argv[1] ? argv[1] : PlaylistsFirstSong();
    const double seconds = argc > 2 ? std::atof(argv[2]) : 0.0;

    std::ifstream in(song, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::unique_ptr<openmpt::module> module;
    try {
        module = std::make_unique<openmpt::module>(bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plain_player: %s: %s\n", song.c_str(), e.what());
        return 1;
    }
    module->set_repeat_count(-1);

    // Blocked here, before SDL starts its threads, so that they inherit the
    // mask and the signals wait for this thread's sigtimedwait.
    sigset_t ends;
    sigemptyset(&ends);
    sigaddset(&ends, SIGTERM);
    sigaddset(&ends, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ends, nullptr);

    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "plain_player: %s\n", SDL_GetError());
        return 1;
    }
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = Render;
    want.userdata = module.get();
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        std::fprintf(stderr, "plain_player: no audio device: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_PauseAudioDevice(device, 0);

    timespec limit{};
    if (seconds > 0) {
        limit.tv_sec = static_cast<time_t>(seconds);
        limit.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
    }
    // Nothing to do but wait: the audio thread does all the work.
    while (sigtimedwait(&ends, nullptr, seconds > 0 ? &limit : nullptr) < 0 && errno == EINTR) {
    }
    SDL_CloseAudioDevice(device);
    SDL_Quit();
    return 0;
}
