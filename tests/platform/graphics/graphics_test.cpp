// Bitmaps and their drawing calls: layout in memory, colours, clipping, lines as the desktop
// draws them.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/graphics/graphics.h"

namespace platform {
namespace {

TEST(Bitmap, RowsAreAlignedAndPixelsLaidOutBlueFirst) {
    Bitmap narrow(3, 2, PixelFormat::Bgr24);
    EXPECT_EQ(narrow.stride(), 12);  // 9 bytes rounded up
    Bitmap wide(3, 2, PixelFormat::Bgra32);
    EXPECT_EQ(wide.stride(), 12);
    narrow.clear(0x0000FF);  // &HFF is red
    wide.clear(0x0000FF);
    for (const Bitmap* b : {&narrow, &wide}) {
        EXPECT_EQ(b->pixel(2, 1), 0x0000FFu);
        EXPECT_EQ(b->row(1)[2 * b->bytesPerPixel() + 0], 0);    // blue
        EXPECT_EQ(b->row(1)[2 * b->bytesPerPixel() + 2], 255);  // red
    }
    EXPECT_EQ(wide.row32(0)[0], 0xFFFF0000u);
    EXPECT_EQ(wide.alpha(0, 0), 255);
    wide.setPixel(1, 1, 0x102030, 7);
    EXPECT_EQ(wide.alpha(1, 1), 7);
    EXPECT_EQ(wide.pixel(1, 1), 0x102030u);
    EXPECT_EQ(Bitmap::colourOf(Bitmap::word(0xABCDEF)), 0xABCDEFu);
}

TEST(Bitmap, ResizeKeepsOrClearsAndOutsideReadsAreZero) {
    Bitmap b(4, 4);
    EXPECT_EQ(b.pixel(0, 0), 0u);  // new pixels are opaque black
    EXPECT_EQ(b.alpha(0, 0), 255);
    b.clear(0x123456);
    b.resize(4, 4);
    EXPECT_EQ(b.pixel(3, 3), 0x123456u);
    b.resize(5, 4);
    EXPECT_EQ(b.pixel(3, 3), 0u);
    EXPECT_EQ(b.pixel(-1, 0), 0u);
    EXPECT_EQ(b.pixel(5, 0), 0u);
    EXPECT_EQ(b.alpha(0, 4), 0);
    b.setPixel(7, 7, 0xFFFFFF);  // ignored
    b.resize(-3, 2);
    EXPECT_TRUE(b.empty());
    b.clear(1);
    b.line(0, 0, 10, 10, 1);
}

TEST(Bitmap, FillRectClipsToTheBitmap) {
    Bitmap b(10, 5, PixelFormat::Bgr24);
    b.fillRect(-3, -3, 5, 5, 0xFF);
    b.fillRect(8, 3, INT_MAX, INT_MAX, 0xFF00);
    b.fillRect(INT_MIN, 0, 1, 1, 0xFF0000);
    b.fillRect(4, 2, -2, 2, 0xFF0000);
    int red = 0, green = 0, other = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) {
            const auto c = b.pixel(x, y);
            red += c == 0xFF;
            green += c == 0xFF00;
            other += c != 0 && c != 0xFF && c != 0xFF00;
        }
    EXPECT_EQ(red, 4);    // x 0..1, y 0..1
    EXPECT_EQ(green, 4);  // x 8..9, y 3..4
    EXPECT_EQ(other, 0);
}

TEST(Bitmap, FillsOfEveryWidthMatchPixelByPixelDrawingAndSpareTheRest) {
    // Widths round the powers of two the fill doubles by, at odd offsets, in both formats; the
    // pixels outside and the padding at the end of each row keep their bytes.
    for (PixelFormat format : {PixelFormat::Bgr24, PixelFormat::Bgra32}) {
        for (int w = 1; w <= 37; ++w) {
            Bitmap b(41, 4, format), expected(41, 4, format);
            for (Bitmap* m : {&b, &expected})
                for (int y = 0; y < 4; ++y)
                    for (int i = 0; i < m->stride(); ++i) m->row(y)[i] = static_cast<std::uint8_t>(0xA5 ^ i ^ (y << 4));
            b.fillRect(3, 1, w, 2, 0x3366CC);
            for (int y = 1; y < 3; ++y)
                for (int x = 3; x < std::min(41, 3 + w); ++x) expected.setPixel(x, y, 0x3366CC);
            for (int y = 0; y < 4; ++y)
                ASSERT_EQ(std::memcmp(b.row(y), expected.row(y), b.stride()), 0)
                    << "width " << w << ", row " << y << ", " << b.bytesPerPixel() << " bytes a pixel";
        }
    }
}

std::vector<Point> lit(const Bitmap& b) {
    std::vector<Point> pts;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y)) pts.push_back({x, y});
    return pts;
}

TEST(Bitmap, LinesLeaveOutTheirEndPoint) {
    Bitmap b(10, 10);
    b.line(1, 1, 5, 1, 0xFF);
    EXPECT_EQ(lit(b).size(), 4u);
    EXPECT_EQ(b.pixel(5, 1), 0u);
    b.clear(0);
    b.line(5, 5, 5, 5, 0xFF);  // zero length draws nothing
    EXPECT_TRUE(lit(b).empty());
    b.line(0, 0, 4, 2, 0xFF);  // shallow: one pixel per column
    const auto pts = lit(b);
    ASSERT_EQ(pts.size(), 4u);
    for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_EQ(pts[i].x, static_cast<int>(i));
    b.clear(0);
    b.line(3, 9, 3, 0, 0xFF);  // upwards, steep
    EXPECT_EQ(lit(b).size(), 9u);
    EXPECT_EQ(b.pixel(3, 0), 0u);
}

TEST(Bitmap, ClippedLinesLightTheSamePixelsAsWholeOnes) {
    Bitmap big(300, 300), small(100, 100);
    const int lines[][4] = {{-150, -40, 250, 180}, {290, 10, -20, 240}, {50, -100, 60, 260}, {-1000000, 50, 1000000, 51},
                            // level ones, both ways, cut at either end or inside
                            {-1000000, 50, 1000000, 50}, {150, 30, -50, 30}, {-50, 99, 40, 99}, {99, 0, 10, 0}};
    for (const auto& l : lines) {
        big.clear(0);
        small.clear(0);
        // The small bitmap is the window x, y 100..199 of the big one.
        big.line(l[0] + 100, l[1] + 100, l[2] + 100, l[3] + 100, 0xFF);
        small.line(l[0], l[1], l[2], l[3], 0xFF);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) ASSERT_EQ(small.pixel(x, y), big.pixel(x + 100, y + 100)) << x << "," << y;
    }
    // Far-off lines cost nothing and draw nothing.
    small.clear(0);
    small.line(INT_MIN, INT_MIN, INT_MAX, INT_MIN, 0xFF);
    small.line(-2000000000, 5, -1000000000, 5, 0xFF);
    EXPECT_TRUE(lit(small).empty());
}

// The pixels a line lights, worked out one by one: step i of the longer axis, the shorter
// coordinate rounded from the ideal line, half-way points rounding up.
std::vector<Point> idealLine(int x0, int y0, int x1, int y1, int width, int height) {
    std::vector<Point> pts;
    const long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    for (long long i = 0; i < steps; ++i) {
        const long long num = 2 * i * (xMajor ? dy : dx) + steps, den = 2 * steps;
        const long long minor = (num >= 0 ? num / den : -((-num + den - 1) / den)) + (xMajor ? y0 : x0);
        const long long major = (xMajor ? x0 : y0) + i * ((xMajor ? dx : dy) > 0 ? 1 : -1);
        const long long x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (x >= 0 && y >= 0 && x < width && y < height) pts.push_back({static_cast<int>(x), static_cast<int>(y)});
    }
    std::sort(pts.begin(), pts.end(), [](Point a, Point b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return pts;
}

TEST(Bitmap, LinesLightThePixelsOfTheIdealLine) {
    std::uint64_t seed = 12345;
    auto next = [&](int lo, int hi) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return lo + static_cast<int>((seed >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
    };
    for (PixelFormat format : {PixelFormat::Bgra32, PixelFormat::Bgr24}) {
        Bitmap b(40, 30, format);
        for (int n = 0; n < 4000; ++n) {
            // Mostly near the bitmap, some far beyond it, all directions and slopes.
            const int reach = n % 10 == 0 ? 5000 : 60;
            const int x0 = next(-reach, reach), y0 = next(-reach, reach), x1 = next(-reach, reach),
                      y1 = next(-reach, reach);
            b.clear(0);
            b.line(x0, y0, x1, y1, 0xFF);
            const auto got = lit(b);
            const auto want = idealLine(x0, y0, x1, y1, b.width(), b.height());
            ASSERT_EQ(got.size(), want.size()) << x0 << "," << y0 << " to " << x1 << "," << y1;
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y)
                    << x0 << "," << y0 << " to " << x1 << "," << y1 << ": pixel " << i;
        }
    }
}

// Lines with both ends inside take a path of their own in 32-bit bitmaps: every slope and
// direction, level and upright, short and across the whole bitmap, against the ideal line and
// against the 24-bit bitmap's pixel by pixel drawing; a clear afterwards leaves nothing behind.
TEST(Bitmap, LinesWithBothEndsInsideLightThePixelsOfTheIdealLine) {
    std::uint64_t seed = 99;
    auto next = [&](int lo, int hi) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return lo + static_cast<int>((seed >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
    };
    Bitmap wide(47, 31, PixelFormat::Bgra32), narrow(47, 31, PixelFormat::Bgr24);
    for (int n = 0; n < 6000; ++n) {
        int x0 = next(0, 46), y0 = next(0, 30), x1 = next(0, 46), y1 = next(0, 30);
        if (n % 7 == 1) y1 = y0;                       // level
        if (n % 7 == 2) x1 = x0;                       // upright
        if (n % 7 == 3) x1 = x0 + (y1 - y0) * (n % 2 ? 1 : -1);  // diagonal (may leave: general path)
        if (n % 7 == 4) x1 = std::clamp(x0 + next(-4, 4), 0, 46);  // a plot's steep short piece
        wide.clear(0xC0C0C0);
        narrow.clear(0xC0C0C0);
        wide.line(x0, y0, x1, y1, 0xFF);
        narrow.line(x0, y0, x1, y1, 0xFF);
        std::vector<Point> got;
        for (int y = 0; y < wide.height(); ++y)
            for (int x = 0; x < wide.width(); ++x) {
                ASSERT_EQ(wide.pixel(x, y), narrow.pixel(x, y)) << x0 << "," << y0 << " to " << x1 << "," << y1;
                if (wide.pixel(x, y) == 0xFFu) got.push_back({x, y});
            }
        const auto want = idealLine(x0, y0, x1, y1, wide.width(), wide.height());
        ASSERT_EQ(got.size(), want.size()) << x0 << "," << y0 << " to " << x1 << "," << y1;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y) << x0 << "," << y0 << " to " << x1 << "," << y1;
    }
    // A plot: a polyline across the whole bitmap, cleared and drawn again many times.
    for (int round = 0; round < 50; ++round) {
        wide.clear(0xC0C0C0);
        std::vector<Point> pts;
        for (int x = 0; x < 47; x += 3) pts.push_back({x, next(0, 30)});
        wide.polyline(pts, 0xFF);
        narrow.clear(0xC0C0C0);
        narrow.polyline(pts, 0xFF);
        for (int y = 0; y < wide.height(); ++y)
            for (int x = 0; x < wide.width(); ++x) ASSERT_EQ(wide.pixel(x, y), narrow.pixel(x, y)) << "round " << round;
    }
    wide.clear(0xC0C0C0);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x) ASSERT_EQ(wide.pixel(x, y), 0xC0C0C0u);
}

TEST(Bitmap, PolylineDrawsEachJointOnceAndNotTheLastPoint) {
    Bitmap b(10, 10, PixelFormat::Bgr24);
    b.polyline({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 0xFF);
    EXPECT_EQ(lit(b).size(), 12u);
    EXPECT_EQ(b.pixel(4, 0), 0xFFu);
    EXPECT_EQ(b.pixel(0, 4), 0u);
    b.polyline({}, 0xFF);
    b.polyline({{1, 1}}, 0xFF);
    EXPECT_EQ(lit(b).size(), 12u);
}

// A clear in the colour of the one before puts back only what was drawn since; every way of
// drawing, overflowing the list of drawn pieces, writing through row pointers, copies, resizing
// and a change of colour must still leave exactly what a fill of every pixel leaves.
TEST(Bitmap, ClearsAfterDrawingEqualAFillOfEveryPixel) {
    unsigned seed = 7;
    auto next = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + static_cast<int>((seed >> 8) % static_cast<unsigned>(hi - lo + 1));
    };
    auto filledWith = [](const Bitmap& b, std::uint32_t colour) {
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x)
                if (b.pixel(x, y) != colour || b.alpha(x, y) != 255) return false;
        return true;
    };
    const std::uint32_t colours[] = {0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0x000000, 0xC0C0C0};
    for (PixelFormat format : {PixelFormat::Bgra32, PixelFormat::Bgr24}) {
        Bitmap b(61, 37, format);
        for (int round = 0; round < 400; ++round) {
            const std::uint32_t colour = colours[round % 5];
            b.clear(colour);
            ASSERT_TRUE(filledWith(b, colour)) << "round " << round;
            const int kind = round % 8;
            const int pieces = kind == 7 ? 2000 : next(0, 40);  // kind 7 overflows the list
            for (int n = 0; n < pieces; ++n) {
                const std::uint32_t ink = static_cast<std::uint32_t>(next(0, 0xFFFFFF));
                switch (next(0, kind == 6 ? 4 : 3)) {
                case 0: b.line(next(-80, 140), next(-80, 120), next(-80, 140), next(-80, 120), ink); break;
                case 1: b.setPixel(next(-2, 62), next(-2, 38), ink, static_cast<std::uint8_t>(next(0, 255))); break;
                case 2: b.fillRect(next(-10, 60), next(-10, 36), next(0, 30), next(0, 20), ink); break;
                case 3: b.polyline({{next(0, 60), next(0, 36)}, {next(0, 60), next(0, 36)}, {next(0, 60), next(0, 36)}}, ink); break;
                default: b.row(next(0, 36))[next(0, 60 * 3)] = 0x5A; break;  // not a drawing call
                }
            }
            if (kind == 5) {
                Bitmap copy = b;
                copy.clear(colour);
                ASSERT_TRUE(filledWith(copy, colour)) << "copy, round " << round;
            }
            if (kind == 4 && round % 3 == 0) b.resize(61 - round % 2, 37);
            if (kind == 4 && round % 3 == 1) b.resize(61, 37);
        }
    }
}

// A view asks what changed since it last looked and redraws only that: every pixel that differs
// from what it saw must lie in an area it is given, whatever drew it.
TEST(Bitmap, ChangesTakenCoverEveryPixelThatDiffers) {
    unsigned seed = 11;
    auto next = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + static_cast<int>((seed >> 8) % static_cast<unsigned>(hi - lo + 1));
    };
    auto inAreas = [](const std::vector<PixelArea>& areas, int x, int y) {
        return std::any_of(areas.begin(), areas.end(), [&](const PixelArea& a) {
            return x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height;
        });
    };
    std::vector<PixelArea> areas;
    for (PixelFormat format : {PixelFormat::Bgra32, PixelFormat::Bgr24}) {
        Bitmap b(77, 41, format);
        EXPECT_FALSE(b.takeChanges(areas)) << "the first look knows nothing";
        ASSERT_TRUE(b.takeChanges(areas));
        EXPECT_TRUE(areas.empty());
        b.line(3, 2, 9, 2, 0xFF);
        ASSERT_TRUE(b.takeChanges(areas));
        ASSERT_EQ(areas.size(), 1u);
        EXPECT_EQ(areas[0].x, 0);
        EXPECT_EQ(areas[0].y, 0);
        EXPECT_EQ(areas[0].width, Bitmap::kChangeTileWidth);
        EXPECT_EQ(areas[0].height, Bitmap::kChangeTileHeight);
        b.fillRect(70, 35, 20, 20, 0xFF00);
        ASSERT_TRUE(b.takeChanges(areas));
        ASSERT_EQ(areas.size(), 1u) << "clipped to the bitmap";
        EXPECT_EQ(areas[0].x + areas[0].width, 77);
        EXPECT_EQ(areas[0].y + areas[0].height, 41);

        Bitmap seen = b;
        for (int round = 0; round < 600; ++round) {
            const std::uint32_t back = round % 7 == 6 ? 0x000000 : 0xC0C0C0;
            const int ops = next(0, round % 9 == 8 ? 900 : 12);  // now and then more pieces than a clear notes
            bool known = true;
            for (int n = 0; n < ops; ++n) {
                const std::uint32_t ink = static_cast<std::uint32_t>(next(0, 0xFFFFFF));
                switch (next(0, 9)) {
                case 0:
                case 1: b.line(next(-90, 160), next(-90, 130), next(-90, 160), next(-90, 130), ink); break;
                case 2: b.setPixel(next(-2, 78), next(-2, 42), ink, static_cast<std::uint8_t>(next(0, 255))); break;
                case 3: b.fillRect(next(-10, 76), next(-10, 40), next(0, 30), next(0, 20), ink); break;
                case 4: b.polyline({{next(0, 76), next(0, 40)}, {next(0, 76), next(0, 40)}, {next(0, 76), next(0, 40)}}, ink); break;
                case 5:
                case 6: b.clear(back); break;
                case 7:
                    if (next(0, 20) == 0) {
                        b.row(next(0, 40))[next(0, 76)] ^= 0x5A;  // not a drawing call
                        known = false;
                    }
                    break;
                case 8:
                    if (next(0, 30) == 0) {
                        Bitmap other(77, 41, format);
                        other.clear(ink);
                        b = other;
                        known = false;
                    }
                    break;
                default:
                    if (next(0, 30) == 0) {
                        b.resize(77 - next(0, 1), 41, format);
                        known = known && b.width() == seen.width();
                    }
                    break;
                }
            }
            const bool told = b.takeChanges(areas);
            if (!known) {
                EXPECT_FALSE(told) << "round " << round;
            }
            if (told) {
                ASSERT_EQ(b.width(), seen.width());
                for (const PixelArea& a : areas) {
                    ASSERT_TRUE(a.x >= 0 && a.y >= 0 && a.width > 0 && a.height > 0 && a.x + a.width <= b.width() &&
                                a.y + a.height <= b.height())
                        << "round " << round;
                }
                for (int y = 0; y < b.height(); ++y)
                    for (int x = 0; x < b.width(); ++x)
                        if (b.pixel(x, y) != seen.pixel(x, y) || b.alpha(x, y) != seen.alpha(x, y)) {
                            ASSERT_TRUE(inAreas(areas, x, y)) << "round " << round << " pixel " << x << "," << y;
                        }
            }
            seen = b;
        }
    }
}

}  // namespace
}  // namespace platform
