#pragma once

#include "skin/skin_images.h"

#include <cstdint>

// Read access to one embedded image by pixel, top row first.
struct SkinView {
    const unsigned char* image;

    int width() const { return SkinImageWidth(image); }
    int height() const { return SkinImageHeight(image); }
    const unsigned char* at(int x, int y) const {
        return SkinImagePixels(image) + (static_cast<long>(y) * width() + x) * 4;
    }
    int alpha(int x, int y) const { return at(x, y)[3]; }
    int red(int x, int y) const { return at(x, y)[2]; }
    // Rec. 601 luma of the premultiplied colour: the pixel's brightness over black.
    int luma(int x, int y) const {
        const unsigned char* p = at(x, y);
        return (114 * p[0] + 587 * p[1] + 299 * p[2]) / 1000;
    }
};
