// The projector's pixels stay bit for bit what they were when the rasteriser's inner loops are
// made cheaper: every delivered effect and a few generated shapes (thick and thin strokes,
// curves, translucent and overlapping fills) are rendered over many frames, at zoom 98 and 130,
// under the dimmer and a GIF mask, and each run's frames are hashed against the hashes the plain
// rasteriser gave.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <numbers>

#include "player/movie_player.h"
#include "player_test_util.h"

namespace player::test {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// FNV-1a over every row's pixels, chained from frame to frame.
std::uint64_t hashFrame(std::uint64_t h, const platform::Bitmap& b) {
    for (int y = 0; y < b.height(); ++y) {
        const std::uint8_t* p = b.row(y);
        for (int i = 0; i < b.width() * b.bytesPerPixel(); ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    }
    return h;
}

// Strokes of several widths (hairlines, round joins and caps), a curve, and a translucent fill
// over an opaque one, turning and moving over 24 frames.
Bytes generatedShapes() {
    SwfWriter w(400, 300, 30);
    w.setBackground(0x203040);
    ShapeBuilder s;
    const int red = s.addFill({230, 20, 20, 255}), glass = s.addFill({20, 200, 255, 140});
    s.polygon({{-2000, -1500}, {2500, -1200}, {1800, 2000}, {-1500, 1700}}, red);
    s.polygon({{-600, -2600}, {2600, 0}, {0, 2600}, {-2600, 0}}, glass);
    const int thick = s.addLine(260, {255, 255, 0, 255}), thin = s.addLine(10, {255, 255, 255, 200});
    s.setStyles(0, 0, thick);
    s.moveTo(-3000, 2200);
    s.lineTo(-1000, -2500);
    s.curveTo(800, -3200, 2900, 2400);
    s.lineTo(2900, 2400);
    s.setStyles(0, 0, thin);
    s.moveTo(-3500, -2800);
    s.lineTo(3500, 2800);
    s.lineTo(3400, -2700);
    const int id = w.defineShape(s);
    for (int f = 0; f < 24; ++f) {
        const double a = f * 7.5 * std::numbers::pi / 180;
        const Affine m{std::cos(a) * (0.8 + f * 0.02), std::sin(a), -std::sin(a), std::cos(a) * 0.9, 4000.0 + f * 40, 3000.0};
        if (f == 0)
            w.place(1, id, m);
        else
            w.modify(1, m);
        w.showFrame();
    }
    return w.finish(true);
}

struct Case {
    const char* name;
    std::uint64_t hash;
};

class RenderHash : public ::testing::Test {
protected:
    // Renders every 17 ms for 1.2 s into a kept frame (as the projector does) at the size, with
    // the zoom, and hashes what each render leaves.
    std::uint64_t run(const std::vector<std::pair<int, std::string>>& layers, int w, int h, int zoom) {
        platform::VirtualClock clock;
        MoviePlayer player(clock);
        player.setKeepsTarget(true);
        for (const auto& [layer, file] : layers) player.LoadMovie(layer, file);
        if (zoom) player.Zoom(zoom);
        platform::Bitmap frame;
        std::uint64_t h0 = 0xCBF29CE484222325ull;
        for (int t = 0; t < 1200; t += 17) {
            clock.advanceNs(17 * kMs);
            player.render(frame, w, h);
            h0 = hashFrame(h0, frame);
        }
        return h0;
    }
    void check(const char* name, std::uint64_t got, std::uint64_t want) {
        EXPECT_EQ(got, want) << name;
        if (got != want) std::printf("        {\"%s\", 0x%016llXull},\n", name, static_cast<unsigned long long>(got));
    }
    ScratchDir dir;
};

TEST_F(RenderHash, GeneratedShapesKeepTheirPixels) {
    const std::string shapes = dir.write("shapes.swf", generatedShapes());
    std::vector<GifFrame> maskFrames{solidGifFrame(64, 48, 3, 0, 0)};
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (x < 8 || y < 8 || x >= 56 || y >= 40) maskFrames[0].index[static_cast<std::size_t>(y) * 64 + x] = 0;
    const std::string mask = dir.write("mask.gif", gifBytes(64, 48, maskFrames));
    const std::string veil = dir.write("veil.swf", simpleMovie(1, 12, {0, 0, 0, 122}));
    check("shapes 320x240", run({{0, shapes}}, 320, 240, 0), 0xBDF7E795FBECD1BBull);
    check("shapes 301x177 zoom 98", run({{0, shapes}}, 301, 177, 98), 0xCDF04BF7141EF012ull);
    check("shapes 640x360 zoom 130 veil mask", run({{0, shapes}, {999, veil}, {9999, mask}}, 640, 360, 130), 0x748DEC14D057D99Dull);
}

#ifdef KORVELLA_ASSETS_DIR
TEST_F(RenderHash, DeliveredEffectsKeepTheirPixels) {
    const std::string assets = KORVELLA_ASSETS_DIR;
    const Case cases[] = {
        {"Balken.swf", 0xFECE32A0182A333Aull},    {"Puls.swf", 0x1D597E17C18E3115ull},
        {"Farbkreis.swf", 0x0DCB866031F62F25ull}, {"Schritte.swf", 0x0D176D5B7B97CF22ull},
        {"Ringe.jpg", 0x6DEE1A9F4F440239ull},
    };
    const Case zoomed[] = {
        {"Balken.swf", 0xD3EF1573E1902B88ull},    {"Puls.swf", 0xF156296E16F4DBE8ull},
        {"Farbkreis.swf", 0xC294BC842080666Full}, {"Schritte.swf", 0x396D06D8BD847F29ull},
        {"Ringe.jpg", 0x86E2B1E2426B8B85ull},
    };
    for (const Case& c : cases)
        check(c.name, run({{0, assets + "/Effekts/" + c.name}, {999, assets + "/Dimmer/12.swf"}}, 480, 270, 0), c.hash);
    for (const Case& c : zoomed)
        check(c.name, run({{0, assets + "/Effekts/" + c.name}}, 427, 241, 98), c.hash);
}
#endif

}  // namespace
}  // namespace player::test
