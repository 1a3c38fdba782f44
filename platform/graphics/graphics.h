// Plain pixel bitmaps and the few drawing calls that picture boxes, the mask painter and the
// movie player share. Colours are &HBBGGRR numbers (red in the low byte); coordinates are
// pixels with y going down; everything is clipped to the bitmap.
#pragma once
#include <bit>
#include <cstdint>
#include <vector>

namespace platform {

static_assert(std::endian::native == std::endian::little, "pixel words assume a little-endian machine");

enum class PixelFormat {
    Bgr24,   // 3 bytes a pixel: blue, green, red
    Bgra32,  // 4 bytes a pixel: blue, green, red, alpha (one 0xAARRGGBB word)
};

struct Point {
    int x = 0;
    int y = 0;
};

// A rectangle of pixels: x and y of its top left corner, its width and height.
struct PixelArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, PixelFormat format = PixelFormat::Bgra32);

    // New size and format; the pixels become opaque black. Does nothing when both already match.
    void resize(int width, int height, PixelFormat format);
    void resize(int width, int height) { resize(width, height, format_); }

    int width() const { return width_; }
    int height() const { return height_; }
    // Bytes from one row to the next; rows start on 4-byte boundaries, as device-independent
    // bitmaps do.
    int stride() const { return stride_; }
    PixelFormat format() const { return format_; }
    int bytesPerPixel() const { return format_ == PixelFormat::Bgra32 ? 4 : 3; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }

    // Writing through a row pointer is not followed: the next clear fills the whole bitmap.
    std::uint8_t* row(int y) {
        untrack();
        changes_.all = true;
        return rawRow(y);
    }
    const std::uint8_t* row(int y) const {
        return reinterpret_cast<const std::uint8_t*>(words_.data()) + static_cast<std::size_t>(y) * stride_;
    }
    // The row as 0xAARRGGBB words; 32-bit bitmaps only.
    std::uint32_t* row32(int y) {
        untrack();
        changes_.all = true;
        return words_.data() + static_cast<std::size_t>(y) * (stride_ / 4);
    }
    const std::uint32_t* row32(int y) const { return words_.data() + static_cast<std::size_t>(y) * (stride_ / 4); }

    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // &HBBGGRR of a pixel; 0 outside the bitmap.
    std::uint32_t pixel(int x, int y) const;
    // Alpha of a pixel: 255 for 24-bit bitmaps, 0 outside the bitmap.
    std::uint8_t alpha(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t colour, std::uint8_t alpha = 255);

    // Drawing writes opaque pixels (alpha 255). A clear in the colour of the last one rewrites only
    // what was drawn since, when that is known (a plot cleared and redrawn many times a second).
    void clear(std::uint32_t colour);
    void fillRect(int x, int y, int width, int height, std::uint32_t colour);
    // Like the desktop's LineTo: from (x0, y0) up to but not including (x1, y1), so that the
    // segments of a polyline meet without drawing a joint twice.
    void line(int x0, int y0, int x1, int y1, std::uint32_t colour);
    // Segments between consecutive points; the last point itself is not drawn.
    void polyline(const std::vector<Point>& points, std::uint32_t colour);

    // For a view showing the bitmap: the areas (whole tiles of kChangeTileWidth x
    // kChangeTileHeight pixels, clipped to the bitmap) whose pixels can have changed since the
    // last call, row by row; false when that is not known (the first call, a new size, an
    // assignment, a write through a row pointer): then any pixel can have. Writes are followed
    // only after a first call, so a bitmap nobody shows pays nothing for it.
    bool takeChanges(std::vector<PixelArea>& out) const;
    static constexpr int kChangeTileWidth = 32, kChangeTileHeight = 16;

    // 0xAARRGGBB word of a colour, as 32-bit rows hold it.
    static std::uint32_t word(std::uint32_t colour, std::uint8_t alpha = 255) {
        return (static_cast<std::uint32_t>(alpha) << 24) | ((colour & 0xFF) << 16) | (colour & 0xFF00) |
               ((colour >> 16) & 0xFF);
    }
    // &HBBGGRR of a 0xAARRGGBB word.
    static std::uint32_t colourOf(std::uint32_t word) {
        return ((word >> 16) & 0xFF) | (word & 0xFF00) | ((word & 0xFF) << 16);
    }

private:
    void fillRow(int y, int x0, int x1, std::uint32_t colour);
    void lineInside(int x0, int y0, int x1, int y1, std::uint32_t colour);
    std::uint8_t* rawRow(int y) { return reinterpret_cast<std::uint8_t*>(words_.data()) + static_cast<std::size_t>(y) * stride_; }
    // Notes words written since the last clear: `count` words from `start`, `step` words apart.
    void drew(std::size_t start, std::size_t count, std::ptrdiff_t step) {
        if (!tracked_) return;
        // Past this many pieces a whole fill is as quick, and the list stays small.
        if (runCount_ == drawn_.size()) {
            untrack();
            return;
        }
        drawn_[runCount_++] = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(count), static_cast<std::int32_t>(step)};
    }
    void untrack() { tracked_ = false; }
    // Notes pixels [x0, x1) x [y0, y1) (inside the bitmap) as changed for takeChanges.
    void changed(long long x0, long long y0, long long x1, long long y1) {
        if (changes_.followed && !changes_.all) changes_.mark(x0, y0, x1, y1);
    }
    // The words of a piece noted by drew(), as changed.
    void changedRun(std::size_t start, std::size_t count, std::ptrdiff_t step);

    // What changed since takeChanges last looked: a flag per tile. A copy of the bitmap knows
    // nothing of what its viewer saw.
    struct Changes {
        Changes() = default;
        Changes(const Changes&) {}
        Changes& operator=(const Changes&) {
            followed = false;
            all = true;
            return *this;
        }
        void mark(long long x0, long long y0, long long x1, long long y1);
        bool followed = false;  // takeChanges was called: writes are noted
        bool all = true;        // anything can have changed
        int across = 0;         // tiles in a row
        std::vector<std::uint8_t> tiles;
    };

    struct Run {
        std::uint32_t start;
        std::uint32_t count;
        std::int32_t step;
    };

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    PixelFormat format_ = PixelFormat::Bgra32;
    std::vector<std::uint32_t> words_;  // word storage keeps 32-bit rows aligned
    // While tracked (32-bit bitmaps after a clear), every word outside drawn_ holds cleanWord_.
    bool tracked_ = false;
    std::uint32_t cleanWord_ = 0;
    std::vector<Run> drawn_;  // room for as many pieces as are worth noting
    std::size_t runCount_ = 0;
    mutable Changes changes_;
};

}  // namespace platform
