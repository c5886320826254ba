// The song's instruments: its colour, its sounds, its kit, their
// envelopes and where they stand.

#include "parts.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace composer::detail {

namespace {

modwriter::Envelope Env(std::initializer_list<modwriter::EnvelopePoint> pts, int sustain) {
    modwriter::Envelope e;
    e.points = pts;
    e.sustainPoint = sustain;
    return e;
}

double Within(Rng& r, Range range) {
    return range.lo + (range.hi - range.lo) * r.Range(0, 1000) / 1000.0;
}

// Words of a title that colour its song: darker and softer, brighter,
// heavier, busier.
void TitleColour(const std::string& title, Colour& colour) {
    static const std::pair<const char*, std::array<double, 3>> words[] = {
        {"RAIN", {-0.2, 0, -0.1}},      {"RIVER", {-0.15, 0, -0.1}},
        {"MOSS", {-0.2, 0, -0.15}},     {"SLOW", {-0.2, 0, -0.25}},
        {"BLUE", {-0.15, 0, -0.1}},     {"CANDLE", {-0.2, 0, -0.1}},
        {"LANTERN", {-0.15, 0, -0.1}},  {"HARBOUR", {-0.1, 0.1, 0}},
        {"VELVET", {-0.2, 0.1, -0.1}},  {"CHROME", {0.2, 0, 0.1}},
        {"GLASS", {0.25, -0.1, 0}},     {"FROST", {0.2, -0.1, 0}},
        {"QUARTZ", {0.2, -0.1, 0.1}},   {"SILVER", {0.2, 0, 0}},
        {"STAR", {0.15, 0, 0}},         {"ZENITH", {0.2, 0, 0.1}},
        {"FIREFLY", {0.2, -0.1, 0.1}},  {"NEON", {0.15, 0.1, 0.1}},
        {"IRON", {0.1, 0.2, 0.1}},      {"BRICK", {0, 0.2, 0.1}},
        {"MACHINE", {0.1, 0.15, 0.15}}, {"FACTORY", {0.1, 0.1, 0.15}},
        {"MAGNET", {0, 0.15, 0.1}},     {"WARP", {0.1, 0.1, 0.2}},
        {"RUN", {0.1, 0, 0.2}},         {"RELAY", {0, 0.1, 0.15}},
        {"PARADE", {0.1, 0, 0.15}},     {"DANCE", {0.05, 0.15, 0.15}},
        {"DUST", {-0.1, 0.1, 0}},       {"AMBER", {-0.1, 0.1, 0}},
    };
    for (const auto& [word, shift] : words)
        if (title.find(word) != std::string::npos) {
            colour.bright = std::clamp(colour.bright + shift[0], 0.0, 1.0);
            colour.weight = std::clamp(colour.weight + shift[1], 0.0, 1.0);
            colour.busy = std::clamp(colour.busy + shift[2], 0.0, 1.0);
        }
}

// A patch of one of the timbres, its knobs drawn; of a few draws, the one
// nearest the brightness asked for.
Patch DrawPatch(Rng& r, const std::vector<Timbre>& timbres, double bright) {
    const Timbre t = r.Pick(timbres);
    Patch best;
    for (int attempt = 0; attempt < 5; ++attempt) {
        Patch p;
        p.timbre = t;
        for (double& k : p.knob)
            k = r.Range(0, 1000) / 1000.0;
        if (attempt == 0 ||
            std::abs(BrightnessOf(p) - bright) < std::abs(BrightnessOf(best) - bright))
            best = p;
    }
    return best;
}

// The highest harmonic that keeps an instrument's highest note under
// 19 kHz, from the notes it plays.
int TopHarmonic(const Ctx& c, int ins, int cycle, int rate) {
    int highest = -1;
    for (const auto& track : c.track)
        for (const Cell& cell : track)
            if (cell.instrument == ins && cell.note < 120)
                highest = std::max<int>(highest, cell.note);
    const int note = highest < 0 ? 72 : highest;
    const double hz = double(rate) / cycle * std::pow(2.0, (note - 60) / 12.0);
    return std::clamp(static_cast<int>(19000 / hz), 1, cycle / 2 - 1);
}

} // namespace

void ChooseSounds(Ctx& c, const std::string& title) {
    Rng r = c.rng.Fork(0xC010);
    const Character& ch = CharacterOf(*c.style);
    const Character& voice = CharacterOf(*c.voice);
    Colour& k = c.colour;
    k.bright = Within(r, ch.bright), k.weight = Within(r, ch.weight);
    k.busy = Within(r, ch.busy), k.width = Within(r, ch.width);
    int pick = r.Range(0, ch.drums[0] + ch.drums[1] + ch.drums[2] - 1);
    k.drums = pick < ch.drums[0] ? 0 : pick < ch.drums[0] + ch.drums[1] ? 1 : 2;
    TitleColour(title, k);

    auto& p = c.patch;
    p[InsLead] = DrawPatch(r, voice.leads, k.bright);
    std::vector<Timbre> others;
    for (Timbre t : voice.leads)
        if (t != p[InsLead].timbre) others.push_back(t);
    p[InsLead2] = DrawPatch(r, others.empty() ? voice.leads : others, k.bright);
    p[InsArp] = DrawPatch(r, voice.arps, k.bright);
    p[InsBass] = DrawPatch(r, ch.basses, k.bright * 0.8);
    // An FM bass is the bass operator pair, not a bell or an e-piano.
    if (p[InsBass].timbre == Timbre::Fm) p[InsBass].knob[0] = 0.34 + 0.3 * p[InsBass].knob[0];
    p[InsPad] = DrawPatch(r, ch.pads, k.bright * 0.5);
    p[InsCounter] = DrawPatch(r, ch.pads, k.bright * 0.5);
    p[InsSparkle] = DrawPatch(r, {Timbre::Mallet, Timbre::Fm}, 0.8);
    p[InsSparkle].knob[0] = 0.75 + 0.25 * p[InsSparkle].knob[0]; // bells and glass
    // A dark song breathes wind where a bright one strikes bells.
    if (!IsMod(c) && k.bright < 0.45 && r.Chance(70)) {
        c.breathChannel = HasChannel(c, Sparkle) ? Sparkle : Echo;
        p[InsSparkle] = DrawPatch(r, {Timbre::Wind}, k.bright);
        p[InsSparkle].knob[0] = 0.6 + 0.4 * p[InsSparkle].knob[0];
        p[InsSparkle].knob[2] = 0.5 + 0.5 * p[InsSparkle].knob[2];
    }
    // Struck sounds ring longer in a quiet song without a busy kit; a
    // struck lead or bass always rings on under the next note, or a song
    // of them would be all strikes and no body.
    for (int i = 0; i <= InsLast; ++i) {
        Patch& patch = p[static_cast<std::size_t>(i)];
        if (patch.timbre != Timbre::Pluck && patch.timbre != Timbre::Mallet &&
            patch.timbre != Timbre::Fm)
            continue;
        if (k.drums < 2 || k.busy < 0.3) patch.decay = 2.6;
        if (i == InsLead || i == InsLead2 || i == InsBass) patch.decay = std::max(patch.decay, 2.2);
    }
    p[InsEcho] = p[InsLead];
    p[InsPadLeft] = p[InsPadRight] = p[InsPad];

    // Registers: a bright song's lead may stand a fifth higher, a dark
    // one's a fourth lower (MOD's notes stop at B-6); the arpeggio low and
    // warm, in the middle, or high and glassy; the pads' voices spread over
    // three octaves, their lowest deeper in a heavy song.
    const int up = IsMod(c) ? 2 : 7;
    c.leadShift = k.bright > 0.6 && r.Chance(60) ? up : k.bright < 0.4 && r.Chance(50) ? -5 : 0;
    c.arpLow = r.Pick(std::vector<int>{55, 62, 69});
    c.pingPong = !IsMod(c) && r.Chance(70);
    const int deep = k.weight > 0.6 ? 5 : 0;
    c.padRanges = {{{48 - deep, 60 - deep}, {62, 72}, {71, 84}}};

    // Levels: the weight below 120 Hz, the brightness of the hats, the
    // mid-range parts as busy as the song.
    c.level.fill(1.0);
    c.level[InsBass] = 0.9 + 0.8 * k.weight;
    c.level[InsKick] = 0.85 + 0.6 * k.weight;
    for (int i : {InsHat, InsOpenHat, InsShaker})
        c.level[static_cast<std::size_t>(i)] = 0.5 + 1.6 * k.bright;
    c.level[InsArp] = c.level[InsArpRight] = 0.25 + 0.4 * k.busy;
    // Pads fill out a song without drums, and one whose lead and bass are
    // struck and die away.
    auto struck = [&](int i) {
        const Timbre t = p[static_cast<std::size_t>(i)].timbre;
        return t == Timbre::Pluck || t == Timbre::Mallet || (t == Timbre::Fm && i != InsBass);
    };
    c.struckTune = struck(InsLead) && struck(InsBass);
    for (int i : {InsPad, InsPadLeft, InsPadRight})
        c.level[static_cast<std::size_t>(i)] =
            0.6 + 0.5 * (1 - k.busy) + (k.drums ? 0 : 0.4) + (c.struckTune ? 0.5 : 0);
    c.level[InsCounter] = 0.6 + 0.3 * k.bright;
    c.level[InsEcho] = 0.6 + 0.3 * k.busy;
}

std::vector<PanPair> PanPairs(const Ctx& c) {
    std::vector<PanPair> pairs = {{Pad1, Pad2, 6}, {Perc, Hats, -4}, {Sparkle, Counter, 0}};
    if (!c.pingPong)
        pairs.push_back({Arp, Echo, 0});
    else if (!HasChannel(c, Sparkle))
        pairs.push_back({Counter, Echo, 0});
    std::vector<PanPair> out;
    for (const PanPair& p : pairs)
        if (HasChannel(c, p.left) && HasChannel(c, p.right)) out.push_back(p);
    return out;
}

// How far from the middle the song's pairs stand, of 32.
int WidthOf(const Ctx& c) {
    return static_cast<int>(std::lround(24 + 8 * c.colour.width));
}

std::array<int, Channels> PansOf(const Ctx& c) {
    std::array<int, Channels> pans;
    pans.fill(32);
    // The width comes from pairs of parts panned apart, one each side; a
    // part whose partner the song has no channel for stays in the middle.
    const int w = WidthOf(c);
    for (const auto& [left, right, extra] : PanPairs(c)) {
        pans[static_cast<std::size_t>(left)] = std::max(0, 32 - w - extra);
        pans[static_cast<std::size_t>(right)] = std::min(64, 32 + w + extra);
    }
    return pans;
}

int ChannelOf(const Ctx& c, int ins) {
    if (ins == InsSparkle && c.breathChannel >= 0) return c.breathChannel;
    switch (ins) {
    case InsLead:
    case InsLead2:
        return Lead;
    case InsArp:
    case InsArpRight:
        return Arp;
    case InsBass:
        return Bass;
    case InsEcho:
        return Echo;
    case InsPad:
        return Pad3;
    case InsPadLeft:
        return Pad1;
    case InsPadRight:
        return Pad2;
    case InsCounter:
        return Counter;
    case InsSparkle:
        return Sparkle;
    case InsHat:
    case InsOpenHat:
    case InsCrash:
        return Hats;
    case InsClap:
    case InsShaker:
    case InsRim:
        return Perc;
    default:
        return Kit;
    }
}

void AddInstruments(Ctx& c, modwriter::Song& song) {
    const bool mod = IsMod(c);
    const Colour& k = c.colour;
    Rng kit = c.rng.Fork(0x4B17);
    auto tone = [&](const char* name, int ins, double amp) {
        VoiceShape v;
        v.patch = c.patch[static_cast<std::size_t>(ins)];
        v.cycle = CycleOf(c, ins);
        v.rate = mod ? 8363 : 8363 * v.cycle / 32;
        v.top = TopHarmonic(c, ins, v.cycle, 8363 * v.cycle / 32);
        v.amplitude = amp;
        v.sixteenBit = !mod;
        v.noiseSeed = static_cast<std::uint32_t>(kit.Next());
        // The bass carries a sine under it as heavy as the song, more under
        // a bright timbre, whose own fundamental is weak.
        if (ins == InsBass) v.sub = 0.1 + k.weight * (0.2 + 0.8 * BrightnessOf(v.patch));
        modwriter::Instrument i;
        i.name = name;
        i.sample = VoiceSample(v);
        i.sample.volume = mod ? Loudness(c, Level(ins)) : 64;
        return i;
    };
    auto drum = [&](const char* name, Drum d, double tone, double length, double colour,
                    double body = 1, double snap = 1, double metal = 0) {
        DrumShape s;
        s.drum = d;
        s.sixteenBit = !mod;
        s.tone = tone;
        s.length = length;
        s.colour = colour;
        s.body = body, s.snap = snap, s.metal = metal;
        s.amplitude = 0.95;
        s.noiseSeed = static_cast<std::uint32_t>(kit.Next());
        if (d == Drum::Kick) s.click = std::clamp(1.2 * k.bright - 0.5 * k.weight, 0.0, 1.0);
        modwriter::Instrument i;
        i.name = name;
        i.sample = DrumSample(s);
        i.sample.volume =
            mod ? Loudness(c, Level(static_cast<int>(song.instruments.size()) + 1)) : 64;
        return i;
    };
    auto draw = [&](int lo, int hi) { return kit.Range(lo, hi) / 100.0; };
    auto& ins = song.instruments;
    ins.push_back(tone("lead", InsLead, 1.0));
    ins.push_back(tone("lead two", InsLead2, 1.0));
    ins.push_back(tone("arp", InsArp, 1.0));
    ins.push_back(tone("bass", InsBass, 1.0));
    // The kit: kicks from deep and long (a heavy song) to short and
    // clicky (a light, bright one); hats and snares as bright as the song.
    const double bright = k.bright;
    ins.push_back(drum("kick", Drum::Kick, 0.62 + 0.5 * (1 - k.weight) + draw(-6, 6),
                       0.55 + 1.3 * k.weight + draw(-10, 10), 1));
    // Snares from a noise snare (no drum under it) to a full one, their
    // noise a narrow band or broad; hats from noise to ringing metal.
    const double body = draw(0, 100), snap = draw(0, 100), metal = draw(0, 100);
    ins.push_back(drum("snare", Drum::Snare, draw(80, 125), draw(70, 135),
                       std::clamp(bright + draw(-15, 15), 0.05, 1.0), body, snap));
    ins.push_back(drum("hat", Drum::HatClosed, draw(80, 125), draw(60, 160), 0.4 + 0.6 * bright, 1,
                       1, metal));
    ins.push_back(drum("open hat", Drum::HatOpen, draw(80, 125), draw(70, 130), 0.4 + 0.6 * bright,
                       1, 1, metal));
    ins.push_back(drum("tom", Drum::Tom, draw(85, 125), draw(80, 120), 1));
    ins.push_back(ins[InsLead - 1]);
    ins.back().name = "echo";
    if (mod) return;
    ins.push_back(tone("pad", InsPad, 1.0));
    ins.push_back(ins.back());
    ins.back().name = "pad left";
    ins.push_back(ins.back());
    ins.back().name = "pad right";
    ins.push_back(tone("counter", InsCounter, 1.0));
    ins.push_back(tone("sparkle", InsSparkle, 1.0));
    ins.push_back(drum("clap", Drum::Clap, 1, 1, draw(50, 100), 1, draw(30, 100)));
    ins.push_back(drum("crash", Drum::Crash, 1, draw(80, 110), 0.5 + 0.5 * bright, 1, 1, metal));
    ins.push_back(drum("shaker", Drum::Shaker, 1, draw(80, 130), 0.3 + 0.6 * bright));
    ins.push_back(drum("rim", Drum::Rim, draw(85, 120), 1, 1));
    ins.push_back(ins[InsArp - 1]);
    ins.back().name = "arp right";

    const auto lead = Env({{0, 64}, {6, 52}, {30, 44}}, 2);
    for (int i : {InsLead, InsLead2, InsEcho}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = lead;
        ins[static_cast<std::size_t>(i - 1)].fadeout = 1200;
    }
    for (int i : {InsArp, InsArpRight}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = Env({{0, 64}, {8, 40}, {40, 26}}, 2);
        ins[static_cast<std::size_t>(i - 1)].fadeout = 1600;
    }
    ins[InsBass - 1].volumeEnvelope = Env({{0, 64}, {10, 52}, {40, 46}}, 2);
    ins[InsBass - 1].fadeout = 2000;
    // A struck or plucked sound falls by itself: its envelope only holds it
    // until it is let go.
    for (int i : {InsLead, InsLead2, InsEcho, InsArp, InsArpRight, InsBass})
        if (!ins[static_cast<std::size_t>(i - 1)].sample.loopLength)
            ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = Env({{0, 64}, {8, 64}}, 1);
    for (int i : {InsPad, InsPadLeft, InsPadRight}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = Env({{0, 0}, {20, 48}, {40, 64}}, 2);
        ins[static_cast<std::size_t>(i - 1)].fadeout = 400;
    }
    ins[InsCounter - 1].volumeEnvelope = Env({{0, 24}, {8, 64}, {40, 48}}, 2);
    ins[InsCounter - 1].fadeout = 800;
    ins[InsSparkle - 1].volumeEnvelope = Env({{0, 64}, {12, 30}, {60, 8}, {90, 0}}, -1);
    ins[InsSparkle - 1].fadeout = 1000;
    if (c.breathChannel >= 0) { // a gust: it swells, then sighs away
        ins[InsSparkle - 1].volumeEnvelope = Env({{0, 0}, {60, 64}, {140, 40}, {240, 0}}, -1);
        ins[InsSparkle - 1].fadeout = 600;
    }
    // XM pans by instrument, IT by channel; a ping-pong arpeggio's two
    // instruments stand either side in both.
    const auto pans = PansOf(c);
    if (c.format == Format::It) song.panning.assign(pans.begin(), pans.begin() + song.channels);
    if (c.format == Format::Xm)
        for (int i = 1; i <= static_cast<int>(ins.size()); ++i)
            ins[static_cast<std::size_t>(i - 1)].sample.panning =
                pans[static_cast<std::size_t>(ChannelOf(c, i))];
    if (c.pingPong) {
        ins[InsArp - 1].sample.panning = 32 - WidthOf(c);
        ins[InsArpRight - 1].sample.panning = 32 + WidthOf(c);
    }
}

} // namespace composer::detail
