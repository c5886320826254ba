// The audio thread must not allocate: every allocation made while the mixer
// mixes is counted, through a whole song with seeks, volume changes and
// pauses, a module moving on to its next subsong, with a WAV at another
// rate and a FLAC file playing beside it. (Ogg
// Vorbis is left out: libvorbis allocates as it decodes.)

#include "audiolib/mixer.h"
#include "test_modules.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {
thread_local bool mixing = false;
std::size_t allocations_while_mixing = 0;
} // namespace

// Sanitizers bring their own allocator; the count is made without them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TONEBOX_COUNT_ALLOCATIONS 0
#else
#define TONEBOX_COUNT_ALLOCATIONS 1

// glibc lets a program replace malloc; these hand on to glibc's own
// allocator, counting what the mixing thread asks for. operator new comes
// through here too, and so do the C decoders underneath.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    if (mixing) ++allocations_while_mixing;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    if (mixing) ++allocations_while_mixing;
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    if (mixing) ++allocations_while_mixing;
    return __libc_realloc(p, size);
}
void free(void* p) {
    __libc_free(p);
}
}
#endif

namespace {

using namespace tonebox::audio;

Bytes AsBytes(const std::vector<std::uint8_t>& v) {
    Bytes b(v.size());
    std::memcpy(b.data(), v.data(), v.size());
    return b;
}

Bytes SineFile(const std::filesystem::path& path, int format, int rate) {
    if (!audiotest::WriteSine(path, format, 440, 0.3, 4, rate)) return {};
    std::ifstream in(path, std::ios::binary);
    return AsBytes(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {}));
}

TEST(MixerAllocation, MixingAllocatesNothing) {
    if (!TONEBOX_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
    const auto dir = audiotest::ScratchDir("alloc");
    Mixer mixer(1024, false);
    const auto song = mixer.Add(
        OpenModule(AsBytes(audiotest::ToneModule(modwriter::Format::It, 12, 64, 4)), 0x200));
    const auto sound =
        mixer.Add(OpenSoundFile(SineFile(dir / "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000)));
    const auto flac = mixer.Add(
        OpenSoundFile(SineFile(dir / "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100)));
    // Two subsongs, one of its channels turned down below the others.
    const auto subsongs = mixer.Add(OpenModule(AsBytes(audiotest::TwoSubsongMod()), 0x200));
    mixer.SetChannelVolume(subsongs, 1, 40);
    for (const auto h : {song, sound, flac, subsongs}) {
        ASSERT_NE(h, 0u);
        mixer.Play(h, true);
    }

    std::vector<std::int16_t> out(1024 * 2);
    auto mix = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            mixing = true;
            mixer.Mix(out.data(), 1024);
            mixing = false;
        }
    };
    mix(50);
    mixer.SetPosition(song, 3 * 44100);
    mixer.SetPosition(sound, 44100);
    mix(10);
    for (int n = 0; n < 12; ++n)
        mixer.SetChannelVolume(song, n, 30);
    mix(10);
    mixer.Pause(song);
    mix(5);
    mixer.Play(song, false);
    mixer.Play(sound, true);
    mixer.SetPosition(flac, 2 * 44100);
    mix(400); // all to their ends
    EXPECT_EQ(mixer.State(song), Activity::kStopped);
    EXPECT_EQ(mixer.State(subsongs), Activity::kStopped);
    EXPECT_EQ(allocations_while_mixing, 0u);
}

} // namespace
