#include "canvas.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

Canvas::Canvas(int width, int height)
    : width_(width), height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      cr_(cairo_create(surface_.get())) {}

Canvas::Canvas(const Pixels& pixels) : Canvas(pixels.width, pixels.height) {
    replace(pixels);
}

Pixels Canvas::pixels() const {
    cairo_surface_flush(surface_.get());
    Pixels out(width_, height_);
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height_; ++y)
        std::memcpy(out.at(0, y), data + static_cast<std::size_t>(y) * stride,
                    static_cast<std::size_t>(width_) * 4);
    return out;
}

void Canvas::replace(const Pixels& pixels) {
    cairo_surface_flush(surface_.get());
    unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height_; ++y)
        std::memcpy(data + static_cast<std::size_t>(y) * stride, pixels.at(0, y),
                    static_cast<std::size_t>(width_) * 4);
    cairo_surface_mark_dirty(surface_.get());
}

bool Canvas::writePng(const std::string& path) const {
    cairo_surface_flush(surface_.get());
    return cairo_surface_write_to_png(surface_.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::vector<std::uint8_t> EncodeContainer(const Pixels& pixels) {
    // Sized once, header zeroed, then filled: no growth of a reserved vector,
    // which GCC 12 at -O3 mistakes for a write past its end.
    std::vector<std::uint8_t> out(18 + pixels.bytes.size(), 0);
    out[2] = 2; // uncompressed true colour
    out[12] = static_cast<std::uint8_t>(pixels.width & 0xFF);
    out[13] = static_cast<std::uint8_t>(pixels.width >> 8);
    out[14] = static_cast<std::uint8_t>(pixels.height & 0xFF);
    out[15] = static_cast<std::uint8_t>(pixels.height >> 8);
    out[16] = 32;
    std::copy(pixels.bytes.begin(), pixels.bytes.end(), out.begin() + 18);
    return out;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    const double pi = 3.14159265358979323846;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, pi / 2, pi);
    cairo_arc(cr, x + r, y + r, r, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

static double Channel(std::uint32_t rgb, int shift) {
    return ((rgb >> shift) & 0xFF) / 255.0;
}

void SetRgb(cairo_t* cr, std::uint32_t rgb, double alpha) {
    cairo_set_source_rgba(cr, Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0), alpha);
}

void AddStop(cairo_pattern_t* p, double offset, std::uint32_t rgb, double alpha) {
    cairo_pattern_add_color_stop_rgba(p, offset, Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0),
                                      alpha);
}

void BlendOnto(Pixels& base, const Pixels& top, int x, int y, int alpha) {
    for (int j = 0; j < top.height; ++j) {
        for (int i = 0; i < top.width; ++i) {
            const int bx = x + i, by = y + j;
            if (bx < 0 || by < 0 || bx >= base.width || by >= base.height) continue;
            const std::uint8_t* s = top.at(i, j);
            std::uint8_t* d = base.at(bx, by);
            int scaled[4];
            for (int k = 0; k < 4; ++k)
                scaled[k] = s[k] * alpha / 255;
            for (int k = 0; k < 4; ++k) {
                const int v = scaled[k] + d[k] * (255 - scaled[3]) / 255;
                d[k] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
}

Pixels Crop(const Pixels& from, int x, int y, int w, int h) {
    Pixels out(w, h);
    for (int j = 0; j < h; ++j)
        std::memcpy(out.at(0, j), from.at(x, y + j), static_cast<std::size_t>(w) * 4);
    return out;
}
