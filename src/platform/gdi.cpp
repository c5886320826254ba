// The drawing calls: 32-bit premultiplied BGRA bitmaps held in memory
// contexts, copied, blended and handed to a layered window in software.
// Handles are checked against the live objects, so a stale or made-up handle
// fails the call instead of touching memory.

#include "platform/present.h"
#include "platform/state.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

using namespace platform::detail;

struct Objects {
    std::unordered_map<HDC, std::unique_ptr<HDC__>> memoryDcs;
    std::unordered_map<HBITMAP, std::unique_ptr<HBITMAP__>> bitmaps;
    std::unordered_map<HBRUSH, std::unique_ptr<HBRUSH__>> brushes;
    HBITMAP__ stockBitmap{1, 1, {0}, false, nullptr}; // what a new memory context holds
    HBRUSH__ stockBrush{0xFFFFFF};
    // The pixels of the last bitmap deleted: a frame's canvas, made and
    // deleted every tick, takes them over instead of new memory.
    std::vector<std::uint32_t> spare;
};

Objects& TheObjects() {
    static Objects objects;
    return objects;
}

HBITMAP LiveBitmap(const void* handle) {
    auto& bitmaps = TheObjects().bitmaps;
    auto it = bitmaps.find(static_cast<HBITMAP>(const_cast<void*>(handle)));
    return it == bitmaps.end() ? nullptr : it->second.get();
}

HBRUSH LiveBrush(const void* handle) {
    auto& brushes = TheObjects().brushes;
    auto it = brushes.find(static_cast<HBRUSH>(const_cast<void*>(handle)));
    return it == brushes.end() ? nullptr : it->second.get();
}

bool LiveDc(HDC dc) {
    if (!dc) return false;
    if (dc == &State().screenDc) return true;
    if (TheObjects().memoryDcs.count(dc)) return true;
    return dc->kind == HDC__::Kind::Window && FindWindow(dc->window) && &dc->window->dc == dc;
}

// The bitmap a context draws on: only memory contexts have one.
HBITMAP Surface(HDC dc) {
    if (!dc || !TheObjects().memoryDcs.count(dc)) return nullptr;
    return dc->bitmap;
}

// Two pixels' eight bytes, widened to 16 bits each for the blend's sums.
using Lanes = std::uint16_t __attribute__((vector_size(16)));
using Bytes = std::uint8_t __attribute__((vector_size(8)));

// x / 255 rounded to the nearest integer, lane by lane, for x up to 255 × 255.
Lanes Div255(Lanes x) {
    const Lanes t = x + 128;
    return (t + (t >> 8)) >> 8;
}

// Two pixels of the blend: the source scaled by the constant alpha, then laid
// over the destination by its own (scaled) alpha; each byte at most 255.
void BlendTwo(const std::uint32_t* source, std::uint32_t* destination, std::uint16_t constant,
              bool perPixelAlpha) {
    Bytes from, to;
    std::memcpy(&from, source, sizeof from);
    std::memcpy(&to, destination, sizeof to);
    const Lanes scaled = Div255(__builtin_convertvector(from, Lanes) * constant);
    const Lanes cover = perPixelAlpha
                            ? __builtin_shufflevector(scaled, scaled, 3, 3, 3, 3, 7, 7, 7, 7)
                            : Lanes{} + constant;
    Lanes sum = scaled + Div255(__builtin_convertvector(to, Lanes) * (255 - cover));
    sum = sum > 255 ? Lanes{} + 255 : sum;
    const Bytes result = __builtin_convertvector(sum, Bytes);
    std::memcpy(destination, &result, sizeof result);
}

// `count` source pixels over as many destination pixels. Two fully
// transparent source pixels leave the destination as it is, and two opaque
// ones at full strength replace it: the rule's own results, without its
// arithmetic, for most of an opaque layer such as a speaker.
void BlendRun(const std::uint32_t* source, std::uint32_t* destination, int count,
              std::uint16_t constant, bool perPixelAlpha) {
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const std::uint32_t a = source[i], b = source[i + 1];
        if (perPixelAlpha && (a | b) == 0) continue;
        if (constant == 255 && (!perPixelAlpha || (a & b) >= 0xFF000000u)) {
            destination[i] = a;
            destination[i + 1] = b;
            continue;
        }
        BlendTwo(source + i, destination + i, constant, perPixelAlpha);
    }
    if (i < count) {
        const std::uint32_t last[2] = {source[i], 0};
        std::uint32_t under[2] = {destination[i], 0};
        BlendTwo(last, under, constant, perPixelAlpha);
        destination[i] = under[0];
    }
}

// The part of a width × height rectangle at (x, y) that lies on a bitmap.
struct Span {
    int first, last; // [first, last) along one axis, relative to the rectangle
};
Span Clip(int at, int length, int limit) {
    return Span{std::max(0, -at), std::min(length, limit - at)};
}

} // namespace

namespace {

// A new bitmap's storage. Its content is undefined unless given, as the
// desktop has it: one of the spare's size keeps what the spare held, so the
// frame's canvas, made and deleted every tick, takes no new memory.
HBITMAP NewBitmap(int width, int height, bool bottomUp) {
    auto bitmap = std::make_unique<HBITMAP__>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bottomUp = bottomUp;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<std::uint32_t>& spare = TheObjects().spare;
    if (spare.size() == count) {
        bitmap->pixels = std::move(spare);
        spare.clear();
    } else {
        bitmap->pixels.assign(count, 0);
    }
    HBITMAP handle = bitmap.get();
    TheObjects().bitmaps.emplace(handle, std::move(bitmap));
    return handle;
}

} // namespace

// The layer's own bitmaps keep their rows bottom-up, as the frame's canvas
// has them, so a whole picture copied onto it is one block of memory.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (width <= 0 || height <= 0 || planes != 1 || bitsPerPixel != 32) return nullptr;
    HBITMAP bitmap = NewBitmap(width, height, true);
    if (bits)
        for (int y = 0; y < height; ++y) // the given rows run top-down
            std::memcpy(bitmap->Row(y), static_cast<const std::uint32_t*>(bits) + y * width,
                        static_cast<std::size_t>(width) * 4);
    return bitmap;
}

// Only 32-bit uncompressed DIBs in the layer's own memory; the program draws
// into `*bits` directly, rows bottom-up for a positive height.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
    if (bits) *bits = nullptr;
    if ((dc && !LiveDc(dc)) || !info || !bits || usage != DIB_RGB_COLORS || section || offset)
        return nullptr;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biBitCount != 32 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        header.biHeight == 0)
        return nullptr;
    const int height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    HBITMAP bitmap = NewBitmap(header.biWidth, height, header.biHeight > 0);
    *bits = bitmap->pixels.data();
    return bitmap;
}

BOOL GdiFlush() {
    return TRUE; // every drawing call is done when it returns
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    return LiveDc(dc) ? CreateBitmap(width, height, 1, 32, nullptr) : nullptr;
}

HDC CreateCompatibleDC(HDC dc) {
    if (dc && !LiveDc(dc)) return nullptr;
    auto memory = std::make_unique<HDC__>();
    memory->kind = HDC__::Kind::Memory;
    memory->bitmap = &TheObjects().stockBitmap;
    HDC handle = memory.get();
    TheObjects().memoryDcs.emplace(handle, std::move(memory));
    return handle;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!LiveDc(dc)) return nullptr;
    if (LiveBrush(object)) return &TheObjects().stockBrush;
    HBITMAP bitmap =
        object == &TheObjects().stockBitmap ? &TheObjects().stockBitmap : LiveBitmap(object);
    if (!bitmap || !Surface(dc) || (bitmap->holder && bitmap->holder != dc)) return nullptr;
    HBITMAP previous = dc->bitmap;
    if (previous != &TheObjects().stockBitmap) previous->holder = nullptr;
    if (bitmap != &TheObjects().stockBitmap) bitmap->holder = dc;
    dc->bitmap = bitmap;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    Objects& o = TheObjects();
    if (HBITMAP bitmap = LiveBitmap(object)) {
        if (bitmap->holder) return FALSE; // still selected: the context owns its use
        o.spare = std::move(bitmap->pixels);
        o.bitmaps.erase(bitmap);
        return TRUE;
    }
    if (HBRUSH brush = LiveBrush(object)) {
        o.brushes.erase(brush);
        return TRUE;
    }
    return FALSE;
}

BOOL DeleteDC(HDC dc) {
    Objects& o = TheObjects();
    auto it = o.memoryDcs.find(dc);
    if (it == o.memoryDcs.end()) return FALSE;
    if (dc->bitmap != &o.stockBitmap) dc->bitmap->holder = nullptr;
    o.memoryDcs.erase(it);
    return TRUE;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    auto brush = std::make_unique<HBRUSH__>();
    brush->colour = colour & 0xFFFFFF;
    HBRUSH handle = brush.get();
    TheObjects().brushes.emplace(handle, std::move(brush));
    return handle;
}

// A brush handle may also be a system colour index plus one, as class
// backgrounds are given; the window colour is white.
static bool BrushColour(HBRUSH brush, COLORREF& colour) {
    if (HBRUSH live = LiveBrush(brush)) {
        colour = live->colour;
        return true;
    }
    const auto index = reinterpret_cast<std::uintptr_t>(brush);
    if (index == 0 || index > 31) return false;
    colour = index == COLOR_WINDOW + 1 ? 0xFFFFFF : 0xC0C0C0;
    return true;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    HBITMAP target = Surface(dc);
    COLORREF colour = 0;
    if (!target || !rect || !BrushColour(brush, colour)) return 0;
    // The pixel's bytes are B, G, R and an alpha the fill leaves at 0.
    const std::uint32_t pixel =
        ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    const int left = std::max<int>(rect->left, 0),
              right = std::min<int>(rect->right, target->width);
    const int top = std::max<int>(rect->top, 0),
              bottom = std::min<int>(rect->bottom, target->height);
    for (int y = top; y < bottom; ++y)
        std::fill(target->Row(y) + left, target->Row(y) + right, pixel);
    return 1;
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
            int sourceY, DWORD rasterOperation) {
    HBITMAP to = Surface(destination), from = Surface(source);
    if (!to || !from || rasterOperation != SRCCOPY || width < 0 || height < 0) return FALSE;
    // Only what lies on both bitmaps is copied.
    const Span toCols = Clip(x, width, to->width), fromCols = Clip(sourceX, width, from->width);
    const Span toRows = Clip(y, height, to->height), fromRows = Clip(sourceY, height, from->height);
    const int firstCol = std::max(toCols.first, fromCols.first);
    const int lastCol = std::min(toCols.last, fromCols.last);
    const int firstRow = std::max(toRows.first, fromRows.first);
    const int lastRow = std::min(toRows.last, fromRows.last);
    if (firstCol >= lastCol) return TRUE;
    // Whole rows between bitmaps that store them the same way round lie in
    // one block on each side.
    const bool wholeRows = x == 0 && sourceX == 0 && firstCol == 0 && lastCol == to->width &&
                           to->width == from->width && to->bottomUp == from->bottomUp;
    if (wholeRows && to != from && firstRow < lastRow) {
        const int lowest = to->bottomUp ? lastRow - 1 : firstRow; // lowest in memory
        std::memcpy(to->Row(y + lowest), from->Row(sourceY + lowest),
                    static_cast<std::size_t>(lastRow - firstRow) * to->width * 4);
        return TRUE;
    }
    // Within one bitmap a copy downwards runs from the bottom row up, so no
    // row is overwritten before it is read.
    const bool upwards = to == from && y > sourceY;
    for (int k = firstRow; k < lastRow; ++k) {
        const int row = upwards ? lastRow - 1 - (k - firstRow) : k;
        std::memmove(to->Row(y + row) + x + firstCol, from->Row(sourceY + row) + sourceX + firstCol,
                     static_cast<std::size_t>(lastCol - firstCol) * 4);
    }
    return TRUE;
}

BOOL AlphaBlend(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, BLENDFUNCTION blend) {
    HBITMAP to = Surface(destination), from = Surface(source);
    if (!to || !from || blend.BlendOp != AC_SRC_OVER || width < 0 || height < 0 ||
        sourceWidth < 0 || sourceHeight < 0)
        return FALSE;
    // The source rectangle has to lie wholly on the source bitmap.
    if (sourceX < 0 || sourceY < 0 || sourceX + sourceWidth > from->width ||
        sourceY + sourceHeight > from->height)
        return FALSE;
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0) return TRUE;
    // At constant alpha 0 every destination byte comes out as it was.
    if (blend.SourceConstantAlpha == 0) return TRUE;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    const Span cols = Clip(x, width, to->width), rows = Clip(y, height, to->height);
    for (int row = rows.first; row < rows.last; ++row) {
        // A stretched source is sampled at the nearest pixel.
        const int fromRow = sourceY + row * sourceHeight / height;
        std::uint32_t* out = to->Row(y + row) + x;
        const std::uint32_t* in = from->Row(fromRow) + sourceX;
        if (sourceWidth == width) {
            BlendRun(in + cols.first, out + cols.first, cols.last - cols.first,
                     blend.SourceConstantAlpha, perPixel);
            continue;
        }
        // Gathered a stretch at a time, so the run stays in fixed storage.
        constexpr int Stretch = 64;
        std::uint32_t sampled[Stretch];
        for (int col = cols.first; col < cols.last; col += Stretch) {
            const int count = std::min(Stretch, cols.last - col);
            for (int k = 0; k < count; ++k)
                sampled[k] = in[(col + k) * sourceWidth / width];
            BlendRun(sampled, out + col, count, blend.SourceConstantAlpha, perPixel);
        }
    }
    return TRUE;
}

// Only 32-bit uncompressed descriptions are understood.
static bool Described(const BITMAPINFO* info) {
    return info && info->bmiHeader.biBitCount == 32 && info->bmiHeader.biCompression == BI_RGB &&
           info->bmiHeader.biWidth > 0 && info->bmiHeader.biHeight != 0;
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, void* bits, BITMAPINFO* info,
              UINT usage) {
    HBITMAP from = LiveBitmap(bitmap);
    if (!LiveDc(dc) || !from || !info || usage != DIB_RGB_COLORS) return 0;
    if (!bits) { // the caller asks for the bitmap's description
        info->bmiHeader = BITMAPINFOHEADER{40,
                                           from->width,
                                           from->height,
                                           1,
                                           32,
                                           BI_RGB,
                                           static_cast<DWORD>(from->width * from->height * 4),
                                           0,
                                           0,
                                           0,
                                           0};
        return from->height;
    }
    if (!Described(info) || startScan >= static_cast<UINT>(from->height)) return 0;
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    const int width = std::min<int>(info->bmiHeader.biWidth, from->width);
    const UINT count = std::min<UINT>(lines, static_cast<UINT>(from->height) - startScan);
    auto* out = static_cast<std::uint32_t*>(bits);
    for (UINT line = 0; line < count; ++line) {
        const UINT scan = startScan + line; // from the bottom if bottom-up
        const int row =
            bottomUp ? from->height - 1 - static_cast<int>(scan) : static_cast<int>(scan);
        std::memcpy(out + static_cast<std::size_t>(line) * info->bmiHeader.biWidth, from->Row(row),
                    static_cast<std::size_t>(width) * 4);
    }
    return static_cast<int>(count);
}

int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int sourceX, int sourceY,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
                      UINT usage) {
    HBITMAP to = Surface(dc);
    if (!to || !bits || !Described(info) || usage != DIB_RGB_COLORS) return 0;
    const LONG dibWidth = info->bmiHeader.biWidth;
    const bool bottomUp = info->bmiHeader.biHeight > 0;
    const auto* in = static_cast<const std::uint32_t*>(bits);
    for (int j = 0; j < static_cast<int>(height); ++j) {
        // The source rectangle's rows counted in the DIB's own order: from
        // the bottom for a bottom-up DIB, whose (sourceX, sourceY) is the
        // rectangle's lower-left corner.
        const long scan = bottomUp ? sourceY + (static_cast<long>(height) - 1 - j) : sourceY + j;
        const long line = scan - static_cast<long>(startScan);
        const int toY = y + j;
        if (line < 0 || line >= static_cast<long>(lines) || toY < 0 || toY >= to->height) continue;
        // The columns that lie on both the DIB and the bitmap.
        const long first = std::max({0L, -static_cast<long>(sourceX), -static_cast<long>(x)});
        const long last = std::min({static_cast<long>(width), dibWidth - static_cast<long>(sourceX),
                                    static_cast<long>(to->width) - x});
        if (first < last)
            std::memcpy(to->Row(toY) + x + first,
                        &in[static_cast<std::size_t>(line) * dibWidth + sourceX + first],
                        static_cast<std::size_t>(last - first) * 4);
    }
    return static_cast<int>(lines);
}

BOOL UpdateLayeredWindow(HWND window, HDC, POINT* position, SIZE* size, HDC source,
                         POINT* sourcePoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags) {
    HWND w = FindWindow(window);
    if (!w || !(w->exStyle & WS_EX_LAYERED)) return FALSE;
    if (position && (position->x != w->x || position->y != w->y)) {
        w->x = position->x;
        w->y = position->y;
        PlaceWindow(*w);
    }
    if (!source) return TRUE; // a move alone
    HBITMAP from = Surface(source);
    const int width = size ? size->cx : w->width, height = size ? size->cy : w->height;
    const int left = sourcePoint ? sourcePoint->x : 0, top = sourcePoint ? sourcePoint->y : 0;
    if (!from || width <= 0 || height <= 0 || left < 0 || top < 0 || left + width > from->width ||
        top + height > from->height)
        return FALSE;
    const std::uint32_t constant = blend ? blend->SourceConstantAlpha : 255;
    const bool keyed = flags & ULW_COLORKEY, opaque = flags & ULW_OPAQUE;
    // The image as it stands, as every tick sends it; a bottom-up bitmap's
    // rows run backwards through memory.
    if (constant == 255 && !keyed && !opaque)
        return platform::PresentImage(w, from->Row(top) + left, width, height,
                                      (from->bottomUp ? -4 : 4) * from->width);
    const std::uint32_t keyPixel = ((key & 0xFF) << 16) | (key & 0xFF00) | ((key >> 16) & 0xFF);
    std::vector<std::uint32_t> image(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            std::uint32_t pixel = from->Row(top + row)[left + col];
            if (opaque) pixel |= 0xFF000000u;
            if (keyed) pixel = (pixel & 0xFFFFFF) == keyPixel ? 0 : (pixel | 0xFF000000u);
            if (constant != 255) {
                std::uint32_t faded = 0;
                BlendRun(&pixel, &faded, 1, static_cast<std::uint16_t>(constant), true);
                pixel = faded;
            }
            image[static_cast<std::size_t>(row) * width + col] = pixel;
        }
    return platform::PresentImage(w, image.data(), width, height, width * 4);
}
