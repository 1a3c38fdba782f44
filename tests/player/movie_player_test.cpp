// The control as its callers use it: layers, timelines on virtual time, zoom, colours.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "player/content.h"
#include "player/movie_player.h"
#include "player_test_util.h"

namespace player::test {
namespace {

using platform::Bitmap;
using platform::PixelFormat;

constexpr std::int64_t kMs = 1'000'000;

class MoviePlayerTest : public ::testing::Test {
protected:
    void at(std::int64_t ms) { clock.advanceNs(ms * kMs - clock.nowNs()); }
    std::uint32_t pixelAt(int x, int y, int w = 400, int h = 300) {
        player.render(bmp, w, h);
        return bmp.pixel(x, y);
    }

    platform::VirtualClock clock;
    MoviePlayer player{clock};
    ScratchDir dir;
    Bitmap bmp;
};

TEST_F(MoviePlayerTest, RecognisesEachKindByItsBytesWhateverTheName) {
    struct Case {
        std::string name;
        Bytes bytes;
        ContentKind kind;
    } cases[] = {
        {"maske.swf", gifBytes(4, 4, {solidGifFrame(4, 4, 1, 10)}), ContentKind::Gif},
        {"bild.jpg", pngBytes(4, 4, 0xFF00FF00), ContentKind::Png},
        {"bild.png", jpegBytes(8, 8, 0, 0, 255), ContentKind::Jpeg},
        {"bild.gif", bmpBytes(3, 3, 9, 9, 9), ContentKind::Bmp},
        {"effekt.jpg", simpleMovie(2, 10), ContentKind::Swf},
        {"effekt-ohne-endung", SwfWriter(100, 100, 12).finish(true), ContentKind::Swf},
    };
    for (const auto& c : cases) {
        player.LoadMovie(0, dir.write(c.name, c.bytes));
        ASSERT_TRUE(player.hasLayer(0)) << c.name;
        EXPECT_EQ(player.layer(0)->kind(), c.kind) << c.name;
    }
}

TEST_F(MoviePlayerTest, GifMaskNamedSwfShowsAsPictureWithTransparency) {
    // Left half red, right half white; white is the transparent entry.
    GifFrame f{0, std::vector<std::uint8_t>(40 * 30, 0), 0};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 20; ++x) f.index[y * 40 + x] = 1;
    player.LoadMovie(0, dir.write("effekt.swf", simpleMovie(1, 10, {0, 0, 255, 255})));
    player.LoadMovie(9999, dir.write("maske.swf", gifBytes(40, 30, {f})));
    EXPECT_EQ(player.layer(9999)->kind(), ContentKind::Gif);
    EXPECT_EQ(pixelAt(50, 150), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(350, 150), rgb(0, 0, 255));  // the effect shows through
}

TEST_F(MoviePlayerTest, PhotosAreSmoothedAndMasksKeepHardEdges) {
    // Two pixels, black and white, stretched over 400 pixels of width.
    player.LoadMovie(0, dir.write("zwei.bmp", bmpBytes(2, 1, {0x000000, 0xFFFFFF})));
    player.render(bmp, 400, 200);
    EXPECT_EQ(bmp.pixel(50, 100), 0u);
    EXPECT_EQ(bmp.pixel(349, 100), 0xFFFFFFu);
    const std::uint32_t middle = bmp.pixel(200, 100) & 0xFF;
    EXPECT_GT(middle, 100u);
    EXPECT_LT(middle, 155u);
    for (int x = 101; x < 300; ++x) EXPECT_GE(bmp.pixel(x, 100) & 0xFF, bmp.pixel(x - 1, 100) & 0xFF);

    GifFrame f{0, {1, 3}, -1};
    player.LoadMovie(0, dir.write("zwei.gif", gifBytes(2, 1, {f})));
    player.render(bmp, 400, 200);
    EXPECT_EQ(bmp.pixel(199, 100), rgb(255, 0, 0));
    EXPECT_EQ(bmp.pixel(200, 100), rgb(0, 0, 255));
}

TEST_F(MoviePlayerTest, LayersStackByNumberAndEmptyWithZeroOrNothing) {
    SwfWriter top(400, 300, 10);
    top.place(1, top.defineRect(0, 0, 200 * 20, 300 * 20, {0, 0, 255, 255}));  // left half blue
    top.showFrame();
    const std::string red = dir.write("red.swf", simpleMovie(1, 10, {255, 0, 0, 255}));
    const std::string blue = dir.write("blue.swf", top.finish());
    // Loaded in the opposite order of their numbers: the number decides.
    player.LoadMovie(999, blue);
    player.LoadMovie(0, red);
    EXPECT_EQ(pixelAt(100, 150), rgb(0, 0, 255));
    EXPECT_EQ(pixelAt(300, 150), rgb(255, 0, 0));
    player.LoadMovie(3, "0");  // emptying an empty layer is harmless
    EXPECT_EQ(player.layerCount(), 2);

    player.LoadMovie(999, "0");
    EXPECT_FALSE(player.hasLayer(999));
    EXPECT_EQ(pixelAt(100, 150), rgb(255, 0, 0));

    player.LoadMovie(0, "");
    EXPECT_FALSE(player.hasLayer(0));
    EXPECT_EQ(player.Movie(), "");
    EXPECT_EQ(player.TotalFrames(), 0);
    EXPECT_EQ(pixelAt(100, 150), 0u);
}

TEST_F(MoviePlayerTest, UnreadableFilesLeaveTheLayerEmptyAndAreLogged) {
    player.LoadMovie(0, dir.write("ok.swf", simpleMovie(3, 10)));
    const std::string missing = (dir.path() / "fehlt.swf").string();
    testing::internal::CaptureStderr();
    player.LoadMovie(0, missing);
    player.LoadMovie(5, dir.write("text.swf", Bytes{'h', 'a', 'l', 'l', 'o'}));
    player.LoadMovie(6, dir.path().string());  // a folder
    player.LoadMovie(-1, missing);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(player.hasLayer(0));
    EXPECT_FALSE(player.hasLayer(5));
    EXPECT_FALSE(player.hasLayer(6));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
    EXPECT_THAT(log, testing::HasSubstr(missing));
    // The caller sees the path it loaded, even though nothing shows.
    EXPECT_EQ(player.Movie(), missing);
}

TEST_F(MoviePlayerTest, BackslashesInPathsAreFolderSeparators) {
    const std::string path = dir.write("Effekts/sub/a.swf", simpleMovie(2, 10));
    std::string windowsStyle = (dir.path() / "Effekts").string() + "\\sub\\a.swf";
    player.LoadMovie(0, windowsStyle);
    EXPECT_TRUE(player.hasLayer(0));
    EXPECT_EQ(player.Movie(), windowsStyle);
}

TEST_F(MoviePlayerTest, FramesAdvanceAtTheMovieRateAndLoop) {
    at(37);  // the timeline starts when the movie is loaded
    player.LoadMovie(0, dir.write("five.swf", simpleMovie(5, 10)));
    EXPECT_EQ(player.TotalFrames(), 5);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(136);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(137);
    EXPECT_EQ(player.CurrentFrame(), 1);
    at(536);
    EXPECT_EQ(player.CurrentFrame(), 4);
    at(537);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(37 + 1000 * 60 + 300);  // a minute later, queried only now
    EXPECT_EQ(player.CurrentFrame(), 3);
}

TEST_F(MoviePlayerTest, FractionalFrameRatesKeepExactTime) {
    // 12 frames per second: frame k starts at k * 83.33 ms, without drift.
    player.LoadMovie(0, dir.write("twelve.swf", simpleMovie(100, 12)));
    at(83);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(84);
    EXPECT_EQ(player.CurrentFrame(), 1);
    at(8333);
    EXPECT_EQ(player.CurrentFrame(), 99);
    at(8334);
    EXPECT_EQ(player.CurrentFrame(), 0);
}

TEST_F(MoviePlayerTest, StopActionHoldsAndEachPlayAdvancesOneStop) {
    player.LoadMovie(0, dir.write("steps.swf", simpleMovie(3, 10, {255, 0, 0, 255}, true)));
    at(5000);
    EXPECT_EQ(player.CurrentFrame(), 0);
    player.Play();  // a kick-bass at 5000 ms: the next frame tick is at 5100 ms
    at(5099);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(5100);
    EXPECT_EQ(player.CurrentFrame(), 1);
    at(9000);
    EXPECT_EQ(player.CurrentFrame(), 1);
    at(9050);
    player.Play();
    player.Play();  // a second play before the tick changes nothing
    at(9100);
    EXPECT_EQ(player.CurrentFrame(), 2);
    player.Play();
    at(9200);
    EXPECT_EQ(player.CurrentFrame(), 0);  // the last stop plays on into the loop
}

TEST_F(MoviePlayerTest, StopAndPlayHoldAndResumeTheBaseLayer) {
    player.LoadMovie(0, dir.write("ten.swf", simpleMovie(10, 10)));
    at(250);
    player.Stop();
    EXPECT_EQ(player.CurrentFrame(), 2);
    at(2000);
    EXPECT_EQ(player.CurrentFrame(), 2);
    player.Play();
    at(2099);
    EXPECT_EQ(player.CurrentFrame(), 2);
    at(2100);
    EXPECT_EQ(player.CurrentFrame(), 3);
}

TEST_F(MoviePlayerTest, PlayAndStopActOnTheBaseLayerOnly) {
    player.LoadMovie(0, dir.write("base.swf", simpleMovie(4, 10, {255, 0, 0, 255}, true)));
    player.LoadMovie(7, dir.write("over.swf", simpleMovie(4, 10)));
    player.Play();
    at(100);
    EXPECT_EQ(player.CurrentFrame(), 1);
    player.Stop();
    at(300);
    player.render(bmp, 40, 30);
    EXPECT_EQ(player.layer(7)->currentFrame(), 3);
}

TEST_F(MoviePlayerTest, CurrentFrameRaisesWithoutABaseMovie) {
    player.LoadMovie(999, dir.write("dim.swf", simpleMovie(1, 10)));
    EXPECT_THROW(player.CurrentFrame(), platform::VbError);
    EXPECT_EQ(player.TotalFrames(), 0);
    player.Play();  // harmless without a movie
    player.Stop();
    player.LoadMovie(0, dir.write("pic.png", pngBytes(4, 4, 0xFFFFFFFF)));
    EXPECT_EQ(player.TotalFrames(), 1);
    EXPECT_EQ(player.CurrentFrame(), 0);
}

TEST_F(MoviePlayerTest, AnimatedGifFollowsItsOwnDelays) {
    player.LoadMovie(0, dir.write("anim.gif", gifBytes(4, 4, {solidGifFrame(4, 4, 1, 5), solidGifFrame(4, 4, 2, 10),
                                                              solidGifFrame(4, 4, 3, 20)})));
    EXPECT_EQ(player.TotalFrames(), 3);
    EXPECT_EQ(pixelAt(200, 150), rgb(255, 0, 0));
    at(49);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(50);
    EXPECT_EQ(player.CurrentFrame(), 1);
    EXPECT_EQ(pixelAt(200, 150), rgb(0, 255, 0));
    at(150);
    EXPECT_EQ(player.CurrentFrame(), 2);
    at(350);
    EXPECT_EQ(player.CurrentFrame(), 0);
    at(350 + 3500 * 100 + 60);  // a hundred rounds later
    EXPECT_EQ(player.CurrentFrame(), 1);
    player.Stop();
    at(400000);
    EXPECT_EQ(player.CurrentFrame(), 1);
}

// A stage of 400 x 300 with a red band over x 0..100 (stage pixels), drawn 1:1.
class ZoomTest : public MoviePlayerTest {
protected:
    void SetUp() override {
        SwfWriter w(400, 300, 10);
        w.place(1, w.defineRect(0, 0, 100 * 20, 300 * 20, {255, 0, 0, 255}));
        w.showFrame();
        player.LoadMovie(0, dir.write("band.swf", w.finish()));
    }
    // Columns of the band's right edge on the middle row: last red pixel.
    int lastRed() {
        player.render(bmp, 400, 300);
        int last = -1;
        for (int x = 0; x < 400; ++x)
            if (bmp.pixel(x, 150) == rgb(255, 0, 0)) last = x;
        return last;
    }
};

TEST_F(ZoomTest, FactorsScaleTheViewAboutTheCentre) {
    EXPECT_EQ(lastRed(), 99);
    player.Zoom(50);  // half the width shows: x 100 maps to 200 - 100 * 2 = 0
    EXPECT_DOUBLE_EQ(player.zoomScale(), 0.5);
    EXPECT_EQ(lastRed(), -1);
    player.Zoom(150);  // relative to the current view: 0.75
    EXPECT_DOUBLE_EQ(player.zoomScale(), 0.75);
    EXPECT_EQ(lastRed(), 66);  // 200 - 100 / 0.75 = 66.67
    player.Zoom(0);
    EXPECT_EQ(lastRed(), 99);
}

TEST_F(ZoomTest, TenZoomInStepsOfNinetyEight) {
    for (int i = 0; i < 10; ++i) player.Zoom(98);
    EXPECT_NEAR(player.zoomScale(), std::pow(0.98, 10), 1e-12);
    EXPECT_EQ(lastRed(), 77);  // 200 - 100 / 0.8171 = 77.6
    // The live desk's zoom bar: 9999 first, then the bar's value.
    player.Zoom(9999);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 1.0);
    EXPECT_EQ(lastRed(), 99);
}

TEST_F(ZoomTest, NeverWiderThanTheWholeStage) {
    for (int i = 0; i < 10; ++i) player.Zoom(103);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 1.0);
    for (int i = 0; i < 10; ++i) player.Zoom(98);
    // "Zoom auf standard": fourteen times 130, then 900.
    for (int i = 0; i < 14; ++i) player.Zoom(130);
    player.Zoom(900);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 1.0);
    player.Zoom(-50);
    EXPECT_DOUBLE_EQ(player.zoomScale(), 1.0);
    EXPECT_EQ(lastRed(), 99);
}

TEST_F(ZoomTest, ShowAllCentresTheStageInAnyWindowShape) {
    // 800 x 300: the 400 x 300 stage stands 1:1 in the middle, x 200..600.
    player.render(bmp, 800, 300);
    EXPECT_EQ(bmp.pixel(199, 150), 0u);
    EXPECT_EQ(bmp.pixel(200, 150), rgb(255, 0, 0));
    EXPECT_EQ(bmp.pixel(299, 150), rgb(255, 0, 0));
    EXPECT_EQ(bmp.pixel(300, 150), 0u);
    // 200 x 600: half size, y 225..375.
    player.render(bmp, 200, 600);
    EXPECT_EQ(bmp.pixel(10, 224), 0u);
    EXPECT_EQ(bmp.pixel(10, 225), rgb(255, 0, 0));
    EXPECT_EQ(bmp.pixel(49, 374), rgb(255, 0, 0));
    EXPECT_EQ(bmp.pixel(50, 300), 0u);
    EXPECT_EQ(bmp.pixel(10, 375), 0u);
}

#ifdef KORVELLA_ASSETS_DIR
TEST_F(MoviePlayerTest, DeliveredDimmerMoviesVeilThePicture) {
    const std::string dimmer = std::string(KORVELLA_ASSETS_DIR) + "/Dimmer/";
    player.setBackgroundColor(0xFFFFFF);
    // A wide window: the veil also covers the borders beside the stage.
    const int w = 320, h = 120;
    player.LoadMovie(999, dimmer + "25.swf");
    player.render(bmp, w, h);
    for (int x : {0, 100, 319}) EXPECT_EQ(bmp.pixel(x, 60), 0u) << x;
    player.LoadMovie(999, dimmer + "0.swf");
    player.render(bmp, w, h);
    for (int x : {0, 100, 319}) EXPECT_EQ(bmp.pixel(x, 60), 0xFFFFFFu) << x;
    player.LoadMovie(999, dimmer + "12.swf");  // 48 %
    player.render(bmp, w, h);
    for (int x : {0, 160, 319}) {
        const std::uint32_t c = bmp.pixel(x, 60);
        EXPECT_EQ(c & 0xFF, (c >> 8) & 0xFF);
        EXPECT_NEAR(static_cast<int>(c & 0xFF), 133, 1) << x;
    }
}
#endif

TEST_F(MoviePlayerTest, BackgroundColourAndVisibility) {
    SwfWriter w(400, 300, 10);
    w.setBackground(rgb(0, 0, 128));
    w.place(1, w.defineRect(0, 0, 100 * 20, 100 * 20, {255, 0, 0, 255}));
    w.showFrame();
    player.LoadMovie(0, dir.write("bg.swf", w.finish()));
    EXPECT_EQ(player.BackgroundColor(), -1);
    EXPECT_EQ(pixelAt(300, 200), rgb(0, 0, 128));  // the movie's own background
    player.setBackgroundColor(0xFFFFFF);  // the white strobe
    EXPECT_EQ(pixelAt(300, 200), 0xFFFFFFu);
    EXPECT_EQ(pixelAt(50, 50), rgb(255, 0, 0));  // the movie's drawing stays on top
    player.setBackgroundColor(0);
    EXPECT_EQ(pixelAt(300, 200), 0u);
    player.LoadMovie(0, "0");
    EXPECT_EQ(pixelAt(300, 200), 0u);  // stays black whatever the next movie says

    player.setVisible(false);
    Bitmap untouched(10, 10);
    untouched.clear(0x123456);
    EXPECT_FALSE(player.render(untouched, 20, 20));
    EXPECT_EQ(untouched.width(), 10);
    EXPECT_EQ(untouched.pixel(5, 5), 0x123456u);
    player.setVisible(true);
    EXPECT_TRUE(player.render(untouched, 20, 20));
    EXPECT_EQ(untouched.width(), 20);
}

TEST_F(MoviePlayerTest, RendersInto24BitTargets) {
    player.LoadMovie(0, dir.write("red.swf", simpleMovie(1, 10, {255, 0, 0, 128})));
    Bitmap target(1, 1, PixelFormat::Bgr24);
    player.setBackgroundColor(0xFFFFFF);
    ASSERT_TRUE(player.render(target, 40, 30));
    EXPECT_EQ(target.format(), PixelFormat::Bgr24);
    EXPECT_EQ(target.pixel(20, 15), rgb(255, 127, 127));
    Bitmap wide;
    player.render(wide, 40, 30);
    EXPECT_EQ(wide.format(), PixelFormat::Bgra32);
    EXPECT_EQ(wide.pixel(20, 15), target.pixel(20, 15));
}

TEST_F(MoviePlayerTest, HostingPropertiesAndObserverLines) {
    std::vector<std::string> lines;
    player.setObserver([&](const std::string& l) { lines.push_back(l); });
    player.setWidth(14400);
    player.setHeight(10800);
    EXPECT_EQ(player.Width(), 14400);
    EXPECT_EQ(player.Height(), 10800);
    player.LoadMovie(999, "/kein/dimmer.swf");
    player.Play();
    player.Stop();
    player.Zoom(98);
    player.setBackgroundColor(255);
    player.setVisible(false);
    player.setVisible(true);
    EXPECT_THAT(lines, testing::ElementsAre("LoadMovie 999 /kein/dimmer.swf", "Play", "Stop", "Zoom 98",
                                            "BackgroundColor 255", "Visible 0", "Visible 1"));
}

TEST_F(MoviePlayerTest, RenderingIsRepeatable) {
    player.LoadMovie(0, dir.write("anim.swf", simpleMovie(3, 10, {10, 200, 30, 77})));
    Bitmap a, b;
    player.render(a, 123, 77);
    player.render(b, 123, 77);
    ASSERT_EQ(a.stride(), b.stride());
    EXPECT_EQ(0, std::memcmp(a.row(0), b.row(0), static_cast<std::size_t>(a.stride()) * a.height()));
}

}  // namespace
}  // namespace player::test
