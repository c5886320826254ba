#pragma once

// The program's drawing state, reset before every case, over the real
// drawing calls and a scripted audio library; helpers to read the frame.

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace render_test {

// B, G, R, A of one pixel.
struct Bgra {
    std::uint8_t b, g, r, a;
    bool operator==(const Bgra&) const = default;
};

// A picture top row first, premultiplied B, G, R, A.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Bgra> pixels;
    Bgra At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Draws a whole frame from the program's state as it stands onto the open
// canvas and returns it as the window would receive it.
Picture PaintedFrame();

// The background image, as a picture.
Picture Background();

// The frame buffer's pixel at screen position (x, y); the fixture keeps a
// canvas open for every case.
Bgra FrameBufferAt(int x, int y);
void FillFrameBuffer(Bgra value);

// An uncompressed 32-bit TGA, top row first; empty picture when unreadable.
Picture ReadTga(const std::string& path);
bool WriteTga(const std::string& path, const Picture& picture);

class FrameTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    // Opens a playing channel as the current song, the audio library giving
    // `spectrum` for every FFT request.
    DWORD PlayingChannel(const std::vector<float>& spectrum = {});
};

} // namespace render_test
