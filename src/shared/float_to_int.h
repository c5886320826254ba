#pragma once

#include <cmath>
#include <cstdint>

// Every float-to-integer conversion of the program: subtract one half, then
// round to nearest with ties to even. Not a whole number: its floor. A whole
// number n: n when even, n - 1 when odd (2500.0 stays 2500, 2501.0 gives 2500).
inline std::int32_t FloatToInt(double value) {
    return static_cast<std::int32_t>(std::nearbyint(value - 0.5));
}
