// The song's instruments: its sounds, its kit, their envelopes and pans.

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

} // namespace

void AddInstruments(Ctx& c, modwriter::Song& song) {
    const bool mod = IsMod(c);
    auto tone = [&](const char* name, Wave w, int ins, double amp, int decay, double sustain) {
        ToneShape t;
        t.wave = w;
        t.cycle = CycleOf(c, ins);
        t.rate = mod ? 8363 : 8363 * t.cycle / 32;
        t.amplitude = amp;
        t.sixteenBit = !mod;
        t.decayCycles = mod ? decay : 0;
        t.sustain = sustain;
        modwriter::Instrument i;
        i.name = name;
        i.sample = ToneSample(t);
        i.sample.volume = mod ? Loudness(c, Level(ins)) : 64;
        return i;
    };
    // The song's own kit.
    Rng kit = c.rng.Fork(0x4B17);
    auto drum = [&](const char* name, Drum d, double tone, double length, double colour) {
        DrumShape s;
        s.drum = d;
        s.sixteenBit = !mod;
        s.tone = tone;
        s.length = length;
        s.colour = colour;
        s.amplitude = 0.95;
        s.noiseSeed = static_cast<std::uint32_t>(kit.Next());
        modwriter::Instrument i;
        i.name = name;
        i.sample = DrumSample(s);
        i.sample.volume =
            mod ? Loudness(c, Level(static_cast<int>(song.instruments.size()) + 1)) : 64;
        return i;
    };
    auto draw = [&](int lo, int hi) { return kit.Range(lo, hi) / 100.0; };
    auto& ins = song.instruments;
    ins.push_back(tone("lead", c.lead, InsLead, 0.9, 90, 0.7));
    ins.push_back(tone("lead two", c.lead2, InsLead2, 0.9, 90, 0.7));
    ins.push_back(tone("arp", c.arp, InsArp, 0.9, 70, 0.45));
    ins.push_back(tone("bass", c.bass, InsBass, 0.95, 8, 0.7));
    ins.push_back(drum("kick", Drum::Kick, draw(78, 118), draw(70, 135), 1));
    ins.push_back(drum("snare", Drum::Snare, draw(80, 125), draw(70, 135), draw(35, 100)));
    ins.push_back(drum("hat", Drum::HatClosed, 1, draw(60, 160), draw(60, 100)));
    ins.push_back(drum("open hat", Drum::HatOpen, 1, draw(70, 130), draw(60, 100)));
    ins.push_back(drum("tom", Drum::Tom, draw(85, 125), draw(80, 120), 1));
    if (mod) return;
    ins.push_back(ins[InsLead - 1]);
    ins.back().name = "echo";
    ins.push_back(tone("pad", c.pad, InsPad, 0.9, 0, 1));
    ins.push_back(ins.back());
    ins.back().name = "pad left";
    ins.push_back(ins.back());
    ins.back().name = "pad right";
    ins.push_back(tone("counter", c.counter, InsCounter, 0.9, 0, 1));
    ins.push_back(tone("sparkle", Wave::Bell, InsSparkle, 0.9, 0, 1));
    ins.push_back(drum("clap", Drum::Clap, 1, 1, draw(50, 100)));
    ins.push_back(drum("crash", Drum::Crash, 1, draw(80, 110), draw(70, 100)));
    ins.push_back(drum("shaker", Drum::Shaker, 1, draw(80, 130), draw(40, 90)));
    ins.push_back(drum("rim", Drum::Rim, draw(85, 120), 1, 1));

    const auto lead = Env({{0, 64}, {6, 52}, {30, 44}}, 2);
    for (int i : {InsLead, InsLead2, InsEcho}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = lead;
        ins[static_cast<std::size_t>(i - 1)].fadeout = 1200;
    }
    ins[InsArp - 1].volumeEnvelope = Env({{0, 64}, {8, 40}, {40, 26}}, 2);
    ins[InsArp - 1].fadeout = 1600;
    ins[InsBass - 1].volumeEnvelope = Env({{0, 64}, {10, 52}, {40, 46}}, 2);
    ins[InsBass - 1].fadeout = 2000;
    for (int i : {InsPad, InsPadLeft, InsPadRight}) {
        ins[static_cast<std::size_t>(i - 1)].volumeEnvelope = Env({{0, 0}, {20, 48}, {40, 64}}, 2);
        ins[static_cast<std::size_t>(i - 1)].fadeout = 400;
    }
    ins[InsCounter - 1].volumeEnvelope = Env({{0, 24}, {8, 64}, {40, 48}}, 2);
    ins[InsCounter - 1].fadeout = 800;
    ins[InsSparkle - 1].volumeEnvelope = Env({{0, 64}, {12, 30}, {60, 8}, {90, 0}}, -1);
    ins[InsSparkle - 1].fadeout = 1000;
    // XM pans by instrument, IT by channel: arpeggio, pads, echo and
    // counter line stand apart from the centre.
    const std::pair<int, int> pans[] = {
        {InsLead, 26},    {InsLead2, 38},  {InsEcho, 58},     {InsArp, 8},
        {InsPad, 32},     {InsPadLeft, 4}, {InsPadRight, 60}, {InsCounter, 52},
        {InsSparkle, 54}, {InsHat, 46},    {InsOpenHat, 46},  {InsClap, 22},
        {InsCrash, 40},   {InsShaker, 50}, {InsRim, 16},      {InsTom, 26},
    };
    for (auto [i, pan] : pans)
        ins[static_cast<std::size_t>(i - 1)].sample.panning = c.format == Format::Xm ? pan : -1;
}


} // namespace composer::detail
