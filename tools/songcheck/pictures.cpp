#include "listening.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace songcheck {

bool WriteSelfSimilarity(const std::vector<float>& frames, int rate, int size,
                         const std::string& path) {
    const detail::BandFrames bands = detail::Bands(frames, rate);
    const std::size_t n = bands.db.size();
    if (n == 0 || size < 1) return false;
    // One column of the picture is the mean of the frames it spans.
    const auto px = static_cast<std::size_t>(size);
    std::vector<std::vector<float>> cols(px, std::vector<float>(bands.db[0].size(), 0));
    for (std::size_t c = 0; c < px; ++c) {
        const std::size_t from = c * n / px, to = std::max(from + 1, (c + 1) * n / px);
        for (std::size_t t = from; t < to && t < n; ++t)
            for (std::size_t b = 0; b < cols[c].size(); ++b)
                cols[c][b] += bands.db[t][b] / float(to - from);
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size), cairo_surface_destroy);
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (std::size_t y = 0; y < px; ++y)
        for (std::size_t x = 0; x < px; ++x) {
            float d = 0;
            for (std::size_t b = 0; b < cols[x].size(); ++b)
                d += std::fabs(cols[x][b] - cols[y][b]);
            d /= float(cols[x].size());
            // White at the same sound, black 8 dB apart on average.
            const auto v = static_cast<std::uint32_t>(255 * std::clamp(1 - d / 8, 0.f, 1.f));
            auto* pixel = reinterpret_cast<std::uint32_t*>(data + static_cast<int>(y) * stride) + x;
            *pixel = v << 16 | v << 8 | v;
        }
    cairo_surface_mark_dirty(image.get());
    return cairo_surface_write_to_png(image.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace songcheck
