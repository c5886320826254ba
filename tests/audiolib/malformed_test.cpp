// Damaged and foreign input: truncations and reproducible random damage of
// every module format and of sound files. Each either loads and plays what
// is there, or is refused; nothing crashes or hangs.

#include "audiolib/source.h"
#include "test_modules.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using namespace tonebox::audio;
using audiotest::ToneMod;

Bytes AsBytes(const std::vector<std::uint8_t>& v) {
    Bytes b(v.size());
    std::memcpy(b.data(), v.data(), v.size());
    return b;
}

Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> v((std::istreambuf_iterator<char>(in)), {});
    return AsBytes(v);
}

TEST(MixerSources, MalformedFilesNeverCrash) {
    std::array<std::int16_t, 4096> out{};
    auto play_some = [&](std::unique_ptr<Source> source) {
        if (!source) return false;
        for (int i = 0; i < 8 && source->Render(out.data(), 2048) > 0; ++i) {
        }
        source->Seek(source->LengthFrames() / 2);
        source->Render(out.data(), 2048);
        source->Seek(0);
        source->Render(out.data(), 2048);
        return true;
    };
    auto as_module = [&](const Bytes& bytes) { return play_some(OpenModule(bytes, kModuleRamp)); };
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };

    using modwriter::Format;
    for (const Bytes& good :
         {AsBytes(ToneMod(50, 3)), AsBytes(audiotest::ToneModule(Format::Xm, 8, 50, 3)),
          AsBytes(audiotest::ToneModule(Format::It, 12, 50, 3))}) {
        ASSERT_TRUE(as_module(good));
        // Every truncation: some still play what is there.
        int loaded = 0;
        for (std::size_t n = 0; n < good.size(); n += 7)
            loaded += as_module(Bytes(good.begin(), good.begin() + static_cast<long>(n)));
        EXPECT_GT(loaded, 0);
        EXPECT_FALSE(as_module(Bytes(good.begin(), good.begin() + 16)));
        // Random damage, reproducible.
        for (int round = 0; round < 300; ++round) {
            Bytes bad = good;
            for (int k = 0; k < 1 + round % 16; ++k)
                bad[next() % bad.size()] = std::byte(next() >> 24);
            as_module(bad);
        }
        // A module is no sound file.
        EXPECT_FALSE(OpenSoundFile(good));
    }

    // Sound files cut short or damaged.
    const auto dir = audiotest::ScratchDir("damaged");
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
                       SF_FORMAT_OGG | SF_FORMAT_VORBIS}) {
        ASSERT_TRUE(audiotest::WriteSine(dir / "s", format, 440, 0.5, 0.5));
        const Bytes good = FileBytes(dir / "s");
        EXPECT_TRUE(play_some(OpenSoundFile(good))) << format;
        for (std::size_t n = 0; n < good.size(); n += good.size() / 40 + 1)
            play_some(OpenSoundFile(Bytes(good.begin(), good.begin() + static_cast<long>(n))));
        for (int round = 0; round < 40; ++round) {
            Bytes bad = good;
            for (int k = 0; k < 1 + round % 8; ++k)
                bad[next() % bad.size()] = std::byte(next() >> 24);
            play_some(OpenSoundFile(bad));
        }
    }

    // Not songs at all.
    EXPECT_FALSE(OpenModule({}, 0));
    EXPECT_FALSE(OpenModule(AsBytes({'h', 'e', 'l', 'l', 'o', '\n'}), 0));
    Bytes noise(4096);
    for (auto& b : noise)
        b = std::byte(next() >> 24);
    EXPECT_FALSE(OpenModule(noise, 0));
    EXPECT_FALSE(OpenSoundFile(noise));
    EXPECT_FALSE(OpenSoundFile({}));
}

// Each subsong holds its own copy of the module: a file of a hundred
// subsongs plays its first sixteen, rather than taking a hundred copies'
// memory and loading time.
TEST(MixerSources, ManySubsongsPlayTheFirstSixteen) {
    const auto one = OpenModule(AsBytes(audiotest::ManySubsongIt(1)), 0);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->LengthFrames(), 28224u); // 32 rows of a tick at 0.02 s
    const auto three = OpenModule(AsBytes(audiotest::ManySubsongIt(3)), 0);
    ASSERT_TRUE(three);
    EXPECT_EQ(three->LengthFrames(), 3 * one->LengthFrames());
    const auto many = OpenModule(AsBytes(audiotest::ManySubsongIt(120)), 0);
    ASSERT_TRUE(many);
    EXPECT_EQ(many->LengthFrames(), 16 * one->LengthFrames());
}

// A few kilobytes can claim to last for days, and each subsong's decoder
// would work through all of it again: more than a day is refused.
TEST(MixerSources, ModulesLastingMoreThanADayAreRefused) {
    const auto half_day = OpenModule(AsBytes(audiotest::LongIt(88)), 0); // 11.8 h
    ASSERT_TRUE(half_day);
    EXPECT_EQ(half_day->LengthFrames(), 1879762500u);             // 88 orders of 484.375 s
    EXPECT_FALSE(OpenModule(AsBytes(audiotest::LongIt(180)), 0)); // 24.2 h
}

} // namespace
