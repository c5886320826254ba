#pragma once

// What changed between the images a window is given, and the enlarged
// copies that carry only that to the desktop. Nothing here knows the window
// system: a buffer is plain memory and a rectangle a request to send.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::detail {

struct Rect {
    int x, y, width, height;
};

// A set of tiles of an image: every row is cut into stretches of
// TileWidth() pixels (at most 64 of them), one bit each. A tile in the set
// also knows which of its pixels it stands for: the span from the first to
// the last of them.
class TileSet {
  public:
    struct Span {
        std::uint8_t first, end; // pixels [first, end) of the tile
    };

    void Resize(int width, int height); // and empty
    void Clear();
    void Fill(); // every pixel of the image
    bool Empty() const;
    TileSet& operator|=(const TileSet& other);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int TileWidth() const { return tileWidth_; }
    std::uint64_t Row(int y) const { return rows_[static_cast<std::size_t>(y)]; }
    Span SpanOf(int y, int tile) const { return spans_[Index(y, tile)]; }
    void ClearRow(int y) { rows_[static_cast<std::size_t>(y)] = 0; }
    void Add(int y, int tile, Span span) {
        rows_[static_cast<std::size_t>(y)] |= 1ull << tile;
        spans_[Index(y, tile)] = span;
    }
    // Where a row's pixels in the set begin and end, within the tiles `run`.
    int Left(int y, std::uint64_t run) const;
    int Right(int y, std::uint64_t run) const;

  private:
    std::size_t Index(int y, int tile) const {
        return static_cast<std::size_t>(y) * tilesPerRow_ + static_cast<std::size_t>(tile);
    }
    int width_ = 0, height_ = 0, tileWidth_ = 16, tilesPerRow_ = 0;
    std::vector<std::uint64_t> rows_;
    std::vector<Span> spans_;
};

// The image a window was given last, at the program's own size: top-down
// rows of premultiplied B, G, R, A, with no gaps between them.
class KeptImage {
  public:
    // Keeps the image at `pixels` (rows `pitchBytes` apart, backwards when
    // negative) and sets `changed` to the tiles where it differs from the
    // one kept before: every tile for the first image or a new size. True
    // when, within them, a pixel went from fully transparent to seen or back.
    bool Take(const std::uint8_t* pixels, int width, int height, std::ptrdiff_t pitchBytes,
              TileSet& changed);
    void Forget() { pixels_.clear(); }

    bool Empty() const { return pixels_.empty(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::uint32_t* Pixels() const { return pixels_.data(); }
    const std::uint32_t* Row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * width_;
    }

  private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Writes the tiles `which` of `image` into `to` (rows `toPitch` pixels
// apart), every pixel as a `scale` x `scale` block.
void WriteEnlarged(const KeptImage& image, const TileSet& which, int scale, std::uint32_t* to,
                   std::ptrdiff_t toPitch);

// Rectangles, in the image's pixels, that together cover every tile of
// `tiles` and little else: few of them, each tight above and below.
void CoverTiles(const TileSet& tiles, std::vector<Rect>& out);

// The enlarged images on their way to the desktop: one buffer, or two that
// take turns so that one is filled while the desktop may still be reading
// the other. A buffer filled now was last filled some images ago, so it is
// given everything that changed since then, not only the latest change;
// the desktop is sent only what changed since it was last sent anything.
class Handover {
  public:
    // `buffers` (1 or 2) of `width` x `height` image pixels, none filled yet.
    void Reset(int buffers, int width, int height);
    // A new image changed these tiles.
    void Note(const TileSet& changed);
    // Something changed that the desktop has not been sent.
    bool Unsent() const { return !unsent_.Empty(); }
    // The buffer to fill next.
    int Next() const { return next_; }
    // Brings buffer Next() (`to`, rows `toPitch` pixels apart) up to date
    // with `image` at `scale`, and gives the rectangles, in image pixels,
    // that the desktop has to be sent from it. That buffer is then the one
    // shown, and the other one is next.
    const std::vector<Rect>& Fill(const KeptImage& image, int scale, std::uint32_t* to,
                                  std::ptrdiff_t toPitch);
    // The buffer shown, -1 before the first fill.
    int Shown() const { return shown_; }

  private:
    int count_ = 1, next_ = 0, shown_ = -1;
    TileSet stale_[2]; // per buffer: what changed since it was last filled
    TileSet unsent_;
    std::vector<Rect> rects_;
};

} // namespace platform::detail
