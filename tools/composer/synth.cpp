#include "synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>
#include <vector>

namespace composer {
namespace {

constexpr double Pi = std::numbers::pi;

// Lanczos sigma: tames the ringing of a truncated harmonic series.
double Sigma(int k, int top) {
    const double x = Pi * k / (top + 1);
    return std::sin(x) / x;
}

// One band-limited cycle of a pulse of the given duty, at phase x in [0, 1).
double PulseAt(double x, double duty, int top) {
    double v = 0;
    for (int k = 1; k <= top; ++k)
        v += Sigma(k, top) * 4 / (Pi * k) * std::sin(Pi * k * duty) *
             std::cos(2 * Pi * k * x - Pi * k * duty);
    return v;
}

double SawAt(double x, int top) {
    double v = 0;
    for (int k = 1; k <= top; ++k)
        v += Sigma(k, top) * (k % 2 ? 2 : -2) / (Pi * k) * std::sin(2 * Pi * k * x);
    return v;
}

double TriangleAt(double x, int top) {
    double v = 0;
    for (int k = 1; k <= top; k += 2)
        v += ((k / 2) % 2 ? -1 : 1) * 8 / (Pi * Pi * k * k) * std::sin(2 * Pi * k * x);
    return v;
}

// Frames of `cycles` cycles, each cycle's shape chosen by its index.
template <typename F>
std::vector<double> Cycles(int cycle, int cycles, F value) {
    std::vector<double> out(static_cast<std::size_t>(cycle * cycles));
    for (int c = 0; c < cycles; ++c)
        for (int i = 0; i < cycle; ++i)
            out[c * cycle + i] = value(c, double(i) / cycle);
    return out;
}

void Normalise(std::vector<double>& v) {
    double peak = 1e-9;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    for (double& x : v)
        x /= peak;
}

std::int16_t Quantise(double v, bool sixteenBit) {
    const double full = sixteenBit ? 32767 : 127;
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * full));
}

} // namespace

namespace {

modwriter::Sample MakeTone(const ToneShape& s) {
    const int top = std::max(1, s.cycle / 2 - 1);
    const int L = s.cycle;
    std::vector<double> loop;
    switch (s.wave) {
    case Wave::Pulse12:
        loop = Cycles(L, 1, [&](int, double x) { return PulseAt(x, 0.125, top); });
        break;
    case Wave::Pulse25:
        loop = Cycles(L, 1, [&](int, double x) { return PulseAt(x, 0.25, top); });
        break;
    case Wave::Pulse50:
        loop = Cycles(L, 1, [&](int, double x) { return PulseAt(x, 0.5, top); });
        break;
    case Wave::Triangle:
        loop = Cycles(L, 1, [&](int, double x) { return TriangleAt(x, top); });
        break;
    case Wave::Saw:
        loop = Cycles(L, 1, [&](int, double x) { return SawAt(x, top); });
        break;
    case Wave::Organ:
        loop = Cycles(L, 1, [&](int, double x) {
            double v = 0;
            const double bars[] = {1, 0.5, 0.32, 0.2, 0, 0.12};
            for (int k = 1; k <= std::min(6, top); ++k)
                v += bars[k - 1] * std::sin(2 * Pi * k * x);
            return v;
        });
        break;
    case Wave::SoftSquare:
        loop = Cycles(L, 1, [&](int, double x) { return PulseAt(x, 0.5, std::min(top, 11)); });
        break;
    case Wave::Pwm: {
        const int n = 48;
        loop = Cycles(L, n, [&](int c, double x) {
            return PulseAt(x, 0.3 + 0.17 * std::cos(2 * Pi * c / n), top);
        });
        break;
    }
    case Wave::DetunedSaw: {
        const int n = 60; // the second saw runs 61 cycles in the same loop: 29 cents sharp
        const int hTop = std::max(1, top * 60 / 62);
        loop = Cycles(L, n, [&](int c, double x) {
            const double t = c + x;
            return SawAt(t - std::floor(t), hTop) +
                   SawAt(t * 61 / 60 - std::floor(t * 61 / 60), hTop);
        });
        break;
    }
    case Wave::Bell:
        loop = Cycles(L, 1, [&](int, double x) {
            return std::sin(2 * Pi * x + 0.9 * std::sin(2 * Pi * 2 * x));
        });
        break;
    }
    Normalise(loop);
    double power = 0;
    for (double v : loop)
        power += v * v;
    const double level =
        std::min(1.0, WaveRmsCeiling / std::sqrt(power / static_cast<double>(loop.size())));
    for (double& v : loop)
        v *= level;

    std::vector<double> frames;
    const int loopCycles = static_cast<int>(loop.size()) / L;
    if (s.decayCycles > 0 || s.wave == Wave::Bell) {
        // A baked attack: the level (and for the bell the FM index) falls over
        // decayCycles cycles, then the loop plays on at the sustain level.
        const int n = std::max(s.decayCycles, s.wave == Wave::Bell ? 24 : 0);
        const double sustain = s.decayCycles > 0 ? s.sustain : 1.0;
        for (int c = 0; c < n; ++c) {
            const double level = sustain + (1 - sustain) * std::exp(-4.0 * c / n);
            for (int i = 0; i < L; ++i) {
                double v = loop[(c % loopCycles) * L + i];
                if (s.wave == Wave::Bell) {
                    const double x = double(i) / L, index = 0.9 + 2.4 * std::exp(-5.0 * c / n);
                    v = std::sin(2 * Pi * x + index * std::sin(2 * Pi * 2 * x)) * level;
                }
                frames.push_back(v * level);
            }
        }
        for (double v : loop)
            frames.push_back(v * sustain);
    } else {
        frames = loop;
    }
    modwriter::Sample out;
    out.sixteenBit = s.sixteenBit;
    out.c5Rate = s.rate;
    for (double v : frames)
        out.data.push_back(Quantise(v * s.amplitude, s.sixteenBit));
    out.loopLength = static_cast<std::uint32_t>(loop.size());
    out.loopStart = static_cast<std::uint32_t>(frames.size() - loop.size());
    return out;
}

} // namespace

// Songs share most of their tones: each is made once a process.
modwriter::Sample ToneSample(const ToneShape& s) {
    using Key = std::tuple<int, int, int, double, bool, int, double>;
    static std::map<Key, modwriter::Sample> made;
    static std::mutex lock;
    const Key key{static_cast<int>(s.wave),
                  s.cycle,
                  s.rate,
                  s.amplitude,
                  s.sixteenBit,
                  s.decayCycles,
                  s.sustain};
    std::lock_guard<std::mutex> hold(lock);
    auto it = made.find(key);
    if (it == made.end()) it = made.emplace(key, MakeTone(s)).first;
    return it->second;
}

modwriter::Sample DrumSample(const DrumShape& s) {
    const double rate = s.rate;
    std::uint32_t noise = s.noiseSeed * 2654435761u + 1;
    auto white = [&] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<double>(noise >> 8) / double(1 << 23) - 1.0;
    };
    double seconds = 0.3;
    switch (s.drum) {
    case Drum::Kick:
        seconds = 0.32;
        break;
    case Drum::Snare:
        seconds = 0.24;
        break;
    case Drum::HatClosed:
        seconds = 0.07;
        break;
    case Drum::HatOpen:
        seconds = 0.28;
        break;
    case Drum::Clap:
        seconds = 0.25;
        break;
    case Drum::Tom:
        seconds = 0.36;
        break;
    case Drum::Crash:
        seconds = 1.6;
        break;
    case Drum::Shaker:
        seconds = 0.09;
        break;
    case Drum::Rim:
        seconds = 0.07;
        break;
    }
    seconds *= s.length;
    const int n = static_cast<int>(seconds * rate);
    std::vector<double> v(static_cast<std::size_t>(n));
    double phase = 0, phase2 = 0, last = 0, band = 0, low = 0;
    // Noise between dark (low-passed) and bright (a first difference).
    auto coloured = [&](double w) {
        band += 0.45 * (w - band);
        return s.colour * (w - 0.5 * band) + (1 - s.colour) * 1.6 * band;
    };
    // A resonant band of it about 800 Hz (dark) .. 7 kHz (bright), as
    // narrow as the snap is small: a snare's or clap's own colour.
    const double centre = std::min(0.4 * rate, 800 * std::pow(2.0, 3.2 * s.colour));
    const double w0 = 2 * Pi * centre / rate, alpha = std::sin(w0) / (2 * (3 - 2.4 * s.snap));
    const double b0 = alpha / (1 + alpha), a1 = -2 * std::cos(w0) / (1 + alpha),
                 a2 = (1 - alpha) / (1 + alpha);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    auto banded = [&](double w) {
        const double y = b0 * (w - x2) - a1 * y1 - a2 * y2;
        x2 = x1, x1 = w, y2 = y1, y1 = y;
        return s.snap * coloured(w) + (1 - s.snap) * 1.6 * y;
    };
    // Six detuned squares, as a hat's or cymbal's metal rings.
    std::array<double, 6> ring{};
    auto metal = [&]() {
        static const double ratios[6] = {1, 1.342, 1.2312, 1.6532, 1.9523, 2.1523};
        double v = 0;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            ring[k] += 540 * s.tone * ratios[k] / rate;
            ring[k] -= std::floor(ring[k]);
            v += ring[k] < 0.5 ? 1 : -1;
        }
        return v / 3;
    };
    for (int i = 0; i < n; ++i) {
        const double t = i / rate;
        double x = 0;
        switch (s.drum) {
        case Drum::Kick: {
            // A pulse whose pitch drops fast: the click, then the thump.
            const double f = s.tone * (48 + 130 * std::exp(-t / 0.028));
            phase += f / rate;
            const double body = std::tanh(2.2 * std::sin(2 * Pi * phase));
            x = body * std::exp(-t / (0.16 * s.length)) + s.click * white() * std::exp(-t / 0.0025);
            break;
        }
        case Drum::Snare: {
            const double f = s.tone * (175 + 60 * std::exp(-t / 0.01));
            phase += f / rate;
            x = 0.75 * banded(white()) * std::exp(-t / (0.075 * s.length)) +
                0.55 * s.body * std::sin(2 * Pi * phase) * std::exp(-t / 0.045);
            break;
        }
        case Drum::HatClosed:
        case Drum::HatOpen: {
            const double w = (1 - s.metal) * white() + s.metal * metal();
            const double hp = w - last; // bright: a first difference
            last = w;
            const double tau = s.drum == Drum::HatClosed ? 0.018 : 0.09;
            x = 0.6 * (s.colour * hp + (1 - s.colour) * w) * std::exp(-t / (tau * s.length));
            break;
        }
        case Drum::Clap: {
            double env = std::exp(-t / 0.07);
            for (double burst : {0.0, 0.011, 0.022})
                if (t >= burst && t < burst + 0.008) env = std::max(env, 1.0);
            x = banded(white()) * env;
            break;
        }
        case Drum::Tom: {
            const double f = s.tone * (105 + 70 * std::exp(-t / 0.05));
            phase += f / rate;
            x = std::sin(2 * Pi * phase) * std::exp(-t / (0.14 * s.length)) +
                0.15 * white() * std::exp(-t / 0.01);
            break;
        }
        case Drum::Crash: {
            const double w = (1 - 0.5 * s.metal) * white() + 0.5 * s.metal * metal();
            const double hp = w - last;
            last = w;
            // A slow attack of a few milliseconds, then a long bright wash.
            const double env = std::min(1.0, t / 0.004) * std::exp(-t / (0.3 * s.length));
            x = (s.colour * hp + (1 - s.colour) * w) * env;
            break;
        }
        case Drum::Shaker: {
            const double w = white();
            low += 0.6 * (w - low);
            const double env = std::min(1.0, t / 0.012) * std::exp(-t / (0.025 * s.length));
            x = (w - s.colour * low) * env;
            break;
        }
        case Drum::Rim: {
            phase += s.tone * 1650 / rate;
            phase2 += s.tone * 820 / rate;
            x = (0.6 * std::sin(2 * Pi * phase) + 0.5 * std::sin(2 * Pi * phase2)) *
                    std::exp(-t / (0.012 * s.length)) +
                0.3 * white() * std::exp(-t / 0.003);
            break;
        }
        }
        v[i] = x;
    }
    Normalise(v);
    // A short fade keeps the tail from clicking.
    const int fade = std::min(n, static_cast<int>(rate * 0.01));
    for (int i = 0; i < fade; ++i)
        v[n - 1 - i] *= double(i) / fade;
    modwriter::Sample out;
    out.sixteenBit = s.sixteenBit;
    out.c5Rate = 8363;
    for (double x : v)
        out.data.push_back(Quantise(x * s.amplitude, s.sixteenBit));
    if (out.data.size() % 2) out.data.push_back(0);
    return out;
}

} // namespace composer
