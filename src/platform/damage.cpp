// Finding what changed between two images, a tile at a time, and carrying
// just that, enlarged, into the buffers the desktop reads.

#include "platform/damage.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform::detail {
namespace {

// Four pixels at a time.
using Quad = std::uint32_t __attribute__((vector_size(16)));

Quad Load(const std::uint32_t* at) {
    Quad q;
    std::memcpy(&q, at, sizeof q);
    return q;
}

// Whether `count` pixels differ, four at a time.
bool Differ(const std::uint32_t* now, const std::uint32_t* before, int count) {
    if (count == 16) { // a whole tile of the usual width, unrolled
        const Quad differs = (Load(now) ^ Load(before)) | (Load(now + 4) ^ Load(before + 4)) |
                             (Load(now + 8) ^ Load(before + 8)) |
                             (Load(now + 12) ^ Load(before + 12));
        return (differs[0] | differs[1] | differs[2] | differs[3]) != 0;
    }
    Quad differs{};
    int x = 0;
    for (; x + 4 <= count; x += 4)
        differs |= Load(now + x) ^ Load(before + x);
    std::uint32_t any = differs[0] | differs[1] | differs[2] | differs[3];
    for (; x < count; ++x)
        any |= now[x] ^ before[x];
    return any != 0;
}

// Whether one of `count` pixels went from unseen to seen or back.
bool Flip(const std::uint32_t* now, const std::uint32_t* before, int count) {
    for (int x = 0; x < count; ++x)
        if (((now[x] >> 24) == 0) != ((before[x] >> 24) == 0)) return true;
    return false;
}

// The first run of set bits in `tiles` (not zero): [first, end).
void FirstRun(std::uint64_t tiles, int& first, int& end) {
    first = __builtin_ctzll(tiles);
    const std::uint64_t above = ~(tiles >> first);
    end = above == 0 ? 64 : first + __builtin_ctzll(above);
}

std::uint64_t RunBits(int first, int end) {
    const std::uint64_t upTo = end >= 64 ? ~0ull : (1ull << end) - 1;
    return upTo & ~((1ull << first) - 1);
}

// `count` pixels, each `scale` times over.
void Stretch(const std::uint32_t* from, std::uint32_t* to, int count, int scale) {
    switch (scale) {
    case 1:
        std::memcpy(to, from, static_cast<std::size_t>(count) * 4);
        return;
    case 2:
        for (int i = 0; i < count; ++i)
            to[2 * i] = to[2 * i + 1] = from[i];
        return;
    default:
        for (int i = 0; i < count; ++i)
            std::fill_n(to + i * scale, scale, from[i]);
        return;
    }
}

} // namespace

void TileSet::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    // Up to 64 tiles a row; 16 pixels wide unless the rows are longer.
    tileWidth_ = std::max(16, (width + 63) / 64);
    tilesPerRow_ = (width + tileWidth_ - 1) / tileWidth_;
    rows_.assign(static_cast<std::size_t>(height), 0);
    spans_.assign(static_cast<std::size_t>(height) * tilesPerRow_, Span{0, 0});
}

void TileSet::Clear() {
    std::fill(rows_.begin(), rows_.end(), 0);
}

void TileSet::Fill() {
    for (int y = 0; y < height_; ++y)
        for (int tile = 0; tile < tilesPerRow_; ++tile)
            Add(y, tile,
                Span{0,
                     static_cast<std::uint8_t>(std::min(tileWidth_, width_ - tile * tileWidth_))});
}

bool TileSet::Empty() const {
    return std::all_of(rows_.begin(), rows_.end(), [](std::uint64_t row) { return row == 0; });
}

TileSet& TileSet::operator|=(const TileSet& other) {
    if (other.width_ != width_ || other.height_ != height_) {
        Fill(); // another size: nothing of it lines up
        return *this;
    }
    for (int y = 0; y < height_; ++y) {
        const std::uint64_t mine = Row(y);
        for (std::uint64_t theirs = other.Row(y); theirs != 0; theirs &= theirs - 1) {
            const int tile = __builtin_ctzll(theirs);
            Span span = other.SpanOf(y, tile);
            if (mine & (1ull << tile)) {
                const Span had = SpanOf(y, tile);
                span = Span{std::min(span.first, had.first), std::max(span.end, had.end)};
            }
            Add(y, tile, span);
        }
    }
    return *this;
}

int TileSet::Left(int y, std::uint64_t run) const {
    const int tile = __builtin_ctzll(Row(y) & run);
    return tile * tileWidth_ + SpanOf(y, tile).first;
}

int TileSet::Right(int y, std::uint64_t run) const {
    const int tile = 63 - __builtin_clzll(Row(y) & run);
    return tile * tileWidth_ + SpanOf(y, tile).end;
}

bool KeptImage::Take(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t pitchBytes,
                     TileSet& changed) {
    const auto rowAt = [&](int y) {
        return reinterpret_cast<const std::uint32_t*>(pixels + y * pitchBytes);
    };
    if (width != width_ || height != height_ || pixels_.empty()) {
        width_ = width;
        height_ = height;
        pixels_.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels_.data() + static_cast<std::size_t>(y) * width, rowAt(y),
                        static_cast<std::size_t>(width) * 4);
        changed.Resize(width, height);
        changed.Fill();
        return true;
    }
    if (changed.Width() != width || changed.Height() != height) changed.Resize(width, height);
    const int tileWidth = changed.TileWidth();
    bool flips = false;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* now = rowAt(y);
        std::uint32_t* kept = pixels_.data() + static_cast<std::size_t>(y) * width;
        changed.ClearRow(y);
        // Most rows are as they were: the C library's comparison is the
        // widest this machine has.
        if (std::memcmp(now, kept, static_cast<std::size_t>(width) * 4) == 0) continue;
        for (int tile = 0, x = 0; x < width; ++tile, x += tileWidth) {
            const int count = std::min(tileWidth, width - x);
            if (!Differ(now + x, kept + x, count)) continue;
            int first = 0, end = count;
            while (now[x + first] == kept[x + first])
                ++first;
            while (now[x + end - 1] == kept[x + end - 1])
                --end;
            changed.Add(
                y, tile,
                TileSet::Span{static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(end)});
            flips = flips || Flip(now + x + first, kept + x + first, end - first);
            std::memcpy(kept + x + first, now + x + first,
                        static_cast<std::size_t>(end - first) * 4);
        }
    }
    return flips;
}

void WriteEnlarged(const KeptImage& image, const TileSet& which, int scale, std::uint32_t* to,
                   std::ptrdiff_t toPitch) {
    for (int y = 0; y < image.Height(); ++y) {
        std::uint64_t tiles = which.Row(y);
        std::uint32_t* out = to + y * scale * toPitch;
        while (tiles != 0) {
            int first = 0, end = 0;
            FirstRun(tiles, first, end);
            const std::uint64_t run = RunBits(first, end);
            tiles &= ~run;
            const int left = which.Left(y, run), right = which.Right(y, run);
            Stretch(image.Row(y) + left, out + left * scale, right - left, scale);
            // The block's other rows are copies of its first.
            for (int k = 1; k < scale; ++k)
                std::memcpy(out + k * toPitch + left * scale, out + left * scale,
                            static_cast<std::size_t>(right - left) * scale * 4);
        }
    }
}

void CoverTiles(const TileSet& tiles, std::vector<Rect>& out) {
    out.clear();
    // Bands of rows, each cut into runs of changed tiles; a run that the band
    // above had too, at the same place, makes that band's rectangle longer.
    constexpr int Band = 8;
    struct Open {
        int first, end;
        std::size_t rect;
    };
    std::array<Open, 32> above{}, here{}; // a row of 64 tiles has at most 32 runs
    int aboveCount = 0;
    const int tileWidth = tiles.TileWidth();
    for (int top = 0; top < tiles.Height(); top += Band) {
        const int bottom = std::min(tiles.Height(), top + Band);
        std::uint64_t band = 0;
        for (int y = top; y < bottom; ++y)
            band |= tiles.Row(y);
        int hereCount = 0;
        while (band != 0) {
            int first = 0, end = 0;
            FirstRun(band, first, end);
            band &= ~RunBits(first, end);
            const int left = first * tileWidth;
            const int right = std::min(tiles.Width(), end * tileWidth);
            if (left >= right) continue;
            const Open* same =
                std::find_if(above.begin(), above.begin() + aboveCount,
                             [&](const Open& o) { return o.first == first && o.end == end; });
            std::size_t rect = out.size();
            if (same != above.begin() + aboveCount) {
                rect = same->rect;
                out[rect].height = bottom - out[rect].y;
            } else {
                out.push_back(Rect{left, top, right - left, bottom - top});
            }
            here[static_cast<std::size_t>(hereCount++)] = Open{first, end, rect};
        }
        above = here;
        aboveCount = hereCount;
    }
    // Each rectangle shrinks to the pixels its tiles stand for: the rows
    // above and below in which none of them is in the set go, and its sides
    // come in to the first and last pixel of the set.
    for (Rect& r : out) {
        const std::uint64_t run =
            RunBits(r.x / tileWidth, (r.x + r.width + tileWidth - 1) / tileWidth);
        int left = r.x + r.width, right = r.x, top = -1, bottom = -1;
        for (int y = r.y; y < r.y + r.height; ++y) {
            if ((tiles.Row(y) & run) == 0) continue;
            top = top < 0 ? y : top;
            bottom = y + 1;
            left = std::min(left, tiles.Left(y, run));
            right = std::max(right, tiles.Right(y, run));
        }
        r = Rect{left, top, right - left, bottom - top};
    }
}

void Handover::Reset(int buffers, int width, int height) {
    count_ = std::clamp(buffers, 1, 2);
    next_ = 0;
    shown_ = -1;
    for (TileSet& stale : stale_) {
        stale.Resize(width, height);
        stale.Fill();
    }
    unsent_.Resize(width, height);
    unsent_.Fill();
}

void Handover::Note(const TileSet& changed) {
    unsent_ |= changed;
    for (TileSet& stale : stale_)
        stale |= changed;
}

const std::vector<Rect>& Handover::Fill(const KeptImage& image, int scale, std::uint32_t* to,
                                        std::ptrdiff_t toPitch) {
    WriteEnlarged(image, stale_[next_], scale, to, toPitch);
    stale_[next_].Clear();
    CoverTiles(unsent_, rects_);
    unsent_.Clear();
    shown_ = next_;
    next_ = (next_ + 1) % count_;
    return rects_;
}

} // namespace platform::detail
