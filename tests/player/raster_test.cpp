// Span blending and polygon filling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "player/raster.h"

namespace player {
namespace {

using platform::Bitmap;
using platform::PixelFormat;

int count(const Bitmap& b, std::uint32_t c) {
    int n = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) n += b.pixel(x, y) == c;
    return n;
}

TEST(Raster, BlendingRoundsAndAgreesBetweenFormats) {
    for (PixelFormat f : {PixelFormat::Bgra32, PixelFormat::Bgr24}) {
        Bitmap b(4, 1, f);
        b.clear(0xFFFFFF);
        blendSpan(b, 0, 0, 1, {0, 0, 0, 128});
        blendSpan(b, 0, 1, 2, {0, 0, 0, 255});
        blendSpan(b, 0, 2, 3, {0, 0, 0, 0});
        blendSpan(b, 0, 3, 4, {255, 0, 51, 1});
        EXPECT_EQ(b.pixel(0, 0), 0x7F7F7Fu);  // 255 * 127 / 255
        EXPECT_EQ(b.pixel(1, 0), 0u);
        EXPECT_EQ(b.pixel(2, 0), 0xFFFFFFu);
        EXPECT_EQ(b.pixel(3, 0), 0xFEFEFFu);  // (255 * 254 + 51) / 255 = 254.2
        EXPECT_EQ(b.alpha(0, 0), 255);
    }
}

TEST(Raster, PixelCentresDecideAndEdgesTile) {
    Bitmap b(20, 20);
    b.clear(0);
    ScanFiller f;
    // A square from 2.5 to 7.5: the pixels whose centres lie inside, 2..6 each way.
    f.addPolygon({{2.5, 2.5}, {7.5, 2.5}, {7.5, 7.5}, {2.5, 7.5}});
    f.fill(b, {255, 255, 255, 255});
    EXPECT_EQ(count(b, 0xFFFFFF), 25);
    EXPECT_EQ(b.pixel(2, 2), 0xFFFFFFu);  // centre 2.5 lies on the left and top edges: inside
    EXPECT_EQ(b.pixel(7, 7), 0u);         // centre 7.5 on the right and bottom edges: outside
    EXPECT_TRUE(f.empty());

    // A fan of translucent triangles round a point covers its square exactly once.
    b.clear(0);
    const Pt c{13.3, 13.7};
    const Pt ring[] = {{10, 10}, {17, 10}, {17, 17}, {10, 17}};
    for (int i = 0; i < 4; ++i) {
        f.addPolygon({c, ring[i], ring[(i + 1) % 4]});
        f.fill(b, {0, 0, 255, 128});
    }
    EXPECT_EQ(count(b, 0x800000), 49);
}

TEST(Raster, NonzeroWindingUnitesSameTurnsAndCutsOppositeOnes) {
    Bitmap b(30, 10);
    ScanFiller f;
    auto square = [](double x0, double y0, double x1, double y1, bool clockwise) {
        std::vector<Pt> p = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        if (!clockwise) std::reverse(p.begin(), p.end());
        return p;
    };
    b.clear(0);
    f.addPolygon(square(0, 0, 6, 6, true));
    f.addPolygon(square(3, 3, 9, 9, true));
    f.fill(b, {0, 0, 255, 128});
    EXPECT_EQ(count(b, 0x800000), 36 + 36 - 9);  // overlap blended once
    b.clear(0);
    f.addPolygon(square(0, 0, 9, 9, true));
    f.addPolygon(square(3, 3, 6, 6, false));
    f.fill(b, {255, 255, 255, 255});
    EXPECT_EQ(count(b, 0xFFFFFF), 81 - 9);
}

TEST(Raster, NonsenseCoordinatesAreHarmless) {
    Bitmap b(10, 10);
    b.clear(0);
    ScanFiller f;
    f.addPolygon({{NAN, 0}, {5, INFINITY}, {1e300, -1e300}});
    f.addPolygon({{-1e12, -1e12}, {1e12, -1e12}, {1e12, 1e12}, {-1e12, 1e12}});
    f.fill(b, {255, 255, 255, 255});
    EXPECT_EQ(count(b, 0xFFFFFF), 100);
    addStroke(f, {{0, 0}, {0, 0}, {NAN, 3}}, 4);
    f.fill(b, {1, 1, 1, 255});
}

TEST(Raster, StrokesAreAtLeastOnePixelAndJoinRound) {
    Bitmap b(40, 40);
    b.clear(0);
    ScanFiller f;
    addStroke(f, {{5, 10.5}, {35, 10.5}}, 0.1);  // hairline
    f.fill(b, {255, 255, 255, 255});
    EXPECT_EQ(count(b, 0xFFFFFF), 30);
    b.clear(0);
    addStroke(f, {{10, 10}, {30, 10}, {30, 30}}, 6);
    f.fill(b, {0, 0, 255, 128});
    // The corner is covered, and the overlap of band and joint is blended once.
    EXPECT_EQ(b.pixel(31, 9), 0x800000u);
    EXPECT_EQ(count(b, 0x800000) + count(b, 0), 1600);
}

}  // namespace
}  // namespace player
