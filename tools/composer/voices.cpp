#include "voices.h"

#include "synth.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace composer {
namespace {

constexpr double Pi = std::numbers::pi;

// Deterministic noise in -1..1.
struct Noise {
    std::uint32_t state;
    double operator()() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / double(1 << 23) - 1.0;
    }
};

// One cycle of L frames from harmonic amplitudes (sine phase), harmonic k
// at amps[k - 1].
void AddCycle(std::vector<double>& out, int L, const std::vector<double>& amps, double stretch = 1,
              double phase = 0) {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(L), 0.0);
    for (std::size_t k = 1; k <= amps.size(); ++k) {
        if (amps[k - 1] == 0) continue;
        for (int i = 0; i < L; ++i)
            out[at + static_cast<std::size_t>(i)] +=
                amps[k - 1] * std::sin(2 * Pi * double(k) * stretch * (i + phase) / L);
    }
}

double Peak(const std::vector<double>& v) {
    double peak = 1e-9;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

// The formants of five vowels (a, e, i, o, u), in Hz.
const double Formants[5][3] = {
    {800, 1150, 2900}, {400, 1600, 2700}, {300, 2300, 3000}, {450, 800, 2830}, {325, 700, 2530}};

double VowelGain(int vowel, double hz) {
    static const double weights[3] = {1, 0.55, 0.3};
    double g = 0.02;
    for (int f = 0; f < 3; ++f) {
        const double centre = Formants[vowel][f], width = 70 + 0.07 * centre;
        g += weights[f] / (1 + ((hz - centre) / width) * ((hz - centre) / width));
    }
    return g;
}

// The harmonics of a sustained timbre at attack cycle `c` of `n`.
std::vector<double> HarmonicsOf(const VoiceShape& s, int c, int n) {
    const auto& k = s.patch.knob;
    std::vector<double> a(static_cast<std::size_t>(s.top), 0.0);
    const double hz = 261.63; // the cycle's pitch at C-5, where the knobs are heard
    for (int h = 1; h <= s.top; ++h) {
        double v = 0;
        switch (s.patch.timbre) {
        case Timbre::Organ: {
            const double level[8] = {1, k[0], k[1], k[2], 0, 0.6 * k[3], 0, 0.4 * k[3]};
            v = h <= 8 ? level[h - 1] : 0;
            break;
        }
        case Timbre::Vowel: {
            const int vowel = std::min(4, static_cast<int>(k[0] * 5));
            v = std::pow(1.0 / h, 0.6 + 0.7 * (1 - k[1])) * VowelGain(vowel, h * hz * 1.5);
            break;
        }
        case Timbre::Flute: {
            const double level[4] = {1, 0.08 + 0.3 * k[1], 0.12 * k[1], 0.05 * k[1]};
            v = h <= 4 ? level[h - 1] : 0;
            break;
        }
        case Timbre::Sub: {
            const double level[3] = {1, 0.35 * k[0], 0.2 * k[1]};
            v = h <= 3 ? level[h - 1] : 0;
            break;
        }
        case Timbre::Acid: {
            const bool square = k[2] > 0.5;
            const double source = square ? (h % 2 ? 1.0 / h : 0.0) : (h % 2 ? 1.0 : -1.0) / h;
            const double end = 1.5 + 7 * k[0], cutoff = end * (1 + 4 * std::exp(-5.0 * c / n));
            const double q = 1 + 5 * k[1], x = h / cutoff;
            v = source / std::sqrt((1 - x * x) * (1 - x * x) + (x / q) * (x / q));
            break;
        }
        default:
            break;
        }
        a[static_cast<std::size_t>(h - 1)] = v;
    }
    return a;
}

// A pulse's cycle, band-limited, at a duty.
void AddPulse(std::vector<double>& out, int L, double duty, int top) {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(L), 0.0);
    for (int h = 1; h <= top; ++h) {
        const double a = 4 / (Pi * h) * std::sin(Pi * h * duty);
        for (int i = 0; i < L; ++i)
            out[at + static_cast<std::size_t>(i)] +=
                a * std::cos(2 * Pi * h * i / L - Pi * h * duty);
    }
}

// Saws in a loop of `n` cycles, running n, n + 1 or n - 1 cycles in it.
void AddSaws(std::vector<double>& out, int L, int n, int voices, double tilt, int top) {
    std::vector<double> a(static_cast<std::size_t>(top));
    for (int h = 1; h <= top; ++h)
        a[static_cast<std::size_t>(h - 1)] = (h % 2 ? 1.0 : -1.0) / std::pow(h, 1 + tilt);
    const int total = L * n;
    // Two saws stand either side of the pitch, three add one on it.
    static const int offsets[3][3] = {{0, 0, 0}, {1, -1, 0}, {0, 1, -1}};
    for (int v = 0; v < voices; ++v) {
        const double cycles = n + offsets[voices - 1][v];
        std::vector<double> one;
        AddCycle(one, total,
                 std::vector<double>(a.begin(), a.begin() + std::max(1, top * n / (n + 1))), cycles,
                 0);
        if (out.size() < one.size()) out.resize(one.size(), 0.0);
        for (std::size_t i = 0; i < one.size(); ++i)
            out[i] += one[i] * (v == 0 || voices == 2 ? 1 : 0.8);
    }
}

struct Made {
    std::vector<double> frames;
    std::size_t loopStart = 0, loopLength = 0; // 0 = a one-shot
};

Made Sustained(const VoiceShape& s) {
    Made m;
    const int L = s.cycle;
    const auto& k = s.patch.knob;
    std::vector<double> loop;
    switch (s.patch.timbre) {
    case Timbre::Chip: {
        const double duty = 0.06 + 0.44 * k[0], sweep = std::max(0.0, k[1] - 0.5) * 0.5;
        const int n = sweep > 0 ? 48 : 1;
        for (int c = 0; c < n; ++c)
            AddPulse(loop, L, std::clamp(duty + sweep * std::cos(2 * Pi * c / n), 0.05, 0.5),
                     s.top);
        break;
    }
    case Timbre::Saw: {
        const int voices = k[0] < 0.2 ? 1 : k[0] < 0.6 ? 2 : 3;
        AddSaws(loop, L, static_cast<int>(110 - 60 * k[0]), voices, 1.2 * (1 - k[1]), s.top);
        break;
    }
    case Timbre::Vowel:
        if (k[2] > 0.5) {
            // Two voices either side of the pitch, a third of a semitone
            // apart, beating slowly.
            const int n = 60;
            const auto a = HarmonicsOf(s, 0, 1);
            AddCycle(loop, L * n, std::vector<double>(a.begin(), a.end() - 1), n + 1, 0);
            std::vector<double> other;
            AddCycle(other, L * n, a, n - 1, 0);
            for (std::size_t i = 0; i < loop.size(); ++i)
                loop[i] += 0.8 * other[i];
            break;
        }
        [[fallthrough]];
    case Timbre::Organ:
    case Timbre::Sub:
        AddCycle(loop, L, HarmonicsOf(s, 0, 1));
        break;
    case Timbre::Flute: {
        const int n = 32;
        Noise noise{s.noiseSeed};
        const auto a = HarmonicsOf(s, 0, 1);
        double low = 0;
        for (int c = 0; c < n; ++c)
            AddCycle(loop, L, a);
        // Breath: soft noise, low-passed, strongest at the wave's peaks.
        for (std::size_t i = 0; i < loop.size(); ++i) {
            low += 0.3 * (noise() - low);
            loop[i] += (0.05 + 0.25 * k[0]) * low * (1 + loop[i]) / 2;
        }
        // The noise's seam at the loop's end fades through a cycle.
        for (int i = 0; i < L; ++i) {
            const double t = double(i) / L;
            auto& tail =
                loop[loop.size() - static_cast<std::size_t>(L) + static_cast<std::size_t>(i)];
            tail = tail * (1 - t) + loop[static_cast<std::size_t>(i)] * t;
        }
        break;
    }
    case Timbre::Acid: {
        // The cutoff falls over the attack, then the last cycle loops.
        const int n = 40;
        for (int c = 0; c < n; ++c)
            AddCycle(m.frames, L, HarmonicsOf(s, c, n));
        AddCycle(loop, L, HarmonicsOf(s, n, n));
        break;
    }
    default:
        break;
    }
    // The loop at the RMS ceiling at most, the attack at the same scale.
    const double peak = std::max(Peak(loop), Peak(m.frames));
    double power = 0;
    for (double& v : loop) {
        v /= peak;
        power += v * v;
    }
    const double level = std::min(1.0, WaveRmsCeiling / std::sqrt(power / double(loop.size())));
    for (double& v : loop)
        v *= level;
    for (double& v : m.frames)
        v *= level / peak;
    m.loopStart = m.frames.size();
    m.loopLength = loop.size();
    m.frames.insert(m.frames.end(), loop.begin(), loop.end());
    return m;
}

// FM: a carrier and a modulator; the index falls as the note sounds.
Made Fm(const VoiceShape& s) {
    Made m;
    const auto& k = s.patch.knob;
    const int L = s.cycle;
    const double rate = 8363.0 * L / 32;                      // frames a second at C-5
    const int kind = std::min(2, static_cast<int>(k[0] * 3)); // e-piano, bass, bell
    const double ratio = kind == 2   ? (k[3] > 0.5 ? 3.5 : 1.4)
                         : kind == 1 ? 1
                                     : (k[3] > 0.5 ? 1 : 2);
    const double index = (kind == 1 ? 2.5 : 1.2) + 2.5 * k[1];
    const double seconds = kind == 1           ? 0.5
                           : s.patch.decay > 0 ? s.patch.decay
                           : kind == 2         ? 2.2
                                               : 1.6;
    const double fall = (0.05 + 0.4 * (1 - k[2])) * seconds;
    // Harmonic kinds loop their last cycle; the bass holds there.
    const int cycles = static_cast<int>(seconds * rate / L);
    const bool loops = kind == 1;
    for (int i = 0; i < cycles * L; ++i) {
        const double t = i / rate, x = double(i) / L;
        const double env = loops ? 0.7 + 0.3 * std::exp(-t / fall) : std::exp(-6.9 * t / seconds);
        const double idx = index * (0.25 + 0.75 * std::exp(-t / fall));
        double v = std::sin(2 * Pi * x + idx * std::sin(2 * Pi * ratio * x));
        if (kind == 0) v += 0.25 * std::exp(-t / 0.03) * std::sin(2 * Pi * 14 * x); // the tine
        m.frames.push_back(v * env);
    }
    if (loops) {
        m.loopLength = static_cast<std::size_t>(L);
        m.loopStart = m.frames.size() - m.loopLength;
    }
    return m;
}

// Karplus-Strong: a burst of noise circulating in a delay of one cycle,
// softened every pass by a filter that keeps the pitch exact.
Made Pluck(const VoiceShape& s) {
    Made m;
    const auto& k = s.patch.knob;
    const int L = s.cycle;
    const double rate = 8363.0 * L / 32;
    const double seconds = s.patch.decay > 0 ? s.patch.decay : 1.2;
    const auto n = static_cast<std::size_t>(seconds * rate);
    Noise noise{s.noiseSeed};
    std::vector<double> y(n + 2, 0.0);
    double low = 0;
    const double bright = 0.15 + 0.8 * k[0], soft = 0.2 + 0.75 * k[1];
    for (int i = 0; i < L; ++i) {
        low += bright * (noise() - low);
        y[static_cast<std::size_t>(i) + 1] = low;
    }
    const double gain = std::pow(10.0, -3.0 * L / (seconds * rate));
    for (std::size_t i = static_cast<std::size_t>(L) + 1; i <= n; ++i) {
        const double past = y[i - static_cast<std::size_t>(L)];
        const double smooth =
            0.25 * y[i - static_cast<std::size_t>(L) - 1] + 0.5 * past +
            0.25 * (i - static_cast<std::size_t>(L) + 1 < i ? y[i - static_cast<std::size_t>(L) + 1]
                                                            : past);
        y[i] = gain * ((1 - soft) * past + soft * smooth);
    }
    m.frames.assign(y.begin() + 1, y.begin() + static_cast<std::ptrdiff_t>(n) + 1);
    // Take out the burst's offset.
    double mean = 0;
    for (int i = 0; i < L; ++i)
        mean += m.frames[static_cast<std::size_t>(i)] / L;
    for (std::size_t i = 0; i < m.frames.size(); ++i)
        m.frames[i] -= mean * std::pow(gain, double(i) / L);
    return m;
}

// Struck bars: inharmonic partials, the higher dying sooner, and a click.
Made Mallet(const VoiceShape& s) {
    Made m;
    const auto& k = s.patch.knob;
    const int L = s.cycle;
    const double rate = 8363.0 * L / 32, f0 = rate / L;
    static const double ratios[4][4] = {
        {1, 3.93, 9.54, 0}, {1, 4.0, 10.0, 0}, {1, 2.76, 5.40, 8.93}, {1, 2.32, 4.25, 6.63}};
    const int kind = std::min(3, static_cast<int>(k[0] * 4));
    const double seconds = s.patch.decay > 0 ? s.patch.decay : kind == 0 ? 0.7 : 1.8;
    const auto n = static_cast<std::size_t>(seconds * rate);
    Noise noise{s.noiseSeed};
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        double v = 0;
        for (int p = 0; p < 4; ++p) {
            const double r = ratios[kind][p];
            if (r == 0 || r > s.top) continue;
            const double amp = p == 0 ? 1 : (0.15 + 0.5 * k[1]) / p;
            const double tau = seconds / 6.9 / (1 + 1.5 * p);
            v += amp * std::exp(-t / tau) * std::sin(2 * Pi * f0 * r * t);
        }
        if (kind == 1)
            v *= 1 - 0.3 * (1 - std::cos(2 * Pi * 5.5 * t)) / 2; // the vibraphone's tremolo
        v += 0.3 * k[1] * noise() * std::exp(-t / 0.002);
        m.frames.push_back(v);
    }
    return m;
}

// Wind: noise in a band about each harmonic, wider as the harmonic rises,
// over a breath of hiss about a formant. Made as a spectrum of random
// phases over a loop of a whole number of cycles, so the loop joins
// without a seam.
Made Wind(const VoiceShape& s) {
    Made m;
    const auto& k = s.patch.knob;
    const int cycles = std::max(64, 16384 / s.cycle); // half a second or more at C-5
    const std::size_t n = static_cast<std::size_t>(cycles) * static_cast<std::size_t>(s.cycle);
    std::vector<std::complex<double>> bins(n);
    Noise noise{s.noiseSeed};
    const double hz = 8363.0 / 32; // a harmonic's frequency at C-5, per harmonic number
    const double width = 0.004 + 0.05 * k[0], tilt = 1.6 - 1.1 * k[1];
    const double air = 0.08 + 0.35 * k[2], formant = 600 * std::pow(2.0, 2.5 * k[3]) / hz;
    for (std::size_t b = 1; b < n / 2; ++b) {
        const double h = double(b) / cycles; // in harmonics
        if (h > s.top) break;
        const int nearest = std::max(1, static_cast<int>(std::lround(h)));
        const double sigma = width * std::sqrt(double(nearest)) * nearest + 0.5 / cycles;
        const double d = (h - nearest) / sigma;
        double a =
            std::exp(-0.5 * d * d) / std::pow(double(nearest), tilt) / std::sqrt(sigma * cycles);
        const double f = (h - formant) / (0.6 * formant);
        a += air * 0.3 / (1 + f * f) / std::sqrt(double(cycles));
        bins[b] = std::polar(a, Pi * noise());
    }
    Fft(bins, true);
    m.frames.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        m.frames[i] = bins[i].real();
    const double peak = Peak(m.frames);
    double power = 0;
    for (double& v : m.frames)
        v /= peak, power += v * v;
    const double level = std::min(1.0, WaveRmsCeiling / std::sqrt(power / double(n)));
    for (double& v : m.frames)
        v *= level;
    m.loopLength = n;
    return m;
}

// A sine at the fundamental, whole cycles from the first frame (so a loop
// of whole cycles stays seamless), at `sub` of the level of the frames
// about it (in a loop, the loop's peak); the peak and the loop's power
// come back to where they were.
void AddSub(Made& m, const VoiceShape& s) {
    const auto cycle = static_cast<std::size_t>(s.cycle), block = 2 * cycle;
    const double before = Peak(m.frames);
    const double loopPeak =
        m.loopLength
            ? Peak({m.frames.begin() + static_cast<std::ptrdiff_t>(m.loopStart), m.frames.end()})
            : 0;
    for (std::size_t at = 0; at < m.frames.size(); at += block) {
        const std::size_t end = std::min(m.frames.size(), at + block);
        double level = 0;
        for (std::size_t i = at; i < end; ++i)
            level = std::max(level, std::fabs(m.frames[i]));
        for (std::size_t i = at; i < end; ++i) {
            const double under = m.loopLength && i >= m.loopStart ? loopPeak : level;
            m.frames[i] += s.sub * under * std::sin(2 * Pi * double(i % cycle) / double(cycle));
        }
    }
    const double scale = before / Peak(m.frames);
    for (double& v : m.frames)
        v *= scale;
    if (!m.loopLength) return;
    double power = 0;
    for (std::size_t i = m.loopStart; i < m.frames.size(); ++i)
        power += m.frames[i] * m.frames[i];
    const double level = std::min(1.0, WaveRmsCeiling / std::sqrt(power / double(m.loopLength)));
    for (double& v : m.frames)
        v *= level;
}

} // namespace

void Fft(std::vector<std::complex<double>>& x, bool inverse) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    // (Products written out: the library's complex product guards against
    // infinities at several times the cost.)
    std::vector<double> cs(n / 2), sn(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double a = (inverse ? 2 : -2) * Pi * double(k) / double(n);
        cs[k] = std::cos(a), sn[k] = std::sin(a);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t step = n / len;
        for (std::size_t i = 0; i < n; i += len)
            for (std::size_t k = 0; k < len / 2; ++k) {
                const double wr = cs[k * step], wi = sn[k * step];
                const std::complex<double> a = x[i + k], c = x[i + k + len / 2];
                const std::complex<double> b(c.real() * wr - c.imag() * wi,
                                             c.real() * wi + c.imag() * wr);
                x[i + k] = a + b, x[i + k + len / 2] = a - b;
            }
    }
}

double BrightnessOf(const Patch& p) {
    const auto& k = p.knob;
    switch (p.timbre) {
    case Timbre::Chip:
        return 0.7 + 0.2 * (1 - k[0]);
    case Timbre::Saw:
        return 0.55 + 0.45 * k[1];
    case Timbre::Organ:
        return 0.25 + 0.5 * (k[0] + k[1] + k[2] + k[3]) / 4;
    case Timbre::Vowel:
        return 0.3 + 0.3 * k[1];
    case Timbre::Flute:
        return 0.1 + 0.2 * k[1];
    case Timbre::Sub:
        return 0.05 + 0.1 * (k[0] + k[1]);
    case Timbre::Acid:
        return 0.35 + 0.45 * k[0];
    case Timbre::Fm:
        return 0.25 + 0.5 * k[1];
    case Timbre::Pluck:
        return 0.25 + 0.55 * k[0];
    case Timbre::Mallet:
        return 0.3 + 0.5 * k[1];
    case Timbre::Wind:
        return 0.1 + 0.3 * k[1] + 0.2 * k[2] * k[3];
    }
    return 0.5;
}

const char* TimbreName(Timbre t) {
    static const char* const names[] = {"chip", "saw", "organ", "vowel",  "flute", "sub",
                                        "acid", "fm",  "pluck", "mallet", "wind"};
    return names[static_cast<int>(t)];
}

modwriter::Sample VoiceSample(const VoiceShape& s) {
    Made m;
    switch (s.patch.timbre) {
    case Timbre::Fm:
        m = Fm(s);
        break;
    case Timbre::Pluck:
        m = Pluck(s);
        break;
    case Timbre::Mallet:
        m = Mallet(s);
        break;
    case Timbre::Wind:
        m = Wind(s);
        break;
    default:
        m = Sustained(s);
        break;
    }
    if (s.sub > 0) AddSub(m, s);
    if (m.loopLength == 0) {
        // A one-shot: its strike held to 3.5 dB over the body of its first
        // 60 ms (a struck note's first peaks would otherwise set the whole
        // song's level), full scale at its peak, faded out over its last 10 ms.
        const auto head =
            std::min(m.frames.size(), static_cast<std::size_t>(0.06 * 8363 * s.cycle / 32));
        double power = 0;
        for (std::size_t i = 0; i < head; ++i)
            power += m.frames[i] * m.frames[i];
        const double ceiling = 1.5 * std::sqrt(power / double(std::max<std::size_t>(1, head)));
        for (double& v : m.frames)
            v = ceiling * std::tanh(v / ceiling);
        // And its decay shallower by two fifths (in decibels): a struck note
        // carries on under the next instead of vanishing between them.
        const std::size_t block = 256;
        std::vector<double> envelope;
        for (std::size_t at = 0; at < m.frames.size(); at += block) {
            double most = 1e-6;
            for (std::size_t i = at; i < std::min(m.frames.size(), at + block); ++i)
                most = std::max(most, std::fabs(m.frames[i]));
            envelope.push_back(most);
        }
        const double top = *std::max_element(envelope.begin(), envelope.end());
        for (std::size_t i = 0; i < m.frames.size(); ++i) {
            const double e = envelope[i / block];
            m.frames[i] *= std::min(6.0, std::pow(top / e, 0.4));
        }
        const double peak = Peak(m.frames);
        for (double& v : m.frames)
            v /= peak;
        const std::size_t fade = std::min(m.frames.size(), static_cast<std::size_t>(s.rate / 100));
        for (std::size_t i = 0; i < fade; ++i)
            m.frames[m.frames.size() - 1 - i] *= double(i) / double(fade);
        if (m.frames.size() % 2) m.frames.push_back(0);
    }
    modwriter::Sample out;
    out.sixteenBit = s.sixteenBit;
    out.c5Rate = s.rate;
    const double full = s.sixteenBit ? 32767 : 127;
    for (double v : m.frames)
        out.data.push_back(
            static_cast<std::int16_t>(std::lround(std::clamp(v * s.amplitude, -1.0, 1.0) * full)));
    out.loopStart = static_cast<std::uint32_t>(m.loopStart);
    out.loopLength = static_cast<std::uint32_t>(m.loopLength);
    return out;
}

} // namespace composer
