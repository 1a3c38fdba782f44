// Band energy, the sliding history and the plot.
#include <gtest/gtest.h>

#include "fixture.h"
#include "forms/errors.h"

namespace korvella_test {
namespace {

using platform::com::Variant;
namespace vx = korvella::vorix;

class PlotTest : public KorvellaTest {
protected:
    std::vector<float> spectrum() {
        std::vector<float> s;
        beats().Vorix1.get(vx::Spectrum, {Variant::byRef(s), Variant(static_cast<std::int32_t>(1))});
        return s;
    }
    double newest() { return beats().History(beats().BandHistoryRows(), 1); }
};

TEST_F(PlotTest, TheDesignBandIsBinsTwoAndThreeAndNarrowsAtTheSpectrumsEnd) {
    // 97.65625 Hz is bin 2 exactly at 48.828125 Hz per bin.
    addDevice(sine(97.65625, 8000));
    loadAndStart();
    advance(200);
    EXPECT_EQ(beats().BandFirstBin, 2);
    EXPECT_EQ(beats().BandLastBin, 3);
    auto s = spectrum();
    ASSERT_EQ(s.size(), 512u);
    EXPECT_NEAR(s[2], 4000, 1);
    EXPECT_DOUBLE_EQ(newest(), static_cast<double>(s[2]) + s[3]);

    // One bin for a width of 1, 0 or anything below.
    for (const char* w : {"1", "0", "-3"}) {
        beats().txtTo = w;
        advance(20);
        EXPECT_EQ(beats().BandLastBin, 2) << w;
        EXPECT_DOUBLE_EQ(newest(), spectrum()[2]) << w;
    }
    // A band reaching past the last bin is cut there, and txtTo shows what is left.
    beats().txtTo = "4";
    beats().txtFrom = "24900";  // bin 510
    advance(20);
    EXPECT_EQ(beats().BandFirstBin, 510);
    EXPECT_EQ(beats().BandLastBin, 511);
    EXPECT_EQ(beats().txtTo.Text(), "2");
}

TEST_F(PlotTest, ABandBelowTheSpectrumIsAnErrorOfTheBlockNotOfTheProgram) {
    addDevice(sine(97.65625, 8000));
    loadAndStart();
    advance(200);
    beats().txtFrom = "-100";
    beats().History(150, 1) = -1;  // a marker: nothing is shifted or appended while the band fails
    advance(100);
    EXPECT_EQ(forms::lastUnhandled().number, 9);
    EXPECT_EQ(newest(), -1);
    beats().txtFrom = "75";
    advance(20);
    EXPECT_EQ(beats().History(149, 1), -1);
    EXPECT_GT(newest(), 0);
}

TEST_F(PlotTest, VScroll4SetsANewEmptyHistoryOfItsLength) {
    addDevice(sine(97.65625, 8000));
    loadAndStart();
    advance(200);
    EXPECT_EQ(beats().Text9.Text(), "65");
    EXPECT_EQ(beats().BandHistoryRows(), 150);
    beats().VScroll4.setValue(20);
    EXPECT_EQ(beats().Text9.Text(), "20");
    ASSERT_EQ(beats().BandHistoryRows(), 20);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(beats().History(i, 1), 0) << i;
    advance(20);
    EXPECT_GT(newest(), 0);
    EXPECT_EQ(beats().History(19, 1), 0);
}

TEST_F(PlotTest, TheCurveIsScaledByTheInnerWidthWithTheLimitLines) {
    auto& b = [&]() -> korvella::FrmBeatsWindow& {
        frmBeats.Show();
        return beats();
    }();
    ASSERT_EQ(b.Picture1.ScaleWidth(), 461);
    ASSERT_EQ(b.Picture1.ScaleHeight(), 249);
    // Full scale 16000 (the design text): energy 5000 lies at 244 - 461 / 19200 * 5000 = 124.
    b.History(150, 1) = 5000;
    b.History(149, 1) = 100000;  // above the box: y below 0
    b.Plot(1);
    EXPECT_EQ(b.beat.Text(), "124");
    EXPECT_EQ(b.Label1.Caption(), "");  // 124 is below the threshold line at 122
    const auto& img = b.Picture1.image();
    EXPECT_EQ(img.pixel(200, 50), 0xFFu);
    EXPECT_EQ(img.pixel(200, 51), 0xFFu);
    EXPECT_EQ(img.pixel(200, 120), 0xFF00u);
    EXPECT_EQ(img.pixel(200, 119), 0xFF00u);
    EXPECT_EQ(img.pixel(200, 200), 0xC0C0C0u);
    EXPECT_EQ(img.pixel(3, 244), 0u);  // the curve's start on the base line

    // A flat history lies on the base line, below the threshold.
    b.DimBandHistory(150);
    b.Plot(1);
    EXPECT_EQ(b.beat.Text(), "244");
    EXPECT_EQ(b.Label1.Caption(), "");

    // A full scale of 0: the factor's statement fails and every point stays on the base line.
    b.txtMax = "0";
    b.History(150, 1) = 5000;
    b.Plot(1);
    EXPECT_EQ(b.beat.Text(), "244");
}

TEST_F(PlotTest, EveryChangedPointRunsTheDetectorOldestFirst) {
    frmBeats.Show();
    auto& b = beats();
    std::vector<std::string> seen;
    b.beat.onChange = [&] {
        seen.push_back(b.beat.Text());
        b.beat_Change();
    };
    b.DimBandHistory(5);
    b.History(2, 1) = 5000;
    b.History(3, 1) = 5000;
    b.History(5, 1) = 5000;
    b.Plot(1);
    // 244 (unchanged from the design ""), 124, 124 (no change), 244, 124: the newest last.
    EXPECT_EQ(seen, (std::vector<std::string>{"244", "124", "244", "124"}));
    EXPECT_EQ(b.Text5.Text(), "");
    b.History(5, 1) = 6000;
    b.Plot(1);
    EXPECT_EQ(b.Label1.Caption(), "beat");
}

TEST_F(PlotTest, TheSlidersFeedTheirTexts) {
    frmBeats.Show();
    auto& b = beats();
    // Design texts, whatever the sliders say.
    EXPECT_EQ(b.txtFrom.Text(), "75");
    EXPECT_EQ(b.txtMax.Text(), "16000");
    EXPECT_EQ(b.Text4.Text(), "122");
    EXPECT_EQ(b.VScroll2.Value(), 4000);

    b.VScroll1.userDrag(90, false);  // the band follows only on release
    EXPECT_EQ(b.txtFrom.Text(), "75");
    b.VScroll1.userDrag(90, true);
    EXPECT_EQ(b.txtFrom.Text(), "90.0");
    b.VScroll2.userDrag(5000, false);  // the full scale follows while dragging
    EXPECT_EQ(b.txtMax.Text(), "14000");
    b.VScroll3.setValue(130);
    EXPECT_EQ(b.Text4.Text(), "130");
    // VScroll5 is the level's lower limit; a limit above the level moves the level up.
    b.VScroll5.setValue(6000);
    EXPECT_EQ(b.VScroll2.Min(), 6000);
    EXPECT_EQ(b.VScroll2.Value(), 6000);
    EXPECT_EQ(b.txtMax.Text(), "16800");
}

}  // namespace
}  // namespace korvella_test
