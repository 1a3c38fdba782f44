// The data delivered with the program and its installation into the program folder.
#include <gtest/gtest.h>

#include <cmath>

#include "player/assets.h"
#include "player/movie_player.h"
#include "player/swf.h"
#include "player_test_util.h"

namespace player::test {
namespace {

namespace fs = std::filesystem;

#ifdef KORVELLA_ASSETS_DIR
const fs::path kAssets = KORVELLA_ASSETS_DIR;

TEST(DeliveredData, TwentySixDimmersOfRisingOpacity) {
    for (int n = 0; n <= 25; ++n) {
        const Bytes b = readBytes(kAssets / "Dimmer" / (std::to_string(n) + ".swf"));
        auto m = readSwf(b.data(), b.size());
        ASSERT_TRUE(m) << n;
        EXPECT_EQ(m->timeline.frames.size(), 1u);
        ASSERT_EQ(m->shapes.size(), 1u);
        const SwfShape& veil = *m->shapes.begin()->second;
        ASSERT_EQ(veil.fills.size(), 1u);
        EXPECT_EQ(veil.fills[0].r | veil.fills[0].g | veil.fills[0].b, 0);
        EXPECT_EQ(veil.fills[0].a, std::lround(n * 4 * 2.55)) << n;
        // Well beyond the stage on every side.
        EXPECT_LE(veil.extentMin.x, -m->stage.width());
        EXPECT_LE(veil.extentMin.y, -m->stage.height());
        EXPECT_GE(veil.extentMax.x, 2 * m->stage.width());
        EXPECT_GE(veil.extentMax.y, 2 * m->stage.height());
    }
}

TEST(DeliveredData, SampleEffectsPlay) {
    platform::VirtualClock clock;
    MoviePlayer player(clock);
    int movies = 0, pictures = 0;
    for (const auto& e : fs::directory_iterator(kAssets / "Effekts")) {
        player.LoadMovie(0, e.path().string());
        ASSERT_TRUE(player.hasLayer(0)) << e.path();
        if (e.path().extension() == ".swf") {
            ++movies;
            EXPECT_GT(player.TotalFrames(), 1) << e.path();
        } else {
            ++pictures;
        }
    }
    EXPECT_GE(movies, 3);
    EXPECT_GE(pictures, 1);

    // The step movie waits on each frame for a beat; two beats, two steps.
    player.LoadMovie(0, (kAssets / "Effekts" / "Schritte.swf").string());
    clock.advanceNs(2'000'000'000);
    EXPECT_EQ(player.CurrentFrame(), 0);
    player.Play();
    clock.advanceNs(100'000'000);
    EXPECT_EQ(player.CurrentFrame(), 1);
    player.Play();
    clock.advanceNs(100'000'000);
    EXPECT_EQ(player.CurrentFrame(), 2);
    clock.advanceNs(2'000'000'000);
    EXPECT_EQ(player.CurrentFrame(), 2);
}

TEST(DeliveredData, InstalledIntoTheProgramFolderWhereMissing) {
    ScratchDir app;
    EXPECT_EQ(installAssets(app.path().string(), kAssets.string()), 26 + 5 + 1);
    EXPECT_TRUE(fs::exists(app.path() / "Dimmer" / "25.swf"));
    EXPECT_TRUE(fs::exists(app.path() / "Effekts" / "Ringe.jpg"));
    EXPECT_TRUE(fs::exists(app.path() / "Demo.bpl"));
    EXPECT_FALSE(fs::exists(app.path() / "Demo.flac")) << "the demo track stays with the program";
    EXPECT_EQ(installAssets(app.path().string(), kAssets.string()), 0);

    // The operator's own Demo.bpl is kept.
    const std::string own = "Puls_\\Effekts\\Puls.swf\r\n";
    app.write("Demo.bpl", Bytes(own.begin(), own.end()));
    EXPECT_EQ(installAssets(app.path().string(), kAssets.string()), 0);
    EXPECT_EQ(readBytes(app.path() / "Demo.bpl"), Bytes(own.begin(), own.end()));

    // A lost dimmer comes back; the operator's effects folder is left as it is.
    fs::remove(app.path() / "Dimmer" / "7.swf");
    fs::remove(app.path() / "Effekts" / "Puls.swf");
    app.write("Effekts/eigen.swf", simpleMovie(1, 10));
    EXPECT_EQ(installAssets(app.path().string(), kAssets.string()), 1);
    EXPECT_TRUE(fs::exists(app.path() / "Dimmer" / "7.swf"));
    EXPECT_FALSE(fs::exists(app.path() / "Effekts" / "Puls.swf"));

    // An effects folder made empty (as the editor creates it at start-up) gets the samples.
    ScratchDir fresh;
    fs::create_directories(fresh.path() / "Effekts");
    EXPECT_EQ(installAssets(fresh.path().string(), kAssets.string()), 26 + 5 + 1);
}
#endif

TEST(DeliveredData, MissingSourceCopiesNothing) {
    ScratchDir app;
    testing::internal::CaptureStderr();
    EXPECT_EQ(installAssets(app.path().string(), (app.path() / "nirgends").string()), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(defaultAssetsFolder().find("assets"), std::string::npos);
}

}  // namespace
}  // namespace player::test
