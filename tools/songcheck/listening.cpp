#include "listening.h"

#include <kiss_fft.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace songcheck::detail {

constexpr int BandCount = 16;
constexpr double LowestBand = 40, TopHz = 10000;

// The spectrum's work on one song: each frame's power of left and right by
// bin, handed to `visit(bin frequencies, left, right)`.
struct Spectra {
    int size = 0, hop = 0;
    double binHz = 0;
};

namespace {

Spectra SpectraOf(int rate) {
    Spectra s;
    s.size = 256;
    while (s.size * 2 <= rate / 20) // about 46 ms
        s.size *= 2;
    s.hop = s.size / 2;
    s.binHz = double(rate) / s.size;
    return s;
}

template <typename Visit>
void ForEachFrame(const std::vector<float>& frames, const Spectra& s, Visit visit) {
    const std::size_t n = frames.size() / 2, size = static_cast<std::size_t>(s.size);
    kiss_fft_cfg fft = kiss_fft_alloc(s.size, 0, nullptr, nullptr);
    std::vector<float> window(size);
    for (std::size_t i = 0; i < size; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(size)));
    std::vector<kiss_fft_cpx> in(size), bins(size);
    std::vector<double> left(size / 2 + 1), right(size / 2 + 1);
    for (std::size_t at = 0; at + size <= n; at += static_cast<std::size_t>(s.hop)) {
        for (std::size_t i = 0; i < size; ++i)
            in[i] = {frames[2 * (at + i)] * window[i], frames[2 * (at + i) + 1] * window[i]};
        kiss_fft(fft, in.data(), bins.data());
        // One transform of left + i right: L(k) = (Z(k) + Z*(n-k)) / 2,
        // R(k) = (Z(k) - Z*(n-k)) / 2i.
        for (std::size_t k = 1; k <= size / 2; ++k) {
            const auto& a = bins[k];
            const auto& b = bins[(size - k) % size];
            const double lr = (double(a.r) + b.r) / 2, li = (double(a.i) - b.i) / 2;
            const double rr = (double(a.i) + b.i) / 2, ri = (double(b.r) - a.r) / 2;
            left[k] = lr * lr + li * li;
            right[k] = rr * rr + ri * ri;
        }
        visit(left, right);
    }
    kiss_fft_free(fft);
}

} // namespace

BandFrames BandsOf(const std::vector<float>& frames, const Spectra& s, int rate, Figures* f);

namespace {

double BandEdge(int b) {
    return LowestBand * std::pow(TopHz / LowestBand, double(b) / BandCount);
}

// Onsets: the rise of the bands' loudness from frame to frame, scaled to
// its loudest, picked where it peaks above its neighbourhood's mean.
double OnsetsPerSecond(const BandFrames& bands) {
    const std::size_t n = bands.db.size();
    if (n < 3) return 0;
    std::vector<double> rise(n, 0);
    for (std::size_t t = 1; t < n; ++t)
        for (int b = 0; b < BandCount; ++b)
            rise[t] += std::max(0.f, bands.db[t][static_cast<std::size_t>(b)] -
                                         bands.db[t - 1][static_cast<std::size_t>(b)]);
    std::vector<double> sorted = rise;
    std::sort(sorted.begin(), sorted.end());
    const double top = sorted[std::min(n - 1, n * 999 / 1000)];
    if (top <= 0) return 0;
    for (double& r : rise)
        r = std::min(1.0, r / top);
    const auto span = [&](double seconds) {
        return std::max<std::size_t>(1, static_cast<std::size_t>(seconds / bands.hop + 0.5));
    };
    const std::size_t before = span(0.03), around = span(0.1), wait = span(0.03);
    int onsets = 0;
    std::size_t last = 0;
    bool any = false;
    for (std::size_t t = 1; t < n; ++t) {
        bool peak = true;
        for (std::size_t k = t > before ? t - before : 0; k < t && peak; ++k)
            peak = rise[t] >= rise[k];
        if (!peak || (t + 1 < n && rise[t + 1] > rise[t])) continue;
        double mean = 0;
        const std::size_t lo = t > around ? t - around : 0, hi = std::min(n - 1, t + around);
        for (std::size_t k = lo; k <= hi; ++k)
            mean += rise[k];
        mean /= double(hi - lo + 1);
        if (rise[t] < mean + 0.07 || (any && t - last <= wait)) continue;
        ++onsets, last = t, any = true;
    }
    return onsets / (double(n) * bands.hop);
}

} // namespace

BandFrames Bands(const std::vector<float>& frames, int rate, Figures* f) {
    return BandsOf(frames, SpectraOf(rate), rate, f);
}

BandFrames BandsOf(const std::vector<float>& frames, const Spectra& s, int rate, Figures* f) {
    BandFrames out;
    out.hop = double(s.hop) / rate;
    std::array<std::size_t, BandCount + 1> edges{};
    for (int b = 0; b <= BandCount; ++b)
        edges[static_cast<std::size_t>(b)] =
            std::max<std::size_t>(1, static_cast<std::size_t>(BandEdge(b) / s.binHz + 0.5));
    const double full = double(s.size) * s.size; // a full-scale frame's power, near enough
    double total = 0, low = 0, mid = 0, presence = 0, left = 0, right = 0, centroids = 0;
    int sounding = 0;
    // Above 11 kHz a render at 22050 Hz has nothing: the centroid stops there.
    const double centroidTop = std::min(11025.0, rate / 2.0);
    ForEachFrame(frames, s, [&](const std::vector<double>& l, const std::vector<double>& r) {
        std::vector<float> db(BandCount);
        for (int b = 0; b < BandCount; ++b) {
            const std::size_t lo = edges[static_cast<std::size_t>(b)];
            const std::size_t hi = std::max(edges[static_cast<std::size_t>(b) + 1], lo + 1);
            double p = 0;
            for (std::size_t k = lo; k < hi && k < l.size(); ++k)
                p += l[k] + r[k];
            // Floored at -100 dB of a full-scale frame, so silences compare equal.
            db[static_cast<std::size_t>(b)] = static_cast<float>(10 * std::log10(p / full + 1e-10));
        }
        out.db.push_back(std::move(db));
        if (!f) return;
        double frame = 0, weighted = 0;
        for (std::size_t k = 1; k < l.size(); ++k) {
            const double hz = double(k) * s.binHz, p = l[k] + r[k];
            total += p;
            if (hz < 120) low += p;
            if (hz >= 500 && hz < 2000) mid += p;
            if (hz >= 2000 && hz < 6000) presence += p;
            if (hz >= 150 && hz < 6000) left += l[k], right += r[k];
            if (hz < centroidTop) frame += p, weighted += p * hz;
        }
        // Frames above about -60 dBFS count for the centroid.
        if (frame > 1e-6 * full * 0.375) {
            centroids += weighted / frame;
            ++sounding;
        }
    });
    if (f) {
        f->lowShare = total > 0 ? low / total : 0;
        f->midShare = total > 0 ? mid / total : 0;
        f->presenceShare = total > 0 ? presence / total : 0;
        f->balanceDb = left > 0 && right > 0 ? 10 * std::log10(left / right) : 0;
        f->centroidHz = sounding ? centroids / sounding : 0;
    }
    return out;
}

void MeasureSpectra(const std::vector<float>& frames, int rate, Figures* f) {
    const BandFrames bands = Bands(frames, rate, f);
    f->onsetsPerSecond = OnsetsPerSecond(bands);
}

} // namespace songcheck::detail
