#include "skin_art.h"

#include "glyphs.h"
#include "layout.h"
#include "lettering.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace layout;

namespace {

const double Pi = 3.14159265358979323846;

// The accent light of the whole skin, and the warm light of the close button.
const std::uint32_t Cyan = 0x3fd8ff;
const std::uint32_t Ember = 0xff5a3c;

void FillVertical(cairo_t* cr, double y0, double y1, std::uint32_t top, std::uint32_t bottom) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    AddStop(p, 0, top);
    AddStop(p, 1, bottom);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// A shape sunk into the metal: dark above, a light lip below.
void Recess(cairo_t* cr, double x, double y, double w, double h, double r, std::uint32_t top,
            std::uint32_t bottom) {
    RoundedRect(cr, x + 0.5, y + 1, w - 1, h - 0.5, r);
    SetRgb(cr, 0xffffff, 0.10);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    RoundedRect(cr, x, y, w, h, r);
    FillVertical(cr, y, y + h, top, bottom);
    cairo_save(cr);
    RoundedRect(cr, x, y, w, h, r);
    cairo_clip(cr);
    RoundedRect(cr, x - 1, y - 0.5, w + 2, h + 3, r + 1);
    SetRgb(cr, 0x000000, 0.55);
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Deterministic noise, so every painting of the body matches the others.
struct Noise {
    std::uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return ((state >> 8) & 0xFFFF) / 32768.0 - 1.0;
    }
};

// Horizontal brushing: streaks of slightly lighter and darker metal.
void BrushMetal(Pixels& p) {
    Noise noise{0x7a1e5u};
    for (int y = 0; y < p.height; ++y) {
        double streak = noise.next() * 3;
        const double rowTone = noise.next() * 2.5;
        for (int x = 0; x < p.width; ++x) {
            streak = streak * 0.93 + noise.next() * 0.9;
            const double grain = noise.next() * 1.6;
            std::uint8_t* px = p.at(x, y);
            if (px[3] == 0) continue;
            const double delta = (streak + rowTone + grain) * px[3] / 255.0;
            for (int k = 0; k < 3; ++k) {
                const double v = std::clamp(px[k] + delta, 0.0, static_cast<double>(px[3]));
                px[k] = static_cast<std::uint8_t>(std::lround(v));
            }
        }
    }
}

void PaintShell(cairo_t* cr) {
    RoundedRect(cr, 3, 3, 366, 244, 22);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 3, 0, 247);
    AddStop(body, 0, 0x5a6472);
    AddStop(body, 0.12, 0x46505d);
    AddStop(body, 0.6, 0x343c47);
    AddStop(body, 1, 0x232830);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
}

void PaintEdges(cairo_t* cr) {
    RoundedRect(cr, 4.5, 4.5, 363, 241, 20.5);
    cairo_pattern_t* bevel = cairo_pattern_create_linear(0, 4, 0, 246);
    AddStop(bevel, 0, 0xffffff, 0.45);
    AddStop(bevel, 0.15, 0xffffff, 0.08);
    AddStop(bevel, 0.8, 0x000000, 0.05);
    AddStop(bevel, 1, 0x000000, 0.45);
    cairo_set_source(cr, bevel);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    cairo_pattern_destroy(bevel);
    RoundedRect(cr, 3.5, 3.5, 365, 243, 21.5);
    SetRgb(cr, 0x06080a, 0.85);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void PaintScrew(cairo_t* cr, double cx, double cy) {
    cairo_arc(cr, cx, cy + 0.6, 4.2, 0, 2 * Pi);
    SetRgb(cr, 0xffffff, 0.12);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 4, 0, 2 * Pi);
    cairo_pattern_t* head = cairo_pattern_create_radial(cx - 1.5, cy - 1.5, 0.5, cx, cy, 4);
    AddStop(head, 0, 0xc3ccd6);
    AddStop(head, 1, 0x434b55);
    cairo_set_source(cr, head);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    cairo_move_to(cr, cx - 2.6, cy + 1.4);
    cairo_line_to(cr, cx + 2.6, cy - 1.4);
    SetRgb(cr, 0x15181c, 0.9);
    cairo_set_line_width(cr, 1.1);
    cairo_stroke(cr);
}

void PaintTitle(cairo_t* cr) {
    // Engraved rules either side of the lettering.
    for (const double x0 : {30.0, 266.0}) {
        const double x1 = x0 + 76;
        for (int i = 0; i < 2; ++i) {
            cairo_move_to(cr, x0, 22.5 + i * 4);
            cairo_line_to(cr, x1, 22.5 + i * 4);
            SetRgb(cr, 0x000000, 0.45);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            cairo_move_to(cr, x0, 23.5 + i * 4);
            cairo_line_to(cr, x1, 23.5 + i * 4);
            SetRgb(cr, 0xffffff, 0.12);
            cairo_stroke(cr);
        }
    }
    DrawTitle(cr, 186, 29.5, 12.5);
}

void PaintScope(cairo_t* cr, const Box& screen, double frameX, double frameW) {
    RoundedRect(cr, frameX, screen.y - 4, frameW, screen.h + 8, 5);
    cairo_pattern_t* frame =
        cairo_pattern_create_linear(0, screen.y - 4, 0, screen.y + screen.h + 4);
    AddStop(frame, 0, 0x4a535f);
    AddStop(frame, 1, 0x1d2127);
    cairo_set_source(cr, frame);
    cairo_fill(cr);
    cairo_pattern_destroy(frame);

    cairo_rectangle(cr, screen.x, screen.y, screen.w, screen.h);
    cairo_pattern_t* glass = cairo_pattern_create_radial(
        screen.x + screen.w / 2.0, screen.y + screen.h / 2.0, 2, screen.x + screen.w / 2.0,
        screen.y + screen.h / 2.0, screen.w * 0.75);
    AddStop(glass, 0, 0x0c1c22);
    AddStop(glass, 1, 0x04090b);
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);

    // A faint measuring grid and the zero line the trace rests on.
    cairo_set_line_width(cr, 1);
    for (int gx = screen.x + 4; gx < screen.x + screen.w; gx += 8) {
        cairo_move_to(cr, gx + 0.5, screen.y);
        cairo_line_to(cr, gx + 0.5, screen.y + screen.h);
    }
    for (int gy = screen.y + 0; gy < screen.y + screen.h; gy += 8) {
        cairo_move_to(cr, screen.x, gy + 0.5);
        cairo_line_to(cr, screen.x + screen.w, gy + 0.5);
    }
    SetRgb(cr, 0x1f3a42, 0.45);
    cairo_stroke(cr);
    cairo_move_to(cr, screen.x, 89.5);
    cairo_line_to(cr, screen.x + screen.w, 89.5);
    SetRgb(cr, 0x2a5561, 0.6);
    cairo_stroke(cr);

    // Inner shadow at the top of the glass.
    cairo_rectangle(cr, screen.x, screen.y, screen.w, 3);
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, screen.y, 0, screen.y + 3);
    AddStop(shade, 0, 0x000000, 0.6);
    AddStop(shade, 1, 0x000000, 0);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void PaintDisplay(cairo_t* cr) {
    const Box& b = Bezel;
    RoundedRect(cr, b.x, b.y, b.w, b.h, 7);
    cairo_pattern_t* ring = cairo_pattern_create_linear(0, b.y, 0, b.y + b.h);
    AddStop(ring, 0, 0x9aa6b5);
    AddStop(ring, 0.08, 0x6b7684);
    AddStop(ring, 0.5, 0x3e4651);
    AddStop(ring, 1, 0x1f242b);
    cairo_set_source(cr, ring);
    cairo_fill(cr);
    cairo_pattern_destroy(ring);
    RoundedRect(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1, 6.5);
    SetRgb(cr, 0x0b0d10, 0.9);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    RoundedRect(cr, b.x + 1.5, b.y + 1.5, b.w - 3, b.h - 3, 5.5);
    SetRgb(cr, 0xffffff, 0.18);
    cairo_stroke(cr);

    // The lip the glass sits in.
    const Box& w = DisplayWindow;
    RoundedRect(cr, w.x - 2, w.y - 2, w.w + 4, w.h + 4, 4.5);
    SetRgb(cr, 0x07090b);
    cairo_fill(cr);

    // The backlit glass.
    RoundedRect(cr, w.x, w.y, w.w, w.h, 3);
    cairo_pattern_t* lcd = cairo_pattern_create_linear(0, w.y, 0, w.y + w.h);
    AddStop(lcd, 0, 0xb4ece2);
    AddStop(lcd, 0.5, 0x96d9d3);
    AddStop(lcd, 1, 0x74c0c2);
    cairo_set_source(cr, lcd);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(lcd);
    cairo_save(cr);
    cairo_clip(cr);
    const double cx = w.x + w.w / 2.0, cy = w.y + w.h / 2.0;
    cairo_rectangle(cr, w.x, w.y, w.w, w.h);
    cairo_pattern_t* bloom = cairo_pattern_create_radial(cx, cy, 4, cx, cy, 105);
    AddStop(bloom, 0, 0xf4fff8, 0.28);
    AddStop(bloom, 1, 0xf4fff8, 0);
    cairo_set_source(cr, bloom);
    cairo_fill(cr);
    cairo_pattern_destroy(bloom);
    // Shadow of the bezel falling onto the glass.
    RoundedRect(cr, w.x - 1.5, w.y - 1.5, w.w + 3, w.h + 3, 4);
    SetRgb(cr, 0x0a2a2e, 0.35);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
    // A broad, faint reflection across the upper glass.
    cairo_move_to(cr, w.x, w.y);
    cairo_line_to(cr, w.x + w.w, w.y);
    cairo_line_to(cr, w.x + w.w, w.y + 12);
    cairo_curve_to(cr, w.x + w.w * 0.6, w.y + 20, w.x + w.w * 0.3, w.y + 26, w.x, w.y + 30);
    cairo_close_path(cr);
    cairo_pattern_t* sheen = cairo_pattern_create_linear(0, w.y, 0, w.y + 30);
    AddStop(sheen, 0, 0xffffff, 0.22);
    AddStop(sheen, 1, 0xffffff, 0.04);
    cairo_set_source(cr, sheen);
    cairo_fill(cr);
    cairo_pattern_destroy(sheen);
    cairo_restore(cr);
}

// A round window button: minimise (a bar) or close (a cross).
void PaintRoundButton(cairo_t* cr, const Box& g, bool close, bool lit) {
    const double cx = g.x + g.w / 2.0, cy = g.y + g.h / 2.0;
    cairo_arc(cr, cx, cy + 0.7, 7.3, 0, 2 * Pi);
    SetRgb(cr, 0xffffff, 0.12);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 7.2, 0, 2 * Pi);
    SetRgb(cr, 0x050608);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 6.2, 0, 2 * Pi);
    const std::uint32_t light = close ? Ember : Cyan;
    cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 2, cy - 2.5, 0.5, cx, cy, 6.5);
    if (lit) {
        AddStop(cap, 0, 0xffffff);
        AddStop(cap, 0.35, close ? 0xffa088 : 0x9ff0ff);
        AddStop(cap, 1, close ? 0x8a1e10 : 0x0b6d90);
    } else {
        AddStop(cap, 0, 0x9aa5b2);
        AddStop(cap, 0.5, 0x4a5360);
        AddStop(cap, 1, 0x1d2228);
    }
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);

    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    auto symbol = [&] {
        if (close) {
            cairo_move_to(cr, cx - 2.5, cy - 2.5);
            cairo_line_to(cr, cx + 2.5, cy + 2.5);
            cairo_move_to(cr, cx + 2.5, cy - 2.5);
            cairo_line_to(cr, cx - 2.5, cy + 2.5);
        } else {
            cairo_move_to(cr, cx - 3, cy + 1.5);
            cairo_line_to(cr, cx + 3, cy + 1.5);
        }
    };
    if (lit) {
        symbol();
        SetRgb(cr, light, 0.6);
        cairo_set_line_width(cr, 3.6);
        cairo_stroke(cr);
    }
    symbol();
    SetRgb(cr, lit ? 0xffffff : 0xd5dde6);
    cairo_set_line_width(cr, 1.7);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

enum class Symbol { Play, Pause, Stop, Rewind, Forward };

void SymbolPath(cairo_t* cr, Symbol s, double cx, double cy) {
    auto triangle = [&](double tipX, double baseX, double h) {
        cairo_move_to(cr, baseX, cy - h);
        cairo_line_to(cr, tipX, cy);
        cairo_line_to(cr, baseX, cy + h);
        cairo_close_path(cr);
    };
    switch (s) {
    case Symbol::Play:
        triangle(cx + 7, cx - 5, 7);
        break;
    case Symbol::Pause:
        cairo_rectangle(cr, cx - 6, cy - 7, 4, 14);
        cairo_rectangle(cr, cx + 2, cy - 7, 4, 14);
        break;
    case Symbol::Stop:
        cairo_rectangle(cr, cx - 6, cy - 6, 12, 12);
        break;
    case Symbol::Rewind:
        triangle(cx - 8, cx, 6);
        triangle(cx, cx + 8, 6);
        break;
    case Symbol::Forward:
        triangle(cx + 8, cx, 6);
        triangle(cx, cx - 8, 6);
        break;
    }
}

void PaintTransportButton(cairo_t* cr, const Box& g, Symbol s, bool lit) {
    const double x = g.x + 2, y = g.y + 2, w = g.w - 4, h = g.h - 4;
    RoundedRect(cr, x - 1, y - 1, w + 2, h + 2, 6);
    SetRgb(cr, 0x030405);
    cairo_fill(cr);
    RoundedRect(cr, x, y, w, h, 5);
    if (lit)
        FillVertical(cr, y, y + h, 0x2f8fae, 0x0f3d50);
    else
        FillVertical(cr, y, y + h, 0x606b79, 0x262b33);

    const double cx = x + w / 2.0, cy = y + h / 2.0;
    if (lit) {
        RoundedRect(cr, x, y, w, h, 5);
        cairo_pattern_t* core = cairo_pattern_create_radial(cx, cy, 1, cx, cy, 17);
        AddStop(core, 0, 0x9ff4ff, 0.75);
        AddStop(core, 1, 0x3fd8ff, 0);
        cairo_set_source(cr, core);
        cairo_fill(cr);
        cairo_pattern_destroy(core);
    }
    // The gloss over the upper half of the cap.
    RoundedRect(cr, x + 1, y + 1, w - 2, h / 2.0, 4);
    cairo_pattern_t* gloss = cairo_pattern_create_linear(0, y, 0, y + h / 2.0);
    AddStop(gloss, 0, 0xffffff, lit ? 0.42 : 0.30);
    AddStop(gloss, 1, 0xffffff, 0.03);
    cairo_set_source(cr, gloss);
    cairo_fill(cr);
    cairo_pattern_destroy(gloss);
    RoundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 4.5);
    SetRgb(cr, lit ? 0xa8f2ff : 0xffffff, lit ? 0.7 : 0.16);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    if (lit) {
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        const double widths[] = {6, 4, 2.2};
        const double alphas[] = {0.18, 0.3, 0.55};
        for (int i = 0; i < 3; ++i) {
            SymbolPath(cr, s, cx, cy);
            SetRgb(cr, Cyan, alphas[i]);
            cairo_set_line_width(cr, widths[i]);
            cairo_stroke(cr);
        }
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    } else {
        SymbolPath(cr, s, cx, cy + 1);
        SetRgb(cr, 0x000000, 0.55);
        cairo_fill(cr);
    }
    SymbolPath(cr, s, cx, cy);
    if (lit)
        FillVertical(cr, cy - 7, cy + 7, 0xffffff, 0xc8f8ff);
    else
        FillVertical(cr, cy - 7, cy + 7, 0xf2f6fa, 0xb2bfcc);
}

void PaintSpeakerMount(cairo_t* cr, const Box& s) {
    const double cx = s.x + s.w / 2.0, cy = s.y + s.h / 2.0;
    cairo_arc(cr, cx, cy + 0.8, 26, 0, 2 * Pi);
    SetRgb(cr, 0xffffff, 0.12);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 26, 0, 2 * Pi);
    SetRgb(cr, 0x050608);
    cairo_fill(cr);
}

void PaintVolume(cairo_t* cr) {
    // The travel marks grow with the volume, left to right.
    for (int i = 0; i <= 10; ++i) {
        const double x = KnobLeft + KnobW / 2 + 13 * i + 0.5;
        const double h = 1.5 + i * 0.35;
        cairo_move_to(cr, x, 146.5 - h);
        cairo_line_to(cr, x, 146.5);
        SetRgb(cr, i == 10 ? Cyan : 0xa9b7c6, i == 10 ? 0.9 : 0.55);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    Recess(cr, KnobLeft - 3, 150, KnobRight + KnobW - KnobLeft + 5, 5, 2.5, 0x030405, 0x15191e);
}

void PaintCredits(cairo_t* cr) {
    const Box& s = CreditsStrip;
    Recess(cr, s.x, s.y, s.w, s.h, 7, 0x020304, 0x090c0f);
}

void PaintDetails(cairo_t* cr, Lit lit) {
    PaintEdges(cr);
    for (const double x : {15.5, 356.5})
        for (const double y : {15.5, 234.5})
            PaintScrew(cr, x, y);
    PaintTitle(cr);

    // The dark instrument panel holding the scopes, the display and the window buttons.
    Recess(cr, 20, 34, 332, 100, 10, 0x0b0e12, 0x151a20);
    PaintScope(cr, LeftScope, 24, 62);
    PaintScope(cr, RightScope, 285, 64);
    PaintDisplay(cr);
    PaintRoundButton(cr, MinimiseGlow, false, lit == Lit::Minimise);
    PaintRoundButton(cr, CloseGlow, true, lit == Lit::Close);
    // A power light above the left scope.
    cairo_arc(cr, 33.5, 47.5, 2.2, 0, 2 * Pi);
    SetRgb(cr, Cyan, 0.25);
    cairo_fill(cr);
    cairo_arc(cr, 33.5, 47.5, 1.4, 0, 2 * Pi);
    SetRgb(cr, 0xc8f6ff);
    cairo_fill(cr);
    for (int i = 0; i < 3; ++i) {
        cairo_rectangle(cr, 40, 45 + i * 2, 36 - i * 10, 1);
        SetRgb(cr, 0x4a5766, 0.7);
        cairo_fill(cr);
    }

    PaintVolume(cr);
    PaintSpeakerMount(cr, LeftSpeaker);
    PaintSpeakerMount(cr, RightSpeaker);
    Recess(cr, 89, 162, 190, 37, 8, 0x0d1013, 0x1a1f25);
    PaintTransportButton(cr, PlayGlow, Symbol::Play, lit == Lit::Play);
    PaintTransportButton(cr, PauseGlow, Symbol::Pause, lit == Lit::Pause);
    PaintTransportButton(cr, StopGlow, Symbol::Stop, lit == Lit::Stop);
    PaintTransportButton(cr, RewindGlow, Symbol::Rewind, lit == Lit::Rewind);
    PaintTransportButton(cr, ForwardGlow, Symbol::Forward, lit == Lit::Forward);
    PaintCredits(cr);
}

// The display's bezel is copied over the frame by colour key: a pixel whose
// red byte is full, or whose blue or green byte is empty, is passed over. So
// no pixel of the bezel may look like that, or the copy would leave a hole.
void KeepBezelCopyable(Pixels& p) {
    for (int y = Bezel.y; y < Bezel.y + Bezel.h; ++y) {
        for (int x = Bezel.x; x < Bezel.x + Bezel.w; ++x) {
            std::uint8_t* px = p.at(x, y);
            px[0] = std::max<std::uint8_t>(px[0], 1);
            px[1] = std::max<std::uint8_t>(px[1], 1);
            px[2] = std::min<std::uint8_t>(px[2], 254);
        }
    }
}

// The pixels of the display window that the glass covers whole.
Pixels WindowMask() {
    Canvas c(Width, Height);
    RoundedRect(c.cr(), DisplayWindow.x, DisplayWindow.y, DisplayWindow.w, DisplayWindow.h, 3);
    SetRgb(c.cr(), 0xffffff);
    cairo_fill(c.cr());
    return c.pixels();
}

Pixels PaintBezel(const Pixels& background) {
    Pixels bezel = Crop(background, Bezel.x, Bezel.y, Bezel.w, Bezel.h);
    const Pixels mask = WindowMask();
    for (int j = 0; j < Bezel.h; ++j) {
        for (int c = 0; c < Bezel.w; ++c) {
            if (mask.at(Bezel.x + c, Bezel.y + j)[3] != 255) continue;
            std::uint8_t* px = bezel.at(c, j);
            px[0] = 0;
            px[1] = 0;
            px[2] = 255;
            px[3] = 255;
        }
    }
    return bezel;
}

// A lit control as its glow image: the lit body under the glow's place, with
// `n` transparent pixels cut from each corner in a stair of that many.
Pixels GlowImage(Lit lit, const Box& at, int n) {
    Pixels glow = Crop(PaintBody(lit), at.x, at.y, at.w, at.h);
    const int steps = n == 3 ? 2 : 3; // 3 = 2 + 1, 6 = 3 + 2 + 1
    for (int i = 0; i < steps; ++i) {
        for (int j = 0; j < steps - i; ++j) {
            for (const int x : {i, at.w - 1 - i})
                for (const int y : {j, at.h - 1 - j})
                    std::fill_n(glow.at(x, y), 4, 0);
        }
    }
    return glow;
}

} // namespace

Pixels PaintBody(Lit lit) {
    Canvas c(Width, Height);
    PaintShell(c.cr());
    Pixels shell = c.pixels();
    BrushMetal(shell);
    c.replace(shell);
    PaintDetails(c.cr(), lit);
    Pixels body = c.pixels();
    KeepBezelCopyable(body);
    return body;
}

void DrawSpeaker(cairo_t* cr, bool lit) {
    const double cx = 25, cy = 25;
    // Lit, the speaker is light rather than a solid: strongest at the dust
    // cap and thinning out over the cone and its halo.
    if (lit) cairo_push_group(cr);
    if (lit) {
        // The halo the lit cone throws onto the metal around it.
        cairo_rectangle(cr, 0, 0, 50, 50);
        cairo_pattern_t* halo = cairo_pattern_create_radial(cx, cy, 20, cx, cy, 25);
        AddStop(halo, 0, Cyan, 0.85);
        AddStop(halo, 0.5, Cyan, 0.3);
        AddStop(halo, 1, Cyan, 0);
        cairo_set_source(cr, halo);
        cairo_fill(cr);
        cairo_pattern_destroy(halo);
    }
    // Basket ring.
    cairo_arc(cr, cx, cy, 24.5, 0, 2 * Pi);
    cairo_pattern_t* basket = cairo_pattern_create_linear(4, 4, 46, 46);
    AddStop(basket, 0, lit ? 0xd8f8ff : 0xaab4c0);
    AddStop(basket, 1, lit ? 0x2a8fb0 : 0x262b33);
    cairo_set_source(cr, basket);
    cairo_fill(cr);
    cairo_pattern_destroy(basket);
    // Rubber surround, lit from the upper left.
    cairo_arc(cr, cx, cy, 22.5, 0, 2 * Pi);
    cairo_pattern_t* surround = cairo_pattern_create_linear(8, 6, 42, 44);
    AddStop(surround, 0, lit ? 0x5fc8e0 : 0x4a525c);
    AddStop(surround, 0.5, lit ? 0x1b5a70 : 0x1a1e23);
    AddStop(surround, 1, lit ? 0x0e3341 : 0x0c0e11);
    cairo_set_source(cr, surround);
    cairo_fill(cr);
    cairo_pattern_destroy(surround);
    // The cone, deepest at its middle.
    cairo_arc(cr, cx, cy, 19, 0, 2 * Pi);
    cairo_pattern_t* cone = cairo_pattern_create_radial(cx, cy, 6, cx, cy, 19);
    if (lit) {
        AddStop(cone, 0, 0x9ff0ff);
        AddStop(cone, 0.5, 0x2eb4dc);
        AddStop(cone, 1, 0x125a74);
    } else {
        AddStop(cone, 0, 0x0a0c0f);
        AddStop(cone, 0.7, 0x20262d);
        AddStop(cone, 1, 0x333a44);
    }
    cairo_set_source(cr, cone);
    cairo_fill(cr);
    cairo_pattern_destroy(cone);
    // Pressed rings in the cone, each with a light and a dark side.
    for (const double r : {11.0, 15.0}) {
        cairo_arc(cr, cx, cy - 0.5, r, 0, 2 * Pi);
        SetRgb(cr, 0xffffff, lit ? 0.25 : 0.08);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy + 0.5, r, 0, 2 * Pi);
        SetRgb(cr, 0x000000, 0.25);
        cairo_stroke(cr);
    }
    // Light falling across the cone from the upper left.
    cairo_arc(cr, cx, cy, 19, 0, 2 * Pi);
    cairo_pattern_t* shade = cairo_pattern_create_linear(8, 8, 42, 42);
    AddStop(shade, 0, 0xffffff, lit ? 0.25 : 0.12);
    AddStop(shade, 0.5, 0xffffff, 0);
    AddStop(shade, 1, 0x000000, 0.3);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    // Dust cap.
    cairo_arc(cr, cx, cy + 0.8, 7.5, 0, 2 * Pi);
    SetRgb(cr, 0x000000, 0.5);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, 7, 0, 2 * Pi);
    cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 2.5, cy - 2.5, 0.5, cx, cy, 7.5);
    AddStop(cap, 0, lit ? 0xffffff : 0xb8c2ce);
    AddStop(cap, 0.4, lit ? 0xaef6ff : 0x59626e);
    AddStop(cap, 1, lit ? 0x2aa6d0 : 0x15191d);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    if (lit) {
        cairo_pop_group_to_source(cr);
        cairo_pattern_t* fade = cairo_pattern_create_radial(cx, cy, 7.5, cx, cy, 25);
        cairo_pattern_add_color_stop_rgba(fade, 0, 0, 0, 0, 1);
        cairo_pattern_add_color_stop_rgba(fade, 0.5, 0, 0, 0, 0.8);
        cairo_pattern_add_color_stop_rgba(fade, 0.8, 0, 0, 0, 0.6);
        cairo_pattern_add_color_stop_rgba(fade, 1, 0, 0, 0, 0);
        cairo_mask(cr, fade);
        cairo_pattern_destroy(fade);
    }
}

Pixels PaintSpeaker(bool lit) {
    Canvas c(50, 50);
    DrawSpeaker(c.cr(), lit);
    return c.pixels();
}

Pixels PaintKnob() {
    Canvas c(KnobW, KnobH);
    cairo_t* cr = c.cr();
    RoundedRect(cr, 0, 0, KnobW, KnobH, 4.5);
    SetRgb(cr, 0x0b0d10);
    cairo_fill(cr);
    RoundedRect(cr, 1, 1, KnobW - 2, KnobH - 2, 3.5);
    cairo_pattern_t* metal = cairo_pattern_create_linear(0, 1, 0, KnobH - 1);
    AddStop(metal, 0, 0xf4f7fa);
    AddStop(metal, 0.45, 0xb4bec8);
    AddStop(metal, 0.55, 0x8d98a4);
    AddStop(metal, 1, 0x5a636e);
    cairo_set_source(cr, metal);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);
    // Grip ridges either side of the lit centre mark.
    for (const double x : {13.5, 16.5, 25.5, 28.5}) {
        cairo_move_to(cr, x, 2.5);
        cairo_line_to(cr, x, KnobH - 2.5);
        SetRgb(cr, 0x2c333b, 0.6);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    cairo_rectangle(cr, 20, 2, 2, KnobH - 4);
    SetRgb(cr, Cyan);
    cairo_fill(cr);
    return c.pixels();
}

Pixels PaintArrow(bool up) {
    Canvas c(ArrowUp.w, ArrowUp.h);
    cairo_t* cr = c.cr();
    if (!up) {
        cairo_translate(cr, 0, ArrowUp.h);
        cairo_scale(cr, 1, -1);
    }
    cairo_move_to(cr, 5.5, 0.5);
    cairo_line_to(cr, 10.5, 7);
    cairo_line_to(cr, 8, 7);
    cairo_line_to(cr, 8, 14.5);
    cairo_line_to(cr, 3, 14.5);
    cairo_line_to(cr, 3, 7);
    cairo_line_to(cr, 0.5, 7);
    cairo_close_path(cr);
    SetRgb(cr, 0x0f2c33);
    cairo_fill(cr);
    return c.pixels();
}

SkinArt PaintSkin() {
    SkinArt art;
    art.background = PaintBody(Lit::None);
    art.bezel = PaintBezel(art.background);
    art.speaker = PaintSpeaker(false);
    art.speakerGlow = PaintSpeaker(true);
    art.play = GlowImage(Lit::Play, PlayGlow, 3);
    art.pause = GlowImage(Lit::Pause, PauseGlow, 3);
    art.stop = GlowImage(Lit::Stop, StopGlow, 3);
    art.rewind = GlowImage(Lit::Rewind, RewindGlow, 3);
    art.forward = GlowImage(Lit::Forward, ForwardGlow, 3);
    art.minimise = GlowImage(Lit::Minimise, MinimiseGlow, 6);
    art.close = GlowImage(Lit::Close, CloseGlow, 6);
    art.knob = PaintKnob();
    art.font = PaintFontStrip();
    art.arrowDown = PaintArrow(false);
    art.arrowUp = PaintArrow(true);
    return art;
}
