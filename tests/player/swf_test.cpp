// The vector movie reader and its playback: header fields, shapes by their fill rules, the
// display list, sprites, frame actions and broken files.
#include <gtest/gtest.h>
#include <zlib.h>

#include "player/swf.h"
#include "player/swf_playback.h"
#include "player_test_util.h"

namespace player::test {
namespace {

using platform::Bitmap;

constexpr std::int64_t kMs = 1'000'000;

std::unique_ptr<SwfMovie> read(const Bytes& b, std::string* problem = nullptr) { return readSwf(b.data(), b.size(), problem); }

// Draws frame `atMs` of a movie 1:1 (stage pixels to bitmap pixels) over black.
Bitmap draw(const Bytes& movie, std::int64_t atMs = 0, int w = 400, int h = 300) {
    std::shared_ptr<SwfMovie> m = read(movie);
    EXPECT_TRUE(m);
    Bitmap bmp(w, h);
    bmp.clear(0);
    if (!m) return bmp;
    SwfPlayback p(std::move(m), 0);
    p.advanceTo(atMs * kMs);
    p.render(bmp, Affine::scaling(0.05, 0.05));
    return bmp;
}

int countColour(const Bitmap& b, std::uint32_t c) {
    int n = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) n += b.pixel(x, y) == c;
    return n;
}

// Header and tags assembled by hand, independent of the writer.
TEST(SwfReader, ReadsHeaderFieldsAndTagForms) {
    Bytes b = {'F', 'W', 'S', 6, 0, 0, 0, 0,
               // RECT: 5 bits n = 15, then 0, 11000, 0, 8000 in 15 bits each (65 bits, 9 bytes)
               0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00,
               0x80, 0x18,  // 24.5 frames per second
               0x02, 0x00,  // two frames declared
               // SetBackgroundColor (9) short form: 0x0243, then blue-ish rgb
               0x43, 0x02, 0x10, 0x20, 0xF0,
               // ShowFrame (1) in the long form with length 0
               0x7F, 0x00, 0x00, 0x00, 0x00, 0x00,
               0x40, 0x00,  // ShowFrame
               0x00, 0x00};  // End
    b[4] = static_cast<std::uint8_t>(b.size());
    std::string problem;
    auto m = read(b, &problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_EQ(m->version, 6);
    EXPECT_EQ(m->stage.width(), 11000);
    EXPECT_EQ(m->stage.height(), 8000);
    EXPECT_EQ(m->frameRate, 0x1880);
    EXPECT_EQ(m->declaredFrames, 2);
    EXPECT_TRUE(m->hasBackground);
    EXPECT_EQ(m->background, rgb(0x10, 0x20, 0xF0));
    EXPECT_EQ(m->timeline.frames.size(), 2u);
    EXPECT_FALSE(m->truncated);
}

TEST(SwfReader, CompressedAndPlainMoviesAreTheSame) {
    SwfWriter w(320, 240, 25);
    w.setBackground(0x00FF00);
    w.place(1, w.defineRect(100, 100, 2000, 3000, {1, 2, 3, 200}));
    w.showFrame();
    w.remove(1);
    w.showFrame();
    auto plain = read(w.finish(false)), packed = read(w.finish(true));
    ASSERT_TRUE(plain && packed);
    EXPECT_TRUE(packed->compressed);
    EXPECT_EQ(packed->stage.width(), 6400);
    EXPECT_EQ(packed->frameRate, 25 * 256);
    EXPECT_EQ(packed->timeline.frames.size(), plain->timeline.frames.size());
    ASSERT_EQ(packed->shapes.count(1), 1u);
    EXPECT_EQ(packed->shapes.at(1)->fills[0], (Rgba{1, 2, 3, 200}));
    EXPECT_EQ(packed->shapes.at(1)->edges.size(), 4u);
    EXPECT_TRUE(packed->timeline.frames[1].places[0].remove);
}

TEST(SwfReader, RefusesWhatItCannotShow) {
    std::string problem;
    Bytes zws = {'Z', 'W', 'S', 13, 30, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_FALSE(read(zws, &problem));
    EXPECT_NE(problem.find("LZMA"), std::string::npos);
    EXPECT_FALSE(read({'F', 'W', 'S'}, &problem));
    EXPECT_FALSE(read(SwfWriter(0, 100, 12).finish(), &problem));  // empty stage
    EXPECT_EQ(problem, "empty stage");
    EXPECT_FALSE(read(SwfWriter(9000, 100, 12).finish(), &problem));
    EXPECT_EQ(problem, "stage too large");
    EXPECT_TRUE(read(SwfWriter(8192, 8192, 12).finish()));
}

TEST(SwfReader, CutShortMoviesKeepTheirFramesAndNeverOverread) {
    SwfWriter w(200, 200, 10);
    ShapeBuilder s;
    s.rect(0, 0, 2000, 2000, s.addFill({255, 0, 0, 255}));
    s.setStyles(0, 0, s.addLine(40, {0, 0, 255, 255}));
    s.moveTo(0, 0);
    s.curveTo(1000, 3000, 2000, 0);
    const int id = w.defineShape(s);
    for (int f = 0; f < 6; ++f) {
        if (f == 0)
            w.place(1, id);
        else
            w.modify(1, Affine::translation(f * 100, 0), ColorTransform{128, 128, 128, 256, 0, 0, 0, 0});
        if (f == 3) w.gotoFrame(1);
        w.showFrame();
    }
    for (bool compress : {false, true}) {
        const Bytes full = w.finish(compress);
        std::size_t accepted = 0;
        for (std::size_t n = 0; n <= full.size(); ++n) {
            // A copy of exactly n bytes, so that a sanitizer sees any read beyond it.
            const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
            std::shared_ptr<SwfMovie> m = read(cut);
            if (!m) continue;
            ++accepted;
            EXPECT_GE(m->timeline.frames.size(), 1u);
            EXPECT_LE(m->timeline.frames.size(), 6u);
            SwfPlayback p(m, 0);
            p.advanceTo(2000 * kMs);
            Bitmap bmp(20, 20);
            p.render(bmp, Affine::scaling(0.01, 0.01));
        }
        EXPECT_GT(accepted, 0u);
        auto whole = read(full);
        ASSERT_TRUE(whole);
        EXPECT_FALSE(whole->truncated);
        EXPECT_EQ(whole->timeline.frames.size(), 6u);
    }
}

TEST(SwfReader, DecompressionStopsAtItsLimit) {
    // A good movie followed by a hundred megabytes of zeros inside the compressed stream.
    const Bytes plain = simpleMovie(2, 10);
    std::vector<std::uint8_t> body(plain.begin() + 8, plain.end());
    body.resize(body.size() + (100u << 20), 0);
    uLongf size = compressBound(static_cast<uLong>(body.size()));
    Bytes packed(size + 8);
    ASSERT_EQ(compress2(packed.data() + 8, &size, body.data(), static_cast<uLong>(body.size()), 1), Z_OK);
    packed.resize(size + 8);
    std::copy(plain.begin(), plain.begin() + 8, packed.begin());
    packed[0] = 'C';
    auto m = read(packed);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->truncated);  // inflating stopped at the limit
    EXPECT_EQ(m->timeline.frames.size(), 2u);
}

TEST(SwfShapes, FillStylesLieRightOrLeftOfTheirEdges) {
    // The same square three ways: clockwise with fill1, counter-clockwise with fill0, and
    // clockwise with fill0.
    auto movieWith = [](bool reversed, bool leftFill) {
        SwfWriter w(400, 300, 10);
        ShapeBuilder s;
        const int fill = s.addFill({0, 255, 0, 255});
        s.setStyles(leftFill ? fill : 0, leftFill ? 0 : fill, 0);
        const int x0 = 2000, y0 = 2000, x1 = 4000, y1 = 4000;
        s.moveTo(x0, y0);
        if (!reversed) {
            s.lineTo(x1, y0);
            s.lineTo(x1, y1);
            s.lineTo(x0, y1);
        } else {
            s.lineTo(x0, y1);
            s.lineTo(x1, y1);
            s.lineTo(x1, y0);
        }
        s.lineTo(x0, y0);
        w.place(1, w.defineShape(s));
        w.showFrame();
        return w.finish();
    };
    const std::uint32_t green = rgb(0, 255, 0);
    const Bitmap right = draw(movieWith(false, false)), left = draw(movieWith(true, true));
    EXPECT_EQ(countColour(right, green), 100 * 100);
    EXPECT_EQ(right.pixel(100, 100), green);
    EXPECT_EQ(right.pixel(199, 199), green);
    EXPECT_EQ(right.pixel(200, 200), 0u);
    EXPECT_EQ(countColour(left, green), 100 * 100);
    // A lone outline naming its fill on the wrong side still encloses just the square.
    EXPECT_EQ(countColour(draw(movieWith(false, true)), green), 100 * 100);
}

TEST(SwfShapes, HolesAndSharedEdges) {
    SwfWriter w(400, 300, 10);
    ShapeBuilder s;
    const int red = s.addFill({255, 0, 0, 255});
    s.rect(0, 0, 4000, 4000, red);  // clockwise, red on the right (inside)
    // The hole: clockwise again, so its inside is right and red lies left of its edges.
    s.setStyles(red, 0, 0);
    s.moveTo(1000, 1000);
    s.lineTo(3000, 1000);
    s.lineTo(3000, 3000);
    s.lineTo(1000, 3000);
    s.lineTo(1000, 1000);
    // Two translucent triangles of two styles sharing a diagonal going down to the right: the
    // lower-left one lies right of it (fill1), the upper-right one left (fill0).
    const int lower = s.addFill({0, 0, 255, 128}), upper = s.addFill({0, 0, 255, 128});
    s.setStyles(upper, lower, 0);
    s.moveTo(5000, 0);
    s.lineTo(7000, 2000);
    s.setStyles(0, lower, 0);
    s.lineTo(5000, 2000);
    s.lineTo(5000, 0);
    s.setStyles(0, upper, 0);
    s.lineTo(7000, 0);
    s.lineTo(7000, 2000);
    w.place(1, w.defineShape(s));
    w.showFrame();
    const Bitmap b = draw(w.finish());
    EXPECT_EQ(b.pixel(20, 20), rgb(255, 0, 0));
    EXPECT_EQ(b.pixel(100, 100), 0u);  // inside the hole
    EXPECT_EQ(b.pixel(160, 160), rgb(255, 0, 0));
    // Every pixel of the 100 x 100 square is blended exactly once: no seam, no double.
    EXPECT_EQ(countColour(b, rgb(0, 0, 128)), 100 * 100);
}

TEST(SwfShapes, CurvesAndLines) {
    SwfWriter w(400, 300, 10);
    ShapeBuilder s;
    const int fill = s.addFill({255, 255, 255, 255});
    // A disc of radius 100 px round (200, 150) from eight curves.
    s.setStyles(0, fill, 0);
    const double r = 2000, half = 3.14159265358979 / 8;
    s.moveTo(4000 + 2000, 3000);
    for (int i = 1; i <= 8; ++i) {
        const double a = 2 * half * i, c = a - half, cr = r / std::cos(half);
        s.curveTo(static_cast<int>(4000 + cr * std::cos(c)), static_cast<int>(3000 + cr * std::sin(c)),
                  static_cast<int>(4000 + r * std::cos(a)), static_cast<int>(3000 + r * std::sin(a)));
    }
    // A line 10 px wide along y = 20 px.
    s.setStyles(0, 0, s.addLine(200, {255, 0, 0, 255}));
    s.moveTo(0, 400);
    s.lineTo(8000, 400);
    w.place(1, w.defineShape(s));
    w.showFrame();
    const Bitmap b = draw(w.finish());
    const int disc = countColour(b, 0xFFFFFF);
    EXPECT_NEAR(disc, 3.14159265 * 100 * 100, 150);
    EXPECT_EQ(b.pixel(200, 150), 0xFFFFFFu);
    EXPECT_EQ(b.pixel(200 + 72, 150 + 72), 0u);  // beyond the circle in its bounding box corner
    EXPECT_EQ(b.pixel(200 + 65, 150 + 65), 0xFFFFFFu);
    EXPECT_EQ(b.pixel(100, 15), rgb(255, 0, 0));
    EXPECT_EQ(b.pixel(100, 24), rgb(255, 0, 0));
    EXPECT_EQ(b.pixel(100, 14), 0u);
    EXPECT_EQ(b.pixel(100, 25), 0u);
    EXPECT_EQ(countColour(b, rgb(255, 0, 0)), 400 * 10);
}

TEST(SwfDisplayList, DepthMatrixColourTransformAndRemoval) {
    SwfWriter w(400, 300, 10);
    const int square = w.defineRect(0, 0, 2000, 2000, {255, 255, 255, 255});  // 100 px
    w.place(2, square, Affine::translation(1000, 1000));
    w.place(1, square, Affine{2, 0, 0, 2, 0, 0}, ColorTransform{0, 256, 0, 256, 0, 0, 0, 0});  // 200 px, green
    w.place(3, square, Affine::translation(6000, 0));
    w.modify(3, std::nullopt, ColorTransform{0, 0, 0, 256, 200, 0, 0, 0});  // becomes dark red
    w.showFrame();
    w.remove(2);
    w.showFrame();
    const Bytes movie = w.finish();
    const Bitmap first = draw(movie, 0);
    EXPECT_EQ(first.pixel(75, 75), 0xFFFFFFu);      // depth 2 over depth 1
    EXPECT_EQ(first.pixel(10, 10), rgb(0, 255, 0));  // scaled and tinted
    EXPECT_EQ(first.pixel(199, 199), rgb(0, 255, 0));
    EXPECT_EQ(first.pixel(200, 200), 0u);
    EXPECT_EQ(first.pixel(350, 50), rgb(200, 0, 0));
    const Bitmap second = draw(movie, 100);
    EXPECT_EQ(second.pixel(75, 75), rgb(0, 255, 0));
}

TEST(SwfDisplayList, MaskLayersAreNotDrawn) {
    SwfWriter w(400, 300, 10);
    const int square = w.defineRect(0, 0, 2000, 2000, {255, 255, 255, 255});
    // PlaceObject2 with a clip depth: flags character | clip depth, depth 1, id, clip to 5.
    w.rawTag(26, {0x42, 1, 0, static_cast<std::uint8_t>(square), 0, 5, 0});
    w.showFrame();
    auto m = read(w.finish());
    ASSERT_TRUE(m);
    ASSERT_EQ(m->timeline.frames[0].places.size(), 1u);
    EXPECT_EQ(m->timeline.frames[0].places[0].clipDepth, 5);
    EXPECT_EQ(countColour(draw(w.finish()), 0xFFFFFF), 0);
}

TEST(SwfTimeline, SpritesRunWhileTheirParentStands) {
    SwfWriter w(400, 300, 10);
    const int red = w.defineRect(0, 0, 2000, 2000, {255, 0, 0, 255});
    const int blue = w.defineRect(0, 0, 2000, 2000, {0, 0, 255, 255});
    TimelineBuilder sprite;
    sprite.place(1, red);
    sprite.showFrame();
    sprite.remove(1);
    sprite.place(1, blue);
    sprite.showFrame();
    const int id = w.defineSprite(sprite);
    w.place(1, id, Affine::translation(2000, 2000));
    w.stop();
    w.showFrame();
    w.showFrame();
    auto m = std::shared_ptr<SwfMovie>(read(w.finish()));
    ASSERT_TRUE(m);
    SwfPlayback p(m, 0);
    Bitmap b(400, 300);
    const Affine view = Affine::scaling(0.05, 0.05);
    std::vector<std::uint32_t> seen;
    for (int t = 0; t <= 300; t += 100) {
        p.advanceTo(t * kMs);
        b.clear(0);
        p.render(b, view);
        seen.push_back(b.pixel(150, 150));
        EXPECT_EQ(p.currentFrame(), 0);
    }
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{rgb(255, 0, 0), rgb(0, 0, 255), rgb(255, 0, 0), rgb(0, 0, 255)}));
}

TEST(SwfTimeline, GotoActionsAndLabels) {
    SwfWriter w(100, 100, 10);
    for (int f = 0; f < 6; ++f) {
        if (f == 1) w.label("schleife");
        if (f == 3) {
            w.gotoFrame(1);  // go-to stops; play resumes
            w.play();
        }
        if (f == 5) w.gotoLabel("schleife");
        w.showFrame();
    }
    auto m = std::shared_ptr<SwfMovie>(read(w.finish()));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->timeline.labels.at("schleife"), 1);
    SwfPlayback p(m, 0);
    std::vector<int> frames;
    for (int t = 0; t <= 500; t += 100) {
        p.advanceTo(t * kMs);
        frames.push_back(p.currentFrame());
    }
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 1, 2, 1}));
    EXPECT_TRUE(p.playing());
}

TEST(SwfTimeline, RunawayMoviesStayBounded) {
    // Two frames that jump to each other, and a sprite that places itself.
    SwfWriter w(100, 100, 100);
    TimelineBuilder self;
    self.place(1, 1);  // character 1 is this sprite
    self.showFrame();
    self.showFrame();
    const int id = w.defineSprite(self);
    ASSERT_EQ(id, 1);
    w.place(1, id);
    w.gotoFrame(1);
    w.play();
    w.showFrame();
    w.gotoFrame(0);
    w.play();
    w.showFrame();
    auto m = std::shared_ptr<SwfMovie>(read(w.finish()));
    ASSERT_TRUE(m);
    SwfPlayback p(m, 0);
    p.advanceTo(10'000 * kMs);
    Bitmap b(10, 10);
    p.render(b, Affine::scaling(0.005, 0.005));
    EXPECT_GE(p.currentFrame(), 0);
    EXPECT_LE(p.currentFrame(), 1);
}

TEST(SwfTimeline, IdleMoviesSkipAheadAndKeepTheTickGrid) {
    auto m = std::shared_ptr<SwfMovie>(read(simpleMovie(3, 10, {1, 1, 1, 255}, true)));
    ASSERT_TRUE(m);
    SwfPlayback p(m, 5 * kMs);
    p.advanceTo(3'600'000 * kMs);  // an hour stopped costs nothing
    EXPECT_EQ(p.nextTickNs(), 3'600'005 * kMs);
    p.play(3'600'000 * kMs);
    p.advanceTo(3'600'005 * kMs);
    EXPECT_EQ(p.currentFrame(), 1);
}

}  // namespace
}  // namespace player::test
