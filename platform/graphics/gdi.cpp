#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::gdi {

namespace {

int deviceBitsPerPixel(const Bitmap& b) { return b.format() == PixelFormat::Bgra32 ? 32 : 24; }

// Device rows are padded to 16 bits, not to the 32 of the bitmap's own storage.
int deviceWidthBytes(const Bitmap& b) {
    const int bytes = b.width() * (deviceBitsPerPixel(b) / 8);
    return (bytes + 1) & ~1;
}

long deviceSize(const Bitmap& b) {
    return b.empty() ? 0 : static_cast<long>(deviceWidthBytes(b)) * b.height();
}

}  // namespace

bool PlgBlt(Bitmap& dest, const Point points[3], const Bitmap& src, int xSrc, int ySrc, int width, int height) {
    if (!points || width <= 0 || height <= 0 || dest.empty()) return false;
    const double ox = points[0].x, oy = points[0].y;
    // Destination step for one source pixel to the right (a) and one down (b).
    const double ax = (points[1].x - ox) / width, ay = (points[1].y - oy) / width;
    const double bx = (points[2].x - ox) / height, by = (points[2].y - oy) / height;
    const double det = ax * by - ay * bx;
    if (det == 0) return false;

    const double cornersX[4] = {ox, static_cast<double>(points[1].x), static_cast<double>(points[2].x),
                                points[1].x + points[2].x - ox};
    const double cornersY[4] = {oy, static_cast<double>(points[1].y), static_cast<double>(points[2].y),
                                points[1].y + points[2].y - oy};
    const int x0 = std::max(0, static_cast<int>(std::floor(*std::min_element(cornersX, cornersX + 4))));
    const int x1 = std::min(dest.width() - 1, static_cast<int>(std::ceil(*std::max_element(cornersX, cornersX + 4))));
    const int y0 = std::max(0, static_cast<int>(std::floor(*std::min_element(cornersY, cornersY + 4))));
    const int y1 = std::min(dest.height() - 1, static_cast<int>(std::ceil(*std::max_element(cornersY, cornersY + 4))));

    for (int y = y0; y <= y1; ++y) {
        const double dy = y + 0.5 - oy;
        for (int x = x0; x <= x1; ++x) {
            const double dx = x + 0.5 - ox;
            const double u = (dx * by - dy * bx) / det;
            const double v = (ax * dy - ay * dx) / det;
            if (!(u >= 0 && u < width && v >= 0 && v < height)) continue;
            const int sx = xSrc + static_cast<int>(std::floor(u));
            const int sy = ySrc + static_cast<int>(std::floor(v));
            if (!src.contains(sx, sy)) continue;
            dest.setPixel(x, y, src.pixel(sx, sy));
        }
    }
    return true;
}

bool TransparentBlt(Bitmap& dest, int xDest, int yDest, int wDest, int hDest, const Bitmap& src, int xSrc, int ySrc,
                    int wSrc, int hSrc, COLORREF transparent) {
    if (wDest <= 0 || hDest <= 0 || wSrc <= 0 || hSrc <= 0) return false;
    if (xSrc < 0 || ySrc < 0 || xSrc + wSrc > src.width() || ySrc + hSrc > src.height()) return false;
    const COLORREF key = transparent & 0xFFFFFF;
    const int ya = std::max(0, yDest), yb = std::min(dest.height(), yDest + hDest);
    const int xa = std::max(0, xDest), xb = std::min(dest.width(), xDest + wDest);
    for (int y = ya; y < yb; ++y) {
        const int sy = ySrc + static_cast<int>((static_cast<long long>(y - yDest) * 2 + 1) * hSrc / (2LL * hDest));
        for (int x = xa; x < xb; ++x) {
            const int sx = xSrc + static_cast<int>((static_cast<long long>(x - xDest) * 2 + 1) * wSrc / (2LL * wDest));
            const COLORREF c = src.pixel(sx, sy);
            if (c != key) dest.setPixel(x, y, c);
        }
    }
    return true;
}

int GetObject(const Bitmap& bitmap, int size, BITMAP* out) {
    if (!out || size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP d;
    d.bmType = 0;
    d.bmWidth = bitmap.width();
    d.bmHeight = bitmap.height();
    d.bmWidthBytes = deviceWidthBytes(bitmap);
    d.bmPlanes = 1;
    d.bmBitsPixel = static_cast<std::uint16_t>(deviceBitsPerPixel(bitmap));
    d.bmBits = nullptr;
    *out = d;
    return static_cast<int>(sizeof(BITMAP));
}

long GetBitmapBits(const Bitmap& bitmap, long size, void* bits) {
    if (!bits || size < 1) return 0;
    const long total = std::min(size, deviceSize(bitmap));
    const int rowBytes = deviceWidthBytes(bitmap);
    const int pixelBytes = deviceBitsPerPixel(bitmap) / 8;
    auto* out = static_cast<std::uint8_t*>(bits);
    for (long i = 0; i < total; ++i) {
        const int y = static_cast<int>(i / rowBytes), off = static_cast<int>(i % rowBytes);
        const int x = off / pixelBytes, channel = off % pixelBytes;
        if (x >= bitmap.width()) {
            out[i] = 0;  // row padding
            continue;
        }
        const std::uint32_t c = bitmap.pixel(x, y);
        switch (channel) {
        case 0: out[i] = static_cast<std::uint8_t>(c >> 16); break;  // blue
        case 1: out[i] = static_cast<std::uint8_t>(c >> 8); break;   // green
        case 2: out[i] = static_cast<std::uint8_t>(c); break;        // red
        default: out[i] = 0; break;                                  // unused
        }
    }
    return total;
}

long SetBitmapBits(Bitmap& bitmap, long size, const void* bits) {
    if (!bits || size < 1) return 0;
    const long total = std::min(size, deviceSize(bitmap));
    const int rowBytes = deviceWidthBytes(bitmap);
    const int pixelBytes = deviceBitsPerPixel(bitmap) / 8;
    const auto* in = static_cast<const std::uint8_t*>(bits);
    for (long start = 0; start < total; start += rowBytes) {
        const int y = static_cast<int>(start / rowBytes);
        for (int x = 0; x < bitmap.width(); ++x) {
            const long at = start + static_cast<long>(x) * pixelBytes;
            if (at >= total) break;
            std::uint32_t c = bitmap.pixel(x, y);
            const std::uint8_t* p = in + at;
            const long avail = total - at;
            // A size ending inside a pixel changes only the channels it covers.
            if (avail > 0) c = (c & 0x00FFFF) | (static_cast<std::uint32_t>(p[0]) << 16);
            if (avail > 1) c = (c & 0xFF00FF) | (static_cast<std::uint32_t>(p[1]) << 8);
            if (avail > 2) c = (c & 0xFFFF00) | p[2];
            bitmap.setPixel(x, y, c);
        }
    }
    return total;
}

int lstrlenW(const char16_t* text) {
    if (!text) return 0;
    int n = 0;
    while (text[n]) ++n;
    return n;
}

char16_t* lstrcpyW(char16_t* dest, const char16_t* src) {
    if (!dest || !src) return nullptr;
    std::memcpy(dest, src, (static_cast<std::size_t>(lstrlenW(src)) + 1) * sizeof(char16_t));
    return dest;
}

}  // namespace platform::gdi
