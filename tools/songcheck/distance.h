#pragma once

// How far apart two songs sound: a vector of their measured figures
// (brightness, where the energy sits, how busy, how dynamic, how wide, how
// fast, how much comes back, how long), each standardised over the songs
// compared, and the root mean square of the differences. Two songs as far
// apart as two songs drawn at random lie about 1.4 apart.

#include "songcheck.h"

#include <string>
#include <vector>

namespace songcheck {

const std::vector<std::string>& FeatureNames();
std::vector<double> FeaturesOf(const Figures& f);

// Each column's z-score over all the rows (a column that does not vary
// stays 0).
std::vector<std::vector<double>> Standardise(const std::vector<std::vector<double>>& rows);

double Distance(const std::vector<double>& a, const std::vector<double>& b);

// Each row's nearest other row among `among` (indices into rows), and its
// distance; -1 when there is none.
struct Neighbour {
    int index = -1;
    double distance = 0;
};
std::vector<Neighbour> Nearest(const std::vector<std::vector<double>>& rows,
                               const std::vector<int>& among);

} // namespace songcheck
