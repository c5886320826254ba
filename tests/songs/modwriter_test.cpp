// The module writer's files, played by libopenmpt and read by libxmp.

#include "modwriter.h"
#include "songcheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>

using namespace modwriter;

namespace {

constexpr int Rate = 44100;

// A square wave, one 32-frame cycle looped: 8363 / 32 = 261.3 Hz at C-5.
Instrument Square(bool sixteenBit = false) {
    Instrument ins;
    ins.name = "square";
    ins.sample.sixteenBit = sixteenBit;
    for (int i = 0; i < 32; ++i) {
        const int v = i < 16 ? 100 : -100;
        ins.sample.data.push_back(static_cast<std::int16_t>(sixteenBit ? v * 256 : v));
    }
    ins.sample.loopLength = 32;
    return ins;
}

// One instrument, `patterns` empty 64-row patterns played in order, and a
// C-5 on channel 0 at row 0 of the first.
Song Simple(int channels, int patterns = 1) {
    Song s;
    s.name = "test";
    s.channels = channels;
    s.instruments.push_back(Square());
    for (int p = 0; p < patterns; ++p) {
        s.patterns.emplace_back(64, channels);
        s.orders.push_back(p);
    }
    s.patterns[0].at(0, 0) = {NoteC5, 1};
    return s;
}

std::vector<std::uint8_t> Bytes(const Song& s, Format f) {
    std::string err;
    auto bytes = Encode(s, f, &err);
    EXPECT_TRUE(bytes) << err;
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

// Upward zero crossings a second of the left channel over [from, to) s.
double Frequency(const std::vector<float>& frames, double from, double to) {
    int crossings = 0;
    const auto a = static_cast<std::size_t>(from * Rate), b = static_cast<std::size_t>(to * Rate);
    for (std::size_t i = a + 1; i < b && 2 * i < frames.size(); ++i)
        if (frames[2 * (i - 1)] < 0 && frames[2 * i] >= 0) ++crossings;
    return crossings / (to - from);
}

double Rms(const std::vector<float>& frames, double from, double to) {
    double sum = 0;
    const auto a = static_cast<std::size_t>(from * Rate), b = static_cast<std::size_t>(to * Rate);
    for (std::size_t i = a; i < b && 2 * i + 1 < frames.size(); ++i)
        sum += frames[2 * i] * frames[2 * i] + frames[2 * i + 1] * frames[2 * i + 1];
    return std::sqrt(sum / (2.0 * (b - a)));
}

const Format AllFormats[] = {Format::Mod, Format::Xm, Format::It};

class Formats : public ::testing::TestWithParam<Format> {};

// 64 rows at speed 6, tempo 125: 2.5 / 125 * 6 = 0.12 s a row.
constexpr double RowSeconds = 0.12;

TEST_P(Formats, LoadsInBothLibrariesWithItsChannelsOrdersAndDuration) {
    const Format f = GetParam();
    Song s = Simple(4, 3);
    s.orders = {0, 2, 1, 2};
    const auto bytes = Bytes(s, f);
    double xmpSeconds = 0;
    int xmpChannels = 0;
    ASSERT_TRUE(songcheck::XmpInfo(bytes, &xmpSeconds, &xmpChannels));
    EXPECT_EQ(xmpChannels, 4);
    EXPECT_NEAR(xmpSeconds, 4 * 64 * RowSeconds, 0.05);

    const std::string path = testing::TempDir() + "/load.mod";
    ASSERT_EQ(WriteFile(s, f, path), "");
    const auto fig = songcheck::Analyse(path, 0, {.render = false});
    ASSERT_EQ(fig.error, "");
    EXPECT_EQ(fig.channels, 4);
    EXPECT_EQ(fig.orders, 4);
    EXPECT_NEAR(fig.seconds, 4 * 64 * RowSeconds, 0.01);
}

TEST_P(Formats, CFivePlaysTheSampleAtItsRateAndOctavesDouble) {
    const Format f = GetParam();
    Song s = Simple(4);
    s.patterns[0].at(32, 0) = {NoteC5 + 12, 1};
    const auto frames = songcheck::Render(Bytes(s, f));
    const double c5 = Frequency(frames, 0.5, 3.5);
    // MOD plays C-5 at the Amiga's 8287 Hz, the others at 8363 Hz.
    EXPECT_NEAR(c5, (f == Format::Mod ? 8287.0 : 8363.0) / 32, 2.0);
    EXPECT_NEAR(Frequency(frames, 4.5, 7.5), 2 * c5, 4.0);
}

TEST(ModWriter, ItAndXmPlaySamplesAtTheirOwnC5Rate) {
    for (Format f : {Format::Xm, Format::It}) {
        Song s = Simple(4);
        s.instruments[0].sample.c5Rate = 16726; // an octave up
        s.instruments[0].sample.sixteenBit = true;
        for (auto& v : s.instruments[0].sample.data)
            v = static_cast<std::int16_t>(v * 256);
        const auto frames = songcheck::Render(Bytes(s, f));
        EXPECT_NEAR(Frequency(frames, 0.5, 3.5), 16726.0 / 32, 3.0);
    }
}

TEST_P(Formats, NoteCutSilencesTheChannel) {
    Song s = Simple(4);
    s.patterns[0].at(8, 0) = {NoNote, 0, -1, Effect::NoteCut, 2};
    const auto frames = songcheck::Render(Bytes(s, GetParam()));
    EXPECT_GT(Rms(frames, 0.2, 0.9), 0.05);
    EXPECT_LT(Rms(frames, 1.2, 7.0), 0.001);
}

TEST_P(Formats, KeyOffSilencesTheChannel) {
    Song s = Simple(4);
    s.instruments[0].fadeout = 4095; // IT fades out after a key off
    s.patterns[0].at(8, 0) = {NoteOff};
    const auto frames = songcheck::Render(Bytes(s, GetParam()));
    EXPECT_GT(Rms(frames, 0.2, 0.9), 0.05);
    EXPECT_LT(Rms(frames, 1.5, 7.0), 0.001);
}

TEST_P(Formats, PatternBreakShortensTheSong) {
    Song s = Simple(4, 2);
    s.patterns[0].at(15, 1) = {NoNote, 0, -1, Effect::PatternBreak, 32};
    const auto fig = songcheck::Analyse(
        [&] {
            const std::string path = testing::TempDir() + "/break";
            EXPECT_EQ(WriteFile(s, GetParam(), path), "");
            return path;
        }(),
        0, {.render = false});
    ASSERT_EQ(fig.error, "");
    EXPECT_NEAR(fig.seconds, (16 + 32) * RowSeconds, 0.01);
    EXPECT_NEAR(fig.xmpSeconds, (16 + 32) * RowSeconds, 0.05);
}

TEST_P(Formats, SpeedAndTempoSetTheDuration) {
    Song s = Simple(4, 2);
    s.speed = 3;
    s.tempo = 150;
    s.patterns[1].at(0, 1) = {NoNote, 0, -1, Effect::SetSpeed, 12};
    s.patterns[1].at(0, 2) = {NoNote, 0, -1, Effect::SetTempo, 100};
    double seconds = 0;
    int channels = 0;
    ASSERT_TRUE(songcheck::XmpInfo(Bytes(s, GetParam()), &seconds, &channels));
    const double expected = 64 * 2.5 / 150 * 3 + 64 * 2.5 / 100 * 12;
    EXPECT_NEAR(seconds, expected, 0.05);
    const auto frames = songcheck::Render(Bytes(s, GetParam()));
    EXPECT_NEAR(frames.size() / 2.0 / Rate, expected, 0.15);
}

TEST_P(Formats, VolumeSetsAndSlidesDown) {
    Song s = Simple(4);
    s.patterns[0].at(0, 0).volume = 64;
    s.patterns[0].at(16, 0) = {NoNote, 0, 16};
    s.patterns[0].at(32, 0) = {NoNote, 0, 64};
    for (int r = 33; r < 64; ++r)
        s.patterns[0].at(r, 0) = {NoNote, 0, -1, Effect::VolumeSlide, 0x01};
    const auto frames = songcheck::Render(Bytes(s, GetParam()));
    const double full = Rms(frames, 0.3, 1.8);
    EXPECT_NEAR(Rms(frames, 2.2, 3.7) / full, 0.25, 0.03);
    // Down 5 a row from row 33: half way by row 39, gone by row 46.
    EXPECT_NEAR(Rms(frames, 4.0, 4.3) / full, 56 / 64.0, 0.08);
    EXPECT_NEAR(Rms(frames, 4.8, 5.0) / full, 26 / 64.0, 0.08);
    EXPECT_LT(Rms(frames, 5.8, 7.5), 0.001);
}

TEST_P(Formats, PortamentoArpeggioAndVibratoMoveThePitch) {
    const Format f = GetParam();
    Song s = Simple(4, 2);
    // Rows 0-15 plain, 16-31 arpeggio (0, 0, +12), 32-63 slide up, then vibrato.
    for (int r = 16; r < 32; ++r)
        s.patterns[0].at(r, 0) = {NoNote, 0, -1, Effect::Arpeggio, 0x0C};
    for (int r = 32; r < 64; ++r)
        s.patterns[0].at(r, 0) = {NoNote, 0, -1, Effect::PortaUp, 0x02};
    s.patterns[1].at(0, 0) = {NoteC5, 1};
    for (int r = 0; r < 64; ++r)
        if (r) s.patterns[1].at(r, 0) = {NoNote, 0, -1, Effect::Vibrato, 0x1F};
    const auto frames = songcheck::Render(Bytes(s, f));
    const double plain = Frequency(frames, 0.2, 1.9);
    // A third of the ticks an octave up: 4/3 of the crossings.
    EXPECT_NEAR(Frequency(frames, 2.0, 3.8) / plain, 4 / 3.0, 0.06);
    EXPECT_GT(Frequency(frames, 6.6, 7.6), plain * 1.3);
    // Vibrato wobbles around the note: the average stays, the spread grows.
    double low = 1e9, high = 0;
    for (double t = 8.0; t < 14.5; t += 0.2) {
        const double fr = Frequency(frames, t, t + 0.2);
        low = std::min(low, fr), high = std::max(high, fr);
    }
    EXPECT_NEAR(Frequency(frames, 8.0, 15.0) / plain, 1.0, 0.03);
    EXPECT_GT(high / low, 1.04);
}

TEST_P(Formats, TonePortamentoGlidesToTheNewNote) {
    Song s = Simple(4);
    s.patterns[0].at(16, 0) = {NoteC5 + 7, 0, -1, Effect::TonePorta, 0x08};
    for (int r = 17; r < 48; ++r)
        s.patterns[0].at(r, 0) = {NoNote, 0, -1, Effect::TonePorta, 0x08};
    const auto frames = songcheck::Render(Bytes(s, GetParam()));
    const double start = Frequency(frames, 0.2, 1.9);
    const double middle = Frequency(frames, 2.0, 2.2);
    EXPECT_GT(middle, start * 1.03);
    EXPECT_NEAR(Frequency(frames, 6.0, 7.6) / start, std::pow(2.0, 7 / 12.0), 0.02);
}

INSTANTIATE_TEST_SUITE_P(All, Formats, ::testing::ValuesIn(AllFormats), [](const auto& info) {
    return std::string(info.param == Format::Mod ? "Mod" : info.param == Format::Xm ? "Xm" : "It");
});

TEST(ModWriter, EnvelopesShapeTheNoteInXmAndItInstrumentsModeOnly) {
    Song plain = Simple(4), shaped = Simple(4);
    shaped.instruments[0].volumeEnvelope.points = {{0, 64}, {10, 0}};
    EXPECT_GT(Rms(songcheck::Render(Bytes(plain, Format::Xm)), 1.0, 3.0), 0.05);
    EXPECT_LT(Rms(songcheck::Render(Bytes(shaped, Format::Xm)), 1.0, 3.0), 0.001);
    EXPECT_LT(Rms(songcheck::Render(Bytes(shaped, Format::It)), 1.0, 3.0), 0.001);
    shaped.itSamplesMode = true;
    EXPECT_GT(Rms(songcheck::Render(Bytes(shaped, Format::It)), 1.0, 3.0), 0.05);
    EXPECT_GT(Rms(songcheck::Render(Bytes(shaped, Format::Mod)), 1.0, 3.0), 0.05);
}

TEST(ModWriter, SustainHoldsUntilKeyOff) {
    for (Format f : {Format::Xm, Format::It}) {
        Song s = Simple(4);
        s.instruments[0].volumeEnvelope.points = {{0, 64}, {4, 64}, {8, 0}};
        s.instruments[0].volumeEnvelope.sustainPoint = 1;
        s.patterns[0].at(32, 0) = {NoteOff};
        const auto frames = songcheck::Render(Bytes(s, f));
        EXPECT_GT(Rms(frames, 2.0, 3.5), 0.05);
        EXPECT_LT(Rms(frames, 4.5, 7.0), 0.001);
    }
}

// Left and right levels over [from, to) s.
std::pair<double, double> Sides(const std::vector<float>& frames, double from, double to) {
    double l = 0, r = 0;
    for (auto i = static_cast<std::size_t>(from * Rate); i < static_cast<std::size_t>(to * Rate);
         ++i)
        l += frames[2 * i] * frames[2 * i], r += frames[2 * i + 1] * frames[2 * i + 1];
    return {std::sqrt(l), std::sqrt(r)};
}

TEST(ModWriter, PanningPlacesTheSound) {
    // XM pans by sample, IT by channel (and by sample when it sets one),
    // MOD by the Amiga's left, right, right, left.
    Song xm = Simple(4);
    xm.instruments[0].sample.panning = 0;
    auto [xl, xr] = Sides(songcheck::Render(Bytes(xm, Format::Xm)), 0.5, 2.0);
    EXPECT_LT(xr, xl * 0.01);

    Song it = Simple(4);
    it.panning = {64, 32, 32, 32};
    auto [il, ir] = Sides(songcheck::Render(Bytes(it, Format::It)), 0.5, 2.0);
    EXPECT_LT(il, ir * 0.01);

    Song mod = Simple(4);
    mod.patterns[0].at(0, 0) = {};
    mod.patterns[0].at(0, 1) = {NoteC5, 1};
    auto [ml, mr] = Sides(songcheck::Render(Bytes(mod, Format::Mod)), 0.5, 2.0);
    EXPECT_GT(mr, ml * 2);
}

TEST(ModWriter, XmAndItHoldUpToTwelveChannels) {
    for (Format f : {Format::Xm, Format::It})
        for (int ch : {4, 5, 8, 12}) {
            Song s = Simple(ch);
            s.patterns[0].at(0, ch - 1) = {NoteC5, 1};
            double seconds = 0;
            int channels = 0;
            ASSERT_TRUE(songcheck::XmpInfo(Bytes(s, f), &seconds, &channels));
            EXPECT_EQ(channels, ch);
        }
}

struct Refusal {
    const char* what;
    Format format;
    std::function<void(Song&)> spoil;
    const char* message; // a part of the expected message
};

TEST(ModWriter, RefusesImpossibleSongsAndWritesNothing) {
    const Refusal cases[] = {
        {"six MOD channels", Format::Mod, [](Song& s) { s = Simple(6); }, "exactly 4 channels"},
        {"33 XM channels", Format::Xm, [](Song& s) { s = Simple(33); }, "2..32 channels"},
        {"32 MOD samples", Format::Mod, [](Song& s) { s.instruments.resize(32, s.instruments[0]); },
         "31 instruments"},
        {"65 MOD patterns", Format::Mod, [](Song& s) { s = Simple(4, 65); }, "64 patterns"},
        {"unplayed MOD pattern", Format::Mod, [](Song& s) { s.patterns.emplace_back(64, 4); },
         "never played"},
        {"MOD note too high", Format::Mod, [](Song& s) { s.patterns[0].at(1, 1).note = 84; },
         "out of MOD range"},
        {"MOD note too low", Format::Mod, [](Song& s) { s.patterns[0].at(1, 1).note = 47; },
         "out of MOD range"},
        {"XM note too high", Format::Xm, [](Song& s) { s.patterns[0].at(1, 1).note = 108; },
         "out of XM range"},
        {"IT note too high", Format::It, [](Song& s) { s.patterns[0].at(1, 1).note = 120; },
         "out of IT range"},
        {"MOD 32-row pattern", Format::Mod, [](Song& s) { s.patterns[0] = Pattern(32, 4); },
         "64..64 rows"},
        {"missing instrument", Format::Xm, [](Song& s) { s.patterns[0].at(0, 0).instrument = 2; },
         "instrument 2 of 1"},
        {"loop past the end", Format::It, [](Song& s) { s.instruments[0].sample.loopStart = 16; },
         "runs past"},
        {"odd MOD loop", Format::Mod, [](Song& s) { s.instruments[0].sample.loopLength = 31; },
         "even frames"},
        {"16-bit MOD sample", Format::Mod, [](Song& s) { s.instruments[0] = Square(true); },
         "8-bit samples only"},
        {"8-bit value out of range", Format::Xm,
         [](Song& s) { s.instruments[0].sample.data[3] = 300; }, "out of -128..127"},
        {"MOD sample rate", Format::Mod, [](Song& s) { s.instruments[0].sample.c5Rate = 16726; },
         "C-5 rate"},
        {"13 XM envelope points", Format::Xm,
         [](Song& s) {
             for (int i = 0; i < 13; ++i)
                 s.instruments[0].volumeEnvelope.points.push_back({i * 2, 32});
         },
         "12 points"},
        {"envelope ticks falling", Format::It,
         [](Song& s) {
             s.instruments[0].volumeEnvelope.points = {{0, 64}, {10, 30}, {5, 0}};
         },
         "must rise"},
        {"speed 0", Format::Xm, [](Song& s) { s.speed = 0; }, "speed 0"},
        {"tempo effect 20", Format::It,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, -1, Effect::SetTempo, 20};
         },
         "tempo 20"},
        {"note cut 16", Format::Xm,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, -1, Effect::NoteCut, 16};
         },
         "0..15"},
        {"MOD volume and effect", Format::Mod,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, 30, Effect::Vibrato, 0x44};
         },
         "one effect a cell"},
        {"MOD sample too long", Format::Mod,
         [](Song& s) { s.instruments[0].sample.data.resize(131072); }, "too long"},
        {"XM break past row 63", Format::Xm,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, -1, Effect::PatternBreak, 64};
         },
         "pattern break to row 64"},
        {"channel volume in an XM", Format::Xm,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, -1, Effect::ChannelVolume, 32};
         },
         "IT command"},
        {"channel volume 65", Format::It,
         [](Song& s) {
             s.patterns[0].at(2, 2) = {NoNote, 0, -1, Effect::ChannelVolume, 65};
         },
         "channel volume 65"},
        {"volume above 64", Format::It, [](Song& s) { s.patterns[0].at(2, 2).volume = 65; },
         "volume 65"},
        {"empty order list", Format::It, [](Song& s) { s.orders.clear(); }, "order list is empty"},
        {"order past the patterns", Format::Xm, [](Song& s) { s.orders.push_back(1); },
         "pattern 1 of 1"},
        {"cells for the wrong channel count", Format::Xm,
         [](Song& s) { s.patterns[0] = Pattern(64, 5); }, "5 channels"},
        {"no slot for MOD speed and tempo", Format::Mod,
         [](Song& s) {
             s.speed = 3, s.tempo = 140;
             for (int ch = 0; ch < 4; ++ch)
                 s.patterns[0].at(0, ch).effect = Effect::Vibrato;
         },
         "no free slot"},
    };
    const std::string path = testing::TempDir() + "/refused.mod";
    for (const Refusal& c : cases) {
        Song s = Simple(4);
        c.spoil(s);
        std::filesystem::remove(path);
        const std::string err = WriteFile(s, c.format, path);
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": \"" << err << "\"";
        EXPECT_FALSE(std::filesystem::exists(path)) << c.what;
    }
}

TEST(ModWriter, ReportsAFileThatCannotBeWritten) {
    EXPECT_EQ(WriteFile(Simple(4), Format::Xm, "/nonexistent-dir/x.xm"),
              "cannot create /nonexistent-dir/x.xm");
}

TEST(ModWriter, FormatOfPathReadsTheExtensionInAnyCase) {
    EXPECT_EQ(FormatOfPath(".\\songs\\A.MOD"), Format::Mod);
    EXPECT_EQ(FormatOfPath("b.Xm"), Format::Xm);
    EXPECT_EQ(FormatOfPath("c.it"), Format::It);
    EXPECT_EQ(FormatOfPath("d.s3m"), std::nullopt);
    EXPECT_EQ(FormatOfPath("mod"), std::nullopt);
}

// The cells and headers of a written file, read back from its bytes as
// each format lays them out.
struct ReadBack {
    struct RawCell {
        int note = 0, instrument = 0, volume = -1, effect = 0, param = 0;
    };
    std::vector<RawCell> cells; // first pattern, row-major over `channels`
    int channels = 0;
    std::vector<std::uint8_t> bytes;

    int U16le(std::size_t at) const { return bytes.at(at) | bytes.at(at + 1) << 8; }
    int U16be(std::size_t at) const { return bytes.at(at) << 8 | bytes.at(at + 1); }
    std::uint32_t U32le(std::size_t at) const {
        return static_cast<std::uint32_t>(U16le(at) | U16le(at + 2) << 16);
    }
    const RawCell& at(int row, int ch) const {
        return cells.at(static_cast<std::size_t>(row * channels + ch));
    }
};

ReadBack ReadMod(const std::vector<std::uint8_t>& bytes) {
    ReadBack rb{{}, 4, bytes};
    for (std::size_t at = 1084; at < 1084 + 1024; at += 4) {
        ReadBack::RawCell c;
        c.note = (bytes[at] & 15) << 8 | bytes[at + 1]; // the period
        c.instrument = (bytes[at] & 0xF0) | bytes[at + 2] >> 4;
        c.effect = bytes[at + 2] & 15;
        c.param = bytes[at + 3];
        rb.cells.push_back(c);
    }
    return rb;
}

ReadBack ReadXm(const std::vector<std::uint8_t>& bytes, int channels) {
    ReadBack rb{{}, channels, bytes};
    const std::size_t pattern = 60 + rb.U32le(60);
    const int rows = rb.U16le(pattern + 5);
    std::size_t at = pattern + rb.U32le(pattern);
    for (int i = 0; i < rows * channels; ++i) {
        const int first = bytes.at(at);
        const int mask = first & 0x80 ? (++at, first) : 31;
        ReadBack::RawCell c;
        if (mask & 1) c.note = bytes.at(at++);
        if (mask & 2) c.instrument = bytes.at(at++);
        if (mask & 4) c.volume = bytes.at(at++);
        if (mask & 8) c.effect = bytes.at(at++);
        if (mask & 16) c.param = bytes.at(at++);
        rb.cells.push_back(c);
    }
    return rb;
}

ReadBack ReadIt(const std::vector<std::uint8_t>& bytes, int channels) {
    ReadBack rb{{}, channels, bytes};
    const int orders = rb.U16le(0x20), ins = rb.U16le(0x22), smp = rb.U16le(0x24);
    std::size_t at = rb.U32le(0xC0 + static_cast<std::size_t>(orders + 4 * ins + 4 * smp)) + 8;
    const int rows = rb.U16le(at - 6);
    rb.cells.resize(static_cast<std::size_t>(rows * channels));
    std::vector<int> masks(64);
    for (int r = 0; r < rows; ++r)
        while (const int var = bytes.at(at++)) {
            const int ch = (var - 1) & 63;
            if (var & 0x80) masks[ch] = bytes.at(at++);
            auto& c = rb.cells[static_cast<std::size_t>(r * channels + ch)];
            if (masks[ch] & 1) c.note = bytes.at(at++);
            if (masks[ch] & 2) c.instrument = bytes.at(at++);
            if (masks[ch] & 4) c.volume = bytes.at(at++);
            if (masks[ch] & 8) c.effect = bytes.at(at++), c.param = bytes.at(at++);
        }
    return rb;
}

// Every effect of the contract, and notes, volumes and key offs, land in
// the bytes as each format numbers them; so do loop starts and fadeouts.
TEST(ModWriter, WritesEveryEffectAndFieldAsItsFormatNumbersIt) {
    struct Expected {
        Effect effect;
        int param;
        int modXm[2]; // ProTracker effect and parameter, shared by MOD and XM
        int it[2];    // IT letter (A = 1) and parameter
    };
    const Expected effects[] = {
        {Effect::Arpeggio, 0x37, {0x0, 0x37}, {10, 0x37}},
        {Effect::PortaUp, 0x12, {0x1, 0x12}, {6, 0x12}},
        {Effect::PortaDown, 0x13, {0x2, 0x13}, {5, 0x13}},
        {Effect::TonePorta, 0x14, {0x3, 0x14}, {7, 0x14}},
        {Effect::Vibrato, 0x45, {0x4, 0x45}, {8, 0x45}},
        {Effect::VolumeSlide, 0x02, {0xA, 0x02}, {4, 0x02}},
        {Effect::SetSpeed, 5, {0xF, 5}, {1, 5}},
        {Effect::SetTempo, 140, {0xF, 140}, {20, 140}},
        {Effect::NoteCut, 3, {0xE, 0xC3}, {19, 0xC3}},
        {Effect::NoteDelay, 2, {0xE, 0xD2}, {19, 0xD2}},
        {Effect::PatternBreak, 12, {0xD, 0x12}, {3, 12}},
    };
    Song s = Simple(4);
    s.instruments.push_back(Square());
    s.instruments[1].sample.data.resize(96, 50);
    s.instruments[1].sample.loopStart = 64;
    s.instruments[1].sample.loopLength = 32;
    s.instruments[1].fadeout = 1200;
    int row = 2;
    for (const Expected& e : effects)
        s.patterns[0].at(row++, 2) = {NoNote, 0, -1, e.effect, static_cast<std::uint8_t>(e.param)};
    s.patterns[0].at(30, 1) = {NoteC5 + 7, 2, 40};
    s.patterns[0].at(31, 1) = {NoteOff};
    s.rowsPerBeat = 6, s.rowsPerBar = 12; // six-eight
    Song mod = s;
    mod.patterns[0].at(30, 1).volume = -1;
    mod.patterns[0].at(32, 3) = {NoNote, 0, 33};

    const ReadBack m = ReadMod(Bytes(mod, Format::Mod));
    const ReadBack x = ReadXm(Bytes(s, Format::Xm), 4);
    const ReadBack i = ReadIt(Bytes(s, Format::It), 4);
    row = 2;
    for (const Expected& e : effects) {
        SCOPED_TRACE(static_cast<int>(e.effect));
        EXPECT_EQ(m.at(row, 2).effect, e.modXm[0]);
        EXPECT_EQ(m.at(row, 2).param, e.modXm[1]);
        EXPECT_EQ(x.at(row, 2).effect, e.modXm[0]);
        EXPECT_EQ(x.at(row, 2).param, e.modXm[1]);
        EXPECT_EQ(i.at(row, 2).effect, e.it[0]);
        EXPECT_EQ(i.at(row, 2).param, e.it[1]);
        ++row;
    }
    // Notes, instruments, volumes and key offs.
    EXPECT_EQ(m.at(30, 1).note, AmigaPeriod(NoteC5 + 7));
    EXPECT_EQ(m.at(30, 1).instrument, 2);
    EXPECT_EQ(m.at(31, 1).effect, 0xC);
    EXPECT_EQ(m.at(31, 1).param, 0);
    EXPECT_EQ(m.at(32, 3).effect, 0xC);
    EXPECT_EQ(m.at(32, 3).param, 33);
    EXPECT_EQ(x.at(30, 1).note, NoteC5 + 7 - 11);
    EXPECT_EQ(x.at(30, 1).instrument, 2);
    EXPECT_EQ(x.at(30, 1).volume, 0x10 + 40);
    EXPECT_EQ(x.at(31, 1).note, 97);
    EXPECT_EQ(i.at(30, 1).note, NoteC5 + 7);
    EXPECT_EQ(i.at(30, 1).instrument, 2);
    EXPECT_EQ(i.at(30, 1).volume, 40);
    EXPECT_EQ(i.at(31, 1).note, 255);

    // MOD keeps loops in words (sample 2's header starts at byte 50).
    EXPECT_EQ(m.U16be(50 + 22), 48); // length
    EXPECT_EQ(m.U16be(50 + 26), 32); // loop start
    EXPECT_EQ(m.U16be(50 + 28), 16); // loop length
    // XM: instrument 2 follows the patterns and instrument 1 (263 + 40
    // header bytes, 32 sample bytes); loops in bytes, fadeout as it is.
    const std::size_t xmPatterns = 60 + x.U32le(60);
    const std::size_t xmIns2 =
        xmPatterns + x.U32le(xmPatterns) + x.U16le(xmPatterns + 7) + 263 + 40 + 32;
    EXPECT_EQ(x.U16le(xmIns2 + 239), 1200);
    EXPECT_EQ(x.U32le(xmIns2 + 263 + 4), 64u);
    EXPECT_EQ(x.U32le(xmIns2 + 263 + 8), 32u);
    // IT highlights its beats and bars; keeps the fadeout in 32nds, loops in
    // frames (start and end).
    EXPECT_EQ(i.bytes.at(0x1E), 6);
    EXPECT_EQ(i.bytes.at(0x1F), 12);
    const std::size_t itIns2 = i.U32le(0xC0 + static_cast<std::size_t>(i.U16le(0x20)) + 4);
    EXPECT_EQ(std::string(i.bytes.begin() + itIns2, i.bytes.begin() + itIns2 + 4), "IMPI");
    EXPECT_EQ(i.U16le(itIns2 + 0x14), 1200 / 32);
    const std::size_t itSmp2 =
        i.U32le(0xC0 + static_cast<std::size_t>(i.U16le(0x20) + 4 * i.U16le(0x22)) + 4);
    EXPECT_EQ(i.U32le(itSmp2 + 0x34), 64u);
    EXPECT_EQ(i.U32le(itSmp2 + 0x38), 96u);
}

TEST(ModWriter, ModKeepsSpeedAndTempoInTheFirstRow) {
    Song s = Simple(4, 2);
    s.speed = 4;
    s.tempo = 100;
    s.orders = {1, 0}; // the first played pattern is pattern 1
    double seconds = 0;
    int channels = 0;
    ASSERT_TRUE(songcheck::XmpInfo(Bytes(s, Format::Mod), &seconds, &channels));
    EXPECT_NEAR(seconds, 128 * 2.5 / 100 * 4, 0.05);
}

} // namespace
