#include "lettering.h"

#include "canvas.h"

#include <cmath>
#include <string_view>

namespace {

const double Pi = 3.14159265358979323846;

// Adds one letter's centre line at pen x with the baseline at y = 0 in units
// of the x-height (ascenders reach 1.5); returns the advance.
double LetterPath(cairo_t* cr, char c, double x) {
    switch (c) {
    case 'z':
        cairo_move_to(cr, x, -1);
        cairo_line_to(cr, x + 0.78, -1);
        cairo_line_to(cr, x, 0);
        cairo_line_to(cr, x + 0.8, 0);
        return 0.8;
    case '!':
        cairo_move_to(cr, x, -1.5);
        cairo_line_to(cr, x, -0.45);
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x, 0); // a dot: the round cap makes it a disc
        return 0;
    case 'l':
        cairo_move_to(cr, x, -1.5);
        cairo_line_to(cr, x, -0.25);
        cairo_arc_negative(cr, x + 0.25, -0.25, 0.25, Pi, Pi / 2);
        return 0.25;
    case 't':
        cairo_move_to(cr, x + 0.15, -1.4);
        cairo_line_to(cr, x + 0.15, -0.25);
        cairo_arc_negative(cr, x + 0.4, -0.25, 0.25, Pi, Pi / 2);
        cairo_move_to(cr, x - 0.1, -1);
        cairo_line_to(cr, x + 0.55, -1);
        return 0.55;
    case 'o':
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + 0.5, -0.5, 0.5, 0, 2 * Pi);
        return 1.0;
    case 'n':
        cairo_move_to(cr, x, 0);
        cairo_line_to(cr, x, -1);
        cairo_move_to(cr, x, -0.55);
        cairo_arc(cr, x + 0.42, -0.55, 0.42, Pi, 2 * Pi);
        cairo_line_to(cr, x + 0.84, 0);
        return 0.84;
    case 'e':
        cairo_move_to(cr, x, -0.5);
        cairo_line_to(cr, x + 1, -0.5);
        cairo_arc_negative(cr, x + 0.5, -0.5, 0.5, 0, Pi / 4);
        return 1.0;
    case 'b':
        cairo_move_to(cr, x, -1.5);
        cairo_line_to(cr, x, 0);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + 0.5, -0.5, 0.5, 0, 2 * Pi);
        return 1.0;
    case 'x':
        cairo_move_to(cr, x, -1);
        cairo_line_to(cr, x + 0.85, 0);
        cairo_move_to(cr, x + 0.85, -1);
        cairo_line_to(cr, x, 0);
        return 0.85;
    default:
        return 0.3; // the word gap
    }
}

double PathText(cairo_t* cr, std::string_view text, double x, double gap) {
    for (char c : text)
        x += LetterPath(cr, c, x) + gap;
    return x - gap;
}

} // namespace

void DrawTitle(cairo_t* cr, double centreX, double baseline, double size) {
    const std::string_view brand = "z!l", name = "tonebox";
    const double gap = 0.36, brandGap = 0.5, space = 0.8;
    const double lineWidth = 0.24;

    // Measure in a scratch context so the real path starts clean.
    Canvas scratch(1, 1);
    cairo_t* m = scratch.cr();
    const double brandEnd = PathText(m, brand, 0, brandGap);
    const double total = PathText(m, name, brandEnd + space, gap);

    cairo_save(cr);
    cairo_translate(cr, centreX - total * size / 2, baseline);
    cairo_scale(cr, size, size);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

    auto pathBrand = [&] { PathText(cr, brand, 0, brandGap); };
    auto pathName = [&] { PathText(cr, name, brandEnd + space, gap); };

    // Engraved shadow, then a soft glow, then the metal strokes.
    for (int pass = 0; pass < 2; ++pass) {
        cairo_new_path(cr);
        pass == 0 ? pathBrand() : pathName();
        cairo_save(cr);
        cairo_translate(cr, 0, 0.09);
        cairo_set_line_width(cr, lineWidth + 0.1);
        SetRgb(cr, 0x05080c, 0.75);
        cairo_stroke(cr);
        cairo_restore(cr);

        const std::uint32_t glow = pass == 0 ? 0x35d6ff : 0x7fb8e0;
        const double widths[] = {0.95, 0.7, 0.5, 0.36};
        const double alphas[] = {0.05, 0.08, 0.12, 0.2};
        for (int i = 0; i < 4; ++i) {
            cairo_new_path(cr);
            pass == 0 ? pathBrand() : pathName();
            cairo_set_line_width(cr, widths[i]);
            SetRgb(cr, glow, alphas[i]);
            cairo_stroke(cr);
        }

        cairo_new_path(cr);
        pass == 0 ? pathBrand() : pathName();
        cairo_pattern_t* metal = cairo_pattern_create_linear(0, -1.6, 0, 0.2);
        if (pass == 0) {
            AddStop(metal, 0, 0xe8fbff);
            AddStop(metal, 0.45, 0x7fe6ff);
            AddStop(metal, 1, 0x1a9ed0);
        } else {
            AddStop(metal, 0, 0xffffff);
            AddStop(metal, 0.5, 0xd4dde6);
            AddStop(metal, 0.55, 0xa9b6c4);
            AddStop(metal, 1, 0x7d8b9c);
        }
        cairo_set_source(cr, metal);
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
        cairo_pattern_destroy(metal);
    }
    cairo_restore(cr);
}
