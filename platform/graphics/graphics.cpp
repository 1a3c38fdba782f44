#include "platform/graphics/graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

Bitmap::Bitmap(int width, int height, PixelFormat format) { resize(width, height, format); }

void Bitmap::resize(int width, int height, PixelFormat format) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_ && format == format_ && !words_.empty()) return;
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = (width * bytesPerPixel() + 3) & ~3;
    untrack();
    changes_.all = true;
    words_.assign(static_cast<std::size_t>(stride_ / 4) * static_cast<std::size_t>(height), 0);
    if (format == PixelFormat::Bgra32) std::fill(words_.begin(), words_.end(), 0xFF000000u);
}

// Called for every piece drawn while a view follows the bitmap: kept in this file to be inlined.
inline void Bitmap::Changes::mark(long long x0, long long y0, long long x1, long long y1) {
    if (x0 >= x1 || y0 >= y1) return;
    const int tx0 = static_cast<int>(x0 / kChangeTileWidth), tx1 = static_cast<int>((x1 - 1) / kChangeTileWidth);
    const int ty0 = static_cast<int>(y0 / kChangeTileHeight), ty1 = static_cast<int>((y1 - 1) / kChangeTileHeight);
    if (static_cast<std::size_t>(ty1 + 1) * static_cast<std::size_t>(across) > tiles.size() || tx1 >= across) return;
    for (int ty = ty0; ty <= ty1; ++ty) {
        std::uint8_t* row = tiles.data() + static_cast<std::size_t>(ty) * static_cast<std::size_t>(across);
        for (int tx = tx0; tx <= tx1; ++tx) row[tx] = 1;
    }
}

void Bitmap::changedRun(std::size_t start, std::size_t count, std::ptrdiff_t step) {
    if (count == 0) return;
    // Offsets of tracked bitmaps fit 32 bits (see clear), and a 32-bit division is the quicker.
    const std::uint32_t rowWords = static_cast<std::uint32_t>(stride_ / 4);
    const auto first = static_cast<std::uint32_t>(start);
    const auto last = static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(start) + static_cast<std::ptrdiff_t>(count - 1) * step);
    const long long xa = first % rowWords, ya = first / rowWords, xb = last % rowWords, yb = last / rowWords;
    changes_.mark(std::min(xa, xb), std::min(ya, yb), std::max(xa, xb) + 1, std::max(ya, yb) + 1);
}

std::uint32_t Bitmap::pixel(int x, int y) const {
    if (!contains(x, y)) return 0;
    if (format_ == PixelFormat::Bgra32) return colourOf(row32(y)[x]);
    const std::uint8_t* p = row(y) + x * 3;
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

std::uint8_t Bitmap::alpha(int x, int y) const {
    if (!contains(x, y)) return 0;
    return format_ == PixelFormat::Bgra32 ? static_cast<std::uint8_t>(row32(y)[x] >> 24) : 255;
}

void Bitmap::setPixel(int x, int y, std::uint32_t colour, std::uint8_t alpha) {
    if (!contains(x, y)) return;
    if (format_ == PixelFormat::Bgra32) {
        const std::size_t at = static_cast<std::size_t>(y) * (stride_ / 4) + x;
        words_[at] = word(colour, alpha);
        drew(at, 1, 1);
        changed(x, y, x + 1, y + 1);
        return;
    }
    changed(x, y, x + 1, y + 1);
    std::uint8_t* p = rawRow(y) + x * 3;
    p[0] = static_cast<std::uint8_t>(colour >> 16);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour);
}

namespace {
// Fills `count` units of `unit` bytes whose first unit is already written, by doubling copies:
// the library's block copy is several times faster than a store per pixel.
void spread(std::uint8_t* p, std::size_t count, std::size_t unit) {
    std::size_t done = 1;
    while (2 * done <= count) {
        std::memcpy(p + done * unit, p, done * unit);
        done *= 2;
    }
    std::memcpy(p + done * unit, p, (count - done) * unit);
}

// Up to this many pixels a row is quicker stored one by one than spread by block copies.
constexpr std::size_t kShortRow = 32;

// `count` words from p, `step` words apart: the pixels of a line piece, along a row or a column.
// (Inlined: the plot's pieces are a few pixels each, and there are a million of them a minute.)
[[gnu::always_inline]] inline void storeRun(std::uint32_t* p, std::size_t count, std::ptrdiff_t step, std::uint32_t w) {
    if (step == 1) {
        if (count > kShortRow) {
            *p = w;
            spread(reinterpret_cast<std::uint8_t*>(p), count, 4);
        } else {
            for (std::size_t i = 0; i < count; ++i) p[i] = w;
        }
        return;
    }
    for (; count >= 4; count -= 4, p += 4 * step) {
        p[0] = w;
        p[step] = w;
        p[2 * step] = w;
        p[3 * step] = w;
    }
    for (; count > 0; --count, p += step) *p = w;
}
}  // namespace

void Bitmap::fillRow(int y, int x0, int x1, std::uint32_t colour) {
    if (x0 >= x1) return;
    changed(x0, y, x1, y + 1);
    const std::size_t n = static_cast<std::size_t>(x1 - x0);
    if (format_ == PixelFormat::Bgra32) {
        const std::size_t at = static_cast<std::size_t>(y) * (stride_ / 4) + x0;
        if (n <= kShortRow) {
            // A few pixels (a level piece of a line): plain stores beat the block copies' calls.
            const std::uint32_t w = word(colour);
            std::uint32_t* p = words_.data() + at;
            for (std::size_t i = 0; i < n; ++i) p[i] = w;
        } else {
            words_[at] = word(colour);
            spread(rawRow(y) + static_cast<std::size_t>(x0) * 4, n, 4);
        }
        drew(at, n, 1);
        return;
    }
    std::uint8_t* p = rawRow(y) + static_cast<std::size_t>(x0) * 3;
    p[0] = static_cast<std::uint8_t>(colour >> 16);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour);
    spread(p, n, 3);
}

void Bitmap::clear(std::uint32_t colour) {
    const std::uint32_t w = word(colour);
    if (tracked_ && w == cleanWord_) {
        // Everything else already holds the colour: only the drawn words are put back.
        std::uint32_t* words = words_.data();
        for (std::size_t i = 0; i < runCount_; ++i) {
            const Run& r = drawn_[i];
            storeRun(words + r.start, r.count, r.step, w);
            if (changes_.followed && !changes_.all) changedRun(r.start, r.count, r.step);
        }
        runCount_ = 0;
        return;
    }
    untrack();
    changes_.all = true;
    fillRect(0, 0, width_, height_, colour);
    // Followed in 32-bit bitmaps, whose words fit the pieces' 32-bit offsets.
    const std::size_t words = words_.size();
    tracked_ = format_ == PixelFormat::Bgra32 && words < (std::size_t{1} << 31);
    if (tracked_) drawn_.resize(std::clamp<std::size_t>(words / 8, 64, 4096));
    runCount_ = 0;
    cleanWord_ = w;
}

void Bitmap::fillRect(int x, int y, int width, int height, std::uint32_t colour) {
    // 64-bit ends: a huge width must not wrap round into the bitmap.
    const long long x0 = std::max<long long>(x, 0), y0 = std::max<long long>(y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(x) + std::max(width, 0), width_);
    const long long y1 = std::min<long long>(static_cast<long long>(y) + std::max(height, 0), height_);
    if (x0 >= x1 || y0 >= y1) return;
    fillRow(static_cast<int>(y0), static_cast<int>(x0), static_cast<int>(x1), colour);
    changed(x0, y0, x1, y1);
    // The other rows are copies of the first.
    const std::size_t offset = static_cast<std::size_t>(x0) * bytesPerPixel();
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * bytesPerPixel();
    const std::uint8_t* first = rawRow(static_cast<int>(y0)) + offset;
    for (long long yy = y0 + 1; yy < y1; ++yy) {
        std::memcpy(rawRow(static_cast<int>(yy)) + offset, first, bytes);
        if (tracked_) drew(static_cast<std::size_t>(yy) * (stride_ / 4) + static_cast<std::size_t>(x0), static_cast<std::size_t>(x1 - x0), 1);
    }
}

namespace {
// Floor division for a positive divisor.
long long floorDiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

void Bitmap::line(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    // Both ends inside a 32-bit bitmap (a plot's segments): nothing to clip, so the pieces follow
    // each other straight in the words.
    if (format_ == PixelFormat::Bgra32 && static_cast<unsigned>(x0) < static_cast<unsigned>(width_) &&
        static_cast<unsigned>(x1) < static_cast<unsigned>(width_) && static_cast<unsigned>(y0) < static_cast<unsigned>(height_) &&
        static_cast<unsigned>(y1) < static_cast<unsigned>(height_))
        return lineInside(x0, y0, x1, y1, colour);
    const long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (steps == 0) return;
    // Step i puts the major coordinate at m0 + i*s and the minor one at the rounded point of the
    // ideal line, so a clipped line lights exactly the pixels the whole line would.
    const long long m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
    const long long s = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const long long dn = xMajor ? dy : dx;
    const long long majorSize = xMajor ? width_ : height_, minorSize = xMajor ? height_ : width_;
    long long first = 0, last = steps;  // [first, last)
    if (s > 0) {
        first = std::max(first, -m0);
        last = std::min(last, majorSize - m0);
    } else {
        first = std::max(first, m0 - majorSize + 1);
        last = std::min(last, m0 + 1);
    }
    if (dy == 0) {
        // A level line (the plot's marks): the same pixels in one fill of the row.
        if (y0 < 0 || y0 >= height_ || first >= last) return;
        const long long a = s > 0 ? m0 + first : m0 - last + 1, b = s > 0 ? m0 + last : m0 - first + 1;
        fillRow(y0, static_cast<int>(a), static_cast<int>(b), colour);
        return;
    }
    if (first >= last) return;
    // The minor offset floor((2 i dn + steps) / (2 steps)) kept as quotient and remainder. As
    // |2 dn| <= 2 steps it moves by at most one a step, so the line is drawn as runs of steps that
    // share it: straight pieces of a row or a column.
    const long long den = 2 * steps, inc = 2 * dn;
    const long long num = 2 * first * dn + steps;
    long long q = floorDiv(num, den);
    long long r = num - q * den;
    const bool wide = format_ == PixelFormat::Bgra32;
    const std::uint32_t w = word(colour);
    const long long rowWords = stride_ / 4;
    for (long long i = first; i < last;) {
        // Steps until the offset changes: the first k with r + k inc outside [0, 2 steps).
        // (32-bit division where the numbers allow: several times quicker than 64-bit.)
        auto divide = [small = den < (1LL << 31)](long long a, long long b) {
            return small ? static_cast<long long>(static_cast<std::uint32_t>(a) / static_cast<std::uint32_t>(b)) : a / b;
        };
        long long run = last - i;
        if (inc > 0)
            run = std::min(run, divide(den - r + inc - 1, inc));
        else if (inc < 0)
            run = std::min(run, divide(r, -inc) + 1);
        const long long n = n0 + q;
        if (n >= 0 && n < minorSize) {
            const long long m = m0 + i * s;
            if (wide) {
                // Along a row or down a column, up or down.
                std::uint32_t* p = words_.data() + (xMajor ? n * rowWords + m : m * rowWords + n);
                const long long step = xMajor ? s : s * rowWords;
                storeRun(p, static_cast<std::size_t>(run), static_cast<std::ptrdiff_t>(step), w);
                drew(static_cast<std::size_t>(p - words_.data()), static_cast<std::size_t>(run), static_cast<std::ptrdiff_t>(step));
                if (changes_.followed && !changes_.all) {
                    const long long mEnd = m + (run - 1) * s, mLo = std::min(m, mEnd), mHi = std::max(m, mEnd) + 1;
                    if (xMajor)
                        changes_.mark(mLo, n, mHi, n + 1);
                    else
                        changes_.mark(n, mLo, n + 1, mHi);
                }
            } else {
                for (long long k = 0; k < run; ++k) {
                    const long long mk = m + k * s;
                    setPixel(static_cast<int>(xMajor ? mk : n), static_cast<int>(xMajor ? n : mk), colour);
                }
            }
        }
        i += run;
        r += run * inc;
        if (r >= den) {
            r -= den;
            ++q;
        } else if (r < 0) {
            r += den;
            --q;
        }
    }
}

bool Bitmap::takeChanges(std::vector<PixelArea>& out) const {
    out.clear();
    const int across = (width_ + kChangeTileWidth - 1) / kChangeTileWidth;
    const int down = (height_ + kChangeTileHeight - 1) / kChangeTileHeight;
    const std::size_t tiles = static_cast<std::size_t>(across) * static_cast<std::size_t>(down);
    const bool known = changes_.followed && !changes_.all && changes_.across == across && changes_.tiles.size() == tiles;
    if (known) {
        // Each row of tiles as runs of changed tiles, one area each.
        for (int ty = 0; ty < down; ++ty) {
            const std::uint8_t* row = changes_.tiles.data() + static_cast<std::size_t>(ty) * across;
            const int y = ty * kChangeTileHeight, h = std::min(kChangeTileHeight, height_ - y);
            for (int tx = 0; tx < across;) {
                if (!row[tx]) {
                    ++tx;
                    continue;
                }
                int end = tx + 1;
                while (end < across && row[end]) ++end;
                const int x = tx * kChangeTileWidth;
                out.push_back({x, y, std::min(end * kChangeTileWidth, width_) - x, h});
                tx = end;
            }
        }
        std::fill(changes_.tiles.begin(), changes_.tiles.end(), 0);
    } else {
        changes_.across = across;
        changes_.tiles.assign(tiles, 0);
    }
    changes_.followed = true;
    changes_.all = false;
    return known;
}

void Bitmap::lineInside(int x0, int y0, int x1, int y1, std::uint32_t colour) {
    // The same pixels as the general path with first = 0 and last = steps: the minor offset starts
    // at floor(steps / (2 steps)) = 0 with remainder steps, and the ends bound every point.
    const int dx = x1 - x0, dy = y1 - y0;
    const std::uint32_t w = word(colour);
    const std::ptrdiff_t rowWords = stride_ / 4;
    std::uint32_t* const base = words_.data();
    if (dy == 0) {
        if (dx > 0) fillRow(y0, x0, x1, colour);
        if (dx < 0) fillRow(y0, x1 + 1, x0 + 1, colour);
        return;
    }
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const long long steps = xMajor ? std::abs(dx) : std::abs(dy);
    const long long dn = xMajor ? dy : dx;
    const std::ptrdiff_t majorStep = (xMajor ? 1 : rowWords) * ((xMajor ? dx : dy) > 0 ? 1 : -1);
    std::uint32_t* p = base + static_cast<std::ptrdiff_t>(y0) * rowWords + x0;
    if (dn == 0) {
        storeRun(p, static_cast<std::size_t>(steps), majorStep, w);
        drew(static_cast<std::size_t>(p - base), static_cast<std::size_t>(steps), majorStep);
        if (changes_.followed && !changes_.all) changedRun(static_cast<std::size_t>(p - base), static_cast<std::size_t>(steps), majorStep);
        return;
    }
    // The general path's quotient and remainder, the quotient kept as the position of p.
    const long long den = 2 * steps, inc = 2 * dn;
    const std::ptrdiff_t minorUnit = xMajor ? rowWords : 1;
    auto divide = [small = den < (1LL << 31)](long long a, long long b) {
        return small ? static_cast<long long>(static_cast<std::uint32_t>(a) / static_cast<std::uint32_t>(b)) : a / b;
    };
    long long r = steps;
    for (long long i = 0;;) {
        long long run = inc > 0 ? divide(den - r + inc - 1, inc) : divide(r, -inc) + 1;
        if (run > steps - i) run = steps - i;
        storeRun(p, static_cast<std::size_t>(run), majorStep, w);
        drew(static_cast<std::size_t>(p - base), static_cast<std::size_t>(run), majorStep);
        if (changes_.followed && !changes_.all) changedRun(static_cast<std::size_t>(p - base), static_cast<std::size_t>(run), majorStep);
        if ((i += run) >= steps) return;
        p += run * majorStep;
        r += run * inc;
        if (r >= den) {
            r -= den;
            p += minorUnit;
        } else if (r < 0) {
            r += den;
            p -= minorUnit;
        }
    }
}

void Bitmap::polyline(const std::vector<Point>& points, std::uint32_t colour) {
    for (std::size_t i = 1; i < points.size(); ++i)
        line(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, colour);
}

}  // namespace platform
