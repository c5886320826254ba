#include "preview.h"

#include "layout.h"
#include "lettering.h"

#include <cmath>
#include <cstring>

using namespace layout;

namespace {

const double Pi = 3.14159265358979323846;

// Text from the glyph strip at pen column x with the glyph's top line on
// screen row top: the program's placement, clip and greyed ends.
void DrawText(Pixels& frame, const Pixels& font, int x, int top, const char* text, int colour) {
    const int limit = colour ? 342 : 372;
    for (int i = 0; text[i]; ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        int band = 0, cell = 0;
        if (ch >= 'A' && ch <= 'G')
            cell = ch - 0x20;
        else if (ch >= '0' && ch <= '9')
            cell = ch - 0x20;
        else if (ch >= 'H' && ch <= 'Z')
            band = 1, cell = ch - 0x48;
        else if (ch == '!')
            cell = 1;
        else if (ch == '^')
            cell = 6;
        else if (ch == '\'')
            cell = 7;
        else if (ch == '(')
            cell = 8;
        else if (ch == ')')
            cell = 9;
        else if (ch == '&' || ch == '+')
            cell = 11;
        else if (ch == ',')
            cell = 12;
        else if (ch == '-')
            cell = 13;
        else if (ch == '.')
            cell = 14;
        else if (ch == ':')
            cell = 26;
        else if (ch == ';')
            cell = 27;
        else if (ch == '?')
            cell = 31;
        const int pen = x + 8 * i;
        const int first = band == 0 ? 1 : 0;
        for (int j = 0; j < 8; ++j) {
            for (int g = 0; g < 8 - first; ++g) {
                if (font.at(cell * 8 + first + g, band * 8 + j)[1] == 0) continue;
                const int c = pen + g, y = top + j;
                if (c <= 30 || c >= limit || y < 0 || y >= Height) continue;
                int v = colour;
                if (colour && c <= 44) v = (5 * (pen - g + 6)) & 0xFF;
                if (colour && c >= 328) v = (5 * (6 - c)) & 0xFF;
                std::uint8_t* p = frame.at(c, y);
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>(v);
            }
        }
    }
}

void Brighten(std::uint8_t* p) {
    for (int k = 0; k < 3; ++k)
        p[k] = static_cast<std::uint8_t>(std::floor((255 - p[k]) * 0.7 + p[k]));
}

// Bars of lit cells on every other row, as the analyser draws them.
void FakeSpectrum(Pixels& frame) {
    for (int c = 1; c < 188; ++c) {
        const double t = c / 187.0;
        const double level =
            30 * std::exp(-3 * t) + 10 * std::sin(c * 0.37) * std::sin(c * 0.11) + 8;
        const int h = static_cast<int>(std::min(68.0, std::max(0.0, level)));
        for (int k = 0; k < h; ++k)
            Brighten(frame.at(93 + c, 120 - std::min(2 * k, 70)));
    }
}

void FakeScopes(Pixels& frame) {
    for (int i = 0; i < 114; ++i) {
        const double t = i / 114.0;
        const int l = static_cast<int>(14 * std::sin(t * 9.0) * std::cos(t * 2.3));
        const int r = static_cast<int>(11 * std::sin(t * 7.0 + 1) + 4 * std::sin(t * 31));
        for (const auto& [x, v] : {std::pair{28 + i / 2, l}, std::pair{289 + i / 2, r}}) {
            std::uint8_t* p = frame.at(x, 89 - v);
            p[0] = 0x88, p[1] = 0x7C, p[2] = 0x6D;
        }
    }
}

void CopyBezel(Pixels& frame, const Pixels& bezel) {
    for (int j = 0; j < bezel.height; ++j) {
        for (int c = 0; c < bezel.width; ++c) {
            const std::uint8_t* s = bezel.at(c, j);
            if (s[2] == 255 || s[0] == 0 || s[1] == 0) continue;
            std::memcpy(frame.at(Bezel.x + c, Bezel.y + j), s, 3);
        }
    }
}

void AddToRow(Pixels& frame, int row, int amount) {
    for (int y = 48 + 10 * row; y < 58 + 10 * row; ++y)
        for (int x = 92; x <= 281; ++x)
            for (int k = 0; k < 3; ++k) {
                std::uint8_t* p = frame.at(x, y);
                p[k] = static_cast<std::uint8_t>(std::min(255, p[k] + amount));
            }
}

} // namespace

Pixels ComposePreview(const SkinArt& art, bool lit) {
    Pixels frame = art.background;
    BlendOnto(frame, art.speaker, LeftSpeaker.x, LeftSpeaker.y);
    BlendOnto(frame, art.speaker, RightSpeaker.x, RightSpeaker.y);
    const int full = lit ? 250 : 0; // glow level 10, or all glows out
    BlendOnto(frame, art.play, PlayGlow.x, PlayGlow.y, full);
    BlendOnto(frame, art.stop, StopGlow.x, StopGlow.y, full);
    BlendOnto(frame, art.pause, PauseGlow.x, PauseGlow.y, full);
    BlendOnto(frame, art.rewind, RewindGlow.x, RewindGlow.y, full);
    BlendOnto(frame, art.forward, ForwardGlow.x, ForwardGlow.y, full);
    BlendOnto(frame, art.close, CloseGlow.x, CloseGlow.y, full);
    BlendOnto(frame, art.minimise, MinimiseGlow.x, MinimiseGlow.y, full);
    BlendOnto(frame, art.knob, 190, KnobY);
    AddToRow(frame, 1, 255);
    if (lit) AddToRow(frame, 4, 30);
    BlendOnto(frame, art.speakerGlow, LeftSpeaker.x, LeftSpeaker.y, full);
    BlendOnto(frame, art.speakerGlow, RightSpeaker.x, RightSpeaker.y, full);

    if (lit) {
        FakeSpectrum(frame);
        FakeScopes(frame);
    }
    CopyBezel(frame, art.bezel);
    DrawText(frame, art.font, 27, 222,
             "   WELCOME, CHIP-MUSIC LISTENERS! THIS IS Z!L TONEBOX: 40 TUNES (0123456789)", 255);
    const char* titles[] = {"ORBITAL DAWN",   "NEON HARBOUR",  "PIXEL RAIN (REMIX)",
                            "TAPE LOOP 94",   "GLASS CIRCUIT", "HOLLOW MOON - II",
                            "QUICK FOX JUMPS"};
    for (int r = 0; r < 7; ++r)
        DrawText(frame, art.font, 100, 50 + 10 * r, titles[r], 0);
    BlendOnto(frame, art.arrowDown, ArrowDown.x, ArrowDown.y, 255);
    BlendOnto(frame, art.arrowUp, ArrowUp.x, ArrowUp.y, 64);

    // A desktop-like ground under the translucent edge.
    Canvas ground(Width, Height);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, Width, Height);
    AddStop(p, 0, 0x7a8ca0);
    AddStop(p, 1, 0xc9b59a);
    cairo_set_source(ground.cr(), p);
    cairo_paint(ground.cr());
    cairo_pattern_destroy(p);
    Pixels out = ground.pixels();
    BlendOnto(out, frame, 0, 0);
    return out;
}

Pixels PaintIcon() {
    Canvas c(256, 256);
    cairo_t* cr = c.cr();
    RoundedRect(cr, 12, 12, 232, 232, 44);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, 12, 0, 244);
    AddStop(body, 0, 0x66717f);
    AddStop(body, 0.5, 0x3a424d);
    AddStop(body, 1, 0x22272e);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    RoundedRect(cr, 14, 14, 228, 228, 42);
    cairo_pattern_t* rim = cairo_pattern_create_linear(0, 14, 0, 242);
    AddStop(rim, 0, 0xffffff, 0.5);
    AddStop(rim, 0.3, 0xffffff, 0.05);
    AddStop(rim, 1, 0x000000, 0.5);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);

    // The display strip with an analyser in it.
    RoundedRect(cr, 36, 34, 184, 54, 10);
    SetRgb(cr, 0x07090b);
    cairo_fill(cr);
    RoundedRect(cr, 40, 38, 176, 46, 7);
    cairo_pattern_t* lcd = cairo_pattern_create_linear(0, 38, 0, 84);
    AddStop(lcd, 0, 0xb4ece2);
    AddStop(lcd, 1, 0x74c0c2);
    cairo_set_source(cr, lcd);
    cairo_fill(cr);
    cairo_pattern_destroy(lcd);
    for (int i = 0; i < 14; ++i) {
        const double h = 8 + 26 * std::fabs(std::sin(i * 0.9 + 0.4)) * (1 - i / 20.0);
        cairo_rectangle(cr, 48 + i * 12, 78 - h, 8, h);
    }
    SetRgb(cr, 0xf4fffb, 0.85);
    cairo_fill(cr);

    // The lit speaker below it.
    cairo_save(cr);
    cairo_translate(cr, 128 - 60, 100);
    cairo_scale(cr, 120 / 50.0, 120 / 50.0);
    DrawSpeaker(cr, false);
    DrawSpeaker(cr, true);
    cairo_restore(cr);
    return c.pixels();
}
