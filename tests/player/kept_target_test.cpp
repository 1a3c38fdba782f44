// A host that keeps its frame between renders (the projector) gets exactly the pixels a render
// into a new frame gives, while the player repaints only where the last frame drew; and the
// blending of spans gives the same bits four pixels at a time as one at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "player/movie_player.h"
#include "player/raster.h"
#include "player_test_util.h"

namespace player::test {
namespace {

using platform::Bitmap;
using platform::PixelFormat;

constexpr std::int64_t kMs = 1'000'000;

bool samePixels(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.format() != b.format()) return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width()) * a.bytesPerPixel()) != 0) return false;
    return true;
}

// Every pixel that differs between the frames lies in one of the spans.
bool changedOnlyIn(const Bitmap& before, const Bitmap& after, const std::vector<Span>& spans) {
    if (before.width() != after.width() || before.height() != after.height()) {
        ADD_FAILURE() << "spans given for a new size";
        return false;
    }
    std::vector<std::uint8_t> marked(static_cast<std::size_t>(after.width()) * after.height(), 0);
    for (const Span& s : spans)
        for (int x = std::max(s.x0, 0); x < std::min(s.x1, after.width()); ++x)
            marked[static_cast<std::size_t>(s.y) * after.width() + x] = 1;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (before.row32(y)[x] != after.row32(y)[x] && !marked[static_cast<std::size_t>(y) * after.width() + x]) {
                ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the spans";
                return false;
            }
    return true;
}

// The same calls on two players: one drawing into the frame it keeps, one into a new frame each
// time as a host that keeps nothing does.
class KeptTarget : public ::testing::Test {
protected:
    KeptTarget() { kept.setKeepsTarget(true); }

    template <typename Fn>
    void both(Fn fn) {
        fn(kept);
        fn(fresh);
    }
    // Renders both at every 10 ms for `ms`; false at the first frame that differs.
    bool sameFor(int ms, int w, int h) {
        for (int t = 0; t < ms; t += 10) {
            clock.advanceNs(10 * kMs);
            Bitmap mine;
            const Bitmap before = frame;
            const bool a = kept.render(frame, w, h), b = fresh.render(mine, w, h);
            if (a != b) return false;
            if (a && !samePixels(frame, mine)) {
                ADD_FAILURE() << "frame at " << clock.nowNs() / kMs << " ms differs";
                return false;
            }
            // Where the player says which pixels can have changed, no other did.
            std::vector<Span> spans;
            if (a && kept.changedSpans(spans) && !changedOnlyIn(before, frame, spans)) return false;
        }
        return true;
    }

    platform::VirtualClock clock;
    MoviePlayer kept{clock}, fresh{clock};
    Bitmap frame;
    ScratchDir dir;
};

TEST_F(KeptTarget, MovingShapesDimmerZoomColoursAndMasksComeOutAsInANewFrame) {
    // Bars of two colours (one translucent) moving across a coloured stage, and a still rectangle.
    const std::string still = dir.write("still.swf", simpleMovie(12, 24, {40, 200, 90, 255}));
    SwfWriter bars(400, 300, 30);
    bars.setBackground(0x102030);
    ShapeBuilder s;
    s.polygon({{0, 0}, {3000, 0}, {3000, 900}, {0, 900}}, s.addFill({255, 0, 0, 255}));
    s.polygon({{0, 2000}, {5000, 2000}, {5000, 2600}, {0, 2600}}, s.addFill({0, 0, 255, 160}));
    const int id = bars.defineShape(s);
    for (int f = 0; f < 20; ++f) {
        const Affine m{1, 0, 0, 1, f * 150.0, f * 60.0};
        if (f == 0)
            bars.place(1, id, m);
        else
            bars.modify(1, m);
        bars.showFrame();
    }
    const std::string barsFile = dir.write("bars.swf", bars.finish(true));
    const std::string veil = dir.write("veil.swf", simpleMovie(1, 12, {0, 0, 0, 122}));
    const std::string clear = dir.write("clear.swf", simpleMovie(1, 12, {0, 0, 0, 0}));
    // A mask: opaque black round a transparent hole, as the mask painter saves it.
    GifFrame hole{0, std::vector<std::uint8_t>(40 * 30, 0), 0};
    for (int y = 8; y < 22; ++y)
        for (int x = 10; x < 30; ++x) hole.index[y * 40 + x] = 1;
    const std::string mask = dir.write("mask.gif", gifBytes(40, 30, {hole}));

    both([&](MoviePlayer& p) { p.LoadMovie(0, barsFile); });
    EXPECT_TRUE(sameFor(400, 320, 180));
    both([&](MoviePlayer& p) { p.LoadMovie(999, veil); });
    EXPECT_TRUE(sameFor(300, 320, 180));
    both([&](MoviePlayer& p) { p.LoadMovie(999, clear); });  // dimmer 0
    EXPECT_TRUE(sameFor(200, 320, 180));
    both([&](MoviePlayer& p) { p.Zoom(98); });
    EXPECT_TRUE(sameFor(200, 320, 180));
    both([&](MoviePlayer& p) { p.Zoom(130); });
    EXPECT_TRUE(sameFor(200, 320, 180));
    // The strobe: the background colour flashing, the player hidden and shown.
    for (std::int32_t colour : {0xFFFFFF, 0xFF, -1, 0x00FF00}) {
        both([&](MoviePlayer& p) { p.setBackgroundColor(colour); });
        EXPECT_TRUE(sameFor(40, 320, 180));
    }
    both([&](MoviePlayer& p) { p.setVisible(false); });
    EXPECT_TRUE(sameFor(40, 320, 180));
    both([&](MoviePlayer& p) { p.setVisible(true); });
    EXPECT_TRUE(sameFor(40, 320, 180));
    both([&](MoviePlayer& p) { p.LoadMovie(9999, mask); });
    EXPECT_TRUE(sameFor(200, 320, 180));
    both([&](MoviePlayer& p) {
        p.LoadMovie(0, still);
        p.LoadMovie(9999, "0");
    });
    EXPECT_TRUE(sameFor(300, 320, 180));
    // A new size, and back.
    EXPECT_TRUE(sameFor(100, 200, 300));
    EXPECT_TRUE(sameFor(100, 320, 180));
    both([&](MoviePlayer& p) { p.LoadMovie(0, "0"); });
    EXPECT_TRUE(sameFor(50, 320, 180));
}

TEST_F(KeptTarget, ANewFrameOrOnePaintedOverIsDrawnWhole) {
    both([&](MoviePlayer& p) {
        p.setBackgroundColor(0x336699);
        p.LoadMovie(0, dir.write("moving.swf", simpleMovie(12, 24, {40, 200, 90, 255})));
    });
    ASSERT_TRUE(sameFor(100, 64, 48));
    // Another frame of the same size, all black: it gets the background everywhere.
    frame = Bitmap(64, 48);
    ASSERT_TRUE(sameFor(30, 64, 48));
    // Painted over by someone else where the background was: drawn whole again.
    frame.clear(0xFFFFFF);
    ASSERT_TRUE(sameFor(30, 64, 48));
}

#ifdef KORVELLA_ASSETS_DIR
TEST_F(KeptTarget, DeliveredEffectsUnderTheDimmer) {
    const std::string assets = KORVELLA_ASSETS_DIR;
    for (const char* effect : {"Balken.swf", "Puls.swf", "Farbkreis.swf", "Schritte.swf", "Ringe.jpg"}) {
        both([&](MoviePlayer& p) {
            p.LoadMovie(0, assets + "/Effekts/" + effect);
            p.LoadMovie(999, assets + "/Dimmer/0.swf");
        });
        EXPECT_TRUE(sameFor(300, 256, 144)) << effect;
        both([&](MoviePlayer& p) { p.LoadMovie(999, assets + "/Dimmer/12.swf"); });
        EXPECT_TRUE(sameFor(200, 256, 144)) << effect;
        both([&](MoviePlayer& p) { p.Zoom(97); });
        EXPECT_TRUE(sameFor(100, 256, 144)) << effect;
        both([&](MoviePlayer& p) { p.Zoom(0); });
    }
}
#endif

// The blend one pixel at a time, as spans were blended before they went four at a time.
std::uint32_t blendOne(std::uint32_t d, Rgba c) {
    const std::uint32_t a = c.a, ia = 255 - a;
    const std::uint32_t src = 0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
    const std::uint32_t srb = (src & 0xFF00FF) * a + 0x800080, sag = ((src >> 8) & 0xFF00FF) * a + 0x800080;
    std::uint32_t rb = (d & 0xFF00FF) * ia + srb;
    std::uint32_t ag = ((d >> 8) & 0xFF00FF) * ia + sag;
    rb = ((rb + ((rb >> 8) & 0xFF00FF)) >> 8) & 0xFF00FF;
    ag = (ag + ((ag >> 8) & 0xFF00FF)) & 0xFF00FF00;
    return rb | ag;
}

TEST(RasterSpans, BlendingSeveralPixelsAtATimeGivesTheBitsOfOneAtATime) {
    std::mt19937 rng(7);
    Bitmap b(67, 1);
    for (int alpha = 0; alpha <= 255; ++alpha) {
        std::vector<std::uint32_t> before(67);
        for (auto& w : before) w = rng();  // any alpha too: it blends like a channel
        std::memcpy(b.row32(0), before.data(), before.size() * 4);
        const Rgba c{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                     static_cast<std::uint8_t>(alpha)};
        // Spans of every length up to 9 at every start, and one long one: the tails and the middles.
        const int x0 = alpha % 9, x1 = alpha < 128 ? x0 + alpha % 10 : 67;
        blendSpan(b, 0, x0, x1, c);
        for (int x = 0; x < 67; ++x) {
            const std::uint32_t want =
                x < x0 || x >= x1 || alpha == 0 ? before[x] : alpha == 255 ? (0xFF000000u | (c.r << 16) | (c.g << 8) | c.b)
                                                                           : blendOne(before[x], c);
            ASSERT_EQ(b.row32(0)[x], want) << "alpha " << alpha << " x " << x;
        }
    }
}

TEST(RasterSpans, LongSpansBlendedEightPixelsAtATimeGiveTheBitsOfOneAtATime) {
    std::mt19937 rng(11);
    Bitmap b(80, 1);
    for (int alpha = 1; alpha < 255; ++alpha)
        for (int x0 = 0; x0 < 8; ++x0) {
            std::vector<std::uint32_t> before(80);
            for (auto& w : before) w = rng();
            std::memcpy(b.row32(0), before.data(), before.size() * 4);
            const Rgba c{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                         static_cast<std::uint8_t>(alpha)};
            // Whole blocks of eight, and tails of four and of single pixels after them.
            const int x1 = x0 + 8 + static_cast<int>(rng() % 64);
            blendSpan(b, 0, x0, x1, c);
            for (int x = 0; x < 80; ++x)
                ASSERT_EQ(b.row32(0)[x], x < x0 || x >= x1 ? before[x] : blendOne(before[x], c))
                    << "alpha " << alpha << " x " << x << " span " << x0 << ".." << x1;
        }
}

TEST(RasterSpans, PaintsOnRunsGiveTheWordsOfBlendingThemIntoPixels) {
    std::mt19937 rng(5);
    const int w = 90;
    Bitmap b(w, 1);
    std::vector<player::Run> row, scratch;
    for (int round = 0; round < 400; ++round) {
        const std::uint32_t back = 0xFF000000u | (rng() & 0xFFFFFF);
        std::fill_n(b.row32(0), w, back);
        row.assign(1, player::Run{w, back});
        // Overlapping paints, opaque, translucent and clear, some the same colour twice in a row.
        std::vector<Paint> paints;
        const int count = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < count; ++k) {
            const int x0 = static_cast<int>(rng() % w), x1 = x0 + 1 + static_cast<int>(rng() % (w - x0));
            const std::uint8_t alphas[] = {255, 255, 0, 1, 128, 254, static_cast<std::uint8_t>(rng())};
            Rgba c{static_cast<std::uint8_t>(rng() % 3 * 120), 40, static_cast<std::uint8_t>(rng()), alphas[rng() % 7]};
            if (k > 0 && rng() % 4 == 0) c = paints.back().colour;
            paints.push_back({0, x0, x1, c});
            blendSpan(b, 0, x0, x1, c);
        }
        ASSERT_TRUE(paintRuns(row, paints.data(), paints.size(), scratch, 1000));
        int x = 0;
        for (std::size_t i = 0; i < row.size(); ++i) {
            ASSERT_GT(row[i].x1, x) << "an empty run";
            if (i > 0) {
                ASSERT_NE(row[i].word, row[i - 1].word) << "neighbours of one word not joined";
            }
            for (; x < row[i].x1; ++x) ASSERT_EQ(row[i].word, b.row32(0)[x]) << "round " << round << " x " << x;
        }
        ASSERT_EQ(x, w);
    }
    // More runs than allowed: refused.
    row.assign(1, player::Run{w, 0xFF000000u});
    std::vector<Paint> stripes;
    for (int x = 0; x < w; x += 2) stripes.push_back({0, x, x + 1, {255, 255, 255, 255}});
    EXPECT_FALSE(paintRuns(row, stripes.data(), stripes.size(), scratch, 16));
}

TEST(RasterSpans, FillingWordsCoversExactlyTheCount) {
    std::vector<std::uint32_t> words(40, 1);
    for (int n : {0, 1, 3, 4, 5, 17}) {
        std::fill(words.begin(), words.end(), 1u);
        fillWords(words.data() + 2, n, 0xABCDEF01u);
        for (int i = 0; i < 40; ++i) ASSERT_EQ(words[i], i >= 2 && i < 2 + n ? 0xABCDEF01u : 1u) << n << " " << i;
    }
}

}  // namespace
}  // namespace player::test
