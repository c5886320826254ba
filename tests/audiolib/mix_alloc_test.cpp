// The audio thread must not allocate: every operator new made while the
// mixer mixes is counted, through a whole song with seeks, volume changes,
// pauses and a sound file playing beside it.

#include "audiolib/mixer.h"
#include "test_modules.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

// The replacements pair malloc with free; GCC cannot see that through them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
thread_local bool mixing = false;
std::size_t allocations_while_mixing = 0;
} // namespace

void* operator new(std::size_t size) {
    if (mixing) ++allocations_while_mixing;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace tonebox::audio;

Bytes AsBytes(const std::vector<std::uint8_t>& v) {
    Bytes b(v.size());
    std::memcpy(b.data(), v.data(), v.size());
    return b;
}

TEST(MixerAllocation, MixingAllocatesNothing) {
    const auto dir = audiotest::ScratchDir("alloc");
    ASSERT_TRUE(
        audiotest::WriteSine(dir / "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 440, 0.3, 4, 48000));
    std::ifstream in(dir / "a.wav", std::ios::binary);
    const std::vector<std::uint8_t> wav((std::istreambuf_iterator<char>(in)), {});

    Mixer mixer(1024, false);
    const auto song = mixer.Add(
        OpenModule(AsBytes(audiotest::ToneModule(modwriter::Format::It, 12, 64, 4)), 0x200));
    const auto sound = mixer.Add(OpenSoundFile(AsBytes(wav)));
    ASSERT_NE(song, 0u);
    ASSERT_NE(sound, 0u);
    mixer.Play(song, true);
    mixer.Play(sound, true);

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
    mix(400); // both to their ends
    EXPECT_EQ(mixer.State(song), Activity::kStopped);
    EXPECT_EQ(allocations_while_mixing, 0u);
}

} // namespace
