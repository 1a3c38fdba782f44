// The drawing calls the mask painter makes on picture images: parallelogram and key-colour blits,
// raw bitmap bytes.
#include <gtest/gtest.h>

#include <vector>

#include "platform/graphics/gdi.h"

namespace gdi = platform::gdi;
using platform::Bitmap;
using platform::PixelFormat;
using platform::Point;

namespace {

// Every pixel a different colour, so that any misplaced pixel shows.
Bitmap numbered(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, static_cast<std::uint32_t>(x + 1 + (y + 1) * 256));
    return b;
}

TEST(GdiPlgBlt, AxisParallelCornersCopyOrMirrorPixelForPixel) {
    const Bitmap src = numbered(5, 4);
    Bitmap dst(20, 20);
    dst.clear(0xABCDEF);

    const Point shifted[3] = {{3, 2}, {8, 2}, {3, 6}};
    ASSERT_TRUE(gdi::PlgBlt(dst, shifted, src, 0, 0, 5, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.pixel(3 + x, 2 + y), src.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(dst.pixel(2, 2), 0xABCDEFu);  // outside the parallelogram nothing changes
    EXPECT_EQ(dst.pixel(8, 2), 0xABCDEFu);
    EXPECT_EQ(dst.pixel(3, 6), 0xABCDEFu);

    // Upper-left mapped to the right: a mirror image.
    Bitmap mirrored(5, 4);
    const Point flip[3] = {{5, 0}, {0, 0}, {5, 4}};
    ASSERT_TRUE(gdi::PlgBlt(mirrored, flip, src, 0, 0, 5, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(mirrored.pixel(4 - x, y), src.pixel(x, y));
}

TEST(GdiPlgBlt, QuarterTurnScalingAndSourceRectangle) {
    const Bitmap src = numbered(6, 4);
    // Source right goes down, source down goes left: a quarter turn clockwise.
    Bitmap turned(4, 6);
    const Point quarter[3] = {{4, 0}, {4, 6}, {0, 0}};
    ASSERT_TRUE(gdi::PlgBlt(turned, quarter, src, 0, 0, 6, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(turned.pixel(3 - y, x), src.pixel(x, y));

    // Twice the size: each source pixel covers 2 x 2.
    Bitmap doubled(12, 8);
    const Point twice[3] = {{0, 0}, {12, 0}, {0, 8}};
    ASSERT_TRUE(gdi::PlgBlt(doubled, twice, src, 0, 0, 6, 4));
    EXPECT_EQ(doubled.pixel(11, 7), src.pixel(5, 3));
    EXPECT_EQ(doubled.pixel(4, 3), src.pixel(2, 1));

    // Only the part (2, 1)-(4, 3) of the source.
    Bitmap part(2, 2);
    const Point two[3] = {{0, 0}, {2, 0}, {0, 2}};
    ASSERT_TRUE(gdi::PlgBlt(part, two, src, 2, 1, 2, 2));
    EXPECT_EQ(part.pixel(0, 0), src.pixel(2, 1));
    EXPECT_EQ(part.pixel(1, 1), src.pixel(3, 2));
}

TEST(GdiPlgBlt, ClipsAndRefusesWhatHasNoArea) {
    const Bitmap src = numbered(4, 4);
    Bitmap dst(3, 3);
    dst.clear(0x111111);
    const Point overhanging[3] = {{-2, -2}, {2, -2}, {-2, 2}};
    ASSERT_TRUE(gdi::PlgBlt(dst, overhanging, src, 0, 0, 4, 4));
    EXPECT_EQ(dst.pixel(0, 0), src.pixel(2, 2));
    EXPECT_EQ(dst.pixel(1, 1), src.pixel(3, 3));
    EXPECT_EQ(dst.pixel(2, 2), 0x111111u);

    // A source rectangle partly outside the source copies only what exists.
    Bitmap wide(4, 1);
    wide.clear(0x222222);
    const Point row[3] = {{0, 0}, {4, 0}, {0, 1}};
    ASSERT_TRUE(gdi::PlgBlt(wide, row, src, 2, 0, 4, 1));
    EXPECT_EQ(wide.pixel(1, 0), src.pixel(3, 0));
    EXPECT_EQ(wide.pixel(2, 0), 0x222222u);

    const Point point[3] = {{1, 1}, {1, 1}, {1, 1}};
    const Point line[3] = {{0, 0}, {2, 0}, {4, 0}};
    EXPECT_FALSE(gdi::PlgBlt(dst, point, src, 0, 0, 4, 4));
    EXPECT_FALSE(gdi::PlgBlt(dst, line, src, 0, 0, 4, 4));
    EXPECT_FALSE(gdi::PlgBlt(dst, overhanging, src, 0, 0, 0, 4));
    EXPECT_FALSE(gdi::PlgBlt(dst, nullptr, src, 0, 0, 4, 4));
    EXPECT_EQ(dst.pixel(2, 2), 0x111111u);
}

TEST(GdiTransparentBlt, KeyColourLeavesTheDestination) {
    Bitmap src(3, 2);
    src.clear(0xFFFFFF);
    src.setPixel(0, 0, 0x000000);
    src.setPixel(2, 1, 0x0000FF);
    src.setPixel(1, 1, 0xFFFFFE);  // one step from the key: copied
    Bitmap dst(5, 5);
    dst.clear(0x00FF00);
    ASSERT_TRUE(gdi::TransparentBlt(dst, 1, 1, 3, 2, src, 0, 0, 3, 2, 0xFFFFFF));
    EXPECT_EQ(dst.pixel(1, 1), 0x000000u);
    EXPECT_EQ(dst.pixel(3, 2), 0x0000FFu);
    EXPECT_EQ(dst.pixel(2, 2), 0xFFFFFEu);
    EXPECT_EQ(dst.pixel(2, 1), 0x00FF00u);  // key: unchanged
    EXPECT_EQ(dst.pixel(0, 0), 0x00FF00u);
    // The key compares the colour only; the top byte is not part of it.
    ASSERT_TRUE(gdi::TransparentBlt(dst, 1, 1, 3, 2, src, 0, 0, 3, 2, 0xFF000000));
    EXPECT_EQ(dst.pixel(2, 1), 0xFFFFFFu);
}

TEST(GdiTransparentBlt, StretchesClipsAndRefusesBadRectangles) {
    Bitmap src(2, 1);
    src.setPixel(0, 0, 0x0000FF);
    src.setPixel(1, 0, 0xFF0000);
    Bitmap dst(4, 2);
    dst.clear(0);
    ASSERT_TRUE(gdi::TransparentBlt(dst, 0, 0, 4, 2, src, 0, 0, 2, 1, 0xFFFFFF));
    EXPECT_EQ(dst.pixel(1, 1), 0x0000FFu);
    EXPECT_EQ(dst.pixel(2, 0), 0xFF0000u);

    Bitmap small(2, 2);
    small.clear(0x777777);
    ASSERT_TRUE(gdi::TransparentBlt(small, -1, 1, 2, 1, src, 0, 0, 2, 1, 0xFFFFFF));
    EXPECT_EQ(small.pixel(0, 1), 0xFF0000u);
    EXPECT_EQ(small.pixel(0, 0), 0x777777u);

    EXPECT_FALSE(gdi::TransparentBlt(small, 0, 0, 2, 2, src, 1, 0, 2, 1, 0));   // beyond the source
    EXPECT_FALSE(gdi::TransparentBlt(small, 0, 0, 2, 2, src, -1, 0, 1, 1, 0));
    EXPECT_FALSE(gdi::TransparentBlt(small, 0, 0, 0, 2, src, 0, 0, 1, 1, 0));   // no size
    EXPECT_FALSE(gdi::TransparentBlt(small, 0, 0, 2, 2, src, 0, 0, 1, -1, 0));
}

TEST(GdiBitmapBits, DescriptionAndBytesIn32And24BitLayouts) {
    Bitmap b32(3, 2);
    b32.clear(0x332211);
    b32.setPixel(2, 1, 0xCCBBAA);
    gdi::BITMAP info;
    EXPECT_EQ(gdi::GetObject(b32, 4, &info), 0);  // too small for the record
    ASSERT_EQ(gdi::GetObject(b32, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(info.bmWidthBytes, 12);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(info.bmPlanes, 1);

    std::vector<std::uint8_t> bytes(100, 0x5A);
    EXPECT_EQ(gdi::GetBitmapBits(b32, 100, bytes.data()), 24);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4), (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 20, bytes.begin() + 24), (std::vector<std::uint8_t>{0xCC, 0xBB, 0xAA, 0}));
    EXPECT_EQ(bytes[24], 0x5A);  // beyond the bitmap: untouched

    // The unused byte is ignored on the way back; a short size changes only what it covers.
    std::vector<std::uint8_t> in = {1, 2, 3, 0x00, 4, 5};
    EXPECT_EQ(gdi::SetBitmapBits(b32, 6, in.data()), 6);
    EXPECT_EQ(b32.pixel(0, 0), 0x010203u);
    EXPECT_EQ(b32.alpha(0, 0), 255);
    EXPECT_EQ(b32.pixel(1, 0), 0x040511u);
    EXPECT_EQ(b32.pixel(2, 0), 0x332211u);

    Bitmap b24(3, 1, PixelFormat::Bgr24);
    b24.clear(0x0A0B0C);
    ASSERT_EQ(gdi::GetObject(b24, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmBitsPixel, 24);
    EXPECT_EQ(info.bmWidthBytes, 10);  // 9 bytes padded to an even count
    EXPECT_EQ(gdi::GetBitmapBits(b24, 100, bytes.data()), 10);
    EXPECT_EQ(bytes[8], 0x0C);
    EXPECT_EQ(bytes[9], 0);

    EXPECT_EQ(gdi::GetBitmapBits(b24, 0, bytes.data()), 0);
    EXPECT_EQ(gdi::GetBitmapBits(b24, 10, nullptr), 0);
    EXPECT_EQ(gdi::SetBitmapBits(b24, 10, nullptr), 0);
    EXPECT_EQ(gdi::GetBitmapBits(Bitmap(), 10, bytes.data()), 0);
}

TEST(GdiWideText, LengthAndCopy) {
    EXPECT_EQ(gdi::lstrlenW(u"image/gif"), 9);
    EXPECT_EQ(gdi::lstrlenW(u""), 0);
    EXPECT_EQ(gdi::lstrlenW(nullptr), 0);
    char16_t buffer[16] = {};
    EXPECT_EQ(gdi::lstrcpyW(buffer, u"GIF"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"GIF");
    EXPECT_EQ(gdi::lstrcpyW(nullptr, u"x"), nullptr);
}

}  // namespace
