#include "distance.h"

#include <algorithm>
#include <cmath>

namespace songcheck {

const std::vector<std::string>& FeatureNames() {
    static const std::vector<std::string> names = {"centroid", "<120 Hz", "0.5-2 kHz", "2-6 kHz",
                                                   "onsets/s", "spread",  "width",     "tempo",
                                                   "reprise",  "length"};
    return names;
}

std::vector<double> FeaturesOf(const Figures& f) {
    return {std::log2(std::max(20.0, f.centroidHz)),
            f.lowShare,
            f.midShare,
            f.presenceShare,
            f.onsetsPerSecond,
            f.spreadDb,
            std::max(-40.0, f.sideToMidDb),
            std::log2(std::max(1.0, f.bpm)),
            f.repriseShare,
            std::log2(std::max(1.0, f.seconds))};
}

std::vector<std::vector<double>> Standardise(const std::vector<std::vector<double>>& rows) {
    if (rows.empty()) return rows;
    std::vector<std::vector<double>> out = rows;
    const std::size_t dims = rows[0].size(), n = rows.size();
    for (std::size_t d = 0; d < dims; ++d) {
        double mean = 0, var = 0;
        for (const auto& r : rows)
            mean += r[d] / double(n);
        for (const auto& r : rows)
            var += (r[d] - mean) * (r[d] - mean) / double(n);
        const double sd = std::sqrt(var);
        for (auto& r : out)
            r[d] = sd > 1e-12 ? (r[d] - mean) / sd : 0;
    }
    return out;
}

double Distance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t d = 0; d < a.size(); ++d)
        sum += (a[d] - b[d]) * (a[d] - b[d]);
    return a.empty() ? 0 : std::sqrt(sum / double(a.size()));
}

std::vector<Neighbour> Nearest(const std::vector<std::vector<double>>& rows,
                               const std::vector<int>& among) {
    std::vector<Neighbour> out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int j : among) {
            if (static_cast<std::size_t>(j) == i) continue;
            const double d = Distance(rows[i], rows[static_cast<std::size_t>(j)]);
            if (out[i].index < 0 || d < out[i].distance) out[i] = {j, d};
        }
    return out;
}

} // namespace songcheck
