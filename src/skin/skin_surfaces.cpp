#include "skin/skin_surfaces.h"

#include "skin/skin_images.h"

SkinSurfaceSet SkinSurfaces = {};
SkinSurface RowBar = {nullptr, nullptr};
BITMAPINFO FrameBufferInfo = {};

namespace {

// The images that become surfaces, in the order they are made.
struct SurfaceSource {
    const unsigned char* image;
    SkinSurface SkinSurfaceSet::*surface;
};

constexpr SurfaceSource SurfaceSources[] = {
    {BackgroundImage, &SkinSurfaceSet::background},
    {SpeakerImage, &SkinSurfaceSet::speaker},
    {SpeakerGlowImage, &SkinSurfaceSet::speakerGlow},
    {PlayGlowImage, &SkinSurfaceSet::playGlow},
    {PauseGlowImage, &SkinSurfaceSet::pauseGlow},
    {StopGlowImage, &SkinSurfaceSet::stopGlow},
    {RewindGlowImage, &SkinSurfaceSet::rewindGlow},
    {ForwardGlowImage, &SkinSurfaceSet::forwardGlow},
    {MinimiseGlowImage, &SkinSurfaceSet::minimiseGlow},
    {CloseGlowImage, &SkinSurfaceSet::closeGlow},
    {KnobImage, &SkinSurfaceSet::knob},
    {ArrowDownImage, &SkinSurfaceSet::arrowDown},
    {ArrowUpImage, &SkinSurfaceSet::arrowUp},
};

SkinSurface SelectedSurface(HDC screen, HBITMAP bitmap) {
    HDC context = CreateCompatibleDC(screen);
    SelectObject(context, bitmap);
    return SkinSurface{context, bitmap};
}

// The pixel bytes go to the bitmap as stored: both put the top row first.
SkinSurface SurfaceFromImage(HDC screen, const unsigned char* image) {
    HBITMAP bitmap =
        CreateBitmap(SkinImageWidth(image), SkinImageHeight(image), 1, 32, SkinImagePixels(image));
    return SelectedSurface(screen, bitmap);
}

// The fill covers 200 x 200 and is cut to the bar's 10 rows; the white brush
// leaves the alpha byte at 0.
void MakeRowBar(HDC screen) {
    RowBar = SelectedSurface(screen, CreateCompatibleBitmap(screen, RowBarWidth, RowBarHeight));
    const RECT whole = {0, 0, RowBarWidth, 200};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(RowBar.context, &whole, white);
    DeleteObject(white);
}

void DescribeFrameBuffer() {
    BITMAPINFOHEADER& header = FrameBufferInfo.bmiHeader;
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = 372;
    header.biHeight = 250; // positive: memory row 0 is the bottom screen row
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
}

} // namespace

void CreateSkinSurfaces() {
    HDC screen = GetDC(nullptr);
    for (const SurfaceSource& source : SurfaceSources)
        SkinSurfaces.*source.surface = SurfaceFromImage(screen, source.image);
    MakeRowBar(screen);
    DescribeFrameBuffer();
    ReleaseDC(nullptr, screen);
}
