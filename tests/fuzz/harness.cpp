#include "harness.h"

#include "audiolib/bass.h"
#include "audiolib/mixer.h"
#include "audiolib/source.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace fuzz {
namespace {

using namespace tonebox::audio;

// FNV-1a of the input: the positions and levels asked for follow from the
// bytes themselves, so that a kept input replays exactly.
std::uint64_t Hash(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Everything the player asks of a channel between two blocks.
void Ask(Mixer& mixer, std::uint32_t handle) {
    static std::array<std::int16_t, Mixer::kHistory> samples;
    static std::array<float, kFftBins> spectrum;
    mixer.Samples(handle, samples.data(), 512);
    mixer.Samples(handle, samples.data(), Mixer::kHistory / 2);
    mixer.Spectrum(handle, spectrum.data());
    const auto position = mixer.Position(handle);
    const auto length = mixer.Length(handle);
    // The layer never reports a place beyond the end.
    if (!position || !length || *position > *length) std::abort();
    mixer.State(handle);
}

// Plays the source through a mixer rendered on this thread, as the audio
// thread would, and seeks about in it.
void Play(std::unique_ptr<Source> source, std::uint64_t seed) {
    Mixer mixer(Mixer::kBlock, false);
    const int channels = source->ChannelCount();
    const std::uint32_t handle = mixer.Add(std::move(source));
    if (handle == 0) std::abort(); // an empty mixer has room
    const std::uint64_t length = *mixer.Length(handle);
    static std::array<std::int16_t, Mixer::kBlock * 2> out;
    auto mix = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            mixer.Mix(out.data(), Mixer::kBlock);
            Ask(mixer, handle);
        }
    };
    mixer.Play(handle, false);
    mix(3);
    if (channels > 0) {
        mixer.SetChannelVolume(handle, static_cast<int>(seed % unsigned(channels)),
                               static_cast<int>((seed >> 8) % 101));
        mixer.SetChannelVolume(handle, 0, static_cast<int>((seed >> 16) % 101));
        mix(2);
    }
    const std::uint64_t near_end = length > 3000 ? length - 3000 : 0;
    for (const std::uint64_t target : {length / 2, (seed >> 24) % (length + 1), near_end, length,
                                       length + 1, std::uint64_t{0}}) {
        const bool moved = mixer.SetPosition(handle, target);
        if (moved != (target <= length)) std::abort();
        mix(2);
    }
    if (channels > 0) {
        for (int c = 0; c < channels; ++c)
            mixer.SetChannelVolume(handle, c, 100);
        mix(1);
    }
    mixer.Pause(handle);
    mixer.Play(handle, true);
    mix(2);
    mixer.Stop(handle);
    if (!mixer.Remove(handle)) std::abort();
}

// The library over SDL's dummy device, started once: it takes what is mixed
// at the pace a sound card would.
bool LibraryStarted() {
    static const bool started = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) return false;
        // The device stops before the mixer it calls goes with the statics.
        std::atexit([] { BASS_Free(); });
        return true;
    }();
    return started;
}

// The player's calls on a channel the library made from the bytes.
void Drive(DWORD handle, std::uint64_t seed, bool module) {
    if (handle == 0) return;
    static std::array<std::uint8_t, 65536> buffer;
    BASS_ChannelPlay(handle, FALSE);
    const QWORD length = BASS_ChannelGetLength(handle);
    const float seconds = BASS_ChannelBytes2Seconds(handle, length);
    BASS_ChannelGetData(handle, buffer.data(), BASS_DATA_FFT1024);
    BASS_ChannelGetData(handle, buffer.data(), static_cast<DWORD>(seed % 70000));
    const float fraction = float(seed >> 40 & 0xFFFF) / 65535.0f;
    for (const float at : {seconds * fraction, seconds, seconds * 2, -1.0f})
        BASS_ChannelSetPosition(handle, BASS_ChannelSeconds2Bytes(handle, at));
    if (BASS_ChannelGetPosition(handle) > length) std::abort();
    BASS_ChannelGetData(handle, buffer.data(), BASS_DATA_FFT1024);
    BASS_ChannelGetData(handle, buffer.data(), 4096);
    if (module)
        for (DWORD c = 0; c < 4; ++c)
            BASS_MusicSetAttribute(handle, BASS_MUSIC_ATTRIB_VOL_CHAN + c,
                                   static_cast<DWORD>((seed >> (c * 8)) % 101));
    BASS_ChannelSetPosition(handle, 0);
    BASS_ChannelGetData(handle, buffer.data(), 1024);
    BASS_ChannelIsActive(handle);
    BASS_ChannelPause(handle);
    BASS_ChannelPlay(handle, TRUE);
    BASS_ChannelStop(handle);
    if (!BASS_MusicFree(handle)) std::abort();
}

Bytes AsBytes(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(size);
    if (size > 0) std::memcpy(bytes.data(), data, size);
    return bytes;
}

} // namespace

void Module(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t seed = Hash(data, size);
    const Bytes bytes = AsBytes(data, size);
    const std::uint32_t flags = (seed & 1) ? kModuleRamp : 0;
    auto source = OpenModule(bytes, flags);
    // What the layer refuses here it refuses through its calls too: the
    // library is only driven with what loads, which keeps refusals cheap.
    if (!source) return;
    Play(std::move(source), seed);
    if (!LibraryStarted()) return;
    Drive(BASS_MusicLoad(TRUE, data, 0, static_cast<DWORD>(size), flags | BASS_MUSIC_PRESCAN, 0),
          seed, true);
}

void SoundFile(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t seed = Hash(data, size);
    auto source = OpenSoundFile(AsBytes(data, size));
    if (!source) return;
    Play(std::move(source), seed);
    if (!LibraryStarted()) return;
    Drive(BASS_StreamCreateFile(TRUE, data, 0, size, 0), seed, false);
}

} // namespace fuzz
