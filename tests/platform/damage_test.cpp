// Only what changed goes to the desktop: after any sequence of images, the
// desktop's copy (built here from nothing but the rectangles sent) is the
// latest image, enlarged, pixel for pixel, with one buffer or with two that
// take turns, at every scale.

#include "platform/damage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace platform::detail;

namespace {

// Odd sizes, so that neither the 16-pixel tiles nor the 8-row bands fit.
constexpr int kW = 53, kH = 37;

using Image = std::vector<std::uint32_t>;

Image Enlarged(const Image& image, int scale) {
    Image out(static_cast<std::size_t>(kW * scale) * kH * scale);
    for (int y = 0; y < kH * scale; ++y)
        for (int x = 0; x < kW * scale; ++x)
            out[static_cast<std::size_t>(y) * kW * scale + x] = image[(y / scale) * kW + x / scale];
    return out;
}

struct Desktop {
    int scale;
    Image buffers[2];
    Image screen; // what the desktop shows: only ever written from the rectangles sent
    int sentFrom = -1;
    long pixelsSent = 0;

    explicit Desktop(int s) : scale(s) {
        const std::size_t size = static_cast<std::size_t>(kW * s) * kH * s;
        // What a buffer or the screen holds before anything is written.
        buffers[0].assign(size, 0xDEADBEEF);
        buffers[1].assign(size, 0xDEADBEEF);
        screen.assign(size, 0x12345678);
    }

    void Send(Handover& handover, const KeptImage& kept) {
        const int index = handover.Next();
        const std::vector<Rect>& rects =
            handover.Fill(kept, scale, buffers[index].data(), kW * scale);
        sentFrom = index;
        for (const Rect& r : rects)
            for (int y = r.y * scale; y < (r.y + r.height) * scale; ++y)
                for (int x = r.x * scale; x < (r.x + r.width) * scale; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y) * kW * scale + x;
                    screen[at] = buffers[index][at];
                    ++pixelsSent;
                }
    }
};

TEST(Damage, TheDesktopGetsExactlyTheLatestImageFromWhatChangedAlone) {
    for (int buffers = 1; buffers <= 2; ++buffers)
        for (int scale = 1; scale <= 3; ++scale) {
            SCOPED_TRACE(testing::Message() << buffers << " buffers at scale " << scale);
            std::mt19937 random(7 * buffers + scale);
            const auto below = [&](int n) { return static_cast<int>(random() % n); };
            Image image(kW * kH); // without the blip of the moment
            for (auto& p : image)
                p = random();
            KeptImage kept;
            TileSet changed;
            Handover handover;
            handover.Reset(buffers, kW, kH);
            Desktop desktop(scale);
            bool unsent = true;
            for (int step = 0; step < 300; ++step) {
                const int kind = below(5);
                if (kind == 1) // one pixel, often the last
                    image[below(2) ? below(kW * kH) : kW * kH - 1] ^= 0x01000000;
                if (kind == 2) { // a block
                    const int x = below(kW), y = below(kH), w = 1 + below(kW - x),
                              h = 1 + below(kH - y);
                    const std::uint32_t colour = random();
                    for (int j = y; j < y + h; ++j)
                        std::fill_n(&image[j * kW + x], w, colour);
                }
                Image next = image;
                if (kind >= 3) next[below(kW * kH)] = random(); // there now, gone next time
                kept.Take(reinterpret_cast<const std::uint8_t*>(next.data()), kW, kH, kW * 4,
                          changed);
                handover.Note(changed);
                unsent = unsent || !changed.Empty();
                ASSERT_EQ(handover.Unsent(), unsent) << "step " << step;
                // Now and then the window is away (minimised): nothing goes.
                if (below(6) == 0) continue;
                const int before = desktop.sentFrom;
                const long sentBefore = desktop.pixelsSent;
                desktop.Send(handover, kept);
                if (!unsent) {
                    EXPECT_EQ(desktop.pixelsSent, sentBefore) << "nothing changed";
                }
                unsent = false;
                if (buffers == 2 && before >= 0) {
                    ASSERT_NE(desktop.sentFrom, before) << "a buffer the desktop may still read";
                }
                const Image want = Enlarged(next, scale);
                ASSERT_EQ(desktop.buffers[desktop.sentFrom], want) << "step " << step;
                ASSERT_EQ(desktop.screen, want) << "step " << step;
            }
            // Once the desktop is up to date, one pixel changed sends that
            // pixel alone.
            if (unsent) desktop.Send(handover, kept);
            image = std::vector<std::uint32_t>(kept.Pixels(), kept.Pixels() + kW * kH);
            image[20 * kW + 20] ^= 0xFF;
            kept.Take(reinterpret_cast<const std::uint8_t*>(image.data()), kW, kH, kW * 4, changed);
            handover.Note(changed);
            const long before = desktop.pixelsSent;
            desktop.Send(handover, kept);
            EXPECT_EQ(desktop.pixelsSent - before, 1L * scale * scale);
        }
}

// Whether a pixel went from fully transparent to seen or back, which makes
// a new window shape; a change of colour or of a seen alpha does not.
TEST(Damage, TellsWhenTheSetOfSeenPixelsChanges) {
    Image image(kW * kH, 0x80404040);
    image[0] = 0;
    KeptImage kept;
    TileSet changed;
    const auto take = [&] {
        return kept.Take(reinterpret_cast<const std::uint8_t*>(image.data()), kW, kH, kW * 4,
                         changed);
    };
    EXPECT_TRUE(take()) << "nothing was shown before";
    image[5] = 0xFF000000;
    image[kW * kH - 1] = 0x01FFFFFF;
    EXPECT_FALSE(take());
    image[kW * kH - 1] = 0x00FFFFFF; // alpha 0: cut away
    EXPECT_TRUE(take());
    image[0] = 0x01000000;
    EXPECT_TRUE(take());
    EXPECT_FALSE(take());
    EXPECT_TRUE(changed.Empty());
}

} // namespace
