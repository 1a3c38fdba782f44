// The kick-bass detector on the plotted point and the automatic level.
#include <gtest/gtest.h>

#include "fixture.h"

namespace korvella_test {
namespace {

class DetectorTest : public KorvellaTest {
protected:
    DetectorTest() { frmBeats.Show(); }
    void point(int y) { beats().beat = std::to_string(y); }
};

TEST_F(DetectorTest, APointOnTheThresholdLineIsABeatOnePixelLowerIsNot) {
    auto& b = beats();
    point(122);
    EXPECT_EQ(b.Label1.Caption(), "beat");
    EXPECT_EQ(b.Text5.Text(), "Beat");
    point(123);
    EXPECT_EQ(b.Label1.Caption(), "");
    EXPECT_EQ(b.Text5.Text(), "");
    b.VScroll3.setValue(140);
    point(140);
    EXPECT_EQ(b.Label1.Caption(), "beat");
}

TEST_F(DetectorTest, TheLevelLimits220_70_37AndMinus1) {
    auto& b = beats();
    point(219);
    EXPECT_FALSE(b.timerlauter.Enabled());
    point(220);
    EXPECT_TRUE(b.timerlauter.Enabled());
    point(71);
    EXPECT_TRUE(b.timerlauter.Enabled());
    point(70);
    EXPECT_FALSE(b.timerlauter.Enabled());
    EXPECT_FALSE(b.timerleiser.Enabled());
    point(38);
    EXPECT_FALSE(b.timerleiser.Enabled());
    point(37);
    EXPECT_TRUE(b.timerleiser.Enabled());
    EXPECT_EQ(b.VScroll2.Value(), 4000);
    point(0);
    EXPECT_EQ(b.VScroll2.Value(), 4000);
    point(-1);
    EXPECT_EQ(b.VScroll2.Value(), 4750);
    EXPECT_EQ(b.txtMax.Text(), "13300");
}

TEST_F(DetectorTest, LeiseGeradeAbove230Only) {
    auto& b = beats();
    point(230);
    EXPECT_EQ(b.Text7.Text(), "Text7");
    point(231);
    EXPECT_EQ(b.Text7.Text(), "leise gerade");
    point(100);  // nothing here sets it back
    EXPECT_EQ(b.Text7.Text(), "leise gerade");
    b.Text8 = "300";
    b.Text7 = "x";
    point(299);
    EXPECT_EQ(b.Text7.Text(), "x");
}

// The limit follows every edit of Text8, each point reading the text as it is then.
TEST_F(DetectorTest, LeiseGeradeFollowsEachEditOfItsLimit) {
    auto& b = beats();
    const struct {
        const char* limit;
        int point;
        bool quiet;
    } cases[] = {{"250", 250, false}, {"250", 251, true}, {"240abc", 241, true}, {"240abc", 240, false},
                 {"x", 1, true},      {"x", 0, false},    {"", 1, true},         {"-5", -4, true},
                 {"-5", -5, false},   {"250", 251, true}, {"250", 249, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.limit) + " " + std::to_string(c.point));
        b.Text8.userEdit(c.limit);
        b.Text7 = "x";
        point(c.point == 0 ? 1000 : 0);  // a different point first, so the next one is a change
        b.Text7 = "x";
        point(c.point);
        EXPECT_EQ(b.Text7.Text(), c.quiet ? "leise gerade" : "x");
    }
}

TEST_F(DetectorTest, OneStepLouderAfter100MsOneQuieterAfter30Ms) {
    auto& b = beats();
    const double t0 = now();
    point(230);
    advance(99);
    EXPECT_EQ(b.VScroll2.Value(), 4000);
    advance(1);
    EXPECT_EQ(now() - t0, 100);
    EXPECT_EQ(b.VScroll2.Value(), 3750);
    EXPECT_EQ(b.txtMax.Text(), "10500");
    EXPECT_FALSE(b.timerlauter.Enabled());

    // A second quiet point while the step waits does not push it back.
    point(221);
    advance(50);
    point(222);
    advance(50);
    EXPECT_EQ(b.VScroll2.Value(), 3500);

    point(30);
    advance(29);
    EXPECT_EQ(b.VScroll2.Value(), 3500);
    advance(1);
    EXPECT_EQ(b.VScroll2.Value(), 3750);
    EXPECT_FALSE(b.timerleiser.Enabled());
}

TEST_F(DetectorTest, StepsPastTheSlidersEndsAreRefused) {
    auto& b = beats();
    b.VScroll2.setValue(3000);  // the design minimum
    point(240);
    advance(100);
    EXPECT_EQ(b.VScroll2.Value(), 3000);
    EXPECT_FALSE(b.timerlauter.Enabled());
    // Quiet points keep asking; each step is refused.
    point(241);
    advance(100);
    EXPECT_EQ(b.VScroll2.Value(), 3000);

    b.VScroll2.setValue(31500);
    point(-5);  // would need 32250
    EXPECT_EQ(b.VScroll2.Value(), 31500);
    EXPECT_EQ(b.Label1.Caption(), "beat");
    b.VScroll2.setValue(32000);
    advance(30);  // the quieter step enabled by -5
    EXPECT_EQ(b.VScroll2.Value(), 32000);
    EXPECT_FALSE(b.timerleiser.Enabled());
}

TEST_F(DetectorTest, WithoutAutoTheLevelStaysAndTheStatesAreStillWritten) {
    auto& b = beats();
    b.Check1.setValue(0);
    point(-10);
    EXPECT_EQ(b.VScroll2.Value(), 4000);
    EXPECT_FALSE(b.timerleiser.Enabled());
    EXPECT_EQ(b.Label1.Caption(), "beat");
    point(240);
    EXPECT_FALSE(b.timerlauter.Enabled());
    EXPECT_EQ(b.Text5.Text(), "");
    EXPECT_EQ(b.Text7.Text(), "leise gerade");
    // A step already asked for still happens once.
    b.Check1.setValue(1);
    point(239);
    b.Check1.setValue(0);
    advance(100);
    EXPECT_EQ(b.VScroll2.Value(), 3750);
}

}  // namespace
}  // namespace korvella_test
