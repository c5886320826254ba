#include "render/frame.h"

#include "input/glow.h"
#include "input/volume_slider.h"
#include "render/font.h"
#include "render/marquee.h"
#include "render/playlist_view.h"
#include "render/spectrum.h"
#include "skin/skin_images.h"
#include "skin/skin_surfaces.h"

std::uint8_t* FrameBuffer = nullptr;
CanvasState FrameCanvas = {nullptr, nullptr, nullptr};

namespace {

// The blend record every layer shares; only its constant alpha changes.
BLENDFUNCTION LayerBlend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};

constexpr int GlowAlphaPerLevel = 25;

struct GlowLayer {
    SkinSurface SkinSurfaceSet::*surface;
    int x, y, width, height;
    int button; // the ButtonGlow entry whose level sets the strength
};

constexpr GlowLayer GlowLayers[] = {
    {&SkinSurfaceSet::playGlow, 93, 165, 34, 32, PlayButton},
    {&SkinSurfaceSet::stopGlow, 167, 165, 34, 32, StopButton},
    {&SkinSurfaceSet::pauseGlow, 130, 165, 34, 32, PauseButton},
    {&SkinSurfaceSet::rewindGlow, 204, 165, 34, 32, RewindButton},
    {&SkinSurfaceSet::forwardGlow, 242, 165, 34, 32, ForwardButton},
    {&SkinSurfaceSet::closeGlow, 320, 39, 17, 17, CloseButton},
    {&SkinSurfaceSet::minimiseGlow, 300, 39, 17, 17, MinimiseButton},
};

constexpr int SpeakerSize = 50;
constexpr int SpeakerY = 156;
constexpr int SpeakerXs[] = {40, 290};

void BlendSpeakers(const SkinSurface& surface, BYTE alpha) {
    for (int x : SpeakerXs)
        BlendLayer(surface.context, x, SpeakerY, SpeakerSize, SpeakerSize, SpeakerSize, SpeakerSize,
                   alpha);
}

// The speakers, the button glows and the knob, in that order.
void BlendSkinLayers() {
    BlendSpeakers(SkinSurfaces.speaker, 255);
    for (const GlowLayer& layer : GlowLayers) {
        const auto alpha = static_cast<BYTE>(GlowAlphaPerLevel * ButtonGlow[layer.button].level);
        BlendLayer((SkinSurfaces.*layer.surface).context, layer.x, layer.y, layer.width,
                   layer.height, layer.width, layer.height, alpha);
    }
    const int knobWidth = SkinImageWidth(KnobImage), knobHeight = SkinImageHeight(KnobImage);
    BlendLayer(SkinSurfaces.knob.context, VolumeSlider.knobX, KnobY, knobWidth, knobHeight,
               knobWidth, knobHeight, 255);
}

// The bezel image's top-left corner on the window.
constexpr int BezelX = 86;
constexpr int BezelY = 41;

// Pure red marks the display window; any pixel with a full red or an empty
// blue or green byte is skipped with it.
bool BezelKey(const std::uint8_t* pixel) {
    return pixel[2] == 255 || pixel[0] == 0 || pixel[1] == 0;
}

// The bezel's rows as runs of pixels to copy, found once: the keyed display
// window takes most of the image and needs no look every frame.
constexpr int BezelRows = 87;

struct BezelRuns {
    static constexpr int Most = 16;
    int count[BezelRows];
    std::int16_t first[BezelRows][Most];
    std::int16_t end[BezelRows][Most]; // exclusive
    BezelRuns() {
        const unsigned char* pixels = SkinImagePixels(BezelImage);
        const int width = SkinImageWidth(BezelImage);
        for (int j = 0; j < BezelRows; ++j) {
            count[j] = 0;
            for (int c = 0; c < width; ++c) {
                const bool copied = !BezelKey(pixels + (j * width + c) * 4);
                const bool extends = c > 0 && count[j] > 0 && end[j][count[j] - 1] == c;
                if (!copied) continue;
                if (extends) {
                    end[j][count[j] - 1] = static_cast<std::int16_t>(c + 1);
                } else if (count[j] < Most) {
                    first[j][count[j]] = static_cast<std::int16_t>(c);
                    end[j][count[j]++] = static_cast<std::int16_t>(c + 1);
                } else {
                    count[j] = -1; // too broken up: looked at pixel by pixel
                    break;
                }
            }
        }
    }
};
const BezelRuns Bezel;

void CopyBezelPixel(const unsigned char* from, int j, int c) {
    std::uint8_t* to = FramePixel(MemoryRow(BezelY + j), BezelX + c);
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

void PixelWork() {
    DrawSpectrum();
    DrawScopes();
    CopyBezel();
    MarqueeStep();
    DrawPlaylistTitles();
    DrawAuthorTooltip();
}

void HandToWindow(HWND window) {
    SIZE size = {FrameWidth, FrameHeight};
    POINT origin = {0, 0};
    BLENDFUNCTION whole = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // No position: a frame never moves the window.
    UpdateLayeredWindow(window, FrameCanvas.screen, nullptr, &size, FrameCanvas.context, &origin, 0,
                        &whole, ULW_ALPHA);
}

} // namespace

void BlendLayer(HDC source, int x, int y, int width, int height, int sourceWidth, int sourceHeight,
                BYTE constantAlpha) {
    LayerBlend.SourceConstantAlpha = constantAlpha;
    AlphaBlend(FrameCanvas.context, x, y, width, height, source, 0, 0, sourceWidth, sourceHeight,
               LayerBlend);
}

void CopyBezel() {
    const unsigned char* pixels = SkinImagePixels(BezelImage);
    const int width = SkinImageWidth(BezelImage);
    for (int j = 0; j < BezelRows; ++j) {
        const unsigned char* row = pixels + j * width * 4;
        if (Bezel.count[j] < 0) {
            for (int c = 0; c < width; ++c)
                if (!BezelKey(row + c * 4)) CopyBezelPixel(row + c * 4, j, c);
            continue;
        }
        for (int run = 0; run < Bezel.count[j]; ++run)
            for (int c = Bezel.first[j][run]; c < Bezel.end[j][run]; ++c)
                CopyBezelPixel(row + c * 4, j, c);
    }
}

// The canvas is a bottom-up DIB section: the pixel work reaches its memory
// directly, and the frame never has to cross to a copy and back.
void OpenFrameCanvas() {
    FrameCanvas.screen = GetDC(nullptr);
    FrameCanvas.context = CreateCompatibleDC(FrameCanvas.screen);
    void* bits = nullptr;
    FrameCanvas.bitmap =
        CreateDIBSection(FrameCanvas.screen, &FrameBufferInfo, DIB_RGB_COLORS, &bits, nullptr, 0);
    FrameBuffer = static_cast<std::uint8_t*>(bits);
    SelectObject(FrameCanvas.context, FrameCanvas.bitmap);
}

void PaintFrame() {
    BitBlt(FrameCanvas.context, 0, 0, FrameWidth, FrameHeight, SkinSurfaces.background.context, 0,
           0, SRCCOPY);
    BlendSkinLayers();
    DrawRowBars();
    AnalyseAudio();
    BlendSpeakers(SkinSurfaces.speakerGlow, static_cast<BYTE>(PulseLevel & 0xFF));
    // The blends are done before the memory is touched directly.
    GdiFlush();
    if (FrameBuffer) PixelWork();
    DrawScrollArrows();
}

// The context lets go of the bitmap before the bitmap is deleted.
void CloseFrameCanvas() {
    DeleteDC(FrameCanvas.context);
    DeleteObject(FrameCanvas.bitmap);
    ReleaseDC(nullptr, FrameCanvas.screen);
    FrameCanvas = CanvasState{nullptr, nullptr, nullptr};
    FrameBuffer = nullptr;
}

void ComposeFrame(HWND window) {
    OpenFrameCanvas();
    PaintFrame();
    HandToWindow(window);
    CloseFrameCanvas();
}
