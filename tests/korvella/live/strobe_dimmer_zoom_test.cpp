// The live desk's strobes, dimmer and zoom, on the projector window and its player.
#include <gtest/gtest.h>

#include "live_fixture.h"

namespace korvella_test {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kWhite = "BackgroundColor 16777215";
constexpr const char* kBlack = "BackgroundColor 0";

class StrobeTest : public LiveDeskTest {
protected:
    StrobeTest() {
        desk();
        calls.clear();
        back.changes.clear();
    }
    BackColorLog back{[this] { return now(); }};
};

struct ColourButton {
    const char* button;
    std::uint32_t flash;
};

inline std::ostream& operator<<(std::ostream& os, const ColourButton& b) { return os << b.button; }

class ColourStrobeTest : public StrobeTest, public ::testing::WithParamInterface<ColourButton> {};

TEST_P(ColourStrobeTest, HidesTheMovieAndShowsTheColourFor35Ms) {
    auto* b = dynamic_cast<forms::CommandButton*>(Form5->control(GetParam().button));
    ASSERT_NE(b, nullptr);
    const double t0 = now();
    b->userClick();
    EXPECT_EQ(now(), t0 + 35);
    EXPECT_EQ(back.changes, (std::vector<BackColorLog::Change>{{t0, GetParam().flash}, {t0 + 35, 0}}));
    EXPECT_EQ(calls, (std::vector<Call>{{t0, "Visible 0"}, {t0 + 35, "Visible 1"}}));
    EXPECT_TRUE(Form1->ShockwaveFlash1.Visible());
}

// Top to bottom on the desk; cyan's face is lighter than its flash.
INSTANTIATE_TEST_SUITE_P(EightColours, ColourStrobeTest,
                         ::testing::Values(ColourButton{"Command8", 0xFFFFFF}, ColourButton{"Command2", 0xFFFF00},
                                           ColourButton{"Command1", 0xFF0000}, ColourButton{"Command3", 0xFF00},
                                           ColourButton{"Command4", 0xFFFF}, ColourButton{"Command5", 0x80FF},
                                           ColourButton{"Command6", 0xFF}, ColourButton{"Command7", 0xFF00FF}),
                         [](const auto& info) { return std::string(info.param.button); });

TEST_F(StrobeTest, TheContinuousWhiteStrobeFlashesAtTheChosenSpeed) {
    // The desk loaded at 0: its strobe clock first ticks at 100 and keeps its beat while each
    // 35 ms flash runs, so a flash begins every 100 ms.
    Form5->Check3.userClick();
    until(400);
    EXPECT_EQ(calls, (std::vector<Call>{{100, kWhite}, {135, kBlack}, {200, kWhite}, {235, kBlack}, {300, kWhite},
                                        {335, kBlack}, {400, kWhite}, {435, kBlack}}));
    calls.clear();
    Form5->HScroll1.setValue(500);  // 435: a fresh count of 500
    EXPECT_EQ(Form5->Timer3.Interval(), 500);
    until(1500);
    EXPECT_EQ(calls, (std::vector<Call>{{935, kWhite}, {970, kBlack}, {1435, kWhite}, {1470, kBlack}}));
    // Unticked, the clock goes on and flashes nothing.
    Form5->Check3.userClick();
    calls.clear();
    advance(1000);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Form1->ShockwaveFlash1.BackgroundColor(), 0);
}

TEST_F(StrobeTest, SingleStrobeWaitsTheSpeedThenFlashesWhite) {
    Form5->HScroll1.setValue(30);
    const double t0 = now();
    Form5->Command25.setValue(true);
    EXPECT_EQ(now(), t0 + 65);
    EXPECT_EQ(calls, (std::vector<Call>{{t0 + 30, kWhite}, {t0 + 65, kBlack}}));
    EXPECT_TRUE(back.changes.empty());  // the window keeps its colour: only the movie's background flashes
}

TEST_F(StrobeTest, OverlappingFlashesAllEndBlackWithTheMovieShown) {
    // A white flash of the strobe clock (100) inside a red flash (90), and a green one inside both.
    Form5->Check3.userClick();
    platform::LoopTimer green([&] {
        green.setEnabled(false);
        Form5->Command3.userClick();
    });
    until(90);
    green.setInterval(20);
    green.setEnabled(true);
    Form5->Command6.userClick();
    EXPECT_EQ(now(), 145);
    EXPECT_EQ(calls, (std::vector<Call>{{90, "Visible 0"}, {100, kWhite}, {110, "Visible 0"}, {145, "Visible 1"},
                                        {145, kBlack}, {145, "Visible 1"}}));
    EXPECT_EQ(back.changes, (std::vector<BackColorLog::Change>{{90, 0xFF}, {110, 0xFF00}, {145, 0}}));
    EXPECT_EQ(Form1->ShockwaveFlash1.BackgroundColor(), 0);
    EXPECT_TRUE(Form1->ShockwaveFlash1.Visible());
}

class MirrorTest : public LiveDeskTest {};

TEST_F(MirrorTest, EachDimmerStepLoadsItsMovieIntoTheDimmerLayerOnce) {
    writeDimmers();
    auto& d = desk();  // the first tick writes "0%": dimmer 0 at once
    EXPECT_EQ(calls, (std::vector<Call>{{1, "LoadMovie 999 " + app + "/Dimmer/0.swf"}}));
    EXPECT_EQ(layerWidthPx(999), 100);
    calls.clear();
    for (int step : {25, 7, 0}) {
        d.VScroll2.setValue(step);
        advance(10);
        EXPECT_EQ(d.Text10.Text(), std::to_string(4 * step) + "%");
        EXPECT_EQ(callsSince(0), Strings{"LoadMovie 999 " + app + "/Dimmer/" + std::to_string(step) + ".swf"});
        EXPECT_EQ(layerWidthPx(999), 100 + step);
        calls.clear();
    }
    // A missing movie leaves the layer empty and the desk going.
    fs::remove(fs::path(app) / "Dimmer" / "13.swf");
    d.VScroll2.setValue(13);
    advance(2);
    EXPECT_FALSE(projector().hasLayer(999));
    d.VScroll2.setValue(12);
    advance(2);
    EXPECT_EQ(layerWidthPx(999), 112);
}

TEST_F(MirrorTest, EachZoomStepReturnsToTheWholePictureThenZooms) {
    auto& d = desk();
    EXPECT_EQ(callsSince(0).size(), 1u);  // "100" was there already: no zoom at load
    calls.clear();
    d.VScroll1.setValue(50);
    advance(10);
    EXPECT_EQ(d.Text1.Text(), "50");
    EXPECT_EQ(callsSince(0), (Strings{"Zoom 9999", "Zoom 50"}));
    EXPECT_DOUBLE_EQ(projector().zoomScale(), 0.5);
    calls.clear();
    d.VScroll1.setValue(100);
    advance(10);
    EXPECT_EQ(callsSince(0), (Strings{"Zoom 9999", "Zoom 100"}));
    EXPECT_DOUBLE_EQ(projector().zoomScale(), 1.0);

    // Typed text zooms with the bar's value; the next tick writes the bar back, zooming again.
    calls.clear();
    const double t0 = now();
    d.Text1.userEdit("30");
    advance(1);
    EXPECT_EQ(d.Text1.Text(), "100");
    EXPECT_EQ(calls, (std::vector<Call>{{t0, "Zoom 9999"}, {t0, "Zoom 100"}, {t0 + 1, "Zoom 9999"}, {t0 + 1, "Zoom 100"}}));
    calls.clear();
    d.Text10.userEdit("?");
    EXPECT_EQ(callsSince(0), Strings{"LoadMovie 999 " + app + "/Dimmer/0.swf"});
}

}  // namespace
}  // namespace korvella_test
