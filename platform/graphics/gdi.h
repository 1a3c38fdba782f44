// The few desktop drawing calls the mask painter makes on picture box images: the parallelogram
// blit, the blit with a key colour, and raw access to a bitmap's bytes; plus the wide-text length
// and copy helpers its encoder lookup uses. A picture box's hDC is its persistent image, so these
// take the bitmaps themselves. Colours are &HBBGGRR; coordinates are pixels, y going down.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/graphics/graphics.h"

namespace platform::gdi {

using COLORREF = std::uint32_t;

// Maps the source rectangle (xSrc, ySrc, width, height) onto the parallelogram whose corners
// points[0], points[1] and points[2] are the images of the source's upper-left, upper-right and
// lower-left corners. Each destination pixel whose centre falls inside takes the source pixel
// under it (nearest neighbour); the rest stays. Pixels outside the destination are clipped, source
// pixels outside the source bitmap are not copied. False, with nothing drawn, for a parallelogram
// without area or a source rectangle without pixels.
bool PlgBlt(Bitmap& dest, const Point points[3], const Bitmap& src, int xSrc, int ySrc, int width, int height);

// Copies the source rectangle onto the destination rectangle (stretched by nearest neighbour when
// the sizes differ), leaving every destination pixel alone whose source pixel has exactly the
// transparent colour. Clipped to the destination. False, with nothing drawn, when a size is not
// positive or the source rectangle does not lie inside the source bitmap.
bool TransparentBlt(Bitmap& dest, int xDest, int yDest, int wDest, int hDest, const Bitmap& src, int xSrc, int ySrc,
                    int wSrc, int hSrc, COLORREF transparent);

// The description of a bitmap as the device keeps it: 32-bit bitmaps hold blue, green, red and an
// unused byte per pixel, 24-bit ones blue, green, red; rows are padded to an even byte count.
struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

// Fills out with the bitmap's description; returns the bytes written, 0 when size is too small
// for the record or out is null.
int GetObject(const Bitmap& bitmap, int size, BITMAP* out);

// Copies up to size bytes of the bitmap's rows (top row first, in the device layout above) into
// bits; returns the number copied, 0 for a null buffer or a size below 1.
long GetBitmapBits(const Bitmap& bitmap, long size, void* bits);

// Writes up to size bytes from bits into the bitmap's rows in the same layout; the unused byte of
// a 32-bit pixel is ignored (the pixel stays opaque). Returns the number of bytes taken.
long SetBitmapBits(Bitmap& bitmap, long size, const void* bits);

// Length of a NUL-terminated 16-bit text (0 for null), and copy of one including its NUL.
int lstrlenW(const char16_t* text);
char16_t* lstrcpyW(char16_t* dest, const char16_t* src);

}  // namespace platform::gdi
