#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A premultiplied B, G, R, A picture, first row on top: the layout of the
// skin's image container and of cairo's ARGB32 surfaces on little-endian.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes; // width * height * 4

    Pixels() = default;
    Pixels(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4, 0) {}
    std::uint8_t* at(int x, int y) { return &bytes[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const std::uint8_t* at(int x, int y) const {
        return &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
    }
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// An ARGB32 cairo surface with its drawing context, cleared to transparent.
class Canvas {
  public:
    Canvas(int width, int height);
    explicit Canvas(const Pixels& pixels);

    cairo_t* cr() const { return cr_.get(); }
    cairo_surface_t* surface() const { return surface_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    Pixels pixels() const;              // copies the finished drawing out
    void replace(const Pixels& pixels); // copies pixels in, for further drawing
    bool writePng(const std::string& path) const;

  private:
    int width_;
    int height_;
    SurfacePtr surface_;
    ContextPtr cr_;
};

// The skin's container: the 18-byte header, then the pixels, first row on top.
std::vector<std::uint8_t> EncodeContainer(const Pixels& pixels);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Rectangle with rounded corners as the current path.
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void SetRgb(cairo_t* cr, std::uint32_t rgb, double alpha = 1.0);
void AddStop(cairo_pattern_t* p, double offset, std::uint32_t rgb, double alpha = 1.0);

// Source-over of premultiplied `top` onto `base` at (x, y) with a constant alpha.
void BlendOnto(Pixels& base, const Pixels& top, int x, int y, int alpha = 255);
Pixels Crop(const Pixels& from, int x, int y, int w, int h);
