#pragma once

// A small, format-neutral tracker song and writers for three module formats:
//
//   MOD  ProTracker "M.K.": exactly 4 channels (panned left, right, right,
//        left), up to 31 instruments (their samples; no envelopes), up to 64
//        patterns of 64 rows, all of them played, notes C-4..B-6 (Amiga
//        periods 856..113), 8-bit samples whose c5Rate is 8363 Hz within a
//        finetune step (C-5 is period 428, which players sound at 8287 Hz),
//        loops in whole words. Speed and tempo go into free effect slots of the first
//        played row (the tempo always).
//   XM   FastTracker 2 v1.04: 2..32 channels, up to 128 instruments with
//        volume envelopes (up to 12 points), sample panning, linear frequency
//        table, 1..256 rows a pattern, notes C-1..B-8.
//   IT   Impulse Tracker (cmwt 0x0214): 1..64 channels with their panning,
//        up to 99 instruments in instruments mode (volume envelopes, up to 25
//        points) or samples mode, uncompressed 8- or 16-bit samples, 32..200
//        rows a pattern, notes C-0..B-9.
//
// Every song plays its order list once; the writers add no jump back.
//
// Notes are numbered in semitones from C-0 (C-5 = 60, the note at which a
// sample plays at its c5Rate). Effect parameters are the raw parameter byte
// of the format's own effect (the same for all three: arpeggio 0xy,
// portamento xx, vibrato xy, volume slide xy; pattern break takes the row).
//
// Writing checks the whole song first: a song the format cannot hold is
// refused with a message naming what is wrong, and no file is written.
//
//   modwriter::Song song;
//   song.channels = 4;
//   song.instruments.push_back(instrument);
//   song.patterns.push_back(modwriter::Pattern(64, 4));
//   song.patterns[0].at(0, 0) = {modwriter::NoteC5, 1};
//   song.orders = {0};
//   if (auto err = modwriter::WriteFile(song, modwriter::Format::Mod, "a.mod"); !err.empty())
//       fail(err);

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modwriter {

enum class Format { Mod, Xm, It };

constexpr std::uint8_t NoNote = 255; // empty note column
// Key off: MOD sets the volume to 0; XM cuts an instrument without an
// envelope and releases one with; IT releases (sustain ends, the fadeout
// runs; an instrument with neither envelope nor fadeout keeps sounding).
constexpr std::uint8_t NoteOff = 254;
constexpr std::uint8_t NoteC5 = 60; // plays a sample at its c5Rate

enum class Effect : std::uint8_t {
    None,
    Arpeggio,      // xy: + x and + y semitones in turn
    PortaUp,       // xx: slide pitch up
    PortaDown,     // xx: slide pitch down
    TonePorta,     // xx: slide towards the note of this cell
    Vibrato,       // xy: speed x, depth y
    VolumeSlide,   // x0 up by x a tick, 0y down by y a tick
    SetSpeed,      // ticks a row, 1..31
    SetTempo,      // beats a minute, 32..255
    PatternBreak,  // row of the next pattern to start at (0..63 in MOD and XM)
    NoteCut,       // cut the note after x ticks (0..15)
    NoteDelay,     // start the note after x ticks (0..15)
    ChannelVolume, // IT only: the channel's own volume, 0..64, kept until set again
};

struct Cell {
    std::uint8_t note = NoNote;  // 0..119, NoNote or NoteOff
    std::uint8_t instrument = 0; // 1-based; 0 = none
    std::int8_t volume = -1;     // 0..64 (MOD: becomes a set-volume effect); -1 = none
    Effect effect = Effect::None;
    std::uint8_t param = 0;

    bool operator==(const Cell&) const = default;
};

struct Pattern {
    Pattern() = default;
    Pattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount),
          cells(static_cast<std::size_t>(rowCount * channelCount)) {}
    Cell& at(int row, int channel) {
        return cells[static_cast<std::size_t>(row * channels + channel)];
    }
    const Cell& at(int row, int channel) const {
        return cells[static_cast<std::size_t>(row * channels + channel)];
    }

    int rows = 0;
    int channels = 0;
    std::vector<Cell> cells; // row-major
};

// A sample: signed data, 8-bit values (-128..127) unless sixteenBit.
struct Sample {
    std::vector<std::int16_t> data;
    bool sixteenBit = false;
    std::uint32_t loopStart = 0;  // in sample frames
    std::uint32_t loopLength = 0; // 0 = no loop
    int volume = 64;              // default volume, 0..64
    int c5Rate = 8363;            // playback rate of C-5 in Hz (MOD: 8363 within a finetune step)
    int panning = -1;             // XM and IT: 0 (left)..64 (right) each time it plays; -1 = none
};

struct EnvelopePoint {
    int tick = 0;  // ticks from the note's start, strictly rising
    int value = 0; // 0..64
};

struct Envelope {
    std::vector<EnvelopePoint> points; // empty = no envelope
    int sustainPoint = -1;             // held until key off; -1 = none
};

// An instrument plays its one sample over the whole keyboard.
struct Instrument {
    std::string name; // up to 22 characters are kept
    Sample sample;
    Envelope volumeEnvelope; // XM and IT instruments mode; ignored by MOD and IT samples mode
    int fadeout = 0;         // after key off, XM units 0..4095 (IT keeps fadeout / 32)
};

struct Song {
    std::string name; // up to 20 characters are kept
    int channels = 4;
    std::vector<Instrument> instruments;
    std::vector<Pattern> patterns;
    std::vector<int> orders;    // played once, start to end
    int speed = 6;              // ticks a row
    int tempo = 125;            // beats a minute
    bool itSamplesMode = false; // IT: write samples only (no envelopes)
    std::vector<int> panning;   // IT: 0 (left)..64 (right) a channel; empty = centre
    int rowsPerBeat = 4;        // IT: the rows its editor highlights as beats
    int rowsPerBar = 16;        // and as bars
};

// Checks the song against the format; returns "" when it can be written,
// else a message such as "MOD holds exactly 4 channels, the song has 6".
std::string Check(const Song& song, Format format);

// The file's bytes, or nullopt with *error set when Check refuses the song.
std::optional<std::vector<std::uint8_t>> Encode(const Song& song, Format format,
                                                std::string* error);

// Encodes and writes the file; returns "" on success, else the reason (the
// refusal, or the failed write). A refused song writes nothing.
std::string WriteFile(const Song& song, Format format, const std::string& path);

// The format named by a file name's extension (".mod", ".xm", ".it", any case).
std::optional<Format> FormatOfPath(const std::string& path);

// Amiga period of a MOD note (48..83) at finetune 0.
int AmigaPeriod(int note);

} // namespace modwriter
