#include "skin_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Expected {
    const char* name;
    const unsigned char* image;
    std::size_t size;
    int width, height;
};

const std::vector<Expected>& AllImages() {
    static const std::vector<Expected> images = {
        {"BackgroundImage", BackgroundImage, sizeof BackgroundImage, 372, 250},
        {"BezelImage", BezelImage, sizeof BezelImage, 198, 87},
        {"SpeakerImage", SpeakerImage, sizeof SpeakerImage, 50, 50},
        {"SpeakerGlowImage", SpeakerGlowImage, sizeof SpeakerGlowImage, 50, 50},
        {"PlayGlowImage", PlayGlowImage, sizeof PlayGlowImage, 34, 32},
        {"StopGlowImage", StopGlowImage, sizeof StopGlowImage, 34, 32},
        {"PauseGlowImage", PauseGlowImage, sizeof PauseGlowImage, 34, 32},
        {"RewindGlowImage", RewindGlowImage, sizeof RewindGlowImage, 34, 32},
        {"ForwardGlowImage", ForwardGlowImage, sizeof ForwardGlowImage, 34, 32},
        {"MinimiseGlowImage", MinimiseGlowImage, sizeof MinimiseGlowImage, 17, 17},
        {"CloseGlowImage", CloseGlowImage, sizeof CloseGlowImage, 17, 17},
        {"KnobImage", KnobImage, sizeof KnobImage, 42, 9},
        {"FontImage", FontImage, sizeof FontImage, 320, 16},
        {"ArrowDownImage", ArrowDownImage, sizeof ArrowDownImage, 11, 15},
        {"ArrowUpImage", ArrowUpImage, sizeof ArrowUpImage, 11, 15},
    };
    return images;
}

const SkinView Background{BackgroundImage};

bool SamePixel(const unsigned char* a, const unsigned char* b) {
    return std::memcmp(a, b, 4) == 0;
}

struct Box {
    int x0, y0, x1, y1; // inclusive
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

TEST(SkinContainers, EveryHeaderHoldsTheFixedFieldsAndTheImageSize) {
    for (const Expected& e : AllImages()) {
        SCOPED_TRACE(e.name);
        const unsigned char want[18] = {0,
                                        0,
                                        2,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        static_cast<unsigned char>(e.width & 0xFF),
                                        static_cast<unsigned char>(e.width >> 8),
                                        static_cast<unsigned char>(e.height & 0xFF),
                                        static_cast<unsigned char>(e.height >> 8),
                                        32,
                                        0};
        EXPECT_EQ(0, std::memcmp(e.image, want, 18));
        EXPECT_EQ(SkinImageWidth(e.image), e.width);
        EXPECT_EQ(SkinImageHeight(e.image), e.height);
        EXPECT_EQ(e.size, static_cast<std::size_t>(18 + e.width * e.height * 4));
        EXPECT_EQ(SkinImagePixels(e.image), e.image + 18);
    }
}

TEST(SkinContainers, NoColourByteExceedsItsAlpha) {
    for (const Expected& e : AllImages()) {
        SCOPED_TRACE(e.name);
        int faults = 0;
        const unsigned char* p = SkinImagePixels(e.image);
        for (int i = 0; i < e.width * e.height; ++i, p += 4)
            faults += (p[0] > p[3]) + (p[1] > p[3]) + (p[2] > p[3]);
        EXPECT_EQ(faults, 0);
    }
}

TEST(Background, StandsUprightWithTitleAtTheTopAndCreditsStripBelow) {
    // Bright lettering in the top band, none in the bottom band.
    int titleTop = 0, titleBottom = 0;
    for (int x = 100; x < 272; ++x) {
        for (int y = 8; y < 36; ++y)
            titleTop += Background.luma(x, y) > 190;
        for (int y = 214; y < 242; ++y)
            titleBottom += Background.luma(x, y) > 190;
    }
    EXPECT_GT(titleTop, 150);
    EXPECT_EQ(titleBottom, 0);
}

TEST(Background, TransparentSurroundAndSoftEdgeAroundAnOpaqueBody) {
    for (const auto& [x, y] : {std::pair{0, 0}, {371, 0}, {0, 249}, {371, 249}, {5, 5}, {366, 244}})
        EXPECT_EQ(Background.alpha(x, y), 0) << x << "," << y;
    int partial = 0;
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 372; ++x)
            partial += Background.alpha(x, y) > 0 && Background.alpha(x, y) < 255;
    EXPECT_GT(partial, 100); // anti-aliased corners, not a hard cut-out
    EXPECT_LT(partial, 3000);
    EXPECT_EQ(Background.alpha(186, 125), 255);
}

TEST(Background, OpaqueWhereverThePixelWorkWrites) {
    const Box areas[] = {{86, 41, 283, 127}, {28, 65, 84, 115}, {289, 65, 345, 115}};
    for (const Box& b : areas)
        for (int y = b.y0; y <= b.y1; ++y)
            for (int x = b.x0; x <= b.x1; ++x)
                ASSERT_EQ(Background.alpha(x, y), 255) << x << "," << y;
}

TEST(Background, ScopePanelsAreDarkAndTheDisplayWindowLight) {
    for (const Box& b : {Box{28, 65, 84, 115}, Box{289, 65, 345, 115}}) {
        long sum = 0;
        for (int y = b.y0; y <= b.y1; ++y)
            for (int x = b.x0; x <= b.x1; ++x) {
                ASSERT_LT(Background.luma(x, y), 80) << x << "," << y;
                sum += Background.luma(x, y);
            }
        EXPECT_LT(sum / ((b.x1 - b.x0 + 1) * (b.y1 - b.y0 + 1)), 40);
    }
    // Black titles and white bars must both read on the glass.
    for (int y = 50; y <= 118; ++y)
        for (int x = 96; x <= 275; ++x) {
            ASSERT_GT(Background.luma(x, y), 120) << x << "," << y;
            ASSERT_LT(Background.luma(x, y), 245) << x << "," << y;
        }
}

TEST(Background, CreditsStripIsADarkBandUnderTheWholeLine) {
    for (int y = 208; y <= 230; ++y)
        for (int x = 31; x <= 341; ++x) {
            ASSERT_EQ(Background.alpha(x, y), 255) << x << "," << y;
            ASSERT_LT(Background.luma(x, y), 30) << x << "," << y;
        }
}

TEST(Background, KnobGrooveRunsTheWholeTravelBelowTheKnobRow) {
    // The 42-pixel knob travels with its left edge from 98 to 228 at y 148..156.
    for (int x = 98; x <= 269; ++x) {
        ASSERT_LT(Background.luma(x, 152), 30) << x;
        ASSERT_GT(Background.luma(x, 159) - Background.luma(x, 152), 20) << x;
    }
    EXPECT_GT(Background.luma(94, 152) - Background.luma(98, 152), 10);
}

// The seven glows: their places on the window and their hit zones, in window
// coordinates. A glow image is the lit control on exactly the body beneath it.
struct GlowCase {
    const char* name;
    const unsigned char* image;
    Box place;
    Box zone;
    int cornerPixels;
};

const GlowCase Glows[] = {
    {"play", PlayGlowImage, {93, 165, 126, 196}, {90, 161, 124, 193}, 3},
    {"pause", PauseGlowImage, {130, 165, 163, 196}, {127, 161, 161, 193}, 3},
    {"stop", StopGlowImage, {167, 165, 200, 196}, {165, 161, 199, 193}, 3},
    {"rewind", RewindGlowImage, {204, 165, 237, 196}, {202, 161, 236, 193}, 3},
    {"forward", ForwardGlowImage, {242, 165, 275, 196}, {239, 161, 273, 193}, 3},
    {"minimise", MinimiseGlowImage, {300, 39, 316, 55}, {297, 35, 315, 52}, 6},
    {"close", CloseGlowImage, {320, 39, 336, 55}, {317, 35, 335, 52}, 6},
};

bool InCorner(int x, int y, int w, int h, int n) {
    const int steps = n == 3 ? 2 : 3;
    const int cx = x < w / 2 ? x : w - 1 - x;
    const int cy = y < h / 2 ? y : h - 1 - y;
    return cx + cy < steps;
}

TEST(GlowImages, OpaqueButForTheStairAtEachCorner) {
    for (const GlowCase& g : Glows) {
        SCOPED_TRACE(g.name);
        const SkinView v{g.image};
        int transparent[4] = {0, 0, 0, 0};
        for (int y = 0; y < v.height(); ++y)
            for (int x = 0; x < v.width(); ++x) {
                const int a = v.alpha(x, y);
                if (InCorner(x, y, v.width(), v.height(), g.cornerPixels)) {
                    EXPECT_EQ(a, 0) << x << "," << y;
                    const int quadrant = (x >= v.width() / 2) + 2 * (y >= v.height() / 2);
                    transparent[quadrant] += a == 0;
                } else {
                    ASSERT_EQ(a, 255) << x << "," << y;
                }
            }
        for (int q : transparent)
            EXPECT_EQ(q, g.cornerPixels);
    }
}

TEST(GlowImages, EachLitControlSitsOnItsPlaceAndOverItsHitZone) {
    for (const GlowCase& g : Glows) {
        SCOPED_TRACE(g.name);
        const SkinView v{g.image};
        int diffs = 0;
        long sx = 0, sy = 0;
        for (int y = 0; y < v.height(); ++y)
            for (int x = 0; x < v.width(); ++x) {
                if (InCorner(x, y, v.width(), v.height(), g.cornerPixels)) continue;
                const int bx = g.place.x0 + x, by = g.place.y0 + y;
                if (SamePixel(v.at(x, y), Background.at(bx, by))) continue;
                ++diffs, sx += bx, sy += by;
                // Only the control itself lights up: its edge rows and columns
                // are the body beneath, so the glow fades in without a seam.
                EXPECT_TRUE(x > 0 && y > 0 && x < v.width() - 1 && y < v.height() - 1)
                    << x << "," << y;
            }
        ASSERT_GT(diffs, v.width() * v.height() / 3);
        const double cx = static_cast<double>(sx) / diffs, cy = static_cast<double>(sy) / diffs;
        EXPECT_NEAR(cx, (g.place.x0 + g.place.x1) / 2.0, 1.5);
        EXPECT_NEAR(cy, (g.place.y0 + g.place.y1) / 2.0, 1.5);
        EXPECT_TRUE(g.zone.contains(static_cast<int>(cx), static_cast<int>(cy)));
    }
}

enum class Shape { Play, Pause, Stop, Rewind, Forward, Unknown };

// Reads the symbol on a button face from its bright columns: each run of
// columns is a part, rising (a tip pointing left), falling (pointing right)
// or flat (a bar or a square).
Shape ReadSymbol(const SkinView& v, Box face, int threshold) {
    std::string parts;
    std::vector<int> run;
    for (int x = face.x0; x <= face.x1 + 1; ++x) {
        int h = 0;
        for (int y = face.y0; y <= face.y1 && x <= face.x1; ++y)
            h += v.red(x, y) > threshold;
        if (h > 0) {
            run.push_back(h);
        } else if (!run.empty()) {
            // The outermost columns are only partly covered: judge the inner ones.
            const std::size_t inner = run.size() >= 4 ? 1 : 0;
            const int first = run[inner], last = run[run.size() - 1 - inner];
            const int w = static_cast<int>(run.size());
            parts += last - first >= 4 ? 'r' : first - last >= 4 ? 'f' : w >= 8 ? 'S' : 'b';
            run.clear();
        }
    }
    if (parts == "f") return Shape::Play;
    if (parts == "bb") return Shape::Pause;
    if (parts == "S") return Shape::Stop;
    if (parts == "rr") return Shape::Rewind;
    if (parts == "ff") return Shape::Forward;
    return Shape::Unknown;
}

TEST(TransportButtons, PlayPauseStopRewindForwardFromLeftToRight) {
    const Shape order[] = {Shape::Play, Shape::Pause, Shape::Stop, Shape::Rewind, Shape::Forward};
    for (int i = 0; i < 5; ++i) {
        const GlowCase& g = Glows[i];
        SCOPED_TRACE(g.name);
        // Unlit on the background, and lit in the glow image.
        const Box face{g.place.x0 + 4, g.place.y0 + 4, g.place.x1 - 4, g.place.y1 - 4};
        EXPECT_EQ(ReadSymbol(Background, face, 150), order[i]);
        const Box lit{4, 4, 29, 27};
        EXPECT_EQ(ReadSymbol(SkinView{g.image}, lit, 180), order[i]);
    }
}

TEST(BezelImage, OpaqueRedWindowAndOtherwiseTheBackgroundBeneath) {
    const SkinView bezel{BezelImage};
    int red = 0;
    for (int j = 0; j < 87; ++j)
        for (int c = 0; c < 198; ++c) {
            const unsigned char* p = bezel.at(c, j);
            ASSERT_EQ(p[3], 255) << c << "," << j;
            const int x = 86 + c, y = 41 + j;
            const bool isRed = p[0] == 0 && p[1] == 0 && p[2] == 255;
            if (isRed) {
                ++red;
                ASSERT_TRUE((Box{93, 47, 278, 121}.contains(x, y))) << x << "," << y;
                continue;
            }
            ASSERT_TRUE(SamePixel(p, Background.at(x, y))) << x << "," << y;
            // The colour-keyed copy passes over full red and empty blue or
            // green: no bezel pixel may look like that, or it would not be restored.
            ASSERT_TRUE(p[2] != 255 && p[0] != 0 && p[1] != 0) << x << "," << y;
        }
    // The whole window is red but for its few rounded corner pixels.
    for (int y = 47; y <= 121; ++y)
        for (int x = 93; x <= 278; ++x) {
            const bool corner = (x < 96 || x > 275) && (y < 50 || y > 118);
            if (corner) continue;
            const unsigned char* p = bezel.at(x - 86, y - 41);
            ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 255) << x << "," << y;
        }
    EXPECT_GT(red, 186 * 75 - 40);
}

TEST(Speakers, OpaqueConeOnTransparentCorners) {
    const SkinView s{SpeakerImage};
    for (const auto& [x, y] : {std::pair{0, 0}, {49, 0}, {0, 49}, {49, 49}})
        EXPECT_EQ(s.alpha(x, y), 0);
    for (int y = 5; y < 45; ++y)
        for (int x = 5; x < 45; ++x)
            if ((x - 24.5) * (x - 24.5) + (y - 24.5) * (y - 24.5) < 22 * 22) {
                ASSERT_EQ(s.alpha(x, y), 255) << x << "," << y;
            }
}

TEST(Speakers, GlowFadesSoftlyOutwardAndIsBrighterThanTheSpeaker) {
    const SkinView glow{SpeakerGlowImage}, plain{SpeakerImage};
    int partial = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            partial += glow.alpha(x, y) > 0 && glow.alpha(x, y) < 255;
    EXPECT_GT(partial, 250);
    for (const auto& [x, y] : {std::pair{0, 0}, {49, 0}, {0, 49}, {49, 49}})
        EXPECT_EQ(glow.alpha(x, y), 0);
    EXPECT_EQ(glow.alpha(25, 25), 255);
    // Along each axis the halo thins out towards the image edge.
    for (int d = 21; d < 24; ++d) {
        EXPECT_GT(glow.alpha(25 + d, 25), glow.alpha(25 + d + 1, 25)) << d;
        EXPECT_GT(glow.alpha(25, 25 + d), glow.alpha(25, 25 + d + 1)) << d;
        EXPECT_GT(glow.alpha(25 - d, 25), glow.alpha(25 - d - 1, 25)) << d;
    }
    long lit = 0, dark = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 40; ++x)
            lit += glow.luma(x, y), dark += plain.luma(x, y);
    EXPECT_GT(lit, 2 * dark);
}

TEST(Knob, OpaqueBodyWithASoftRim) {
    const SkinView k{KnobImage};
    for (int y = 1; y < 8; ++y)
        for (int x = 5; x < 37; ++x)
            ASSERT_EQ(k.alpha(x, y), 255) << x << "," << y;
    EXPECT_LT(k.alpha(0, 0), 128);
    EXPECT_LT(k.alpha(41, 8), 128);
    int partial = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 42; ++x)
            partial += k.alpha(x, y) > 0 && k.alpha(x, y) < 255;
    EXPECT_GT(partial, 8);
}

// The row of the arrow image where its opaque part is widest.
int WidestRow(const SkinView& v) {
    int best = -1, bestWidth = 0;
    for (int y = 0; y < v.height(); ++y) {
        int w = 0;
        for (int x = 0; x < v.width(); ++x)
            w += v.alpha(x, y) == 255;
        if (w > bestWidth) best = y, bestWidth = w;
    }
    return best;
}

TEST(Arrows, OpaqueArrowsOnATransparentGroundPointingTheirWay) {
    for (const unsigned char* image : {ArrowUpImage, ArrowDownImage}) {
        const SkinView v{image};
        for (const auto& [x, y] : {std::pair{0, 0}, {10, 0}, {0, 14}, {10, 14}})
            EXPECT_EQ(v.alpha(x, y), 0);
        int opaque = 0;
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 11; ++x)
                opaque += v.alpha(x, y) == 255;
        EXPECT_GT(opaque, 40);
        EXPECT_EQ(v.alpha(5, 7), 255);
    }
    EXPECT_LT(WidestRow(SkinView{ArrowUpImage}), 7);
    EXPECT_GT(WidestRow(SkinView{ArrowDownImage}), 7);
}

} // namespace
