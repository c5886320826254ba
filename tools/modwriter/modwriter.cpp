#include "modwriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace modwriter {
namespace {

struct Limits {
    const char* name;
    int minChannels, maxChannels;
    int maxInstruments, maxPatterns, maxOrders;
    int minRows, maxRows;
    int lowNote, highNote;
    int maxEnvelopePoints;
    int maxBreakRow;
};

Limits LimitsOf(Format format) {
    switch (format) {
    case Format::Mod:
        return {"MOD", 4, 4, 31, 64, 128, 64, 64, 48, 83, 0, 63};
    case Format::Xm:
        return {"XM", 2, 32, 128, 256, 256, 1, 256, 12, 107, 12, 63};
    case Format::It:
        break;
    }
    return {"IT", 1, 64, 99, 200, 255, 32, 200, 0, 119, 25, 199};
}

std::string Msg(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

// MOD finetune in eighths of a semitone for a C-5 rate, or 99 when none fits.
int ModFinetune(int c5Rate) {
    double eighths = 96.0 * std::log2(c5Rate / 8363.0);
    int ft = static_cast<int>(std::lround(eighths));
    if (ft < -8 || ft > 7 || std::fabs(eighths - ft) > 0.1) return 99;
    return ft;
}

std::string CheckSample(const Sample& s, int index, Format format) {
    const int n = index + 1;
    if (format == Format::Mod && s.sixteenBit)
        return Msg("MOD holds 8-bit samples only; instrument %d is 16-bit", n);
    if (!s.sixteenBit)
        for (auto v : s.data)
            if (v < -128 || v > 127)
                return Msg("instrument %d: 8-bit sample value %d out of -128..127", n, v);
    const std::size_t maxLen = format == Format::Mod ? 131070 : 0x7fffffff;
    if (s.data.size() > maxLen)
        return Msg("instrument %d: sample of %zu frames is too long for the format", n,
                   s.data.size());
    if (s.loopLength > 0 &&
        (s.loopStart > s.data.size() || s.loopLength > s.data.size() - s.loopStart))
        return Msg("instrument %d: loop %u+%u runs past the sample's %zu frames", n, s.loopStart,
                   s.loopLength, s.data.size());
    if (format == Format::Mod && s.loopLength > 0 && (s.loopStart % 2 || s.loopLength % 2))
        return Msg("instrument %d: MOD loops start and run in whole words (even frames)", n);
    if (format == Format::Mod && s.loopLength == 2)
        return Msg("instrument %d: a MOD loop of one word means no loop", n);
    if (s.volume < 0 || s.volume > 64)
        return Msg("instrument %d: volume %d out of 0..64", n, s.volume);
    if (s.c5Rate < 1 || s.c5Rate > 9999999)
        return Msg("instrument %d: C-5 rate %d Hz out of range", n, s.c5Rate);
    if (format == Format::Mod && ModFinetune(s.c5Rate) == 99)
        return Msg("instrument %d: MOD cannot play a C-5 rate of %d Hz (finetune -8..7 of 8363)", n,
                   s.c5Rate);
    if (s.panning < -1 || s.panning > 64)
        return Msg("instrument %d: panning %d out of 0..64", n, s.panning);
    return "";
}

std::string CheckInstrument(const Instrument& ins, int index, Format format, const Limits& lim) {
    const int n = index + 1;
    if (auto err = CheckSample(ins.sample, index, format); !err.empty()) return err;
    if (format == Format::Mod) return "";
    const auto& pts = ins.volumeEnvelope.points;
    if (static_cast<int>(pts.size()) > lim.maxEnvelopePoints)
        return Msg("instrument %d: %s envelopes hold %d points, this one has %zu", n, lim.name,
                   lim.maxEnvelopePoints, pts.size());
    if (pts.size() == 1) return Msg("instrument %d: an envelope needs at least 2 points", n);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (pts[i].value < 0 || pts[i].value > 64)
            return Msg("instrument %d: envelope value %d out of 0..64", n, pts[i].value);
        if (pts[i].tick < 0 || pts[i].tick > 9999 || (i > 0 && pts[i].tick <= pts[i - 1].tick))
            return Msg("instrument %d: envelope ticks must rise from 0 (point %zu)", n, i);
    }
    if (!pts.empty() && pts[0].tick != 0)
        return Msg("instrument %d: an envelope starts at tick 0", n);
    const int sus = ins.volumeEnvelope.sustainPoint;
    if (sus < -1 || sus >= static_cast<int>(pts.size()))
        return Msg("instrument %d: sustain point %d is not an envelope point", n, sus);
    if (ins.fadeout < 0 || ins.fadeout > 4095)
        return Msg("instrument %d: fadeout %d out of 0..4095", n, ins.fadeout);
    return "";
}

std::string CheckEffect(const Cell& c, Format format, const Limits& lim) {
    const int p = c.param, hi = p >> 4, lo = p & 15;
    switch (c.effect) {
    case Effect::None:
        if (p != 0) return "a parameter without an effect";
        return "";
    case Effect::Arpeggio:
    case Effect::Vibrato:
    case Effect::TonePorta:
        return "";
    case Effect::PortaUp:
    case Effect::PortaDown:
        if (p > 0xDF) return Msg("portamento %d above 223 (fine slides are not portable)", p);
        return "";
    case Effect::VolumeSlide:
        if ((hi && lo) || hi == 15 || lo == 15)
            return Msg("volume slide %02X slides both ways or is a fine slide", p);
        return "";
    case Effect::SetSpeed:
        if (p < 1 || p > 31) return Msg("speed %d out of 1..31", p);
        return "";
    case Effect::SetTempo:
        if (p < 32) return Msg("tempo %d out of 32..255", p);
        return "";
    case Effect::PatternBreak:
        if (p > lim.maxBreakRow) return Msg("pattern break to row %d in %s", p, lim.name);
        return "";
    case Effect::NoteCut:
    case Effect::NoteDelay:
        if (p > 15) return Msg("note cut or delay of %d ticks out of 0..15", p);
        return "";
    case Effect::ChannelVolume:
        if (format != Format::It) return Msg("channel volume is an IT command, not %s", lim.name);
        if (p > 64) return Msg("channel volume %d out of 0..64", p);
        return "";
    }
    return "unknown effect";
}

std::string CheckCell(const Cell& c, int instruments, Format format, const Limits& lim) {
    if (c.note != NoNote && c.note != NoteOff && (c.note < lim.lowNote || c.note > lim.highNote))
        return Msg("note %d out of %s range %d..%d", c.note, lim.name, lim.lowNote, lim.highNote);
    if (c.instrument > instruments) return Msg("instrument %d of %d", c.instrument, instruments);
    if (c.volume < -1 || c.volume > 64) return Msg("volume %d out of 0..64", c.volume);
    if (auto err = CheckEffect(c, format, lim); !err.empty()) return err;
    if (format == Format::Mod) {
        const bool needsSlot = c.volume >= 0 || c.note == NoteOff;
        if (needsSlot && c.effect != Effect::None)
            return "MOD has one effect a cell: a volume or key off cannot share it with an effect";
        if (c.volume >= 0 && c.note == NoteOff)
            return "MOD cannot key off and set a volume at once";
    }
    return "";
}

// MOD has no header speed or tempo: they go into free effect slots of the
// first played row. The tempo is always written: players take a MOD that
// sets no tempo for a NoiseTracker one, which ignores pattern break rows.
int ModHeaderEffects(const Song& song) {
    return (song.speed != 6) + 1;
}

std::string CheckSong(const Song& song, Format format) {
    const Limits lim = LimitsOf(format);
    if (song.channels < lim.minChannels || song.channels > lim.maxChannels) {
        if (lim.minChannels == lim.maxChannels)
            return Msg("%s holds exactly %d channels, the song has %d", lim.name, lim.minChannels,
                       song.channels);
        return Msg("%s holds %d..%d channels, the song has %d", lim.name, lim.minChannels,
                   lim.maxChannels, song.channels);
    }
    const int nIns = static_cast<int>(song.instruments.size());
    if (nIns > lim.maxInstruments)
        return Msg("%s holds %d instruments, the song has %d", lim.name, lim.maxInstruments, nIns);
    for (int i = 0; i < nIns; ++i)
        if (auto err = CheckInstrument(song.instruments[i], i, format, lim); !err.empty())
            return err;
    const int nPat = static_cast<int>(song.patterns.size());
    if (nPat == 0) return "the song has no patterns";
    if (nPat > lim.maxPatterns)
        return Msg("%s holds %d patterns, the song has %d", lim.name, lim.maxPatterns, nPat);
    if (song.orders.empty()) return "the order list is empty";
    if (static_cast<int>(song.orders.size()) > lim.maxOrders)
        return Msg("%s holds %d orders, the song has %zu", lim.name, lim.maxOrders,
                   song.orders.size());
    std::vector<bool> used(nPat);
    for (int o : song.orders) {
        if (o < 0 || o >= nPat) return Msg("order names pattern %d of %d", o, nPat);
        used[o] = true;
    }
    if (format == Format::Mod)
        for (int p = 0; p < nPat; ++p)
            if (!used[p])
                return Msg("MOD stores only played patterns; pattern %d is never played", p);
    if (song.speed < 1 || song.speed > 31) return Msg("speed %d out of 1..31", song.speed);
    if (song.tempo < 32 || song.tempo > 255) return Msg("tempo %d out of 32..255", song.tempo);
    if (song.rowsPerBeat < 0 || song.rowsPerBeat > 255 || song.rowsPerBar < 0 ||
        song.rowsPerBar > 255)
        return Msg("row highlights %d and %d out of 0..255", song.rowsPerBeat, song.rowsPerBar);
    for (int p = 0; p < nPat; ++p) {
        const Pattern& pat = song.patterns[p];
        if (pat.channels != song.channels ||
            pat.cells.size() != std::size_t(pat.rows * pat.channels))
            return Msg("pattern %d has %d channels, the song %d", p, pat.channels, song.channels);
        if (pat.rows < lim.minRows || pat.rows > lim.maxRows)
            return Msg("%s patterns hold %d..%d rows, pattern %d has %d", lim.name, lim.minRows,
                       lim.maxRows, p, pat.rows);
        for (int r = 0; r < pat.rows; ++r)
            for (int ch = 0; ch < pat.channels; ++ch)
                if (auto err = CheckCell(pat.at(r, ch), nIns, format, lim); !err.empty())
                    return Msg("pattern %d row %d channel %d: %s", p, r, ch + 1, err.c_str());
    }
    if (format == Format::Mod) {
        const Pattern& first = song.patterns[song.orders[0]];
        int free = 0;
        for (int ch = 0; ch < 4; ++ch) {
            const Cell& c = first.at(0, ch);
            free += c.effect == Effect::None && c.volume < 0 && c.note != NoteOff;
        }
        if (free < ModHeaderEffects(song))
            return "MOD keeps speed and tempo in the first row's effects, and it has no free slot";
    }
    if (!song.panning.empty() && static_cast<int>(song.panning.size()) != song.channels)
        return Msg("%zu channel pannings for %d channels", song.panning.size(), song.channels);
    for (int pan : song.panning)
        if (pan < 0 || pan > 64) return Msg("channel panning %d out of 0..64", pan);
    return "";
}

// Byte output helpers.
struct Out {
    std::vector<std::uint8_t> bytes;
    void u8(int v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void u16le(int v) {
        u8(v & 255);
        u8((v >> 8) & 255);
    }
    void u32le(std::uint32_t v) {
        u16le(static_cast<int>(v & 0xffff));
        u16le(static_cast<int>(v >> 16));
    }
    void u16be(int v) {
        u8((v >> 8) & 255);
        u8(v & 255);
    }
    void text(const std::string& s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            u8(i < s.size() ? s[i] : 0);
    }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    std::size_t pos() const { return bytes.size(); }
    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void patch16(std::size_t at, int v) {
        bytes[at] = static_cast<std::uint8_t>(v & 255);
        bytes[at + 1] = static_cast<std::uint8_t>((v >> 8) & 255);
    }
};

int Bcd(int row) {
    return (row / 10) << 4 | row % 10;
}

// MOD and XM share effect numbers; returns {type, param}.
std::pair<int, int> ProTrackerEffect(const Cell& c) {
    switch (c.effect) {
    case Effect::None:
    case Effect::Arpeggio:
        return {0, c.param};
    case Effect::PortaUp:
        return {1, c.param};
    case Effect::PortaDown:
        return {2, c.param};
    case Effect::TonePorta:
        return {3, c.param};
    case Effect::Vibrato:
        return {4, c.param};
    case Effect::VolumeSlide:
        return {0xA, c.param};
    case Effect::SetSpeed:
    case Effect::SetTempo:
        return {0xF, c.param};
    case Effect::PatternBreak:
        return {0xD, Bcd(c.param)};
    case Effect::NoteCut:
        return {0xE, 0xC0 | c.param};
    case Effect::NoteDelay:
        return {0xE, 0xD0 | c.param};
    case Effect::ChannelVolume: // refused by the check
        break;
    }
    return {0, 0};
}

std::vector<std::uint8_t> EncodeMod(const Song& song) {
    Out o;
    o.text(song.name, 20);
    for (int i = 0; i < 31; ++i) {
        if (i >= static_cast<int>(song.instruments.size())) {
            o.zeros(22);
            o.u16be(0), o.u8(0), o.u8(0), o.u16be(0), o.u16be(1);
            continue;
        }
        const Instrument& ins = song.instruments[i];
        const Sample& s = ins.sample;
        o.text(ins.name, 22);
        o.u16be(static_cast<int>((s.data.size() + 1) / 2));
        o.u8(ModFinetune(s.c5Rate) & 15);
        o.u8(s.volume);
        o.u16be(s.loopLength ? static_cast<int>(s.loopStart / 2) : 0);
        o.u16be(s.loopLength ? static_cast<int>(s.loopLength / 2) : 1);
    }
    o.u8(static_cast<int>(song.orders.size()));
    o.u8(127);
    for (int i = 0; i < 128; ++i)
        o.u8(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
    o.text("M.K.", 4);
    for (std::size_t p = 0; p < song.patterns.size(); ++p) {
        Pattern pat = song.patterns[p];
        if (static_cast<int>(p) == song.orders[0]) {
            // Speed and tempo ride in the first row's free effect slots.
            std::vector<Cell> pending;
            if (song.speed != 6)
                pending.push_back({NoNote, 0, -1, Effect::SetSpeed, std::uint8_t(song.speed)});
            pending.push_back({NoNote, 0, -1, Effect::SetTempo, std::uint8_t(song.tempo)});
            for (int ch = 0; ch < 4 && !pending.empty(); ++ch) {
                Cell& c = pat.at(0, ch);
                if (c.effect == Effect::None && c.volume < 0 && c.note != NoteOff) {
                    c.effect = pending.back().effect, c.param = pending.back().param;
                    pending.pop_back();
                }
            }
        }
        for (int r = 0; r < 64; ++r)
            for (int ch = 0; ch < 4; ++ch) {
                const Cell& c = pat.at(r, ch);
                int period = c.note == NoNote || c.note == NoteOff ? 0 : AmigaPeriod(c.note);
                auto [fx, param] = ProTrackerEffect(c);
                if (c.volume >= 0) fx = 0xC, param = c.volume;
                if (c.note == NoteOff) fx = 0xC, param = 0;
                o.u8((c.instrument & 0xF0) | (period >> 8));
                o.u8(period & 255);
                o.u8((c.instrument & 0x0F) << 4 | fx);
                o.u8(param);
            }
    }
    for (const Instrument& ins : song.instruments) {
        for (auto v : ins.sample.data)
            o.u8(v & 255);
        if (ins.sample.data.size() % 2) o.u8(0);
    }
    return o.bytes;
}

void XmPattern(Out& o, const Pattern& pat) {
    o.u32le(9);
    o.u8(0);
    o.u16le(pat.rows);
    const std::size_t sizeAt = o.pos();
    o.u16le(0);
    const std::size_t start = o.pos();
    for (const Cell& c : pat.cells) {
        int note = c.note == NoNote ? 0 : c.note == NoteOff ? 97 : c.note - 11;
        int vol = c.volume >= 0 ? 0x10 + c.volume : 0;
        auto [fx, param] = ProTrackerEffect(c);
        int mask = (note ? 1 : 0) | (c.instrument ? 2 : 0) | (vol ? 4 : 0) | (fx ? 8 : 0) |
                   (param ? 16 : 0);
        if (mask == 31) {
            o.u8(note), o.u8(c.instrument), o.u8(vol), o.u8(fx), o.u8(param);
            continue;
        }
        o.u8(0x80 | mask);
        if (note) o.u8(note);
        if (c.instrument) o.u8(c.instrument);
        if (vol) o.u8(vol);
        if (fx) o.u8(fx);
        if (param) o.u8(param);
    }
    o.patch16(sizeAt, static_cast<int>(o.pos() - start));
}

// Relative note and finetune (1/128 semitone) that play C-5 at c5Rate.
std::pair<int, int> XmTuning(int c5Rate) {
    const int total = static_cast<int>(std::lround(1536.0 * std::log2(c5Rate / 8363.0)));
    int rel = total >= 0 ? total / 128 : -((-total + 127) / 128);
    int fine = total - rel * 128;
    if (fine > 127) ++rel, fine -= 128;
    if (fine >= 64) ++rel, fine -= 128; // keep finetune within -64..63
    return {rel, fine};
}

void XmInstrument(Out& o, const Instrument& ins) {
    const Sample& s = ins.sample;
    o.u32le(263);
    o.text(ins.name, 22);
    o.u8(0);
    o.u16le(1);
    o.u32le(40);
    o.zeros(96); // every key plays sample 0
    const auto& pts = ins.volumeEnvelope.points;
    for (int i = 0; i < 12; ++i) {
        o.u16le(i < static_cast<int>(pts.size()) ? pts[i].tick : 0);
        o.u16le(i < static_cast<int>(pts.size()) ? pts[i].value : 0);
    }
    o.zeros(48); // panning envelope
    o.u8(static_cast<int>(pts.size()));
    o.u8(0);
    const int sus = ins.volumeEnvelope.sustainPoint;
    o.u8(std::max(sus, 0)), o.u8(0), o.u8(0); // sustain, loop start, loop end
    o.u8(0), o.u8(0), o.u8(0);
    o.u8((pts.empty() ? 0 : 1) | (sus >= 0 && !pts.empty() ? 2 : 0));
    o.u8(0);
    o.zeros(4); // auto-vibrato
    o.u16le(ins.fadeout);
    o.zeros(22);
    // Sample header; lengths in bytes.
    const int width = s.sixteenBit ? 2 : 1;
    o.u32le(static_cast<std::uint32_t>(s.data.size() * width));
    o.u32le(s.loopLength ? s.loopStart * width : 0);
    o.u32le(s.loopLength * width);
    o.u8(s.volume);
    auto [rel, fine] = XmTuning(s.c5Rate);
    o.u8(fine & 255);
    o.u8((s.loopLength ? 1 : 0) | (s.sixteenBit ? 16 : 0));
    o.u8(s.panning < 0 ? 128 : std::min(255, s.panning * 4));
    o.u8(rel & 255);
    o.u8(0);
    o.text(ins.name, 22);
    int prev = 0;
    for (auto v : s.data) {
        const int d = v - prev;
        prev = v;
        if (s.sixteenBit)
            o.u16le(d & 0xffff);
        else
            o.u8(d & 255);
    }
}

std::vector<std::uint8_t> EncodeXm(const Song& song) {
    Out o;
    o.text("Extended Module: ", 17);
    o.text(song.name, 20);
    o.u8(0x1A);
    o.text("tonebox modwriter", 20);
    o.u16le(0x0104);
    o.u32le(276);
    o.u16le(static_cast<int>(song.orders.size()));
    o.u16le(0);
    o.u16le(song.channels);
    o.u16le(static_cast<int>(song.patterns.size()));
    o.u16le(static_cast<int>(song.instruments.size()));
    o.u16le(1); // linear frequency table
    o.u16le(song.speed);
    o.u16le(song.tempo);
    for (int i = 0; i < 256; ++i)
        o.u8(i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
    for (const Pattern& pat : song.patterns)
        XmPattern(o, pat);
    for (const Instrument& ins : song.instruments)
        XmInstrument(o, ins);
    return o.bytes;
}

// IT effect letter (A = 1) and parameter.
std::pair<int, int> ItEffect(const Cell& c) {
    switch (c.effect) {
    case Effect::None:
        return {0, 0};
    case Effect::Arpeggio:
        return {10, c.param};
    case Effect::PortaUp:
        return {6, c.param};
    case Effect::PortaDown:
        return {5, c.param};
    case Effect::TonePorta:
        return {7, c.param};
    case Effect::Vibrato:
        return {8, c.param};
    case Effect::VolumeSlide:
        return {4, c.param};
    case Effect::SetSpeed:
        return {1, c.param};
    case Effect::SetTempo:
        return {20, c.param};
    case Effect::PatternBreak:
        return {3, c.param};
    case Effect::NoteCut:
        return {19, 0xC0 | c.param};
    case Effect::NoteDelay:
        return {19, 0xD0 | c.param};
    case Effect::ChannelVolume:
        return {13, c.param};
    }
    return {0, 0};
}

// Players count an IT song's channels from the pattern data, so an empty
// first row of the first played pattern gets a no-op in every channel: its
// panning set to where the header already puts it.
void ItPattern(Out& o, const Pattern& pat, const std::vector<int>* headerPanning) {
    const std::size_t sizeAt = o.pos();
    o.u16le(0);
    o.u16le(pat.rows);
    o.zeros(4);
    const std::size_t start = o.pos();
    for (int r = 0; r < pat.rows; ++r) {
        for (int ch = 0; ch < pat.channels; ++ch) {
            const Cell& c = pat.at(r, ch);
            auto [fx, param] = ItEffect(c);
            int mask = (c.note != NoNote ? 1 : 0) | (c.instrument ? 2 : 0) |
                       (c.volume >= 0 ? 4 : 0) | (fx ? 8 : 0);
            if (!mask && headerPanning && r == 0) {
                o.u8((ch + 1) | 0x80);
                o.u8(4);
                o.u8(128 + (headerPanning->empty() ? 32 : (*headerPanning)[ch]));
            }
            if (!mask) continue;
            o.u8((ch + 1) | 0x80);
            o.u8(mask);
            if (mask & 1) o.u8(c.note == NoteOff ? 255 : c.note);
            if (mask & 2) o.u8(c.instrument);
            if (mask & 4) o.u8(c.volume);
            if (mask & 8) o.u8(fx), o.u8(param);
        }
        o.u8(0);
    }
    o.patch16(sizeAt, static_cast<int>(o.pos() - start));
}

void ItEnvelope(Out& o, const Envelope& env) {
    const auto& pts = env.points;
    o.u8((pts.empty() ? 0 : 1) | (env.sustainPoint >= 0 && !pts.empty() ? 4 : 0));
    o.u8(static_cast<int>(pts.size()));
    o.u8(0), o.u8(0); // loop
    o.u8(std::max(env.sustainPoint, 0)), o.u8(std::max(env.sustainPoint, 0));
    for (int i = 0; i < 25; ++i) {
        o.u8(i < static_cast<int>(pts.size()) ? pts[i].value : 0);
        o.u16le(i < static_cast<int>(pts.size()) ? pts[i].tick : 0);
    }
    o.u8(0);
}

void ItInstrument(Out& o, const Instrument& ins, int sampleNumber) {
    o.text("IMPI", 4);
    o.zeros(12);
    o.u8(0);
    o.u8(0), o.u8(0), o.u8(0); // NNA cut, no duplicate checks
    o.u16le(std::min(128, ins.fadeout / 32));
    o.u8(0), o.u8(60); // pitch-pan separation and centre
    o.u8(128);         // global volume
    o.u8(32 | 128);    // no default pan
    o.u8(0), o.u8(0);  // random volume and pan
    o.u16le(0x0214);
    o.u8(1), o.u8(0);
    o.text(ins.name, 26);
    o.u8(0), o.u8(0); // filter off
    o.u8(0), o.u8(0), o.u16le(0xffff);
    for (int note = 0; note < 120; ++note)
        o.u8(note), o.u8(sampleNumber);
    ItEnvelope(o, ins.volumeEnvelope);
    Envelope none;
    ItEnvelope(o, none); // panning
    ItEnvelope(o, none); // pitch
    o.zeros(4);
}

void ItSampleHeader(Out& o, const Instrument& ins, std::size_t* dataPointerAt) {
    const Sample& s = ins.sample;
    o.text("IMPS", 4);
    o.zeros(12);
    o.u8(0);
    o.u8(64); // global volume
    int flags = (s.data.empty() ? 0 : 1) | (s.sixteenBit ? 2 : 0) | (s.loopLength ? 16 : 0);
    o.u8(flags);
    o.u8(s.volume);
    o.text(ins.name, 26);
    o.u8(1); // signed
    o.u8(s.panning < 0 ? 32 : (s.panning | 128));
    o.u32le(static_cast<std::uint32_t>(s.data.size()));
    o.u32le(s.loopLength ? s.loopStart : 0);
    o.u32le(s.loopLength ? s.loopStart + s.loopLength : 0);
    o.u32le(static_cast<std::uint32_t>(s.c5Rate));
    o.u32le(0), o.u32le(0);
    *dataPointerAt = o.pos();
    o.u32le(0);
    o.zeros(4); // auto-vibrato
}

std::vector<std::uint8_t> EncodeIt(const Song& song) {
    const bool instruments = !song.itSamplesMode;
    const int nOrd = static_cast<int>(song.orders.size()) + 1; // + end marker
    const int nIns = instruments ? static_cast<int>(song.instruments.size()) : 0;
    const int nSmp = static_cast<int>(song.instruments.size());
    const int nPat = static_cast<int>(song.patterns.size());
    Out o;
    o.text("IMPM", 4);
    o.text(song.name, 26);
    o.u8(song.rowsPerBeat), o.u8(song.rowsPerBar); // row highlights: a beat, a bar
    o.u16le(nOrd), o.u16le(nIns), o.u16le(nSmp), o.u16le(nPat);
    o.u16le(0x0214), o.u16le(0x0214);
    o.u16le(1 | (instruments ? 4 : 0) | 8); // stereo, instruments, linear slides
    o.u16le(0);
    o.u8(128), o.u8(48); // global and mixing volume
    o.u8(song.speed), o.u8(song.tempo);
    o.u8(128), o.u8(0);
    o.u16le(0), o.u32le(0), o.u32le(0);
    for (int ch = 0; ch < 64; ++ch) {
        if (ch >= song.channels)
            o.u8(32 | 128); // disabled
        else
            o.u8(song.panning.empty() ? 32 : song.panning[ch]);
    }
    for (int ch = 0; ch < 64; ++ch)
        o.u8(64);
    for (int ord : song.orders)
        o.u8(ord);
    o.u8(255);
    const std::size_t offsets = o.pos();
    o.zeros(4 * static_cast<std::size_t>(nIns + nSmp + nPat));
    for (int i = 0; i < nIns; ++i) {
        o.patch32(offsets + 4 * i, static_cast<std::uint32_t>(o.pos()));
        ItInstrument(o, song.instruments[i], i + 1);
    }
    std::vector<std::size_t> dataPointers(nSmp);
    for (int i = 0; i < nSmp; ++i) {
        o.patch32(offsets + 4 * (nIns + i), static_cast<std::uint32_t>(o.pos()));
        ItSampleHeader(o, song.instruments[i], &dataPointers[i]);
    }
    for (int p = 0; p < nPat; ++p) {
        o.patch32(offsets + 4 * (nIns + nSmp + p), static_cast<std::uint32_t>(o.pos()));
        ItPattern(o, song.patterns[p], p == song.orders[0] ? &song.panning : nullptr);
    }
    for (int i = 0; i < nSmp; ++i) {
        const Sample& s = song.instruments[i].sample;
        o.patch32(dataPointers[i], static_cast<std::uint32_t>(o.pos()));
        for (auto v : s.data) {
            if (s.sixteenBit)
                o.u16le(v & 0xffff);
            else
                o.u8(v & 255);
        }
    }
    return o.bytes;
}

} // namespace

int AmigaPeriod(int note) {
    static const int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    if (note < 48 || note > 83) return 0;
    return periods[note - 48];
}

std::string Check(const Song& song, Format format) {
    return CheckSong(song, format);
}

std::optional<std::vector<std::uint8_t>> Encode(const Song& song, Format format,
                                                std::string* error) {
    std::string err = CheckSong(song, format);
    if (!err.empty()) {
        if (error) *error = err;
        return std::nullopt;
    }
    switch (format) {
    case Format::Mod:
        return EncodeMod(song);
    case Format::Xm:
        return EncodeXm(song);
    case Format::It:
        break;
    }
    return EncodeIt(song);
}

std::string WriteFile(const Song& song, Format format, const std::string& path) {
    std::string err;
    auto bytes = Encode(song, format, &err);
    if (!bytes) return err;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot create " + path;
    out.write(reinterpret_cast<const char*>(bytes->data()),
              static_cast<std::streamsize>(bytes->size()));
    out.close();
    if (!out) return "cannot write " + path;
    return "";
}

std::optional<Format> FormatOfPath(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    std::string ext = path.substr(dot + 1);
    for (char& ch : ext)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    if (ext == "mod") return Format::Mod;
    if (ext == "xm") return Format::Xm;
    if (ext == "it") return Format::It;
    return std::nullopt;
}

} // namespace modwriter
